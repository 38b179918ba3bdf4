#include "waveform/waveform.h"

#include "record_fixture.h"

#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

using namespace qarn3;
using namespace qarn3::test;

namespace {

class WaveformTest : public RecordTest {
protected:
    std::string header(std::int32_t count, float period = 1.0f / 2400,
                       const char* magic = "WAVEFORM") {
        TWaveFileHeader h;
        std::memcpy(h.Magic.data(), magic, 8);
        h.WaveType = 'N';
        h.AmpsPerCount = 0.5f;
        h.SamplePeriod = period;
        h.SampleCount = count;
        return h.bytes();
    }
    static std::string samples(int n, int value) {
        std::string s;
        for (int i = 0; i < n; ++i) {
            s += static_cast<char>(value & 0xFF);
            s += static_cast<char>((value >> 8) & 0xFF);
        }
        return s;
    }
    TWaveformData store;
    WaveformFiles wave{store, services, folder};
};

TEST_F(WaveformTest, GeneratedPulseFileMatchesItsTable) {
    ASSERT_TRUE(wave.MakeWaveFile("QARN3Pulse.owf", false, PulseSegments));
    EXPECT_EQ(contents("QARN3Pulse.owf").size(), 120059u);
    EXPECT_EQ(dialogs.shown().back().text, "Bytes written 120059");
    const auto s = generateWaveSamples(PulseSegments);
    for (int i = 0; i < 241; ++i)
        ASSERT_EQ(s[i], 0) << i;
    EXPECT_EQ(s[241], 425);
    EXPECT_NE(s[16064 - 3601 - 1], 0); // the last burst ends before the final off time
    for (int i = 16065; i < kWaveFileSamples; ++i)
        ASSERT_EQ(s[i], 0) << i;
    const std::string bytes = contents("QARN3Pulse.owf");
    EXPECT_EQ(bytes.substr(0, 9), "WAVEFORMN");
    EXPECT_EQ(bytes.substr(9, 14), std::string("***DEFAULT***\0", 14));
    std::uint32_t apc;
    std::memcpy(&apc, bytes.data() + 43, 4);
    EXPECT_EQ(apc, 0x3E7A0000u);
}

TEST_F(WaveformTest, GeneratedLongFileRisesThenEnds) {
    ASSERT_TRUE(wave.MakeWaveFile("QARN3Long.owf", true, LongSegments));
    EXPECT_EQ(contents("QARN3Long.owf")[8], 'M');
    const auto s = generateWaveSamples(LongSegments);
    int peak = 0;
    for (int i = 241 + 3400; i < 241 + 3601; ++i)
        peak = std::max(peak, static_cast<int>(s[i]));
    EXPECT_GT(peak, 550);
    EXPECT_LE(peak, 600);
    EXPECT_NE(s[241 + 3601 + 10], 0);
    for (int i = 8644; i < kWaveFileSamples; ++i)
        ASSERT_EQ(s[i], 0) << i;
}

TEST_F(WaveformTest, CancelledGenerationLeavesNoFile) {
    dialogs.answer(MsgButton::Cancel);
    EXPECT_FALSE(wave.MakeWaveFile("QARN3Pulse.owf", false, PulseSegments));
    EXPECT_FALSE(files.exists(file("QARN3Pulse.owf")));
}

TEST_F(WaveformTest, ReadsTheGeneratedFileBack) {
    wave.MakeWaveFile("QARN3Pulse.owf", false, PulseSegments);
    ASSERT_TRUE(wave.LoadFile("QARN3Pulse.owf"));
    EXPECT_EQ(store.SampleCount, 60000);
    EXPECT_NEAR(store.SampleRate, 2400, 0.001); // 1 / the single-precision period
    EXPECT_FLOAT_EQ(store.AmpsPerCount, 0.244140625f);
    EXPECT_EQ(store.Samples[241], 425);
    EXPECT_EQ(store.Header.WaveType, 'N');
    EXPECT_FLOAT_EQ(store.View.TotalTime, 25.0f);
    EXPECT_FLOAT_EQ(store.View.YTop, 500.0f); // 2048 counts
    EXPECT_FLOAT_EQ(store.View.YBottom, -500.0f);
}

TEST_F(WaveformTest, ShortFileLeavesZeros) {
    put("short.owf", header(60000) + samples(30000, 7));
    store.Samples[40000] = 99;
    ASSERT_TRUE(wave.ReadWaveform("short.owf"));
    EXPECT_EQ(store.Samples[29999], 7);
    EXPECT_EQ(store.Samples[30000], 0);
    EXPECT_EQ(store.Samples[40000], 0);
}

TEST_F(WaveformTest, ImplausibleCountsReadAs60000AndTheLogShowsTheStoredValue) {
    for (int count : {99, 70000}) {
        put("odd.owf", header(count) + samples(60000, 3));
        ASSERT_TRUE(wave.ReadWaveform("odd.owf"));
        EXPECT_EQ(store.SampleCount, 60000);
        EXPECT_EQ(store.Header.SampleCount, 60000);
        EXPECT_NE(std::find_if(log.lines().begin(), log.lines().end(),
                               [&](const std::string& l) {
                                   return l.find("Waveform Max Data = " + std::to_string(count) +
                                                 " at:") != std::string::npos;
                               }),
                  log.lines().end());
        EXPECT_EQ(store.Samples[59998], 3);
        EXPECT_EQ(store.Samples[59999], 0); // the last slot always stays zero
    }
}

TEST_F(WaveformTest, MagicMustMatchInCaseToItsLastCharacter) {
    put("lower.owf", header(60000, 1.0f / 2400, "waveform") + samples(100, 5));
    EXPECT_FALSE(wave.ReadWaveform("lower.owf"));
    EXPECT_EQ(dialogs.shown().back().text, "lower.owf is Wrong File Type");
    EXPECT_EQ(dialogs.shown().back().caption, "Error");
    EXPECT_EQ(store.Samples[0], 0);
    put("last.owf", header(60000, 1.0f / 2400, "WAVEFORm") + samples(100, 5));
    EXPECT_FALSE(wave.ReadWaveform("last.owf"));
}

TEST_F(WaveformTest, MissingFileIsReportedAndTheStoreKept) {
    store.Samples[5] = 11;
    EXPECT_FALSE(wave.ReadWaveform("nothere.owf"));
    EXPECT_EQ(dialogs.shown().back().text, "File: nothere.owf Not Found");
    EXPECT_EQ(store.Samples[5], 11);
}

struct RateCase {
    float period;
    double rate;
};
class WaveformRate : public WaveformTest, public ::testing::WithParamInterface<RateCase> {};
TEST_P(WaveformRate, ImplausibleRatesFallBackTo2400) {
    put("rate.owf", header(1000, GetParam().period));
    ASSERT_TRUE(wave.ReadWaveform("rate.owf"));
    EXPECT_NEAR(store.SampleRate, GetParam().rate, 0.01);
    EXPECT_FLOAT_EQ(store.SamplePeriod, static_cast<float>(1.0 / store.SampleRate));
}
INSTANTIATE_TEST_SUITE_P(Periods, WaveformRate,
                         ::testing::Values(RateCase{0.0001f, 2400}, RateCase{0.0025f, 2400},
                                           RateCase{0.0004f, 2500}, RateCase{0.0f, 2400}));

TEST_F(WaveformTest, TruncatedAndEmptyFilesDoNotCrash) {
    put("empty.owf", "");
    EXPECT_FALSE(wave.ReadWaveform("empty.owf"));
    put("stub.owf", "WAVEFORM");
    EXPECT_TRUE(wave.ReadWaveform("stub.owf")); // header zeros: 60000 samples, all zero
    EXPECT_EQ(store.SampleRate, 2400);
}

TEST_F(WaveformTest, NameThatIsNoFileIsAReadingErrorAndAHugeFileReadsItsSamples) {
#ifdef _WIN32
    GTEST_SKIP() << "Windows has no FIFOs nor /dev/zero";
#else
    ASSERT_EQ(::mkfifo(file("fifo.owf").c_str(), 0644), 0);
    std::filesystem::create_directory(file("dir.owf"));
    std::filesystem::create_symlink("/dev/zero", file("zero.owf"));
    for (const std::string name : {"fifo.owf", "dir.owf", "zero.owf"}) {
        dialogs.clear();
        EXPECT_FALSE(wave.ReadWaveform(name)) << name;
        ASSERT_EQ(dialogs.shown().size(), 1u) << name;
        EXPECT_EQ(dialogs.shown()[0].text, "Error reading file: " + name);
        EXPECT_EQ(dialogs.shown()[0].caption, "Error");
    }
    // The header and the samples the store takes, and not a byte more of 4 GiB.
    put("huge.owf", header(60000) + samples(60000, 9));
    ASSERT_EQ(::truncate(file("huge.owf").c_str(), 4LL << 30), 0);
    ASSERT_TRUE(wave.ReadWaveform("huge.owf"));
    EXPECT_EQ(store.Samples[59998], 9);
    EXPECT_EQ(store.Samples[59999], 0);
#endif
}

TEST_F(WaveformTest, SavedFileIs120059BytesWithTheSerialCutTo20) {
    store.AmpsPerCount = 0.6125f;
    store.Samples[10] = -123;
    dialogs.answer("ABCDEFGHIJKLMNOPQRSTUVWXY");
    ASSERT_TRUE(wave.WriteWaveform("Test.owf", 1));
    const std::string bytes = contents("Test.owf");
    ASSERT_EQ(bytes.size(), 120059u);
    EXPECT_EQ(bytes[8], 'M');
    EXPECT_EQ(bytes.substr(9, 21), std::string("ABCDEFGHIJKLMNOPQRST\0", 21));
    EXPECT_EQ(dialogs.shown().back().text, "Bytes written 120059");
    EXPECT_EQ(dialogs.shown()[0].caption, "WaveFile Serial Number");
    EXPECT_EQ(dialogs.shown()[0].text, "Enter Ser Num or ID:");
    TWaveformData back;
    WaveformFiles reader{back, services, folder};
    ASSERT_TRUE(reader.ReadWaveform("Test.owf"));
    EXPECT_EQ(back.Samples[10], -123);
    EXPECT_FLOAT_EQ(back.AmpsPerCount, 0.6125f);
    EXPECT_EQ(back.Header.ResolutionBits, 12);
    EXPECT_EQ(back.Header.FullScale, 2048);
    EXPECT_EQ(std::string(back.Header.Units.data()), "Amperes");
    // The bytes a shot keeps of the capture are the file Save writes.
    EXPECT_EQ(waveformFileBytes(store, "ABCDEFGHIJKLMNOPQRSTUVWXY", 1), bytes);
}

TEST_F(WaveformTest, OverwriteIsConfirmedAndCancelWritesNothing) {
    put("Test.owf", "old");
    dialogs.answerList("<cancel>,Cancel");
    EXPECT_FALSE(wave.WriteWaveform("Test.owf", 0));
    EXPECT_EQ(store.SerialId, "DEFAULT");
    EXPECT_EQ(dialogs.shown()[1].text, "Waveform File: Test.owf Exists. Overwrite?");
    EXPECT_EQ(contents("Test.owf"), "old");
    dialogs.answerList("SN,OK,Cancel");
    EXPECT_FALSE(wave.WriteWaveform("Test.owf", 0));
    EXPECT_EQ(contents("Test.owf"), "old");
}

TEST_F(WaveformTest, FailedSaveKeepsThePreviousFile) {
    put("Test.owf", "previous");
    FullDiskFileStore full;
    Services failing{full, dialogs, log};
    WaveformFiles w{store, failing, folder};
    EXPECT_FALSE(w.WriteWaveform("Test.owf", 0));
    EXPECT_EQ(contents("Test.owf"), "previous");
    EXPECT_EQ(dialogs.shown().back().text, "Error writing file: Test.owf");
}

} // namespace
