#include "platform/bidicontrols.h"
#include "platform/files.h"
#include "platform/textformat.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <locale.h>
#include <map>

using namespace qarn3;

namespace {

TEST(TextFormat, FixedFormatsLikePrintfWithTheGivenSeparator) {
    EXPECT_EQ(formatFixed(5, 4, 2), "5.00");
    EXPECT_EQ(formatFixed(12.5, 4, 2), "12.50");
    EXPECT_EQ(formatFixed(5, 4, 2, ','), "5,00");
    EXPECT_EQ(formatFixed(1000, 6, 0), "  1000");
    EXPECT_EQ(formatFixed(100, 6, 2), "100.00");
    EXPECT_EQ(formatFixed(0.001225f, 8, 6), "0.001225");
    EXPECT_EQ(formatFixed(0.1, 6, 3), " 0.100");
    EXPECT_EQ(formatInt(5, 2), " 5");
}

TEST(TextFormat, IntegersConvertOrNameTheText) {
    EXPECT_EQ(parseInteger(" 42 "), 42);
    EXPECT_EQ(parseInteger("-7"), -7);
    EXPECT_EQ(parseInteger("$1F"), 31);
    EXPECT_EQ(parseInteger("-$1F"), -31);
    EXPECT_EQ(parseInteger("0x10"), 16);
    EXPECT_EQ(parseInteger("+3"), 3);
    EXPECT_EQ(parseInteger("$FFFFFFFF"), -1);
    EXPECT_EQ(parseInteger("-2147483648"), -2147483648LL);
    // One optional sign, and digits right after it or after the hexadecimal mark.
    for (const char* bad : {"", "4.0", "abc", "12a", "99999999999", "-", "2147483648", "--5", "+-5",
                            "-+5", "$-1", "0x-5", "-$-1", "$+1", "$", "0x", "- 5"}) {
        try {
            parseInteger(bad);
            ADD_FAILURE() << bad;
        } catch (const ConvertError& e) {
            EXPECT_EQ(e.what(), "'" + std::string(bad) + "' is not a valid integer value");
        }
    }
}

// What a terminal or a log line would obey is shown; text, tabs and UTF-8 stay as they are.
TEST(TextFormat, ControlCharactersAreShownEscaped) {
    const std::pair<std::string, std::string> cases[] = {
        {"plain name.owf", "plain name.owf"},
        {"a\tb", "a\tb"},
        {"bay\x1b[2J 7", "bay\\x1b[2J 7"},
        {"line\r\nnext", "line\\x0d\\x0anext"},
        {std::string("nul\0!", 5), "nul\\x00!"},
        {"del\x7f", "del\\x7f"},
        {"Stra\xc3\x9f"
         "e \xe2\x80\x94 \xe5\xa0\xb4",
         "Stra\xc3\x9f"
         "e \xe2\x80\x94 \xe5\xa0\xb4"},
        {"c1 \xc2\x9b"
         "31m",
         "c1 \\xc2\\x9b"
         "31m"},
        {"nbsp \xc2\xa0", "nbsp \xc2\xa0"},
        {"lone \x9b"
         "31m",
         "lone \\x9b"
         "31m"},
        {"latin1 \xe9t\xe9", "latin1 \xe9t\xe9"},
        {"cut \xc2", "cut \xc2"},
    };
    for (const auto& [text, shown] : cases)
        EXPECT_EQ(escapeControls(text), shown) << text;
}

struct BidiCase {
    const char* text;
    const char* shown;
};
class BidiControls : public ::testing::TestWithParam<BidiCase> {};
// Every bidirectional control is written out where it stands, so that a name reads as it was
// typed; letters of right-to-left scripts, other punctuation and broken bytes stay as they are.
TEST_P(BidiControls, AreWrittenOutWhereTheyStand) {
    EXPECT_EQ(showBidiControls(GetParam().text), GetParam().shown) << GetParam().text;
}
INSTANTIATE_TEST_SUITE_P(
    Names, BidiControls,
    ::testing::Values(
        BidiCase{"North Plant", "North Plant"}, BidiCase{"", ""},
        BidiCase{"Site \u202E1-Q", "Site <U+202E>1-Q"}, // prints as "Site Q-1"
        BidiCase{"\u200Ea\u200Fb", "<U+200E>a<U+200F>b"},
        BidiCase{"\u202A\u202B\u202C\u202D", "<U+202A><U+202B><U+202C><U+202D>"},
        BidiCase{"\u2066x\u2067y\u2068z\u2069", "<U+2066>x<U+2067>y<U+2068>z<U+2069>"},
        BidiCase{"\u061C", "<U+061C>"},
        // Neighbours of the controls that are not ones: dashes, the separators, the
        // invisible operators, Arabic letters and digits, a Hebrew name.
        BidiCase{"\u2010\u2029\u202F\u2065\u206A\u200D\u061B\u061D",
                 "\u2010\u2029\u202F\u2065\u206A\u200D\u061B\u061D"},
        BidiCase{"\u05D0\u05D1 \u0661\u0662", "\u05D0\u05D1 \u0661\u0662"},
        // Cut short, or a lead byte without its continuation: kept byte for byte.
        BidiCase{"end \xE2\x80", "end \xE2\x80"}, BidiCase{"\xE2\x80x\xAE", "\xE2\x80x\xAE"},
        BidiCase{"\xD8", "\xD8"}, BidiCase{"lone \x80\xAE", "lone \x80\xAE"},
        // One after another, and beside a terminal control, which is escapeControls' to show.
        BidiCase{"\u202E\u202E\x1b", "<U+202E><U+202E>\x1b"}));

TEST(TextFormat, RealsUseOnlyTheGivenSeparator) {
    EXPECT_DOUBLE_EQ(parseReal("5.00"), 5.0);
    EXPECT_DOUBLE_EQ(parseReal("5,25", ','), 5.25);
    EXPECT_DOUBLE_EQ(parseReal("-1e-3"), -0.001);
    EXPECT_THROW(parseReal("5.00", ','), ConvertError);
    EXPECT_THROW(parseReal("abc"), ConvertError);
    EXPECT_THROW(parseReal("inf"), ConvertError);
    EXPECT_THROW(parseReal(""), ConvertError);
    try {
        parseReal("1OOO");
    } catch (const ConvertError& e) {
        EXPECT_STREQ(e.what(), "'1OOO' is not a valid floating point value");
    }
}

struct SeparatorCase {
    const char* localePoint;
    char expected;
};
class DecimalSeparatorRule : public ::testing::TestWithParam<SeparatorCase> {};
TEST_P(DecimalSeparatorRule, OneAsciiCharacterOrElseAPoint) {
    EXPECT_EQ(decimalSeparatorOf(GetParam().localePoint), GetParam().expected);
}
INSTANTIATE_TEST_SUITE_P(
    LocalePoints, DecimalSeparatorRule,
    ::testing::Values(SeparatorCase{",", ','}, SeparatorCase{".", '.'},
                      SeparatorCase{"\xD9\xAB", '.'}, // U+066B, Arabic and Persian
                      SeparatorCase{"\xC2\xB7", '.'}, // U+00B7, two bytes in UTF-8
                      SeparatorCase{"\xB7", '.'},     // a lone byte is no UTF-8 text
                      SeparatorCase{"", '.'}, SeparatorCase{",,", '.'}, SeparatorCase{" ", '.'},
                      SeparatorCase{"\t", '.'}, SeparatorCase{"5", '.'}, SeparatorCase{"-", '.'},
                      SeparatorCase{"+", '.'}, SeparatorCase{"e", '.'}, SeparatorCase{"'", '\''}));

// The environment's locale is read without touching the process locale, which Qt sets from
// the environment at start and the C library's number formatting would follow.
TEST(DecimalSeparatorRule, EnvironmentLocaleGivesTheRuleItsPoint) {
    const char* saved = std::getenv("LC_ALL");
    const std::string before = saved ? saved : "";
    struct Case {
        const char* locale;
        char expected;
    };
    int tried = 0;
    for (const Case c : {Case{"de_DE.UTF-8", ','}, Case{"ar_EG.UTF-8", '.'}, Case{"C", '.'}}) {
#ifndef _WIN32
        const locale_t probe = ::newlocale(LC_NUMERIC_MASK, c.locale, locale_t{});
        if (probe == locale_t{}) continue; // not installed here
        ::freelocale(probe);
#endif
        ++tried;
        ::setenv("LC_ALL", c.locale, 1);
        EXPECT_EQ(decimalSeparatorOf(environmentDecimalPoint()), c.expected) << c.locale;
    }
    if (saved)
        ::setenv("LC_ALL", before.c_str(), 1);
    else
        ::unsetenv("LC_ALL");
    EXPECT_GE(tried, 1);
}

TEST(Files, BareNamesResolveAgainstTheFolder) {
    EXPECT_EQ(resolveInFolder("/data/QARN3", "QARN3.osf"), "/data/QARN3/QARN3.osf");
    EXPECT_EQ(resolveInFolder("/data/QARN3", "/elsewhere/x.owf"), "/elsewhere/x.owf");
    EXPECT_EQ(bareFileName("/a/b/Test.owf"), "Test.owf");
}

} // namespace

namespace {

TEST(Folders, EnvironmentOverridesAndXdgDefaults) {
    std::map<std::string, std::string> vars{{"QARN3_PROG_DIR", "/opt/qarn3"},
                                            {"QARN3_DATA_DIR", "/srv/qarn3-data"},
                                            {"XDG_DATA_HOME", "/home/op/.data"},
                                            {"HOME", "/home/op"},
                                            {"LOCALAPPDATA", "C:/Users/op/AppData/Local"}};
    const auto environment = [&vars] {
        return folderEnvironment([&vars](const char* name) { return vars[name]; });
    };
    ProgramFolders f = platformFolders("/usr/bin", environment());
    EXPECT_EQ(f.dataFolder, "/srv/qarn3-data");
    EXPECT_EQ(f.progFolder, "/opt/qarn3");
    vars["QARN3_PROG_DIR"] = vars["QARN3_DATA_DIR"] = "";
    f = platformFolders("/nonexistent/bin", environment());
    EXPECT_EQ(f.progFolder, "/nonexistent/bin");
#ifdef _WIN32
    // The user's application data, or the all-users folder when the setup says so.
    EXPECT_EQ(f.dataFolder, "C:/Users/op/AppData/Local/QARN3");
    vars["PROGRAMDATA"] = "C:\\ProgramData";
    vars["QARN3_ALL_USERS"] = "1";
    EXPECT_EQ(platformFolders("C:/QARN3", environment()).dataFolder, "C:/ProgramData/QARN3");
#else
    EXPECT_EQ(f.dataFolder, "/home/op/.data/QARN3");
    vars["XDG_DATA_HOME"] = "";
    f = platformFolders("/nonexistent/bin", environment());
    EXPECT_EQ(f.dataFolder, "/home/op/.local/share/QARN3");
#endif
    EXPECT_EQ(f.dataFolderUse, FolderUse::Own);
}

} // namespace
