#include "link/comlink.h"
#include "platform/registry.h"

#include "link_fixture.h"

#include <memory>

using namespace qarn3;
using namespace qarn3::test;
using ::testing::ElementsAre;

namespace {

const std::string kDevice = std::string(kUsbEnumKey) + "\\Vid_04d8&Pid_fdcf\\";

// A recording "Communication Status" window.
class RecordingStatusView : public CommStatusView {
public:
    std::vector<std::string> boxes;
    std::vector<std::string> lines;
    void showBoxes(const std::string& errorCount, const std::string& rxDataCount,
                   const std::string& commError, const std::string& maxRxData) override {
        boxes = {errorCount, rxDataCount, commError, maxRxData};
    }
    void addErrorLine(const std::string& line) override { lines.push_back(line); }
    void clearErrorLines() override { lines.clear(); }
};

// The COM link over the fake serial port, with a device store filled by hand.
class ComDiscoveryTest : public ::testing::Test {
protected:
    ComDiscoveryTest() {
        log.open();
        link = std::make_unique<ComLink>(&serial, waits, log, dialogs);
        link->setRegistry(&registry);
        link->setStatusView(&view);
        waits.pump = [this] { serial.deliver(); };
    }

    void describe(const std::string& serialNumber, const std::string& friendly,
                  const std::string& port) {
        registry.setValue(kDevice + serialNumber, "FriendlyName", friendly);
        registry.setValue(kDevice + serialNumber + "\\Device Parameters", "PortName", port);
    }

    FakeAnalyzer analyzer;
    VirtualWaits waits;
    FakeSerialPort serial{analyzer, waits};
    DebugLog log;
    ScriptedDialogs dialogs;
    MemoryRegistry registry;
    RecordingStatusView view;
    std::unique_ptr<ComLink> link;
};

TEST_F(ComDiscoveryTest, TheFirstCandidateThatAnswersTheProbeIsFound) {
    describe("0123456789", "Velkorand USB Serial (/dev/ttyACM0)", "/dev/ttyACM0");
    registry.setValue(kSerialCommKey, "\\Device\\ttyACM0", "/dev/ttyACM0");
    EXPECT_EQ(link->GetCommPortName(), "/dev/ttyACM0");
    EXPECT_EQ(link->PortName, "/dev/ttyACM0");
    EXPECT_TRUE(link->LinkValid);
    EXPECT_TRUE(serial.Active());
    EXPECT_EQ(serial.CommPort(), "/dev/ttyACM0");
    EXPECT_EQ(analyzer.received.back(), cmd::DiscoveryProbe);
    EXPECT_EQ(link->RxCount(), 0); // the reply was cleared
    const auto t = texts(log);
    EXPECT_EQ(t.front(), "Getting CommPortName ");
    EXPECT_TRUE(logged(log, "FriendlyName: Velkorand USB Serial (/dev/ttyACM0)"));
    EXPECT_TRUE(logged(log, "Testing /dev/ttyACM0 "));
    EXPECT_EQ(t.back(), "Tested Port: /dev/ttyACM0");
}

TEST_F(ComDiscoveryTest, TheFriendlyNamePrefixIsCaseSensitive) {
    describe("0123456789", "velkorand USB Serial (/dev/ttyACM0)", "/dev/ttyACM0");
    describe("RQM20090414", "QARN-3 Analyzer (/dev/ttyACM1)", "/dev/ttyACM1");
    EXPECT_EQ(link->GetCommPortName(), "/dev/ttyACM1");
    EXPECT_FALSE(logged(log, "Opening /dev/ttyACM0 "));
}

TEST_F(ComDiscoveryTest, WithNoAnswerThePortStaysOpenForTheLinkTest) {
    describe("0123456789", "Velkorand USB Serial (/dev/ttyACM0)", "/dev/ttyACM0");
    analyzer.discoveryReply = std::string(200, '1'); // 200 characters are not enough
    EXPECT_EQ(link->GetCommPortName(), "COM");
    EXPECT_FALSE(link->LinkValid);
    EXPECT_TRUE(serial.Active());
    EXPECT_EQ(texts(log).back(), "Tested Port: COM");
    EXPECT_EQ(link->TestComm("COM"), 0); // the open port is the one tested
}

TEST_F(ComDiscoveryTest, WithoutADescriptionNothingIsOpened) {
    registry.setValue(kDevice + "0123456789", "FriendlyName", "Velkorand USB Serial");
    EXPECT_EQ(link->GetCommPortName(), "COM");
    EXPECT_FALSE(serial.Active());
    const TCommPortInfo info = link->GetCommPortInfo(kAnalyzerUsbDevice, "0123456789");
    EXPECT_EQ(info.FriendlyName, ""); // no port name: both stay empty
}

TEST_F(ComDiscoveryTest, AnOpenPortIsReturnedWithoutDiscovery) {
    ASSERT_TRUE(link->OpenComm("/dev/ttyUSB3"));
    EXPECT_EQ(link->GetCommPortName(), "/dev/ttyUSB3");
    EXPECT_FALSE(logged(log, "Tested Port: COM"));
    EXPECT_FALSE(logged(log, "SerialPortOFF "));
}

TEST_F(ComDiscoveryTest, ANamedDevicePathIsTestedAsItIsAndComMeansFindIt) {
    describe("0123456789", "Velkorand USB Serial (/dev/ttyACM0)", "/dev/ttyACM0");
    EXPECT_EQ(link->portToTest(" /dev/pts/7 "), "/dev/pts/7");
    EXPECT_FALSE(logged(log, "Getting CommPortName "));
    EXPECT_EQ(link->portToTest("COM4"), "/dev/ttyACM0");
    EXPECT_EQ(link->portToTest("/dev/pts/7"), "/dev/ttyACM0"); // that port is open now
}

TEST_F(ComDiscoveryTest, SerialPortsAreListedOnce) {
    registry.setValue(kSerialCommKey, "\\Device\\ttyACM0", "/dev/ttyACM0");
    registry.setValue(kSerialCommKey, "\\Device\\ttyS0", "/dev/ttyS0");
    std::vector<std::string> ports{"/dev/ttyS0"};
    link->EnumCommPorts(ports);
    EXPECT_THAT(ports, ElementsAre("/dev/ttyS0", "/dev/ttyACM0"));
}

TEST_F(ComDiscoveryTest, PortsButtonListsTheDescriptionAndThePorts) {
    describe("0123456789", "Velkorand USB Serial (/dev/ttyACM0)", "/dev/ttyACM0");
    registry.setValue(kSerialCommKey, "\\Device\\ttyACM0", "/dev/ttyACM0");
    view.lines = {"old"};
    link->PortsClick();
    EXPECT_THAT(view.lines,
                ElementsAre("Device Parameters", "***Value Names***", "FriendlyName",
                            "Velkorand USB Serial (/dev/ttyACM0)", "/dev/ttyACM0", "/dev/ttyACM0"));
    registry = MemoryRegistry();
    registry.setValue(kSerialCommKey, "\\Device\\ttyS0", "/dev/ttyS0");
    link->PortsClick();
    EXPECT_TRUE(logged(log, "Key does not exist "));
    EXPECT_EQ(view.lines.back(), "/dev/ttyS0");
}

TEST_F(ComDiscoveryTest, WithoutADeviceStoreDiscoverySaysSo) {
    link->setRegistry(nullptr);
    EXPECT_EQ(link->GetCommPortName(), "COM");
    EXPECT_TRUE(logged(log, "Error creating Reg "));
}

TEST_F(ComDiscoveryTest, ComponentReportsGoToTheErrorList) {
    serial.OnProcessError(serial, 112, 2, "Error reopening Port", 0);
    EXPECT_THAT(view.lines, ElementsAre("Error reopening Port"));
}

TEST_F(ComDiscoveryTest, TimerListsTheErrorKindsOnceAndLogsNewErrors) {
    ASSERT_TRUE(link->OpenComm("/dev/ttyACM0"));
    link->LinkValid = true;
    link->StartComm();
    serial.commError = 0x0A;
    auto& e = link->errors();
    e.ErrorCount = 3;
    e.RxErrorFlags = rxerr::FirstChar | rxerr::SecondChar | rxerr::CharMatch;
    e.BadFirstChar = 0x3b;
    e.BadSecondChar = 0xa2;
    link->CommTimerTick();
    EXPECT_THAT(view.lines,
                ElementsAre("Error Type = FirstChar [3B]", "Error Type = SecondChar [A2]",
                            "Error Type = CharMatch[A2]"));
    EXPECT_THAT(view.boxes, ElementsAre("3", "0", "A", "0"));
    EXPECT_EQ(e.RxErrorFlags, 0);
    EXPECT_EQ(e.BadSecondChar, 0);
    link->CommTimerTick();
    EXPECT_EQ(view.lines.size(), 3u);
    const auto t = texts(log);
    EXPECT_EQ(std::count(t.begin(), t.end(), "**RxError: "), 1);
    EXPECT_TRUE(link->Sampling);
}

// A bad link raises errors at every 110 ms tick, window shown or not: the trace gets one line
// now and then, not one a tick, and a count reset by RESET is logged again.
TEST_F(ComDiscoveryTest, RxErrorIsLoggedAtMostOnceInTenSeconds) {
    const auto rxErrorLines = [this] {
        const auto t = texts(log);
        return std::count(t.begin(), t.end(), "**RxError: ");
    };
    for (int tick = 0; tick < 2 * ComLink::kRxErrorLineTicks; ++tick) {
        ++link->errors().ErrorCount;
        link->CommTimerTick();
    }
    EXPECT_EQ(rxErrorLines(), 2);
    link->errors().ErrorCount = 1;
    for (int tick = 0; tick < ComLink::kRxErrorLineTicks; ++tick)
        link->CommTimerTick();
    EXPECT_EQ(rxErrorLines(), 3);
}

TEST_F(ComDiscoveryTest, BufferMaxIsListedAndStopsSampling) {
    ASSERT_TRUE(link->OpenComm("/dev/ttyACM0"));
    link->LinkValid = true;
    link->StartComm();
    serial.queue.push_back({std::vector<std::uint8_t>(47998, 0), 0});
    link->RxClusterReceived();
    link->CommTimerTick();
    EXPECT_THAT(view.lines, ElementsAre("Error Type = BufferMax"));
    EXPECT_FALSE(link->Sampling);
    EXPECT_FALSE(analyzer.sampling);
    link->ClearClick();
    EXPECT_EQ(link->errors().ErrorCount, 0);
    EXPECT_EQ(link->MaxRxData, 0);
    EXPECT_EQ(link->LoggedErrorCount, 0);
}

struct MaskCase {
    std::string typed;
    std::uint32_t mask;
    std::string shown;
};

class MaskEntryTest : public ComDiscoveryTest, public ::testing::WithParamInterface<MaskCase> {};

TEST_P(MaskEntryTest, TypedTextIsReadAsHexadecimalAndShownInUpperCase) {
    EXPECT_EQ(link->MaskBoxChange(GetParam().typed), GetParam().shown);
    EXPECT_EQ(link->ErrorMask, GetParam().mask);
}

INSTANTIATE_TEST_SUITE_P(Table, MaskEntryTest,
                         ::testing::Values(MaskCase{"1G", 255, "FF"}, MaskCase{"a0", 160, "A0"},
                                           MaskCase{"", 255, "FF"}, MaskCase{"0", 0, "0"},
                                           MaskCase{"ffffffff", 0xFFFFFFFF, "FFFFFFFF"},
                                           MaskCase{"100000000", 255, "FF"},
                                           MaskCase{" 1f", 255, "FF"}));

} // namespace
