#include "calsetup/calform.h"

#include "calsetup/caldate.h"
#include "link_fixture.h"
#include "platform/textformat.h"
#include "record_fixture.h"

#include <cstdio>
#include <functional>

using namespace qarn3;
using namespace qarn3::test;

namespace {

// Dates as "D" and the day number, whatever the system's format.
struct DayDates : ShortDates {
    std::string format(long day) const override { return "D" + std::to_string(day); }
    std::optional<long> parse(const std::string& text) const override {
        if (text.size() < 2 || text[0] != 'D') return std::nullopt;
        try {
            return parseInteger(text.substr(1));
        } catch (const ConvertError&) {
            return std::nullopt;
        }
    }
};

// The window's fields as plain texts; setting a number field's text raises its change
// handler as the widget does.
struct FakeCalView : CalFormView {
    CalForm* form = nullptr;
    std::array<std::string, 8> factors;
    std::array<std::string, 5> numbers{"20", "100", "5", "20", "5"};
    std::string avg, ser, date;
    bool closed = false;

    void setFactorText(int r, const std::string& t) override { factors[r - 1] = t; }
    void setAvgTimeText(const std::string& t) override { avg = t; }
    void setSerNumText(const std::string& t) override { ser = t; }
    void setCalDateText(long d) override { date = DayDates().format(d); }
    void RefreshCal(const TCalRecord&) override { form->RefreshCal(); }
    void setRangeLabel(int, const std::string&) override {}
    std::string factorText(int r) const override { return factors[r - 1]; }
    void setNumberText(CalNumber f, const std::string& t) override {
        std::string& s = numbers[static_cast<std::size_t>(f)];
        if (s != t) form->numberChanged(f, s = t);
    }
    std::string numberText(CalNumber f) const override {
        return numbers[static_cast<std::size_t>(f)];
    }
    std::string avgTimeText() const override { return avg; }
    std::string serNumText() const override { return ser; }
    void setDateText(const std::string& t) override { date = t; }
    std::string dateText() const override { return date; }
    int focusedFactor() const override { return focused; }
    int focused = 0;
    void closeWindow() override { closed = true; }
};

// The program as the window sees it, and the images it was offered.
struct FakeHost : CalWindowHost {
    std::vector<std::string> offered;
    bool demoMode() const override { return true; }
    bool GetCalData() override { return false; }
    std::array<std::string, 8> rangeLabels() const override {
        return {"50.00 A", "100.00 A", "", "500.0 A", "", "", "", "10000 A"};
    }
    void sendCalImage(const std::string& image) override { offered.push_back(image); }
};

class CalFormTest : public RecordTest {
protected:
    CalFormTest() {
        view.form = &form;
        form.setView(&view);
        calFile.setView(&view);
        setCalDefaults(cal, 39917);
        put("QARN3.ocf", buildCalImage(cal));
        files.setReadOnly(file("QARN3.ocf"), true);
        form.FormActivate(); // demonstration mode: the file
        dialogs.clear();
    }
    std::string lastBox() const {
        return dialogs.shown().empty() ? "" : dialogs.shown().back().text;
    }

    TCalRecord cal;
    double sampleRate = 2400;
    CalFile calFile{cal, sampleRate, services, folder};
    DayDates dates;
    FakeHost host;
    CalForm form{cal, calFile, host, dates, dialogs, log};
    FakeCalView view;
};

// A factor entered as text, and what one and two presses of an arrow make of it.
struct StepCase {
    const char* entered;
    bool up;
    float once, twice;
};
class FactorSteps : public ::testing::TestWithParam<StepCase> {};

TEST_P(FactorSteps, StepInSinglePrecisionAndStopJustPastTheLimit) {
    const StepCase c = GetParam();
    const auto step = c.up ? factorStepUp : factorStepDown;
    const float once = step(static_cast<float>(parseReal(c.entered)));
    EXPECT_FLOAT_EQ(once, c.once);
    EXPECT_FLOAT_EQ(step(once), c.twice);
}

INSTANTIATE_TEST_SUITE_P(Limits, FactorSteps,
                         ::testing::Values(StepCase{"0.0015", true, 0.001501f, 0.001502f},
                                           StepCase{"0.002", true, 0.002f, 0.002f},
                                           StepCase{"0.0019996", true, 0.0020006f, 0.0020006f},
                                           StepCase{"0.0010005", false, 0.0009995f, 0.0009995f},
                                           StepCase{"0.001", false, 0.000999f, 0.000999f},
                                           StepCase{"0.005", false, 0.004999f, 0.004998f}));

TEST_F(CalFormTest, OpeningWithNoFileStillReplacesAnEarlierOpeningsTexts) {
    files.setReadOnly(file("QARN3.ocf"), false);
    std::remove(file("QARN3.ocf").c_str());
    view.factors[0] = "9.000000";
    cal.Factor[0] = 0.0011f;
    dialogs.answerList("OK,Cancel"); // "Missing", then decline the defaults
    form.FormActivate();
    EXPECT_EQ(lastBox(), "Cannot open file QARN3.ocf");
    EXPECT_EQ(view.factors[0], "0.001100");
}

TEST_F(CalFormTest, RecordValuesOutsideTheLimitsAreShownAndTakenAtTheLimit) {
    cal.OffThresh = 3; // from an analyzer image
    form.RefreshCal();
    EXPECT_EQ(view.numbers[3], "5");
    EXPECT_EQ(cal.OffThresh, 5);
    cal.OffThresh = 3; // the field already shows 5
    form.RefreshCal();
    EXPECT_EQ(cal.OffThresh, 5);
}

// "Selected" steps the factor whose field has the focus, the first and the last included, and
// nothing when none has.
TEST_F(CalFormTest, SelectedAdjustStepsOnlyTheFocusedFactor) {
    form.adjustAll = false;
    for (int focused = 0; focused <= 8; ++focused) {
        const auto before = cal.Factor;
        view.focused = focused;
        form.SpinBtnAdjustUpClick();
        for (int r = 1; r <= 8; ++r) {
            const float f = before[static_cast<std::size_t>(r - 1)];
            EXPECT_FLOAT_EQ(cal.Factor[static_cast<std::size_t>(r - 1)],
                            r == focused ? factorStepUp(f) : f)
                << "focus " << focused << ", factor " << r;
        }
    }
}

TEST_F(CalFormTest, SaveWritesReadsBackOffersTheFileAndCloses) {
    view.factors[3] = "0.001300";
    view.factors[7] = "-0";
    view.setNumberText(CalNumber::OffDelay, "12");
    view.avg = "0.2";
    view.ser = "AB\tC";
    view.date = "D45351";
    EXPECT_TRUE(form.SaveButtonClick());
    const std::string written = contents("QARN3.ocf");
    EXPECT_EQ(written.substr(30, 10), "0.001300\r\n");
    EXPECT_EQ(written.substr(70, 10), "0.000000\r\n");
    EXPECT_EQ(written.substr(97), "12\r\n 0.200\r\nAB C      \r\n45351\r\n");
    EXPECT_EQ(cal.CalImage, written);
    EXPECT_EQ(cal.AvgSamples, 480);
    EXPECT_EQ(host.offered, std::vector<std::string>{written});
    EXPECT_TRUE(view.closed);
    EXPECT_EQ(texts(log).back(), "End frmCalibration.SaveButtonClick ");
}

TEST_F(CalFormTest, SaveWithTheWriteCancelledReloadsAndOffersTheOldFile) {
    const std::string old = contents("QARN3.ocf");
    view.factors[0] = "0.002200";
    dialogs.answer(MsgButton::Cancel); // "Writing to Cal File QARN3.ocf"
    EXPECT_TRUE(form.SaveButtonClick());
    EXPECT_EQ(contents("QARN3.ocf"), old);
    EXPECT_FLOAT_EQ(cal.Factor[0], 0.001225f);
    EXPECT_EQ(host.offered, std::vector<std::string>{old});
}

TEST_F(CalFormTest, SaveOffersNothingWhenTheFileDoesNotReadBack) {
    files.setReadOnly(file("QARN3.ocf"), false);
    put("QARN3.ocf", std::string(128, 'x'));
    dialogs.answer(MsgButton::Cancel);
    EXPECT_FALSE(form.SaveButtonClick());
    EXPECT_EQ(lastBox(), "Calibration corrupted. Please recalibrate.");
    EXPECT_TRUE(host.offered.empty());
    EXPECT_FALSE(view.closed);
    EXPECT_TRUE(cal.CalError);
}

// A field that does not convert or does not fit the image stops SAVE before anything is
// written or sent; the window stays open.
struct BadField {
    const char* name;
    std::function<void(FakeCalView&)> enter;
    const char* message;
};
class SaveRefuses : public CalFormTest, public ::testing::WithParamInterface<BadField> {};

TEST_P(SaveRefuses, WithAMessageAndWritesNothing) {
    const std::string old = contents("QARN3.ocf");
    GetParam().enter(view);
    EXPECT_FALSE(form.SaveButtonClick());
    EXPECT_EQ(lastBox(), GetParam().message);
    EXPECT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(contents("QARN3.ocf"), old);
    EXPECT_TRUE(host.offered.empty());
    EXPECT_FALSE(view.closed);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, SaveRefuses,
    ::testing::Values(
        BadField{"FactorText", [](FakeCalView& v) { v.factors[2] = "x"; },
                 "'x' is not a valid floating point value"},
        BadField{"FactorTen", [](FakeCalView& v) { v.factors[3] = "10"; },
                 "Factor 500.0 A 10 does not fit the calibration: it holds values from "
                 "0.000000 to 9.999999."},
        BadField{"FactorRoundsToTen", [](FakeCalView& v) { v.factors[0] = "9.9999999"; },
                 "Factor 50.00 A 9.9999999 does not fit the calibration: it holds values "
                 "from 0.000000 to 9.999999."},
        BadField{"OffThreshold",
                 [](FakeCalView& v) { v.setNumberText(CalNumber::OffThresh, "150"); },
                 "Off Threshold 150 does not fit the calibration: it holds values from 0 to "
                 "99."},
        BadField{"AverageTime", [](FakeCalView& v) { v.avg = "100"; },
                 "Average Time 100 does not fit the calibration: it holds values from 0.000 "
                 "to 99.999."},
        BadField{"DateText", [](FakeCalView& v) { v.date = "someday"; },
                 "'someday' is not a valid date"},
        BadField{"DateLate", [](FakeCalView& v) { v.date = "D100000"; },
                 "Date D100000 does not fit the calibration: it holds values from D0 to "
                 "D99999."}),
    [](const auto& p) { return std::string(p.param.name); });

} // namespace

namespace {

// The program's calibration window is made when first opened; the form, made at the
// start-up, is the file's view until then and gives the window what it would hold by then.
TEST_F(CalFormTest, AWindowMadeLaterShowsWhatTheFileHasPutInItsFields) {
    form.setView(nullptr);
    calFile.setView(&form);
    cal.Factor[0] = 0.0015f; // the parse shows the file's text, not the record's value
    calFile.ReadCalFile();
    FakeCalView late;
    late.form = &form;
    form.setView(&late);
    EXPECT_EQ(late.factors[0], "0.001225");
    EXPECT_EQ(late.date, "D39917");
    EXPECT_EQ(late.numbers[0], "20"); // no refresh since: as made

    // A refresh without a window fills every field of the next one from the record, and a
    // parse after it still shows its own texts.
    form.setView(nullptr);
    cal.OnThresh = 55;
    cal.SerNum = "SN-REFRESH";
    const auto before = texts(log).size();
    form.RefreshCal(cal);
    EXPECT_EQ(texts(log).size(), before + 1); // "RefreshCal " is logged all the same
    calFile.setView(&form);
    cal.CalImage = buildCalImage(cal);
    cal.CalImage.replace(0, 8, "0.001300");
    calFile.ParseCalImage();
    FakeCalView third;
    third.form = &form;
    form.setView(&third);
    EXPECT_EQ(third.numbers[0], "55");
    EXPECT_EQ(third.ser, "SN-REFRESH");
    EXPECT_EQ(third.factors[0], "0.001300");
    EXPECT_EQ(texts(log).size(), before + 1); // made silently
}

} // namespace
