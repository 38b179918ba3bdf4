// The test record panel after a session as found: the session as left made from it, the
// approval, and the analyzer's calibration age on the test's day.
#include "recordswindows/testrecordpanel.h"

#include "platform/dialogs.h"
#include "platform/textformat.h"
#include "records/plansession.h"
#include "records/sessionreport.h"
#include "store/approval.h"

#include <QLabel>
#include <QLineEdit>

namespace qarn3 {

namespace {

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

bool TestRecordPanel::startAsLeft() {
    if (!m_plan || !m_context) return false;
    if (!m_pending.empty()) {
        // Its results are shown beside the as-left ones: every shot of it is stored first.
        say(QString("The as-left session is not started yet: %1 shot(s) of this session are "
                    "still being stored. Try again in a moment.")
                .arg(m_pending.size()),
            true);
        return false;
    }
    const SessionRecord found = m_context->session;
    const auto answer = m_host.dialogs.inputBox(
        "As-left session", "The trip unit's settings as left (confirm or edit):",
        ebTripSettings->text().toStdString());
    if (!answer) return false;
    TestRecordFields f;
    f.tripSettings = *answer;
    TripUnitSettings values;
    std::string stored;
    if (auto e = readTripSettingsField(f, values, stored)) {
        say(qs("The as-left session is not started: " + e->message), true);
        return false;
    }
    SessionRecord left = found;
    left.id = newRecordId();
    left.condition = Condition::AsLeft;
    left.startedAt = m_now();
    left.asFoundId = found.id;
    left.tripSettings = stored;
    left.approvedBy.clear();
    left.approvedAt.clear();
    FieldError e;
    ShotContext asLeft = *m_context;
    asLeft.session = left;
    std::vector<TestPointRecord> points = planTestPoints(
        *m_plan, settingsInForce(left, asLeft.breaker).value_or(TripUnitSettings{}), left.id, e);
    if (points.empty()) {
        say(qs("The as-left session is not started: " + e.message), true);
        return false;
    }
    std::map<int, std::string> asFound;
    for (const TestPointRecord& p : m_planPoints) {
        const auto shots = m_planShots.find(p.id);
        asFound[*p.planSeq] =
            asFoundText(p, shots == m_planShots.end() ? std::vector<ShotRecord>{} : shots->second,
                        m_host.decimalSeparator);
    }
    m_context = asLeft;
    m_asFound = std::move(asFound);
    m_ticked.clear();
    ebTripSettings->setText(qs(stored));
    clearShotList();
    beginPlan(*m_plan, std::move(points));
    return true;
}

bool TestRecordPanel::approve() {
    if (!m_context || !m_context->session.approvedBy.empty()) return false;
    const auto answer = m_host.dialogs.inputBox(
        "Approve session", "Approved by (who checked the results, not who tested):", "");
    if (!answer) return false;
    const std::string name = trimText(*answer);
    if (name.empty()) {
        say("The session is not approved: the approver's name is empty.", true);
        return false;
    }
    const std::string id = m_context->session.id;
    const std::string breakerId = m_context->breaker.id;
    const std::uint64_t ticket = m_writer.submitWrite([id, name](RecordsDatabase& d) {
        std::string at;
        return approveSession(d, id, name, at);
    });
    m_writes[ticket] = "The approval of the session";
    m_afterWrite[ticket] = [this, id, breakerId] {
        RecordsDatabase* db = readDatabase();
        if (!db || !m_context || m_context->session.id != id) return;
        RecordsError e;
        for (const SessionRecord& s : RecordsStore(*db).sessionsOf(breakerId, e))
            if (s.id == id) {
                m_context->session.approvedBy = s.approvedBy;
                m_context->session.approvedAt = s.approvedAt;
            }
        if (e) say(qs("The records cannot be read: " + e.message), true);
        showChecklist();
        updateControls();
    };
    return true;
}

bool TestRecordPanel::addNote() {
    if (!m_context) return false;
    const auto author = m_host.dialogs.inputBox(
        "Dated note", "Your name (who writes the note):", m_context->session.operatorName);
    if (!author) return false;
    const std::string by = trimText(*author);
    if (by.empty()) {
        say("The note is not added: the writer's name is empty.", true);
        return false;
    }
    const auto answer = m_host.dialogs.inputBox(
        "Dated note",
        "The note (a correction or a remark; it is dated now and is not changed later):", "");
    if (!answer) return false;
    const std::string text = trimText(*answer);
    if (text.empty()) {
        say("The note is not added: it is empty.", true);
        return false;
    }
    const std::string id = m_context->session.id;
    const std::uint64_t ticket = m_writer.submitWrite(
        [id, by, text](RecordsDatabase& d) { return addSessionNote(d, id, by, text); });
    m_writes[ticket] = "The note";
    m_afterWrite[ticket] = [this, id] {
        if (!m_context || m_context->session.id != id) return;
        showNotes();
        say("The note was added to the session.", false);
    };
    return true;
}

void TestRecordPanel::showNotes() {
    m_notesShownFor = m_context ? m_context->session.id : std::string();
    RecordsDatabase* db = m_context ? readDatabase() : nullptr;
    if (!db) {
        lbNotes->clear();
        return;
    }
    RecordsError e;
    std::string text;
    for (const SessionNote& n : sessionNotesOf(*db, m_notesShownFor, e))
        text += (text.empty() ? "Notes:\n" : "\n") + localTimeText(n.writtenAt) +
                (n.author.empty() ? "" : " " + n.author) + ": " + n.text;
    if (e) text = "The notes cannot be read: " + e.message;
    lbNotes->setText(shownText(text));
}

void TestRecordPanel::showApproval() {
    if ((m_context ? m_context->session.id : std::string()) != m_notesShownFor) showNotes();
    if (!m_context) {
        lbApproval->clear();
        return;
    }
    const SessionRecord& s = m_context->session;
    lbApproval->setText(s.approvedBy.empty() ? QString("Not approved")
                                             : shownText("Approved by " + s.approvedBy + " on " +
                                                         localTimeText(s.approvedAt)));
}

void TestRecordPanel::showCalibration() {
    const std::optional<CalibrationAge> age =
        m_context ? sessionCalibrationAge(m_context->session) : std::nullopt;
    const bool old = age && *age == CalibrationAge::Overdue;
    lbCalibration->setVisible(old);
    if (old)
        lbCalibration->setText(qs("The analyzer's calibration (" +
                                  m_context->session.analyzerCalDate +
                                  ") was more than a year old on the test's day."));
}

} // namespace qarn3
