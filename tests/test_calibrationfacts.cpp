#include "recordstool/importer.h"

#include <gtest/gtest.h>

using namespace qarn3;

namespace {

// A calibration file's text with the given serial and date slices.
std::string calText(const std::string& serial, const std::string& date) {
    std::string s;
    for (int i = 0; i < 8; ++i)
        s += "0.001225\r\n";
    return s + "40\r\n100\r\n 5\r\n20\r\n15\r\n 0.100\r\n" + serial + "\r\n" + date + "\r\n";
}

// What an import stores of the analyzer: its serial and calibration date, and neither when
// the image is damaged (a session is never given half a calibration).
struct FactsCase {
    const char* name;
    std::string text;
    const char* serial;
    const char* date;
};
class CalibrationFacts : public ::testing::TestWithParam<FactsCase> {};

TEST_P(CalibrationFacts, GiveTheSerialAndTheDateOfAGoodImageOnly) {
    std::string serial = "earlier", date = "earlier";
    calibrationFacts(GetParam().text, serial, date);
    EXPECT_EQ(serial, GetParam().serial);
    EXPECT_EQ(date, GetParam().date);
}

std::string damaged(std::size_t offset, const std::string& text) {
    std::string s = calText("SN-4711   ", "46082");
    s.replace(offset, text.size(), text);
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Images, CalibrationFacts,
    ::testing::Values(
        FactsCase{"GoodImage", calText("SN-4711   ", "46082"), "SN-4711", "2026-03-01"},
        FactsCase{"SerialWithSpacesInside", calText(" A 12  B  ", "46082"), "A 12  B",
                  "2026-03-01"},
        FactsCase{"SerialOfSpaces", calText("          ", "46082"), "", "2026-03-01"},
        FactsCase{"DateZero", calText("SN-4711   ", "    0"), "SN-4711", ""},
        FactsCase{"NegativeDate", calText("SN-4711   ", "  -10"), "SN-4711", ""},
        FactsCase{"FirstDay", calText("SN-4711   ", "    1"), "SN-4711", "1899-12-31"},
        FactsCase{"HugeDate", calText("SN-4711   ", "99999"), "SN-4711", "2173-10-13"},
        FactsCase{"DateThatIsNoNumber", damaged(121, "46x82"), "", ""},
        FactsCase{"FactorThatIsNoNumber", damaged(0, "abc"), "", ""},
        FactsCase{"FactorWithAComma", damaged(0, "0,001225"), "", ""},
        FactsCase{"FactorThatDoesNotFit", damaged(0, "1e39    "), "", ""},
        FactsCase{"TimeWhoseSampleCountOverflows", damaged(101, "9e+300"), "", ""},
        FactsCase{"ShortText", calText("SN-4711   ", "46082").substr(0, 110), "", ""},
        FactsCase{"TextBeyondTheImage", calText("SN-4711   ", "46082") + "more", "SN-4711",
                  "2026-03-01"}),
    [](const auto& test) { return std::string(test.param.name); });

} // namespace
