#pragma once

#include "records/testplan.h"
#include "records/testrecordform.h"
#include "recordswindows/recordshost.h"
#include "store/store.h"
#include "store/tripunitlibrary.h"
#include "store/writer.h"

#include <QByteArray>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTableWidget;
class QTabWidget;
class QTimer;
class QVBoxLayout;

namespace qarn3 {

struct Resolution;

// A pulse's end as the program hands it to the test record panel.
struct RecordedPulse {
    // The engine's reading (readingOf), with the pulse's number in its test and where it
    // begins in the waveform below; the panel stamps the time it is handed over.
    ShotReading reading;
    // The capture as its waveform file (waveformFileBytes); empty: none. Made only while the
    // panel records (isRecording()), as it costs a tenth of a millisecond.
    QByteArray waveform;
};

// The test record panel beside the main window: the site, breaker, session and test point a
// test is recorded under, and the shots of the session in their verdicts' colours. At each
// pulse's end (pulseEnded) the shot is handed to the writer, which stores it off this thread
// and reports back; storing errors reach the operator through the dialog service (the
// results file is the program's own and is written as before). Reads of the records (the
// lists to choose from) are short queries on a connection of its own.
class TestRecordPanel : public QWidget {
    Q_OBJECT
public:
    TestRecordPanel(RecordsHost host, ShotWriter& writer, QWidget* parent = nullptr);
    ~TestRecordPanel() override;

    // A session and test point are set up: each pulse's end is stored.
    bool isRecording() const { return m_context.has_value(); }
    // What the next shot is stored under.
    const std::optional<ShotContext>& context() const { return m_context; }
    // The fields as typed.
    TestRecordFields fields() const;
    // The clock shots, ticks and the cool-down read (ISO 8601 UTC); isoUtcNow unless a test
    // sets its own.
    void setClock(std::function<std::string()> nowIso);
    // The plan followed, its test points as made for the session, and the one the next shot
    // is of (none when every point is done).
    const std::optional<TestPlan>& plan() const { return m_plan; }
    const std::vector<TestPointRecord>& planPoints() const { return m_planPoints; }
    std::optional<std::size_t> currentPlanPoint() const;

public slots:
    // At a pulse's end, on the window's thread: hands the shot to the writer and lists it;
    // never waits. Without a test point set up the pulse is not recorded and the panel says so.
    void pulseEnded(const qarn3::RecordedPulse& end);
    // Reads the sites, their breakers, the curves and the sessions anew.
    void reload();
    // Checks the fields and starts recording under them (a new session, or the one chosen).
    bool startRecording();
    // Checks the test point's fields and records the next shots under it.
    bool useTestPoint();
    // Ends the session: pulses are no longer recorded.
    void endSession();
    // Records a session following the plan chosen: its test points made from the plan's.
    bool startPlan();
    // The next shot is one more of the point shot last.
    void shootAgain();
    // The current point skipped, with the reason asked.
    bool skipPoint();
    // A session as left, from this one as found: same breaker and plan, settings as left.
    bool startAsLeft();
    // The session approved by the name asked.
    bool approve();
    // A dated note added to the session (an approved one's correction), its author asked.
    bool addNote();

signals:
    // A shot of this panel was stored (its id and verdict in the outcome).
    void shotStored(const qarn3::StoreOutcome& outcome);
    // The operator asks for the measuring range (1..8) the current point is to be shot on.
    void rangeChosen(int rangeIndex);

public:
    // Controls, named by what they hold.
    QTabWidget* Tabs;
    QComboBox* cbSite;
    QComboBox* cbBreaker;
    QLineEdit* ebMaker;
    QLineEdit* ebModel;
    QLineEdit* ebSerial;
    QLineEdit* ebRating;
    QLineEdit* ebSettings;
    QLineEdit* ebLocation;
    QComboBox* cbCurve;
    QComboBox* cbTripUnit;
    QLineEdit* ebTripSettings; // the trip unit's settings as values, "LTPU=0.8,LTD=4,..."
    QComboBox* cbSession;
    QLineEdit* ebOperator;
    QComboBox* cbCondition;
    QLineEdit* ebNotes;
    QLabel* lbAnalyzer;
    QComboBox* cbPole;
    QComboBox* cbKind;
    QLineEdit* ebMultiple;
    QLabel* lbTargetAmps; // "target 240.0 A"
    QLabel* lbTargetBand; // the band the settings give at the target, and its basis
    QLineEdit* ebTolerance;
    QRadioButton* rbBandTyped;
    QRadioButton* rbBandCurve;
    QRadioButton* rbMustNotTrip;
    QLineEdit* ebBandMin;
    QLineEdit* ebBandMax;
    QLineEdit* ebHold;
    QLabel* lbState;   // what the shots are recorded under, or that they are not
    QLabel* lbMessage; // a refused field, a pulse not recorded, a storing error
    QPushButton* btStart;
    QPushButton* btUsePoint;
    QPushButton* btEnd;
    QTableWidget* ShotList;
    QLabel* lbCalibration; // a calibration more than a year old on the test's day
    // The plan tab.
    QComboBox* cbPlan;
    QVBoxLayout* ChecklistBox;
    std::vector<QCheckBox*> cbChecks;
    QPushButton* btStartPlan;
    QLabel* lbPlanPoint; // the current point, its target current, band, and as-found result
    QPushButton* btUseRange;
    QLabel* lbCoolDown;
    QLabel* lbLastShot;
    QLabel* lbProgress; // "done 3, passed 2, failed 1, left 10"
    QPushButton* btShootAgain;
    QPushButton* btSkip;
    QPushButton* btAsLeft;
    QPushButton* btApprove;
    QPushButton* btNote;
    QLabel* lbApproval;
    QLabel* lbNotes; // the session's dated notes, oldest first

    // The shot list's columns.
    enum ShotColumn {
        ColNumber,
        ColPole,
        ColCurrent,
        ColSeconds,
        ColCycles,
        ColMultiple,
        ColVerdict,
        ColTarget, // "off target", "near pickup"
        ColBand,
        ColBasis,
        ShotColumns
    };

    QSize sizeHint() const override { return {450, 560}; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildControls();
    QWidget* buildBreakerTab();
    QWidget* buildSessionTab();
    QWidget* buildTestPointTab();
    QWidget* buildPlanTab();
    void connectPlan();
    void fillPlans(RecordsDatabase& db, RecordsError& e);
    void showChecklist();
    void tick(const std::string& item);
    void submitTick(const std::string& item, const std::string& at);
    void beginPlan(const TestPlan& plan, std::vector<TestPointRecord> points);
    // A session that followed a plan, chosen again: its points, shots and ticks as stored,
    // and the walk on from there. False when it has no planned points.
    bool resumePlan(const TestPlan& chosen);
    // A session's planned points in their order and their shots by point id, as stored.
    bool readPlanned(const std::string& sessionId, std::vector<TestPointRecord>& points,
                     std::map<std::string, std::vector<ShotRecord>>& shots);
    std::vector<PointResult> planResults() const;
    void showPlanPoint();
    void updateCoolDown();
    // Whether the pulse may be stored under the plan's current point (the context set to it),
    // its reading marked when it is taken in a cool-down; the refusal said otherwise.
    bool takePlanShot(ShotReading& reading);
    void planShotStored(const TestPointRecord& point, const ShotRecord& shot, bool failed);
    void showApproval();
    void showNotes();
    void showCalibration();
    void updateControls();

    RecordsDatabase* readDatabase();
    void fillSites();
    void fillBreakers();
    void fillSessions();
    void breakerChosen(int index);
    void sessionChosen(int index);
    void showAnalyzer();
    // The trip-unit profiles listed anew, the one chosen kept.
    void fillTripUnits(RecordsDatabase& db, RecordsError& e);
    // Shows the profile of an id (none when the library has none of it).
    void showTripUnit(const std::string& id);
    // The profile chosen; none for "(none)".
    const StoredTripUnit* chosenTripUnit() const;
    // Shows settings read from the records: the field is no longer the operator's edit.
    void showTripSettings(const std::string& settings);
    // The target's current and the band the settings give there, as typed.
    void updateTarget();

    // A refused field: named in the message, marked, its tab shown and the field focused;
    // false.
    bool refuse(const FieldError& e);
    void clearRefusal();
    void say(const QString& text, bool error);
    // A box for the operator, once until a shot is stored again.
    void tellOperator(const std::string& text, bool error);

    // Empties the list; shots still being stored are no longer listed.
    // Hands the writer the edits of the breaker and session the shots go under, and the
    // curves the breaker is to name, before the first shot.
    void submitEdits(const Resolution& resolved, const std::string& typedFamily,
                     const std::string& namedFamily);
    void clearShotList();
    int addShotRow(const ShotRecord& shot, const TestPointRecord& point, bool pending);
    void setShotRow(int row, const ShotRecord& shot, const TestPointRecord& point);
    void listSessionShots(const std::string& sessionId);
    void stored(const StoreOutcome& outcome);
    void opened(const OpenReport& report);
    void written(std::uint64_t ticket, const RecordsError& error);

    RecordsHost m_host;
    ShotWriter& m_writer;
    std::unique_ptr<RecordsDatabase> m_db; // reads on this thread
    bool m_loaded = false;
    std::vector<SiteRecord> m_sites;
    std::vector<BreakerRecord> m_breakers;
    std::vector<SessionRecord> m_sessions;
    std::vector<StoredTripUnit> m_tripUnits;
    std::optional<BreakerRecord> m_chosenBreaker;
    // The operator typed the trip-unit settings since they were read from the records: they
    // are then the breaker's too.
    bool m_tripSettingsEdited = false;
    std::optional<ShotContext> m_context;
    // A shot being stored: its row (-1 when no longer listed), the test point it is of and
    // when it was taken.
    struct PendingShot {
        int row = -1;
        TestPointRecord point;
        std::string takenAt;
    };
    std::map<std::uint64_t, PendingShot> m_pending; // by ticket
    std::string m_notesShownFor;                    // the session whose notes are listed
    std::map<std::uint64_t, std::string> m_writes;  // ticket to what it changes
    QWidget* m_refused = nullptr;
    std::string m_lastBox;
    bool m_boxShown = false;
    int m_unrecorded = 0;
    // Done once a write of the writer succeeded, by ticket.
    std::map<std::uint64_t, std::function<void()>> m_afterWrite;

    std::function<std::string()> m_now;
    std::vector<TestPlan> m_plans;
    std::optional<TestPlan> m_plan;
    std::vector<TestPointRecord> m_planPoints;
    std::map<std::string, std::vector<ShotRecord>> m_planShots; // stored, by point id
    std::map<std::string, int> m_planSubmitted;                 // shots handed over, by point id
    std::vector<std::pair<Pole, std::string>> m_longTimeTaken;  // the session's long-time shots
    std::map<int, std::string> m_asFound;                       // by planSeq
    std::map<std::string, std::string> m_ticked;                // item to the time ticked
    std::optional<std::size_t> m_retest;
    std::optional<std::size_t> m_lastShotPoint;
    std::optional<int> m_range;
    bool m_planStarting = false;
    QTimer* m_coolTimer = nullptr;
};

} // namespace qarn3

Q_DECLARE_METATYPE(qarn3::RecordedPulse)
