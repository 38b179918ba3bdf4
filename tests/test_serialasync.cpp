#include "serial/serialasync.h"

#include "support/pty.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

using namespace qarn3;
using namespace qarn3::test;

namespace {

// The component on a pseudo-terminal, with every report and chunk recorded.
class SerialPortTest : public ::testing::Test {
protected:
    SerialPortTest() : SerialPortTest(std::make_shared<PosixSerialOs>()) {}
    explicit SerialPortTest(std::shared_ptr<SerialOs> os)
        : port(std::make_unique<TSerialPortAsync>(std::move(os))) {
        port->OnProcessError = [this](SerialPort&, std::uint32_t place, std::uint32_t code,
                                      const std::string& msg, std::uint8_t noise) {
            reports.push_back({place, code, msg, noise});
        };
        port->OnRxClusterEvent = [this](SerialPort& p) {
            TSerialCluster c;
            if (p.TakeCluster(c)) chunks.push_back(std::move(c));
        };
    }

    void open(int clusterSize = 3072) {
        port->SetCommPort(pty.slavePath());
        port->SetBaudRate(57600);
        port->SetActive(true);
        ASSERT_TRUE(port->Active());
        port->SetClusterSize(static_cast<std::uint16_t>(clusterSize));
    }

    std::string received() const {
        std::string s;
        for (const auto& c : chunks)
            s.append(c.data.begin(), c.data.end());
        return s;
    }

    bool reported(std::uint32_t place) const {
        return std::any_of(reports.begin(), reports.end(),
                           [&](const SerialReport& r) { return r.place == place; });
    }

    Pty pty;
    std::unique_ptr<TSerialPortAsync> port;
    std::vector<SerialReport> reports;
    std::vector<TSerialCluster> chunks;
};

TEST_F(SerialPortTest, DataGoesBothWaysAtTheLineSettings) {
    open();
    termios t{};
    ASSERT_EQ(tcgetattr(port->ComHandle(), &t), 0);
    EXPECT_EQ(cfgetispeed(&t), B57600);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);

    int writesDone = 0;
    port->OnWriteDone = [&](SerialPort&) { ++writesDone; };
    EXPECT_TRUE(port->SendString("A\r"));
    EXPECT_EQ(pty.read(200), "A\r");
    EXPECT_EQ(writesDone, 1);
    EXPECT_EQ(port->WrittenBytes(), 2u);

    pty.write(std::string("\x00\x21\xFC\x3D", 4));
    ASSERT_TRUE(pumpUntil([&] { return received().size() == 4; }));
    EXPECT_EQ(received(), std::string("\x00\x21\xFC\x3D", 4));
    EXPECT_EQ(chunks.front().lineError, 0u);
}

TEST_F(SerialPortTest, TwoWaitingBytesAreReadAtOnceWithClusterSizeTwo) {
    open(2);
    port->SetRTOExtraDelayTime(60000); // only the cluster size can make it read
    pty.write("ab");
    ASSERT_TRUE(pumpUntil([&] { return !chunks.empty(); }));
    EXPECT_EQ(received(), "ab");
}

TEST_F(SerialPortTest, ASingleByteWaitsOneCharacterTimePlusTheExtraDelay) {
    open(2);
    port->SetRTOExtraDelayTime(400);
    pty.write("x");
    pumpFor(150);
    EXPECT_TRUE(chunks.empty()); // not yet due
    ASSERT_TRUE(pumpUntil([&] { return !chunks.empty(); }));
    EXPECT_EQ(received(), "x");
}

// The calls on a pseudo-terminal, with each read stamped with the worker's clock reading that
// made it due (the worker reads the clock, then the queue's fill, then the data).
class ClockedSerialOs : public PosixSerialOs {
public:
    std::int64_t nowMs() override {
        s_lastReading = PosixSerialOs::nowMs();
        return s_lastReading;
    }
    long readSome(int fd, std::uint8_t* data, std::size_t n) override {
        const long r = PosixSerialOs::readSome(fd, data, n);
        if (r > 0) {
            std::lock_guard<std::mutex> guard(m_lock);
            m_reads.push_back(s_lastReading);
        }
        return r;
    }
    std::vector<std::int64_t> reads() const {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_reads;
    }

private:
    static inline thread_local std::int64_t s_lastReading = 0;
    mutable std::mutex m_lock;
    std::vector<std::int64_t> m_reads;
};

class ClockedPortTest : public SerialPortTest {
protected:
    ClockedPortTest() : SerialPortTest(makeOs()) {}
    static std::shared_ptr<SerialOs> makeOs() {
        s_os = std::make_shared<ClockedSerialOs>();
        return s_os;
    }
    static inline std::shared_ptr<ClockedSerialOs> s_os;
    ClockedSerialOs& os = *s_os;
};

// An adapter hands a stream over in small pieces every 10 ms or so: the worker takes them a
// few at a time, not one read (and two thread wake-ups) per piece, and loses nothing. The
// reads are timed by the worker's own clock, so a loaded machine that stretches the writer's
// pace changes how many reads there are, not whether they are far enough apart.
TEST_F(ClockedPortTest, AStreamInSmallPiecesIsReadAFewPiecesAtATime) {
    open(2);
    const std::string piece(48, 'x');
    std::thread writer([&] {
        for (int i = 0; i < 60; ++i) {
            pty.write(piece);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    const bool all = pumpUntil([&] { return received().size() == 60 * piece.size(); }, 30000);
    writer.join();
    ASSERT_TRUE(all) << received().size();
    const std::vector<std::int64_t> reads = os.reads();
    ASSERT_EQ(reads.size(), chunks.size());
    // At most one read per 50 ms after the first.
    for (std::size_t i = 1; i < reads.size(); ++i)
        EXPECT_GE(reads[i] - reads[i - 1], 50) << "read " << i << " of " << reads.size();
}

TEST_F(SerialPortTest, AReadRequestTakesWhatIsWaitingAtOnce) {
    open(2);
    port->SetRTOExtraDelayTime(60000);
    pty.write("x");
    pumpFor(100);
    ASSERT_TRUE(chunks.empty());
    port->SetReadRequest(true);
    ASSERT_TRUE(pumpUntil([&] { return !chunks.empty(); }));
    EXPECT_FALSE(port->ReadRequest());
}

TEST_F(SerialPortTest, PurgedInputNeverArrives) {
    open(64);
    port->SetRTOExtraDelayTime(60000);
    pty.write("stale");
    pumpFor(100);
    port->ClearRxDQueue();
    pty.write("Z");
    port->SetReadRequest(true);
    ASSERT_TRUE(pumpUntil([&] { return !chunks.empty(); }));
    EXPECT_EQ(received(), "Z");
}

TEST_F(SerialPortTest, ASendWhileAWriteIsPendingIsDroppedWithMessage901) {
    open();
    // Nobody reads the other end: the write fills the terminal's buffers and stays pending.
    const std::string big(1 << 20, 'q');
    ASSERT_TRUE(port->SendString(big));
    ASSERT_TRUE(port->SendInProgress());
    EXPECT_FALSE(port->SendString("x"));
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back().place, 901u);
    EXPECT_EQ(reports.back().msg, "Msg, dont enter SendData while SendInProgress is set");
    EXPECT_EQ(reports.back().noise, 2);

    // Once the other end reads, the worker finishes the write.
    int writesDone = 0;
    port->OnWriteDone = [&](SerialPort&) { ++writesDone; };
    std::string out;
    ASSERT_TRUE(pumpUntil(
        [&] {
            out += pty.read();
            return writesDone == 1;
        },
        10000));
    out += pty.read(100);
    EXPECT_EQ(out.size(), big.size());
    EXPECT_EQ(port->WrittenBytes(), big.size());
    EXPECT_FALSE(port->SendInProgress());
}

TEST_F(SerialPortTest, AWriteThatCannotFinishTimesOut) {
    open();
    port->SetXTOAuto(false);
    port->SetWTOCharDelayTime(0);
    port->SetWTOExtraDelayTime(100);
    int writesDone = 0;
    port->OnWriteDone = [&](SerialPort&) { ++writesDone; };
    ASSERT_TRUE(port->SendString(std::string(1 << 20, 'q')));
    ASSERT_TRUE(pumpUntil([&] { return writesDone == 1; }));
    EXPECT_TRUE(reported(9701));
    EXPECT_FALSE(port->SendInProgress());
    EXPECT_LT(port->WrittenBytes(), 1u << 20);
}

TEST_F(SerialPortTest, AHangUpClosesThePortOnceAndIsReported) {
    open(2);
    pty.close();
    ASSERT_TRUE(pumpUntil([&] { return !port->Active(); }));
    EXPECT_TRUE(reported(serialplace::HungUp));
    const auto count = reports.size();
    pumpFor(300); // the worker is idle now, not spinning on the dead descriptor
    EXPECT_EQ(reports.size(), count);
    EXPECT_EQ(port->ComHandle(), -1);
}

TEST_F(SerialPortTest, TheSamePortCanBeReopenedAtOnce) {
    open(2);
    port->SetActive(false);
    port->SetActive(true);
    ASSERT_TRUE(port->Active());
    pty.write("ok");
    ASSERT_TRUE(pumpUntil([&] { return received() == "ok"; }));
}

TEST_F(SerialPortTest, ChangingThePortNameReopensUnderTheNewName) {
    open(2);
    Pty other;
    port->SetCommPort(other.slavePath());
    ASSERT_TRUE(port->Active());
    other.write("hi");
    ASSERT_TRUE(pumpUntil([&] { return received() == "hi"; }));
}

TEST_F(SerialPortTest, APortThatCannotBeOpenedIsReported) {
    port->SetCommPort("/nonexistent/ttyQ9");
    port->SetActive(true);
    EXPECT_FALSE(port->Active());
    ASSERT_TRUE(reported(serialplace::OpenFailed));
    EXPECT_EQ(reports.back().msg, "Error reopening Port");
    EXPECT_EQ(reports.back().code, static_cast<std::uint32_t>(ENOENT));

    // A file that is not a terminal is no serial port.
    char name[] = "/tmp/qarn3-notatty-XXXXXX";
    const int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    ::close(fd);
    reports.clear();
    port->SetCommPort(name);
    port->SetActive(true);
    ::unlink(name);
    EXPECT_FALSE(port->Active());
    ASSERT_TRUE(reported(serialplace::OpenFailed));
    EXPECT_EQ(reports.back().code, static_cast<std::uint32_t>(ENOTTY));
}

TEST_F(SerialPortTest, TheChunkQueueStartsEmpty) {
    EXPECT_EQ(port->NextClusterSize(), -1);
    EXPECT_EQ(port->NextClusterCCError(), -1);
    int size = 0;
    std::int64_t error = 0;
    EXPECT_TRUE(port->ReadNextCluster(size, error).empty());
    EXPECT_EQ(size, -1);
    EXPECT_EQ(error, -1);
}

TEST_F(SerialPortTest, QuietModeRaisesNothingButStillQueuesChunks) {
    open(2);
    port->SetThreadQuietMode(true);
    pty.write("qq");
    pumpUntil([&] { return port->NextClusterSize() == 2; });
    EXPECT_TRUE(chunks.empty());
    int size = 0;
    std::int64_t error = 0;
    const auto data = port->ReadNextCluster(size, error);
    EXPECT_EQ(std::string(data.begin(), data.end()), "qq");
    EXPECT_EQ(error, 0);
}

int openDescriptors() {
    int n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}

// Destroying an open port with unread input ends its worker within the destructor's bound
// (150 waits of 5 ms, after which it would leave the thread running): every descriptor the
// port and its worker held is closed again.
TEST_F(SerialPortTest, DestroyingAnOpenPortEnds) {
    port.reset();
    const int before = openDescriptors();
    port = std::make_unique<TSerialPortAsync>(std::make_shared<PosixSerialOs>());
    open(2);
    pty.write("unread");
    pumpFor(50);
    const auto start = std::chrono::steady_clock::now();
    port.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(750));
    EXPECT_EQ(openDescriptors(), before);
}

TEST_F(SerialPortTest, LimitAboveOneHundredIsStoredAsOneHundredWithAWarning) {
    port->SetXONLimDiv(150);
    EXPECT_EQ(port->XONLimDiv(), 100);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].place, 100u);
    EXPECT_EQ(reports[0].code, 150u);
    EXPECT_EQ(reports[0].noise, 1);
    EXPECT_EQ(reports[0].msg, "Warning XOnLimDef set to 100");
    port->SetXOFFLimDiv(101);
    EXPECT_EQ(port->XOFFLimDiv(), 100);
    EXPECT_EQ(reports.back().msg, "Warning XOffLimDef set to 100");
    port->SetXONLimDiv(100);
    EXPECT_EQ(reports.size(), 2u);
}

TEST_F(SerialPortTest, ErrorNoiseFiltersReportsByLevel) {
    port->SetErrorNoise(0);
    port->SetXONLimDiv(150); // warning
    port->SetCommPort("/nonexistent/ttyQ9");
    port->SetActive(true); // message 110, then error 112
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].place, serialplace::OpenFailed);

    reports.clear();
    port->SetErrorNoise(1);
    port->SetXONLimDiv(150);
    port->SetActive(true);
    std::vector<std::uint32_t> places;
    for (const auto& r : reports)
        places.push_back(r.place);
    EXPECT_THAT(places, ::testing::ElementsAre(100u, serialplace::OpenFailed));
}

TEST_F(SerialPortTest, LineSettersWhileClosedDoNothing) {
    port->SetRTSState(false);
    port->SetBREAKState(true);
    EXPECT_TRUE(port->RTSState());
    EXPECT_FALSE(port->BREAKState());
    port->SetRxQueueSize(48000); // the driver refuses queue sizes on a closed port
    EXPECT_TRUE(reported(101));
    EXPECT_EQ(port->RxQueueSize(), 48000);
}

struct CharTimeCase {
    std::uint32_t baud;
    std::uint32_t us;
};

class CharTimeTest : public ::testing::TestWithParam<CharTimeCase> {};

TEST_P(CharTimeTest, AutomaticCharacterTimesFollowTheBaudRate) {
    TSerialPortAsync port;
    port.SetBaudRate(GetParam().baud);
    EXPECT_EQ(port.RTOCharDelayTime(), GetParam().us);
    EXPECT_EQ(port.WTOCharDelayTime(), GetParam().us);
}

INSTANTIATE_TEST_SUITE_P(Table, CharTimeTest,
                         ::testing::Values(CharTimeCase{57600, 190}, CharTimeCase{100, 1100},
                                           CharTimeCase{300000, 43}, CharTimeCase{110, 100000},
                                           CharTimeCase{57599, 200}, CharTimeCase{9600, 1100},
                                           CharTimeCase{115200, 95}));

TEST(CharTimes, ManualTimesStayUntilAutomaticIsSwitchedOnAgain) {
    TSerialPortAsync port;
    port.SetXTOAuto(false);
    port.SetRTOCharDelayTime(5000);
    port.SetBaudRate(57600);
    EXPECT_EQ(port.RTOCharDelayTime(), 5000u);
    port.SetXTOAuto(true);
    EXPECT_EQ(port.RTOCharDelayTime(), 190u);
}

// The same component with the lines and counters a pseudo-terminal lacks played by a script.
class ScriptedPortTest : public SerialPortTest {
protected:
    ScriptedPortTest() : SerialPortTest(makeOs()) {}
    static std::shared_ptr<SerialOs> makeOs() {
        s_os = std::make_shared<ScriptedSerialOs>();
        return s_os;
    }
    static inline std::shared_ptr<ScriptedSerialOs> s_os;
    ScriptedSerialOs& os = *s_os;
};

// Stop bits as the line can carry them: one and a half only with 5 data bits (the UART's
// second setting there), two with 6 to 8; another pair is refused and changes nothing.
struct StopBitsCase {
    std::uint8_t dataBits, stopBits;
    bool refused;
    tcflag_t size, stopFlag;
};
class StopBitsTest : public ScriptedPortTest, public ::testing::WithParamInterface<StopBitsCase> {};

TEST_P(StopBitsTest, AreSetAsTheLineCarriesThemOrRefused) {
    open();
    const StopBitsCase c = GetParam();
    port->SetDataBits(c.dataBits);
    port->SetStopBits(c.stopBits);
    const tcflag_t flags = os.lastControlFlags();
    EXPECT_EQ(reported(802), c.refused);
    EXPECT_EQ(flags & CSIZE, c.size);
    EXPECT_EQ(flags & CSTOPB, c.stopFlag);
}

INSTANTIATE_TEST_SUITE_P(Table, StopBitsTest,
                         ::testing::Values(StopBitsCase{8, 0, false, CS8, 0},
                                           StopBitsCase{8, 2, false, CS8, CSTOPB},
                                           StopBitsCase{5, 1, false, CS5, CSTOPB},
                                           StopBitsCase{8, 1, true, CS8, 0},
                                           StopBitsCase{5, 2, true, CS5, 0}));

TEST_F(ScriptedPortTest, ModemLinesAreReadAndTheirChangesRaiseEvents) {
    open(2);
    EXPECT_THAT(os.calls(), ::testing::ElementsAre("set DTR", "set RTS"));
    std::vector<std::string> events;
    port->OnCTSEvent = [&](SerialPort&) { events.push_back("CTS"); };
    port->OnRIEvent = [&](SerialPort&) { events.push_back("RI"); };
    port->OnRingEvent = [&](SerialPort&) { events.push_back("Ring"); };
    port->OnCommEvent = [&](SerialPort&) { events.push_back("Comm"); };
    pumpFor(100);
    os.setModemBits(TIOCM_CTS | TIOCM_CAR);
    ASSERT_TRUE(pumpUntil([&] { return port->CTSState(); }));
    EXPECT_TRUE(port->RLSDState());
    EXPECT_FALSE(port->DSRState());
    EXPECT_EQ(port->ModemState(), 0x90u);

    os.setModemBits(TIOCM_CTS | TIOCM_CAR | TIOCM_RNG);
    os.bumpCounters([](LineCounters& c) {
        ++c.cts;
        ++c.ring;
    });
    ASSERT_TRUE(pumpUntil([&] { return events.size() >= 4; }));
    EXPECT_THAT(events, ::testing::ElementsAre("RI", "CTS", "Ring", "Comm"));
    EXPECT_EQ(port->CommEvent(), 0x108u);
}

TEST_F(ScriptedPortTest, ALineErrorIsRaisedAndCarriedByTheNextChunk) {
    open(2);
    int lineErrors = 0, breaks = 0;
    port->OnLineErrorEvent = [&](SerialPort&) { ++lineErrors; };
    port->OnBreakEvent = [&](SerialPort&) { ++breaks; };
    pumpFor(100);
    os.bumpCounters([](LineCounters& c) { ++c.frame; });
    ASSERT_TRUE(pumpUntil([&] { return lineErrors == 1; }));
    EXPECT_EQ(port->CommError(), ce::Frame);
    pty.write("ab");
    ASSERT_TRUE(pumpUntil([&] { return !chunks.empty(); }));
    EXPECT_EQ(chunks[0].lineError, ce::Frame);

    os.bumpCounters([](LineCounters& c) { ++c.brk; });
    ASSERT_TRUE(pumpUntil([&] { return breaks == 1; }));
    EXPECT_EQ(lineErrors, 1);
    pty.write("cd");
    ASSERT_TRUE(pumpUntil([&] { return chunks.size() == 2; }));
    EXPECT_EQ(chunks[1].lineError, ce::Break);
}

TEST_F(ScriptedPortTest, LineAndBreakSettersReportTheirFailures) {
    open(2);
    port->SetBREAKState(true);
    EXPECT_TRUE(port->BREAKState());
    port->SetRTSState(false);
    EXPECT_THAT(os.calls(), ::testing::ElementsAre("set DTR", "set RTS", "set BREAK", "clear RTS"));
    os.failCall("setModemBits", EIO);
    os.failCall("setBreak", EIO);
    port->SetDTRState(false);
    port->SetBREAKState(false);
    EXPECT_EQ(reports[reports.size() - 2].msg, "Error clearing DTR");
    EXPECT_EQ(reports[reports.size() - 2].place, 602u);
    EXPECT_EQ(reports.back().msg, "Error clearing BREAK State");
    EXPECT_EQ(reports.back().place, 702u);
}

// The transmit queue running empty is told once, from the transmit queue's own count: input
// arriving and being read is no such event.
TEST_F(ScriptedPortTest, TheTransmitQueueEmptyEventFollowsTheTransmitQueue) {
    open(2);
    int empties = 0;
    port->OnTxQueueEmptyEvent = [&](SerialPort&) { ++empties; };
    os.setOutQueue(5);
    ASSERT_TRUE(pumpUntil([&] { return port->CommStateOutQueue() == 5; }));
    pty.write("ab");
    ASSERT_TRUE(pumpUntil([&] { return received() == "ab"; }));
    pumpFor(100);
    EXPECT_EQ(empties, 0);
    os.setOutQueue(0);
    ASSERT_TRUE(pumpUntil([&] { return empties == 1; }));
    pumpFor(100);
    EXPECT_EQ(empties, 1);
}

TEST_F(ScriptedPortTest, PurgeFailuresAreReported) {
    open(2);
    os.failCall("flush", EIO);
    port->ClearRxDQueue();
    port->ClearTxDQueue();
    ASSERT_GE(reports.size(), 2u);
    EXPECT_EQ(reports[reports.size() - 2].msg, "Error clearing RxD Queue");
    EXPECT_EQ(reports.back().msg, "Error clearing TxD Queue");
    EXPECT_EQ(reports.back().place, 401u);
}

TEST_F(ScriptedPortTest, InputPurgedBetweenCountAndReadIsNoHangUp) {
    open(2);
    pumpFor(100);
    os.purgeBeforeNextRead();
    pty.write("ab");
    ASSERT_TRUE(pumpUntil([&] { return !os.purgePending(); }));
    pumpFor(100); // what the worker made of the read reaches this thread
    EXPECT_TRUE(port->Active());
    EXPECT_FALSE(reported(serialplace::HungUp));
    pty.write("cd");
    ASSERT_TRUE(pumpUntil([&] { return received() == "cd"; }));

    // A real hang-up is still one.
    pty.close();
    ASSERT_TRUE(pumpUntil([&] { return !port->Active(); }));
    EXPECT_TRUE(reported(serialplace::HungUp));
}

// A main thread that does not take the chunks (busy in a long paint) does not grow memory:
// beyond the queue's limit the data are dropped, counted, and the next chunk says so.
TEST_F(ScriptedPortTest, AFullChunkQueueCountsTheBytesItDrops) {
    open(2);
    const auto waitFor = [](const std::function<bool()>& done) {
        for (int i = 0; i < 400 && !done(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return done();
    };
    os.injectRead(std::vector<std::uint8_t>(700000, 0x55));
    ASSERT_TRUE(waitFor([&] { return port->NextClusterSize() == 700000; }));
    os.injectRead(std::vector<std::uint8_t>(400000, 0x55));
    ASSERT_TRUE(waitFor([&] { return port->DroppedBytes() == 400000; }));
    os.injectRead(std::vector<std::uint8_t>(10, 0x55));
    ASSERT_TRUE(pumpUntil([&] { return chunks.size() == 2; }));
    EXPECT_EQ(chunks[1].data.size(), 10u);
    EXPECT_EQ(chunks[1].lineError & ce::RxOver, ce::RxOver);
}

TEST_F(ScriptedPortTest, AHugeReadArrivesAsOneChunk) {
    open(2);
    os.injectRead(std::vector<std::uint8_t>(47998, 0x55));
    ASSERT_TRUE(pumpUntil([&] { return !chunks.empty(); }));
    EXPECT_EQ(chunks[0].data.size(), 47998u);
}

} // namespace
