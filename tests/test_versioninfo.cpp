#include "diag/versioninfo.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

using namespace qarn3;

namespace {

struct NameCase {
    const char* version;
    const char* name;
};

class ViewerName : public ::testing::TestWithParam<NameCase> {};

TEST_P(ViewerName, FirstRowTheVersionReachesNamesIt) {
    EXPECT_EQ(ViewerFriendlyVerStr(GetParam().version), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(
    Boundaries, ViewerName,
    ::testing::Values(NameCase{"5.2.3669.1", "> 1.4a"}, NameCase{"6.4.2.0", "> 1.4a"},
                      NameCase{"5.2.3669.0", "1.4a"}, NameCase{"5.2.3668.99", "1.4"},
                      NameCase{"5.2.3626.0", "1.4"}, NameCase{"5.2.3625.9", "1.33"},
                      NameCase{"4.74.8857.0", "1.32"}, NameCase{"4.74.8856.0", "1.31"},
                      NameCase{"4.73.8474.5", "1.21a"}, NameCase{"4.72.7325.0", "1.1a"},
                      NameCase{"4.72.7290.0", "1.0"}, NameCase{"4.72.7289.9", "< 1.0"},
                      NameCase{"1", "< 1.0"}, NameCase{"", ""}));

class BrowserName : public ::testing::TestWithParam<NameCase> {};

TEST_P(BrowserName, RenumberedVersionFindsItsRelease) {
    EXPECT_EQ(BrowserFriendlyVerStr(BrowserVerStr(GetParam().version)), GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(
    Releases, BrowserName,
    ::testing::Values(NameCase{"7.0.5730.13", ">= Internet Explorer 7.0.5730.13"},
                      NameCase{"6.0.3790.0", "Internet Explorer 6 (Windows Server 2003)"},
                      NameCase{"6.0.3789.9", "Internet Explorer 6 (Windows Server 2003 RC2)"},
                      NameCase{"6.0.2900.2180", "Internet Explorer 6 (Windows XP SP2)"},
                      NameCase{"6.0.2900.2179", "Internet Explorer 6 SP1"},
                      NameCase{"6.0.2600.0", "Internet Explorer 6 (Windows XP)"},
                      NameCase{"5.50.4807.2300", "Internet Explorer 5.5 Service Pack 2"},
                      NameCase{"5.50.4807.2299", "Internet Explorer 5.5 Service Pack 1"},
                      NameCase{"5.0.2920.0", "Internet Explorer 5.01"},
                      NameCase{"5.0.2014.216", "Internet Explorer 5.0"},
                      NameCase{"4.72.3612.1713", "Internet Explorer 4.01 Service Pack 2 (SP2)"},
                      // Old numbering: the build moves into the release place.
                      NameCase{"4.70.0.1155", "Internet Explorer 3.0"},
                      NameCase{"4.70.0.1300", "Internet Explorer 3.02"},
                      NameCase{"4.40.0.308", "Internet Explorer 1.0 (Plus!)"},
                      NameCase{"4.40.0.307", "< Internet Explorer 1.0 (Plus!)"}, NameCase{"", ""}));

TEST(BrowserVersion, OnlyOldFourSeventyAndBelowWithReleaseZeroAreRenumbered) {
    EXPECT_EQ(BrowserVerStr("4.70.0.1155"), "4.70.1155.0");
    EXPECT_EQ(BrowserVerStr("4.71.0.544"), "4.71.0.544");
    EXPECT_EQ(BrowserVerStr("4.70.1155.0"), "4.70.1155.0");
    EXPECT_EQ(BrowserVerStr("5.0.0.3"), "5.0.0.3");
    EXPECT_EQ(BrowserVerStr(""), "");
}

TEST(Version, ProjectVersionBecomesFourNumbers) {
    EXPECT_EQ(fourPartVersion("0.1.0"), "0.1.0.0");
    EXPECT_EQ(fourPartVersion("2"), "2.0.0.0");
    EXPECT_EQ(fourPartVersion("1.2.3.4"), "1.2.3.4");
    EXPECT_EQ(fourPartVersion("1.2.3.4.5"), "0.0.0.0");
    EXPECT_EQ(fourPartVersion("1..2"), "0.0.0.0");
    EXPECT_EQ(fourPartVersion("1.2."), "0.0.0.0");
    EXPECT_EQ(fourPartVersion("-1.2"), "0.0.0.0");
    EXPECT_EQ(fourPartVersion("v1"), "0.0.0.0");
}

TEST(Version, OnlyTheProgramFileHasAVersion) {
    char tmpl[] = "/tmp/qarn3-ver-XXXXXX";
    const std::string dir = ::mkdtemp(tmpl);
    std::ofstream(dir + "/qarn3").put('x');
    std::ofstream(dir + "/other").put('x');
    const ModuleFacts self{dir + "/qarn3", "0.1.0.0"};
    EXPECT_EQ(FileVersionText(dir + "/qarn3", self), "0.1.0.0");
    EXPECT_EQ(FileVersionText(dir + "/./qarn3", self), "0.1.0.0");
    EXPECT_EQ(FileVersionText(dir + "/other", self), "");
    EXPECT_EQ(FileVersionText(dir + "/missing", self), "");
    EXPECT_EQ(FileVersionText("", self), "");
    std::filesystem::remove_all(dir);
}

} // namespace
