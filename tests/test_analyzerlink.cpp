// The analyzer interface over its three kinds: what each link says of itself in the status
// bar, success said the same way by both link tests, and the demonstration's playback.
#include "link/analyzerlink.h"
#include "link/comlink.h"
#include "link/demolink.h"
#include "link/usblink.h"

#include "link_fixture.h"

#include <memory>
#include <set>

using namespace qarn3;
using namespace qarn3::test;

namespace {

class Links : public ::testing::Test {
protected:
    Links() {
        log.open();
        usb.setReader(&reader);
        waits.pump = [this] {
            while (reader.running && usb.readerPoll()) {
            }
        };
    }

    FakeAnalyzer analyzer;
    VirtualWaits waits;
    FakeMpusb api{analyzer, waits};
    SteppedReader reader;
    DebugLog log;
    ScriptedDialogs dialogs;
    UsbLink usb{api, waits, log, dialogs};
    ComLink com{nullptr, waits, log, dialogs}; // no serial port: nothing answers
    UsbAnalyzerLink usbLink{usb};
    ComAnalyzerLink comLink{com};
    NoAnalyzerLink none;
    double rate = 2400;
    std::string fileName = "QARN3Pulse.owf";
    DemoLink demo{rate, fileName};
};

enum class Kind { Usb, Com, ComSearching, None, Demo };
struct StatusCase {
    Kind kind;
    bool valid;
    const char* text;
    bool error;
};

class LinkStatusTexts : public Links, public ::testing::WithParamInterface<StatusCase> {};

// Status panel 2 for each link; an error makes the engine offer RESET on red.
TEST_P(LinkStatusTexts, NameTheSourceAndTheAnalyzerOrTheError) {
    const StatusCase& c = GetParam();
    AnalyzerLink* link = nullptr;
    std::string source = "COM4";
    switch (c.kind) {
    case Kind::Usb:
        link = &usbLink;
        source = "USB";
        usb.LinkValid = c.valid;
        break;
    case Kind::ComSearching:
        // A named port that does not answer: this run searches ("COM") instead.
        source = "/dev/ttyACM7";
        EXPECT_FALSE(comLink.findAnalyzer(source).found);
        EXPECT_EQ(comLink.sourceInUse(source), "COM");
        [[fallthrough]];
    case Kind::Com:
        link = &comLink;
        com.LinkValid = c.valid;
        break;
    case Kind::None:
        link = &none;
        source = "WAV";
        break;
    case Kind::Demo:
        link = &demo;
        break;
    }
    const LinkStatus s = link->status(source, "SN12345");
    EXPECT_EQ(s.text, c.text);
    EXPECT_EQ(s.error, c.error);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, LinkStatusTexts,
    ::testing::Values(StatusCase{Kind::Usb, true, "SN12345 on USB port", false},
                      StatusCase{Kind::Usb, false, "Error on USB port", true},
                      StatusCase{Kind::Com, true, "COM4 on SN12345", false},
                      StatusCase{Kind::Com, false, "Error on COM4", true},
                      StatusCase{Kind::ComSearching, false, "Error on COM", true},
                      StatusCase{Kind::None, false, "Error on WAV", true},
                      StatusCase{Kind::Demo, true, "QARN3Pulse.owf", false}));

// USBTestComm says 5 and TestComm 0 for a link that passed: the interface says Ok for both.
TEST_F(Links, EveryLinkTestSaysSuccessAndFailureTheSameWay) {
    EXPECT_EQ(usbLink.test(), LinkResult::Ok);
    EXPECT_TRUE(usbLink.LinkValid());
    analyzer.silent = true;
    EXPECT_EQ(usbLink.test(), LinkResult::Timeout);
    api.present = false;
    EXPECT_EQ(usbLink.test(), LinkResult::NoDevice);
    EXPECT_EQ(comLink.test(), LinkResult::NotOpen);
    EXPECT_EQ(none.test(), LinkResult::NoDevice);
    EXPECT_FALSE(none.reachesAnalyzer());
}

TEST_F(Links, TheDemonstrationPlaysItsFileFromRunUntilTheTestEndsThenTheIdleFeed) {
    const std::int16_t file[] = {1000, -1000, 500};
    demo.load(file, 3);
    EXPECT_EQ(demo.samplesWaiting(), 480); // a 200 ms tick at 2400 samples a second
    rate = 50;                             // the store's rate is read when used
    EXPECT_EQ(demo.samplesWaiting(), 10);
    const auto idle = [this] {
        const int s = demo.GetSample();
        return s >= 2 && s <= 6;
    };
    EXPECT_TRUE(idle()); // before RUN
    demo.startForTest();
    EXPECT_EQ(demo.GetSample(), 1000);
    EXPECT_EQ(demo.GetSample(), -1000);
    demo.testEnded();
    EXPECT_TRUE(idle());
    demo.startForTest();
    EXPECT_EQ(demo.GetSample(), 500);
    EXPECT_EQ(demo.GetSample(), 0); // the rest of the file's slots are cleared
    EXPECT_EQ(demo.played(), 4);
    demo.testReset();
    EXPECT_FALSE(demo.playing());
    EXPECT_EQ(demo.played(), 0);

    // The idle feed is the same sequence for every new link, and again after startAfresh.
    DemoLink fresh(rate, fileName);
    std::vector<int> first, again;
    std::set<int> values;
    demo.startAfresh();
    for (int i = 0; i < 1000; ++i) {
        first.push_back(fresh.GetSample());
        again.push_back(demo.GetSample());
        values.insert(first.back());
    }
    EXPECT_EQ(first, again);
    EXPECT_EQ(values, (std::set<int>{2, 3, 4, 5, 6}));
}

} // namespace
