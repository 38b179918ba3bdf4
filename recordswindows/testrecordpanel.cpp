#include "recordswindows/testrecordpanel.h"

#include "platform/dialogs.h"
#include "platform/textformat.h"
#include "records/resolver.h"
#include "records/sessionreport.h"
#include "store/curvelibrary.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>

#include <algorithm>
#include <set>

namespace qarn3 {

namespace {

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}
std::string text(const QLineEdit* e) {
    return e->text().toStdString();
}
// A combo's text, or the stored name behind the item shown: a name is listed as shownText
// shows it, and choosing it must still give the name itself.
std::string text(const QComboBox* c) {
    const int i = c->currentIndex();
    const QVariant stored =
        i >= 0 && c->itemText(i) == c->currentText() ? c->itemData(i) : QVariant();
    return (stored.isValid() ? stored.toString() : c->currentText()).toStdString();
}
// Lists a stored name shown as the windows show it, the name itself as its item's data.
void addName(QComboBox* c, const std::string& name) {
    c->addItem(shownText(name), QString::fromStdString(name));
}
// Shows the name again after the list was filled anew: its item when listed, else as typed.
void showName(QComboBox* c, const std::string& name) {
    const int i = c->findData(QString::fromStdString(name));
    if (i >= 0)
        c->setCurrentIndex(i);
    else
        c->setCurrentText(QString::fromStdString(name));
}

// A stored number as the operator would type it: "400", "12,5".
QString numberText(double v, char separator) {
    QString s = QString::number(v, 'g', 12);
    if (separator != '.') s.replace('.', QChar(separator));
    return s;
}

std::string familyOf(const TripCurve& c) {
    return c.maker + " " + c.model;
}

// What the records hold for the typed site and breaker, and the curve family the breaker
// names (empty when none).
RecordsError findRecords(RecordsDatabase& db, const ShotContext& typed, FoundRecords& found,
                         std::string& family) {
    RecordsStore store(db);
    RecordsError e;
    found.site = store.siteNamed(typed.site.name, e);
    if (found.site)
        found.breaker = store.breakerNamed(found.site->id, typed.breaker.designation, e);
    if (found.breaker) {
        const auto curves = CurveLibrary(db).curvesOf(found.breaker->id, e);
        if (!curves.empty()) family = familyOf(curves.front());
    }
    return e;
}

} // namespace

TestRecordPanel::TestRecordPanel(RecordsHost host, ShotWriter& writer, QWidget* parent)
    : QWidget(parent), m_host(std::move(host)), m_writer(writer), m_now(isoUtcNow) {
    qRegisterMetaType<qarn3::RecordedPulse>();
    setObjectName("TestRecordPanel");
    setWindowTitle("Test Record");
    buildControls();
    connect(btStart, &QPushButton::clicked, this, [this] { startRecording(); });
    connect(btUsePoint, &QPushButton::clicked, this, [this] { useTestPoint(); });
    connect(btEnd, &QPushButton::clicked, this, [this] { endSession(); });
    connect(cbSite, &QComboBox::activated, this, [this] { fillBreakers(); });
    connect(cbSite->lineEdit(), &QLineEdit::editingFinished, this, [this] { fillBreakers(); });
    connect(cbBreaker, &QComboBox::activated, this, &TestRecordPanel::breakerChosen);
    connect(cbBreaker->lineEdit(), &QLineEdit::editingFinished, this,
            [this] { breakerChosen(cbBreaker->findData(qs(text(cbBreaker)))); });
    connect(cbSession, &QComboBox::activated, this, &TestRecordPanel::sessionChosen);
    for (QLineEdit* e : findChildren<QLineEdit*>())
        connect(e, &QLineEdit::textEdited, this, [this] { clearRefusal(); });
    connect(ebTripSettings, &QLineEdit::textEdited, this, [this] { m_tripSettingsEdited = true; });
    for (QLineEdit* e : {ebTripSettings, ebMultiple, ebRating})
        connect(e, &QLineEdit::textChanged, this, [this] { updateTarget(); });
    for (QComboBox* c : {cbTripUnit, cbKind})
        connect(c, &QComboBox::currentIndexChanged, this, [this] { updateTarget(); });
    for (QRadioButton* b : {rbBandTyped, rbBandCurve, rbMustNotTrip})
        connect(b, &QRadioButton::toggled, this, [this] { updateTarget(); });
    connect(&m_writer, &ShotWriter::stored, this, &TestRecordPanel::stored);
    connect(&m_writer, &ShotWriter::opened, this, &TestRecordPanel::opened);
    connect(&m_writer, &ShotWriter::written, this, &TestRecordPanel::written);
    cbSession->addItem("New session");
    connectPlan();
    showAnalyzer();
    updateControls();
}

TestRecordPanel::~TestRecordPanel() = default;

void TestRecordPanel::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!m_loaded) reload();
    showAnalyzer();
}

TestRecordFields TestRecordPanel::fields() const {
    TestRecordFields f;
    f.site = text(cbSite);
    f.designation = text(cbBreaker);
    f.maker = text(ebMaker);
    f.model = text(ebModel);
    f.serial = text(ebSerial);
    f.rating = text(ebRating);
    f.settings = text(ebSettings);
    f.location = text(ebLocation);
    f.curveFamily = cbCurve->currentIndex() > 0 ? text(cbCurve) : "";
    f.tripUnit = cbTripUnit->currentIndex() > 0 ? text(cbTripUnit) : "";
    f.tripSettings = text(ebTripSettings);
    f.operatorName = text(ebOperator);
    f.condition = conditionFromText(text(cbCondition)).value_or(Condition::Other);
    f.sessionNotes = text(ebNotes);
    f.pole = poleFromText(text(cbPole)).value_or(Pole::A);
    f.kind = kindFromText(text(cbKind)).value_or(PointKind::Other);
    f.multiple = text(ebMultiple);
    f.tolerance = text(ebTolerance);
    f.bandSource = rbMustNotTrip->isChecked() ? BandSource::MustNotTrip
                   : rbBandCurve->isChecked() ? BandSource::Curve
                                              : BandSource::Typed;
    f.bandMin = text(ebBandMin);
    f.bandMax = text(ebBandMax);
    f.hold = text(ebHold);
    return f;
}

RecordsDatabase* TestRecordPanel::readDatabase() {
    if (m_db && m_db->isOpen()) return m_db.get();
    WindowConnection c = openWindowConnection(m_host.database);
    if (!c.notes.empty()) tellOperator(c.notes, false);
    m_db = std::move(c.db);
    if (m_db) return m_db.get();
    say(qs("The records cannot be read: " + c.error), true);
    return nullptr;
}

void TestRecordPanel::reload() {
    m_loaded = true;
    RecordsDatabase* db = readDatabase();
    if (!db) return;
    RecordsError e;
    m_sites = RecordsStore(*db).sites(e);
    const std::string site = text(cbSite);
    cbSite->clear();
    std::set<std::string> names;
    for (const SiteRecord& s : m_sites)
        if (names.insert(s.name).second) addName(cbSite, s.name);
    showName(cbSite, site);
    const QVariant curve = cbCurve->currentData();
    cbCurve->clear();
    cbCurve->addItem("(none)");
    std::set<std::string> families;
    for (const TripCurve& c : CurveLibrary(*db).curves(e))
        if (families.insert(familyOf(c)).second) addName(cbCurve, familyOf(c));
    cbCurve->setCurrentIndex(curve.isValid() ? std::max(0, cbCurve->findData(curve)) : 0);
    fillTripUnits(*db, e);
    fillPlans(*db, e);
    if (e) say(qs("The records cannot be read: " + e.message), true);
    fillBreakers();
}

void TestRecordPanel::fillBreakers() {
    m_breakers.clear();
    const std::string typed = text(cbBreaker);
    cbBreaker->clear();
    if (RecordsDatabase* db = readDatabase()) {
        RecordsError e;
        RecordsStore store(*db);
        if (const auto site = store.siteNamed(trimText(text(cbSite)), e))
            m_breakers = store.breakersOf(site->id, e);
    }
    for (const BreakerRecord& b : m_breakers)
        addName(cbBreaker, b.designation);
    showName(cbBreaker, typed);
    breakerChosen(cbBreaker->findData(qs(typed)));
}

void TestRecordPanel::breakerChosen(int index) {
    if (index < 0 || index >= static_cast<int>(m_breakers.size())) {
        m_chosenBreaker.reset();
        m_sessions.clear();
        fillSessions();
        return;
    }
    const BreakerRecord& b = m_breakers[static_cast<std::size_t>(index)];
    ebMaker->setText(qs(b.maker));
    ebModel->setText(qs(b.model));
    ebSerial->setText(qs(b.serial));
    ebRating->setText(numberText(b.ratedAmps, m_host.decimalSeparator));
    ebSettings->setText(qs(b.settings));
    ebLocation->setText(qs(b.location));
    m_chosenBreaker = b;
    // The plan the breaker is tested by, unless one is followed already.
    if (const int plan = cbPlan->findData(qs(b.planId)); !m_plan && !b.planId.empty() && plan >= 0)
        cbPlan->setCurrentIndex(plan);
    showTripUnit(b.tripUnitId);
    showTripSettings(b.tripSettings);
    m_sessions.clear();
    if (RecordsDatabase* db = readDatabase()) {
        RecordsError e;
        const std::vector<TripCurve> curves = CurveLibrary(*db).curvesOf(b.id, e);
        cbCurve->setCurrentIndex(
            curves.empty() ? 0 : std::max(0, cbCurve->findData(qs(familyOf(curves.front())))));
        m_sessions = RecordsStore(*db).sessionsOf(b.id, e);
        std::reverse(m_sessions.begin(), m_sessions.end()); // the newest first
    }
    fillSessions();
}

void TestRecordPanel::fillSessions() {
    cbSession->clear();
    cbSession->addItem("New session");
    for (const SessionRecord& s : m_sessions)
        cbSession->addItem(shownText(localTimeText(s.startedAt) + "  " +
                                     conditionText(s.condition) +
                                     (s.operatorName.empty() ? "" : "  " + s.operatorName)));
    sessionChosen(0);
}

void TestRecordPanel::sessionChosen(int index) {
    clearShotList();
    if (index <= 0 || index > static_cast<int>(m_sessions.size())) {
        if (m_chosenBreaker && !m_tripSettingsEdited)
            showTripSettings(m_chosenBreaker->tripSettings);
        return;
    }
    const SessionRecord& s = m_sessions[static_cast<std::size_t>(index - 1)];
    if (m_chosenBreaker) showTripSettings(sessionSettingsText(s, *m_chosenBreaker));
    ebOperator->setText(qs(s.operatorName));
    cbCondition->setCurrentText(qs(conditionText(s.condition)));
    ebNotes->setText(qs(s.notes));
    listSessionShots(s.id);
}

void TestRecordPanel::showAnalyzer() {
    const AnalyzerIdentity a = m_host.analyzer ? m_host.analyzer() : AnalyzerIdentity{};
    lbAnalyzer->setText(
        a.serial.empty() && a.calDate.empty()
            ? QString("unknown")
            : qs((a.serial.empty() ? "no serial number" : "serial " + a.serial) + ", " +
                 (a.calDate.empty() ? "calibration date unknown" : "calibrated " + a.calDate)));
}

bool TestRecordPanel::startRecording() {
    if (m_context) return true;
    clearRefusal();
    const TestRecordFields f = fields();
    const char separator = m_host.decimalSeparator;
    TypedContext typed;
    typed.overKnown = TypedOverKnown::Edits;
    ShotContext& c = typed.fresh;
    if (auto e = readBreakerFields(f, separator, c.site, c.breaker)) return refuse(*e);
    TripUnitSettings settings;
    std::string settingsText;
    if (auto e = readTripSettingsField(f, settings, settingsText)) return refuse(*e);
    // A plan's session takes its test points from the plan.
    if (!m_planStarting)
        if (auto e = readTestPointFields(f, separator, settings, c.point)) return refuse(*e);
    const StoredTripUnit* unit = chosenTripUnit();
    c.breaker.tripUnitId = unit ? unit->id : "";
    c.breaker.tripSettings = c.session.tripSettings = settingsText;
    RecordsDatabase* db = readDatabase();
    if (!db) return false;
    FoundRecords found;
    std::string family;
    if (RecordsError e = findRecords(*db, c, found, family)) {
        say(qs("The records cannot be read: " + e.message), true);
        return false;
    }
    // Settings read from the records and left as they were stay the breaker's and the
    // session's own (a session without settings of its own follows the breaker's).
    if (found.breaker && !m_tripSettingsEdited)
        c.breaker.tripSettings = found.breaker->tripSettings;
    c.site = SiteRecord{newRecordId(), c.site.name, ""};
    c.breaker.id = newRecordId();
    const int chosen = cbSession->currentIndex();
    if (chosen > 0 && chosen <= static_cast<int>(m_sessions.size())) {
        typed.choice = SessionChoice::OfTheBreaker;
        found.session = m_sessions[static_cast<std::size_t>(chosen - 1)];
        if (!m_tripSettingsEdited) c.session.tripSettings = found.session->tripSettings;
    }
    c.session.id = newRecordId();
    c.session.startedAt = m_now();
    const AnalyzerIdentity a = m_host.analyzer ? m_host.analyzer() : AnalyzerIdentity{};
    c.session.analyzerSerial = a.serial;
    c.session.analyzerCalDate = a.calDate;
    readSessionFields(f, c.session);
    c.point.id = newRecordId();
    const Resolution resolved = resolveContext(typed, found);
    if (auto v = validateSession(resolved.context.session)) return refuse(*v);

    submitEdits(resolved, f.curveFamily, family);
    m_context = resolved.context;
    if (!resolved.sessionKnown) clearShotList();
    say({}, false);
    updateControls();
    return true;
}

void TestRecordPanel::submitEdits(const Resolution& resolved, const std::string& typedFamily,
                                  const std::string& namedFamily) {
    // Changes of records already there, and the curves the breaker names, go through the
    // writer in turn before the first shot.
    const BreakerRecord b = resolved.context.breaker;
    if (resolved.breakerEdited)
        m_writes[m_writer.submitWrite([b](RecordsDatabase& d) {
            return RecordsStore(d).saveBreaker(b);
        })] = "The changes of breaker " + b.designation;
    if (!typedFamily.empty() && typedFamily != namedFamily) {
        const SiteRecord s = resolved.context.site;
        const std::string name = typedFamily;
        m_writes[m_writer.submitWrite([s, b, name](RecordsDatabase& d) {
            CurveLibrary library(d);
            RecordsError error;
            const std::vector<TripCurve> curves = library.family(name, error);
            return error ? error : library.nameCurves(s, b, curves);
        })] = "The curves " + name + " of breaker " + b.designation;
    }
    if (resolved.sessionEdited) {
        const SessionRecord s = resolved.context.session;
        m_writes[m_writer.submitWrite([s](RecordsDatabase& d) {
            return RecordsStore(d).saveSession(s);
        })] = "The changes of the session";
    }
}

bool TestRecordPanel::useTestPoint() {
    if (!m_context) return false;
    clearRefusal();
    TestPointRecord p;
    const TripUnitSettings settings =
        settingsInForce(m_context->session, m_context->breaker).value_or(TripUnitSettings{});
    if (auto e = readTestPointFields(fields(), m_host.decimalSeparator, settings, p))
        return refuse(*e);
    if (!sameTestPoint(p, m_context->point)) {
        p.id = newRecordId();
        p.sessionId = m_context->session.id;
        m_context->point = p;
    }
    say({}, false);
    updateControls();
    return true;
}

void TestRecordPanel::endSession() {
    m_context.reset();
    m_plan.reset();
    m_planPoints.clear();
    m_asFound.clear();
    m_ticked.clear();
    m_coolTimer->stop();
    showChecklist();
    clearRefusal();
    say({}, false);
    m_loaded = false;
    if (isVisible()) reload();
    updateControls();
}

void TestRecordPanel::updateControls() {
    const bool recording = m_context.has_value();
    for (QWidget* w : std::initializer_list<QWidget*>{
             cbSite, cbBreaker, ebMaker, ebModel, ebSerial, ebRating, ebSettings, ebLocation,
             cbCurve, cbTripUnit, ebTripSettings, cbSession, ebOperator, cbCondition, ebNotes})
        w->setEnabled(!recording);
    btStart->setEnabled(!recording);
    btUsePoint->setEnabled(recording);
    btEnd->setEnabled(recording);
    const bool planned = recording && m_plan.has_value();
    const bool approved = recording && !m_context->session.approvedBy.empty();
    cbPlan->setEnabled(!planned);
    btStartPlan->setEnabled(!planned);
    btShootAgain->setEnabled(planned && !approved && m_lastShotPoint.has_value());
    // A point shot again is done already: it is shot, not skipped.
    btSkip->setEnabled(planned && !approved && !m_retest && currentPlanPoint().has_value());
    btAsLeft->setEnabled(planned && m_context->session.condition != Condition::AsLeft);
    btApprove->setEnabled(recording && !approved);
    btNote->setEnabled(recording);
    showApproval();
    showCalibration();
    if (!recording) {
        lbState->setText("Not recording. Set up the breaker, the session and the test point, "
                         "then start recording.");
        return;
    }
    const ShotContext& c = *m_context;
    lbState->setText(
        shownText("Recording " + c.site.name + " / " + c.breaker.designation + " (In " +
                  numberText(c.breaker.ratedAmps, m_host.decimalSeparator).toStdString() + " A), " +
                  conditionText(c.session.condition) +
                  "\nTest point: " + testPointSummary(c.point, m_host.decimalSeparator)));
}

} // namespace qarn3
