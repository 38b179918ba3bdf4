#include "link/usblink.h"
#include "link/usbreader.h"
#include "platform/registry.h"

#include "link_fixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <memory>

using namespace qarn3;
using namespace qarn3::test;
using ::testing::ElementsAre;

namespace {

struct RecordingView : UsbLinkView {
    std::vector<std::string> status;
    std::string device;
    bool timer = false;
    void addStatus(const std::string& line) override { status.push_back(line); }
    void setDeviceText(const std::string& text) override { device = text; }
    void setTimerEnabled(bool on) override { timer = on; }
};

// A library that cannot open the device for want of permission, and says so.
struct NoPermissionMpusb : FakeMpusb {
    using FakeMpusb::FakeMpusb;
    std::string takeProblem() override { return "Install the udev rule, then re-plug."; }
};

class UsbLinkTest : public ::testing::Test {
protected:
    UsbLinkTest() {
        log.open();
        link = std::make_unique<UsbLink>(api, waits, log, dialogs);
        link->setReader(&reader);
        link->setView(&view);
        waits.pump = [this] {
            while (reader.running && link->readerPoll()) {
            }
        };
    }

    // The packets written since the index, as the analyzer sees them.
    std::vector<std::vector<std::uint8_t>> packetsFrom(std::size_t index) const {
        return {api.packets.begin() + static_cast<long>(index), api.packets.end()};
    }

    FakeAnalyzer analyzer;
    VirtualWaits waits;
    FakeMpusb api{analyzer, waits};
    SteppedReader reader;
    DebugLog log;
    ScriptedDialogs dialogs;
    RecordingView view;
    std::unique_ptr<UsbLink> link;
};

TEST_F(UsbLinkTest, LinkTestPassesOnTheEcho) {
    EXPECT_EQ(link->USBTestComm(), 5);
    EXPECT_TRUE(link->LinkValid);
    EXPECT_EQ(link->RxCount(), 0);
    const auto t = texts(log);
    EXPECT_EQ(t.front(), "USB TestComm ");
    EXPECT_TRUE(logged(log, "USB Received test character [65]"));
    EXPECT_EQ(t.back(), "End USBTestComm ");
    // Carriage return as a command, then "A\r" as one string packet.
    ASSERT_GE(api.packets.size(), 2u);
    EXPECT_EQ(api.packets[0], (std::vector<std::uint8_t>{0x80, 3, 0x0D}));
    EXPECT_EQ(api.packets[1], (std::vector<std::uint8_t>{0xF0, 4, 'A', '\r'}));
}

TEST_F(UsbLinkTest, LinkTestThrowsAwayAtMostTenCharactersAfterTheCarriageReturn) {
    analyzer.crReply = "0123456789XYZ"; // 13 characters: the 11th ("X") is inspected
    EXPECT_EQ(link->USBTestComm(), 4);
    EXPECT_FALSE(link->LinkValid);
    EXPECT_TRUE(logged(log, "USB Received test character [88]"));
    EXPECT_TRUE(logged(log, "USB Wrong test char [88]"));
    const auto t = texts(log);
    EXPECT_EQ(std::count(t.begin(), t.end(), "USBCommBuffer.count=3"), 1);
}

TEST_F(UsbLinkTest, LinkTestResults) {
    analyzer.silent = true;
    EXPECT_EQ(link->USBTestComm(), 3);
    EXPECT_TRUE(logged(log, "USB Comm Test Timeout"));
    analyzer.silent = false;
    analyzer.echoFirst = 'B';
    EXPECT_EQ(link->USBTestComm(), 4);
    api.openFails = true;
    link->CloseUSB();
    EXPECT_EQ(link->USBTestComm(), 2);
    EXPECT_EQ(view.status.back(), "USB Error Invalid Handle");
    api.present = false;
    EXPECT_EQ(link->USBTestComm(), 1);
}

TEST_F(UsbLinkTest, OpenWithValidHandlesKeepsThemButEmptiesTheRing) {
    ASSERT_TRUE(link->OpenUSB());
    const int opens = api.opens;
    link->ring().RingPut(0x41);
    ASSERT_TRUE(link->OpenUSB());
    EXPECT_EQ(api.opens, opens);
    EXPECT_TRUE(logged(log, "USB Handles valid"));
    EXPECT_EQ(link->RxCount(), 0);
}

TEST_F(UsbLinkTest, RangeSelectionRestartsSampling) {
    ASSERT_TRUE(link->OpenUSB());
    link->USBStartSampling();
    ASSERT_TRUE(link->Sampling);
    const std::size_t before = api.packets.size();
    waits.calls.clear();
    link->USBSendRange(4);
    EXPECT_THAT(packetsFrom(before), ElementsAre(std::vector<std::uint8_t>{0x80, 3, 0x04},
                                                 std::vector<std::uint8_t>{0x80, 3, 0x34},
                                                 std::vector<std::uint8_t>{0x80, 3, 0x01}));
    EXPECT_THAT(waits.calls, ElementsAre("Busy 100", "Busy 100"));
    EXPECT_EQ(analyzer.lastRangeCode, 0x34);
    EXPECT_TRUE(link->Sampling);
    EXPECT_TRUE(view.timer);
    EXPECT_TRUE(logged(log, "USB Send Range 4"));
}

TEST_F(UsbLinkTest, RangeSendFailureIsLoggedAndSamplingRestarts) {
    ASSERT_TRUE(link->OpenUSB());
    api.writeFails = true;
    link->USBSendRange(8);
    EXPECT_TRUE(logged(log, "USB Send Range 0"));
    EXPECT_TRUE(logged(log, "USB Send Range Error"));
    EXPECT_TRUE(link->Sampling);
}

TEST_F(UsbLinkTest, SamplesStreamIntoTheRing) {
    analyzer.sample = [](std::int64_t i) { return static_cast<int>((i % 100) * 4); };
    ASSERT_TRUE(link->OpenUSB());
    link->USBStartSampling();
    waits.run(200);
    const int waiting = link->RxCount() / 2;
    EXPECT_NEAR(waiting, 480, 10);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(link->GetSample(), i * 4);
    EXPECT_EQ(link->errors().ErrorCount, 0);
    link->USBStopSampling();
    EXPECT_FALSE(link->Sampling);
    EXPECT_FALSE(reader.running);
    EXPECT_FALSE(analyzer.sampling);
}

TEST_F(UsbLinkTest, ReadsOfTwoBytesCarryNoData) {
    ASSERT_TRUE(link->OpenUSB());
    link->ReadLife = 3;
    api.rawReads.push_back({1, 2});
    EXPECT_TRUE(link->readerPoll());
    EXPECT_EQ(link->RxCount(), 0);
    EXPECT_EQ(link->ReadLife, kReadLifeFull);
    api.rawReads.push_back({1, 3, 0x41});
    EXPECT_TRUE(link->readerPoll());
    EXPECT_EQ(link->RxCount(), 1);
    EXPECT_EQ(link->ReceivedChars, 1u);
    EXPECT_FALSE(link->readerPoll()); // nothing more: a failed read
}

TEST_F(UsbLinkTest, CalibrationStringGoesOutIn62CharacterPackets) {
    ASSERT_TRUE(link->OpenUSB());
    const std::size_t before = api.packets.size();
    waits.calls.clear();
    dialogs.answer(MsgButton::OK);
    link->USBSendCal(std::string(128, '7'));
    const auto sent = packetsFrom(before);
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[0].size(), 64u);
    EXPECT_EQ(sent[1].size(), 64u);
    EXPECT_EQ(sent[2].size(), 9u);
    EXPECT_EQ(sent[2][1], 9);
    EXPECT_THAT(waits.calls, ElementsAre("Busy 100", "Busy 300", "Busy 100", "Busy 300", "Busy 100",
                                         "Busy 300"));
    EXPECT_EQ(analyzer.writtenImage, std::string(128, '7'));
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].text, "Writing to PIC Memory");
    EXPECT_EQ(dialogs.shown()[0].caption, "Warning");
    EXPECT_THAT(dialogs.shown()[0].buttons, ElementsAre(MsgButton::OK, MsgButton::Cancel));
}

TEST_F(UsbLinkTest, CancellingTheCalibrationWriteSendsNothing) {
    ASSERT_TRUE(link->OpenUSB());
    const std::size_t before = api.packets.size();
    dialogs.answer(MsgButton::Cancel);
    link->USBSendCal(sampleCalImage());
    EXPECT_EQ(api.packets.size(), before);
}

TEST_F(UsbLinkTest, CalibrationReadReturnsTheImage) {
    ASSERT_TRUE(link->OpenUSB());
    link->LinkValid = true;
    std::string image;
    EXPECT_TRUE(link->USBReceiveCal(image));
    EXPECT_EQ(image, sampleCalImage());
    EXPECT_TRUE(link->LinkValid);
    EXPECT_FALSE(link->Sampling);
    EXPECT_EQ(texts(log).back(), "End USBReceiveCal ");
}

TEST_F(UsbLinkTest, CalibrationReplyWithBadNinthCharacterEndsPollingAtOnce) {
    analyzer.calImage[8] = 'x';
    ASSERT_TRUE(link->OpenUSB());
    link->LinkValid = true;
    std::string image = "unchanged";
    waits.calls.clear();
    EXPECT_FALSE(link->USBReceiveCal(image));
    EXPECT_EQ(image, "unchanged");
    EXPECT_FALSE(link->LinkValid);
    // 300 ms before the command, 100 after it, then no polling wait at all.
    EXPECT_THAT(waits.calls, ElementsAre("Busy 300", "Busy 100"));
}

TEST_F(UsbLinkTest, MissingCalibrationPollsTenTimes) {
    analyzer.silent = true;
    ASSERT_TRUE(link->OpenUSB());
    std::string image;
    EXPECT_FALSE(link->USBReceiveCal(image));
    const auto t = texts(log);
    EXPECT_EQ(std::count(t.begin(), t.end(), "Waiting for Cal Data "), 10);
    EXPECT_EQ(std::count(waits.calls.begin(), waits.calls.end(), "Busy 100"), 1 + 9);
}

TEST_F(UsbLinkTest, NoDeviceMakesEveryExchangeANoOp) {
    api.present = false;
    std::string image;
    EXPECT_FALSE(link->USBReceiveCal(image));
    link->USBSendRange(3);
    link->USBSendCal(sampleCalImage());
    EXPECT_TRUE(api.packets.empty());
    EXPECT_TRUE(dialogs.shown().empty());
}

TEST_F(UsbLinkTest, FullRingKeepsItsCharactersAndLosesTheNewest) {
    ASSERT_TRUE(link->OpenUSB());
    std::vector<std::uint8_t> packet(64, 0x00);
    packet[1] = 64;
    for (int i = 0; i < 65000 / 62; ++i) { // 1048 packets fill all but 24 places
        api.rawReads.push_back(packet);
        ASSERT_TRUE(link->readerPoll());
    }
    ASSERT_EQ(link->RxCount(), 64976);
    packet[2] = 0x21;
    api.rawReads.push_back(packet);
    ASSERT_TRUE(link->readerPoll());
    EXPECT_EQ(link->RxCount(), 65000);
    EXPECT_EQ(link->ReceivedChars, 1049u * 62u); // counted though not kept
    EXPECT_EQ(link->ring().recent(24), 0x21);    // the last packet kept its first 24
    EXPECT_EQ(link->ring().recent(1), 0x00);
}

TEST(UsbLinkAccess, NoPermissionIsExplainedOnceAndLogged) {
    FakeAnalyzer analyzer;
    VirtualWaits clock;
    NoPermissionMpusb api{analyzer, clock};
    api.openFails = true;
    DebugLog log;
    log.open();
    ScriptedDialogs dialogs;
    UsbLink link{api, clock, log, dialogs};
    EXPECT_EQ(link.USBTestComm(), 2);
    EXPECT_EQ(link.USBTestComm(), 2); // the hardware check's retry
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].text, "Install the udev rule, then re-plug.");
    EXPECT_EQ(dialogs.shown()[0].caption, "Error");
    const auto t = texts(log);
    EXPECT_EQ(std::count(t.begin(), t.end(), "USB Install the udev rule, then re-plug."), 2);
}

TEST_F(UsbLinkTest, OpenShowsTheDeviceClassFromTheDeviceStore) {
    MemoryRegistry registry;
    const std::string key = std::string(kUsbEnumKey) + "\\Vid_04d8&Pid_fdcf\\KXV0123456";
    registry.setValue(key, "Class", "USB");
    registry.setValue(key, "Service", "usbfs");
    link->setRegistry(&registry);
    ASSERT_TRUE(link->OpenUSB());
    EXPECT_EQ(view.device, "vid_04d8&pid_fdcf\\KXV0123456 USB");
    EXPECT_TRUE(
        logged(log, "Key: SYSTEM\\CurrentControlSet\\Enum\\USB\\vid_04d8&pid_fdcf\\KXV0123456"));
    const TUSBPortInfo info = link->GetUSBPortInfo(kUsbDevice, kUsbSerial);
    EXPECT_EQ(info.Service, "usbfs");
}

TEST_F(UsbLinkTest, AnalyzerWithAnotherSerialNumberIsStillShown) {
    MemoryRegistry registry;
    registry.setValue(std::string(kUsbEnumKey) + "\\Vid_04d8&Pid_fdcf\\QX0042", "Class", "Ports");
    registry.setValue(std::string(kUsbEnumKey) + "\\Vid_04d8&Pid_fdcf\\QX0042", "Service",
                      "cdc_acm");
    link->setRegistry(&registry);
    ASSERT_TRUE(link->OpenUSB());
    EXPECT_EQ(view.device, "vid_04d8&pid_fdcf\\QX0042 Ports");
}

TEST_F(UsbLinkTest, WithoutADeviceStoreNothingIsShown) {
    ASSERT_TRUE(link->OpenUSB());
    EXPECT_TRUE(logged(log, "Error creating Reg "));
    EXPECT_EQ(view.device, "");
    EXPECT_EQ(link->GetUSBPortInfo(kUsbDevice, kUsbSerial).DeviceClass, "");
}

// The real reader thread against the fake library: it fills the ring and ends by itself
// after 25 empty reads. It is started once, as a send starts it: a send calls for it twice,
// and the fake's empty reads return at once, so the first thread could time out between the
// two calls and a second one start.
TEST(UsbReaderThread, FillsTheRingAndTimesOut) {
    FakeAnalyzer analyzer;
    VirtualWaits clock;
    FakeMpusb api{analyzer, clock};
    DebugLog log;
    log.open();
    ScriptedDialogs dialogs;
    RecordingView view;
    auto link = std::make_unique<UsbLink>(api, clock, log, dialogs);
    UsbReader reader(*link);
    link->setReader(&reader);
    link->setView(&view);
    ASSERT_TRUE(link->OpenUSB());
    analyzer.silent = true; // the analyzer's state is then never touched by two threads
    api.rawReads.push_back({1, 4, 0x00, 0x21});
    reader.ensureRunning();
    QElapsedTimer timer;
    timer.start();
    while (!logged(log, "Thread Timeout ") && timer.elapsed() < 5000)
        QCoreApplication::processEvents();
    while (view.status.size() < 3 && timer.elapsed() < 5000)
        QCoreApplication::processEvents();
    EXPECT_EQ(link->RxCount(), 2);
    EXPECT_EQ(link->GetSample(), 0);
    EXPECT_THAT(view.status,
                ElementsAre("Thread Running", "Thread Timeout", "Thread terminated and nil"));
    EXPECT_TRUE(logged(log, "Thread Running "));
    link->CloseUSB();
}

} // namespace
