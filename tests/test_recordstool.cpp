// qarn3-records: the demonstration files imported with the readings qarn3-analyze gives,
// exported as CSV and JSON Lines and read back, waveforms returned byte for byte, the exit
// statuses, and an import killed at any moment leaving only whole files' shots.
#include "calsetup/cal.h"
#include "calsetup/caldate.h"
#include "engine/analysis.h"
#include "platform/textformat.h"
#include "recordstool/tool.h"
#include "waveform/waveform.h"

#include "csv_reader.h"
#include "fake_owners.h"
#include "records_fixture.h"
#include "tool_run.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QThread>

#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace qarn3;
using namespace qarn3::test;

namespace {

class RecordsToolTest : public RecordsDatabaseTest {
public:
    RecordsToolTest() { EXPECT_EQ(makeDemoFiles(folder), ""); }

    ToolRun run(const std::vector<std::string>& args) { return runRecords(args, folder + "/data"); }

    std::vector<std::string> importArgs(const std::vector<std::string>& files) const {
        std::vector<std::string> a{"--db",      path,     "import",    "--site",     "S",
                                   "--breaker", "B",      "--rating",  "400",        "--pole",
                                   "A",         "--kind", "long-time", "--multiple", "3",
                                   "--band",    "0.1,0.5"};
        a.insert(a.end(), files.begin(), files.end());
        return a;
    }

    std::string pulseFile() const { return folder + "/QARN3Pulse.owf"; }
    std::string longFile() const { return folder + "/QARN3Long.owf"; }
};

std::map<std::string, std::string> fieldsOf(const Record& header, const Record& r) {
    std::map<std::string, std::string> m;
    for (std::size_t i = 0; i < header.size() && i < r.size(); ++i)
        m[header[i]] = r[i];
    return m;
}

TEST_F(RecordsToolTest, ImportGivesTheAnalysisReadingsAndTheExportsReadBack) {
    TCalRecord cal;
    setCalDefaults(cal, static_cast<double>(dayNumberFromCivil(2026, 3, 1)));
    cal.SerNum = "SN-4711";
    put(folder + "/QARN3.ocf", buildCalImage(cal));
    const ToolRun imported = run({"--db",
                                  path,
                                  "import",
                                  "--site",
                                  "Plant \"A\", north",
                                  "--breaker",
                                  "Q1",
                                  "--rating",
                                  "400",
                                  "--pole",
                                  "B",
                                  "--kind",
                                  "short-time",
                                  "--multiple",
                                  "0.8",
                                  "--band",
                                  "0.05,0.2",
                                  "--operator",
                                  "Ann",
                                  "--cal",
                                  folder + "/QARN3.ocf",
                                  pulseFile(),
                                  longFile()});
    ASSERT_EQ(imported.status, 0) << imported.err;
    EXPECT_NE(imported.out.find("Stored 5 shots of 2 files"), std::string::npos);

    std::map<std::pair<std::string, std::string>, AnalysisPulse> expected;
    for (const std::string& f : {pulseFile(), longFile()}) {
        AnalysisOptions o;
        o.waveFile = f;
        o.calFile = folder + "/QARN3.ocf";
        const AnalysisResult a = analyzeWaveform(o);
        ASSERT_TRUE(a.ok);
        for (std::size_t i = 0; i < a.pulses.size(); ++i)
            expected[{f, std::to_string(i + 1)}] = a.pulses[i];
    }
    ASSERT_EQ(expected.size(), 5u);

    const ToolRun csv = run({"--db", path, "export", "--format", "csv"});
    ASSERT_EQ(csv.status, 0) << csv.err;
    const std::vector<Record> records = parseCsv(csv.out);
    ASSERT_EQ(records.size(), 6u);
    std::set<std::string> csvIds;
    std::map<std::string, std::string> verdicts;
    for (std::size_t i = 1; i < records.size(); ++i) {
        auto f = fieldsOf(records[0], records[i]);
        const AnalysisPulse& p = expected.at({f["source"], f["pulse"]});
        EXPECT_EQ(f["current_a"] + " A", trimText(p.current));
        EXPECT_EQ(f["seconds"] + " secs", trimText(p.seconds));
        EXPECT_EQ(f["cycles"] + " cycs", trimText(p.cycles));
        EXPECT_EQ(f["suspect"], p.result.suspect ? "1" : "0");
        EXPECT_EQ(f["cut_short"], p.result.cutShort ? "1" : "0");
        EXPECT_EQ(f["site"], "Plant \"A\", north");
        EXPECT_EQ(f["band_min_s"], "0.05");
        EXPECT_EQ(f["band_max_s"], "0.2");
        // Where the time lies in the band, 0 at its minimum and 1 at its maximum.
        EXPECT_EQ(f["band_position"],
                  formatFixed((static_cast<double>(p.result.seconds) - 0.05) / 0.15, 0, 4));
        EXPECT_EQ(f["analyzer_serial"], "SN-4711");
        EXPECT_EQ(f["analyzer_cal_date"], "2026-03-01");
        EXPECT_EQ(f["operator"], "Ann");
        // The measured multiple of In, beside the target the test point was set for.
        EXPECT_EQ(f["target_multiple"], "0.8");
        EXPECT_EQ(f["multiple"], formatFixed(p.result.pulseAmps / 400.0, 0, 3));
        csvIds.insert(f["shot_id"]);
        verdicts[f["source"] + "#" + f["pulse"]] = f["verdict"];
    }
    EXPECT_EQ(verdicts[pulseFile() + "#1"], "PASS");      // 0.0504 s
    EXPECT_EQ(verdicts[pulseFile() + "#3"], "FAIL SLOW"); // 0.2300 s
    EXPECT_EQ(verdicts[longFile() + "#1"], "FAIL SLOW");  // 1.8721 s

    const ToolRun jsonl = run({"--db", path, "export", "--format", "jsonl", "--verdict", "pass"});
    ASSERT_EQ(jsonl.status, 0) << jsonl.err;
    std::istringstream in(jsonl.out);
    int passes = 0;
    for (std::string line; std::getline(in, line); ++passes) {
        const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
        const std::string id = o["shot_id"].toString().toStdString();
        EXPECT_TRUE(csvIds.count(id)) << id;
        const AnalysisPulse& p =
            expected.at({o["source"].toString().toStdString(), std::to_string(o["pulse"].toInt())});
        EXPECT_EQ(o["current_a"].toDouble(), static_cast<double>(p.result.pulseAmps));
        EXPECT_EQ(o["seconds"].toDouble(), p.result.seconds);
        EXPECT_DOUBLE_EQ(o["multiple"].toDouble(), p.result.pulseAmps / 400.0);
        EXPECT_EQ(o["verdict"].toString(), "PASS");
        EXPECT_TRUE(o["hold_s"].isNull());

        const std::string out = folder + "/back.owf";
        ASSERT_EQ(run({"--db", path, "waveform", id, "-o", out}).status, 0);
        EXPECT_EQ(FileStore().readAll(out), FileStore().readAll(pulseFile()));
    }
    EXPECT_EQ(passes, 2);
}

struct StatusCase {
    const char* name;
    std::function<void(std::vector<std::string>&, const RecordsToolTest&)> change;
    int status;
    const char* says;
    int shotsAfter; // one shot is there from the import before
};

void set(std::vector<std::string>& args, const std::string& option, const std::string& value) {
    for (std::size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == option) args[i + 1] = value;
}

class ExitStatus : public RecordsToolTest, public ::testing::WithParamInterface<StatusCase> {};

// Usage errors exit 2, refused values and unreadable records 1 with what is wrong named, and
// a refused import stores nothing.
TEST_P(ExitStatus, NamesWhatIsWrong) {
    ASSERT_EQ(run(importArgs({longFile()})).status, 0);
    std::vector<std::string> args = importArgs({pulseFile()});
    GetParam().change(args, *this);
    const ToolRun r = run(args);
    EXPECT_EQ(r.status, GetParam().status) << r.err;
    EXPECT_NE(r.err.find(GetParam().says), std::string::npos) << r.err;
    EXPECT_EQ(rawValue("SELECT count(*) FROM shot").toInt(), GetParam().shotsAfter);
}

using Args = std::vector<std::string>;
using Test = RecordsToolTest;

// A stray space in a name typed on the command line makes no site or breaker of its own.
TEST_F(RecordsToolTest, NamesAreTakenWithoutStraySpaces) {
    ASSERT_EQ(run(importArgs({longFile()})).status, 0);
    Args a = importArgs({pulseFile()});
    set(a, "--site", " S ");
    set(a, "--breaker", "B ");
    ASSERT_EQ(run(a).status, 0);
    EXPECT_EQ(rawValue("SELECT count(*) FROM site").toInt(), 1);
    EXPECT_EQ(rawValue("SELECT count(*) FROM breaker").toInt(), 1);
    const ToolRun csv = run({"--db", path, "export", "--format", "csv", "--site", "S "});
    ASSERT_EQ(csv.status, 0) << csv.err;
    EXPECT_EQ(std::count(csv.out.begin(), csv.out.end(), '\n'),
              1 + rawValue("SELECT count(*) FROM shot").toInt());
}

INSTANTIATE_TEST_SUITE_P(
    Commands, ExitStatus,
    ::testing::Values(
        StatusCase{"NoCommand", [](Args& a, const Test&) { a = {}; }, 2, "no command", 1},
        StatusCase{"UnknownCommand", [](Args& a, const Test&) { a[2] = "frob"; }, 2,
                   "unknown command frob", 1},
        StatusCase{"RatingMissing",
                   [](Args& a, const Test&) { a.erase(a.begin() + 7, a.begin() + 9); }, 2,
                   "--rating is needed", 1},
        StatusCase{"RatingNotANumber", [](Args& a, const Test&) { set(a, "--rating", "4OO"); }, 2,
                   "rating: '4OO' is not a number", 1},
        StatusCase{"RatingZero", [](Args& a, const Test&) { set(a, "--rating", "0"); }, 1,
                   "rating: must be above zero", 1},
        StatusCase{"RatingOfTheRecordsDiffers",
                   [](Args& a, const Test&) { set(a, "--rating", "630"); }, 1,
                   "rating: breaker B of site S is rated 400 A in the records, not 630 A", 1},
        StatusCase{"SiteEmptyRefusedBeforeAnyFile",
                   [](Args& a, const Test&) { set(a, "--site", " "); }, 1,
                   "qarn3-records: site: is empty\n", 1},
        StatusCase{"BandReversed", [](Args& a, const Test&) { set(a, "--band", "0.5,0.1"); }, 1,
                   "band: minimum is above maximum", 1},
        StatusCase{"BandNegative", [](Args& a, const Test&) { set(a, "--band", "-0.1,0.5"); }, 1,
                   "band minimum: must not be negative", 1},
        StatusCase{"UnknownPole", [](Args& a, const Test&) { set(a, "--pole", "D"); }, 2,
                   "--pole takes A, B, C or N", 1},
        StatusCase{"MissingFileIsNamedTheOthersStored",
                   [](Args& a, const Test& f) { a.push_back(f.folder + "/missing.owf"); }, 1,
                   "missing.owf", 5},
        // Sparse: refused by its size, never read (whole it would fill the memory).
        StatusCase{"FileLargerThanTheFormatHolds",
                   [](Args& a, const Test& f) {
                       const std::string big = f.folder + "/big.owf";
                       f.put(big, *FileStore().readAll(f.pulseFile()));
                       std::filesystem::resize_file(big, 400'000'000);
                       a.back() = big;
                   },
                   1,
                   "big.owf: it is 400000000 bytes, larger than a waveform file can be (120059"
                   " bytes)",
                   1},
        StatusCase{"UnknownVerdict",
                   [](Args& a, const Test& f) {
                       a = {"--db", f.path, "export", "--verdict", "MAYBE"};
                   },
                   2, "unknown verdict MAYBE", 1},
        StatusCase{"NoSuchShot",
                   [](Args& a, const Test& f) {
                       a = {"--db", f.path, "waveform", newRecordId(), "-o", f.folder + "/w"};
                   },
                   1, "No shot ", 1},
        StatusCase{"NoDatabase",
                   [](Args& a, const Test& f) {
                       a = {"--db", f.folder + "/none.db", "export"};
                   },
                   1, "No records database", 1},
        StatusCase{"SchemaOfAReadOnlyOlderFile",
                   [](Args& a, const Test& f) {
                       f.rawValue("PRAGMA user_version = 2");
                       ASSERT_EQ(::chmod(f.path.c_str(), 0444), 0);
                       a = {"--db", f.path, "schema"};
                   },
                   1, "was not brought to schema version 6", 1},
        // Only reading, the command leaves the file as it is rather than export nothing.
        StatusCase{"ExportOfADamagedDatabase",
                   [](Args& a, const Test& f) {
                       f.put(f.folder + "/damaged.db", std::string(5000, 'z'));
                       a = {"--db", f.folder + "/damaged.db", "export"};
                   },
                   1, "damaged.db is damaged: file is not a database", 1}),
    [](const auto& c) { return std::string(c.param.name); });

// The three poles of one test, imported one folder at a time, are one session and one report.
TEST_F(RecordsToolTest, PolesImportedOneAtATimeShareTheLatestSession) {
    ASSERT_EQ(run(importArgs({longFile()})).status, 0); // an older session of the breaker
    QThread::msleep(5);                                 // started later, to the millisecond
    for (const char* pole : {"A", "B", "C"}) {
        const std::string poleFolder = folder + "/pole" + pole;
        std::filesystem::create_directory(poleFolder);
        put(poleFolder + "/T.owf", *FileStore().readAll(pulseFile()));
        Args a = importArgs({poleFolder});
        set(a, "--pole", pole);
        if (std::string(pole) != "A") a.insert(a.begin() + 3, {"--session", "latest"});
        const ToolRun r = run(a);
        ASSERT_EQ(r.status, 0) << r.err;
    }
    EXPECT_EQ(rawValue("SELECT count(*) FROM session").toInt(), 2);
    EXPECT_EQ(rawValue("SELECT count(DISTINCT p.session_id) FROM shot s JOIN test_point p"
                       " ON p.id = s.test_point_id WHERE s.source LIKE '%/pole_/T.owf'")
                  .toInt(),
              1);
    EXPECT_EQ(rawValue("SELECT group_concat(pole, '') FROM (SELECT pole FROM test_point"
                       " WHERE session_id = (SELECT session_id FROM test_point GROUP BY"
                       " session_id HAVING count(*) = 3) ORDER BY pole)")
                  .toString(),
              "ABC");
    const std::string pdf = folder + "/report.pdf";
    const ToolRun report = run({"--db", path, "report", "--session", "latest", "-o", pdf});
    ASSERT_EQ(report.status, 0) << report.err;
    EXPECT_NE(report.out.find("(12 shots)"), std::string::npos) << report.out;
}

struct SessionCase {
    const char* name;
    // The --session value and other changes, given the ids of the sessions made before.
    std::function<void(Args&, const std::map<std::string, std::string>& sessions)> change;
    const char* says;
};

class ChosenSession : public RecordsToolTest, public ::testing::WithParamInterface<SessionCase> {};

// A session that is not there, is another breaker's or another site's, or was recorded
// under another condition or operator is refused with the reason, and nothing is stored.
TEST_P(ChosenSession, RefusedWithTheReasonStoringNothing) {
    std::map<std::string, std::string> sessions;
    for (const auto& [site, breaker] :
         std::vector<std::pair<std::string, std::string>>{{"S", "B"}, {"S", "B2"}, {"T", "B"}}) {
        Args a = importArgs({longFile()});
        set(a, "--site", site);
        set(a, "--breaker", breaker);
        a.insert(a.end() - 1, {"--operator", "Ann"});
        ASSERT_EQ(run(a).status, 0);
        sessions[site + "/" + breaker] =
            rawValue("SELECT id FROM session ORDER BY created_at DESC, rowid DESC LIMIT 1")
                .toString()
                .toStdString();
    }
    const auto count = [this] {
        return std::vector<int>{rawValue("SELECT count(*) FROM session").toInt(),
                                rawValue("SELECT count(*) FROM test_point").toInt(),
                                rawValue("SELECT count(*) FROM shot").toInt()};
    };
    const std::vector<int> before = count();
    Args a = importArgs({pulseFile()});
    a.insert(a.begin() + 3, {"--session", "latest"});
    GetParam().change(a, sessions);
    const ToolRun r = run(a);
    EXPECT_EQ(r.status, 1) << r.err;
    std::string says = GetParam().says;
    for (const auto& [name, id] : sessions)
        for (std::size_t at = says.find("<" + name + ">"); at != std::string::npos;
             at = says.find("<" + name + ">"))
            says.replace(at, name.size() + 2, id);
    EXPECT_NE(r.err.find("qarn3-records: " + says), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(count(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Import, ChosenSession,
    ::testing::Values(
        SessionCase{"NoSuchSession",
                    [](Args& a, const auto&) {
                        set(a, "--session", "6d7c3b8e-0000-4000-8000-000000000000");
                    },
                    "session: there is no session 6d7c3b8e-0000-4000-8000-000000000000"},
        SessionCase{"AnotherBreakersSession",
                    [](Args& a, const auto& s) { set(a, "--session", s.at("S/B2")); },
                    "session: session <S/B2> is of breaker B2 of site S, not of breaker B of"
                    " site S"},
        SessionCase{"AnotherSitesSession",
                    [](Args& a, const auto& s) { set(a, "--session", s.at("T/B")); },
                    "session: session <T/B> is of breaker B of site T, not of breaker B of"
                    " site S"},
        SessionCase{"ConditionDiffers",
                    [](Args& a, const auto&) {
                        a.insert(a.end() - 1, {"--condition", "as-left"});
                    },
                    "condition: session <S/B> is as-found, not as-left"},
        SessionCase{"ConditionDiffersFromTheSessionNamed",
                    [](Args& a, const auto& s) {
                        set(a, "--session", s.at("S/B"));
                        a.insert(a.end() - 1, {"--condition", "other"});
                    },
                    "condition: session <S/B> is as-found, not other"},
        SessionCase{"OperatorDiffers",
                    [](Args& a, const auto&) {
                        a.insert(a.end() - 1, {"--operator", "Bob"});
                    },
                    "operator: session <S/B> is by \"Ann\", not \"Bob\""},
        SessionCase{"RatingDiffers", [](Args& a, const auto&) { set(a, "--rating", "630"); },
                    "rating: breaker B of site S is rated 400 A in the records, not 630 A"}),
    [](const auto& c) { return std::string(c.param.name); });

struct DatabaseLinkCase {
    const char* name;
    bool ofOther; // the link belongs to another user
    bool followed;
};

class LinkedDatabase : public RecordsToolTest,
                       public ::testing::WithParamInterface<DatabaseLinkCase> {};

// A database named through a link in a sticky folder every user may write to is opened only
// where the kernel would follow the link: the user's own link leads to the user's file,
// another user's makes nothing there (the database engine resolves links by itself).
TEST_P(LinkedDatabase, FollowedOnlyAsTheKernelFollowsIt) {
    const std::string shared = folder + "/shared";
    std::filesystem::create_directory(shared);
    ::chmod(shared.c_str(), 01777);
    const std::string target = folder + "/target.db";
    const std::string link = shared + "/QARN3.db";
    std::filesystem::create_symlink(target, link);
    if (GetParam().ofOther && ::lchown(link.c_str(), kOtherUser, kOtherUser) != 0)
        GTEST_SKIP() << "cannot give a link to another user here";
    path = link;
    const ToolRun r = run(importArgs({pulseFile()}));
    EXPECT_EQ(r.status, GetParam().followed ? 0 : 1) << r.err;
    EXPECT_EQ(FileStore().exists(target), GetParam().followed);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    if (!GetParam().followed) {
        EXPECT_NE(r.err.find(link + " is a link that another user (uid 4242) made"),
                  std::string::npos)
            << r.err;
    }
}

INSTANTIATE_TEST_SUITE_P(Records, LinkedDatabase,
                         ::testing::Values(DatabaseLinkCase{"OwnLink", false, true},
                                           DatabaseLinkCase{"OtherUsersLink", true, false}),
                         [](const auto& c) { return std::string(c.param.name); });

struct ControlsCase {
    const char* name;
    std::function<Args(const RecordsToolTest&, const std::string& odd)> args;
};

class ControlsInNames : public RecordsToolTest,
                        public ::testing::WithParamInterface<ControlsCase> {};

// A name with a line break or an escape sequence reaches the terminal escaped, in the shot
// lines and in every message, never as a control character the terminal would obey.
TEST_P(ControlsInNames, ReachTheTerminalEscaped) {
    const std::string odd = folder + "/a\nB\x1b[2J.owf";
    put(odd, *FileStore().readAll(pulseFile()));
    ASSERT_EQ(run(importArgs({longFile()})).status, 0);
    const ToolRun r = run(GetParam().args(*this, odd));
    const std::string shown = r.out + r.err;
    EXPECT_NE(shown.find("a\\x0aB\\x1b[2J"), std::string::npos) << shown;
    EXPECT_EQ(shown.find('\x1b'), std::string::npos) << shown;
}

INSTANTIATE_TEST_SUITE_P(
    Records, ControlsInNames,
    ::testing::Values(ControlsCase{"ShotLine",
                                   [](const Test& f, const std::string& odd) {
                                       return f.importArgs({odd});
                                   }},
                      ControlsCase{"MissingFile",
                                   [](const Test& f, const std::string& odd) {
                                       return f.importArgs({odd + ".missing"});
                                   }},
                      ControlsCase{"OutputNotWritten",
                                   [](const Test& f, const std::string& odd) {
                                       return Args{"--db", f.path, "export", "-o", odd + "/x.csv"};
                                   }},
                      ControlsCase{"UnknownCommand",
                                   [](const Test& f, const std::string& odd) {
                                       return Args{"--db", f.path, odd};
                                   }}),
    [](const auto& c) { return std::string(c.param.name); });

// Two imports at once into one file find or make the site and the breaker in the same write
// transaction as their shots: one site S and one breaker B, whether the site was there before
// or not, however their starts fall.
TEST_F(RecordsToolTest, ImportsAtOnceMakeOneSiteAndOneBreaker) {
    for (int round = 0; round < 6; ++round) {
        const bool siteBefore = round % 2 == 1;
        SCOPED_TRACE("round " + std::to_string(round) + (siteBefore ? ", site there" : ""));
        path = folder + "/race" + std::to_string(round) + ".db";
        if (siteBefore) {
            Args a = importArgs({longFile()});
            set(a, "--breaker", "Other");
            ASSERT_EQ(run(a).status, 0);
        }
        std::vector<std::unique_ptr<QProcess>> imports;
        for (const std::string& file : {pulseFile(), longFile()}) {
            QStringList args;
            for (const std::string& a : importArgs({file}))
                args << QString::fromStdString(a);
            imports.push_back(std::make_unique<QProcess>());
            imports.back()->start(QARN3_RECORDS_TOOL, args);
        }
        for (auto& p : imports) {
            ASSERT_TRUE(p->waitForFinished(60000));
            EXPECT_EQ(p->exitCode(), 0) << p->readAllStandardError().toStdString();
        }
        EXPECT_EQ(rawValue("SELECT count(*) FROM site WHERE name = 'S'").toInt(), 1);
        EXPECT_EQ(rawValue("SELECT count(*) FROM breaker WHERE designation = 'B'").toInt(), 1);
        EXPECT_EQ(rawValue("SELECT count(*) FROM session e JOIN breaker b ON b.id ="
                           " e.breaker_id WHERE b.designation = 'B'")
                      .toInt(),
                  2);
        EXPECT_EQ(rawValue("SELECT count(*) FROM shot").toInt(), siteBefore ? 6 : 5);
    }
}

class NamesNotUtf8 : public RecordsToolTest, public ::testing::WithParamInterface<bool> {};

// A name that is not UTF-8 is kept as bytes: the file given by name or found in a folder is
// read with its time, and --db makes the file of exactly that name.
TEST_P(NamesNotUtf8, AreKeptAsBytes) {
    const std::string odd = folder + "/in/bad\xff.owf";
    std::filesystem::create_directory(folder + "/in");
    put(odd, *FileStore().readAll(pulseFile()));
    constexpr std::int64_t kMsecs = 1777636800250; // the file's time, to the millisecond
    const struct timespec times[2] = {{kMsecs / 1000, 250'000'000}, {kMsecs / 1000, 250'000'000}};
    ASSERT_EQ(::utimensat(AT_FDCWD, odd.c_str(), times, 0), 0);
    const std::string oddDb = folder + "/d\xff.db";
    path = oddDb;
    const ToolRun r = run(importArgs({GetParam() ? folder + "/in" : odd}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Stored 4 shots of 1 files"), std::string::npos) << r.out;
    std::set<std::string> made;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().extension() == ".db") made.insert(entry.path().string());
    EXPECT_EQ(made, std::set<std::string>{oddDb});

    path = folder + "/plain.db";
    std::filesystem::rename(oddDb, path);
    EXPECT_EQ(rawValue("SELECT count(*) FROM shot").toInt(), 4);
    EXPECT_EQ(rawValue("SELECT min(taken_at) || ' ' || max(taken_at) FROM shot").toString(),
              QString::fromStdString(isoUtcFromMsecs(kMsecs) + " " + isoUtcFromMsecs(kMsecs)));
}

INSTANTIATE_TEST_SUITE_P(Import, NamesNotUtf8, ::testing::Bool(),
                         [](const auto& c) { return c.param ? "FolderEntry" : "NamedFile"; });

// Killing the import at any moment leaves a sound database holding each file's shots whole
// or not at all, each with its waveform.
TEST_F(RecordsToolTest, KilledImportLeavesOnlyWholeFiles) {
    const std::string many = folder + "/many";
    std::filesystem::create_directory(many);
    std::string wave = *FileStore().readAll(pulseFile());
    constexpr int kFiles = 200;
    for (int i = 0; i < kFiles; ++i) {
        wave.replace(9, 4, formatInt(1000 + i)); // the serial/ID: a waveform of its own
        put(many + "/T" + formatInt(1000 + i) + ".owf", wave);
    }
    // After so many shot lines and a few milliseconds more: during the start, between files
    // and inside a file's transaction.
    const std::vector<std::pair<int, int>> kills{{0, 0},  {0, 30},  {1, 0},
                                                 {37, 1}, {100, 3}, {200, 6}};
    for (const auto& [killAfter, moreMs] : kills) {
        SCOPED_TRACE(std::to_string(killAfter) + " lines + " + std::to_string(moreMs) + " ms");
        const std::string db =
            folder + "/kill" + std::to_string(killAfter) + "-" + std::to_string(moreMs) + ".db";
        QStringList args{"--db", QString::fromStdString(db)};
        const std::vector<std::string> import = importArgs({many});
        for (std::size_t i = 2; i < import.size(); ++i)
            args << QString::fromStdString(import[i]);
        QProcess p;
        p.start(QARN3_RECORDS_TOOL, args);
        ASSERT_TRUE(p.waitForStarted());
        QByteArray out;
        while (out.count('\n') < killAfter && p.state() == QProcess::Running) {
            p.waitForReadyRead(100);
            out += p.readAllStandardOutput();
        }
        QThread::msleep(static_cast<unsigned long>(moreMs));
        p.kill();
        p.waitForFinished();
        out += p.readAllStandardOutput();
        EXPECT_EQ(p.exitStatus(), QProcess::CrashExit) << "the import ended before the kill";
        if (!FileStore().exists(db)) continue;

        path = db;
        RecordsDatabase records(DatabaseLocation::file(db));
        ASSERT_TRUE(records.open().ok);
        EXPECT_FALSE(records.integrityCheck());
        records.close();
        const int shots = rawValue("SELECT count(*) FROM shot").toInt();
        EXPECT_EQ(shots % 4, 0);
        EXPECT_EQ(rawValue("SELECT count(*) FROM (SELECT source FROM shot GROUP BY source"
                           " HAVING count(*) <> 4)")
                      .toInt(),
                  0);
        EXPECT_EQ(rawValue("SELECT count(*) FROM shot s JOIN waveform w ON w.id = s.waveform_id"
                           " WHERE length(w.bytes) = " +
                           std::to_string(wave.size()))
                      .toInt(),
                  shots);
        EXPECT_GE(shots, out.count(" pulse ")) << "a shot reported stored is missing";
    }
}

} // namespace
