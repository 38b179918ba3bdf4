// The test record panel: its refusals, a shot stored at a simulated pulse's end and listed in
// its verdict's colour, and the writer's troubles told to the operator.
#include "recordstool/reading.h"
#include "recordswindows/testrecordpanel.h"

#include "records_windows_fixture.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>

#include <set>

using namespace qarn3;
using namespace qarn3::test;

namespace {

// Valid fields: 400 A breaker, pole A long-time at 3 x In, band 0.1 to 0.5 s.
void fillValid(TestRecordPanel& p) {
    p.cbSite->setCurrentText("North Plant");
    p.cbBreaker->setCurrentText("Q7");
    p.ebRating->setText("400");
    p.ebOperator->setText("J. Smith");
    p.ebMultiple->setText("3");
    p.rbBandTyped->setChecked(true);
    p.ebBandMin->setText("0.1");
    p.ebBandMax->setText("0.5");
}

RecordedPulse pulse(double amps, double seconds, QByteArray waveform = {}) {
    RecordedPulse e;
    PulseResult r;
    r.pulseAmps = static_cast<float>(amps);
    r.seconds = seconds;
    r.cycles = seconds * 60;
    e.reading = readingOf(r, 1, 5, {});
    e.reading.startSeconds = 0.5;
    e.waveform = std::move(waveform);
    return e;
}

class PanelTest : public RecordsWindowTest {
public:
    ShotWriter writer{DatabaseLocation::file(path)};
};

// One refused field: what is typed where, and the message naming the field.
struct Refusal {
    const char* name;
    char separator;
    void (*type)(TestRecordPanel&);
    const char* message; // empty: accepted
    int tab;             // where the refused field is shown
};

void PrintTo(const Refusal& r, std::ostream* os) {
    *os << r.name;
}

class PanelRefusal : public PanelTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(PanelRefusal, RefusesTheFieldByName) {
    const Refusal& r = GetParam();
    TestRecordPanel panel(host(r.separator), writer);
    fillValid(panel);
    r.type(panel);
    const bool started = panel.startRecording();
    if (!*r.message) {
        ASSERT_TRUE(started) << panel.lbMessage->text().toStdString();
        EXPECT_DOUBLE_EQ(panel.context()->breaker.ratedAmps, 125.5);
        // The rating as typed, not rounded to three digits.
        EXPECT_TRUE(panel.lbState->text().contains("(In 125,5 A)"))
            << panel.lbState->text().toStdString();
        EXPECT_DOUBLE_EQ(panel.context()->point.band->maxSeconds, 0.25);
        return;
    }
    EXPECT_FALSE(started);
    EXPECT_FALSE(panel.isRecording());
    EXPECT_EQ(panel.lbMessage->text().toStdString(), r.message);
    EXPECT_EQ(panel.Tabs->currentIndex(), r.tab);
    // Only the refused field is marked, and typing clears the mark.
    int marked = 0;
    for (QWidget* w : panel.findChildren<QWidget*>())
        marked += w->styleSheet().contains("border") ? 1 : 0;
    EXPECT_EQ(marked, 1);
    // A pulse now is not recorded, and the panel says so.
    panel.pulseEnded(pulse(1200, 0.3));
    EXPECT_EQ(panel.ShotList->rowCount(), 0);
    EXPECT_TRUE(panel.lbMessage->text().startsWith("Pulse not recorded: no test point"));
}

// clang-format off
const Refusal kRefusals[] = {
    {"EmptySite", '.', [](TestRecordPanel& p) { p.cbSite->setCurrentText("  "); },
     "site: is empty", 0},
    {"EmptyBreaker", '.', [](TestRecordPanel& p) { p.cbBreaker->setCurrentText(""); },
     "breaker: is empty", 0},
    {"ZeroRating", '.', [](TestRecordPanel& p) { p.ebRating->setText("0"); },
     "rating: must be above zero", 0},
    {"TextRating", '.', [](TestRecordPanel& p) { p.ebRating->setText("4OO"); },
     "rating: '4OO' is not a number", 0},
    {"CommaWithDotSeparator", '.', [](TestRecordPanel& p) { p.ebRating->setText("12,5"); },
     "rating: '12,5' is not a number", 0},
    {"NegativeMultiple", '.', [](TestRecordPanel& p) { p.ebMultiple->setText("-3"); },
     "multiple: must be above zero", 2},
    {"NegativeBandMinimum", '.', [](TestRecordPanel& p) { p.ebBandMin->setText("-0.1"); },
     "band minimum: must not be negative", 2},
    {"EmptyBandMaximum", '.', [](TestRecordPanel& p) { p.ebBandMax->setText(""); },
     "band maximum: '' is not a number", 2},
    {"MinimumAboveMaximum", '.', [](TestRecordPanel& p) { p.ebBandMin->setText("0.6"); },
     "band: minimum is above maximum", 2},
    {"NegativeTolerance", '.', [](TestRecordPanel& p) { p.ebTolerance->setText("-5"); },
     "tolerance: must not be negative", 2},
    {"ZeroHold", '.', [](TestRecordPanel& p) {
         p.rbMustNotTrip->setChecked(true);
         p.ebHold->setText("0");
     }, "hold: must be above zero", 2},
    {"CurveBandWithoutCurve", '.', [](TestRecordPanel& p) { p.rbBandCurve->setChecked(true); },
     "curve: the breaker names no curve to take the band from", 0},
    {"CommaSeparatorAccepted", ',', [](TestRecordPanel& p) {
         p.ebRating->setText("125,5");
         p.ebBandMax->setText("0,25");
     }, "", 0},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Fields, PanelRefusal, ::testing::ValuesIn(kRefusals),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(PanelTest, StoresEachPulseWithItsVerdictAndListsItInItsColour) {
    TestRecordPanel panel(host(), writer);
    panel.show();
    panel.pulseEnded(pulse(1200, 0.3)); // before recording: not stored
    fillValid(panel);
    ASSERT_TRUE(panel.startRecording()) << panel.lbMessage->text().toStdString();
    EXPECT_EQ(panel.ShotList->rowCount(), 0);

    std::vector<StoreOutcome> outcomes;
    QObject::connect(&panel, &TestRecordPanel::shotStored,
                     [&](const StoreOutcome& o) { outcomes.push_back(o); });
    const QByteArray wave("WAVEFORM bytes of the capture");
    panel.pulseEnded(pulse(1200, 0.3, wave)); // inside the band at 3 x In
    panel.pulseEnded(pulse(900, 0.8));        // slow, and 2.25 x In is off the 3 x In target
    EXPECT_EQ(panel.ShotList->item(0, TestRecordPanel::ColVerdict)->text(), "storing…");
    ASSERT_TRUE(waitFor([&] { return outcomes.size() == 2; }));

    struct Row {
        const char* current;
        const char* seconds;
        const char* cycles;
        const char* multiple;
        const char* verdict;
        const char* target;
        int hue; // of the row's tint: green, red
    };
    const Row rows[] = {{"1200.0 A", "0.3000", "18.00", "3.00", "PASS", "", 120},
                        {"900.0 A", "0.8000", "48.00", "2.25", "FAIL SLOW", "off target", 0}};
    ASSERT_EQ(panel.ShotList->rowCount(), 2);
    for (int r = 0; r < 2; ++r) {
        const auto cell = [&](int c) { return panel.ShotList->item(r, c)->text().toStdString(); };
        EXPECT_EQ(cell(TestRecordPanel::ColNumber), std::to_string(r + 1));
        EXPECT_EQ(cell(TestRecordPanel::ColPole), "A");
        EXPECT_EQ(cell(TestRecordPanel::ColCurrent), rows[r].current);
        EXPECT_EQ(cell(TestRecordPanel::ColSeconds), rows[r].seconds);
        EXPECT_EQ(cell(TestRecordPanel::ColCycles), rows[r].cycles);
        EXPECT_EQ(cell(TestRecordPanel::ColMultiple), rows[r].multiple);
        EXPECT_EQ(cell(TestRecordPanel::ColVerdict), rows[r].verdict);
        EXPECT_EQ(cell(TestRecordPanel::ColTarget), rows[r].target);
        const QColor tint =
            panel.ShotList->item(r, TestRecordPanel::ColCurrent)->background().color();
        EXPECT_NEAR(tint.hslHue(), rows[r].hue, 10) << r;
    }
    // As stored: the session with the analyzer's identity, the waveform byte for byte.
    RecordsDatabase db(DatabaseLocation::file(path));
    ASSERT_TRUE(db.open().ok);
    RecordsStore store(db);
    RecordsError e;
    const auto session = store.sessionContext(panel.context()->session.id, e);
    ASSERT_TRUE(session) << e.message;
    EXPECT_EQ(session->session.analyzerSerial, "SN-4711");
    EXPECT_EQ(session->session.analyzerCalDate, "2026-03-01");
    EXPECT_EQ(session->session.operatorName, "J. Smith");
    EXPECT_EQ(store.waveformOf(outcomes[0].shot.id, e), wave);
    EXPECT_EQ(outcomes[0].shot.reading.startSeconds, 0.5);

    // A new test point is used from the next shot on.
    panel.cbPole->setCurrentText("B");
    ASSERT_TRUE(panel.useTestPoint());
    const std::string pointB = panel.context()->point.id;
    EXPECT_NE(pointB, outcomes[0].shot.testPointId);
    panel.pulseEnded(pulse(1200, 0.2));
    ASSERT_TRUE(waitFor([&] { return outcomes.size() == 3; }));
    EXPECT_EQ(outcomes[2].shot.testPointId, pointB);

    // A second session ended while its shot is stored, and the first chosen again: the list
    // is the first's alone.
    panel.endSession();
    ASSERT_TRUE(panel.startRecording());
    panel.pulseEnded(pulse(1200, 0.05));
    panel.endSession();
    panel.pulseEnded(pulse(1200, 0.2)); // between sessions: not recorded
    emit panel.cbSession->activated(panel.cbSession->count() - 1);
    ASSERT_TRUE(waitFor([&] { return outcomes.size() == 4; }));
    EXPECT_EQ(outcomes[3].shot.judgement.verdict, Verdict::FailFast);
    // Its three shots (taken within a millisecond, so listed in any order), none of the other.
    std::multiset<QString> verdicts;
    for (int r = 0; r < panel.ShotList->rowCount(); ++r)
        verdicts.insert(panel.ShotList->item(r, TestRecordPanel::ColVerdict)->text());
    EXPECT_EQ(verdicts, (std::multiset<QString>{"PASS", "PASS", "FAIL SLOW"}));
    EXPECT_EQ(store.countShots({}, e), 4);
    EXPECT_TRUE(dialogs.shown().empty());
}

// The writer's troubles reach the operator in a box; the panel goes on.
struct Trouble {
    const char* name;
    void (*make)(const std::string& path);
    const char* box;
    MsgKind kind;
    const char* verdict; // of the shot after it
};

void PrintTo(const Trouble& t, std::ostream* os) {
    *os << t.name;
}

class PanelTrouble : public PanelTest, public ::testing::WithParamInterface<Trouble> {};

TEST_P(PanelTrouble, IsToldToTheOperator) {
    const Trouble& t = GetParam();
    OpenOptions quick;
    quick.busyTimeoutMs = 200;
    ShotWriter quickWriter(DatabaseLocation::file(path), quick);
    TestRecordPanel panel(host(), quickWriter);
    fillValid(panel);
    ASSERT_TRUE(panel.startRecording());
    // Another program holds the database while the shot is stored.
    QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "other");
    other.setDatabaseName(QString::fromStdString(path));
    ASSERT_TRUE(other.open());
    QSqlQuery hold(other);
    if (std::string(t.name) == "Locked") {
        ASSERT_TRUE(hold.exec("BEGIN EXCLUSIVE"));
    }
    t.make(path);
    int stored = 0;
    QObject::connect(&quickWriter, &ShotWriter::stored, [&] { ++stored; });
    panel.pulseEnded(pulse(1200, 0.3));
    ASSERT_TRUE(waitFor([&] { return stored == 1; }));
    QCoreApplication::processEvents();
    const DialogRecord* shown = box(t.box);
    ASSERT_NE(shown, nullptr) << t.box;
    EXPECT_EQ(shown->kind, t.kind);
    EXPECT_EQ(panel.ShotList->item(0, TestRecordPanel::ColVerdict)->text(), t.verdict);
    hold.exec("ROLLBACK");
    hold = QSqlQuery();
    other.close();
    other = QSqlDatabase();
    QSqlDatabase::removeDatabase("other");
}

// clang-format off
const Trouble kTroubles[] = {
    {"Locked", [](const std::string&) {},
     "is locked by another program", MsgKind::Error, "NOT STORED"},
    {"Damaged", [](const std::string& p) {
         std::filesystem::remove(p + "-wal");
         std::filesystem::remove(p + "-shm");
         std::ofstream(p, std::ios::binary | std::ios::trunc) << std::string(4096, 'x');
     }, "was damaged", MsgKind::Warning, "PASS"},
    {"NewerSchema", [](const std::string& p) {
         QSqlDatabase db = QSqlDatabase::database("other");
         QSqlQuery(db).exec("PRAGMA user_version = 99");
         (void)p;
     }, "newer version of the program", MsgKind::Warning, "NOT STORED"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Writer, PanelTrouble, ::testing::ValuesIn(kTroubles),
                         [](const auto& p) { return std::string(p.param.name); });

// A crafted site and breaker are listed with their controls written out; chosen from the
// lists, they are what the session is recorded under, not new ones named as they were shown.
TEST_F(PanelTest, ANameChosenAsShownRecordsUnderTheStoredName) {
    storeLookalikeSites();
    TestRecordPanel panel(host(), writer);
    panel.show();
    panel.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&panel));
    const auto typed = [](const char* text) {
        QTest::keyClicks(QApplication::focusWidget(), text);
    };
    // Reached by its mnemonic, its list opened with F4, the item taken with the keys.
    const auto choose = [&](Qt::Key mnemonic, QComboBox* combo, const QString& shown) {
        const int item = combo->findText(shown);
        ASSERT_GE(item, 0) << shown.toStdString();
        QTest::keyClick(&panel, mnemonic, Qt::AltModifier);
        ASSERT_EQ(QApplication::focusWidget(), combo);
        QTest::keyClick(combo, Qt::Key_F4);
        QAbstractItemView* popup = combo->view();
        ASSERT_TRUE(waitFor([&] { return popup->isVisible(); }));
        QTest::keyClick(popup, Qt::Key_Home);
        for (int i = 0; i < item; ++i)
            QTest::keyClick(popup, Qt::Key_Down);
        QTest::keyClick(popup, Qt::Key_Return);
        EXPECT_EQ(combo->currentText(), shown);
    };
    choose(Qt::Key_S, panel.cbSite, "<U+202E>1-Q tnalP");
    choose(Qt::Key_B, panel.cbBreaker, "<U+202E>Q7");
    EXPECT_EQ(panel.ebRating->text(), "400"); // the stored breaker's
    QTabBar* tabs = panel.Tabs->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(2).center());
    QTest::keyClick(&panel, Qt::Key_A, Qt::AltModifier); // Target
    typed("3");
    QTest::mouseClick(panel.ebBandMin, Qt::LeftButton);
    typed("0.1");
    QTest::mouseClick(panel.ebBandMax, Qt::LeftButton);
    typed("0.5");
    // Start recording by its mnemonic: the button clicks a moment later.
    QTest::keyClick(&panel, Qt::Key_D, Qt::AltModifier);
    ASSERT_TRUE(waitFor([&] { return panel.isRecording(); }))
        << panel.lbMessage->text().toStdString();

    RecordsDatabase db(DatabaseLocation::file(path));
    ASSERT_TRUE(db.open().ok);
    RecordsStore store(db);
    RecordsError e;
    const auto site = store.siteNamed(kCraftedSite, e);
    ASSERT_TRUE(site);
    const std::vector<BreakerRecord> breakers = store.breakersOf(site->id, e);
    ASSERT_EQ(breakers.size(), 1u);
    const ShotContext& c = *panel.context();
    EXPECT_EQ(c.site.id, site->id);
    EXPECT_EQ(c.site.name, kCraftedSite);
    EXPECT_EQ(c.breaker.id, breakers[0].id);
    EXPECT_EQ(c.breaker.designation, kCraftedBreaker);
    EXPECT_TRUE(panel.lbState->text().startsWith("Recording <U+202E>1-Q tnalP / <U+202E>Q7"))
        << panel.lbState->text().toStdString();
}

} // namespace
