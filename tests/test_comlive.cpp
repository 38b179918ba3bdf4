// The COM link over the real serial component: against the analyzer simulator on a
// pseudo-terminal in real time, and through the scripted stand-in where a pseudo-terminal
// cannot go.
#include "calsetup/cal.h"
#include "calsetup/setup.h"
#include "diag/debuglog.h"
#include "diag/qtwaits.h"
#include "diag/services.h"
#include "engine/analysis.h"
#include "engine/engine.h"
#include "engine/ranges.h"
#include "link/analyzerlink.h"
#include "link/comlink.h"
#include "link/ptyanalyzer.h"
#include "platform/files.h"
#include "platform/registry.h"
#include "platform/scripted_dialogs.h"
#include "serial/serialasync.h"
#include "waveform/waveform.h"

#include "link_fixture.h"
#include "support/pty.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QThread>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <thread>
#include <unistd.h>

using namespace qarn3;
using namespace qarn3::test;
namespace fs = std::filesystem;

namespace {

// The simulator on its own thread, configured before it starts.
class SimThread {
public:
    SimThread() {
        std::string error;
        if (!pty.open(error)) throw std::runtime_error(error);
    }
    ~SimThread() { stop(); }
    void start() {
        m_thread = std::thread([this] { pty.run(m_stop); });
    }
    void stop() {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
    }
    PtyAnalyzer pty;

private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// A scratch folder removed afterwards.
class ScratchFolder {
public:
    ScratchFolder() {
        path = fs::temp_directory_path() /
               ("qarn3-comlive-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~ScratchFolder() { fs::remove_all(path); }
    fs::path path;
};

class LiveComTest : public ::testing::Test {
protected:
    LiveComTest() : LiveComTest(std::make_shared<PosixSerialOs>()) {}
    explicit LiveComTest(std::shared_ptr<SerialOs> os) : serial(std::move(os)) {
        log.open();
        link = std::make_unique<ComLink>(&serial, waits, log, dialogs);
    }

    std::vector<std::string> errorList() const { return status.lines; }

    struct ListView : CommStatusView {
        std::vector<std::string> lines;
        void showBoxes(const std::string&, const std::string&, const std::string&,
                       const std::string&) override {}
        void addErrorLine(const std::string& line) override { lines.push_back(line); }
        void clearErrorLines() override { lines.clear(); }
    } status;

    TSerialPortAsync serial;
    QtWaits waits;
    DebugLog log;
    ScriptedDialogs dialogs;
    std::unique_ptr<ComLink> link;
};

TEST_F(LiveComTest, DiscoveryFindsTheAnalyzerOnAFakeSysfsTreeByItsCaseSensitiveName) {
    SimThread sim;
    sim.start();
    ScratchFolder root;
    // Two devices of the analyzer's vendor and product: the first with a friendly name that
    // differs only in case, the second the real one; both ports lead to the simulator.
    const auto device = [&](const std::string& name, const std::string& serialNo,
                            const std::string& product, const std::string& tty) {
        const fs::path d = root.path / "sys/bus/usb/devices" / name;
        fs::create_directories(d / (name + ":1.0") / "tty" / tty);
        std::ofstream(d / "idVendor") << "04d8\n";
        std::ofstream(d / "idProduct") << "fdcf\n";
        std::ofstream(d / "serial") << serialNo << "\n";
        std::ofstream(d / "product") << product << "\n";
        fs::create_directories(root.path / "sys/class/tty" / tty / "device");
        fs::create_directories(root.path / "dev");
        fs::create_symlink(sim.pty.path(), root.path / "dev" / tty);
    };
    device("1-1", "0123456789", "velkorand USB Serial", "ttyACM0");
    device("1-2", "RQM20090414", "QARN-3 Analyzer", "ttyACM1");
    SysfsRegistry registry(root.path.string());
    link->setRegistry(&registry);

    const std::string expected = (root.path / "dev/ttyACM1").string();
    EXPECT_EQ(link->GetCommPortName(), expected);
    EXPECT_TRUE(link->LinkValid);
    EXPECT_TRUE(serial.Active());
    EXPECT_EQ(serial.CommPort(), expected);
    EXPECT_FALSE(logged(log, "Opening " + (root.path / "dev/ttyACM0").string() + " "));
    EXPECT_TRUE(logged(log, "Opening " + expected + " "));
    EXPECT_EQ(link->TestComm(expected), 0);
}

struct LinkTestCase {
    const char* name;
    std::function<void(AnalyzerSimulator&)> setUp;
    bool portExists;
    int result;
};

class LinkTestResults : public LiveComTest, public ::testing::WithParamInterface<LinkTestCase> {};

TEST_P(LinkTestResults, OverThePseudoTerminal) {
    SimThread sim;
    GetParam().setUp(sim.pty.analyzer());
    sim.start();
    const std::string port = GetParam().portExists ? sim.pty.path() : "/nonexistent/ttyACM9";
    EXPECT_EQ(link->TestComm(port), GetParam().result);
    EXPECT_EQ(link->LinkValid, GetParam().result == 0);
}

INSTANTIATE_TEST_SUITE_P(
    Results, LinkTestResults,
    ::testing::Values(LinkTestCase{"Passed", [](AnalyzerSimulator&) {}, true, 0},
                      LinkTestCase{"NotOpen", [](AnalyzerSimulator&) {}, false, 1},
                      LinkTestCase{"TimeOut", [](AnalyzerSimulator& a) { a.silent = true; }, true,
                                   2},
                      LinkTestCase{"WrongCharacter",
                                   [](AnalyzerSimulator& a) { a.extraAfterEcho = "Z"; }, true, 3}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(LiveComTest, APortThatCannotBeOpenedIsListedInTheStatusWindow) {
    link->setStatusView(&status);
    EXPECT_FALSE(link->OpenComm("/nonexistent/ttyACM9"));
    EXPECT_THAT(errorList(), ::testing::Contains("Error reopening Port"));
}

// Counts in steps of 4: quiet, a 0.3 s pulse, quiet, a 0.2 s pulse, quiet.
std::vector<std::int16_t> testCounts() {
    std::vector<std::int16_t> c(2400 * 3, 0);
    const auto pulse = [&](int from, int length, double amplitude) {
        for (int i = 0; i < length; ++i) {
            const double v = amplitude * std::sin(2 * std::numbers::pi * 60 * i / 2400.0);
            c[static_cast<std::size_t>(from + i)] =
                static_cast<std::int16_t>(4 * std::lround(v / 4));
        }
    };
    pulse(1200, 720, 800);
    pulse(3600, 480, 1200);
    return c;
}

// The engine fed by the COM link, as the program runs it with a serial source.
struct LiveEngine : EngineDisplay {
    std::vector<PulseResult> pulses;
    std::string panel2;
    void setStatusPanel(int index, const std::string& text) override {
        if (index == 2) panel2 = text;
    }

    LiveEngine(ComLink& link, DebugLog& log, const std::string& port) : com(link), comLink(link) {
        setSetupDefaults(setup);
        setup.SourceName = port;
        setup.SourceKind = kSourceCom;
        setup.MaxOffTime = 1.0;
        setCalDefaults(cal, 0);
        cal.AvgSamples = static_cast<std::int32_t>(std::lrint(wave.SampleRate * cal.AvgTime));
        cal.CalError = false;
        wave.SamplePeriod = static_cast<float>(1.0 / wave.SampleRate);
        engine =
            std::make_unique<TQARN3Update>(EngineContext{setup, cal, wave, comLink, *this, log});
        engine->useRanges(buildRangeTables(setup.ShuntAmperes, setup.ShuntMillivolts).RangeFormat,
                          0);
        engine->pulseEnded().connect([this](const PulseEnd& p) { pulses.push_back(p.result); });
    }

    // Ticks every 200 ms, as the update timer does, until the test ends or limitMs of ticks
    // pass. A tick also waits for the stream's next piece or for the port to close: a tick
    // that finds no sample still takes one (a zero), and four in a row are a lost link, which
    // a loaded machine that starves the simulator for a while must not bring about before
    // the cable is pulled.
    void run(int limitMs) {
        engine->SetRange();
        engine->ResetTest();
        engine->TestArm();
        const EngineReadings& r = engine->readings();
        for (int t = 0;
             t < limitMs && r.endReason == EndReason::None && r.state != TestState::Ended;
             t += 200) {
            pumpFor(200);
            pumpUntil([&] { return comLink.samplesWaiting() > 0 || !com.portOpen(); });
            engine->ProcessTick();
        }
    }

    TSetupRecord setup;
    TCalRecord cal;
    TWaveformData wave;
    ComLink& com;
    ComAnalyzerLink comLink;
    std::unique_ptr<TQARN3Update> engine;
};

TEST_F(LiveComTest, ALiveStreamMeasuresThePulsesExactlyAsDemonstrationModeDoes) {
    // The reference: the same counts played from a waveform file in demonstration mode.
    ScratchFolder folder;
    const std::vector<std::int16_t> counts = testCounts();
    {
        FileStore files;
        ScriptedDialogs answers;
        answers.answerList("DEFAULT,OK,OK,OK");
        Services s{files, answers, log};
        TWaveformData w;
        std::copy(counts.begin(), counts.end(), w.Samples.get());
        w.SampleCount = static_cast<std::int32_t>(counts.size());
        WaveformFiles(w, s, folder.path.string()).WriteWaveform("Test.owf", 0);
    }
    AnalysisOptions o;
    o.waveFile = (folder.path / "Test.owf").string();
    o.maxOffTime = 1.0;
    const AnalysisResult demo = analyzeWaveform(o);
    ASSERT_TRUE(demo.ok) << demo.error;
    ASSERT_EQ(demo.pulses.size(), 2u);

    SimThread sim;
    sim.pty.analyzer().sample = playCounts(counts);
    sim.start();
    ASSERT_EQ(link->TestComm(sim.pty.path()), 0);
    link->StartComm();
    LiveEngine live(*link, log, sim.pty.path());
    live.run(8000);

    EXPECT_FALSE(logged(log, "RxDataCount <= 0 "));
    EXPECT_EQ(live.engine->readings().endReason, EndReason::Timeout); // as in the demonstration
    ASSERT_EQ(live.pulses.size(), demo.pulses.size());
    for (std::size_t i = 0; i < demo.pulses.size(); ++i) {
        EXPECT_EQ(live.pulses[i].onSamples, demo.pulses[i].result.onSamples);
        EXPECT_EQ(live.pulses[i].pulseAmps, demo.pulses[i].result.pulseAmps);
        EXPECT_EQ(live.pulses[i].suspect, demo.pulses[i].result.suspect);
    }
    EXPECT_EQ(link->errors().ErrorCount, 0);
}

TEST_F(LiveComTest, APulledCableEndsTheTestWithErrorOnThePort) {
    link->setStatusView(&status);
    SimThread sim;
    sim.pty.analyzer().sample = [](std::int64_t i) { return static_cast<int>(i % 3) * 4; };
    sim.pty.misbehaviour.closeAt = 0.5;
    sim.start();
    ASSERT_EQ(link->TestComm(sim.pty.path()), 0);
    link->StartComm();
    LiveEngine live(*link, log, sim.pty.path());
    live.run(5000);

    EXPECT_FALSE(serial.Active());
    EXPECT_FALSE(link->LinkValid);
    EXPECT_FALSE(link->Sampling);
    EXPECT_EQ(live.panel2, "Error on " + sim.pty.path());
    EXPECT_THAT(errorList(), ::testing::Contains("Error Port hung up"));
}

TEST_F(LiveComTest, ACablePulledWhileSamplingIsStoppedInvalidatesTheLink) {
    SimThread sim;
    sim.start();
    ASSERT_EQ(link->TestComm(sim.pty.path()), 0); // stops sampling, as calibrating does
    ASSERT_FALSE(link->Sampling);
    sim.pty.requestClose();
    ASSERT_TRUE(pumpUntil([&] { return !serial.Active(); }));
    EXPECT_FALSE(link->LinkValid);
}

TEST_F(LiveComTest, GarbledPairsAreCountedAndListed) {
    link->setStatusView(&status);
    SimThread sim;
    sim.pty.analyzer().sample = [](std::int64_t) { return 100; };
    sim.pty.misbehaviour.garbleEvery = 10;
    sim.start();
    ASSERT_EQ(link->TestComm(sim.pty.path()), 0);
    link->StartComm();
    // A quarter of a second of the stream, however long a loaded machine takes to bring it.
    ASSERT_TRUE(pumpUntil([&] { return link->RxCount() >= 2 * 600; }));
    int good = 0, zero = 0;
    while (link->RxCount() >= 2)
        (link->GetSample() == 100 ? good : zero) += 1;
    link->CommTimerTick();
    EXPECT_GT(good, 0);
    EXPECT_EQ(link->errors().ErrorCount, zero);
    EXPECT_NEAR(zero * 9, good, 9);
    EXPECT_THAT(errorList(), ::testing::Contains(::testing::StartsWith("Error Type = CharMatch[")));
}

// The link over the component on the scripted stand-in.
class StandInComTest : public LiveComTest {
protected:
    StandInComTest() : LiveComTest(makeOs()) {}
    static std::shared_ptr<SerialOs> makeOs() {
        s_os = std::make_shared<ScriptedSerialOs>();
        return s_os;
    }
    static inline std::shared_ptr<ScriptedSerialOs> s_os;
    ScriptedSerialOs& os = *s_os;
    Pty pty;
};

TEST_F(StandInComTest, AChunkAsLargeAsTheQueueLessTheClusterSizeIsBufferMax) {
    link->setStatusView(&status);
    ASSERT_TRUE(link->OpenComm(pty.slavePath()));
    link->LinkValid = true;
    link->StartComm();
    os.injectRead(std::vector<std::uint8_t>(47998, 0x00));
    ASSERT_TRUE(pumpUntil([&] { return link->MaxRxData == 47998; }));
    EXPECT_EQ(link->errors().ErrorCount, 1);
    link->CommTimerTick();
    EXPECT_THAT(errorList(), ::testing::Contains("Error Type = BufferMax"));
    EXPECT_FALSE(link->Sampling);
}

TEST_F(StandInComTest, MoreThanTheRingHoldsKeepsTheNewest) {
    ASSERT_TRUE(link->OpenComm(pty.slavePath()));
    std::vector<std::uint8_t> data(100002);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i % 251);
    os.injectRead(data);
    ASSERT_TRUE(pumpUntil([&] { return link->RxDataCount == 100002; }));
    EXPECT_EQ(link->RxCount(), 100001);
    EXPECT_EQ(link->ring().RingGet(), 1);
}

TEST_F(StandInComTest, ALineErrorOnAChunkCountsOneError) {
    ASSERT_TRUE(link->OpenComm(pty.slavePath()));
    pumpFor(100);
    os.bumpCounters([](LineCounters& c) { ++c.parity; });
    pumpFor(150);
    pty.write(std::string("\x00\x21", 2));
    ASSERT_TRUE(pumpUntil([&] { return link->RxCount() == 2; }));
    EXPECT_EQ(link->errors().ErrorCount, 1);
    EXPECT_EQ(link->GetSample(), 0);
}

} // namespace
