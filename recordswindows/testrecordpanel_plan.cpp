// The test record panel's guided session: a plan's points in turn with their target current,
// band and range, the checklist before the first shot, and the long-time element's cool-down.
#include "recordswindows/testrecordpanel.h"

#include "platform/dialogs.h"
#include "platform/textformat.h"
#include "records/plansession.h"
#include "records/sessionreport.h"
#include "store/approval.h"
#include "store/planlibrary.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace qarn3 {

namespace {

constexpr std::array<double, 8> kNominalFullScales{50, 100, 250, 500, 1000, 2500, 5000, 10000};

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

QLabel* wrapped(QWidget* parent, const char* name) {
    auto* l = new QLabel(parent);
    l->setObjectName(name);
    l->setWordWrap(true);
    return l;
}

} // namespace

// The tab's mnemonics leave the main window's menus (F, T, V, R, H) and the panel's buttons
// below the tabs (D, U, N) alone; the other tabs' letters are free while this one shows.
QWidget* TestRecordPanel::buildPlanTab() {
    auto* tab = new QWidget;
    auto* g = new QGridLayout(tab);
    g->setVerticalSpacing(4);
    cbPlan = new QComboBox(tab);
    cbPlan->setObjectName("plan");
    auto* planLabel = new QLabel("&Chosen plan", tab);
    planLabel->setBuddy(cbPlan);
    btStartPlan = new QPushButton("Start &plan", tab);
    ChecklistBox = new QVBoxLayout;
    ChecklistBox->setSpacing(2);
    lbPlanPoint = wrapped(tab, "plan point");
    btUseRange = new QPushButton("Use ran&ge", tab);
    lbCoolDown = wrapped(tab, "cool-down");
    lbCoolDown->setStyleSheet("color: #805c00; font-weight: bold;");
    lbCoolDown->hide();
    lbLastShot = wrapped(tab, "last shot");
    lbProgress = wrapped(tab, "progress");
    btShootAgain = new QPushButton("Sh&oot again", tab);
    btSkip = new QPushButton("Skip, &with a reason…", tab);
    btAsLeft = new QPushButton("Start &as-left session", tab);
    btApprove = new QPushButton("Approve &session…", tab);
    btNote = new QPushButton("Add a dated not&e…", tab);
    lbApproval = wrapped(tab, "approval");
    lbNotes = wrapped(tab, "notes");
    g->addWidget(planLabel, 0, 0);
    g->addWidget(cbPlan, 0, 1);
    g->addWidget(btStartPlan, 0, 2);
    g->addLayout(ChecklistBox, 1, 0, 1, 3);
    g->addWidget(lbPlanPoint, 2, 0, 1, 2);
    g->addWidget(btUseRange, 2, 2, Qt::AlignTop);
    g->addWidget(lbCoolDown, 3, 0, 1, 3);
    g->addWidget(lbLastShot, 4, 0, 1, 3);
    g->addWidget(lbProgress, 5, 0, 1, 3);
    // Two rows of buttons: the panel stays as narrow as its other tabs.
    auto* point = new QHBoxLayout;
    for (QPushButton* b : {btShootAgain, btSkip})
        point->addWidget(b);
    point->addStretch(1);
    auto* session = new QHBoxLayout;
    for (QPushButton* b : {btAsLeft, btApprove, btNote})
        session->addWidget(b);
    session->addStretch(1);
    g->addLayout(point, 6, 0, 1, 3);
    g->addLayout(session, 7, 0, 1, 3);
    g->addWidget(lbApproval, 8, 0, 1, 3);
    g->addWidget(lbNotes, 9, 0, 1, 3);
    g->setColumnStretch(1, 1);
    g->setRowStretch(10, 1);
    return tab;
}

void TestRecordPanel::connectPlan() {
    connect(btStartPlan, &QPushButton::clicked, this, [this] { startPlan(); });
    connect(btShootAgain, &QPushButton::clicked, this, [this] { shootAgain(); });
    connect(btSkip, &QPushButton::clicked, this, [this] { skipPoint(); });
    connect(btAsLeft, &QPushButton::clicked, this, [this] { startAsLeft(); });
    connect(btApprove, &QPushButton::clicked, this, [this] { approve(); });
    connect(btNote, &QPushButton::clicked, this, [this] { addNote(); });
    connect(btUseRange, &QPushButton::clicked, this, [this] {
        if (m_range) emit rangeChosen(*m_range);
    });
    connect(cbPlan, &QComboBox::currentIndexChanged, this, [this] {
        if (!m_plan) showChecklist();
    });
    m_coolTimer = new QTimer(this);
    m_coolTimer->setInterval(1000);
    connect(m_coolTimer, &QTimer::timeout, this, [this] { updateCoolDown(); });
    btUseRange->setEnabled(false);
}

void TestRecordPanel::setClock(std::function<std::string()> nowIso) {
    m_now = std::move(nowIso);
}

void TestRecordPanel::fillPlans(RecordsDatabase& db, RecordsError& e) {
    if (m_plan) return;
    const QString chosen = cbPlan->currentText();
    m_plans = TestPlanLibrary(db).plans(e);
    const QSignalBlocker quiet(cbPlan);
    cbPlan->clear();
    for (const TestPlan& p : m_plans)
        cbPlan->addItem(shownText(p.name), qs(p.id));
    // The breaker's own plan first chosen, else the one chosen before.
    int at = -1;
    if (m_chosenBreaker && !m_chosenBreaker->planId.empty())
        at = cbPlan->findData(qs(m_chosenBreaker->planId));
    if (at < 0) at = cbPlan->findText(chosen);
    cbPlan->setCurrentIndex(std::max(0, at));
    showChecklist();
}

void TestRecordPanel::showChecklist() {
    const int i = cbPlan->currentIndex();
    const TestPlan* plan = m_plan                                           ? &*m_plan
                           : i >= 0 && i < static_cast<int>(m_plans.size()) ? &m_plans[i]
                                                                            : nullptr;
    const std::vector<std::string> items = plan ? plan->checklist : std::vector<std::string>{};
    std::vector<std::string> shown;
    for (QCheckBox* c : cbChecks)
        shown.push_back(c->property("item").toString().toStdString());
    if (shown != items) {
        for (QCheckBox* c : cbChecks)
            delete c;
        cbChecks.clear();
        for (const std::string& item : items) {
            auto* box = new QCheckBox(cbPlan->parentWidget());
            box->setProperty("item", qs(item));
            connect(box, &QCheckBox::toggled, this, [this, item](bool on) {
                if (on) tick(item);
            });
            ChecklistBox->addWidget(box);
            cbChecks.push_back(box);
        }
        // Laid out and shown at once, not at the layout's next turn: they take a click now.
        if (QLayout* l = cbPlan->parentWidget()->layout()) l->activate();
        for (QCheckBox* c : cbChecks)
            c->setVisible(true);
        // Reached by Tab where they are seen: after "Start plan", before the point's buttons.
        QWidget* before = btStartPlan;
        for (QCheckBox* c : cbChecks) {
            QWidget::setTabOrder(before, c);
            before = c;
        }
    }
    // An approved session's checklist is kept as it was ticked.
    const bool approved = m_context && !m_context->session.approvedBy.empty();
    for (std::size_t n = 0; n < items.size(); ++n) {
        QCheckBox* box = cbChecks[n];
        const auto ticked = m_ticked.find(items[n]);
        const QSignalBlocker quiet(box);
        box->setText(shownText(ticked == m_ticked.end()
                                   ? items[n]
                                   : items[n] + " (ticked " + localTimeText(ticked->second) + ")"));
        box->setChecked(ticked != m_ticked.end());
        // A tick is kept with its time: it is not taken back.
        box->setEnabled(ticked == m_ticked.end() && !approved);
    }
}

void TestRecordPanel::tick(const std::string& item) {
    const std::string at = m_now();
    m_ticked[item] = at;
    // Ticks before the session's rows are there are written after them.
    if (m_plan) submitTick(item, at);
    showChecklist();
    showPlanPoint();
}

void TestRecordPanel::submitTick(const std::string& item, const std::string& at) {
    const std::string id = m_context->session.id;
    m_writes[m_writer.submitWrite([id, item, at](RecordsDatabase& d) {
        return tickSessionCheck(d, id, item, at);
    })] = "The tick of \"" + item + "\"";
}

bool TestRecordPanel::startPlan() {
    if (m_plan) return true;
    const int i = cbPlan->currentIndex();
    if (i < 0 || i >= static_cast<int>(m_plans.size())) {
        say("Choose the plan to follow.", true);
        return false;
    }
    const TestPlan plan = m_plans[static_cast<std::size_t>(i)];
    const bool wasRecording = isRecording();
    if (!wasRecording) {
        m_planStarting = true;
        const bool started = startRecording();
        m_planStarting = false;
        if (!started) return false;
    }
    if (!m_context->session.planId.empty() && resumePlan(plan)) return true;
    FieldError e;
    std::vector<TestPointRecord> points = planTestPoints(
        plan, settingsInForce(m_context->session, m_context->breaker).value_or(TripUnitSettings{}),
        m_context->session.id, e);
    if (points.empty()) {
        if (!wasRecording) m_context.reset();
        updateControls();
        say(qs("The plan cannot start: " + e.message +
               ". Enter the trip unit's settings on the breaker's tab."),
            true);
        return false;
    }
    beginPlan(plan, std::move(points));
    return true;
}

void TestRecordPanel::beginPlan(const TestPlan& plan, std::vector<TestPointRecord> points) {
    m_plan = plan;
    m_planPoints = std::move(points);
    m_planShots.clear();
    m_planSubmitted.clear();
    m_longTimeTaken.clear();
    m_retest.reset();
    m_lastShotPoint.reset();
    m_context->session.planId = plan.id;
    const ShotContext ctx = *m_context;
    const std::vector<TestPointRecord> made = m_planPoints;
    m_writes[m_writer.submitWrite([ctx, made](RecordsDatabase& d) {
        RecordsStore store(d);
        RecordsError e = store.storeSessionPoints(ctx, made);
        // A session already there follows the plan from now.
        return e ? e : store.saveSession(ctx.session);
    })] = "The test points of plan " + plan.name;
    for (const auto& [item, at] : m_ticked)
        submitTick(item, at);
    lbLastShot->clear();
    showChecklist();
    say({}, false);
    showPlanPoint();
    m_coolTimer->start();
    updateControls();
}

bool TestRecordPanel::readPlanned(const std::string& sessionId,
                                  std::vector<TestPointRecord>& points,
                                  std::map<std::string, std::vector<ShotRecord>>& shots) {
    RecordsDatabase* db = readDatabase();
    if (!db) return false;
    RecordsError e;
    RecordsStore store(*db);
    for (const TestPointRecord& p : store.testPointsOf(sessionId, e))
        if (p.planSeq) points.push_back(p);
    std::sort(points.begin(), points.end(),
              [](const auto& a, const auto& b) { return *a.planSeq < *b.planSeq; });
    ShotFilter f;
    f.sessionId = sessionId;
    for (const ShotRow& r : store.listShots(f, ShotOrder::OldestFirst, 0, 10000, e))
        shots[r.point.id].push_back(r.shot);
    if (e) say(qs("The records cannot be read: " + e.message), true);
    return !e && !points.empty();
}

bool TestRecordPanel::resumePlan(const TestPlan& chosen) {
    std::vector<TestPointRecord> points;
    std::map<std::string, std::vector<ShotRecord>> shots;
    const SessionRecord session = m_context->session;
    if (!readPlanned(session.id, points, shots)) return false;
    RecordsError e;
    RecordsDatabase* db = readDatabase();
    // The plan as it is now gives the checklist and cool-down; the points are the session's.
    std::optional<TestPlan> plan = db ? TestPlanLibrary(*db).byId(session.planId, e) : std::nullopt;
    m_plan = plan.value_or(chosen);
    m_planPoints = std::move(points);
    m_planShots = std::move(shots);
    m_planSubmitted.clear();
    m_longTimeTaken.clear();
    for (const TestPointRecord& p : m_planPoints) {
        const std::vector<ShotRecord>& taken = m_planShots[p.id];
        m_planSubmitted[p.id] = static_cast<int>(taken.size());
        if (p.kind == PointKind::LongTime)
            for (const ShotRecord& s : taken)
                m_longTimeTaken.emplace_back(p.pole, s.reading.takenAt);
    }
    m_ticked.clear();
    if (db)
        for (const SessionCheck& c : sessionChecksOf(*db, session.id, e))
            m_ticked[c.item] = c.tickedAt;
    m_asFound.clear();
    std::vector<TestPointRecord> found;
    std::map<std::string, std::vector<ShotRecord>> foundShots;
    if (!session.asFoundId.empty() && readPlanned(session.asFoundId, found, foundShots))
        for (const TestPointRecord& p : found)
            m_asFound[*p.planSeq] = asFoundText(p, foundShots[p.id], m_host.decimalSeparator);
    m_retest.reset();
    m_lastShotPoint.reset();
    showChecklist();
    say({}, false);
    showPlanPoint();
    m_coolTimer->start();
    updateControls();
    return true;
}

std::vector<PointResult> TestRecordPanel::planResults() const {
    std::vector<PointResult> results;
    for (const TestPointRecord& p : m_planPoints) {
        const auto stored = m_planShots.find(p.id);
        PointResult r = pointResultOf(p, stored == m_planShots.end() ? std::vector<ShotRecord>{}
                                                                     : stored->second);
        // Shots still being stored count already: the next pulse is of the next point.
        const auto submitted = m_planSubmitted.find(p.id);
        if (submitted != m_planSubmitted.end()) r.shots = std::max(r.shots, submitted->second);
        results.push_back(r);
    }
    return results;
}

std::optional<std::size_t> TestRecordPanel::currentPlanPoint() const {
    if (!m_plan) return std::nullopt;
    if (m_retest) return m_retest;
    return walkPlan(*m_plan, planResults()).next;
}

void TestRecordPanel::showPlanPoint() {
    m_range.reset();
    btUseRange->setText("Use ran&ge");
    btUseRange->setEnabled(false);
    if (!m_plan || !m_context) {
        lbPlanPoint->setText(m_plan ? "" : "No plan followed.");
        lbProgress->clear();
        lbCoolDown->hide();
        return;
    }
    const char separator = m_host.decimalSeparator;
    const PlanWalk walk = walkPlan(*m_plan, planResults());
    lbProgress->setText(qs("done " + std::to_string(walk.done) + ", passed " +
                           std::to_string(walk.passed) + ", failed " + std::to_string(walk.failed) +
                           ", left " + std::to_string(walk.left) +
                           (walk.skipped ? ", skipped " + std::to_string(walk.skipped) : "")));
    const std::optional<std::size_t> current = currentPlanPoint();
    if (!current) {
        lbPlanPoint->setText("Every point of the plan is done.");
        updateCoolDown();
        updateControls();
        return;
    }
    const TestPointRecord& p = m_planPoints[*current];
    m_context->point = p;
    BandSources sources;
    sources.settings = settingsInForce(m_context->session, m_context->breaker);
    if (const StoredTripUnit* u = chosenTripUnit()) sources.profile = u->profile;
    const double ratedAmps = m_context->breaker.ratedAmps;
    const TargetPreview preview = targetPreview(p, sources, ratedAmps, separator);
    std::string text = "Point " + std::to_string(*p.planSeq) + " of " +
                       std::to_string(m_planPoints.size()) + (m_retest ? " (again)" : "") + ": " +
                       testPointSummary(p, separator) + "\n" + preview.amps;
    if (!preview.band.empty())
        text +=
            ", band " + preview.band + (preview.basis.empty() ? "" : " (" + preview.basis + ")");
    const auto found = m_asFound.find(*p.planSeq);
    if (found != m_asFound.end()) text += "\n" + found->second;
    const auto shots = m_planShots.find(p.id);
    if (shots != m_planShots.end() && !shots->second.empty())
        text += "\n" + std::to_string(shots->second.size()) + " shot(s) taken at this point";
    lbPlanPoint->setText(shownText(text));
    const std::array<double, 8> scales =
        m_host.rangeFullScales ? m_host.rangeFullScales() : kNominalFullScales;
    m_range = rangeForTarget(scales, p.multiple * ratedAmps);
    btUseRange->setText(m_range ? QString("Use ran&ge %1").arg(*m_range)
                                : QString("No range covers the target"));
    btUseRange->setEnabled(m_range.has_value());
    updateCoolDown();
    updateControls();
}

void TestRecordPanel::updateCoolDown() {
    const std::optional<std::size_t> current = currentPlanPoint();
    if (!m_plan || !m_context || !current || m_planPoints[*current].kind != PointKind::LongTime) {
        lbCoolDown->hide();
        return;
    }
    const Pole pole = m_planPoints[*current].pole;
    const CoolDown c = coolDownAt(m_longTimeTaken, pole, m_now(), m_plan->coolDownMinutes,
                                  thermalMemoryTicked(*m_plan, [this] {
                                      std::set<std::string> items;
                                      for (const auto& t : m_ticked)
                                          items.insert(t.first);
                                      return items;
                                  }()));
    if (!c.waiting) {
        lbCoolDown->hide();
        return;
    }
    const long seconds = static_cast<long>(std::ceil(c.secondsLeft));
    char left[32];
    std::snprintf(left, sizeof left, "%ld:%02ld", seconds / 60, seconds % 60);
    lbCoolDown->setText(qs("Cool-down of pole " + poleText(pole) + ": " + left +
                           " left. A shot taken now is marked \"in cool-down\"."));
    lbCoolDown->show();
}

bool TestRecordPanel::takePlanShot(ShotReading& reading) {
    const std::optional<std::size_t> current = currentPlanPoint();
    if (!current) {
        say("Pulse not recorded: every point of the plan is done. Shoot a point again, or start "
            "the as-left session.",
            true);
        return false;
    }
    std::set<std::string> ticked;
    for (const auto& t : m_ticked)
        ticked.insert(t.first);
    const bool first = std::none_of(m_planSubmitted.begin(), m_planSubmitted.end(),
                                    [](const auto& s) { return s.second > 0; });
    if (first && !checklistComplete(*m_plan, ticked)) {
        say(qs("Pulse not recorded: tick the checklist's items before the plan's first "
               "shot (" +
               std::to_string(ticked.size()) + " of " + std::to_string(m_plan->checklist.size()) +
               " ticked; the thermal memory's may be left for the cool-down)."),
            true);
        return false;
    }
    const TestPointRecord& p = m_planPoints[*current];
    if (p.kind == PointKind::LongTime) {
        reading.inCoolDown =
            coolDownAt(m_longTimeTaken, p.pole, reading.takenAt, m_plan->coolDownMinutes,
                       thermalMemoryTicked(*m_plan, ticked))
                .waiting;
        m_longTimeTaken.emplace_back(p.pole, reading.takenAt);
    }
    m_context->point = p;
    ++m_planSubmitted[p.id];
    m_lastShotPoint = current;
    m_retest.reset();
    QTimer::singleShot(0, this, [this] { showPlanPoint(); });
    return true;
}

void TestRecordPanel::planShotStored(const TestPointRecord& point, const ShotRecord& shot,
                                     bool failed) {
    const auto at = std::find_if(m_planPoints.begin(), m_planPoints.end(),
                                 [&](const TestPointRecord& p) { return p.id == point.id; });
    if (at == m_planPoints.end()) return; // of a session left since
    if (failed) {
        // Not stored: it neither counts for its point nor starts a cool-down.
        --m_planSubmitted[point.id];
        const auto taken = std::find(m_longTimeTaken.begin(), m_longTimeTaken.end(),
                                     std::pair{point.pole, shot.reading.takenAt});
        if (point.kind == PointKind::LongTime && taken != m_longTimeTaken.end())
            m_longTimeTaken.erase(taken);
    } else {
        m_planShots[point.id].push_back(shot);
        const char separator = m_host.decimalSeparator;
        std::string text = "Point " + std::to_string(*point.planSeq) + ": " +
                           verdictText(shot.judgement.verdict) + " " +
                           formatFixed(shot.reading.seconds, 0, 3, separator) + " s" +
                           (shot.reading.inCoolDown ? ", in cool-down" : "");
        const auto found = m_asFound.find(*point.planSeq);
        if (found != m_asFound.end()) text += "  (" + found->second + ")";
        lbLastShot->setText(shownText(text));
    }
    showPlanPoint();
}

void TestRecordPanel::shootAgain() {
    if (!m_plan || !m_lastShotPoint) return;
    m_retest = m_lastShotPoint;
    showPlanPoint();
}

bool TestRecordPanel::skipPoint() {
    const std::optional<std::size_t> current = currentPlanPoint();
    if (!current || m_retest) return false;
    TestPointRecord& p = m_planPoints[*current];
    const auto reason = m_host.dialogs.inputBox(
        "Skip test point", "Why is point " + std::to_string(*p.planSeq) + " skipped?", "");
    if (!reason) return false;
    const std::string why = trimText(*reason);
    if (why.empty()) {
        say("The point is not skipped: a skipped point needs its reason.", true);
        return false;
    }
    p.skipped = why;
    const TestPointRecord saved = p;
    m_writes[m_writer.submitWrite([saved](RecordsDatabase& d) {
        return RecordsStore(d).saveTestPoint(saved);
    })] = "The skip of point " + std::to_string(*p.planSeq);
    m_retest.reset();
    say({}, false);
    showPlanPoint();
    return true;
}

} // namespace qarn3
