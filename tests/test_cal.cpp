#include "calsetup/cal.h"
#include "calsetup/caldate.h"

#include "platform/textformat.h"
#include "record_fixture.h"

#include <cmath>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

using namespace qarn3;
using namespace qarn3::test;

namespace {

std::string defaultImage(long day) {
    std::string s;
    for (int i = 0; i < 8; ++i)
        s += "0.001225\r\n";
    s += "40\r\n100\r\n 5\r\n20\r\n15\r\n 0.100\r\n**DEFAULT*\r\n" + std::to_string(day) + "\r\n";
    return s;
}

struct RecordingFields : CalFieldsView {
    std::map<int, std::string> factors;
    std::string avg, ser;
    long date = -1;
    int refreshes = 0;
    void setFactorText(int r, const std::string& t) override { factors[r] = t; }
    void setAvgTimeText(const std::string& t) override { avg = t; }
    void setSerNumText(const std::string& t) override { ser = t; }
    void setCalDateText(long d) override { date = d; }
    void RefreshCal(const TCalRecord&) override { ++refreshes; }
};

class CalTest : public RecordTest {
protected:
    TCalRecord cal;
    double sampleRate = 2400;
    RecordingFields fields;
    CalFile calFile{cal, sampleRate, services, folder, &fields};
};

TEST(CalDate, DayNumbersFrom1899) {
    EXPECT_EQ(dayNumberFromCivil(1899, 12, 30), 0);
    EXPECT_EQ(dayNumberFromCivil(2009, 4, 14), 39917);
    EXPECT_EQ(dayNumberFromCivil(1927, 5, 18), 10000);
    EXPECT_EQ(dayNumberFromCivil(2173, 10, 13), 99999);
    const CivilDate d = civilFromDayNumber(39917);
    EXPECT_EQ(d.year, 2009);
    EXPECT_EQ(d.month, 4);
    EXPECT_EQ(d.day, 14);
}

// The main window's colours of a calibration's age: red beyond a year, yellow in its last
// month, the year's day itself included.
TEST(CalDate, AgeOfACalibrationOnADay) {
    const long day = dayNumberFromCivil(2026, 12, 8);
    const std::pair<long, CalibrationAge> cases[] = {
        {day - 366, CalibrationAge::Overdue}, {day - 365, CalibrationAge::DueSoon},
        {day - 336, CalibrationAge::DueSoon}, {day - 335, CalibrationAge::Current},
        {day, CalibrationAge::Current},       {day + 30, CalibrationAge::Current}};
    for (const auto& [calibrated, age] : cases)
        EXPECT_EQ(calibrationAge(calibrated, day), age) << day - calibrated;
}

TEST_F(CalTest, DefaultsAcceptedTwiceGiveThe128ByteReadOnlyFile) {
    calFile.ReadCalFile(); // missing: box, defaults (OK), write (OK), read back
    const long today = todayDayNumber();
    EXPECT_EQ(contents("QARN3.ocf"), defaultImage(today));
    EXPECT_EQ(contents("QARN3.ocf").size(), 128u);
    EXPECT_TRUE(files.isReadOnly(file("QARN3.ocf")));
    EXPECT_FALSE(cal.CalError);
    EXPECT_EQ(cal.AvgSamples, 240);
    EXPECT_EQ(cal.OnThresh, 40);
    EXPECT_EQ(cal.MPUThresh, 100);
    EXPECT_EQ(cal.OnDelay, 5);
    EXPECT_EQ(cal.OffThresh, 20);
    EXPECT_EQ(cal.OffDelay, 15);
    EXPECT_EQ(cal.SerNum, "**DEFAULT*");
    EXPECT_EQ(cal.CalDate, static_cast<double>(today));
    ASSERT_EQ(dialogs.shown().size(), 3u);
    EXPECT_EQ(dialogs.shown()[0].text, "Cal File QARN3.ocf Missing.");
    EXPECT_EQ(dialogs.shown()[1].text, "Setting Default Values ");
    EXPECT_EQ(dialogs.shown()[2].text, "Writing to Cal File QARN3.ocf");
    EXPECT_EQ(fields.refreshes, 1);
    EXPECT_EQ(fields.factors[8], "0.001225");
    EXPECT_EQ(fields.date, today);
}

TEST_F(CalTest, RewritingTheReadOnlyFileSucceeds) {
    calFile.ReadCalFile();
    cal.OnThresh = 33;
    EXPECT_TRUE(calFile.WriteCalFile());
    EXPECT_TRUE(files.isReadOnly(file("QARN3.ocf")));
    EXPECT_EQ(contents("QARN3.ocf").substr(80, 4), "33\r\n");
}

// Each replacement keeps the file it replaces, once: the backup is the calibration as it
// was just before, read-only like the calibration file, and the next replacement replaces it.
TEST_F(CalTest, EachReplacementKeepsThePreviousFileAsTheReadOnlyBackup) {
    calFile.ReadCalFile(); // a new file: nothing to keep
    EXPECT_FALSE(files.exists(file("QARN3.ocf.bak")));
    const std::string first = contents("QARN3.ocf");
    cal.OnThresh = 33;
    ASSERT_TRUE(calFile.WriteCalFile());
    EXPECT_EQ(contents("QARN3.ocf.bak"), first);
    EXPECT_TRUE(files.isReadOnly(file("QARN3.ocf.bak")));

    const std::string second = contents("QARN3.ocf");
    dialogs.clear();
    calFile.SetDefaultCal(); // the defaults replace it too
    EXPECT_EQ(contents("QARN3.ocf.bak"), second);
    EXPECT_TRUE(files.isReadOnly(file("QARN3.ocf.bak")));
    EXPECT_EQ(contents("QARN3.ocf").substr(80, 4), "40\r\n");
    EXPECT_EQ(dialogs.shown().size(), 2u); // the two confirmations, no error
}

// When the previous file cannot be kept, it is not replaced, and the box names the backup.
TEST_F(CalTest, ABackupThatCannotBeWrittenLeavesTheCalibrationFileAsItWas) {
    calFile.ReadCalFile();
    const std::string before = contents("QARN3.ocf");
    std::filesystem::create_directory(file("QARN3.ocf.bak"));
    cal.OnThresh = 33;
    dialogs.clear();
    EXPECT_FALSE(calFile.WriteCalFile());
    EXPECT_EQ(contents("QARN3.ocf"), before);
    EXPECT_TRUE(files.isReadOnly(file("QARN3.ocf")));
    EXPECT_EQ(dialogs.shown().back().text, "Error writing file: QARN3.ocf.bak");
}

TEST_F(CalTest, DeclinedDefaultsEndWithCannotOpen) {
    dialogs.answer(MsgButton::OK);
    dialogs.answer(MsgButton::Cancel);
    EXPECT_THROW(
        try { calFile.ReadCalFile(); } catch (const FileIoError& e) {
            EXPECT_STREQ(e.what(), "Cannot open file QARN3.ocf");
            throw;
        },
        FileIoError);
    EXPECT_TRUE(cal.CalError);
}

TEST_F(CalTest, SerialNumbersArePaddedOrCut) {
    calFile.SetDefaultCal();
    cal.SerNum = "ABC";
    EXPECT_EQ(buildCalImage(cal).substr(109, 12), "ABC       \r\n");
    cal.SerNum = "ABCDEFGHIJKLMN";
    EXPECT_EQ(buildCalImage(cal).substr(109, 12), "ABCDEFGHIJ\r\n");
}

TEST_F(CalTest, UnconvertibleSliceUpdatesOnlyTheFieldsBeforeIt) {
    calFile.ReadCalFile();
    std::string image = defaultImage(39917);
    image.replace(0, 8, "0.002000");
    image.replace(10, 8, "0.003000");
    image.replace(20, 8, "0.004000");
    image.replace(30, 8, "     abc");
    image.replace(80, 2, "11");
    cal.CalImage = image;
    cal.CalError = true;
    dialogs.clear();
    calFile.ParseCalImage();
    EXPECT_FLOAT_EQ(cal.Factor[0], 0.002f);
    EXPECT_FLOAT_EQ(cal.Factor[2], 0.004f);
    EXPECT_FLOAT_EQ(cal.Factor[3], 0.001225f);
    EXPECT_EQ(cal.OnThresh, 40);
    EXPECT_TRUE(cal.CalError);
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].text, "Calibration corrupted. Please recalibrate.");
    EXPECT_EQ(dialogs.shown()[0].caption, "Information");
}

TEST_F(CalTest, ShortFileReplacesOnlyTheStartOfTheImage) {
    calFile.ReadCalFile();
    const std::string previous = cal.CalImage;
    std::string shortFile = defaultImage(40000).substr(0, 100);
    shortFile.replace(0, 8, "0.005000");
    files.setReadOnly(file("QARN3.ocf"), false);
    put("QARN3.ocf", shortFile);
    calFile.ReadCalFile();
    EXPECT_EQ(cal.CalImage.substr(0, 100), shortFile);
    EXPECT_EQ(cal.CalImage.substr(100), previous.substr(100));
    EXPECT_FLOAT_EQ(cal.Factor[0], 0.005f);
    EXPECT_FALSE(cal.CalError);
}

TEST_F(CalTest, ImageAlwaysUsesAPointWhateverTheLocale) {
    // Parsing never consults the process locale: a file from any installation reads.
    put("QARN3.ocf", defaultImage(39917));
    calFile.ReadCalFile();
    EXPECT_FLOAT_EQ(cal.Factor[4], 0.001225f);
    EXPECT_DOUBLE_EQ(cal.AvgTime, 0.1);
    EXPECT_EQ(cal.CalDate, 39917);
}

TEST_F(CalTest, ValuesThatDoNotFitAreRefusedNotWrittenOutOfLayout) {
    calFile.ReadCalFile();
    const std::string before = contents("QARN3.ocf");
    cal.OffThresh = 150;
    EXPECT_FALSE(calFile.WriteCalFile());
    EXPECT_EQ(contents("QARN3.ocf"), before);
    EXPECT_EQ(dialogs.shown().back().text, "Error writing file: QARN3.ocf");
    EXPECT_EQ(dialogs.shown().back().buttons, std::vector<MsgButton>{MsgButton::Abort});
}

TEST_F(CalTest, FailedWriteLeavesThePreviousFile) {
    calFile.ReadCalFile();
    const std::string before = contents("QARN3.ocf");
    FullDiskFileStore full;
    Services failing{full, dialogs, log};
    CalFile failingFile{cal, sampleRate, failing, folder};
    cal.OnThresh = 30;
    EXPECT_FALSE(failingFile.WriteCalFile());
    EXPECT_EQ(contents("QARN3.ocf"), before);
    EXPECT_TRUE(files.isReadOnly(file("QARN3.ocf")));
}

TEST_F(CalTest, AvgSamplesFollowsTheStoreRateAndFixesAZeroRate) {
    put("QARN3.ocf", defaultImage(39917));
    sampleRate = 0;
    calFile.ReadCalFile();
    EXPECT_EQ(sampleRate, 2400);
    EXPECT_EQ(cal.AvgSamples, 240);
    // All six characters of the time are read.
    std::string image = defaultImage(39917);
    image.replace(101, 6, "0.0625");
    put("QARN3.ocf", image);
    sampleRate = 1600;
    calFile.ReadCalFile();
    EXPECT_DOUBLE_EQ(cal.AvgTime, 0.0625);
    EXPECT_EQ(cal.AvgSamples, 100);
}

// Damaged images as a file or the analyzer may deliver them. A slice that is no number is a
// conversion error: the box, and the fields before it take their values. A number that does
// not fit its field is the other failure: the box, CalError and the default procedure
// (declined here). A bad date is converted first, so it changes nothing at all.
struct DamagedCase {
    const char* name;
    std::size_t offset;
    const char* text;
    bool otherFailure;
    int factorsTaken; // how many of the image's factors (0.002) replaced the earlier 0.001225
};
class DamagedCalImage : public CalTest, public ::testing::WithParamInterface<DamagedCase> {};

TEST_P(DamagedCalImage, IsRefusedWithoutInfiniteOrHalfReadValues) {
    calFile.ReadCalFile();
    const TCalRecord before = cal;
    std::string image = defaultImage(39917);
    for (int i = 0; i < 8; ++i)
        image.replace(static_cast<std::size_t>(i) * 10, 8, "0.002000");
    image.replace(GetParam().offset, std::string(GetParam().text).size(), GetParam().text);
    ASSERT_EQ(image.size(), 128u);
    cal.CalImage = image;
    cal.CalError = false;
    dialogs.clear();
    dialogs.answerList("OK,Cancel");
    calFile.ParseCalImage();
    ASSERT_GE(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].text, "Calibration corrupted. Please recalibrate.");
    EXPECT_EQ(cal.CalError, GetParam().otherFailure);
    EXPECT_EQ(dialogs.shown().size(), GetParam().otherFailure ? 2u : 1u);
    if (GetParam().otherFailure) {
        EXPECT_EQ(dialogs.shown()[1].text, "Setting Default Values ");
    }
    for (int i = 0; i < 8; ++i) {
        const float f = cal.Factor[static_cast<std::size_t>(i)];
        EXPECT_TRUE(std::isfinite(f));
        EXPECT_FLOAT_EQ(f, i < GetParam().factorsTaken ? 0.002f : 0.001225f) << i;
    }
    EXPECT_EQ(cal.CalDate, before.CalDate);
    EXPECT_EQ(cal.AvgSamples, before.AvgSamples);
    EXPECT_EQ(cal.AvgTime, before.AvgTime);
    EXPECT_EQ(cal.MPUThresh, before.MPUThresh);
}
INSTANTIATE_TEST_SUITE_P(
    Images, DamagedCalImage,
    ::testing::Values(DamagedCase{"HugeFactor", 0, "1.0e39  ", true, 0},
                      DamagedCase{"HugeNegativeFactor", 70, "-4e38   ", true, 7},
                      DamagedCase{"FactorBeyondEveryRealType", 20, "1e400   ", true, 2},
                      DamagedCase{"NegativeFactorBeyondEveryRealType", 0, "-9e999  ", true, 0},
                      DamagedCase{"FactorTooSmallToHold", 30, "1e-400  ", false, 3},
                      DamagedCase{"BadDate", 121, "39x17", false, 0},
                      DamagedCase{"OverflowingTime", 101, "9e+300", true, 8},
                      DamagedCase{"TimeBeyondEveryRealType", 101, "9e+999", true, 8},
                      DamagedCase{"DoubleSignThreshold", 80, "--", false, 8},
                      DamagedCase{"HexSignThreshold", 84, "$-1", false, 8}),
    [](const auto& test) { return std::string(test.param.name); });

// What is not a regular file is a reading error, not a missing file to be replaced by
// defaults; a huge file is read no further than its image.
TEST_F(CalTest, NameThatIsNoFileIsAReadingErrorAndAHugeFileReadsItsImage) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no FIFOs";
#else
    ASSERT_EQ(::mkfifo(file("QARN3.ocf").c_str(), 0644), 0);
    calFile.ReadCalFile();
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].text, "Error reading file: QARN3.ocf");
    EXPECT_EQ(dialogs.shown()[0].buttons, std::vector<MsgButton>{MsgButton::Abort});
    EXPECT_TRUE(cal.CalError);
    EXPECT_TRUE(std::filesystem::is_fifo(file("QARN3.ocf")));

    std::filesystem::remove(file("QARN3.ocf"));
    std::filesystem::create_symlink("/dev/zero", file("QARN3.ocf"));
    dialogs.clear();
    calFile.ReadCalFile();
    EXPECT_EQ(dialogs.shown().back().text, "Error reading file: QARN3.ocf");

    std::filesystem::remove(file("QARN3.ocf"));
    put("QARN3.ocf", defaultImage(39917));
    ASSERT_EQ(::truncate(file("QARN3.ocf").c_str(), 4LL << 30), 0); // sparse, 4 GiB
    dialogs.clear();
    calFile.ReadCalFile();
    EXPECT_TRUE(dialogs.shown().empty());
    EXPECT_FALSE(cal.CalError);
    EXPECT_EQ(cal.CalDate, 39917);
#endif
}

} // namespace
