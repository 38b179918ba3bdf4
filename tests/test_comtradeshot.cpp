// A stored shot as COMTRADE: what its records add to the capture (times, detector span,
// names), qarn3-records waveform --format comtrade, and COMTRADE recordings imported as the
// waveform file of the counts measured.
#include "engine/analysis.h"
#include "platform/files.h"
#include "platform/textformat.h"
#include "store/comtradeshot.h"
#include "waveform/comtrade.h"
#include "waveform/waveform.h"

#include "comtrade_lines.h"
#include "records_fixture.h"
#include "tool_run.h"

#include <QDateTime>
#include <QTimeZone>

#include <filesystem>
#include <fstream>
#include <sstream>

using namespace qarn3;
using namespace qarn3::test;

namespace {

struct ShotCase {
    const char* name;
    std::optional<double> startSeconds;
    double seconds;
    const char* headerSerial;
    int lineHz;
    // Expected: microseconds before the shot's time of the first sample and the trigger, the
    // detector's span in samples (none: no digital channel), the device and line frequency.
    std::int64_t firstBefore, triggerBefore;
    std::optional<std::pair<std::size_t, std::size_t>> on;
    const char* device;
    int hz;
};

class ShotToComtrade : public ::testing::TestWithParam<ShotCase> {};

TEST_P(ShotToComtrade, TimesSpanAndNamesComeFromTheRecords) {
    const ShotCase& c = GetParam();
    ComtradeExport e;
    e.sampleRate = 2400;
    e.counts.assign(2400, 0); // one second of samples
    e.deviceId = c.headerSerial;
    ShotRow row;
    row.site.name = "North yard";
    row.breaker.designation = "Q7";
    row.point.pole = Pole::C;
    row.session.analyzerSerial = "AN-9";
    row.shot.reading.takenAt = "2026-05-04T10:00:01.500Z";
    row.shot.reading.startSeconds = c.startSeconds;
    row.shot.reading.seconds = c.seconds;
    const std::int64_t taken = std::int64_t{1777888801500} * 1000;
    std::int64_t askedAt = 0;
    fillComtradeFromShot(e, row, c.lineHz, [&](std::int64_t at) {
        askedAt = at;
        return 90;
    });
    EXPECT_EQ(e.stationName, "North yard");
    EXPECT_EQ(e.circuit, "Q7");
    EXPECT_EQ(e.phase, "C");
    EXPECT_EQ(e.deviceId, c.device);
    EXPECT_EQ(e.lineHz, c.hz);
    EXPECT_EQ(taken - e.firstSampleUs, c.firstBefore);
    EXPECT_EQ(taken - e.triggerUs, c.triggerBefore);
    EXPECT_EQ(askedAt, e.firstSampleUs); // the zone's offset when the capture began
    EXPECT_EQ(e.localOffsetMinutes, 90);
    EXPECT_EQ(e.withOn, c.on.has_value());
    if (c.on) {
        ASSERT_EQ(e.onSpans.size(), 1u);
        EXPECT_EQ(e.onSpans[0], *c.on);
    } else {
        EXPECT_TRUE(e.onSpans.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShotToComtrade,
    ::testing::Values(ShotCase{"PulseInsideTheCapture", 0.25, 0.1, "SN-1", 50, 350000, 100000,
                               std::pair<std::size_t, std::size_t>{600, 240}, "SN-1", 50},
                      ShotCase{"BlankSerialTakesTheSessionsAnalyzer", 0.5, 0.0504, "  ", 60, 550400,
                               50400, std::pair<std::size_t, std::size_t>{1200, 121}, "AN-9", 60},
                      ShotCase{"PlaceholderSerialTakesTheSessionsAnalyzer", 0, 0.2, "DEFAULT", 60,
                               200000, 200000, std::pair<std::size_t, std::size_t>{0, 480}, "AN-9",
                               60},
                      ShotCase{"SpanPastTheCaptureEndsWithIt", 0.9, 0.5, "***DEFAULT***", 60,
                               1400000, 500000, std::pair<std::size_t, std::size_t>{2160, 240},
                               "AN-9", 60},
                      ShotCase{"UnknownStartHasNoDetectorChannel", std::nullopt, 0.3, "SN-1", 60,
                               300000, 300000, std::nullopt, "SN-1", 60},
                      ShotCase{"OddMainsFrequencyIsSixtyHertz", 0.1, 0.1, "SN-1", 55, 200000,
                               100000, std::pair<std::size_t, std::size_t>{240, 240}, "SN-1", 60}),
    [](const ::testing::TestParamInfo<ShotCase>& i) { return std::string(i.param.name); });

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> linesOf(const std::string& text) {
    return comtradeLines(text);
}

std::vector<std::string> fieldsOf(const std::string& line) {
    std::vector<std::string> out;
    std::istringstream in(line);
    std::string f;
    while (std::getline(in, f, ','))
        out.push_back(f);
    return out;
}

// "dd/mm/yyyy,hh:mm:ss.ffffff" as microseconds since 1970, read as UTC.
std::int64_t comtradeMicros(const std::string& text) {
    const QString t = QString::fromStdString(text);
    const QDateTime d = QDateTime::fromString(t.left(19), "dd/MM/yyyy,HH:mm:ss");
    QDateTime utc(d.date(), d.time(), QTimeZone::utc());
    return utc.toMSecsSinceEpoch() * 1000 + t.mid(20, 6).toLongLong();
}

class ComtradeToolTest : public RecordsDatabaseTest {
public:
    ComtradeToolTest() { EXPECT_EQ(makeDemoFiles(folder), ""); }

    ToolRun run(const std::vector<std::string>& args) { return runRecords(args, folder); }

    std::vector<std::string> importArgs(const std::vector<std::string>& more) const {
        std::vector<std::string> a{"--db",      path,     "import",    "--site",     "Yard 3",
                                   "--breaker", "Q12",    "--rating",  "400",        "--pole",
                                   "B",         "--kind", "long-time", "--multiple", "3",
                                   "--band",    "0.1,0.5"};
        a.insert(a.end(), more.begin(), more.end());
        return a;
    }
    // The shots stored, oldest first.
    std::vector<ShotRow> shots() const {
        RecordsDatabase db(DatabaseLocation::file(path));
        EXPECT_TRUE(db.open().ok);
        RecordsError e;
        return RecordsStore(db).listShots({}, ShotOrder::OldestFirst, 0, 100, e);
    }
    std::string pulseFile() const { return folder + "/QARN3Pulse.owf"; }
};

TEST_F(ComtradeToolTest, StoredShotIsWrittenWithItsSiteBreakerPoleAndTimes) {
    ASSERT_EQ(run(importArgs({pulseFile()})).status, 0);
    // The program's mains setting, beside its setup file in the data folder.
    put(folder + "/QARN3Site.ini", "MainsHz=50\r\n");
    const std::vector<ShotRow> stored = shots();
    ASSERT_EQ(stored.size(), 4u);
    const ShotRow& shot = stored[1];
    const std::string base = folder + "/shot2";
    const ToolRun r = run({"--db", path, "waveform", shot.shot.id, "--format", "comtrade", "-o",
                           base, "--comtrade-format", "ascii"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> cfg = linesOf(readAll(base + ".cfg"));
    ASSERT_GE(cfg.size(), 12u);
    EXPECT_EQ(fieldsOf(cfg[0])[0], "Yard 3");
    EXPECT_EQ(fieldsOf(cfg[1])[0], "2"); // the current and the detector's ON
    const std::vector<std::string> analog = fieldsOf(cfg[2]);
    ASSERT_GE(analog.size(), 5u);
    EXPECT_EQ(analog[2], "B");
    EXPECT_EQ(analog[3], "Q12");
    EXPECT_EQ(analog[4], "A");
    EXPECT_EQ(cfg[4], "50");
    // The pulse ended when the shot was taken.
    const std::int64_t taken =
        QDateTime::fromString(QString::fromStdString(shot.shot.reading.takenAt), Qt::ISODateWithMs)
            .toMSecsSinceEpoch() *
        1000;
    const ShotReading& reading = shot.shot.reading;
    ASSERT_TRUE(reading.startSeconds);
    const std::int64_t first =
        taken - std::llround((*reading.startSeconds + reading.seconds) * 1e6);
    const std::int64_t offset = std::int64_t{machineOffsetMinutes(first)} * 60000000;
    // The trigger at the file's first pulse: shot 1's.
    ASSERT_TRUE(stored[0].shot.reading.startSeconds);
    const std::int64_t trigger = first + std::llround(*stored[0].shot.reading.startSeconds * 1e6);
    for (const auto& [line, at] : {std::pair{cfg[7], first}, std::pair{cfg[8], trigger}}) {
        const std::int64_t written = comtradeMicros(line);
        EXPECT_TRUE(written == at || written == at + offset) << line;
    }
    EXPECT_EQ(cfg[9], "ASCII");
    EXPECT_FALSE(readAll(base + ".dat").empty());
}

TEST_F(ComtradeToolTest, WaveformCommandRefusesWhatItCannotWrite) {
    ASSERT_EQ(run(importArgs({pulseFile()})).status, 0);
    const std::string id = shots().at(0).shot.id;
    const std::string base = folder + "/x";
    struct Refusal {
        std::vector<std::string> args;
        int status;
        const char* says;
    } cases[] = {
        {{"--format", "wav", "-o", base}, 2, "--format takes owf or comtrade"},
        {{"--format", "comtrade", "--comtrade-format", "hex", "-o", base}, 2, "binary32"},
        {{"--comtrade-format", "ascii", "-o", base}, 2, "goes with --format comtrade"},
        {{"--format", "comtrade"}, 2, "--output is needed"},
    };
    for (const Refusal& c : cases) {
        std::vector<std::string> args{"--db", path, "waveform", id};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ToolRun r = run(args);
        EXPECT_EQ(r.status, c.status) << c.says;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
    }
    const ToolRun missing =
        run({"--db", path, "waveform", newRecordId(), "--format", "comtrade", "-o", base});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("No shot"), std::string::npos) << missing.err;
    EXPECT_FALSE(FileStore().exists(base + ".cfg"));
}

// A recording from elsewhere is stored as the waveform file of what was measured: read back,
// it is a waveform file that measures to the same pulses as the import gave.
TEST_F(ComtradeToolTest, ImportedRecordingStoresTheWaveformOfTheCountsMeasured) {
    std::string error;
    auto capture = comtradeExportOfWaveFile(readAll(pulseFile()), error);
    ASSERT_TRUE(capture) << error;
    capture->type = ComtradeDataType::Ascii;
    FileStore files;
    ASSERT_EQ(writeComtradeFiles(folder + "/rec", *capture, files), "");
    const ToolRun imported = run(importArgs({folder + "/rec.cfg", "--channel", "I"}));
    ASSERT_EQ(imported.status, 0) << imported.err;
    const std::vector<ShotRow> stored = shots();
    ASSERT_FALSE(stored.empty());
    const std::string back = folder + "/back.owf";
    ASSERT_EQ(run({"--db", path, "waveform", stored[0].shot.id, "-o", back}).status, 0);
    const std::string bytes = readAll(back);
    EXPECT_EQ(bytes.compare(0, 8, "WAVEFORM"), 0);
    EXPECT_NE(bytes, readAll(folder + "/rec.cfg"));

    AnalysisOptions o;
    o.waveFile = back;
    const AnalysisResult again = analyzeWaveform(o);
    ASSERT_TRUE(again.ok) << again.error;
    ASSERT_EQ(again.pulses.size(), stored.size());
    for (std::size_t i = 0; i < stored.size(); ++i) {
        EXPECT_EQ(again.pulses[i].result.seconds, stored[i].shot.reading.seconds);
        const int decimals = stored[i].shot.reading.currentDecimals;
        EXPECT_EQ(formatFixed(again.pulses[i].result.pulseAmps, 0, decimals),
                  formatFixed(stored[i].shot.reading.currentAmps, 0, decimals));
    }
    EXPECT_EQ(imported.err.find("over range"), std::string::npos) << imported.err;
}

// A folder's recordings are imported as named ones are; a folder named as one is refused.
TEST_F(ComtradeToolTest, ImportOfAFolderTakesItsRecordings) {
    std::string error;
    auto capture = comtradeExportOfWaveFile(readAll(pulseFile()), error);
    ASSERT_TRUE(capture) << error;
    FileStore files;
    ASSERT_TRUE(makeFolders(folder + "/in"));
    ASSERT_EQ(writeComtradeFiles(folder + "/in/REC", *capture, files), "");
    const ToolRun imported = run(importArgs({folder + "/in"}));
    ASSERT_EQ(imported.status, 0) << imported.err;
    EXPECT_EQ(imported.err.find("No waveform files"), std::string::npos) << imported.err;
    EXPECT_FALSE(shots().empty());

    ASSERT_TRUE(makeFolders(folder + "/x.cfg"));
    const ToolRun named = run(importArgs({folder + "/x.cfg"}));
    EXPECT_EQ(named.status, 1);
    EXPECT_NE(named.err.find("x.cfg: it is a folder, not a recording"), std::string::npos)
        << named.err;
}

TEST_F(ComtradeToolTest, ImportTellsTheSamplesClippedOverRange) {
    std::string error;
    auto capture = comtradeExportOfWaveFile(readAll(pulseFile()), error);
    ASSERT_TRUE(capture) << error;
    capture->type = ComtradeDataType::Ascii;
    capture->ampsPerCount *= 20; // twenty times the current the range measures
    FileStore files;
    ASSERT_EQ(writeComtradeFiles(folder + "/big", *capture, files), "");
    const ToolRun imported = run(importArgs({folder + "/big.cfg"}));
    EXPECT_NE(imported.err.find("big.cfg: "), std::string::npos) << imported.err;
    EXPECT_NE(imported.err.find("samples over range"), std::string::npos) << imported.err;
}

// A shot measured on a range whose scale is not its file's: the COMTRADE values are the
// amperes of the record, a reader measures the record's currents, and the detector's channel
// marks every pulse the file's shots measured, the trigger at the first.
TEST_F(ComtradeToolTest, StoredShotIsWrittenInTheAmperesItWasMeasuredIn) {
    for (const char* range : {"4", "6"}) {
        SCOPED_TRACE(range);
        for (const char* end : {"", "-wal", "-shm"})
            std::filesystem::remove(path + end);
        ASSERT_EQ(run(importArgs({"--range", range, pulseFile()})).status, 0);
        const std::vector<ShotRow> stored = shots();
        ASSERT_EQ(stored.size(), 4u);
        const std::string base = folder + "/range" + range;
        ASSERT_EQ(run({"--db", path, "waveform", stored[0].shot.id, "--format", "comtrade", "-o",
                       base, "--comtrade-format", "ascii"})
                      .status,
                  0);
        const std::vector<std::string> cfg = linesOf(readAll(base + ".cfg"));
        ASSERT_GE(cfg.size(), 9u);
        EXPECT_EQ(parseReal(fieldsOf(cfg[2])[5]), stored[0].shot.reading.ampsPerCount);

        AnalysisOptions o;
        o.waveFile = base + ".cfg";
        o.rangeIndex = std::stoi(range);
        const AnalysisResult again = analyzeWaveform(o);
        ASSERT_TRUE(again.ok) << again.error;
        ASSERT_EQ(again.pulses.size(), stored.size());
        for (std::size_t i = 0; i < stored.size(); ++i) {
            const int decimals = stored[i].shot.reading.currentDecimals;
            EXPECT_EQ(formatFixed(again.pulses[i].result.pulseAmps, 0, decimals),
                      formatFixed(stored[i].shot.reading.currentAmps, 0, decimals));
        }

        // ON rises once per pulse; the trigger lies the first pulse's start after the first
        // sample.
        int rises = 0;
        bool on = false;
        for (const std::string& line : linesOf(readAll(base + ".dat"))) {
            const std::vector<std::string> f = fieldsOf(line);
            if (f.size() < 4) continue;
            if (f[3] == "1" && !on) ++rises;
            on = f[3] == "1";
        }
        EXPECT_EQ(rises, 4);
        double firstStart = 1e9;
        for (const ShotRow& r : stored)
            firstStart = std::min(firstStart, *r.shot.reading.startSeconds);
        EXPECT_EQ(comtradeMicros(cfg[8]) - comtradeMicros(cfg[7]), std::llround(firstStart * 1e6));
    }
}

// A recording's shots are taken at its own time: each when its pulse ended after the first
// sample, in UTC by the file's time code. A stored shot written as COMTRADE and imported again
// keeps its time.
TEST_F(ComtradeToolTest, ImportedRecordingsShotsAreTakenAtTheRecordingsTime) {
    ASSERT_EQ(run(importArgs({pulseFile()})).status, 0);
    const ShotRow original = shots().at(2);
    const std::string base = folder + "/again";
    ASSERT_EQ(run({"--db", path, "waveform", original.shot.id, "--format", "comtrade", "-o",
                   base})
                  .status,
              0);
    const std::string other = folder + "/other.db";
    std::vector<std::string> args = importArgs({base + ".cfg"});
    args[1] = other;
    ASSERT_EQ(run(args).status, 0);
    RecordsDatabase db(DatabaseLocation::file(other));
    ASSERT_TRUE(db.open().ok);
    RecordsError e;
    const std::vector<ShotRow> again =
        RecordsStore(db).listShots({}, ShotOrder::OldestFirst, 0, 100, e);
    ASSERT_EQ(again.size(), 4u);
    EXPECT_EQ(again[2].shot.reading.takenAt, original.shot.reading.takenAt);
    for (std::size_t i = 0; i + 1 < again.size(); ++i)
        EXPECT_LT(again[i].shot.reading.takenAt, again[i + 1].shot.reading.takenAt);
}

} // namespace
