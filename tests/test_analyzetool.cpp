// qarn3-analyze over many files: order, unreadable files, folders, the CSV, JSON Lines and
// text forms agreeing with each other, the waveform export and the command line's errors.
#include "calsetup/cal.h"
#include "engine/analysis.h"
#include "engine/analysis_output.h"
#include "engine/analyze_tool.h"
#include "engine/bulk.h"
#include "platform/commandline.h"
#include "waveform/cycles.h"
#include "waveform/waveform.h"

#include "csv_reader.h"
#include "locale_fixture.h"
#include "record_fixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <regex>
#include <sstream>
#include <unistd.h>
#include <vector>

using namespace qarn3;
using namespace qarn3::test;

namespace {

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

struct ToolRun {
    int status = 0;
    std::string out, err;
};

class AnalyzeToolTest : public RecordTest {
protected:
    AnalyzeToolTest() { EXPECT_EQ(makeDemoFiles(folder), ""); }

    ToolRun run(const std::vector<std::string>& args, bool terminal = false) {
        std::ostringstream out, err;
        ToolEnvironment env{out, err};
        env.errIsTerminal = terminal;
        env.cores = 3;
        ToolRun r;
        r.status = runAnalyzeTool(args, env);
        r.out = out.str();
        r.err = err.str();
        return r;
    }

    // A waveform file of 60000 samples whose sample i is value(i).
    template <typename F> void putWave(const std::string& name, float ampsPerCount, F value) {
        TWaveFileHeader h;
        std::memcpy(h.Magic.data(), "WAVEFORM", 8);
        std::memcpy(h.SerialId.data(), "SN-77", 5);
        h.WaveType = 'N';
        h.AmpsPerCount = ampsPerCount;
        h.SamplePeriod = 1.0f / 2400;
        h.SampleCount = kWaveFileSamples;
        std::vector<std::int16_t> s(kWaveFileSamples);
        for (int i = 0; i < kWaveFileSamples; ++i)
            s[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(value(i));
        put(name, h.bytes() + std::string(reinterpret_cast<const char*>(s.data()), 2 * s.size()));
    }

    std::string pulse() const { return file("QARN3Pulse.owf"); }
    std::string longTest() const { return file("QARN3Long.owf"); }
};

TEST_F(AnalyzeToolTest, UnreadableFilesAreNamedAndTheOthersStillAnalysedInOrder) {
    put("short.owf", "WAVE"); // shorter than a header
    const std::vector<std::string> args{pulse(), file("missing.owf"), file("short.owf"),
                                        longTest()};

    ToolRun csv = run({"--format", "csv", args[0], args[1], args[2], args[3]});
    EXPECT_EQ(csv.status, 1);
    EXPECT_NE(csv.err.find("missing.owf"), std::string::npos) << csv.err;
    EXPECT_NE(csv.err.find("short.owf"), std::string::npos) << csv.err;
    const std::vector<Record> records = parseCsv(csv.out);
    ASSERT_EQ(records.size(), 1u + 4 + 1 + 1 + 1);
    EXPECT_EQ(records[4][0], pulse());
    EXPECT_EQ(records[4][1], "4");
    for (int i : {5, 6}) {
        EXPECT_EQ(records[static_cast<std::size_t>(i)][1], "") << "no pulse fields";
        EXPECT_NE(records[static_cast<std::size_t>(i)].back(), "") << "the reason is given";
    }
    EXPECT_EQ(records[5][0], args[1]);
    EXPECT_EQ(records[6][0], args[2]);
    EXPECT_EQ(records[7][0], longTest());

    ToolRun jsonl = run({"--format", "jsonl", args[0], args[1], args[2], args[3]});
    EXPECT_EQ(jsonl.status, 1);
    const std::vector<std::string> objects = lines(jsonl.out);
    ASSERT_EQ(objects.size(), 4u);
    const QJsonObject missing = QJsonDocument::fromJson(objects[1].c_str()).object();
    EXPECT_EQ(missing["file"].toString().toStdString(), args[1]);
    EXPECT_FALSE(missing["error"].toString().isEmpty());

    ToolRun text = run({args[1], args[0]});
    EXPECT_EQ(text.status, 1);
    EXPECT_EQ(text.out.find("missing.owf"), std::string::npos) << "only on standard error";
    EXPECT_NE(text.out.find("==> " + pulse() + " <==\nPulse 1 at"), std::string::npos);
}

TEST_F(AnalyzeToolTest, FolderGivesItsWaveformFilesSortedWithSubfoldersInPlace) {
    namespace fs = std::filesystem;
    fs::create_directories(file("set/b-sub/deeper"));
    fs::create_directories(file("set/empty"));
    fs::create_directories(file("set/.hidden"));
    for (const char* name : {"set/c.owf", "set/a.OWF", "set/b-sub/x.Owf", "set/b-sub/deeper/y.owf",
                             "set/.hidden/z.owf", "set/.dot.owf", "set/notes.txt", "set/owf"})
        fs::copy_file(pulse(), file(name));
    fs::create_directory_symlink(file("set"), file("set/b-sub/loop"));

    std::vector<std::string> notes;
    std::vector<std::string> paths;
    for (const InputFile& in : expandInputs({file("set"), file("set/empty"), pulse()}, notes))
        paths.push_back(in.path);
    EXPECT_EQ(paths,
              (std::vector<std::string>{file("set/a.OWF"), file("set/b-sub/deeper/y.owf"),
                                        file("set/b-sub/x.Owf"), file("set/c.owf"), pulse()}));
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NE(notes[0].find("set/empty"), std::string::npos);

    // One command: a folder to a table of one record per pulse.
    const ToolRun r = run({"--format=csv", "-o", file("table.csv"), file("set")});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::vector<Record> records = parseCsv(contents("table.csv"));
    EXPECT_EQ(records.size(), 1u + 4 * 4);
}

// COMTRADE recordings in a folder are analysed as the waveform files are; a .cfg's data file is
// read with it, not as an input of its own.
TEST_F(AnalyzeToolTest, FolderGivesItsComtradeRecordingsInAnyCase) {
    namespace fs = std::filesystem;
    fs::create_directories(file("rec/sub"));
    fs::create_directories(file("only-data"));
    const ToolRun exported = run({"--export-comtrade", pulse(), "-o", file("rec/a")});
    ASSERT_EQ(exported.status, 0) << exported.err;
    const std::string cfg = contents("rec/a.cfg");
    const std::string dat = contents("rec/a.dat");
    put("rec/sub/B.CFG", cfg);
    put("rec/sub/B.DAT", dat);
    put("rec/c.Cff", "--- file type: CFG ---\r\n" + cfg + "--- file type: DAT BINARY: " +
                         std::to_string(dat.size()) + " ---\r\n" + dat);
    put("only-data/a.dat", dat);

    std::vector<std::string> notes;
    std::vector<std::string> paths;
    for (const InputFile& in : expandInputs({file("rec"), file("only-data")}, notes))
        paths.push_back(in.path);
    EXPECT_EQ(paths, (std::vector<std::string>{file("rec/a.cfg"), file("rec/c.Cff"),
                                               file("rec/sub/B.CFG")}));
    EXPECT_EQ(notes, (std::vector<std::string>{
                         "No waveform files (*.owf) or COMTRADE recordings (*.cfg, *.cff) in " +
                         file("only-data")}));

    const ToolRun r = run({"--format=csv", file("rec")});
    EXPECT_EQ(r.status, 0) << r.err;
    const ToolRun original = run({"--format=csv", pulse()});
    const std::vector<Record> records = parseCsv(r.out);
    EXPECT_EQ(records.size(), 1u + 3 * (parseCsv(original.out).size() - 1));
}

// A folder named as a recording is refused; walking it would end the run as if all were well.
TEST_F(AnalyzeToolTest, AFolderNamedAsARecordingIsRefused) {
    for (const char* name : {"x.cfg", "y.CFF"}) {
        std::filesystem::create_directory(file(name));
        const ToolRun r = run({file(name)});
        EXPECT_EQ(r.status, 1) << name;
        EXPECT_NE(r.err.find(file(name) + ": it is a folder, not a recording"), std::string::npos)
            << r.err;
    }
    // A folder named as a waveform file is still walked.
    std::filesystem::create_directory(file("z.owf"));
    std::filesystem::copy_file(pulse(), file("z.owf/in.owf"));
    EXPECT_EQ(run({file("z.owf")}).status, 0);
}

// Paths past the system's limit (PATH_MAX) deep inside a folder are said, not skipped.
TEST_F(AnalyzeToolTest, FilesPastThePathLimitInAFolderAreReported) {
#ifdef _WIN32
    GTEST_SKIP() << "the path limit is Linux's";
#else
    const std::string name(200, 'd');
    const std::string wave = contents("QARN3Pulse.owf");
    std::filesystem::create_directory(file("deep"));
    // Made and removed through folder handles: the deepest paths cannot be named whole.
    std::vector<int> levels{::open(file("deep").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    auto putAt = [&](const char* leaf, const std::string& bytes) {
        const int f = ::openat(levels.back(), leaf, O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        EXPECT_EQ(::write(f, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        ::close(f);
    };
    std::size_t length = file("deep").size(), nearLevel = 0;
    while (length < 4096 + 400) {
        ASSERT_EQ(::mkdirat(levels.back(), name.c_str(), 0755), 0);
        levels.push_back(::openat(levels.back(), name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        length += 1 + name.size();
        if (nearLevel == 0 && length > 4096 - 300) {
            putAt("near.owf", wave);
            nearLevel = levels.size() - 1;
        }
    }
    putAt("far.owf", wave);

    std::vector<std::string> notes;
    const std::vector<InputFile> inputs = expandInputs({file("deep")}, notes);
    ASSERT_EQ(inputs.size(), 2u); // by name: the deeper folder before near.owf beside it
    EXPECT_NE(inputs[0].error.find(": File name too long"), std::string::npos) << inputs[0].error;
    EXPECT_TRUE(inputs[1].path.ends_with("/near.owf"));
    EXPECT_EQ(inputs[1].error, "");
    EXPECT_EQ(run({file("deep")}).status, 1);

    ::unlinkat(levels.back(), "far.owf", 0);
    ::unlinkat(levels[nearLevel], "near.owf", 0);
    for (std::size_t k = levels.size() - 1; k > 0; --k) {
        ::close(levels[k]);
        ::unlinkat(levels[k - 1], name.c_str(), AT_REMOVEDIR);
    }
    ::close(levels[0]);
#endif
}

TEST_F(AnalyzeToolTest, CsvQuotesAFileNameWithACommaAndAQuote) {
    const std::string odd = file("north bay, \"B7\".owf");
    std::filesystem::copy_file(pulse(), odd);
    const ToolRun r = run({"--format", "csv", odd});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"" + file("north bay, \"\"B7\"\".owf") + "\",1,"), std::string::npos);
    const std::vector<Record> records = parseCsv(r.out);
    ASSERT_EQ(records.size(), 5u);
    for (const Record& rec : records)
        EXPECT_EQ(rec.size(), records[0].size());
    EXPECT_EQ(records[1][0], odd);
    EXPECT_EQ(records[1][3], "331.3");
}

TEST_F(AnalyzeToolTest, CsvFieldsWithSeparatorsQuotesOrLineBreaksReadBackAsWritten) {
    for (const std::string text :
         {"plain", "", "a,b", "say \"hi\"", "\"", "cr\rhere", "lf\nhere", "semi;colon"}) {
        const std::string field = csvField(text);
        const bool needsQuotes = text.find_first_of(",\"\r\n") != std::string::npos;
        EXPECT_EQ(field.front() == '"', needsQuotes) << text;
        const std::vector<Record> back = parseCsv(field + "," + field + "\r\n");
        ASSERT_EQ(back.size(), 1u);
        EXPECT_EQ(back[0], (Record{text, text}));
    }
}

TEST_F(AnalyzeToolTest, JsonLinesParseBackToTheAnalysis) {
    putWave("quiet.owf", 0.25f, [](int) { return 0; });
    const ToolRun r = run({"--format", "jsonl", pulse(), longTest(), file("quiet.owf")});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> objects = lines(r.out);
    ASSERT_EQ(objects.size(), 3u);
    const std::vector<std::string> waves{pulse(), longTest(), file("quiet.owf")};
    for (std::size_t i = 0; i < objects.size(); ++i) {
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(objects[i].c_str(), &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << objects[i];
        const QJsonObject o = doc.object();
        AnalysisOptions options;
        options.waveFile = waves[i];
        const AnalysisResult expected = analyzeWaveform(options);
        EXPECT_EQ(o["file"].toString().toStdString(), waves[i]);
        EXPECT_EQ(o["ending"].toString().toStdString(), expected.ending);
        const QJsonArray pulses = o["pulses"].toArray();
        ASSERT_EQ(static_cast<std::size_t>(pulses.size()), expected.pulses.size());
        for (qsizetype p = 0; p < pulses.size(); ++p) {
            const PulseResult& e = expected.pulses[static_cast<std::size_t>(p)].result;
            const QJsonObject got = pulses[p].toObject();
            EXPECT_NEAR(got["amps"].toDouble(), e.pulseAmps, 1e-5 * e.pulseAmps);
            EXPECT_EQ(got["onSamples"].toInt(), e.onSamples);
        }
    }
    // --json on one file writes the one object it always has.
    AnalysisOptions options;
    options.waveFile = pulse();
    EXPECT_EQ(run({"--json", pulse()}).out, formatAnalysisJson(analyzeWaveform(options)));
}

// File names are bytes: a name that is not UTF-8 must not make the line unreadable, and one
// that is must come back unchanged.
TEST_F(AnalyzeToolTest, JsonLinesStayUtf8WhateverBytesAFileNameHolds) {
    const std::string latin1 = file("bay \xe9t\xe9.owf");
    const std::string utf8 = file("bay \xc3\x98st.owf");
    const std::string cut = file("cut \xe2\x82.owf"); // a sequence broken off
    std::filesystem::copy_file(pulse(), latin1);
    std::filesystem::copy_file(pulse(), utf8);
    const ToolRun r = run({"--format", "jsonl", latin1, utf8, cut});
    EXPECT_EQ(r.status, 1); // cut is missing
    const std::vector<std::string> objects = lines(r.out);
    ASSERT_EQ(objects.size(), 3u);
    const std::vector<std::string> names{file("bay \xef\xbf\xbdt\xef\xbf\xbd.owf"), utf8,
                                         file("cut \xef\xbf\xbd\xef\xbf\xbd.owf")};
    for (std::size_t i = 0; i < objects.size(); ++i) {
        const QByteArray bytes = QByteArray::fromStdString(objects[i]);
        EXPECT_EQ(QString::fromUtf8(bytes).toUtf8(), bytes) << "not UTF-8: " << objects[i];
        QJsonParseError error{};
        const QJsonObject o = QJsonDocument::fromJson(bytes, &error).object();
        ASSERT_EQ(error.error, QJsonParseError::NoError) << objects[i];
        EXPECT_EQ(o["file"].toString().toStdString(), names[i]);
    }
    EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(objects[0]))
                  .object()["pulses"]
                  .toArray()
                  .size(),
              4);
}

TEST_F(AnalyzeToolTest, JsonFormatIsOneArrayOfTheFiles) {
    const ToolRun r = run({"--format", "json", pulse(), file("gone.owf"), longTest()});
    EXPECT_EQ(r.status, 1);
    const QJsonDocument doc = QJsonDocument::fromJson(r.out.c_str());
    ASSERT_TRUE(doc.isArray()) << r.out;
    ASSERT_EQ(doc.array().size(), 3);
    EXPECT_TRUE(doc.array()[1].toObject().contains("error"));
    EXPECT_EQ(doc.array()[2].toObject()["pulses"].toArray().size(), 1);
}

TEST_F(AnalyzeToolTest, WaveformExportRowsAreTheFileSamplesInAmperes) {
    // Distinct first and last played samples; the file's 60000th is never played.
    putWave("ramp.owf", 0.5f, [](int i) { return i == 0 ? -7 : i == 59998 ? 1234 : i % 100; });
    const ToolRun r = run({"--export-csv", file("ramp.owf"), "-o", file("ramp.csv")});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> rows = lines(contents("ramp.csv"));
    std::size_t header = 0;
    while (header < rows.size() && rows[header].rfind("# ", 0) == 0)
        ++header;
    const std::string comments = contents("ramp.csv").substr(0, 400);
    EXPECT_NE(comments.find("# serial/ID: SN-77\r\n"), std::string::npos) << comments;
    EXPECT_NE(comments.find("# sample rate: 2400 samples/s\r\n"), std::string::npos);
    EXPECT_NE(comments.find("# amperes per count: 0.5\r\n"), std::string::npos);
    ASSERT_LT(header, rows.size());
    EXPECT_EQ(rows[header], "time_s,current_a\r");
    ASSERT_EQ(rows.size() - header - 1, 59999u);
    EXPECT_EQ(rows[header + 1], "0.000000,-3.5\r");
    EXPECT_EQ(rows[header + 2], "0.000417,0.5\r");
    EXPECT_EQ(rows.back(), "24.999167,617\r");
}

// The readings of text, CSV and JSON are the same, in a locale with a decimal comma too; the
// JSON values rounded as the window rounds them give its readings.
TEST_F(AnalyzeToolTest, DemonstrationReadingsAreTheSameInTextCsvAndJson) {
    CommaNumericLocale comma;
    for (const std::string& wave : {pulse(), longTest()}) {
        std::vector<std::string> fromText, fromCsv, fromJson;
        for (const std::string& line : lines(run({wave}).out)) {
            if (line.rfind("Pulse ", 0) != 0) continue;
            std::istringstream in(line.substr(line.find(": ") + 2));
            std::string amps, unit, secs, secsUnit, cycs;
            in >> amps >> unit >> secs >> secsUnit >> cycs;
            fromText.push_back(amps + "|" + secs + "|" + cycs);
        }
        const std::vector<Record> records = parseCsv(run({"--format", "csv", wave}).out);
        for (std::size_t i = 1; i < records.size(); ++i)
            fromCsv.push_back(records[i][3] + "|" + records[i][5] + "|" + records[i][6]);
        const QJsonObject o =
            QJsonDocument::fromJson(run({"--format", "jsonl", wave}).out.c_str()).object();
        for (const QJsonValue p : o["pulses"].toArray()) {
            const QJsonObject j = p.toObject();
            const std::string current = j["current"].toString().toStdString();
            fromJson.push_back(current.substr(0, current.find(' ')) + "|" +
                               QString::number(j["seconds"].toDouble(), 'f', 4).toStdString() +
                               "|" + QString::number(j["cycles"].toDouble(), 'f', 2).toStdString());
        }
        EXPECT_FALSE(fromText.empty());
        EXPECT_EQ(fromCsv, fromText) << wave;
        EXPECT_EQ(fromJson, fromText) << wave;
    }
}

// --cycles gives each pulse's cycle table: the CSV's rows and the JSON's cycles agree, the
// pulse columns are those the CSV has without it, and the table is the file's samples of the
// pulse cut into cycles (the tool cuts the capture, as the viewer does).
TEST_F(AnalyzeToolTest, DemonstrationCycleTablesAgreeInCsvAndJsonWithTheFilesSamples) {
    const std::vector<Record> csv = parseCsv(run({"--cycles", "--format", "csv", pulse()}).out);
    const std::vector<Record> plain = parseCsv(run({"--format", "csv", pulse()}).out);
    const QJsonObject o =
        QJsonDocument::fromJson(run({"--cycles", "--json", pulse()}).out.c_str()).object();
    auto wave = std::make_unique<TWaveformData>();
    ASSERT_EQ(readWaveformFile(pulse(), *wave), "");
    TCalRecord cal; // the scale of range 4 with the default calibration, as the engine sets it
    setCalDefaults(cal, 0);
    const auto ampsPerCount = static_cast<float>(o["fullScaleAmps"].toDouble() * cal.Factor[3]);
    ASSERT_EQ(csv[0].size(), 26u);
    EXPECT_EQ(Record(csv[0].begin(), csv[0].begin() + 13), plain[0]);
    std::size_t row = 1;
    const QJsonArray pulses = o["pulses"].toArray();
    ASSERT_EQ(pulses.size(), 4);
    for (qsizetype p = 0; p < pulses.size(); ++p) {
        const QJsonObject pulse = pulses[p].toObject();
        const QJsonObject table = pulse["cycleTable"].toObject();
        CycleInput in;
        in.samples = wave->Samples.get();
        in.available = wave->SampleCount - 1;
        in.first =
            static_cast<std::int32_t>(std::lround(pulse["start"].toDouble() * wave->SampleRate));
        in.count = pulse["onSamples"].toInt();
        in.ampsPerCount = ampsPerCount;
        in.sampleRate = wave->SampleRate;
        const CycleTable expected = computeCycles(in);
        EXPECT_EQ(table["rms"].toDouble(), expected.totals.rms);
        EXPECT_EQ(table["i2t"].toDouble(), expected.totals.i2t);
        const QJsonArray cycles = table["cycles"].toArray();
        ASSERT_EQ(static_cast<std::size_t>(cycles.size()), expected.rows.size()) << p;
        for (qsizetype c = 0; c < cycles.size(); ++c, ++row) {
            const QJsonObject j = cycles[c].toObject();
            const CycleRow& e = expected.rows[static_cast<std::size_t>(c)];
            EXPECT_NEAR(j["start"].toDouble(), e.start, 1e-9);
            EXPECT_EQ(j["rms"].toDouble(), e.rms);
            EXPECT_EQ(j["peakNeg"].toDouble(), e.peakNeg);
            EXPECT_EQ(j["partial"].toBool(), e.partial);
            ASSERT_LT(row, csv.size());
            const Record& r = csv[row];
            EXPECT_EQ(Record(r.begin(), r.begin() + 13), plain[static_cast<std::size_t>(p) + 1]);
            const auto f4 = [&j](const char* key) {
                return QString::number(j[key].toDouble(), 'f', 4).toStdString();
            };
            EXPECT_EQ(Record(r.begin() + 13, r.begin() + 21),
                      (Record{std::to_string(c + 1), f4("start"), f4("rms"), f4("peakPos"),
                              f4("peakNeg"), f4("i2t"),
                              QString::number(j["share"].toDouble() * 100, 'f', 2).toStdString(),
                              e.partial ? "1" : "0"}));
            EXPECT_EQ(r[25], "60");
        }
    }
    EXPECT_EQ(row, csv.size());
}

TEST_F(AnalyzeToolTest, MainsFrequencyFromTheOptionElseTheSiteFileBesideTheSetup) {
    TSetupRecord setup;
    setSetupDefaults(setup);
    put("QARN3.osf", setupFileText(setup, '.'));
    const std::string osf = file("QARN3.osf");
    const auto mains = [&](const std::vector<std::string>& args) {
        const ToolRun r = run(args);
        const std::vector<Record> records = parseCsv(r.out);
        return r.status == 0 && records.size() > 1 ? records[1].back() : r.err;
    };
    EXPECT_EQ(mains({"--cycles", "--format", "csv", "--setup", osf, pulse()}), "60");
    put("QARN3Site.ini", "MainsHz=50\r\n");
    EXPECT_EQ(mains({"--cycles", "--format", "csv", "--setup", osf, pulse()}), "50");
    EXPECT_EQ(mains({"--cycles", "--format", "csv", "--setup", osf, "--mains", "60", pulse()}),
              "60");
    EXPECT_EQ(mains({"--cycles", "--format", "csv", "--mains", "55", pulse()}),
              "qarn3-analyze: Mains frequency must be 50 or 60 Hz\n");
    put("QARN3Site.ini", "MainsHz=7\r\n");
    EXPECT_EQ(mains({"--cycles", "--format", "csv", "--setup", osf, pulse()}),
              "qarn3-analyze: Settings file " + file("QARN3Site.ini") +
                  ": Mains frequency '7' is not 50 or 60 Hz\n");
    // Without --cycles nothing reads the site file, and --mains changes nothing.
    const std::string plain = run({"--format", "csv", pulse()}).out;
    EXPECT_EQ(run({"--format", "csv", "--setup", osf, "--mains", "50", pulse()}).out, plain);
}

TEST_F(AnalyzeToolTest, ResultsComeInTheOrderGivenWhateverWorkerFinishesFirst) {
    std::vector<InputFile> inputs;
    for (int i = 0; i < 9; ++i)
        inputs.push_back({i % 3 == 0 ? longTest() : i % 3 == 1 ? pulse() : file("none.owf"), {}});
    AnalysisSettings settings;
    ASSERT_EQ(prepareSettings({}, settings), "");
    std::vector<std::string> order;
    std::size_t lastDone = 0;
    analyzeAll(
        inputs, {}, settings, 4, [&](const AnalysisResult& r) { order.push_back(r.waveFile); },
        [&](std::size_t done, std::size_t total) {
            EXPECT_GE(done, lastDone);
            EXPECT_EQ(total, inputs.size());
            lastDone = done;
        });
    ASSERT_EQ(order.size(), inputs.size());
    for (std::size_t i = 0; i < inputs.size(); ++i)
        EXPECT_EQ(order[i], inputs[i].path);
    EXPECT_EQ(lastDone, inputs.size());
}

TEST_F(AnalyzeToolTest, ProgressLineOnlyOnATerminalWithMoreThanAFewFiles) {
    const std::vector<std::string> six{pulse(), pulse(), longTest(), pulse(), longTest(), pulse()};
    const ToolRun many = run(six, true);
    EXPECT_NE(many.err.find("\rqarn3-analyze: 6 of 6 files"), std::string::npos) << many.err;
    EXPECT_EQ(many.out.find('\r'), std::string::npos);
    EXPECT_EQ(run(six, false).err, "");
    EXPECT_EQ(run({pulse(), longTest()}, true).err, "");
}

// Results written to the terminal the progress line is on: the line is taken away before
// each write, so that nothing is written after it on its line, and the screen shows exactly
// the results.
TEST_F(AnalyzeToolTest, ProgressLineNeverRunsIntoResultsOnTheSameTerminal) {
    const std::vector<std::string> waves{pulse(), longTest(), file("gone.owf"),
                                         pulse(), longTest(), pulse()};
    const std::regex progressText("\rqarn3-analyze: [0-9]+ of [0-9]+ files");
    const std::regex cleared("\r *\r");
    for (const char* format : {"text", "csv", "json", "jsonl"}) {
        std::vector<std::string> args{"--format", format};
        args.insert(args.end(), waves.begin(), waves.end());
        std::ostringstream screen, apart;
        ToolEnvironment terminal{screen, screen};
        terminal.errIsTerminal = true;
        terminal.cores = 3;
        ToolEnvironment pipe{apart, apart};
        pipe.cores = 3;
        EXPECT_EQ(runAnalyzeTool(args, terminal), 1);
        EXPECT_EQ(runAnalyzeTool(args, pipe), 1);
        const std::string shown = screen.str();
        ASSERT_NE(shown.find("\rqarn3-analyze: 6 of 6 files"), std::string::npos) << format;
        for (auto it = std::sregex_iterator(shown.begin(), shown.end(), progressText);
             it != std::sregex_iterator(); ++it) {
            const std::size_t after = static_cast<std::size_t>(it->position() + it->length());
            EXPECT_TRUE(after == shown.size() || shown[after] == '\r')
                << format << ": written after the progress line: " << shown.substr(after, 20);
        }
        EXPECT_EQ(std::regex_replace(std::regex_replace(shown, progressText, ""), cleared, ""),
                  apart.str())
            << format;
    }
}

class UsageErrorTest : public AnalyzeToolTest,
                       public ::testing::WithParamInterface<std::vector<std::string>> {};

TEST_P(UsageErrorTest, ExitsWithTwoAndTheUsage) {
    std::vector<std::string> args = GetParam();
    for (std::string& a : args)
        if (a == "PULSE") a = pulse();
    const ToolRun r = run(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("Usage: qarn3-analyze"), std::string::npos);
    EXPECT_EQ(r.out, "");
}

INSTANTIATE_TEST_SUITE_P(
    BadCommandLines, UsageErrorTest,
    ::testing::Values(std::vector<std::string>{}, std::vector<std::string>{"--bogus", "PULSE"},
                      std::vector<std::string>{"--format", "xml", "PULSE"},
                      std::vector<std::string>{"--format"},
                      std::vector<std::string>{"-j", "0", "PULSE"},
                      std::vector<std::string>{"--export-csv", "PULSE", "PULSE"},
                      std::vector<std::string>{"--export-csv", "PULSE", "--range", "5"},
                      std::vector<std::string>{"--range", "five", "PULSE"},
                      std::vector<std::string>{"--cycles", "--mains", "fifty", "PULSE"}));

TEST_F(AnalyzeToolTest, HelpListsEveryCommand) {
    const ToolRun r = run({"--help"});
    EXPECT_EQ(r.status, 0);
    for (const char* option :
         {"--format", "--json", "--export-csv", "-o,", "--jobs", "--range", "--setup", "--cal",
          "--make-demo", "--cycles", "--mains", "cycle_start_s", "Exit status"})
        EXPECT_NE(r.out.find(option), std::string::npos) << option;
}

} // namespace

namespace {

// Command lines as QCommandLineParser reads them for both tools: the options in the order
// given, as written; on a failure, the options before the argument that failed.
struct LineCase {
    std::vector<std::string> args;
    std::string options; // "spelling=value" or "spelling", joined by spaces
    std::string arguments;
    std::string error;
    bool argumentsAllowed = true;
};

class CommandLines : public ::testing::TestWithParam<LineCase> {};

TEST_P(CommandLines, KeepTheOrderAndNameTheFirstFailureAsWritten) {
    const std::vector<OptionSpec> specs{{{"j", "jobs"}, true},
                                        {{"o", "output"}, true},
                                        {{"range"}, true},
                                        {{"json"}, false},
                                        {{"h", "help"}, false}};
    const CommandLine line = parseCommandLine(GetParam().args, specs, GetParam().argumentsAllowed);
    std::string options, arguments;
    for (const GivenOption& o : line.options)
        options += (options.empty() ? "" : " ") + o.spelling + (o.value ? "=" + *o.value : "");
    for (const std::string& a : line.arguments)
        arguments += (arguments.empty() ? "" : " ") + a;
    EXPECT_EQ(options, GetParam().options);
    EXPECT_EQ(arguments, GetParam().arguments);
    EXPECT_EQ(line.error, GetParam().error);
}

INSTANTIATE_TEST_SUITE_P(
    Tools, CommandLines,
    ::testing::Values(
        LineCase{{"-j4", "a", "--range=3", "-", "--jobs", "2", "-ofile"},
                 "-j=4 --range=3 --jobs=2 -o=file",
                 "a -",
                 ""},
        LineCase{{"--json=1", "--", "--range", "x"}, "--json", "--range x", ""},
        LineCase{{"--range", "--json"}, "--range=--json", "", ""}, // a value may begin with '-'
        LineCase{
            {"--range", "x", "--bogus=2", "--json"}, "--range=x", "", "unknown option --bogus"},
        LineCase{{"-h", "-xyz"}, "-h", "", "unknown option -xyz"},
        LineCase{{"--j=4"}, "", "", "unknown option --j"}, // one letter: one dash
        LineCase{{"--json", "--range"}, "--json", "", "--range needs a value"},
        // One dash, one letter: a run of them is unknown, a value is the rest as written.
        LineCase{{"-hh"}, "", "", "unknown option -hh"},
        LineCase{{"-h", "-hj4"}, "-h", "", "unknown option -hj4"},
        LineCase{{"-o=x", "-j-4", "a"}, "-o==x -j=-4", "a", ""},
        // An option's value is never an option, unknown or misspelt.
        LineCase{{"-o", "--j=1", "--range", "--bogus", "--bogus"},
                 "-o=--j=1 --range=--bogus",
                 "",
                 "unknown option --bogus"},
        // Without other arguments, the first of them fails before a later bad option.
        LineCase{{"--json", "a", "--j=4"}, "--json", "", "unknown option a", false}));

} // namespace
