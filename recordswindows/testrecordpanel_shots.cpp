// The test record panel at a pulse's end: the shot handed to the writer, listed, and what
// became of it; refusals and messages for the operator.
#include "recordswindows/testrecordpanel.h"

#include "platform/dialogs.h"
#include "platform/textformat.h"
#include "records/sessionreport.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTableWidget>

namespace qarn3 {

namespace {

const QColor kPendingRow(0xE4, 0xE4, 0xE4);
constexpr const char* kRefusedStyle = "border: 2px solid #d00000;";

} // namespace

bool TestRecordPanel::refuse(const FieldError& e) {
    struct Place {
        const char* field;
        QWidget* widget;
        int tab;
    };
    const Place places[] = {{"site", cbSite, 0},
                            {"breaker", cbBreaker, 0},
                            {"rating", ebRating, 0},
                            {"curve", cbCurve, 0},
                            {"trip settings", ebTripSettings, 0},
                            {"multiple", ebMultiple, 2},
                            {"target", ebMultiple, 2},
                            {"tolerance", ebTolerance, 2},
                            {"band minimum", ebBandMin, 2},
                            {"band maximum", ebBandMax, 2},
                            {"band", ebBandMin, 2},
                            {"hold", ebHold, 2},
                            {"calibration date", lbAnalyzer, 1}};
    say(QString::fromStdString(e.message), true);
    for (const Place& p : places)
        if (e.field == p.field) {
            Tabs->setCurrentIndex(p.tab);
            m_refused = p.widget;
            m_refused->setStyleSheet(kRefusedStyle);
            m_refused->setFocus();
            break;
        }
    return false;
}

void TestRecordPanel::clearRefusal() {
    if (m_refused) m_refused->setStyleSheet({});
    m_refused = nullptr;
}

void TestRecordPanel::say(const QString& text, bool error) {
    // A refusal or a database's message may quote a name.
    lbMessage->setText(shownText(text.toStdString()));
    lbMessage->setStyleSheet(error ? "color: #c00000;" : "color: #805c00;");
    lbMessage->setVisible(!text.isEmpty());
}

void TestRecordPanel::tellOperator(const std::string& text, bool error) {
    say(QString::fromStdString(text), error);
    // One box for a trouble until a shot is stored again; none while one is open.
    if (m_boxShown || text == m_lastBox) return;
    m_lastBox = text;
    m_boxShown = true;
    m_host.dialogs.messageDlg(text, error ? MsgKind::Error : MsgKind::Warning, {MsgButton::OK});
    m_boxShown = false;
}

void TestRecordPanel::pulseEnded(const RecordedPulse& end) {
    if (!m_context) {
        ++m_unrecorded;
        say(QString("Pulse not recorded: no test point is set up (%1 so far). Start recording "
                    "to store the pulses.")
                .arg(m_unrecorded),
            false);
        return;
    }
    NewShot shot;
    shot.reading = end.reading;
    shot.reading.takenAt = m_now();
    const SessionRecord& session = m_context->session;
    if (!session.approvedBy.empty()) {
        say(QString::fromStdString("Pulse not recorded: the session was approved by " +
                                   session.approvedBy + " on " + localTimeText(session.approvedAt) +
                                   " and takes no more shots. A correction is added as a note."),
            true);
        return;
    }
    if (m_plan && !takePlanShot(shot.reading)) return;
    shot.waveform = end.waveform;
    ShotRecord shown;
    shown.reading = shot.reading;
    shown.multiple = shot.reading.currentAmps / m_context->breaker.ratedAmps;
    const TestPointRecord point = m_context->point;
    const int row = addShotRow(shown, point, true);
    const std::uint64_t ticket = m_writer.submit({*m_context, std::move(shot)});
    if (ticket == 0) {
        ShotList->item(row, ColVerdict)->setText("NOT STORED");
        if (m_plan) planShotStored(point, shown, true);
        say("Pulse not recorded: the records are closed (the program is ending).", true);
        return;
    }
    m_pending[ticket] = {row, point, shown.reading.takenAt};
}

int TestRecordPanel::addShotRow(const ShotRecord& shot, const TestPointRecord& point,
                                bool pending) {
    const int row = ShotList->rowCount();
    ShotList->insertRow(row);
    for (int c = 0; c < ShotColumns; ++c) {
        auto* item = new QTableWidgetItem;
        item->setTextAlignment(c >= ColCurrent && c <= ColMultiple
                                   ? Qt::AlignRight | Qt::AlignVCenter
                                   : Qt::AlignLeft | Qt::AlignVCenter);
        ShotList->setItem(row, c, item);
    }
    ShotList->item(row, ColNumber)->setText(QString::number(row + 1));
    setShotRow(row, shot, point);
    if (pending) {
        ShotList->item(row, ColVerdict)->setText("storing…");
        ShotList->item(row, ColBand)->setText({});
        for (int c = 0; c < ShotColumns; ++c)
            ShotList->item(row, c)->setBackground(kPendingRow);
    }
    ShotList->scrollToBottom();
    return row;
}

void TestRecordPanel::setShotRow(int row, const ShotRecord& shot, const TestPointRecord& point) {
    const char separator = m_host.decimalSeparator;
    const Verdict v = shot.judgement.verdict;
    std::string flags = shot.judgement.currentOffTarget ? "off target" : "";
    if (shot.basis.nearPickup) flags += (flags.empty() ? "" : ", ") + std::string("near pickup");
    if (shot.reading.inCoolDown) flags += (flags.empty() ? "" : ", ") + std::string("in cool-down");
    ShotRow shown;
    shown.point = point;
    shown.shot = shot;
    std::string band = bandText(shown, {}, separator);
    if (!shot.basis.note.empty() && shot.basis.note != band) band += ", " + shot.basis.note;
    const std::pair<int, std::string> cells[] = {
        {ColPole, poleText(point.pole)},
        {ColCurrent, currentText(shot.reading, separator)},
        {ColSeconds, formatFixed(shot.reading.seconds, 0, 4, separator)},
        {ColCycles, formatFixed(shot.reading.cycles, 0, 2, separator)},
        {ColMultiple, multipleText(shot.multiple, separator)},
        {ColVerdict, verdictText(v)},
        {ColTarget, flags},
        {ColBand, band},
        {ColBasis, bandBasisText(shot, separator)}};
    for (const auto& [column, t] : cells)
        ShotList->item(row, column)->setText(QString::fromStdString(t));
    for (int c = 0; c < ShotColumns; ++c) {
        QTableWidgetItem* item = ShotList->item(row, c);
        item->setBackground(verdictRowColour(v));
        item->setForeground(c == ColVerdict ? verdictMarkColour(v) : QColor(Qt::black));
        QFont f = item->font();
        f.setBold(c == ColVerdict || (c == ColTarget && !flags.empty()));
        item->setFont(f);
    }
}

void TestRecordPanel::clearShotList() {
    ShotList->setRowCount(0);
    // Shots still being stored are no longer listed; their troubles are still told.
    for (auto& pending : m_pending)
        pending.second.row = -1;
}

void TestRecordPanel::listSessionShots(const std::string& sessionId) {
    clearShotList();
    RecordsDatabase* db = readDatabase();
    if (!db) return;
    ShotFilter f;
    f.sessionId = sessionId;
    RecordsError e;
    for (const ShotRow& r : RecordsStore(*db).listShots(f, ShotOrder::OldestFirst, 0, 10000, e))
        addShotRow(r.shot, r.point, false);
    if (e) say(QString::fromStdString("The records cannot be read: " + e.message), true);
}

void TestRecordPanel::stored(const StoreOutcome& outcome) {
    const auto at = m_pending.find(outcome.ticket);
    if (at == m_pending.end()) return; // another's shot
    const int row = at->second.row;
    const TestPointRecord point = at->second.point;
    const std::string takenAt = at->second.takenAt;
    m_pending.erase(at);
    if (outcome.error) {
        if (row >= 0) {
            ShotList->item(row, ColVerdict)->setText("NOT STORED");
            ShotList->item(row, ColVerdict)->setForeground(QColor(0xC8, 0, 0));
        }
        ShotRecord lost;
        lost.reading.takenAt = takenAt;
        if (m_plan) planShotStored(point, lost, true);
        tellOperator("The shot was not stored in the test records: " + outcome.error.message +
                         ".\nThe test's results file is written as usual.",
                     true);
        return;
    }
    if (row >= 0) setShotRow(row, outcome.shot, point);
    if (m_plan) planShotStored(point, outcome.shot, false);
    m_lastBox.clear();
    if (lbMessage->styleSheet().contains("#c00000")) say({}, false);
    emit shotStored(outcome);
}

void TestRecordPanel::opened(const OpenReport& report) {
    std::string notes;
    for (const std::string& n : report.notes)
        notes += (notes.empty() ? "" : "\n") + n;
    if (notes.empty()) return; // one that could not be opened: the shot's outcome says why
    // A database set aside is read anew from the new one.
    m_db.reset();
    tellOperator(notes, false);
}

void TestRecordPanel::written(std::uint64_t ticket, const RecordsError& error) {
    const auto at = m_writes.find(ticket);
    if (at == m_writes.end()) return;
    const std::string what = at->second;
    m_writes.erase(at);
    const auto after = m_afterWrite.find(ticket);
    std::function<void()> done;
    if (after != m_afterWrite.end()) {
        done = std::move(after->second);
        m_afterWrite.erase(after);
    }
    if (error)
        tellOperator(what + " could not be stored: " + error.message, true);
    else if (done)
        done();
}

} // namespace qarn3
