#include "link/comlink.h"

#include "link_fixture.h"

#include <memory>

using namespace qarn3;
using namespace qarn3::test;
using ::testing::ElementsAre;

namespace {

class ComLinkTest : public ::testing::Test {
protected:
    ComLinkTest() {
        log.open();
        link = std::make_unique<ComLink>(&serial, waits, log, dialogs);
        waits.pump = [this] { serial.deliver(); };
    }

    void openAndValidate() {
        ASSERT_TRUE(link->OpenComm("COM5"));
        link->LinkValid = true;
    }

    FakeAnalyzer analyzer;
    VirtualWaits waits;
    FakeSerialPort serial{analyzer, waits};
    DebugLog log;
    ScriptedDialogs dialogs;
    std::unique_ptr<ComLink> link;
};

TEST_F(ComLinkTest, OpenAppliesTheLineSettings) {
    EXPECT_TRUE(link->OpenComm("COM5"));
    EXPECT_EQ(serial.CommPort(), "COM5");
    EXPECT_EQ(serial.baudRate, 57600u);
    EXPECT_EQ(serial.RxQueueSize(), 48000);
    EXPECT_EQ(serial.ClusterSize(), 2);
    serial.SetActive(false);
    serial.openFails = true;
    EXPECT_FALSE(link->OpenComm("COM6"));
}

// What the component's full chunk queue dropped never reaches the ring, yet it is lost
// stream all the same: two characters a sample.
TEST_F(ComLinkTest, BytesTheChunkQueueDroppedCountAsLostSamples) {
    serial.droppedBytes = 9;
    EXPECT_EQ(link->dataErrors(), 5u);
}

TEST_F(ComLinkTest, LinkTestPassesOnTheEcho) {
    EXPECT_EQ(link->TestComm("COM5"), 0);
    EXPECT_TRUE(link->LinkValid);
    EXPECT_EQ(texts(log).front(), "TestComm COM5");
    EXPECT_EQ(texts(log).back(), "End TestComm ");
    EXPECT_TRUE(logged(log, "Received test characters "));
    // Stop, carriage return, then the test string.
    EXPECT_THAT(serial.sent, ElementsAre("\x04", "\r", "A\r"));
}

TEST_F(ComLinkTest, LinkTestFailsWhenOneMoreCharacterFollowsTheEcho) {
    analyzer.extraAfterEcho = "Z";
    EXPECT_EQ(link->TestComm("COM5"), 3);
    EXPECT_FALSE(link->LinkValid);
    EXPECT_TRUE(logged(log, "Wrong test char \r"));
}

TEST_F(ComLinkTest, LinkTestResults) {
    analyzer.silent = true;
    EXPECT_EQ(link->TestComm("COM5"), 2);
    EXPECT_TRUE(logged(log, "Comm Test Timeout"));
    serial.SetActive(false);
    serial.openFails = true;
    EXPECT_EQ(link->TestComm("COM5"), 1);
    EXPECT_EQ(texts(log).back(), "End TestComm ");
}

TEST_F(ComLinkTest, ASingleEchoedCharacterCannotPass) {
    analyzer.echoTail.clear(); // only "A" comes back: there is no second-to-last character
    EXPECT_EQ(link->TestComm("COM5"), 3);
    EXPECT_FALSE(link->LinkValid);
}

TEST_F(ComLinkTest, RangeSelectionSendsTheCodeAndRestartsSampling) {
    openAndValidate();
    link->StartComm();
    serial.sent.clear();
    link->SendRange(4);
    EXPECT_THAT(serial.sent, ElementsAre("\x04", "4", "\x01"));
    EXPECT_TRUE(link->Sampling);
    EXPECT_TRUE(logged(log, "Send Range 4"));
}

TEST_F(ComLinkTest, StartNeedsAValidLink) {
    ASSERT_TRUE(link->OpenComm("COM5"));
    link->StartComm();
    EXPECT_FALSE(link->Sampling);
    EXPECT_TRUE(serial.sent.empty());
}

TEST_F(ComLinkTest, SamplesArriveThroughChunks) {
    analyzer.sample = [](std::int64_t i) { return static_cast<int>(i % 7) * 4 - 8; };
    openAndValidate();
    link->StartComm();
    waits.run(200);
    EXPECT_NEAR(link->RxCount() / 2, 480, 10);
    for (int i = 0; i < 14; ++i)
        EXPECT_EQ(link->GetSample(), (i % 7) * 4 - 8);
    EXPECT_EQ(link->errors().ErrorCount, 0);
}

TEST_F(ComLinkTest, BrokenPairsAreCountedAndDecodingContinues) {
    analyzer.brokenPairEvery = 5;
    analyzer.sample = [](std::int64_t) { return 100; };
    openAndValidate();
    link->StartComm();
    waits.run(100);
    int good = 0;
    for (int i = 0; i < 100; ++i)
        good += link->GetSample() == 100 ? 1 : 0;
    EXPECT_EQ(good, 80);
    EXPECT_EQ(link->errors().ErrorCount, 20);
    EXPECT_EQ(link->errors().RxErrorFlags, rxerr::CharMatch);
}

TEST_F(ComLinkTest, ChunkNearTheQueueSizeSetsBufferMax) {
    ASSERT_TRUE(link->OpenComm("COM5"));
    serial.queue.push_back({std::vector<std::uint8_t>(47997, 0), 0});
    link->RxClusterReceived();
    EXPECT_EQ(link->errors().ErrorCount, 0);
    serial.queue.push_back({std::vector<std::uint8_t>(47998, 0), 0});
    link->RxClusterReceived();
    EXPECT_EQ(link->errors().ErrorCount, 1);
    EXPECT_EQ(link->errors().RxErrorFlags, rxerr::BufferMax);
    EXPECT_EQ(link->MaxRxData, 47998);
    EXPECT_EQ(link->RxDataCount, 47998);
}

TEST_F(ComLinkTest, LineErrorOnAChunkCountsOneError) {
    ASSERT_TRUE(link->OpenComm("COM5"));
    serial.queue.push_back({{0x00, 0x21}, 0x04});
    link->RxClusterReceived();
    EXPECT_EQ(link->errors().ErrorCount, 1);
    EXPECT_EQ(link->GetSample(), 0);
    EXPECT_EQ(link->RxCount(), 0);
}

TEST_F(ComLinkTest, OverflowKeepsTheNewestCharacters) {
    ASSERT_TRUE(link->OpenComm("COM5"));
    std::vector<std::uint8_t> data(100002);
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<std::uint8_t>(i % 200);
    serial.queue.push_back({data, 0});
    link->RxClusterReceived();
    EXPECT_EQ(link->RxCount(), 100001);
    EXPECT_EQ(link->ring().RingGet(), 1);
}

TEST_F(ComLinkTest, CalibrationRead) {
    openAndValidate();
    std::string image;
    EXPECT_TRUE(link->ReceiveCal(image));
    EXPECT_EQ(image, sampleCalImage());
    EXPECT_FALSE(link->Sampling);
    EXPECT_EQ(texts(log).back(), "End ReceiveCal ");
}

TEST_F(ComLinkTest, CalibrationReplyWithBadNinthCharacterFails) {
    analyzer.calImage[8] = '9';
    openAndValidate();
    std::string image;
    waits.calls.clear();
    EXPECT_FALSE(link->ReceiveCal(image));
    EXPECT_TRUE(link->LinkValid); // only the USB link clears it
    EXPECT_EQ(std::count(waits.calls.begin(), waits.calls.end(), "Timer 100"), 2);
}

TEST_F(ComLinkTest, CalibrationWriteAsksFirst) {
    openAndValidate();
    serial.sent.clear();
    dialogs.answer(MsgButton::Cancel);
    link->SendCal(sampleCalImage());
    EXPECT_TRUE(serial.sent.empty());
    dialogs.answer(MsgButton::OK);
    link->SendCal(sampleCalImage());
    ASSERT_EQ(serial.sent.size(), 1u);
    EXPECT_EQ(serial.sent[0].size(), 131u);
    EXPECT_EQ(analyzer.writtenImage, sampleCalImage());
}

TEST_F(ComLinkTest, SendWaitsForAPendingSend) {
    openAndValidate();
    serial.sendBusyPolls = 3;
    link->SendStr("x");
    const auto t = texts(log);
    EXPECT_EQ(std::count(t.begin(), t.end(), "SendStr Delay "), 3);
}

TEST_F(ComLinkTest, DiscoveryReplyCheck) {
    ASSERT_TRUE(link->OpenComm("COM5"));
    link->SendChar(0x14);
    waits.run(100);
    EXPECT_TRUE(link->DiscoveryReplyOK());
    link->ClearInput(true);
    analyzer.discoveryReply = std::string(200, '1');
    link->SendChar(0x14);
    waits.run(100);
    EXPECT_FALSE(link->DiscoveryReplyOK()); // exactly 200 is not enough
}

TEST_F(ComLinkTest, PortOffStopsSamplingAndCloses) {
    openAndValidate();
    link->StartComm();
    link->SerialPortOFF();
    EXPECT_FALSE(link->Sampling);
    EXPECT_FALSE(serial.Active());
    EXPECT_FALSE(analyzer.sampling);
}

} // namespace
