// A guided session in the test record panel, as a technician runs it: the built-in plan
// chosen and started, the checklist ticked, each point's target, band and range shown, the
// pulses' verdicts and the plan's progress, a point shot again in the cool-down, a point
// skipped with its reason, the as-left session beside the as-found results, and the approval
// after which no shot is taken.
#include "records/tripunitcsv.h"
#include "recordstool/reading.h"
#include "recordswindows/testrecordpanel.h"
#include "store/approval.h"
#include "store/planlibrary.h"

#include "records_windows_fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>

#include <algorithm>
#include <fstream>
#include <sstream>

using namespace qarn3;
using namespace qarn3::test;

namespace {

constexpr const char* kSettings =
    "LTPU=0.8,LTD=4,STPU=4,STD=0.2,STI2T=on,INST=8,GFPU=0.3,GFD=0.2,GFI2T=off";

RecordedPulse pulse(double amps, double seconds) {
    RecordedPulse e;
    PulseResult r;
    r.pulseAmps = static_cast<float>(amps);
    r.seconds = seconds;
    r.cycles = seconds * 60;
    e.reading = readingOf(r, 1, 5, {});
    return e;
}

std::string text(const QLabel* l) {
    return l->text().toStdString();
}

class PlanPanelTest : public RecordsWindowTest {
public:
    void importSample() { importTripUnits(QARN3_SOURCE_DIR "/records/tripunits/sample.csv"); }

    std::unique_ptr<TestRecordPanel> openPanel(RecordsHost h) {
        auto p = std::make_unique<TestRecordPanel>(std::move(h), writer);
        p->setClock([this] { return now; });
        p->show();
        p->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(p.get()));
        return p;
    }

    static QWidget* focus() { return QApplication::focusWidget(); }
    static void type(const char* t) { QTest::keyClicks(focus(), t); }
    static void key(Qt::Key k, Qt::KeyboardModifiers m = {}) { QTest::keyClick(focus(), k, m); }
    static void mnemonic(TestRecordPanel& p, Qt::Key k) { QTest::keyClick(&p, k, Qt::AltModifier); }
    static void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton); }
    // A check box takes a click on its box or its text, not on the blank beyond.
    static void clickBox(QCheckBox* c) {
        QTest::mouseClick(c, Qt::LeftButton, {}, QPoint(8, c->height() / 2));
    }
    static void clickTab(TestRecordPanel& p, int tab) {
        QTabBar* bar = p.Tabs->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(tab).center());
    }

    // Site, breaker, rating, profile and settings, and who tests, by keys.
    static void typeBreakerAndOperator(TestRecordPanel& p) {
        click(p.cbSite->lineEdit());
        type("North Plant");
        key(Qt::Key_Tab);
        type("Q7");
        mnemonic(p, Qt::Key_I);
        type("400");
        mnemonic(p, Qt::Key_L);
        ASSERT_EQ(focus(), p.cbTripUnit);
        key(Qt::Key_Down);
        mnemonic(p, Qt::Key_G);
        type(kSettings);
        key(Qt::Key_Tab, Qt::ControlModifier);
        mnemonic(p, Qt::Key_O);
        ASSERT_EQ(focus(), p.ebOperator);
        type("J. Smith");
    }

    // The checklist's items clicked, but the thermal memory's: the cool-down is kept.
    static void tickAllButThermalMemory(TestRecordPanel& p) {
        for (std::size_t i = 0; i < p.cbChecks.size(); ++i) {
            if (p.cbChecks[i]->text().contains("Thermal memory")) continue;
            clickBox(p.cbChecks[i]);
            QCoreApplication::processEvents(); // the list shows the tick's time
        }
    }

    // A pulse handed over and its shot stored.
    ::testing::AssertionResult shoot(TestRecordPanel& p, double amps, double seconds) {
        const std::size_t before = outcomes.size();
        p.pulseEnded(pulse(amps, seconds));
        if (!waitFor([&] { return outcomes.size() == before + 1; }))
            return ::testing::AssertionFailure() << "not stored: " << text(p.lbMessage);
        QCoreApplication::processEvents();
        return ::testing::AssertionSuccess();
    }

    std::vector<ShotRow> storedShots() {
        RecordsDatabase db(DatabaseLocation::file(path));
        EXPECT_TRUE(db.open().ok);
        RecordsError e;
        return RecordsStore(db).listShots({}, ShotOrder::OldestFirst, 0, 100, e);
    }
    std::vector<TestPointRecord> storedPoints(const std::string& sessionId) {
        RecordsDatabase db(DatabaseLocation::file(path));
        EXPECT_TRUE(db.open().ok);
        RecordsError e;
        return RecordsStore(db).testPointsOf(sessionId, e);
    }

    std::string now = "2026-12-09T10:00:00.000Z";
    ShotWriter writer{DatabaseLocation::file(path)};
    std::vector<StoreOutcome> outcomes;
};

TEST_F(PlanPanelTest, GuidedSessionAsFoundThenAsLeftApprovedTakesNoMoreShots) {
    importSample();
    auto panel = openPanel(host('.'));
    TestRecordPanel& p = *panel;
    QObject::connect(&p, &TestRecordPanel::shotStored,
                     [&](const StoreOutcome& o) { outcomes.push_back(o); });
    std::vector<int> ranges;
    QObject::connect(&p, &TestRecordPanel::rangeChosen, [&](int r) { ranges.push_back(r); });
    typeBreakerAndOperator(p);

    clickTab(p, 3);
    EXPECT_EQ(p.cbPlan->currentText(), "LSIG three-pole");
    ASSERT_EQ(p.cbChecks.size(), 3u) << "the chosen plan's checklist before it starts";
    mnemonic(p, Qt::Key_P);
    ASSERT_TRUE(waitFor([&] { return p.isRecording() && p.plan(); })) << text(p.lbMessage);
    ASSERT_EQ(p.planPoints().size(), 13u);
    // 3 x Ir at LTPU 0.8 of 400 A: 960 A, 1358 A peak, above the 1000 A range. A current
    // through one pole is a ground fault to the trip unit: its band is ground fault's.
    EXPECT_NE(text(p.lbPlanPoint).find("Point 1 of 13: A long-time 3 × Ir"), std::string::npos)
        << text(p.lbPlanPoint);
    EXPECT_NE(text(p.lbPlanPoint).find("target 960.0 A, band 0.150 – 0.250 s, ground-fault acts"),
              std::string::npos)
        << text(p.lbPlanPoint);
    EXPECT_EQ(p.btUseRange->text(), "Use ran&ge 6");
    click(p.btUseRange);
    EXPECT_EQ(ranges, std::vector<int>{6});
    EXPECT_EQ(text(p.lbProgress), "done 0, passed 0, failed 0, left 13");

    // Before the checklist: refused, nothing stored.
    p.pulseEnded(pulse(960, 0.2));
    EXPECT_NE(text(p.lbMessage).find("tick the checklist's items"), std::string::npos)
        << text(p.lbMessage);
    EXPECT_EQ(p.ShotList->rowCount(), 0);
    tickAllButThermalMemory(p);
    ASSERT_TRUE(p.cbChecks[0]->text().contains("(ticked")) << p.cbChecks[0]->text().toStdString();
    EXPECT_FALSE(p.cbChecks[0]->isEnabled()) << "a tick is kept with its time";

    ASSERT_TRUE(shoot(p, 960, 0.2));
    EXPECT_EQ(text(p.lbLastShot), "Point 1: PASS 0.200 s");
    EXPECT_EQ(text(p.lbProgress), "done 1, passed 1, failed 0, left 12");
    EXPECT_NE(text(p.lbPlanPoint).find("Point 2 of 13: A short-time"), std::string::npos);
    EXPECT_TRUE(p.lbCoolDown->isHidden()) << "short time needs no cool-down";

    // Shot again a minute later: the cool-down counts down and the shot is marked.
    now = "2026-12-09T10:01:00.000Z";
    click(p.btShootAgain);
    EXPECT_NE(text(p.lbPlanPoint).find("Point 1 of 13 (again)"), std::string::npos);
    ASSERT_FALSE(p.lbCoolDown->isHidden());
    EXPECT_NE(text(p.lbCoolDown).find("Cool-down of pole A: 14:00 left"), std::string::npos)
        << text(p.lbCoolDown);
    now = "2026-12-09T10:01:30.000Z";
    EXPECT_TRUE(
        waitFor([&] { return text(p.lbCoolDown).find("13:30 left") != std::string::npos; }, 3000))
        << "the count-down follows the clock each second: " << text(p.lbCoolDown);
    ASSERT_TRUE(shoot(p, 960, 0.21));
    EXPECT_EQ(p.ShotList->item(1, TestRecordPanel::ColTarget)->text().toStdString(),
              "in cool-down");
    EXPECT_EQ(text(p.lbLastShot), "Point 1: PASS 0.210 s, in cool-down");
    EXPECT_EQ(text(p.lbProgress), "done 1, passed 1, failed 0, left 12");
    std::vector<ShotRow> stored = storedShots();
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_FALSE(stored[0].shot.reading.inCoolDown);
    EXPECT_TRUE(stored[1].shot.reading.inCoolDown);
    EXPECT_EQ(stored[1].point.id, stored[0].point.id) << "each shot kept at the one point";
    EXPECT_EQ(stored[0].point.planSeq, 1);
    EXPECT_EQ(stored[0].session.planId, builtInPlan().id);

    // Point 2 skipped with its reason.
    dialogs.answer("no short-time pickup on this unit");
    click(p.btSkip);
    EXPECT_EQ(text(p.lbProgress), "done 2, passed 1, failed 0, left 11, skipped 1");
    EXPECT_NE(text(p.lbPlanPoint).find("Point 3 of 13: A instantaneous"), std::string::npos);
    EXPECT_NE(text(p.lbPlanPoint).find("must not trip, hold 0.500 s"), std::string::npos)
        << text(p.lbPlanPoint);
    const std::string asFoundId = p.context()->session.id;
    ASSERT_TRUE(waitFor([&] {
        const auto points = storedPoints(asFoundId);
        return points.size() == 13 &&
               std::any_of(points.begin(), points.end(), [](const TestPointRecord& t) {
                   return t.planSeq == 2 && t.skipped == "no short-time pickup on this unit";
               });
    })) << "every planned point is stored, the skipped one with its reason: "
        << storedPoints(asFoundId).size() << " " << text(p.lbMessage) << " "
        << (dialogs.shown().empty() ? "" : dialogs.shown().back().text);

    // 0.9 x Ii must hold 0.5 s: a trip at 20 ms fails.
    ASSERT_TRUE(shoot(p, 2880, 0.02));
    EXPECT_EQ(text(p.lbLastShot), "Point 3: FAIL FAST 0.020 s");
    EXPECT_EQ(text(p.lbProgress), "done 3, passed 1, failed 1, left 10, skipped 1");

    // As left: the settings confirmed as they are; the as-found results beside each point.
    now = "2026-12-09T11:00:00.000Z";
    mnemonic(p, Qt::Key_A); // a button's mnemonic clicks it as a person sees it pressed
    ASSERT_TRUE(waitFor([&] { return p.context()->session.condition == Condition::AsLeft; }))
        << text(p.lbMessage);
    EXPECT_EQ(p.context()->session.asFoundId, asFoundId);
    EXPECT_EQ(p.context()->session.planId, builtInPlan().id);
    EXPECT_EQ(p.ShotList->rowCount(), 0);
    EXPECT_EQ(text(p.lbProgress), "done 0, passed 0, failed 0, left 13");
    EXPECT_NE(text(p.lbPlanPoint).find("as found: PASS 0.210 s"), std::string::npos)
        << text(p.lbPlanPoint);
    p.pulseEnded(pulse(960, 0.2));
    EXPECT_NE(text(p.lbMessage).find("tick the checklist's items"), std::string::npos)
        << "the as-left session has its own checklist";
    tickAllButThermalMemory(p);
    ASSERT_TRUE(shoot(p, 960, 0.22));
    EXPECT_EQ(text(p.lbLastShot), "Point 1: PASS 0.220 s  (as found: PASS 0.210 s)");
    EXPECT_NE(text(p.lbPlanPoint).find("as found: skipped (no short-time pickup on this unit)"),
              std::string::npos)
        << text(p.lbPlanPoint);

    // Approved: the approver kept apart from who tested; no more shots.
    EXPECT_EQ(text(p.lbApproval), "Not approved");
    dialogs.answer("R. Jones");
    mnemonic(p, Qt::Key_S);
    ASSERT_TRUE(waitFor([&] {
        return text(p.lbApproval).rfind("Approved by R. Jones on ", 0) == 0;
    })) << text(p.lbApproval)
        << " / " << text(p.lbMessage);
    EXPECT_FALSE(p.btApprove->isEnabled());
    EXPECT_FALSE(p.btSkip->isEnabled());
    const int rows = p.ShotList->rowCount();
    p.pulseEnded(pulse(960, 14));
    EXPECT_NE(text(p.lbMessage).find("approved by R. Jones"), std::string::npos)
        << text(p.lbMessage);
    EXPECT_EQ(p.ShotList->rowCount(), rows);
    stored = storedShots();
    ASSERT_EQ(stored.size(), 4u);
    EXPECT_EQ(stored[3].session.condition, Condition::AsLeft);
    EXPECT_EQ(stored[3].session.approvedBy, "R. Jones");
    EXPECT_EQ(stored[3].session.operatorName, "J. Smith");
    EXPECT_EQ(stored[3].session.asFoundId, asFoundId);

    // A correction of the approved session goes in as a dated note, with who wrote it.
    ASSERT_TRUE(p.btNote->isEnabled());
    dialogs.answer("R. Jones");
    dialogs.answer("Pole B retested on 12 Dec");
    mnemonic(p, Qt::Key_E);
    ASSERT_TRUE(waitFor([&] {
        return text(p.lbNotes).find("R. Jones: Pole B retested on 12 Dec") != std::string::npos;
    })) << text(p.lbNotes)
        << " / " << text(p.lbMessage);
    EXPECT_EQ(text(p.lbNotes).rfind("Notes:\n", 0), 0u) << text(p.lbNotes);

    RecordsDatabase db(DatabaseLocation::file(path));
    ASSERT_TRUE(db.open().ok);
    RecordsError e;
    const auto checks = sessionChecksOf(db, p.context()->session.id, e);
    EXPECT_EQ(checks.size(), 2u) << "the ticks are kept with their times";
    EXPECT_EQ(checks.at(0).tickedAt.substr(0, 13), "2026-12-09T11");
}

// By keys alone: Tab from "Start plan" reaches the checklist where it is shown and Space ticks
// it. A point shot again cannot be skipped (its passing shot would count as skipped), and an
// approved session's checklist takes no more ticks.
TEST_F(PlanPanelTest, ChecklistByKeysNoSkipOfAPointShotAgainNoTickOnceApproved) {
    importSample();
    auto panel = openPanel(host('.'));
    TestRecordPanel& p = *panel;
    QObject::connect(&p, &TestRecordPanel::shotStored,
                     [&](const StoreOutcome& o) { outcomes.push_back(o); });
    typeBreakerAndOperator(p);
    clickTab(p, 3);
    ASSERT_EQ(p.cbChecks.size(), 3u);
    mnemonic(p, Qt::Key_C);
    ASSERT_EQ(focus(), p.cbPlan);
    key(Qt::Key_Tab);
    ASSERT_EQ(focus(), p.btStartPlan);
    key(Qt::Key_Tab);
    for (QCheckBox* box : p.cbChecks) {
        ASSERT_EQ(focus(), box) << "focus on "
                                << (focus() ? focus()->metaObject()->className() : "nothing");
        key(Qt::Key_Space);
        QCoreApplication::processEvents();
        ASSERT_TRUE(box->isChecked()) << box->text().toStdString();
        // The ticked box is disabled: the focus has gone on to the next one already.
        if (focus() == box) key(Qt::Key_Tab);
    }
    mnemonic(p, Qt::Key_P);
    ASSERT_TRUE(waitFor([&] { return p.plan().has_value(); })) << text(p.lbMessage);

    ASSERT_TRUE(shoot(p, 960, 0.2));
    EXPECT_TRUE(p.btSkip->isEnabled()) << "the next point may be skipped";
    click(p.btShootAgain);
    ASSERT_NE(text(p.lbPlanPoint).find("Point 1 of 13 (again)"), std::string::npos);
    EXPECT_FALSE(p.btSkip->isEnabled());
    const std::size_t boxes = dialogs.shown().size();
    mnemonic(p, Qt::Key_W);
    EXPECT_EQ(text(p.lbProgress), "done 1, passed 1, failed 0, left 12") << "nothing skipped";
    EXPECT_EQ(dialogs.shown().size(), boxes) << "no reason asked";

    dialogs.answer("R. Jones");
    mnemonic(p, Qt::Key_S);
    ASSERT_TRUE(waitFor([&] { return text(p.lbApproval).rfind("Approved by R. Jones", 0) == 0; }))
        << text(p.lbApproval) << " / " << text(p.lbMessage);
    for (QCheckBox* box : p.cbChecks)
        EXPECT_FALSE(box->isEnabled()) << box->text().toStdString();
}

TEST_F(PlanPanelTest, ThermalMemoryTickedNeedsNoCoolDownAndAnOldCalibrationIsWarnedOf) {
    importSample();
    RecordsHost h = host('.');
    h.analyzer = [] { return AnalyzerIdentity{"SN-4711", "2025-11-30"}; };
    auto panel = openPanel(h);
    TestRecordPanel& p = *panel;
    QObject::connect(&p, &TestRecordPanel::shotStored,
                     [&](const StoreOutcome& o) { outcomes.push_back(o); });
    typeBreakerAndOperator(p);
    clickTab(p, 3);
    for (std::size_t i = 0; i < p.cbChecks.size(); ++i) {
        clickBox(p.cbChecks[i]);
        QCoreApplication::processEvents(); // the boxes made anew with their ticks' times
    }
    mnemonic(p, Qt::Key_P);
    ASSERT_TRUE(waitFor([&] { return p.plan().has_value(); })) << text(p.lbMessage);
    EXPECT_FALSE(p.lbCalibration->isHidden());
    EXPECT_EQ(
        text(p.lbCalibration),
        "The analyzer's calibration (2025-11-30) was more than a year old on the test's day.");
    ASSERT_TRUE(shoot(p, 960, 14));
    click(p.btShootAgain);
    EXPECT_TRUE(p.lbCoolDown->isHidden());
    ASSERT_TRUE(shoot(p, 960, 14));
    EXPECT_EQ(p.ShotList->item(1, TestRecordPanel::ColTarget)->text().toStdString(), "");
    const auto checks = [&] {
        RecordsDatabase db(DatabaseLocation::file(path));
        EXPECT_TRUE(db.open().ok);
        RecordsError e;
        return sessionChecksOf(db, p.context()->session.id, e);
    };
    EXPECT_EQ(checks().size(), 3u) << "ticks before the plan started are kept once it has";
}

TEST_F(PlanPanelTest, PlanNeedingASettingTheBreakerLacksIsRefusedAndNothingRecorded) {
    importSample();
    auto panel = openPanel(host('.'));
    TestRecordPanel& p = *panel;
    click(p.cbSite->lineEdit());
    type("North Plant");
    key(Qt::Key_Tab);
    type("Q8");
    mnemonic(p, Qt::Key_I);
    type("400");
    clickTab(p, 3);
    mnemonic(p, Qt::Key_P);
    ASSERT_TRUE(waitFor([&] { return !p.lbMessage->text().isEmpty(); }));
    EXPECT_FALSE(p.isRecording()) << text(p.lbMessage);
    EXPECT_FALSE(p.plan());
    EXPECT_NE(text(p.lbMessage).find("The plan cannot start: point 1: "), std::string::npos)
        << text(p.lbMessage);
}

TEST_F(PlanPanelTest, ShotOfASessionApprovedElsewhereIsRefusedByTheDatabaseAndSaidSo) {
    importSample();
    auto panel = openPanel(host('.'));
    TestRecordPanel& p = *panel;
    QObject::connect(&p, &TestRecordPanel::shotStored,
                     [&](const StoreOutcome& o) { outcomes.push_back(o); });
    typeBreakerAndOperator(p);
    clickTab(p, 3);
    tickAllButThermalMemory(p);
    click(p.btStartPlan);
    ASSERT_TRUE(p.plan().has_value()) << text(p.lbMessage);
    ASSERT_TRUE(waitFor([&] { return storedPoints(p.context()->session.id).size() == 13; }));
    {
        // Approved from the records window meanwhile: the panel does not know it.
        RecordsDatabase db(DatabaseLocation::file(path));
        ASSERT_TRUE(db.open().ok);
        std::string at;
        ASSERT_FALSE(approveSession(db, p.context()->session.id, "R. Jones", at));
    }
    p.pulseEnded(pulse(960, 0.2));
    ASSERT_TRUE(waitFor([&] { return !dialogs.shown().empty(); }));
    EXPECT_NE(dialogs.shown().back().text.find("The shot was not stored"), std::string::npos);
    EXPECT_NE(dialogs.shown().back().text.find("approved"), std::string::npos)
        << dialogs.shown().back().text;
    EXPECT_EQ(p.ShotList->item(0, TestRecordPanel::ColVerdict)->text(), "NOT STORED");
    EXPECT_EQ(text(p.lbProgress), "done 0, passed 0, failed 0, left 13")
        << "the refused shot counts for nothing";
    EXPECT_NE(text(p.lbPlanPoint).find("Point 1 of 13"), std::string::npos);
    EXPECT_TRUE(p.lbCoolDown->isHidden())
        << "nor does it start a cool-down: " << text(p.lbCoolDown);
    EXPECT_EQ(storedShots().size(), 0u);
}

TEST_F(PlanPanelTest, BreakersOwnPlanIsChosenWhenTheBreakerIsPicked) {
    importSample();
    std::string breakerId;
    {
        auto first = openPanel(host('.'));
        typeBreakerAndOperator(*first);
        clickTab(*first, 3);
        click(first->btStartPlan);
        ASSERT_TRUE(first->plan().has_value()) << text(first->lbMessage);
        breakerId = first->context()->breaker.id;
        ASSERT_TRUE(
            waitFor([&] { return storedPoints(first->context()->session.id).size() == 13; }));
    }
    TestPlan own = builtInPlan();
    own.name = "A long time only"; // listed before the plan chosen last
    own.id = testPlanIdOf(own.name);
    own.points.resize(3);
    {
        RecordsDatabase db(DatabaseLocation::file(path));
        ASSERT_TRUE(db.open().ok);
        TestPlanImportSummary summary;
        ASSERT_FALSE(TestPlanLibrary(db).importPlans({own}, summary));
        ASSERT_FALSE(TestPlanLibrary(db).setBreakerPlan(breakerId, own));
    }
    auto panel = openPanel(host('.'));
    TestRecordPanel& p = *panel;
    click(p.cbSite->lineEdit());
    type("North Plant");
    key(Qt::Key_Tab);
    type("Q7");
    key(Qt::Key_Tab);
    EXPECT_EQ(p.cbPlan->currentText(), "A long time only");
    clickTab(p, 3);
    click(p.btStartPlan);
    ASSERT_TRUE(p.plan().has_value()) << text(p.lbMessage);
    EXPECT_EQ(p.planPoints().size(), 3u);
    EXPECT_EQ(text(p.lbProgress), "done 0, passed 0, failed 0, left 3");
}

TEST_F(PlanPanelTest, SessionChosenAgainGoesOnFromWhereItsPlanStood) {
    importSample();
    auto panel = openPanel(host('.'));
    TestRecordPanel& p = *panel;
    QObject::connect(&p, &TestRecordPanel::shotStored,
                     [&](const StoreOutcome& o) { outcomes.push_back(o); });
    typeBreakerAndOperator(p);
    clickTab(p, 3);
    click(p.btStartPlan);
    ASSERT_TRUE(p.plan().has_value()) << text(p.lbMessage);
    for (std::size_t i = 0; i < p.cbChecks.size(); ++i)
        clickBox(p.cbChecks[i]);
    ASSERT_TRUE(shoot(p, 960, 0.2));
    const std::string sessionId = p.context()->session.id;
    mnemonic(p, Qt::Key_N);
    ASSERT_TRUE(waitFor([&] { return !p.isRecording(); }));
    EXPECT_FALSE(p.plan());

    clickTab(p, 1);
    mnemonic(p, Qt::Key_E);
    ASSERT_EQ(focus(), p.cbSession);
    key(Qt::Key_Down);
    clickTab(p, 3);
    click(p.btStartPlan);
    ASSERT_TRUE(p.plan().has_value()) << text(p.lbMessage);
    EXPECT_EQ(p.context()->session.id, sessionId);
    EXPECT_EQ(text(p.lbProgress), "done 1, passed 1, failed 0, left 12");
    EXPECT_NE(text(p.lbPlanPoint).find("Point 2 of 13"), std::string::npos);
    ASSERT_EQ(p.cbChecks.size(), 3u);
    EXPECT_TRUE(p.cbChecks[0]->isChecked()) << "the ticks as stored";
    EXPECT_FALSE(p.cbChecks[0]->isEnabled());
    ASSERT_TRUE(shoot(p, 1920, 0.2)) << "no checklist asked again";
    EXPECT_EQ(storedPoints(sessionId).size(), 13u) << "no point made twice";
}

} // namespace
