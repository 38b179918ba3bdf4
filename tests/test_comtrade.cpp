// COMTRADE recordings: the configuration written line by line, every data type read back,
// the refusals of bad files, the safe writing of both files, and the round trip through the
// analysis tool to the last digit.
#include "engine/analysis.h"
#include "engine/analyze_tool.h"
#include "waveform/comtrade.h"
#include "waveform/comtrade_parse.h"
#include "waveform/waveform.h"

#include "record_fixture.h"

#include <cmath>
#include <cstring>
#include <sstream>
#include <sys/stat.h>

using namespace qarn3;
using namespace qarn3::test;

namespace {

// The rate a waveform file stands for, as playback reads it.
double fileRate(double rate) {
    return 1.0 / static_cast<double>(comtradeSamplePeriod(rate));
}

ComtradeExport sampleExport(ComtradeDataType type) {
    ComtradeExport e;
    e.stationName = "Plant 4";
    e.deviceId = "SN-77";
    e.phase = "B";
    e.circuit = "CB-12";
    e.ampsPerCount = 0.2441406250;
    e.sampleRate = fileRate(2400);
    e.lineHz = 50;
    e.counts = {0, 1, -1, 2047, -2048, 1000, -999, 0};
    e.withOn = true;
    e.onSpans = {{3, 2}, {6, 1}};
    e.firstSampleUs = 1773500966535897; // 14/03/2026 15:09:26.535897 UTC
    e.triggerUs = 1773500966535897 + 1250;
    e.localOffsetMinutes = 60;
    e.type = type;
    return e;
}

std::vector<std::string> crlfLines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        EXPECT_NE(end, std::string::npos) << "a line not ended by CR LF";
        if (end == std::string::npos) break;
        out.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return out;
}

TEST(ComtradeWriter, ConfigurationHoldsEveryFieldOnItsLine) {
    const ComtradeFiles f = comtradeFilesOf(sampleExport(ComtradeDataType::Binary32));
    const std::vector<std::string> expected{
        "Plant 4,SN-77,2013",
        "2,1A,1D",
        "1,I,B,CB-12,A,0.244140625,0,0,-2048,2047,1,1,P",
        "1,ON,,,0",
        "50",
        "1",
        "2400,8",
        "14/03/2026,15:09:26.535897",
        "14/03/2026,15:09:26.537147",
        "BINARY32",
        "1",
        "0,+1h00",
        "A,0",
    };
    EXPECT_EQ(crlfLines(f.cfg), expected);
}

TEST(ComtradeWriter, WithoutTheDetectorThereIsNoDigitalChannelAndTheStationDefaults) {
    ComtradeExport e = sampleExport(ComtradeDataType::Ascii);
    e.stationName.clear();
    e.phase.clear();
    e.circuit = "CB,12"; // a comma would split the field
    e.withOn = false;
    e.localOffsetMinutes = -330;
    e.ampsPerCount = 0.1;
    const ComtradeFiles f = comtradeFilesOf(e);
    const std::vector<std::string> cfg = crlfLines(f.cfg);
    ASSERT_EQ(cfg.size(), 12u);
    EXPECT_EQ(cfg[0], "QARN3,SN-77,2013");
    EXPECT_EQ(cfg[1], "1,1A,0D");
    EXPECT_EQ(cfg[2], "1,I,,CB 12,A,0.1,0,0,-2048,2047,1,1,P");
    EXPECT_EQ(cfg[3], "50");
    EXPECT_EQ(cfg[10], "0,-5h30");
    const std::vector<std::string> dat = crlfLines(f.dat);
    ASSERT_EQ(dat.size(), 8u);
    EXPECT_EQ(dat[0], "1,0,0");
    EXPECT_EQ(dat[3], "4,1250,2047");
    EXPECT_EQ(dat[4], "5,1667,-2048");
}

TEST(ComtradeWriter, AsciiDataCarryTheDetectorsState) {
    const std::vector<std::string> dat =
        crlfLines(comtradeFilesOf(sampleExport(ComtradeDataType::Ascii)).dat);
    const std::vector<std::string> expected{"1,0,0,0",       "2,417,1,0",      "3,833,-1,0",
                                            "4,1250,2047,1", "5,1667,-2048,1", "6,2083,1000,0",
                                            "7,2500,-999,1", "8,2917,0,0"};
    EXPECT_EQ(dat, expected);
}

struct TimeCase {
    std::int64_t us;
    const char* text;
};
class ComtradeTimes : public ::testing::TestWithParam<TimeCase> {};
TEST_P(ComtradeTimes, AreWrittenDayMonthYearToTheMicrosecond) {
    EXPECT_EQ(comtradeTimeText(GetParam().us), GetParam().text);
}
INSTANTIATE_TEST_SUITE_P(Cases, ComtradeTimes,
                         ::testing::Values(TimeCase{0, "01/01/1970,00:00:00.000000"},
                                           TimeCase{946684799999999, "31/12/1999,23:59:59.999999"},
                                           TimeCase{951782400000000, "29/02/2000,00:00:00.000000"},
                                           TimeCase{-310499999999999, "29/02/1960,06:00:00.000001"},
                                           TimeCase{-1, "31/12/1969,23:59:59.999999"}));

TEST(ComtradeWriter, LocalCodesGiveTheOffsetInHoursAndMinutes) {
    EXPECT_EQ(comtradeLocalCode(0), "0");
    EXPECT_EQ(comtradeLocalCode(60), "+1h00");
    EXPECT_EQ(comtradeLocalCode(-330), "-5h30");
    EXPECT_EQ(comtradeLocalCode(345), "+5h45");
    EXPECT_EQ(comtradeLocalCode(-720), "-12h00");
}

// Every data type read back gives a x count exactly, the rate as the waveform file's.
class ComtradeDataTypes : public ::testing::TestWithParam<ComtradeDataType> {};
TEST_P(ComtradeDataTypes, ReadBackToTheSameAmperes) {
    ComtradeExport e = sampleExport(GetParam());
    e.ampsPerCount = static_cast<double>(0.61250001f);
    const ComtradeFiles f = comtradeFilesOf(e);
    const std::size_t record = GetParam() == ComtradeDataType::Binary  ? 8 + 2 + 2
                               : GetParam() == ComtradeDataType::Ascii ? 0
                                                                       : 8 + 4 + 2;
    if (record) {
        EXPECT_EQ(f.dat.size(), record * e.counts.size());
    }
    const ComtradeRead r = parseComtrade(f.cfg, "x.cfg", f.dat, "x.dat", "");
    ASSERT_TRUE(r.current) << r.error;
    EXPECT_EQ(r.current->channel, "I");
    EXPECT_EQ(r.current->revision, 2013);
    EXPECT_EQ(r.current->stationName, "Plant 4");
    EXPECT_EQ(r.current->deviceId, "SN-77");
    EXPECT_EQ(r.current->sampleRate, e.sampleRate);
    EXPECT_EQ(r.current->lineHz, 50);
    EXPECT_EQ(r.current->firstSampleTime, "14/03/2026,15:09:26.535897");
    ASSERT_EQ(r.current->amps.size(), e.counts.size());
    for (std::size_t i = 0; i < e.counts.size(); ++i)
        EXPECT_EQ(r.current->amps[i], e.ampsPerCount * e.counts[i]) << i;
    const ComtradeCounts c = comtradeCounts(r.current->amps, e.ampsPerCount);
    EXPECT_EQ(c.counts[4], -2047); // -2048 is over the range the analyzer measures
    EXPECT_EQ(c.clipped, 1u);
}

TEST_P(ComtradeDataTypes, ReadBackFromOneCffFile) {
    const ComtradeExport e = sampleExport(GetParam());
    const ComtradeFiles f = comtradeFilesOf(e);
    const std::string dat = GetParam() == ComtradeDataType::Ascii
                                ? "--- file type: DAT ASCII ---\r\n" + f.dat
                                : "--- file type: DAT " +
                                      std::string(comtradeDataTypeText(GetParam())) + ": " +
                                      std::to_string(f.dat.size()) + " ---\r\n" + f.dat;
    const std::string cff = "--- file type: CFG ---\r\n" + f.cfg +
                            "--- file type: INF ---\r\n[Public Record]\r\n" +
                            "--- file type: HDR ---\r\nmade up\r\n" + dat;
    const ComtradeRead r = parseComtradeCff(cff, "x.cff", "");
    ASSERT_TRUE(r.current) << r.error;
    ASSERT_EQ(r.current->amps.size(), e.counts.size());
    for (std::size_t i = 0; i < e.counts.size(); ++i)
        EXPECT_EQ(r.current->amps[i], e.ampsPerCount * e.counts[i]) << i;
}

INSTANTIATE_TEST_SUITE_P(Types, ComtradeDataTypes,
                         ::testing::Values(ComtradeDataType::Ascii, ComtradeDataType::Binary,
                                           ComtradeDataType::Binary32, ComtradeDataType::Float32));

// The rate written reads back as the very rate a waveform file of it gives.
class ComtradeRates : public ::testing::TestWithParam<std::pair<double, const char*>> {};
TEST_P(ComtradeRates, ReadBackAsTheWaveformFilesRate) {
    ComtradeExport e = sampleExport(ComtradeDataType::Ascii);
    e.sampleRate = fileRate(GetParam().first);
    const ComtradeFiles f = comtradeFilesOf(e);
    EXPECT_EQ(crlfLines(f.cfg)[6], std::string(GetParam().second) + ",8");
    const ComtradeRead r = parseComtrade(f.cfg, "x.cfg", f.dat, "x.dat", "");
    ASSERT_TRUE(r.current) << r.error;
    EXPECT_EQ(r.current->sampleRate, e.sampleRate);
    // Within what playback takes (500 to 5000 a second), a float's step from 1 / rate.
    EXPECT_GE(r.current->sampleRate, 500);
    EXPECT_LE(r.current->sampleRate, 5000);
    EXPECT_NEAR(r.current->sampleRate, GetParam().first, GetParam().first * 2.5e-7);
}
INSTANTIATE_TEST_SUITE_P(Cases, ComtradeRates,
                         ::testing::Values(std::pair{2400.0, "2400"}, std::pair{1200.0, "1200"},
                                           std::pair{4800.0, "4800"}, std::pair{500.0, "500"},
                                           std::pair{5000.0, "5000"}, std::pair{3333.3, "3333.3"}));

TEST(ComtradeCounts, RoundAndClipAtTheRange) {
    const ComtradeCounts c =
        comtradeCounts({0, 0.26, -0.24, 0.75, -0.75, 511.75, 511.9, -600}, 0.25);
    EXPECT_EQ(c.counts, (std::vector<std::int16_t>{0, 1, -1, 3, -3, 2047, 2047, -2047}));
    EXPECT_EQ(c.clipped, 2u);
}

// A recording from another instrument: revision 1991, 1999 and 2013 lines.
struct RevisionCase {
    const char* name;
    std::string cfg, dat;
    const char* channel;
    std::vector<double> amps;
};
class ComtradeRevisions : public ::testing::TestWithParam<RevisionCase> {};
TEST_P(ComtradeRevisions, GiveTheCurrentChannelInPrimaryAmperes) {
    const RevisionCase& c = GetParam();
    const ComtradeRead r = parseComtrade(c.cfg, "rec.cfg", c.dat, "rec.dat", c.channel);
    ASSERT_TRUE(r.current) << r.error;
    ASSERT_EQ(r.current->amps.size(), c.amps.size());
    for (std::size_t i = 0; i < c.amps.size(); ++i)
        EXPECT_DOUBLE_EQ(r.current->amps[i], c.amps[i]) << i;
}
const std::string k1991 = "Sub 9,R1\r\n3,2A,1D\r\n1,VA,A,,kV,0.1,0,0,-32767,32767\r\n"
                          "2,IA,A,Line 1,A,0.5,1,0,-32767,32767\r\n1,Trip,0\r\n60\r\n1\r\n"
                          "1000,3\r\n03/14/26,15:09:26.535\r\n03/14/26,15:09:26.535\r\nASCII\r\n";
const std::string k1999 = "Sub 9,R1,1999\n3,2A,1D\n 1, VA ,A,,kV,0.1,0,0,-32767,32767,1000,1,P\n"
                          " 2, IA ,A,,A,0.01,0,0,-32767,32767,400,5,S\n1,Trip,,,0\n50\n1\n1200,3\n"
                          "14/03/2026,15:09:26.535\n14/03/2026,15:09:26.535\nASCII\n1\n";
// Three analog channels and seventeen digital ones (two words a sample), in int16 and int32.
std::string binaryCfg(const char* type) {
    std::string cfg = "Sub 9,R1,2013\r\n20,3A,17D\r\n1,VA,A,,kV,0.1,0,0,-32767,32767,1,1,P\r\n"
                      "2,IA,A,,A,0.5,-1,0,-32767,32767,1,1,P\r\n"
                      "3,IB,B,,kA,0.1,0,0,-32767,32767,1,1,P\r\n";
    for (int i = 1; i <= 17; ++i)
        cfg += std::to_string(i) + ",D" + std::to_string(i) + ",,,0\r\n";
    return cfg +
           "60\r\n1\r\n2400,2\r\n01/01/2026,00:00:00.000000\r\n"
           "01/01/2026,00:00:00.000000\r\n" +
           type + "\r\n1\r\n0,0\r\nA,0\r\n";
}
template <typename T> std::string binaryRecords(std::vector<std::vector<T>> samples) {
    std::string s;
    std::uint32_t n = 0;
    for (const auto& channels : samples) {
        ++n;
        s.append(reinterpret_cast<const char*>(&n), 4);
        s.append(4, '\0');
        for (T x : channels)
            s.append(reinterpret_cast<const char*>(&x), sizeof x);
        s.append("\xff\xff\x01\x00", 4);
    }
    return s;
}
const std::string kKilo1999 = "Sub 9,R1,1999\n3,2A,1D\n1,VA,A,,KA,0.1,0,0,-32767,32767,1000,1,P\n"
                              "2,IA,A,,A,0.01,0,0,-32767,32767,400,5,S\n1,Trip,,,0\n50\n1\n"
                              "1200,3\n14/03/2026,15:09:26.535\n14/03/2026,15:09:26.535\nASCII\n";
const std::string kMilli1991 = "Sub 9,R1\r\n3,2A,1D\r\n1,VA,A,,kV,0.1,0,0,-32767,32767\r\n"
                               "2,IA,A,Line 1,mA,0.5,1,0,-32767,32767\r\n1,Trip,0\r\n60\r\n1\r\n"
                               "1000,3\r\n03/14/26,15:09:26.535\r\n03/14/26,15:09:26.535\r\n"
                               "ASCII\r\n";
const std::string kData = "1,0,10,4,0\r\n2,833,20,-8,1\r\n3,1667,30,100,0\r\n\x1a";
INSTANTIATE_TEST_SUITE_P(
    Cases, ComtradeRevisions,
    ::testing::Values(RevisionCase{"1991", k1991, kData, "", {3, -3, 51}},
                      RevisionCase{"1999Secondary", k1999, kData, "", {3.2, -6.4, 80}},
                      RevisionCase{"LeadingSpaces",
                                   k1999,
                                   "1, 0, 10, 4, 0\n2,, 20,-8 ,1\n3,,30,100,0",
                                   "",
                                   {3.2, -6.4, 80}},
                      RevisionCase{"BinaryAmongOthers",
                                   binaryCfg("BINARY"),
                                   binaryRecords<std::int16_t>({{7, 4, 9}, {-7, -32767, 32767}}),
                                   "",
                                   {1, -16384.5}},
                      RevisionCase{"Binary32AmongOthers",
                                   binaryCfg("BINARY32"),
                                   binaryRecords<std::int32_t>({{7, 400000, 9}, {-7, -4, 1}}),
                                   "",
                                   {199999, -3}},
                      RevisionCase{"Float32AmongOthers",
                                   binaryCfg("FLOAT32"),
                                   binaryRecords<float>({{7, 2.5f, 9}, {-7, -4, 1}}),
                                   "IB",
                                   {900, 100}},
                      // Units in any case; a named channel wins over the one in amperes.
                      RevisionCase{
                          "NamedInKiloamperes", kKilo1999, kData, "VA", {1000, 2000, 3000}},
                      RevisionCase{"OnlyCurrentInMilliamperes",
                                   kMilli1991,
                                   "1,0,10,4,0\r\n2,833,20,-8,1\r\n3,1667,30,100,0\r\n",
                                   "",
                                   {0.003, -0.003, 0.051}},
                      // Another channel may miss a sample (blank, or 99999 in 1991); in 1999
                      // 99999 is a value like any other.
                      RevisionCase{"OtherChannelsMissing",
                                   k1991,
                                   "1,0,,4,0\r\n2,833,99999,-8,1\r\n3,1667,30,100,\r\n",
                                   "",
                                   {3, -3, 51}},
                      RevisionCase{"NinesAreAValueIn1999",
                                   k1999,
                                   "1,0,10,4,0\r\n2,833,20,99999,1\r\n3,1667,30,100,0\r\n",
                                   "",
                                   {3.2, 79999.2, 80}}),
    [](const auto& test) { return test.param.name; });

// Each bad file refused with the file, the line and the reason.
struct RefusalCase {
    const char* name;
    std::string cfg, dat;
    const char* says;
    const char* channel = "";
};
const std::string kCfgHead = "S,D,1999\r\n";
std::string cfgWith(const std::string& counts, const std::string& channels,
                    const std::string& rates = "1\r\n2400,3\r\n",
                    const std::string& type = "ASCII") {
    return kCfgHead + counts + "\r\n" + channels + "60\r\n" + rates +
           "01/01/2026,00:00:00.000000\r\n01/01/2026,00:00:00.000000\r\n" + type + "\r\n1\r\n";
}
const std::string kI = "1,I,,,A,1,0,0,-2048,2047,1,1,P\r\n";
const std::string kV = "2,V,,,V,1,0,0,-2048,2047,1,1,P\r\n";
// The configuration with its first (which 0) or trigger (1) time replaced.
std::string withTimes(std::string cfg, int which, const std::string& time) {
    const std::string t = "01/01/2026,00:00:00.000000";
    std::size_t at = cfg.find(t);
    if (which == 1) at = cfg.find(t, at + 1);
    return cfg.replace(at, t.size(), time);
}
// Binary data with the sample number at a byte offset changed.
std::string renumbered(std::string d, std::size_t at, std::uint32_t n) {
    std::memcpy(d.data() + at, &n, 4);
    return d;
}
const std::string kAscii3 = "1,0,1\r\n2,417,2\r\n3,833,3\r\n";
std::string binary16(std::vector<std::int16_t> v) {
    std::string s;
    std::uint32_t n = 0;
    for (std::int16_t x : v) {
        ++n;
        s.append(reinterpret_cast<const char*>(&n), 4);
        s.append(4, '\0');
        s.append(reinterpret_cast<const char*>(&x), 2);
    }
    return s;
}
std::string binary32(std::vector<std::uint32_t> v) {
    std::string s;
    std::uint32_t n = 0;
    for (std::uint32_t x : v) {
        ++n;
        s.append(reinterpret_cast<const char*>(&n), 4);
        s.append(4, '\0');
        s.append(reinterpret_cast<const char*>(&x), 4);
    }
    return s;
}

class ComtradeRefusals : public ::testing::TestWithParam<RefusalCase> {};
TEST_P(ComtradeRefusals, NameTheFileTheLineAndTheReason) {
    const RefusalCase& c = GetParam();
    const ComtradeRead r = parseComtrade(c.cfg, "bad.cfg", c.dat, "bad.dat", c.channel);
    EXPECT_FALSE(r.current);
    EXPECT_EQ(r.error, c.says);
}
INSTANTIATE_TEST_SUITE_P(
    Cases, ComtradeRefusals,
    ::testing::Values(
        RefusalCase{"WrongCounts", cfgWith("2,1A,0D", kI), kAscii3,
                    "bad.cfg line 2: 1 analog and 0 digital channels do not make 2"},
        RefusalCase{"CountsNotInForm", cfgWith("1,1,0", kI), kAscii3,
                    "bad.cfg line 2: the channel counts are not \"TT,nA,nD\""},
        RefusalCase{"MillionChannels", cfgWith("1000000,1000000A,0D", kI), kAscii3,
                    "bad.cfg line 2: 1000000 channels, but the file has only 8 more lines"},
        RefusalCase{"NonNumericMultiplier", cfgWith("1,1A,0D", "1,I,,,A,one,0,0,-1,1,1,1,P\r\n"),
                    kAscii3, "bad.cfg line 3: the multiplier a 'one' is not a number"},
        RefusalCase{"ShortAnalogLine", cfgWith("1,1A,0D", "1,I,,,A,1,0,0,-1,1\r\n"), kAscii3,
                    "bad.cfg line 3: analog channel 1 has 10 fields, not 13"},
        RefusalCase{"NeitherPrimaryNorSecondary",
                    cfgWith("1,1A,0D", "1,I,,,A,1,0,0,-1,1,1,1,X\r\n"), kAscii3,
                    "bad.cfg line 3: 'X' is neither P nor S"},
        RefusalCase{"SeveralRates", cfgWith("1,1A,0D", kI, "2\r\n2400,3\r\n1200,6\r\n"), kAscii3,
                    "bad.cfg line 5: 2 sampling rates: only a recording of one can be measured"},
        RefusalCase{"NoRate", cfgWith("1,1A,0D", kI, "0\r\n0,3\r\n"), kAscii3,
                    "bad.cfg line 5: no sampling rate (samples timed by their time stamps only) "
                    "cannot be measured"},
        RefusalCase{"RateTooLow", cfgWith("1,1A,0D", kI, "1\r\n200,3\r\n"), kAscii3,
                    "bad.cfg line 6: sampling rate 200 per second: a waveform is measured at 500 "
                    "to 5000 samples per second"},
        RefusalCase{"RateNotANumber", cfgWith("1,1A,0D", kI, "1\r\n2k4,3\r\n"), kAscii3,
                    "bad.cfg line 6: the sampling rate '2k4' is not a number"},
        RefusalCase{"TooManySamples", cfgWith("1,1A,0D", kI, "1\r\n2400,60001\r\n"), kAscii3,
                    "bad.cfg line 6: 60001 samples: at most 60000 can be measured"},
        RefusalCase{"UnknownType", cfgWith("1,1A,0D", kI, "1\r\n2400,3\r\n", "BINARY64"), kAscii3,
                    "bad.cfg line 9: data file type 'BINARY64' is not ASCII, BINARY, BINARY32 or "
                    "FLOAT32"},
        RefusalCase{"UnknownRevision", "S,D,2005\r\n" + cfgWith("1,1A,0D", kI).substr(10), kAscii3,
                    "bad.cfg line 1: revision year '2005' is not 1991, 1999 or 2013"},
        RefusalCase{"EndsEarly", kCfgHead + "1,1A,0D\r\n" + kI + "60\r\n", kAscii3,
                    "bad.cfg line 5: the file ends before the number of sampling rates"},
        RefusalCase{"NoCurrentChosen", cfgWith("2,2A,0D", kI + kI), kAscii3,
                    "bad.cfg line 2: 2 analog channels and 2 in amperes: name the channel to "
                    "measure"},
        RefusalCase{"NoFiniteCurrent", cfgWith("1,1A,0D", "1,I,,,A,1e308,0,0,-1,1,1,1,P\r\n"),
                    "1,0,1\r\n2,417,1e10\r\n3,833,3\r\n",
                    "bad.cfg line 3: channel I's factors make a sample beyond every number"},
        RefusalCase{"AsciiTruncated", cfgWith("1,1A,0D", kI), "1,0,1\r\n2,417,2\r\n",
                    "bad.dat line 3: the data end after 2 of the 3 samples the configuration "
                    "gives"},
        RefusalCase{"AsciiHeaderLies", cfgWith("1,1A,0D", kI), kAscii3 + "4,1250,4\r\n",
                    "bad.dat line 4: more samples than the 3 the configuration gives"},
        RefusalCase{"AsciiChannelCountMismatch", cfgWith("1,1A,0D", kI),
                    "1,0,1\r\n2,417,2,0\r\n3,833,3\r\n",
                    "bad.dat line 2: 4 fields, not the 3 of the configuration's channels"},
        RefusalCase{"AsciiMissingSample", cfgWith("1,1A,0D", kI), "1,0,1\r\n2,417,\r\n3,833,3\r\n",
                    "bad.dat line 2, field 3: sample 2 of channel I is missing"},
        RefusalCase{"AsciiNotANumber", cfgWith("1,1A,0D", kI), "1,0,1\r\n2,417,x2\r\n3,833,3\r\n",
                    "bad.dat line 2, field 3: channel I's value 'x2' is not a number"},
        RefusalCase{"AsciiOtherChannelNotANumber", cfgWith("2,2A,0D", kI + kV),
                    "1,0,1,5\r\n2,417,2,?\r\n3,833,3,7\r\n",
                    "bad.dat line 2, field 4: channel V's value '?' is not a number"},
        RefusalCase{"AsciiDigitalNeitherZeroNorOne", cfgWith("2,1A,1D", kI + "1,ON,,,0\r\n"),
                    "1,0,1,0\r\n2,417,2,2\r\n3,833,3,1\r\n",
                    "bad.dat line 2, field 4: digital channel 1's value '2' is not 0 or 1"},
        RefusalCase{"AsciiSampleNumberNotANumber", cfgWith("1,1A,0D", kI),
                    "xx,0,1\r\n2,417,2\r\n3,833,3\r\n",
                    "bad.dat line 1, field 1: sample number 'xx' is not a whole number"},
        RefusalCase{"AsciiTimeStampNotANumber", cfgWith("1,1A,0D", kI),
                    "1,0,1\r\n2,yy,2\r\n3,833,3\r\n",
                    "bad.dat line 2, field 2: time stamp 'yy' is not a whole number"},
        RefusalCase{"AsciiSampleNumberGap", cfgWith("1,1A,0D", kI),
                    "1,0,1\r\n3,417,2\r\n4,833,3\r\n",
                    "bad.dat line 2, field 1: sample number 3 where 2 is due: a sample is "
                    "missing or repeated"},
        RefusalCase{"AsciiSampleNumberRepeated", cfgWith("1,1A,0D", kI),
                    "1,0,1\r\n1,417,2\r\n2,833,3\r\n",
                    "bad.dat line 2, field 1: sample number 1 where 2 is due: a sample is "
                    "missing or repeated"},
        RefusalCase{"Ascii1991NinesAreMissing", k1991,
                    "1,0,10,4,0\r\n2,833,20,99999,1\r\n3,1667,30,100,0\r\n",
                    "bad.dat line 2, field 4: sample 2 of channel IA is missing"},
        RefusalCase{"UnitsNotAmperes", cfgWith("1,1A,0D", "1,I1,,,V,1,0,0,-1,1,1,1,P\r\n"), kAscii3,
                    "bad.cfg line 3: channel I1 is in V, not in amperes (A, kA or mA)"},
        RefusalCase{"MegaOrMilliamperes", cfgWith("1,1A,0D", "1,I1,,,MA,1,0,0,-1,1,1,1,P\r\n"),
                    kAscii3, "bad.cfg line 3: channel I1 is in MA, mega- or milliamperes (A, kA or mA)"},
        RefusalCase{"NoUnits", cfgWith("1,1A,0D", "1,I1,,,,1,0,0,-1,1,1,1,P\r\n"), kAscii3,
                    "bad.cfg line 3: channel I1 has no units, not amperes (A, kA or mA)"},
        RefusalCase{"NamedChannelNotACurrent", k1999, kData,
                    "bad.cfg line 3: channel VA is in kV, not in amperes (A, kA or mA)", "VA"},
        RefusalCase{"TwoCurrentsInKiloamperes",
                    cfgWith("2,2A,0D", "1,I1,,,kA,1,0,0,-1,1,1,1,P\r\n2,I2,,,mA,1,0,0,-1,1,1,1,"
                                       "P\r\n"),
                    kAscii3,
                    "bad.cfg line 2: 2 analog channels and 2 in amperes: name the channel to "
                    "measure"},
        RefusalCase{"TriggerTimeNotATime", withTimes(cfgWith("1,1A,0D", kI), 1, "12:00"), kAscii3,
                    "bad.cfg line 8: the trigger's time '12:00' is not a date and time "
                    "dd/mm/yyyy,hh:mm:ss.ssssss"},
        RefusalCase{"BinaryTruncated", cfgWith("1,1A,0D", kI, "1\r\n2400,3\r\n", "BINARY"),
                    binary16({1, 2, 3}).substr(0, 25),
                    "bad.dat byte 25: the data end after 2 of the 3 samples the configuration "
                    "gives (30 bytes)"},
        RefusalCase{"BinaryHeaderLies", cfgWith("1,1A,0D", kI, "1\r\n2400,2\r\n", "BINARY"),
                    binary16({1, 2, 3}),
                    "bad.dat byte 20: more data than the 2 samples the configuration gives (20 "
                    "bytes)"},
        RefusalCase{"BinaryMissingSample", cfgWith("1,1A,0D", kI, "1\r\n2400,3\r\n", "BINARY"),
                    binary16({1, -32768, 3}), "bad.dat byte 18: sample 2 of channel I is missing"},
        RefusalCase{"BinarySampleNumberGap", cfgWith("1,1A,0D", kI, "1\r\n2400,3\r\n", "BINARY"),
                    renumbered(binary16({1, 2, 3}), 10, 3),
                    "bad.dat byte 10: sample number 3 where 2 is due: a sample is missing or "
                    "repeated"},
        RefusalCase{"Binary32SampleNumberRepeated",
                    cfgWith("1,1A,0D", kI, "1\r\n2400,3\r\n", "BINARY32"),
                    renumbered(binary32({1, 2, 3}), 24, 2),
                    "bad.dat byte 24: sample number 2 where 3 is due: a sample is missing or "
                    "repeated"},
        RefusalCase{"Binary32MissingSample", cfgWith("1,1A,0D", kI, "1\r\n2400,3\r\n", "BINARY32"),
                    binary32({1, 2, 0x80000000u}),
                    "bad.dat byte 32: sample 3 of channel I is missing"},
        RefusalCase{"Float32MissingSample", cfgWith("1,1A,0D", kI, "1\r\n2400,3\r\n", "FLOAT32"),
                    binary32({0x7fc00000u, 0, 0}),
                    "bad.dat byte 8: sample 1 of channel I is missing"}),
    [](const auto& test) { return test.param.name; });

// The first sample's time as each revision writes it: 1991 month first, with a two-digit year
// or four; later ones day first with four; 2013 to the nanosecond.
struct CfgTimeCase {
    const char* name;
    int revision;
    const char* time;
    bool taken;
    std::int64_t micros = 0; // on the recorder's clock, when taken
};
class ComtradeCfgTimes : public ::testing::TestWithParam<CfgTimeCase> {};
TEST_P(ComtradeCfgTimes, AreTakenInTheirRevisionsFormOnly) {
    const CfgTimeCase& c = GetParam();
    const std::string t = std::string(c.time) + "\r\n01/01/2026,00:00:00\r\n";
    const std::string cfg =
        c.revision == 1991 ? "S,D\r\n1,1A,0D\r\n1,I,,,A,1,0,0,-2048,2047\r\n60\r\n1\r\n2400,3\r\n" +
                                 t + "ASCII\r\n"
                           : "S,D," + std::to_string(c.revision) + "\r\n1,1A,0D\r\n" + kI +
                                 "60\r\n1\r\n2400,3\r\n" + t + "ASCII\r\n1\r\n";
    const ComtradeRead r = parseComtrade(cfg, "t.cfg", kAscii3, "t.dat", "");
    if (c.taken) {
        ASSERT_TRUE(r.current) << r.error;
        EXPECT_EQ(r.current->firstSampleTime, c.time);
        EXPECT_EQ(r.current->firstSampleMicros, c.micros);
    } else {
        EXPECT_FALSE(r.current);
        EXPECT_EQ(r.error, std::string("t.cfg line 7: the first sample's time '") + c.time +
                               "' is not a date and time " +
                               (c.revision == 1991 ? "mm/dd/yy" : "dd/mm/yyyy") +
                               ",hh:mm:ss.ssssss");
    }
}
INSTANTIATE_TEST_SUITE_P(
    Cases, ComtradeCfgTimes,
    ::testing::Values(
        CfgTimeCase{"MonthFirst1991", 1991, "03/14/26,15:09:26.535", true, 1773500966535000},
        CfgTimeCase{"FourDigitYear1991", 1991, "03/14/2026,15:09:26", true, 1773500966000000},
        CfgTimeCase{"DayFirstIn1991", 1991, "14/03/26,15:09:26", false},
        CfgTimeCase{"DayFirst1999", 1999, "14/03/2026,15:09:26.535897", true,
                    1773500966535897},
        CfgTimeCase{"MonthFirstIn1999", 1999, "03/14/26,15:09:26.535", false},
        CfgTimeCase{"LeapDay", 1999, "29/02/2024,00:00:00", true, 1709164800000000},
        CfgTimeCase{"NoLeapDay", 1999, "29/02/2025,00:00:00", false},
        CfgTimeCase{"DayPastTheMonth", 2013, "31/04/2026,00:00:00", false},
        CfgTimeCase{"LeapSecond", 1999, "31/12/2016,23:59:60.5", true, 1483228800500000},
        CfgTimeCase{"HourPastTheDay", 1999, "01/01/2026,24:00:00", false},
        CfgTimeCase{"SevenDecimalsIn1999", 1999, "01/01/2026,00:00:00.1234567", false},
        CfgTimeCase{"Nanoseconds2013", 2013, "01/01/2026,00:00:00.123456789", true,
                    1767225600123456},
        CfgTimeCase{"TenDecimalsIn2013", 2013, "01/01/2026,00:00:00.1234567890", false},
        CfgTimeCase{"NoComma", 2013, "01/01/2026 00:00:00", false},
        CfgTimeCase{"DotWithoutDigits", 2013, "01/01/2026,00:00:00.", false},
        CfgTimeCase{"Garbage", 2013, "soon", false}, CfgTimeCase{"Blank", 2013, "", false}),
    [](const auto& test) { return test.param.name; });

// The recorder's clock against UTC, from 2013's time code; a code that is none leaves it
// unknown and the recording is still measured.
TEST(ComtradeTimeCode, GivesTheClocksOffsetWhereItIsOne) {
    using comtrade_detail::comtradeOffsetMinutes;
    const struct {
        const char* code;
        std::optional<int> minutes;
    } cases[] = {{"0", 0},        {"+1h00", 60},   {"-5h30", -330}, {"+10", 600},
                 {" -4 ", -240},  {"+5h45", 345},  {"x", {}},       {"", {}},
                 {"+1h6", {}},    {"+24", {}},     {"1h60", {}},    {"+1h00x", {}}};
    for (const auto& c : cases)
        EXPECT_EQ(comtradeOffsetMinutes(c.code), c.minutes) << c.code;

    for (const auto& [line, minutes] : {std::pair<std::string, std::optional<int>>{"+1h00,0", 60},
                                        {"whenever,0", std::nullopt}}) {
        const std::string cfg = std::string("S,D,2013\r\n1,1A,0D\r\n") + kI +
                                "60\r\n1\r\n2400,3\r\n01/01/2026,00:00:00\r\n"
                                "01/01/2026,00:00:00\r\nASCII\r\n1\r\n" +
                                line + "\r\nA,0\r\n";
        const ComtradeRead r = parseComtrade(cfg, "t.cfg", kAscii3, "t.dat", "");
        ASSERT_TRUE(r.current) << r.error;
        EXPECT_EQ(r.current->timeCodeMinutes, minutes) << line;
    }
}

TEST(ComtradeCff, WithoutADataSectionIsRefused) {
    const ComtradeFiles f = comtradeFilesOf(sampleExport(ComtradeDataType::Binary));
    EXPECT_EQ(parseComtradeCff("--- file type: CFG ---\r\n" + f.cfg, "x.cff", "").error,
              "x.cff: no DAT section (\"--- file type: DAT ASCII ---\")");
    const ComtradeRead past = parseComtradeCff(
        "--- file type: CFG ---\r\n" + f.cfg + "--- file type: DAT BINARY: 5000 ---\r\n" + f.dat,
        "x.cff", "");
    EXPECT_EQ(past.error, "x.cff line 15: the 5000 bytes of data run past the end of the file");
    // The configuration's lines are counted in the whole file.
    const ComtradeRead type = parseComtradeCff("--- file type: CFG ---\r\n" + f.cfg +
                                                   "--- file type: DAT ASCII ---\r\n1,0,1,0\r\n",
                                               "x.cff", "");
    EXPECT_EQ(type.error, "x.cff line 15: a dat ascii section for data of type BINARY");
}

class ComtradeFilesTest : public RecordTest {};

// Fails every write of the configuration file (the bytes that start with the station).
class CfgFailingStore : public FileStore {
protected:
    ssize_t writeSome(int fd, const char* data, std::size_t n) override {
        if (n >= 7 && std::memcmp(data, "Plant 4", 7) == 0) {
            errno = ENOSPC;
            return -1;
        }
        return FileStore::writeSome(fd, data, n);
    }
};

TEST_F(ComtradeFilesTest, BothFilesAreWrittenAndReadBack) {
    const ComtradeExport e = sampleExport(ComtradeDataType::Binary);
    ASSERT_EQ(writeComtradeFiles(file("run7"), e, files), "");
    const ComtradeFiles f = comtradeFilesOf(e);
    EXPECT_EQ(contents("run7.cfg"), f.cfg);
    EXPECT_EQ(contents("run7.dat"), f.dat);
    const ComtradeRead r = readComtradeFile(file("run7.cfg"), "", files);
    ASSERT_TRUE(r.current) << r.error;
    EXPECT_EQ(r.current->amps.size(), e.counts.size());
}

TEST_F(ComtradeFilesTest, AFailedConfigurationPutsTheOldDataBack) {
    put("run7.cfg", "old cfg");
    put("run7.dat", "old dat");
    CfgFailingStore failing;
    const std::string error =
        writeComtradeFiles(file("run7"), sampleExport(ComtradeDataType::Binary), failing);
    EXPECT_EQ(error.rfind("Cannot write " + file("run7.cfg") + ": ", 0), 0u) << error;
    EXPECT_EQ(contents("run7.cfg"), "old cfg");
    EXPECT_EQ(contents("run7.dat"), "old dat");
}

TEST_F(ComtradeFilesTest, AFailedConfigurationLeavesNoNewDataFile) {
    CfgFailingStore failing;
    EXPECT_NE(writeComtradeFiles(file("run7"), sampleExport(ComtradeDataType::Binary), failing),
              "");
    EXPECT_FALSE(files.exists(file("run7.cfg")));
    EXPECT_FALSE(files.exists(file("run7.dat")));
}

TEST_F(ComtradeFilesTest, TheDataFileIsFoundInEitherCaseAndAMissingOneNamed) {
    const ComtradeFiles f = comtradeFilesOf(sampleExport(ComtradeDataType::Binary));
    put("UP.CFG", f.cfg);
    put("UP.DAT", f.dat);
    EXPECT_TRUE(readComtradeFile(file("UP.CFG"), "", files).current);
    put("lone.cfg", f.cfg);
    EXPECT_EQ(readComtradeFile(file("lone.cfg"), "", files).error,
              file("lone.cfg") + ": its data file " + file("lone") + ".dat is missing");
    EXPECT_TRUE(isComtradeName("a/b.CFF"));
    EXPECT_TRUE(isComtradeName("b.cfg"));
    EXPECT_FALSE(isComtradeName("b.dat"));
    EXPECT_EQ(comtradeBase("run7.cfg"), "run7");
    EXPECT_EQ(comtradeBase("run7.DAT"), "run7");
    EXPECT_EQ(comtradeBase("run7"), "run7");
}

// A name that is no regular file is refused with the reason, whichever of the files it is.
TEST_F(ComtradeFilesTest, AFolderInPlaceOfAFileIsRefusedWithTheReason) {
    const ComtradeFiles f = comtradeFilesOf(sampleExport(ComtradeDataType::Binary));
    put("dirdat.cfg", f.cfg);
    for (const char* name : {"dirdat.dat", "x.cfg", "x.cff"})
        ASSERT_TRUE(std::filesystem::create_directory(file(name))) << name;
    EXPECT_EQ(readComtradeFile(file("dirdat.cfg"), "", files).error,
              "Cannot read " + file("dirdat.dat") + ": it is a folder");
    EXPECT_EQ(readComtradeFile(file("x.cfg"), "", files).error,
              "Cannot read " + file("x.cfg") + ": it is a folder");
    EXPECT_EQ(readComtradeFile(file("x.cff"), "", files).error,
              "Cannot read " + file("x.cff") + ": it is a folder");
    EXPECT_EQ(readComtradeFile(file("none.cff"), "", files).error,
              "Cannot read " + file("none.cff") + ": No such file or directory");
}

TEST(ComtradeWaveFile, TakesTheSamplesPlaybackPlays) {
    TWaveFileHeader h;
    std::memcpy(h.Magic.data(), "WAVEFORM", 8);
    std::memcpy(h.SerialId.data(), "SN-9", 4);
    h.AmpsPerCount = 0.5f;
    h.SamplePeriod = 1.0f / 4800;
    h.SampleCount = 200;
    std::string bytes = h.bytes();
    for (std::int16_t i = 0; i < 300; ++i)
        bytes.append(reinterpret_cast<const char*>(&i), 2);
    std::string error;
    const auto e = comtradeExportOfWaveFile(bytes, error);
    ASSERT_TRUE(e) << error;
    EXPECT_EQ(e->counts.size(), 199u);
    EXPECT_EQ(e->counts[198], 198);
    EXPECT_EQ(e->sampleRate, 1.0 / static_cast<double>(1.0f / 4800));
    EXPECT_EQ(e->ampsPerCount, 0.5);
    EXPECT_EQ(e->deviceId, "SN-9");
    EXPECT_FALSE(comtradeExportOfWaveFile("WAVEFORX" + bytes.substr(8), error));
    EXPECT_EQ(error, "not a waveform file");
    EXPECT_FALSE(comtradeExportOfWaveFile("WAVEFORM", error));
}

} // namespace
