// The session report: a demonstration session judged against the sample curve, written by
// qarn3-records and read back with the PDF tools: every reading as the window shows it with
// its verdict, "Page n of m" on every page, every page rendered, and the time-current plot
// showing the band and the points in their verdict colours.
#include "calsetup/cal.h"
#include "calsetup/caldate.h"
#include "engine/analysis.h"
#include "platform/textformat.h"
#include "recordstool/tool.h"
#include "report/pagelayout.h"
#include "report/reportwriter.h"
#include "report/sessionplot.h"
#include "report/timecurrent.h"
#include "store/approval.h"
#include "store/reportload.h"
#include "store/store.h"

#include "records_fixture.h"
#include "waveform/waveform.h"

#include <QImage>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>

#include <cmath>

#include <cstdio>
#include <set>
#include <sstream>
#include <tuple>

using namespace qarn3;
using namespace qarn3::test;

namespace {

class ReportTest : public RecordsDatabaseTest {
public:
    ReportTest() { EXPECT_EQ(makeDemoFiles(folder + "/demo"), ""); }

    int run(const std::vector<std::string>& args, char separator = '.') {
        std::ostringstream out, err;
        RecordsToolEnvironment env{out, err, folder + "/data"};
        env.decimalSeparator = separator;
        const int status = runRecordsTool(args, env);
        EXPECT_EQ(status, 0) << err.str();
        return status;
    }

    // The output of a PDF tool; the test is skipped where poppler-utils is missing.
    static QString tool(const char* program, const QStringList& args) {
        QProcess p;
        p.start(program, args);
        if (!p.waitForFinished(30000) || p.exitCode() != 0) return {};
        return QString::fromUtf8(p.readAllStandardOutput());
    }

    // The PDF's text as laid out, runs of blanks as one.
    QString pdfText(const std::string& pdf) const {
        return tool(QARN3_PDFTOTEXT, {"-layout", QString::fromStdString(pdf), "-"})
            .replace(QRegularExpression("[ \\t]+"), " ");
    }

    std::string session(char separator, const std::string& page = "a4") {
        const std::string pdf = folder + "/report-" + separator + ".pdf";
        run({"--db", path, "report", "--session", "latest", "-o", pdf, "--page", page}, separator);
        return pdf;
    }
};

// Pixels of page 1's left half (the plot's band and points; the table's verdicts and the
// legend lie to the right) within 12 of a colour in each channel.
int pixelsNear(const QImage& page, QColor c) {
    int n = 0;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width() / 2; ++x) {
            const QColor p = page.pixelColor(x, y);
            if (std::abs(p.red() - c.red()) <= 12 && std::abs(p.green() - c.green()) <= 12 &&
                std::abs(p.blue() - c.blue()) <= 12)
                ++n;
        }
    return n;
}

TEST_F(ReportTest, DemonstrationSessionAgainstTheSampleCurve) {
    if (!QARN3_PDFTOTEXT[0]) GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    run({"--db", path, "curves", "import", QARN3_SOURCE_DIR "/records/curves/sample.csv"});
    // An analyzer calibrated 400 days before the test.
    TCalRecord cal;
    setCalDefaults(cal, static_cast<double>(todayDayNumber() - 400));
    cal.SerNum = "SN-4711";
    const std::string calFile = folder + "/QARN3.ocf", demo = folder + "/demo";
    put(calFile, buildCalImage(cal));
    const CivilDate calibrated = civilFromDayNumber(todayDayNumber() - 400);
    // clang-format off
    run({"--db", path, "import", "--site", "North Plant", "--breaker", "Q7", "--rating", "100",
         "--pole", "A", "--kind", "short-time", "--multiple", "3", "--operator", "J. Smith",
         "--curve", "Generic Sample-LSIG", "--cal", calFile, demo});
    // clang-format on
    const std::string pdf = session('.');

    // Each pulse's reading as the engine shows it, with the verdict its band gives: the
    // sample curve's short-time band at 3.1 to 3.3 x In passes 0.23 s and fails 0.05 s; the
    // long pulse's 1.86 x In lies below the curve.
    const std::pair<const char*, std::vector<std::string>> files[] = {
        {"QARN3Long.owf", {"NO BAND"}},
        {"QARN3Pulse.owf", {"FAIL FAST", "FAIL FAST", "PASS", "PASS"}}};
    const QString text = pdfText(pdf);
    ASSERT_FALSE(text.isEmpty());
    for (const auto& [file, verdicts] : files) {
        AnalysisOptions o;
        o.waveFile = folder + "/demo/" + file;
        const std::vector<AnalysisPulse> pulses = analyzeWaveform(o).pulses;
        ASSERT_EQ(pulses.size(), verdicts.size()) << file;
        for (std::size_t i = 0; i < pulses.size(); ++i) {
            const AnalysisPulse& p = pulses[i];
            const std::string line = trimText(p.current) + " " + trimText(p.seconds) + " " +
                                     trimText(p.cycles) + " " + verdicts[i];
            // In the results table and over the waveform's snapshot.
            EXPECT_EQ(text.count(QString::fromStdString(line)), 2) << line;
        }
    }
    char calDate[16];
    std::snprintf(calDate, sizeof calDate, "%04d-%02d-%02d", calibrated.year, calibrated.month,
                  calibrated.day);
    for (const std::string& s : std::vector<std::string>{
             "Overall verdict: FAIL (2 FAIL FAST, 1 NO BAND, 2 PASS)", "North Plant", "J. Smith",
             "Generic Sample-LSIG short-time", "outside curve (2 – 10 x In)", "0.114 – 0.330 s",
             "Analyzer serial number SN-4711", std::string("Calibration date ") + calDate,
             "Warning: the calibration was more than a year old on the day of the test"})
        EXPECT_TRUE(text.contains(QString::fromStdString(s))) << s;

    // Every page says which it is, and renders.
    const int pages = static_cast<int>(text.count('\f'));
    ASSERT_GE(pages, 2);
    for (int i = 1; i <= pages; ++i)
        EXPECT_EQ(text.count(QString("Page %1 of %2").arg(i).arg(pages)), 1) << i;
    const QString png = QString::fromStdString(folder + "/page");
    tool(QARN3_PDFTOPPM, {"-r", "100", "-png", QString::fromStdString(pdf), png});
    for (int i = 1; i <= pages; ++i) {
        const QImage page(png + QString("-%1.png").arg(i));
        ASSERT_FALSE(page.isNull()) << i;
        EXPECT_GT(page.width(), 800);
    }
    // The shaded band (light blue at 45 % over white) and the points in their colours.
    const QImage first(png + "-1.png");
    EXPECT_GT(pixelsNear(first, QColor(199, 219, 241)), 2000);
    EXPECT_GT(pixelsNear(first, QColor(0, 160, 0)), 20);
    EXPECT_GT(pixelsNear(first, QColor(216, 0, 0)), 20);
    EXPECT_GT(pixelsNear(first, QColor(232, 176, 0)), 10);

    // The program's decimal separator, and the page size asked for.
    const std::string comma = session(',', "letter");
    EXPECT_TRUE(pdfText(comma).contains("0,2300 secs 13,80 cycs PASS"));
    const QString info = tool(QARN3_PDFINFO, {QString::fromStdString(comma)});
    EXPECT_TRUE(info.contains("612 x 792 pts (letter)")) << info.toStdString();
    EXPECT_TRUE(tool(QARN3_PDFINFO, {QString::fromStdString(pdf)}).contains("(A4)"));
}

// Long names wrap rather than being cut short; the plot's labels and the rating take the
// program's separator; "off" is three letters of text, not a ligature, and its footnote stays
// when a later shot is on target; a session without a shot is a report saying so.
TEST_F(ReportTest, LongNamesWrapAndASessionWithoutShots) {
    if (!QARN3_PDFTOTEXT[0]) GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    SessionReport r;
    r.site.name = "Hauptverteilung Niederspannung Schaltanlage Gebäude sieben Erdgeschoss Raum "
                  "vierzehn links neben der Tür zum Traforaum";
    r.breaker.designation = "Einspeisung Transformator eins Niederspannungsseite Leistungsschalter";
    r.breaker.maker = "Generic Electrical Distribution Equipment Manufacturing Company";
    r.breaker.model = "Sample extended trip unit with ground fault";
    r.breaker.settings = "Ir 0.9 tr 10 s Isd 4 tsd 0.2 s Ii 8 Ig 0.3 tg 0.2 s zone interlocking on";
    r.breaker.ratedAmps = 125.5;
    r.curves.resize(2);
    r.curves[0].maker = r.curves[1].maker = "G";
    r.curves[0].model = "T10";
    r.curves[1].model = "T1";
    r.session.id = "s1";
    r.session.startedAt = "2026-12-08T15:30:12.345Z";
    r.session.operatorName = "Maximilian Alexander von Hohenzollern Sigmaringen Obertürkheim";
    // Notes keep their line breaks and run on over pages.
    r.session.notes = "First line of notes\nSecond line\n";
    for (int i = 0; i < 1500; ++i)
        r.session.notes += " n" + std::to_string(i);
    ShotRow shot;
    shot.point.pole = Pole::A;
    shot.point.kind = PointKind::ShortTime;
    shot.point.multiple = 3;
    shot.point.band = Band{0.1, 0.4};
    shot.shot.reading.currentAmps = 321.5;
    shot.shot.reading.currentDecimals = 1;
    shot.shot.reading.seconds = 0.23;
    shot.shot.reading.cycles = 13.8;
    shot.shot.multiple = 2.56;
    shot.shot.band = shot.point.band;
    shot.shot.judgement = {Verdict::Pass, true};
    r.shots.push_back(shot);
    // A later shot on target leaves the footnote of the one before it.
    shot.shot.reading.currentAmps = 376.5;
    shot.shot.multiple = 3;
    shot.shot.judgement = {Verdict::Pass, false};
    r.shots.push_back(shot);
    ReportOptions options;
    options.decimalSeparator = ',';
    const std::string pdf = folder + "/long.pdf";
    ASSERT_EQ(writeReportFile(r, options, pdf), "");
    const QString text = pdfText(pdf);
    ASSERT_FALSE(text.isEmpty());
    for (const std::string& name : {r.site.name, r.breaker.designation, r.breaker.maker,
                                    r.breaker.model, r.breaker.settings, r.session.operatorName})
        for (const QString& word : QString::fromStdString(name).split(' '))
            EXPECT_TRUE(text.contains(word)) << word.toStdString();
    EXPECT_FALSE(text.contains("notesSecond"));
    QStringList words;
    for (const QString& w : QString(text).replace('\f', ' ').split(QRegularExpression("\\s+")))
        if (QRegularExpression("^n\\d+$").match(w).hasMatch()) words.push_back(w);
    ASSERT_EQ(words.size(), 1500);
    EXPECT_EQ(words.back(), "n1499");
    EXPECT_GE(text.count('\f'), 3);
    for (const char* s : {"125,5 A", "G T10, G T1", "Band A ST at 3,00 x In", "current off target",
                          "321,5 A 0,2300 secs 13,80 cycs PASS"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(s))) << s;

    r.shots.clear();
    ASSERT_EQ(writeReportFile(r, options, pdf), "");
    const QString empty = pdfText(pdf);
    EXPECT_TRUE(empty.contains("Overall verdict: NO SHOTS"));
    EXPECT_FALSE(empty.contains("Waveforms"));
}

// A made-up profile with the short-time delay the sessions below use.
TripUnitProfile sampleProfile() {
    TripUnitProfile p;
    p.maker = "Generic";
    p.model = "Sample-ETU";
    p.stDelays = {{0.2, 0.15, 0.25}};
    p.gfDelays = {{0.2, 0.15, 0.25}};
    return p;
}

// An as-found session judged by its trip unit's settings, beside the as-left one after it:
// the header names the profile and both sessions' settings with the report's separator, each
// row its band's basis and note on a line of its own, a shot near a pickup is marked and the
// mark explained; on Letter as on A4.
TEST_F(ReportTest, SettingsAsFoundAndAsLeftAndEachShotsBasis) {
    if (!QARN3_PDFTOTEXT[0]) GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    SessionReport r;
    r.site.name = "North Plant";
    r.breaker.designation = "Q7";
    r.breaker.ratedAmps = 400;
    r.breaker.tripSettings = "LTPU=1,LTD=2";
    r.session.id = "s1";
    r.session.condition = Condition::AsFound;
    r.session.startedAt = "2026-12-08T15:30:12.345Z";
    r.session.tripSettings = "LTPU=0.8,LTD=4,STPU=4";
    SessionRecord left = r.session;
    left.id = "s2";
    left.condition = Condition::AsLeft;
    left.tripSettings = "LTPU=0.9,LTD=4,STPU=4";
    r.pairedSession = left;
    r.tripUnit = sampleProfile();

    struct ShotCase {
        BasisKind kind;
        const char* source;
        unsigned function;
        double timesIr, multiple;
        bool nearPickup;
        const char* note;
        const char* basisLine; // as the report shows it
    };
    const ShotCase cases[] = {
        {BasisKind::Settings, "Generic Sample-ETU", TripLongTime, 3.75, 3, true,
         "short-time acts at this current",
         "Basis: settings LTD=4 at 3,75 × Ir, Generic Sample-ETU; short-time acts at this "
         "current"},
        {BasisKind::Curve, "Generic Sample-LSIG", 0, 0, 5, false, "",
         "Basis: curve Generic Sample-LSIG"},
        {BasisKind::Typed, "", 0, 0, 2, false, "", "Basis: typed"}};
    for (const ShotCase& c : cases) {
        ShotRow shot;
        shot.point.pole = Pole::A;
        shot.point.kind = PointKind::LongTime;
        shot.shot.reading.currentAmps = c.multiple * 400;
        shot.shot.reading.seconds = 9.5;
        shot.shot.multiple = c.multiple;
        shot.shot.band = Band{8, 10.5};
        shot.shot.basis = {
            c.kind,     c.source,     c.kind == BasisKind::Settings ? "LTPU=0.8,LTD=4" : "",
            c.function, std::nullopt, c.nearPickup,
            c.note};
        if (c.timesIr > 0) shot.shot.basis.timesIr = c.timesIr;
        shot.shot.judgement = {Verdict::Pass, false};
        r.shots.push_back(shot);
    }
    for (QPageSize::PageSizeId size : {QPageSize::A4, QPageSize::Letter}) {
        ReportOptions options;
        options.decimalSeparator = ',';
        options.pageSize = size;
        const std::string pdf = folder + "/settings.pdf";
        ASSERT_EQ(writeReportFile(r, options, pdf), "");
        const QString text = pdfText(pdf);
        ASSERT_FALSE(text.isEmpty());
        for (const char* s :
             {"Trip unit Generic Sample-ETU", "Settings as found LTPU=0,8; LTD=4; STPU=4",
              "Settings as left LTPU=0,9; LTD=4; STPU=4", "3,00 †",
              "† current near pickup: a function's pickup tolerance holds the current; it may "
              "or may not act"})
            EXPECT_TRUE(text.contains(QString::fromUtf8(s))) << s << "\n" << text.toStdString();
        for (const ShotCase& c : cases)
            EXPECT_EQ(text.count(QString::fromUtf8(c.basisLine)), 1) << c.basisLine;
        EXPECT_FALSE(text.contains("current off target"));
    }

    // Without a profile, paired session or settings: "none", and the breaker's own settings
    // are those in force.
    r.tripUnit.reset();
    r.pairedSession.reset();
    r.session.tripSettings.clear();
    r.session.condition = Condition::Other;
    const std::string pdf = folder + "/plain.pdf";
    ASSERT_EQ(writeReportFile(r, ReportOptions{}, pdf), "");
    const QString text = pdfText(pdf);
    EXPECT_TRUE(text.contains("Trip unit none"));
    EXPECT_TRUE(text.contains("Settings LTPU=1, LTD=2"));
    EXPECT_FALSE(text.contains("Settings as"));
}

// A shot on a point of pole and kind (point id, its number in the plan if any), in the
// band [8, 10.5] s, lasting seconds, with its verdict.
ShotRow pointShot(const std::string& pointId, Pole pole, PointKind kind, std::optional<int> seq,
                  double seconds, Verdict verdict, const std::string& takenAt = "") {
    ShotRow r;
    r.point.id = pointId;
    r.point.pole = pole;
    r.point.kind = kind;
    r.point.planSeq = seq;
    r.shot.reading.takenAt = takenAt;
    r.shot.reading.seconds = seconds;
    r.shot.reading.currentAmps = 1200;
    r.shot.multiple = 3;
    r.shot.band = Band{8, 10.5};
    r.shot.judgement = {verdict, false};
    return r;
}

struct BesideCase {
    const char* name;
    std::vector<ShotRow> asLeft, asFound;
    std::vector<std::optional<std::size_t>> beside;
};

class AsFoundBeside : public ::testing::TestWithParam<BesideCase> {};

TEST_P(AsFoundBeside, EachAsLeftShotFindsItsPointsLastAsFoundShot) {
    const BesideCase& c = GetParam();
    EXPECT_EQ(asFoundBeside(c.asLeft, c.asFound), c.beside);
}

constexpr auto kLT = PointKind::LongTime;
constexpr auto kST = PointKind::ShortTime;
constexpr auto kP = Verdict::Pass;

INSTANTIATE_TEST_SUITE_P(
    Table, AsFoundBeside,
    ::testing::Values(
        // The plan's numbers win over pole and kind: as found, the plan's points 1 and 2 were
        // both pole A long-time and point 2 came first.
        BesideCase{
            "ByPlanNumber",
            {pointShot("l1", Pole::A, kLT, 1, 9, kP), pointShot("l2", Pole::A, kLT, 2, 9, kP)},
            {pointShot("f2", Pole::A, kLT, 2, 9, kP), pointShot("f1", Pole::A, kLT, 1, 9, kP)},
            {1, 0}},
        // Without numbers, the n-th point of a pole and kind matches the n-th; the retested
        // point's last shot is the one shown, and every as-left shot of a point gets it.
        BesideCase{
            "ByPoleAndKindInOrder",
            {pointShot("l1", Pole::B, kLT, {}, 9, kP), pointShot("l2", Pole::B, kLT, {}, 9, kP),
             pointShot("l2", Pole::B, kLT, {}, 9, kP), pointShot("l3", Pole::A, kST, {}, 9, kP)},
            {pointShot("f1", Pole::B, kLT, {}, 9, kP, "T1"),
             pointShot("f1", Pole::B, kLT, {}, 9, kP, "T2"),
             pointShot("fA", Pole::A, kLT, {}, 9, kP, "T3"),
             pointShot("f2", Pole::B, kLT, {}, 9, kP, "T4")},
            {1, 3, 3, std::nullopt}},
        // An as-left point numbered in the plan whose number the as-found one lacks has none;
        // numbers on one side only fall back to pole and kind.
        BesideCase{"PlanNumberNotFound",
                   {pointShot("l1", Pole::A, kLT, 3, 9, kP)},
                   {pointShot("f1", Pole::A, kLT, 1, 9, kP)},
                   {std::nullopt}},
        BesideCase{"NumbersOnOneSideOnly",
                   {pointShot("l1", Pole::A, kLT, 3, 9, kP)},
                   {pointShot("f1", Pole::A, kLT, {}, 9, kP)},
                   {0}},
        BesideCase{
            "NoAsFoundShots", {pointShot("l1", Pole::A, kLT, 1, 9, kP)}, {}, {std::nullopt}}),
    [](const auto& i) { return std::string(i.param.name); });

// An as-left session after an as-found one, approved and with a note added since: the header
// says who approved it and when, the note is there with its date and author, and each row
// carries its point's as-found result on a line of its own, on A4 as on Letter. Unapproved,
// the as-found session says so and shows no as-found lines.
TEST_F(ReportTest, AsLeftBesideAsFoundApprovedWithANote) {
    if (!QARN3_PDFTOTEXT[0]) GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    SessionReport r;
    r.site.name = "North Plant";
    r.breaker.designation = "Q7";
    r.breaker.ratedAmps = 400;
    r.session.id = "left";
    r.session.condition = Condition::AsLeft;
    r.session.startedAt = "2026-12-08T15:30:00.000Z";
    r.session.asFoundId = "found";
    r.session.approvedBy = "Olga Berg";
    r.session.approvedAt = "2026-12-09T10:15:00.000Z";
    SessionRecord found = r.session;
    found.id = "found";
    found.condition = Condition::AsFound;
    found.startedAt = "2026-12-08T14:00:00.000Z";
    found.asFoundId.clear();
    found.approvedBy.clear();
    found.approvedAt.clear();
    r.pairedSession = found;
    r.shots = {pointShot("l1", Pole::A, kLT, 1, 9.25, Verdict::Pass),
               pointShot("l2", Pole::B, kLT, 2, 9.75, Verdict::Pass),
               pointShot("l3", Pole::C, kLT, 3, 10, Verdict::Pass)};
    r.pairedShots = {pointShot("f2", Pole::B, kLT, 2, 12.5, Verdict::FailSlow),
                     pointShot("f1", Pole::A, kLT, 1, 8.5, Verdict::Pass)};
    r.notes = {{"2026-12-10T08:00:00.000Z", "Olga Berg", "Pole B retested after cleaning"}};
    for (QPageSize::PageSizeId size : {QPageSize::A4, QPageSize::Letter}) {
        ReportOptions options;
        options.decimalSeparator = ',';
        options.pageSize = size;
        const std::string pdf = folder + "/asleft.pdf";
        ASSERT_EQ(writeReportFile(r, options, pdf), "");
        const QString text = pdfText(pdf);
        ASSERT_FALSE(text.isEmpty());
        const std::string expected[] = {
            "as-left · " + localTimeText(r.session.startedAt) + " · Approved by Olga Berg on " +
                localTimeText(r.session.approvedAt),
            "Dated notes " + localTimeText(r.notes[0].writtenAt) +
                ", Olga Berg: Pole B retested after cleaning",
            "As found: PASS 8,5000 secs 1200,0 A band 8,00 – 10,5 s",
            "As found: FAIL SLOW 12,5000 secs 1200,0 A band 8,00 – 10,5 s", "As found: no result"};
        for (const std::string& s : expected)
            EXPECT_TRUE(text.contains(QString::fromStdString(s))) << s << "\n"
                                                                  << text.toStdString();
        EXPECT_FALSE(text.contains("Not approved"));
        // In the order of the as-left rows: pole A's as found first, pole B's next.
        EXPECT_LT(text.indexOf("As found: PASS"), text.indexOf("As found: FAIL SLOW"));
        EXPECT_LT(text.indexOf("As found: FAIL SLOW"), text.indexOf("As found: no result"));
    }

    SessionReport f = r;
    f.session = found;
    f.pairedSession = r.session;
    f.shots = r.pairedShots;
    f.pairedShots.clear();
    f.notes.clear();
    const std::string pdf = folder + "/asfound.pdf";
    ASSERT_EQ(writeReportFile(f, ReportOptions{}, pdf), "");
    const QString text = pdfText(pdf);
    EXPECT_TRUE(text.contains(
        QString::fromStdString("as-found · " + localTimeText(found.startedAt) + " · Not approved")))
        << text.toStdString();
    EXPECT_FALSE(text.contains("As found:"));
    EXPECT_FALSE(text.contains("Dated notes"));
}

// Read from the records: an as-left session made from an as-found one takes that one's shots
// beside its own (not those of a later as-found session), its notes and its approval; the
// as-found session takes no shots of the other.
TEST_F(ReportTest, LoadedAsLeftTakesItsAsFoundShotsNotesAndApproval) {
    RecordsDatabase db(DatabaseLocation::file(path));
    ASSERT_TRUE(db.open().ok);
    RecordsStore store(db);
    const auto session = [&](Condition condition, const std::string& start,
                             const std::string& asFoundId, double seconds) {
        ShotContext c = context;
        c.session.id = newRecordId();
        c.session.condition = condition;
        c.session.startedAt = start;
        c.session.asFoundId = asFoundId;
        for (Pole pole : {Pole::A, Pole::B}) {
            c.point.id = newRecordId();
            c.point.sessionId = c.session.id;
            c.point.pole = pole;
            NewShot one = shot(seconds);
            one.reading.takenAt = start;
            std::vector<ShotRecord> stored;
            EXPECT_FALSE(store.storeShots(c, {one}, stored));
        }
        return c.session.id;
    };
    const std::string found = session(Condition::AsFound, "2026-12-01T09:00:00.000Z", "", 0.45);
    session(Condition::AsFound, "2026-12-01T10:00:00.000Z", "", 0.2);
    const std::string left = session(Condition::AsLeft, "2026-12-01T11:00:00.000Z", found, 0.3);
    ASSERT_FALSE(addSessionNote(db, left, "Olga", "Pole B retested"));
    std::string approvedAt;
    ASSERT_FALSE(approveSession(db, left, "Olga Berg", approvedAt));

    SessionReport r;
    ASSERT_FALSE(loadSessionReport(db, left, false, r));
    ASSERT_TRUE(r.pairedSession);
    EXPECT_EQ(r.pairedSession->id, found);
    ASSERT_EQ(r.pairedShots.size(), 2u);
    for (const ShotRow& row : r.pairedShots)
        EXPECT_DOUBLE_EQ(row.shot.reading.seconds, 0.45);
    ASSERT_EQ(r.notes.size(), 1u);
    EXPECT_EQ(r.notes[0].author, "Olga");
    EXPECT_EQ(r.notes[0].text, "Pole B retested");
    EXPECT_EQ(approvalText(r.session), "Approved by Olga Berg on " + localTimeText(approvedAt));

    ASSERT_FALSE(loadSessionReport(db, found, false, r));
    EXPECT_TRUE(r.pairedSession);
    EXPECT_TRUE(r.pairedShots.empty());
    EXPECT_TRUE(r.notes.empty());
    EXPECT_EQ(approvalText(r.session), "Not approved");
}

// Numbered words ("site0001 site0002 …") making up about bytes of text.
std::string numberedWords(const std::string& word, std::size_t bytes) {
    std::string s;
    for (int i = 1; s.size() < bytes; ++i) {
        const std::string n = std::to_string(i);
        s += (s.empty() ? "" : " ") + word +
             std::string(4 - std::min<std::size_t>(4, n.size()), '0') + n;
    }
    return s;
}

// Fields as long as a file (20 kB of site name, designation, notes, and a serial number of
// one word) are cut short within their boxes, ending in an ellipsis: nothing runs over the
// footer or off the page, every footer still names the session, and the report stays a few
// pages long. A crafted site's right-to-left override is written out, not obeyed.
TEST_F(ReportTest, HostileNamesStayInTheirBoxesAndShowTheirControls) {
    if (!QARN3_PDFTOTEXT[0]) GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    SessionReport r;
    r.site.name = "North \u202E1-Q " + numberedWords("site", 20000);
    r.breaker.designation = numberedWords("breaker", 20000);
    r.breaker.serial = std::string(20000, '7');
    r.site.notes = numberedWords("note", 20000);
    r.session.id = "s1";
    r.session.startedAt = "2026-12-08T15:30:12.345Z";
    r.session.operatorName = "J. \u2067Smith\u2069";
    ShotRow shot;
    shot.point.kind = PointKind::ShortTime;
    shot.shot.reading.currentAmps = 321.5;
    shot.shot.reading.seconds = 0.23;
    shot.shot.judgement = {Verdict::Pass, false};
    r.shots.push_back(shot);
    const std::string pdf = folder + "/hostile.pdf";
    ASSERT_EQ(writeReportFile(r, ReportOptions{}, pdf), "");
    const QString text = pdfText(pdf);
    ASSERT_FALSE(text.isEmpty());

    const int pages = static_cast<int>(text.count('\f'));
    EXPECT_GE(pages, 2);
    EXPECT_LE(pages, 6);
    const QString session = QString::fromStdString(localTimeText(r.session.startedAt));
    const QRegularExpression footer(
        "^ ?Breaker test report · North <U\\+202E>1-Q site[0-9 site]+… · breaker[0-9 breaker]+… "
        "· session " +
        QRegularExpression::escape(session) + " Page (\\d+) of " + QString::number(pages) + " ?$");
    int footers = 0;
    for (const QString& line : text.split('\n'))
        if (line.contains("Page ")) {
            const QRegularExpressionMatch m = footer.match(line);
            EXPECT_TRUE(m.hasMatch()) << line.toStdString();
            EXPECT_EQ(m.captured(1).toInt(), ++footers);
        }
    EXPECT_EQ(footers, pages);
    for (const char* cut : {"site\\d{4}…", "breaker\\d{4}…", "note\\d{4}…", "7{8}…"})
        EXPECT_TRUE(text.contains(QRegularExpression(cut))) << cut;
    // A few lines of each name, not thousands of words.
    EXPECT_LT(text.count(QRegularExpression("site\\d{4}")), 200);
    EXPECT_LT(text.count(QRegularExpression("breaker\\d{4}")), 200);
    EXPECT_FALSE(text.contains(QRegularExpression("note2\\d{3}")));
    EXPECT_FALSE(text.contains(QChar(0x202E)));
    EXPECT_TRUE(text.contains("<U+2067>Smith<U+2069>"));

    // Every word on its page, and above the footer but for the footer's own.
    const QString boxes = tool(QARN3_PDFTOTEXT, {"-bbox", QString::fromStdString(pdf), "-"});
    const QRegularExpression pageTag("<page width=\"([\\d.]+)\" height=\"([\\d.]+)\">");
    const QRegularExpression wordTag("<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" "
                                     "xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\">([^<]*)</word>");
    const QStringList pageTexts = boxes.split("<page ").mid(1);
    ASSERT_EQ(pageTexts.size(), pages);
    for (int n = 0; n < pages; ++n) {
        const QString page = "<page " + pageTexts[n];
        const QRegularExpressionMatch size = pageTag.match(page);
        ASSERT_TRUE(size.hasMatch());
        struct Word {
            double x0, y0, x1, y1;
            QString text;
        };
        std::vector<Word> words;
        double footerTop = -1;
        for (const QRegularExpressionMatch& m : wordTag.globalMatch(page)) {
            words.push_back({m.captured(1).toDouble(), m.captured(2).toDouble(),
                             m.captured(3).toDouble(), m.captured(4).toDouble(), m.captured(5)});
            if (words.back().text == "Page") footerTop = words.back().y0;
        }
        ASSERT_GT(footerTop, 0) << n;
        for (const Word& w : words) {
            EXPECT_GE(w.x0, 0) << w.text.toStdString();
            EXPECT_LE(w.x1, size.captured(1).toDouble()) << w.text.toStdString();
            if (std::abs(w.y0 - footerTop) > 1) {
                EXPECT_LT(w.y1, footerTop) << "page " << n + 1 << ": " << w.text.toStdString();
            }
        }
    }
}

// The plot's texts as drawn: where each starts and how wide it is.
struct TextCanvas : PlotCanvas {
    std::vector<std::pair<int, std::string>> texts;
    int width() const override { return 900; }
    int height() const override { return 600; }
    void fill(std::uint32_t) override {}
    void setPen(std::uint32_t, int, bool) override {}
    void setXorMode(bool) override {}
    void line(int, int, int, int) override {}
    void rectangle(int, int, int, int) override {}
    void ellipse(int, int, int, int) override {}
    void text(int x, int, const std::string& s) override { texts.emplace_back(x, s); }
    int textWidth(const std::string& s) const override { return 7 * static_cast<int>(s.size()); }
    int textHeight() const override { return 13; }
    void setFontPoints(int) override {}
};

// A long curve name is cut short in the legend, keeping its kind, and no text leaves the plot.
TEST(TimeCurrentPlot, LongCurveNamesStayInsideTheLegend) {
    const std::string family = "Generic Electrical Distribution Equipment Manufacturing Company "
                               "International Sample-LSIG extended trip unit";
    TimeCurrentPlot data;
    data.bands = {{family + " long-time", {{1.2, 83, 333}, {10, 1.2, 4.8}}},
                  {family + " short-time", {{2, 0.15, 0.4}, {10, 0.08, 0.25}}}};
    data.shots = {{3.2, 0.23, Verdict::Pass, "1 A ST"}};
    TextCanvas canvas;
    PlotEngine plot;
    drawTimeCurrent(plot, canvas, data, paperStyle());
    std::vector<std::string> legend;
    for (const auto& [x, s] : canvas.texts) {
        EXPECT_GE(x, 0) << s;
        EXPECT_LE(x + canvas.textWidth(s), canvas.width()) << s;
        if (s.rfind("Generic", 0) == 0) legend.push_back(s);
    }
    ASSERT_EQ(legend.size(), 2u);
    EXPECT_NE(legend[0].find("\u2026 long-time"), std::string::npos) << legend[0];
    EXPECT_NE(legend[1].find("\u2026 short-time"), std::string::npos) << legend[1];
}

// The settings' curve sampled across the plot: every point is the settings' band at its
// multiple, a run breaks where there is none (below Ir's pickup, in short time's tolerance),
// and the points run from one end of the range to the other.
TEST(TimeCurrentPlot, SettingsCurveIsTheBandAtEachSampledMultiple) {
    FieldError e;
    TripUnitSettings s = *parseTripUnitSettings("LTPU=0.8,LTD=4,STPU=4,STD=0.2,INST=8", e);
    const TripUnitProfile p = sampleProfile();
    const TimeCurrentSettingsCurve curve = settingsCurveOf(s, p, 400, {0.1, 100}, 61);
    std::size_t points = 0;
    for (const auto& run : curve.runs) {
        ASSERT_FALSE(run.empty());
        for (const CurvePoint& c : run) {
            const TripUnitBand b = tripUnitBandAt(s, p, 400, c.multiple * 400);
            ASSERT_TRUE(b.band) << c.multiple;
            EXPECT_DOUBLE_EQ(c.minSeconds, b.band->minSeconds) << c.multiple;
            EXPECT_DOUBLE_EQ(c.maxSeconds, b.band->maxSeconds) << c.multiple;
        }
        points += run.size();
    }
    // Every sample with a band is in the curve, none below long time's pickup (1.2 x Ir).
    int withBand = 0;
    for (int i = 0; i < 61; ++i)
        if (tripUnitBandAt(s, p, 400, std::pow(10.0, -1 + 3.0 * i / 60) * 400).band) ++withBand;
    EXPECT_EQ(points, static_cast<std::size_t>(withBand));
    ASSERT_FALSE(curve.runs.empty());
    EXPECT_GT(curve.runs.front().front().multiple, 0.96);
    EXPECT_LT(curve.runs.front().front().multiple, 0.96 * 1.13);
    EXPECT_NEAR(curve.runs.back().back().multiple, 100, 1e-9);

    // Known currents (x In): long time alone at 2.5 x Ir, short time's tolerance lowering long
    // time's minimum at Isd, short time's flat band, instantaneous.
    struct Known {
        double multiple, minSeconds, maxSeconds;
    };
    for (const Known& k :
         {Known{2, 18.432, 23.04}, Known{3.2, 0.15, 9}, Known{5, 0.15, 0.25}, Known{10, 0, 0.05}}) {
        const TimeCurrentSettingsCurve one =
            settingsCurveOf(s, p, 400, {k.multiple, k.multiple * 1.01}, 2);
        ASSERT_EQ(one.runs.size(), 1u) << k.multiple;
        EXPECT_DOUBLE_EQ(one.runs[0][0].multiple, k.multiple);
        EXPECT_NEAR(one.runs[0][0].minSeconds, k.minSeconds, 1e-9) << k.multiple;
        EXPECT_NEAR(one.runs[0][0].maxSeconds, k.maxSeconds, 1e-9) << k.multiple;
    }
    // Below every pickup, or without a rating: nothing.
    EXPECT_TRUE(settingsCurveOf(s, p, 400, {0.1, 0.9}, 20).runs.empty());
    EXPECT_TRUE(settingsCurveOf(s, p, 0, {0.1, 100}).runs.empty());

    // The pickups at LTPU, STPU x LTPU, INST and GFPU; one switched off is not marked.
    s = *parseTripUnitSettings("LTPU=0.8,LTD=4,STPU=4,STD=0.2,INST=8,GFPU=0.3,GFD=0.2", e);
    const std::vector<TimeCurrentPickup> pickups = pickupsOf(s);
    const std::vector<std::pair<std::string, double>> expected{
        {"Ir", 0.8}, {"Isd", 3.2}, {"Ii", 8}, {"Ig", 0.3}};
    ASSERT_EQ(pickups.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(pickups[i].label, expected[i].first);
        EXPECT_NEAR(pickups[i].multiple, expected[i].second, 1e-12) << pickups[i].label;
    }
    s.inst.state = PickupSetting::State::Off;
    EXPECT_EQ(pickupsOf(s).size(), 3u);
}

// A session with a profile and settings plots their curve, labelled by the profile and the
// condition, and names the pickups on the axis; without a profile there is neither.
TEST(TimeCurrentPlot, SessionWithAProfilePlotsItsSettingsAndPickups) {
    SessionReport r;
    r.breaker.ratedAmps = 400;
    r.breaker.tripSettings = "LTPU=0.8,LTD=4,STPU=4,STD=0.2,INST=8";
    ShotRow shot;
    shot.point.kind = PointKind::ShortTime;
    shot.shot.multiple = 4;
    shot.shot.reading.seconds = 0.2;
    shot.shot.judgement = {Verdict::Pass, false};
    r.shots.push_back(shot);
    EXPECT_FALSE(timeCurrentOf(r, '.').settingsCurve);
    EXPECT_TRUE(timeCurrentOf(r, '.').pickups.empty());
    r.tripUnit = sampleProfile();
    const TimeCurrentPlot data = timeCurrentOf(r, '.');
    ASSERT_TRUE(data.settingsCurve);
    EXPECT_EQ(data.settingsCurve->label, "Generic Sample-ETU settings as-found");
    EXPECT_FALSE(data.settingsCurve->runs.empty());
    EXPECT_EQ(data.pickups.size(), 3u);

    TextCanvas canvas;
    PlotEngine plot;
    drawTimeCurrent(plot, canvas, data, paperStyle());
    std::set<std::string> drawn;
    for (const auto& [x, t] : canvas.texts) {
        EXPECT_GE(x, 0) << t;
        EXPECT_LE(x + canvas.textWidth(t), canvas.width()) << t;
        drawn.insert(t);
    }
    for (const char* t : {"Ir", "Isd", "Ii", "Generic Sample-ETU settings as-found"})
        EXPECT_TRUE(drawn.count(t)) << t;
}

// A table's rows run on to the next page under their header again; a heading goes to the
// next page with the block after it rather than stay alone at a page's foot.
TEST(ReportPage, RowsCarryTheirHeaderAndHeadingsTheirBlock) {
    std::vector<PageBlock> blocks{{10, {}, true, nullptr}, {5, {}, false, nullptr}};
    for (int i = 0; i < 8; ++i)
        blocks.push_back({20, {}, false, nullptr});
    blocks.push_back({10, {}, true, nullptr});
    blocks.push_back({90, {}, false, nullptr});
    for (std::size_t i = 2; i < 10; ++i)
        blocks[i].header = &blocks[1];
    const std::vector<PlacedBlock> placed = layOutPages(blocks, 100);
    std::vector<std::tuple<int, int, std::ptrdiff_t>> got;
    for (const PlacedBlock& p : placed)
        got.emplace_back(p.page, p.top, p.block - blocks.data());
    const std::vector<std::tuple<int, int, std::ptrdiff_t>> expected{
        {0, 0, 0}, {0, 10, 1}, {0, 15, 2}, {0, 35, 3}, {0, 55, 4}, {0, 75, 5}, {1, 0, 1},
        {1, 5, 6}, {1, 25, 7}, {1, 45, 8}, {1, 65, 9}, {2, 0, 10}, {2, 10, 11}};
    EXPECT_EQ(got, expected);
    EXPECT_EQ(pageCount(placed), 3);
}

TEST(ReportPage, LetterWhereTheLocalePrintsOnIt) {
    const std::pair<const char*, QPageSize::PageSizeId> cases[] = {
        {"en_US", QPageSize::Letter}, {"en_CA", QPageSize::Letter}, {"es_MX", QPageSize::Letter},
        {"en_GB", QPageSize::A4},     {"de_DE", QPageSize::A4},     {"ar_EG", QPageSize::A4}};
    for (const auto& [name, size] : cases)
        EXPECT_EQ(pageSizeForLocale(QLocale(name)), size) << name;
}

} // namespace
