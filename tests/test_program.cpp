// The program without its window: demonstration mode against a plugged (fake) analyzer, and
// the pulses it reads compared with the analysis tool's.
#include "app/analyzerlinks.h"
#include "app/panelwidths.h"
#include "app/program.h"
#include "link/comlink.h"

#include "app/datafile.h"
#include "engine/analysis.h"
#include "link_fixture.h"
#include "platform/textformat.h"
#include "record_fixture.h"
#include "waveform/viewer.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <memory>

using namespace qarn3;
using namespace qarn3::test;

namespace {

// The main window reduced to what the program shows, with every pulse the engine reports.
struct HeadlessView : MainView {
    std::string windowCaption = "QARN-3", runButton, pulseCycles, liveCurrent;
    std::map<int, std::string> status;
    bool rangeList = true;
    std::vector<PulseResult> pulses;

    void setCaption(const std::string& c) override { windowCaption = c; }
    std::string caption() const override { return windowCaption; }
    void setShuntText(const std::string&) override {}
    void setRangeLabels(const std::array<std::string, 8>&) override {}
    void setMaxOnText(const std::string&) override {}
    void setMaxOffText(const std::string&) override {}
    void setCalPanel(const std::string&, Colour) override {}
    void setUpdateTimerEnabled(bool) override {}
    void repaintPlot() override {}
    bool rangeListEnabled() const override { return rangeList; }
    bool execSetupDialog() override { return false; }
    std::string shortDate(long day) const override { return std::to_string(day); }
    int passwordsAsked = 0;
    struct Refused : PasswordPrompt {
        int& asked;
        explicit Refused(int& a) : asked(a) {}
        bool execute(const std::string&) override { return ++asked, false; }
    };
    std::unique_ptr<PasswordPrompt> createPasswordDialog() override {
        return std::make_unique<Refused>(passwordsAsked);
    }
    void execCalibrationWindow() override {}
    void quit() override {}

    void setRunButton(const std::string& caption, Colour) override { runButton = caption; }
    void setPulseCycles(const std::string& t) override { pulseCycles = t; }
    void setLiveCurrent(const std::string& t, Colour) override { liveCurrent = t; }
    void setStatusPanel(int i, const std::string& t) override { status[i] = t; }
    void setRangeListEnabled(bool on) override { rangeList = on; }
};

// Widths shared among panels by what their texts need: (needed, available) -> widths.
struct ShareCase {
    std::vector<int> needed;
    int available;
    std::vector<int> widths;
};
class ShareWidths : public ::testing::TestWithParam<ShareCase> {};

TEST_P(ShareWidths, ShowAsManyWholeTextsAsFitAndCutTheRestEvenly) {
    EXPECT_EQ(shareWidths(GetParam().needed, GetParam().available), GetParam().widths);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShareWidths,
    ::testing::Values(ShareCase{{170, 150}, 400, {210, 190}}, // all fit: the rest shared
                      ShareCase{{300, 100}, 350, {250, 100}}, // the short one whole
                      ShareCase{{100, 300}, 350, {100, 250}}, // whichever side it is on
                      ShareCase{{300, 300}, 401, {200, 201}}, // neither fits: cut evenly
                      ShareCase{{50, 60, 400}, 300, {50, 60, 190}}, ShareCase{{0, 0}, 5, {2, 3}},
                      ShareCase{{10, 20}, -4, {0, 0}}, ShareCase{{}, 100, {}}));

class ProgramTest : public RecordTest {
protected:
    ProgramTest() {
        TWaveformData store;
        WaveformFiles wave{store, services, folder};
        wave.MakeWaveFile("QARN3Pulse.owf", false, PulseSegments);
        wave.MakeWaveFile("QARN3Long.owf", true, LongSegments);
    }

    Program& start(std::vector<std::string> args) {
        ProgramOptions o;
        o.folders = {folder, folder};
        o.args = std::move(args);
        AnalyzerLinks::Parts parts(usbApi, &serial, waits, log, dialogs);
        parts.usbReader = &reader;
        links = std::make_unique<AnalyzerLinks>(parts);
        program = std::make_unique<Program>(o, dialogs, waits, log, files, *links);
        program->attachView(view);
        program->pulseEnded().connect(
            [this](const PulseEnd& pulse) { view.pulses.push_back(pulse.result); });
        waits.pump = [this] {
            serial.deliver();
            while (reader.running && links->usb().readerPoll()) {
            }
            if (duringWaits) duringWaits();
        };
        program->FormCreate();
        program->FormPaint();
        return *program;
    }
    void setupWithSource(const std::string& source) {
        put("QARN3.osf",
            "4\r\n5.00\r\n5.00\r\nx.odf\r\n" + source + "\r\n4\r\n0\r\n  1000\r\n100.00\r\n");
    }
    // Runs timer ticks until the test ends, for at most a minute.
    void runTest() {
        for (int i = 0; i < 300 && view.runButton != "RESET"; ++i) {
            waits.run(200);
            program->UpdateTimerTick();
        }
    }

    FakeAnalyzer analyzer;
    VirtualWaits waits;
    FakeMpusb usbApi{analyzer, waits};
    FakeSerialPort serial{analyzer, waits};
    SteppedReader reader;
    HeadlessView view;
    std::unique_ptr<AnalyzerLinks> links;
    std::unique_ptr<Program> program;
    std::function<void()> duringWaits; // what the user does while a wait lets events through
};

class DemoSource : public ProgramTest, public ::testing::WithParamInterface<const char*> {};

// A waveform file on the command line keeps the setup's source; the plugged analyzer must
// still hear nothing: no range, no start, neither at start-up, nor on RUN, RESET or a range
// change, nor at exit.
TEST_P(DemoSource, ADemonstrationSendsNothingToAPluggedAnalyzer) {
    setupWithSource(GetParam());
    Program& p = start({"QARN3Pulse.owf"});
    ASSERT_TRUE(p.demoMode());
    ASSERT_NE(p.setup.SourceKind, kSourceNone);
    ASSERT_EQ(view.runButton, "RUN");
    p.BitBtnRunStopResetClick();
    runTest();
    EXPECT_EQ(view.pulses.size(), 4u);
    p.BitBtnRunStopResetClick();
    p.ComboBoxRangeChange(5);
    p.FormKeyPress('-');
    p.ProgExit();

    EXPECT_TRUE(usbApi.packets.empty());
    EXPECT_TRUE(serial.sent.empty());
    EXPECT_TRUE(analyzer.received.empty());
    EXPECT_FALSE(analyzer.sampling);
    EXPECT_EQ(usbApi.opens, 0);
    EXPECT_EQ(reader.starts, 0);
    EXPECT_FALSE(links->usb().Sampling);
    EXPECT_FALSE(links->com().Sampling);
    for (const std::string& line : texts(log)) {
        EXPECT_EQ(line.find("StartSampling"), std::string::npos) << line;
        EXPECT_EQ(line.find("StartComm"), std::string::npos) << line;
        EXPECT_EQ(line.find("Send Range"), std::string::npos) << line;
    }
}

INSTANTIATE_TEST_SUITE_P(Sources, DemoSource, ::testing::Values("USB", "COM3"));

TEST_F(ProgramTest, OpeningAFileWhileLiveStopsTheAnalyzerAndSendsNothingMore) {
    setupWithSource("COM3");
    analyzer.calImage = sampleCalImage();
    Program& p = start({});
    ASSERT_FALSE(p.demoMode());
    ASSERT_TRUE(analyzer.sampling);
    const std::size_t before = analyzer.received.size();

    dialogs.answer(file("QARN3Pulse.owf"));
    p.mOpenClick();
    ASSERT_TRUE(p.demoMode());
    p.BitBtnRunStopResetClick();
    runTest();
    p.ComboBoxRangeChange(2);

    const std::vector<std::uint8_t> after(analyzer.received.begin() + static_cast<long>(before),
                                          analyzer.received.end());
    EXPECT_EQ(after, std::vector<std::uint8_t>{0x04});
    EXPECT_FALSE(analyzer.sampling);
    EXPECT_EQ(view.pulses.size(), 4u);
}

TEST_F(ProgramTest, ResetClickedDuringTheHardwareCheckDoesNotNestAnInitialisation) {
    setupWithSource("USB");
    usbApi.present = false;
    // Every wait of the check lets a click through; RESET then asks for a hardware check.
    int nestedCalls = 0;
    duringWaits = [&] {
        if (nestedCalls < 3) {
            ++nestedCalls;
            program->ProgInit();
        }
    };
    dialogs.answer(MsgButton::Cancel);
    Program& p = start({});
    EXPECT_GT(nestedCalls, 0);
    EXPECT_TRUE(p.InitDone);
    EXPECT_TRUE(p.demoMode());
    const auto t = texts(log);
    EXPECT_EQ(std::count(t.begin(), t.end(), "ProgInit "), 1);
    EXPECT_EQ(std::count(t.begin(), t.end(), "End ProgInit "), 1);
    // Only the one check's box was shown.
    EXPECT_EQ(std::count_if(dialogs.shown().begin(), dialogs.shown().end(),
                            [](const DialogRecord& r) { return r.caption == "Hardware Check"; }),
              1);
}

TEST_F(ProgramTest, CalibrateClickedWhileStartUpRunsIsIgnored) {
    setupWithSource("USB");
    usbApi.present = false;
    int clicks = 0;
    duringWaits = [&] {
        if (clicks++ == 0) program->mCalibrateClick();
    };
    dialogs.answer(MsgButton::Cancel);
    Program& p = start({});
    ASSERT_GT(clicks, 0);
    EXPECT_EQ(view.passwordsAsked, 0);
    duringWaits = nullptr;
    p.mCalibrateClick();
    EXPECT_EQ(view.passwordsAsked, 1);
}

// A 60000-sample pulse-test file whose last 1000 samples carry a pulse still on at its end.
std::string tailWaveform() {
    TWaveFileHeader h;
    std::memcpy(h.Magic.data(), "WAVEFORM", 8);
    h.WaveType = 'N';
    h.SamplePeriod = 1.0f / 2400;
    h.SampleCount = kWaveFileSamples;
    std::vector<std::int16_t> s(kWaveFileSamples, 0);
    std::fill(s.end() - 1000, s.end(), std::int16_t{900});
    return h.bytes() + std::string(reinterpret_cast<const char*>(s.data()), s.size() * 2);
}

class SamePulses : public ProgramTest, public ::testing::WithParamInterface<const char*> {};

// The analysis tool and the program in demonstration mode read the same pulses from a file,
// long-test files and a pulse still on at the end of the file included.
TEST_P(SamePulses, TheToolReadsWhatTheProgramShows) {
    const std::string name = GetParam();
    if (name == "Tail.owf") put(name, tailWaveform());
    AnalysisOptions o;
    o.waveFile = file(name);
    const AnalysisResult tool = analyzeWaveform(o);
    ASSERT_TRUE(tool.ok) << tool.error;

    Program& p = start({name});
    for (int i = 0; i < 3; ++i) // idle ticks before RUN
        p.UpdateTimerTick();
    p.BitBtnRunStopResetClick();
    runTest();

    EXPECT_EQ(p.setup.TestMode, tool.testMode);
    EXPECT_EQ(view.status[1], tool.ending);
    ASSERT_EQ(view.pulses.size(), tool.pulses.size());
    ASSERT_FALSE(view.pulses.empty());
    for (std::size_t i = 0; i < view.pulses.size(); ++i) {
        const PulseResult& a = view.pulses[i];
        const PulseResult& b = tool.pulses[i].result;
        EXPECT_EQ(a.onSamples, b.onSamples) << i;
        EXPECT_EQ(a.pulseAmps, b.pulseAmps) << i;
        EXPECT_EQ(a.startSeconds, b.startSeconds) << i;
        EXPECT_EQ(a.suspect, b.suspect) << i;
        EXPECT_EQ(a.underRange, b.underRange) << i;
        EXPECT_EQ(a.cutShort, b.cutShort) << i;
    }
}

// At a 50 Hz site the waveform viewer shows the captured pulse cut into 50 Hz cycles exactly
// as the tool cuts it, while the main window's cycles reading stays in 60 Hz cycles.
TEST_P(SamePulses, TheViewerShowsTheToolsCycleTableOfTheLastPulse) {
    const std::string name = GetParam();
    if (name == "Tail.owf") put(name, tailWaveform());
    put("QARN3Site.ini", "MainsHz=50\r\n");
    AnalysisOptions o;
    o.waveFile = file(name);
    o.cycles = true;
    o.mainsHz = 50;
    const AnalysisResult tool = analyzeWaveform(o);
    ASSERT_FALSE(tool.pulses.empty());
    ASSERT_TRUE(tool.pulses.back().cycleTable);
    const CycleTable& expected = *tool.pulses.back().cycleTable;

    Program& p = start({name});
    p.BitBtnRunStopResetClick();
    runTest();
    EXPECT_EQ(p.site.MainsHz, 50);
    EXPECT_EQ(view.pulseCycles, formatNumber("%8.2f cycs", tool.pulses.back().result.cycles));
    WaveViewer viewer(p.wave, services, folder, [] { return 0; });
    viewer.setMainsHz([&p] { return p.site.MainsHz; });
    viewer.FormShow();
    const CycleTable& shown = viewer.cycleTable();
    EXPECT_EQ(shown.mainsHz, 50);
    EXPECT_EQ(shown.totals.rms, expected.totals.rms);
    EXPECT_EQ(shown.totals.i2t, expected.totals.i2t);
    ASSERT_EQ(shown.rows.size(), expected.rows.size());
    const double origin = expected.rows[0].start - shown.rows[0].start; // file vs capture time
    for (std::size_t i = 0; i < shown.rows.size(); ++i) {
        const CycleRow& a = shown.rows[i];
        const CycleRow& b = expected.rows[i];
        EXPECT_NEAR(a.start + origin, b.start, 1e-9) << i;
        EXPECT_EQ(a.count, b.count) << i;
        EXPECT_EQ(a.rms, b.rms) << i;
        EXPECT_EQ(a.peakPos, b.peakPos) << i;
        EXPECT_EQ(a.peakNeg, b.peakNeg) << i;
        EXPECT_EQ(a.partial, b.partial) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Files, SamePulses,
                         ::testing::Values("QARN3Pulse.owf", "QARN3Long.owf", "Tail.owf"));

// A 1 s pulse of 1000 counts, 2 s into the stream.
int onePulse(std::int64_t i) {
    return i >= 4800 && i < 7200 ? 1000 : 0;
}

struct Damage {
    const char* source;
    int garbleEvery;       // every n-th pair garbled (0: none)
    std::size_t burstSize; // garbage sent at once when the stream starts
};
std::ostream& operator<<(std::ostream& os, const Damage& d) {
    return os << d.source << " garble " << d.garbleEvery << " burst " << d.burstSize;
}

class DamagedStream : public ProgramTest, public ::testing::WithParamInterface<Damage> {};

// A live test on a damaged stream: garbled pairs throughout, or a burst larger than the
// link's ring (USB refuses the rest, COM overwrites its oldest). At the pulse's end the count
// of samples lost and pairs rejected shows beside the reading and comes with the pulse; the
// results file holds the three lines it always held. A clean stream shows nothing.
TEST_P(DamagedStream, TheErrorCountShowsBesideTheReadingAtThePulsesEnd) {
    const Damage d = GetParam();
    setupWithSource(d.source);
    analyzer.sample = onePulse;
    Program& p = start({});
    ASSERT_FALSE(p.demoMode());
    analyzer.brokenPairEvery = d.garbleEvery;
    if (d.burstSize > 0) analyzer.inject(std::string(d.burstSize, '\x55'));
    runTest();

    ASSERT_FALSE(view.pulses.empty());
    const PulseResult& r = view.pulses.back();
    EXPECT_NEAR(r.seconds, 1.0, 0.01);
    const bool damaged = d.garbleEvery > 0 || d.burstSize > 0;
    EXPECT_EQ(r.dataErrors > 0, damaged);
    EXPECT_EQ(view.status[3],
              damaged ? "Data errors during this test: " + std::to_string(r.dataErrors) : "");
    if (d.garbleEvery > 0) {
        EXPECT_GE(r.dataErrors, 7200u / 50); // every 50th pair of the stream so far
    }

    dialogs.answer(file("Test.odf"));
    p.mSaveClick();
    EXPECT_EQ(contents("Test.odf"),
              dataFileText(p.readings().pulseAmps,
                           p.readings().onSamples * static_cast<double>(p.wave.SamplePeriod), '.'));

    // RESET arms a new test: the count starts again.
    p.BitBtnRunStopResetClick();
    EXPECT_EQ(view.status[3], "");
    EXPECT_EQ(p.engine().dataErrorsThisTest(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Links, DamagedStream,
                         ::testing::Values(Damage{"USB", 0, 0}, Damage{"COM3", 0, 0},
                                           Damage{"USB", 50, 0}, Damage{"COM3", 50, 0},
                                           Damage{"USB", 0, 150000}, Damage{"COM3", 0, 150000}));

class LostLink : public ProgramTest, public ::testing::WithParamInterface<const char*> {};

// When the analyzer falls silent the live current shows no reading, rather than the last one
// as if the current were still flowing.
TEST_P(LostLink, TheLiveCurrentShowsNoReading) {
    setupWithSource(GetParam());
    analyzer.sample = [](std::int64_t) { return 20; };
    Program& p = start({});
    ASSERT_FALSE(p.demoMode());
    for (int i = 0; i < 5; ++i) {
        waits.run(200);
        p.UpdateTimerTick();
    }
    EXPECT_NE(view.liveCurrent, "---");
    analyzer.silent = true;
    for (int i = 0; i < 6; ++i) {
        waits.run(200);
        p.UpdateTimerTick();
    }
    EXPECT_EQ(view.status[2].rfind("Error on ", 0), 0u) << view.status[2];
    EXPECT_EQ(view.liveCurrent, "---");
}

INSTANTIATE_TEST_SUITE_P(Links, LostLink, ::testing::Values("USB", "COM3"));

} // namespace
