// The USB reader thread on real threads: stopping never waits on the window's thread, a
// restart while the old thread winds down is kept, exit waits with a bound, and the thread's
// lines reach the debug log numbered.
#include "link/usbreader.h"

#include "link_fixture.h"

#include <QCoreApplication>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

using namespace qarn3;
using namespace qarn3::test;
using ::testing::ElementsAre;

namespace {

// A USB library whose reads really wait: for a packet the test hands over, for the read's
// time-out, or (while held) for the test to let them go.
class HandFedMpusb : public MpusbApi {
public:
    void feed(std::vector<std::uint8_t> packet) {
        std::lock_guard<std::mutex> g(m_lock);
        m_packets.push_back(std::move(packet));
        m_cv.notify_all();
    }
    void hold(bool on) {
        std::lock_guard<std::mutex> g(m_lock);
        m_hold = on;
        m_cv.notify_all();
    }
    int readsInFlight() const {
        std::lock_guard<std::mutex> g(m_lock);
        return m_inFlight;
    }
    std::int64_t timeScale = 1; // divides the read time-outs

    std::uint32_t MPUSBGetDeviceCount(const char*) override { return 1; }
    MpusbHandle MPUSBOpen(std::uint32_t, const char*, const char*, std::uint32_t direction,
                          std::uint32_t) override {
        return 10 + direction;
    }
    std::uint32_t MPUSBWrite(MpusbHandle, const std::uint8_t*, std::uint32_t length,
                             std::uint32_t* sent, std::uint32_t) override {
        if (sent) *sent = length;
        return 1;
    }
    std::uint32_t MPUSBRead(MpusbHandle, std::uint8_t* data, std::uint32_t, std::uint32_t* received,
                            std::uint32_t timeoutMs) override {
        std::unique_lock<std::mutex> lock(m_lock);
        ++m_inFlight;
        m_cv.notify_all();
        const auto deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs / timeScale);
        while (m_hold || (m_packets.empty() && std::chrono::steady_clock::now() < deadline))
            m_hold ? m_cv.wait(lock) : (void)m_cv.wait_until(lock, deadline);
        --m_inFlight;
        if (m_packets.empty()) return 0;
        const auto p = m_packets.front();
        m_packets.pop_front();
        std::copy(p.begin(), p.end(), data);
        *received = static_cast<std::uint32_t>(p.size());
        return 1;
    }
    void MPUSBClose(MpusbHandle) override {}

private:
    mutable std::mutex m_lock;
    std::condition_variable m_cv;
    std::deque<std::vector<std::uint8_t>> m_packets;
    bool m_hold = false;
    int m_inFlight = 0;
};

struct StatusList : UsbLinkView {
    std::vector<std::string> status;
    void addStatus(const std::string& line) override { status.push_back(line); }
};

class UsbReaderTest : public ::testing::Test {
protected:
    UsbReaderTest() {
        log.open();
        link.setView(&view);
        link.setReader(&reader);
        EXPECT_TRUE(link.OpenUSB());
    }
    ~UsbReaderTest() override {
        api.hold(false);
        reader.shutdown(std::chrono::seconds(5));
    }

    // Handles window messages until done() holds; false if it never did within 10 s.
    bool until(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        return true;
    }

    HandFedMpusb api;
    VirtualWaits waits;
    DebugLog log;
    ScriptedDialogs dialogs;
    StatusList view;
    UsbLink link{api, waits, log, dialogs};
    UsbReader reader{link};
};

TEST_F(UsbReaderTest, StopReturnsWhileTheReadIsStillWaiting) {
    api.hold(true);
    reader.ensureRunning();
    ASSERT_TRUE(until([&] { return api.readsInFlight() == 1; }));
    reader.requestStop();
    // Had the stop waited for the thread, the held read could never have let it return.
    EXPECT_EQ(api.readsInFlight(), 1);
    EXPECT_FALSE(reader.running());
    EXPECT_EQ(reader.threadsAlive(), 1);
    api.hold(false);
    ASSERT_TRUE(until([&] { return reader.threadsAlive() == 0; }));
    ASSERT_TRUE(until([&] { return view.status.size() == 2; }));
    EXPECT_THAT(view.status, ElementsAre("Thread Running", "Thread terminated and nil"));
    EXPECT_FALSE(logged(log, "Thread Timeout "));
}

TEST_F(UsbReaderTest, RestartWhileTheOldThreadWindsDownKeepsReadingInOrder) {
    api.hold(true);
    link.USBStartSampling();
    ASSERT_TRUE(until([&] { return api.readsInFlight() == 1; }));
    link.USBStopSampling();
    link.USBStartSampling(); // a range change does this at once
    EXPECT_TRUE(reader.running());
    EXPECT_EQ(reader.threadsAlive(), 2);
    api.feed({1, 4, 0x00, 0x21}); // taken by the old thread's last read
    api.feed({1, 4, 0xFC, 0x3D}); // and this by the new thread
    api.hold(false);
    ASSERT_TRUE(until([&] { return link.RxCount() == 4; }));
    EXPECT_EQ(link.GetSample(), 0);
    EXPECT_EQ(link.GetSample(), 2044);
    ASSERT_TRUE(until([&] { return reader.threadsAlive() == 1; }));
    // The old thread's end notice leaves the new thread in place.
    ASSERT_TRUE(until([&] {
        return std::count(view.status.begin(), view.status.end(), "Thread terminated and nil") == 1;
    }));
    EXPECT_TRUE(reader.running());
    api.feed({1, 3, 0x41});
    ASSERT_TRUE(until([&] { return link.RxCount() == 1; }));
}

TEST_F(UsbReaderTest, ExitWaitsForTheThreadOnlyAsLongAsItsBound) {
    api.hold(true);
    reader.ensureRunning();
    ASSERT_TRUE(until([&] { return api.readsInFlight() == 1; }));
    EXPECT_FALSE(reader.shutdown(std::chrono::milliseconds(20)));
    EXPECT_EQ(reader.threadsAlive(), 1);
    api.hold(false);
    EXPECT_TRUE(reader.shutdown(std::chrono::seconds(5)));
    EXPECT_EQ(reader.threadsAlive(), 0);
}

TEST_F(UsbReaderTest, SilentAnalyzerEndsTheThreadAndTheNextSendStartsAnother) {
    api.timeScale = 100; // 25 empty reads of 1 ms
    reader.ensureRunning();
    ASSERT_TRUE(until([&] { return view.status.size() == 3; }));
    EXPECT_THAT(view.status,
                ElementsAre("Thread Running", "Thread Timeout", "Thread terminated and nil"));
    EXPECT_FALSE(reader.running());
    EXPECT_TRUE(link.USBSendCommand(0x0D));
    EXPECT_TRUE(reader.running());
    ASSERT_TRUE(until([&] { return view.status.size() == 6; }));
    EXPECT_EQ(view.status[3], "Thread Running");
}

TEST_F(UsbReaderTest, ReaderLinesReachTheDebugLogNumberedInTurn) {
    const int before = log.lineCount();
    api.timeScale = 100;
    reader.ensureRunning();
    ASSERT_TRUE(until([&] { return logged(log, "Thread Timeout "); }));
    log.AddDebugLine("After");
    const auto& lines = log.lines();
    ASSERT_EQ(static_cast<int>(lines.size()), before + 3);
    EXPECT_EQ(lines[static_cast<std::size_t>(before)].rfind(
                  std::to_string(before + 1) + ": Thread Running  at: ", 0),
              0u);
    EXPECT_EQ(lines.back().rfind(std::to_string(before + 3) + ": After at: ", 0), 0u);
}

} // namespace
