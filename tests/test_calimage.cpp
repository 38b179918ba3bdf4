#include "calsetup/calimage.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace qarn3;

namespace {

// The default calibration's image with the given serial slice and date, as the file holds it.
std::string goodImage(const std::string& date = "39917") {
    std::string s;
    for (int i = 0; i < 8; ++i)
        s += "0.001225\r\n";
    return s + "40\r\n100\r\n 5\r\n20\r\n15\r\n 0.100\r\n**DEFAULT*\r\n" + date + "\r\n";
}

std::string withText(std::size_t offset, const std::string& text) {
    std::string image = goodImage();
    image.replace(offset, text.size(), text);
    return image;
}

// The values of a parse in the order they are read: the date, eight factors, the five whole
// numbers, the time and its sample count.
std::vector<bool> presence(const CalImageParse& p) {
    std::vector<bool> v{p.calDate.has_value()};
    for (const auto& f : p.factors)
        v.push_back(f.has_value());
    for (const auto* w : {&p.onThresh, &p.mpuThresh, &p.onDelay, &p.offThresh, &p.offDelay})
        v.push_back(w->has_value());
    v.push_back(p.avgTime.has_value());
    v.push_back(p.avgSamples.has_value());
    return v;
}

struct ParseCase {
    const char* name;
    std::string image;
    CalImageFault fault;
    const char* faultField;
    std::size_t valuesRead; // how many values, in the image's order, were read before the fault
};
class CalImageParsing : public ::testing::TestWithParam<ParseCase> {};

TEST_P(CalImageParsing, ReadsTheValuesBeforeTheFaultAndNamesIt) {
    const ParseCase& c = GetParam();
    const CalImageParse p = parseCalImage(c.image, 2400);
    EXPECT_EQ(p.fault, c.fault);
    EXPECT_EQ(p.ok(), c.fault == CalImageFault::None);
    EXPECT_EQ(p.faultField, c.faultField);
    const std::vector<bool> present = presence(p);
    for (std::size_t i = 0; i < present.size(); ++i)
        EXPECT_EQ(present[i], i < c.valuesRead) << "value " << i;
    EXPECT_EQ(p.serNum.empty(), !p.ok());
    for (const auto& f : p.factors) {
        if (f) {
            EXPECT_TRUE(std::isfinite(*f));
        }
    }
}

constexpr auto None = CalImageFault::None;
constexpr auto Unreadable = CalImageFault::Unreadable;
constexpr auto DoesNotFit = CalImageFault::DoesNotFit;

INSTANTIATE_TEST_SUITE_P(
    Images, CalImageParsing,
    ::testing::Values(
        ParseCase{"GoodImage", goodImage(), None, "", 16},
        ParseCase{"ImageLongerThan128Characters", goodImage() + "trailing text", None, "", 16},
        ParseCase{"ShortImageWithItsDate", goodImage().substr(0, 126), None, "", 16},
        ParseCase{"ShortImageWithoutItsDate", goodImage().substr(0, 100), Unreadable, "CalDate", 0},
        ParseCase{"EmptyImage", "", Unreadable, "CalDate", 0},
        ParseCase{"ImageOfNulCharacters", std::string(128, '\0'), Unreadable, "CalDate", 0},
        ParseCase{"DateThatIsNoNumber", withText(121, "39x17"), Unreadable, "CalDate", 0},
        ParseCase{"DateWithAnExponent", withText(121, "4e4  "), Unreadable, "CalDate", 0},
        ParseCase{"DateOfSpaces", withText(121, "     "), Unreadable, "CalDate", 0},
        ParseCase{"DateZero", goodImage("    0"), None, "", 16},
        ParseCase{"NegativeDate", goodImage("   -1"), None, "", 16},
        ParseCase{"HugeDate", goodImage("99999"), None, "", 16},
        ParseCase{"DateOverItsLineEndIsCut", withText(121, "9999999"), None, "", 16},
        ParseCase{"FactorThatIsNoNumber", withText(30, "     abc"), Unreadable, "Factor4", 4},
        ParseCase{"FactorWithAComma", withText(0, "0,001225"), Unreadable, "Factor1", 1},
        ParseCase{"FactorWithASpaceInside", withText(70, "0.00 225"), Unreadable, "Factor8", 8},
        ParseCase{"FactorOfSpaces", withText(10, "        "), Unreadable, "Factor2", 2},
        ParseCase{"FactorTooSmallToHold", withText(30, "1e-400  "), Unreadable, "Factor4", 4},
        ParseCase{"FactorBeyondSinglePrecision", withText(0, "1.0e39  "), DoesNotFit, "Factor1", 1},
        ParseCase{"NegativeFactorBeyondSinglePrecision", withText(70, "-4e38   "), DoesNotFit,
                  "Factor8", 8},
        ParseCase{"FactorBeyondEveryRealType", withText(20, "1e400   "), DoesNotFit, "Factor3", 3},
        ParseCase{"SignedFactorsAndExponentsRead", withText(0, "+1.2e-3 "), None, "", 16},
        ParseCase{"DoubleSignThreshold", withText(80, "--"), Unreadable, "OnThresh", 9},
        ParseCase{"HexSignThreshold", withText(84, "$-1"), Unreadable, "MPUThresh", 10},
        ParseCase{"HexThresholdReads", withText(84, "$FF"), None, "", 16},
        ParseCase{"DelayThatIsNoNumber", withText(89, " x"), Unreadable, "OnDelay", 11},
        ParseCase{"ThresholdOfSpaces", withText(93, "  "), Unreadable, "OffThresh", 12},
        ParseCase{"DelayWithAPoint", withText(97, "1."), Unreadable, "OffDelay", 13},
        ParseCase{"TimeWithAComma", withText(101, " 0,100"), Unreadable, "AvgTime", 14},
        ParseCase{"TimeBeyondEveryRealType", withText(101, "9e+999"), DoesNotFit, "AvgTime", 14},
        ParseCase{"TimeWhoseSampleCountOverflows", withText(101, "9e+300"), DoesNotFit,
                  "AvgSamples", 15},
        ParseCase{"NegativeTime", withText(101, "-0.100"), None, "", 16},
        ParseCase{"SerialOfSpaces", withText(109, "          "), None, "", 16}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(CalImage, GoodImageGivesTheRecordsValues) {
    const CalImageParse p = parseCalImage(goodImage(), 2400);
    ASSERT_TRUE(p.ok());
    EXPECT_EQ(*p.calDate, 39917);
    for (const auto& f : p.factors)
        EXPECT_FLOAT_EQ(*f, 0.001225f);
    EXPECT_EQ(*p.onThresh, 40);
    EXPECT_EQ(*p.mpuThresh, 100);
    EXPECT_EQ(*p.onDelay, 5);
    EXPECT_EQ(*p.offThresh, 20);
    EXPECT_EQ(*p.offDelay, 15);
    EXPECT_DOUBLE_EQ(*p.avgTime, 0.1);
    EXPECT_EQ(*p.avgSamples, 240);
    EXPECT_EQ(p.serNum, "**DEFAULT*");
}

// The window shows each slice as it stands (up to the line end, spaces trimmed), while the
// values are read from the characters the field holds.
TEST(CalImage, WindowTextsAreTheWholeSlicesAndTheValuesTheFieldsCharacters) {
    std::string image = withText(0, " 0.0012259");
    image.replace(101, 8, "0.06255x");
    image.replace(109, 12, " AB CD  EFGH");
    const CalImageParse p = parseCalImage(image, 2400);
    EXPECT_EQ(p.factorTexts[0], "0.0012259");
    EXPECT_FLOAT_EQ(*p.factors[0], 0.001225f);
    EXPECT_EQ(p.factorTexts[1], "0.001225");
    EXPECT_EQ(p.avgTimeText, "0.06255x");
    EXPECT_DOUBLE_EQ(*p.avgTime, 0.0625);
    EXPECT_EQ(p.serNumText, "AB CD  EFGH");
    EXPECT_EQ(p.serNum, "AB CD  EFG");

    const CalImageParse damaged = parseCalImage(withText(0, "abc"), 2400);
    EXPECT_EQ(damaged.factorTexts[0], "abc01225");
    EXPECT_EQ(damaged.serNumText, "**DEFAULT*");
}

// The sample count of the averaging time follows the rate; a rate that is not positive is
// taken as 2400 samples per second.
struct RateCase {
    const char* name;
    double rate;
    std::optional<std::int32_t> samples;
};
class CalImageRate : public ::testing::TestWithParam<RateCase> {};

TEST_P(CalImageRate, GivesTheTimesSampleCount) {
    const CalImageParse p = parseCalImage(goodImage(), GetParam().rate);
    EXPECT_EQ(p.avgSamples, GetParam().samples);
    EXPECT_EQ(p.ok(), GetParam().samples.has_value());
    EXPECT_DOUBLE_EQ(*p.avgTime, 0.1);
}
INSTANTIATE_TEST_SUITE_P(
    Rates, CalImageRate,
    ::testing::Values(RateCase{"StoreRate", 1600, 160}, RateCase{"ZeroRate", 0, 240},
                      RateCase{"NegativeRate", -50, 240},
                      RateCase{"NoRate", std::numeric_limits<double>::quiet_NaN(), 240},
                      RateCase{"RateWhoseCountOverflows", 1e300, std::nullopt}),
    [](const auto& test) { return std::string(test.param.name); });

} // namespace
