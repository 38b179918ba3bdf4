// The test plans, a session's approval, a breaker's history and the breakers due, on the
// command line.
#include "platform/files.h"
#include "platform/textformat.h"
#include "records/testplan.h"
#include "recordstool/tool.h"
#include "waveform/waveform.h"

#include "csv_reader.h"
#include "records_fixture.h"
#include "tool_run.h"

#include <sstream>

using namespace qarn3;
using namespace qarn3::test;

namespace {

class PlansTool : public RecordsDatabaseTest {
public:
    PlansTool() { EXPECT_EQ(makeDemoFiles(folder), ""); }

    ToolRun run(const std::vector<std::string>& args) { return runRecords(args, folder + "/data"); }
    ToolRun import(const std::string& breaker, const std::string& band) {
        return run({"--db", path, "import", "--site", "S", "--breaker", breaker, "--rating", "400",
                    "--pole", "A", "--kind", "long-time", "--multiple", "0.8", "--band", band,
                    folder + "/QARN3Pulse.owf"});
    }
};

TEST_F(PlansTool, PlansExportImportAndListWithTheBuiltInOne) {
    ASSERT_TRUE(RecordsDatabase(DatabaseLocation::file(path)).open().ok);
    ToolRun r = run({"--db", path, "plans", "list"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "LSIG three-pole  13 points  3 checks  cool-down 15 min\n");
    const ToolRun exported = run({"--db", path, "plans", "export"});
    ASSERT_EQ(exported.status, 0) << exported.err;
    EXPECT_EQ(exported.out, testPlanCsvText({builtInPlan()}));

    // The built-in plan renamed and shortened, imported; a bad file takes nothing.
    std::string text = exported.out;
    for (std::size_t at = text.find("LSIG three-pole"); at != std::string::npos;
         at = text.find("LSIG three-pole", at))
        text.replace(at, 15, "Quick");
    put(folder + "/quick.csv", text);
    r = run({"--db", path, "plans", "import", folder + "/quick.csv"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("1 new, 0 replaced"), std::string::npos) << r.out;
    put(folder + "/bad.csv", text + "Other,point,A,long-time,3xIr,settings,,,,0,\r\n");
    r = run({"--db", path, "plans", "import", folder + "/bad.csv"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("bad.csv line "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("; nothing imported"), std::string::npos) << r.err;
    r = run({"--db", path, "plans", "list"});
    EXPECT_EQ(r.out, "LSIG three-pole  13 points  3 checks  cool-down 15 min\n"
                     "Quick  13 points  3 checks  cool-down 15 min\n");
    r = run({"--db", path, "plans", "export", "-o", folder + "/all.csv"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto all = FileStore().readAll(folder + "/all.csv");
    ASSERT_TRUE(all);
    EXPECT_EQ(parseTestPlanCsv(*all).plans.size(), 2u);
}

TEST_F(PlansTool, ApproveOnceThenTheSessionIsLocked) {
    ASSERT_EQ(import("Q1", "0.01,0.1").status, 0);
    const std::string session = rawValue("SELECT id FROM session").toString().toStdString();
    ToolRun r = run({"--db", path, "approve", "--session", session});
    EXPECT_EQ(r.status, 2) << "--by is needed";
    r = run({"--db", path, "approve", "--session", session, "--by", "Olga"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Approved session " + session + " by Olga on ", 0), 0u) << r.out;
    r = run({"--db", path, "approve", "--session", session, "--by", "Pete"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("was approved by Olga"), std::string::npos) << r.err;
    // The import's --session latest adds a test point: refused by the database.
    r = run({"--db",      path,       "import",    "--site",     "S",
             "--breaker", "Q1",       "--rating",  "400",        "--pole",
             "B",         "--kind",   "long-time", "--multiple", "0.8",
             "--band",    "0.01,0.1", "--session", "latest",     folder + "/QARN3Pulse.owf"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("approved session"), std::string::npos) << r.err;
    EXPECT_EQ(rawValue("SELECT count(*) FROM shot").toInt(), 4);
    r = run({"--db", path, "note", "--session", session, "--by", "Olga", "--text",
             "Pole A retested on 12 Dec"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(rawValue("SELECT text FROM session_note").toString(), "Pole A retested on 12 Dec");
    r = run({"--db", path, "note", "--session", session, "--by", "Olga", "--text", " "});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("note: it is empty"), std::string::npos) << r.err;
    r = run({"--db", path, "note", "--session", "nope", "--by", "Olga", "--text", "x"});
    EXPECT_EQ(r.status, 1);
    r = run({"--db", path, "approve", "--session", "nope", "--by", "Olga"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("No session nope"), std::string::npos) << r.err;
}

TEST_F(PlansTool, HistoryGivesEachSessionsPositionAndDueListsWhatIsDue) {
    // The session's last pulse clears in 0.2496 s: a band of 0 to 1 s puts it at 25 %, one of
    // 0.2 to 0.3 s at 50 %: towards the middle, no mark.
    ASSERT_EQ(import("Q1", "0,1").status, 0);
    ASSERT_EQ(import("Q1", "0.2,0.3").status, 0);
    ToolRun r = run({"--db", path, "history", "--breaker", "Q1", "--site", "S"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<Record> rows = parseCsv(r.out);
    ASSERT_EQ(rows.size(), 3u) << r.out;
    EXPECT_EQ(rows[0][4], "position");
    EXPECT_EQ(rows[1][2], "long-time");
    EXPECT_EQ(rows[1][3], "A");
    EXPECT_NEAR(parseReal(rows[1][4]), 0.2496, 1e-4); // the unrounded seconds
    EXPECT_NEAR(parseReal(rows[2][4]), 0.496, 1e-3);
    EXPECT_EQ(rows[2][5], "0");
    r = run({"--db", path, "history", "--breaker", "Q1", "--format", "jsonl"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"kind\":\"long-time\",\"pole\":\"A\""), std::string::npos) << r.out;
    r = run({"--db", path, "history", "--breaker", "Q9"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no breaker Q9"), std::string::npos) << r.err;
    r = run({"--db", path, "history", "--breaker", "Q1", "--site", "Nope"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("no site Nope"), std::string::npos) << r.err;

    // Tested today with a 36-month interval: not due within a month, due within 4 years.
    r = run({"--db", path, "due"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    r = run({"--db", path, "due", "--within", "1500"});
    EXPECT_EQ(r.out.rfind("S  Q1  due ", 0), 0u) << r.out;
    // A session three years old on another breaker: overdue.
    ASSERT_EQ(import("Q2", "0,1").status, 0);
    {
        RecordsDatabase db(DatabaseLocation::file(path));
        ASSERT_TRUE(db.open().ok);
        RecordsError e;
        ASSERT_TRUE(db.run("UPDATE session SET started_at = '2023-01-02T10:00:00.000Z' WHERE "
                           "breaker_id = (SELECT id FROM breaker WHERE designation = 'Q2')",
                           e))
            << e.message;
    }
    r = run({"--db", path, "due"});
    EXPECT_EQ(r.out, "S  Q2  overdue 2026-01-02\n");
    // A word the command does not take is a usage error, not left out unsaid.
    for (const std::vector<std::string>& wrong : std::vector<std::vector<std::string>>{
             {"due", "--within", "soon"},
             {"due", "30"},
             {"history", "--breaker", "Q2", "Q3"},
             {"history", "Q2"}}) {
        std::vector<std::string> args{"--db", path};
        args.insert(args.end(), wrong.begin(), wrong.end());
        r = run(args);
        EXPECT_EQ(r.status, 2) << wrong.back() << ": " << r.out;
        EXPECT_EQ(r.out, "") << wrong.back();
    }
}

} // namespace
