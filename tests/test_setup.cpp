#include "calsetup/setup.h"

#include "platform/textformat.h"
#include "record_fixture.h"

#include <sys/stat.h>
#include <unistd.h>

using namespace qarn3;
using namespace qarn3::test;

namespace {

class SetupFileTest : public RecordTest {
protected:
    SetupFileTest() {
        rec.SetupFileName = file("QARN3.osf");
        rec.DataFileName = file("QARN3.odf");
    }
    TSetupRecord rec;
};

TEST_F(SetupFileTest, MissingFileIsCreatedWithDefaults) {
    ReadSetupFile(rec, services, '.');
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].caption, "File Missing");
    EXPECT_EQ(dialogs.shown()[0].text, "Creating Default Setup File");
    EXPECT_EQ(contents("QARN3.osf"), "4\r\n5.00\r\n5.00\r\n" + file("QARN3.odf") +
                                         "\r\nCOM\r\n4\r\n0\r\n  1000\r\n100.00\r\n");
    EXPECT_EQ(rec.SourceKind, kSourceCom);
    EXPECT_EQ(rec.RangeIndex, 4);
}

// The locale's decimal point, as the system reports it, through the program's rule.
struct LocaleCase {
    const char* localePoint;
    const char* limitLine;
    const char* millivoltLine;
};
class SetupFileLocale : public SetupFileTest, public ::testing::WithParamInterface<LocaleCase> {};

TEST_P(SetupFileLocale, WritesAndReadsWithTheLocaleSeparatorOrAPoint) {
    const char sep = decimalSeparatorOf(GetParam().localePoint);
    ReadSetupFile(rec, services, sep);
    const std::string limit = GetParam().limitLine;
    EXPECT_EQ(contents("QARN3.osf"), "4\r\n" + limit + "\r\n" + limit + "\r\n" + file("QARN3.odf") +
                                         "\r\nCOM\r\n4\r\n0\r\n  1000\r\n" +
                                         GetParam().millivoltLine + "\r\n");
    TSetupRecord back;
    back.SetupFileName = rec.SetupFileName;
    ReadSetupFile(back, services, sep);
    EXPECT_DOUBLE_EQ(back.MaxOnTime, 5.0);
    EXPECT_DOUBLE_EQ(back.ShuntMillivolts, 100.0);
}
INSTANTIATE_TEST_SUITE_P(Locales, SetupFileLocale,
                         ::testing::Values(LocaleCase{",", "5,00", "100,00"},        // German
                                           LocaleCase{"\xD9\xAB", "5.00", "100.00"}, // Arabic
                                           LocaleCase{".", "5.00", "100.00"}));

TEST_F(SetupFileTest, EmptyDataFileNameDefaultsToTheOldName) {
    rec.DataFileName.clear();
    ReadSetupFile(rec, services, '.');
    EXPECT_EQ(rec.DataFileName, "Velkorand.odf");
}

struct RangeCase {
    const char* line;
    int expected;
};
class SetupRangeLine : public SetupFileTest, public ::testing::WithParamInterface<RangeCase> {};

TEST_P(SetupRangeLine, OutsideOneToEightReadsAsFour) {
    put("QARN3.osf",
        std::string(GetParam().line) + "\r\n5\r\n5\r\nx\r\nCOM\r\n4\r\n0\r\n1000\r\n100\r\n");
    ReadSetupFile(rec, services, '.');
    EXPECT_EQ(rec.RangeIndex, GetParam().expected);
}
INSTANTIATE_TEST_SUITE_P(Lines, SetupRangeLine,
                         ::testing::Values(RangeCase{"0", 4}, RangeCase{"9", 4}, RangeCase{"8", 8},
                                           RangeCase{"1", 1}, RangeCase{"65537", 4}));

TEST(SourceKind, DerivedFromTheTrimmedName) {
    EXPECT_EQ(sourceKindOf("COM3"), kSourceCom);
    EXPECT_EQ(sourceKindOf(" USB "), kSourceUsb);
    EXPECT_EQ(sourceKindOf("usb"), kSourceNone);
    EXPECT_EQ(sourceKindOf("com4"), kSourceNone);
    EXPECT_EQ(sourceKindOf("CO"), kSourceNone);
    EXPECT_EQ(sourceKindOf("CONSOLE"), kSourceNone);
    EXPECT_EQ(sourceKindOf("WAV"), kSourceNone);
    EXPECT_EQ(sourceKindOf(""), kSourceNone);
}

TEST(SourceKind, ADevicePathIsASerialPort) {
    EXPECT_EQ(sourceKindOf(" /dev/ttyACM0 "), kSourceCom);
    EXPECT_EQ(sourceKindOf("/dev/pts/4"), kSourceCom);
    EXPECT_EQ(sourceKindOf("dev/ttyACM0"), kSourceNone);
    EXPECT_TRUE(namesSerialPort("com4", true));
    EXPECT_TRUE(namesSerialPort("/dev/ttyUSB0", false));
    EXPECT_FALSE(namesSerialPort("co", true));
}

TEST_F(SetupFileTest, ShortFileFailsOnTheEmptySixthLineKeepingTheFirstFive) {
    put("QARN3.osf", "7\r\n1.50\r\n2.50\r\nres.odf\r\n USB \r\n");
    rec.MaxOps = 99;
    try {
        ReadSetupFile(rec, services, '.');
        FAIL();
    } catch (const ConvertError& e) {
        EXPECT_STREQ(e.what(), "'' is not a valid integer value");
    }
    EXPECT_EQ(rec.RangeIndex, 7);
    EXPECT_DOUBLE_EQ(rec.MaxOnTime, 1.5);
    EXPECT_DOUBLE_EQ(rec.MaxOffTime, 2.5);
    EXPECT_EQ(rec.DataFileName, "res.odf");
    EXPECT_EQ(rec.SourceKind, kSourceUsb);
    EXPECT_EQ(rec.MaxOps, 99);
}

TEST_F(SetupFileTest, TestModeKeepsTheLowEightBits) {
    put("QARN3.osf", "4\n5\n5\nx\nCOM\n4\n257\n1000\n100\n");
    ReadSetupFile(rec, services, '.');
    EXPECT_EQ(rec.TestMode, 1);
    put("QARN3.osf", "4\n5\n5\nx\nCOM\n4\n384\n1000\n100\n");
    ReadSetupFile(rec, services, '.');
    EXPECT_EQ(rec.TestMode, 128);
}

TEST_F(SetupFileTest, FailedWriteKeepsTheOldFileAndSaysSo) {
    ReadSetupFile(rec, services, '.');
    const std::string before = contents("QARN3.osf");
    FullDiskFileStore full;
    Services failing{full, dialogs, log};
    rec.RangeIndex = 8;
    EXPECT_FALSE(WriteSetupFile(rec, failing, '.'));
    EXPECT_EQ(contents("QARN3.osf"), before);
    EXPECT_EQ(dialogs.shown().back().text, "Error writing file: " + rec.SetupFileName);
    EXPECT_EQ(dialogs.shown().back().caption, "Error");
    EXPECT_EQ(dialogs.shown().back().buttons, std::vector<MsgButton>{MsgButton::Abort});
    // No stray temporary file is left beside it.
    int entries = 0;
    for ([[maybe_unused]] auto& e : std::filesystem::directory_iterator(folder))
        ++entries;
    EXPECT_EQ(entries, 1);
}

TEST_F(SetupFileTest, UnwritableFolderLeavesTheRecordAndReportsEachAttempt) {
    rec.SetupFileName = folder + "/no/such/folder/QARN3.osf";
    ReadSetupFile(rec, services, '.');
    EXPECT_EQ(dialogs.shown().size(), 2u);
    EXPECT_EQ(dialogs.shown()[1].text, "Error writing file: " + rec.SetupFileName);
    EXPECT_EQ(rec.RangeIndex, 4); // defaults kept in memory
}

// Nine lines are read and nothing after them; a name that is no regular file is a reading
// error rather than a missing file (which would be overwritten with defaults).
TEST_F(SetupFileTest, ReadsOnlyItsNineLinesAndRefusesWhatIsNoFile) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no FIFOs nor sparse truncation";
#else
    const std::string longPath = "/" + std::string(2000, 'd') + "/results.odf";
    put("QARN3.osf", "7\r\n1.50\r\n2.50\r\n" + longPath + "\r\nUSB\r\n3\r\n1\r\n500\r\n50\r\n");
    ASSERT_EQ(::truncate(rec.SetupFileName.c_str(), 4LL << 30), 0); // sparse, 4 GiB
    ReadSetupFile(rec, services, '.');
    EXPECT_EQ(rec.RangeIndex, 7);
    EXPECT_EQ(rec.DataFileName, longPath);
    EXPECT_DOUBLE_EQ(rec.ShuntMillivolts, 50);

    std::filesystem::remove(rec.SetupFileName);
    ASSERT_EQ(::mkfifo(rec.SetupFileName.c_str(), 0644), 0);
    dialogs.clear();
    try {
        ReadSetupFile(rec, services, '.');
        ADD_FAILURE();
    } catch (const FileIoError& e) {
        EXPECT_EQ(e.what(), "Error reading file: " + rec.SetupFileName);
    }
    EXPECT_TRUE(dialogs.shown().empty()); // no "File Missing", no defaults written over it
    EXPECT_TRUE(std::filesystem::is_fifo(rec.SetupFileName));
#endif
}

TEST(SetupFields, TakenInOrderUntilOneFails) {
    TSetupRecord r;
    r.ShuntMillivolts = 100;
    SetupFields f = setupFieldsOf(r, '.');
    f.MaxOnTime = "3.00";
    f.MaxOffTime = "4.00";
    f.MaxOps = "6";
    f.DataFileName = "x.odf";
    f.SourceName = "USB";
    f.ShuntAmperes = "abc";
    f.ShuntMillivolts = "50";
    EXPECT_THROW(takeSetupFields(f, r, '.'), ConvertError);
    EXPECT_DOUBLE_EQ(r.MaxOnTime, 3.0);
    EXPECT_EQ(r.MaxOps, 6);
    EXPECT_EQ(r.SourceName, "USB");
    EXPECT_DOUBLE_EQ(r.ShuntMillivolts, 100);
    r.ShuntAmperes = 1000;
    EXPECT_EQ(setupFieldsOf(r, '.').ShuntAmperes, "1000.0");
    EXPECT_EQ(setupFieldsOf(r, '.').ShuntMillivolts, "100.00");
}

TEST(SetupFields, EveryRealFieldUsesTheLocaleSeparator) {
    TSetupRecord r;
    r.MaxOnTime = 2.5;
    r.MaxOffTime = 7.25;
    r.ShuntAmperes = 1000;
    r.ShuntMillivolts = 100;
    SetupFields f = setupFieldsOf(r, ',');
    EXPECT_EQ(f.MaxOnTime, "2,50");
    EXPECT_EQ(f.MaxOffTime, "7,25");
    EXPECT_EQ(f.ShuntAmperes, "1000,0");
    EXPECT_EQ(f.ShuntMillivolts, "100,00");
    f.MaxOnTime = "3,5";
    f.MaxOffTime = "4,75";
    f.ShuntMillivolts = "75,5";
    takeSetupFields(f, r, ',');
    EXPECT_DOUBLE_EQ(r.MaxOnTime, 3.5);
    EXPECT_DOUBLE_EQ(r.MaxOffTime, 4.75);
    EXPECT_DOUBLE_EQ(r.ShuntMillivolts, 75.5);
    f.MaxOffTime = "4.75"; // a point is no separator where the locale says comma
    EXPECT_THROW(takeSetupFields(f, r, ','), ConvertError);
}

} // namespace
