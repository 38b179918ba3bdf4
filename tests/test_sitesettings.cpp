#include "calsetup/sitesettings.h"

#include "record_fixture.h"

#include <sys/stat.h>

using namespace qarn3;
using namespace qarn3::test;

namespace {

// A site file's text, the mains frequency it gives and the problem it is reported with.
struct SiteText {
    const char* text;
    int mainsHz;
    const char* problem;
};

class SiteFileText : public ::testing::TestWithParam<SiteText> {};

TEST_P(SiteFileText, GivesTheMainsFrequencyOrTheDefaultWithTheReason) {
    TSiteSettings s;
    s.MainsHz = 0; // every text sets it
    EXPECT_EQ(parseSiteText(GetParam().text, s), GetParam().problem);
    EXPECT_EQ(s.MainsHz, GetParam().mainsHz);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SiteFileText,
    ::testing::Values(SiteText{"MainsHz=50\r\n", 50, ""},
                      SiteText{"; comment\r\n[Site]\r\n  mainshz = 60 \r\nLater=whatever\r\n", 60,
                               ""},
                      SiteText{"MainsHz=55\r\n", 60, "Mains frequency '55' is not 50 or 60 Hz"},
                      SiteText{"MainsHz=\r\n", 60, "Mains frequency '' is not 50 or 60 Hz"},
                      SiteText{"MainsHz=fifty\nMainsHz=50\n", 50, ""}, // the last one given counts
                      // An editor's UTF-8 byte order mark does not hide the first line.
                      SiteText{"\xEF\xBB\xBFMainsHz=50\r\n", 50, ""},
                      SiteText{"no equals sign here\n# MainsHz=50\n", 0, ""}));

class SiteFileTest : public RecordTest {
protected:
    std::string path() const { return siteFileBeside(file("QARN3.osf")); }
    TSiteSettings site;
};

TEST_F(SiteFileTest, LivesBesideTheSetupFileAndReadsBackWhatWasWritten) {
    EXPECT_EQ(path(), file("QARN3Site.ini"));
    site.MainsHz = 50;
    ASSERT_TRUE(WriteSiteFile(site, path(), services));
    EXPECT_EQ(contents("QARN3Site.ini"),
              "; QARN-3 site settings (the setup file QARN3.osf keeps the rest)\r\nMainsHz=50\r\n");
    TSiteSettings back;
    EXPECT_TRUE(ReadSiteFile(back, path(), services));
    EXPECT_EQ(back.MainsHz, 50);
    EXPECT_TRUE(dialogs.shown().empty());
}

TEST_F(SiteFileTest, MissingFileGivesSixtyHertzWithoutAWordAndCreatesNothing) {
    site.MainsHz = 50;
    EXPECT_TRUE(ReadSiteFile(site, path(), services));
    EXPECT_EQ(site.MainsHz, 60);
    EXPECT_TRUE(dialogs.shown().empty());
    EXPECT_FALSE(files.exists(path()));
}

TEST_F(SiteFileTest, BadValueIsReportedWithTheFileAndTheDefaultIsUsed) {
    put("QARN3Site.ini", "MainsHz=400\r\n");
    EXPECT_FALSE(ReadSiteFile(site, path(), services));
    EXPECT_EQ(site.MainsHz, 60);
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].caption, "Warning");
    EXPECT_EQ(dialogs.shown()[0].text,
              "Mains frequency '400' is not 50 or 60 Hz; 60 Hz is used.\n(" + path() + ")");
}

// A name that is no regular file is a reading error, not a missing file; the read stops at
// a few kilobytes, so a huge file neither fills memory nor holds the program up.
TEST_F(SiteFileTest, WhatIsNoFileIsAnErrorAndOnlyTheStartIsRead) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no FIFOs";
#else
    ASSERT_EQ(::mkfifo(path().c_str(), 0644), 0);
    EXPECT_FALSE(ReadSiteFile(site, path(), services));
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].text,
              "Error reading file: " + path() + "\nThe default, 60 Hz mains, is used.");
    std::filesystem::remove(path());
    put("QARN3Site.ini", "MainsHz=50\r\n" + std::string(kSiteReadLimit, ';') + "\nMainsHz=55\n");
    dialogs.clear();
    EXPECT_TRUE(ReadSiteFile(site, path(), services));
    EXPECT_EQ(site.MainsHz, 50);
#endif
}

TEST_F(SiteFileTest, ReadOnlyFileIsLeftAsItWasAndTheWriteReported) {
    put("QARN3Site.ini", "MainsHz=60\r\n");
    ASSERT_TRUE(files.setReadOnly(path(), true));
    site.MainsHz = 50;
    EXPECT_FALSE(WriteSiteFile(site, path(), services));
    EXPECT_EQ(contents("QARN3Site.ini"), "MainsHz=60\r\n");
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].text, "Error writing file: " + path());
    EXPECT_EQ(dialogs.shown()[0].buttons, std::vector<MsgButton>{MsgButton::Abort});
}

} // namespace
