// The simulated USB analyzer on a real clock, driven by the USB link and its reader thread;
// the device and endpoint strings the libusb layer understands; the "USB Test" timer lines.
#include "diag/qtwaits.h"
#include "link/usbreader.h"
#include "link/usbsim.h"
#include "link/usbstatus.h"
#include "platform/libusbapi.h"

#include "link_fixture.h"

#include <QCoreApplication>

#include <cctype>
#include <chrono>
#include <sstream>
#include <thread>

using namespace qarn3;
using namespace qarn3::test;

namespace {

struct DeviceStringCase {
    const char* text;
    std::optional<UsbIds> ids;
};

class DeviceStrings : public ::testing::TestWithParam<DeviceStringCase> {};

TEST_P(DeviceStrings, ParseCaseInsensitivelyAndRefuseAnythingElse) {
    EXPECT_EQ(parseUsbDeviceString(GetParam().text), GetParam().ids);
}

INSTANTIATE_TEST_SUITE_P(
    Usb, DeviceStrings,
    ::testing::Values(DeviceStringCase{"vid_04d8&pid_fdcf", UsbIds{0x04d8, 0xfdcf}},
                      DeviceStringCase{"VID_04D8&PID_FDCF", UsbIds{0x04d8, 0xfdcf}},
                      DeviceStringCase{"Vid_04d8&Pid_000C", UsbIds{0x04d8, 0x000c}},
                      DeviceStringCase{"vid_04d8&pid_fdcf\\KXV0123456", std::nullopt},
                      DeviceStringCase{"vid_04d8&pid_fdc", std::nullopt},
                      DeviceStringCase{"vid_04g8&pid_fdcf", std::nullopt},
                      DeviceStringCase{"vid_04d8+pid_fdcf", std::nullopt},
                      DeviceStringCase{"", std::nullopt}),
    [](const ::testing::TestParamInfo<DeviceStringCase>& p) {
        std::string name = std::to_string(p.index) + "_";
        for (const char* c = p.param.text; *c; ++c)
            name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
        return name;
    });

TEST(UsbEndpointStrings, NameEndpointsOneToFifteen) {
    EXPECT_EQ(parseUsbEndpointString("\\MCHP_EP1"), 1);
    EXPECT_EQ(parseUsbEndpointString("\\mchp_ep15"), 15);
    EXPECT_EQ(parseUsbEndpointString("\\MCHP_EP0"), std::nullopt);
    EXPECT_EQ(parseUsbEndpointString("\\MCHP_EP16"), std::nullopt);
    EXPECT_EQ(parseUsbEndpointString("MCHP_EP1"), std::nullopt);
    EXPECT_EQ(parseUsbEndpointString("\\MCHP_EP1x"), std::nullopt);
}

class UsbStatusTickTest : public ::testing::Test {
protected:
    UsbStatusTickTest() { log.open(); }
    FakeAnalyzer analyzer;
    VirtualWaits waits;
    FakeMpusb api{analyzer, waits};
    DebugLog log;
    ScriptedDialogs dialogs;
    UsbLink link{api, waits, log, dialogs};
};

TEST_F(UsbStatusTickTest, TenSecondsOfStreamShowRightAligned) {
    link.ReceivedChars = 48000;
    EXPECT_EQ(USBTimerTick(link, '.').elapsed, " 10.0000 sec");
    EXPECT_EQ(USBTimerTick(link, ',').elapsed, " 10,0000 sec");
    EXPECT_EQ(usbElapsedText(0, '.'), "  0.0000 sec");
}

TEST_F(UsbStatusTickTest, ErrorKindsAreListedOnceWithTheStreamTime) {
    link.ReceivedChars = 2400;
    // A lone second character, two first characters, then pairs whose phase bits differ.
    const std::uint8_t stream[] = {0x01, 0x00, 0x00, 0x00, 0x23};
    link.ring().putBlock(stream, sizeof stream);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(link.GetSample(), 0);
    const UsbStatusTick t = USBTimerTick(link, ',');
    EXPECT_EQ(t.errorCount, "3");
    EXPECT_THAT(t.lines,
                ::testing::ElementsAre("Error at 0,500000 seconds", "Error Type = FirstChar",
                                       "Error Type = SecondChar", "Error Type = CharMatch"));
    EXPECT_TRUE(USBTimerTick(link, ',').lines.empty());
    EXPECT_EQ(USBTimerTick(link, ',').errorCount, "3");
}

TEST_F(UsbStatusTickTest, MaxRxDataKeepsTheLargestPacket) {
    link.RxDataCount = 62;
    EXPECT_EQ(USBTimerTick(link, '.').maxRxData, "62");
    link.RxDataCount = 10;
    const UsbStatusTick t = USBTimerTick(link, '.');
    EXPECT_EQ(t.rxDataCount, "10");
    EXPECT_EQ(t.maxRxData, "62");
}

// The link and its reader thread against the simulator, all in real time.
class SimulatedAnalyzerTest : public ::testing::Test {
protected:
    SimulatedAnalyzerTest() {
        log.open();
        link.setReader(&reader);
    }
    ~SimulatedAnalyzerTest() override {
        link.CloseUSB();
        reader.shutdown(std::chrono::seconds(2));
    }

    SimulatedMpusb sim;
    QtWaits waits;
    DebugLog log;
    ScriptedDialogs dialogs;
    UsbLink link{sim, waits, log, dialogs};
    UsbReader reader{link};
};

TEST_F(SimulatedAnalyzerTest, PassesTheLinkTestAndExchangesTheCalibration) {
    EXPECT_EQ(link.USBTestComm(), 5);
    std::string image;
    ASSERT_TRUE(link.USBReceiveCal(image));
    EXPECT_EQ(image, simulatorCalImage());
    std::string written = simulatorCalImage();
    written[0] = '9';
    dialogs.answer(MsgButton::OK);
    link.USBSendCal(written); // 131 characters: three string packets
    std::string seen;
    sim.withAnalyzer([&](AnalyzerSimulator& a) { seen = a.writtenImage; });
    EXPECT_EQ(seen, written);
    ASSERT_TRUE(link.USBReceiveCal(image));
    EXPECT_EQ(image, written);
}

// Two runs' exchanges are compared through these logs: packets as written, bytes as the
// analyzer takes them, numbered, with nothing that differs from run to run.
TEST_F(SimulatedAnalyzerTest, CommandLogsListEveryPacketAndByteInOrder) {
    std::ostringstream packets, bytes;
    sim.setCommandLog(&packets);
    sim.withAnalyzer([&](AnalyzerSimulator& a) { a.commandLog = &bytes; });
    EXPECT_EQ(link.USBTestComm(), 5);
    EXPECT_EQ(packets.str(), "1 80 03 0d\n2 f0 04 41 0d\n");
    EXPECT_EQ(bytes.str(), "1 0d\n2 41\n3 0d\n");
    sim.withAnalyzer([](AnalyzerSimulator& a) { a.commandLog = nullptr; });
}

TEST_F(SimulatedAnalyzerTest, StreamsTheSampleSourceWhileTheMainThreadWrites) {
    sim.withAnalyzer([](AnalyzerSimulator& a) {
        a.sample = [](std::int64_t i) { return static_cast<int>((i % 500) * 4 - 1000); };
    });
    ASSERT_TRUE(link.OpenUSB());
    link.USBStartSampling();
    // Writes from this thread meanwhile (range codes restart nothing here: the analyzer
    // only notes them).
    for (int i = 0; i < 5; ++i) {
        EXPECT_TRUE(link.USBSendCommand(0x33));
        waits.BusyWait(60);
    }
    ASSERT_GE(link.RxCount(), 2 * 600);
    for (int i = 0; i < 600; ++i)
        ASSERT_EQ(link.GetSample(), (i % 500) * 4 - 1000) << "sample " << i;
    EXPECT_EQ(link.errors().ErrorCount, 0);
    EXPECT_EQ(link.RxDataCount, 62);
}

TEST_F(SimulatedAnalyzerTest, PulledCableFailsEveryCallAndTheAnalyzerComesBackFresh) {
    ASSERT_TRUE(link.OpenUSB());
    const MpusbHandle oldWrite = link.writeHandle();
    const MpusbHandle oldRead = link.readHandle();
    link.USBStartSampling();
    sim.setCablePulled(true);
    EXPECT_FALSE(link.DevicePresent());
    std::uint8_t packet[3] = {0x80, 3, 0x01};
    std::uint8_t buf[64];
    std::uint32_t n = 0;
    EXPECT_EQ(sim.MPUSBWrite(oldWrite, packet, 3, &n, 100), 0u);
    EXPECT_EQ(sim.MPUSBRead(oldRead, buf, 64, &n, 100), 0u);
    sim.setCablePulled(false);
    EXPECT_TRUE(link.DevicePresent());
    EXPECT_EQ(sim.MPUSBWrite(oldWrite, packet, 3, &n, 100), 0u);
    bool sampling = true;
    sim.withAnalyzer([&](AnalyzerSimulator& a) { sampling = a.sampling; });
    EXPECT_FALSE(sampling);
    link.CloseUSB();
    EXPECT_EQ(link.USBTestComm(), 5);
}

TEST(SimulatedUsb, ReadsWaitForTheAnalyzerInsteadOfSpinning) {
    SimulatedMpusb sim;
    const MpusbHandle w = sim.MPUSBOpen(0, kUsbDevice.c_str(), kUsbEndpoint, 0, 0);
    const MpusbHandle r = sim.MPUSBOpen(0, "VID_04D8&PID_FDCF", "\\mchp_ep1", 1, 0);
    ASSERT_NE(r, kInvalidPipe);
    std::uint8_t buf[64];
    std::uint32_t n = 0;
    EXPECT_EQ(sim.MPUSBRead(r, buf, 64, &n, 50), 0u);
    EXPECT_LE(sim.waits(), 6); // 10 ms steps while an answer may come due
    const std::uint8_t start[3] = {0x80, 3, 0x01};
    ASSERT_EQ(sim.MPUSBWrite(w, start, 3, &n, 100), 1u);
    const std::int64_t before = sim.waits();
    ASSERT_EQ(sim.MPUSBRead(r, buf, 64, &n, 100), 1u);
    EXPECT_EQ(n, 64u); // a full packet, waited for in one go
    EXPECT_LE(sim.waits() - before, 2);
    EXPECT_EQ(sim.MPUSBRead(w, buf, 64, &n, 10), 0u); // not a read pipe
}

} // namespace
