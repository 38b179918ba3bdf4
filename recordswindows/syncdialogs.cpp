#include "recordswindows/syncdialogs.h"

#include "platform/textformat.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTextBrowser>
#include <QTimer>
#include <QVBoxLayout>

#include <limits>

namespace qarn3 {

namespace {

std::string html(const std::string& text) {
    return QString::fromStdString(escapeControls(text)).toHtmlEscaped().toStdString();
}

// The singular of a table's label, for a conflict's record ("breaker Q1").
std::string recordLabel(const std::string& table) {
    std::string s = syncTableLabel(table);
    if (s.size() > 1 && s.back() == 's') s.pop_back();
    if (s == "breakers' curve") s = "breaker's curve";
    return s;
}

struct Column {
    const char* heading;
    std::int64_t SyncTableCounts::*field;
};

// The sync's outcome, the first paragraph of its summary.
std::string syncOutcomeHtml(const SyncReport& r, const std::string& sharedDisplay) {
    const bool moved = syncMovedAnything(r);
    if (r.ok && !moved && r.conflicts.empty() && r.refused.empty())
        return "<p><b>Nothing to sync:</b> this computer and the shared database " +
               html(sharedDisplay) + " hold the same records.</p>";
    if (r.ok)
        return "<p><b>Synced:</b> this computer and the shared database " + html(sharedDisplay) +
               " now hold the same records.</p>";
    if (r.cancelled) return "<p><b>" + html(r.error.message) + ".</b></p>";
    return "<p style=\"color:#b00000\"><b>The sync stopped: " + html(r.error.message) +
           ".</b><br>What was moved before is kept on both sides and the next sync carries "
           "on; the records on this computer are kept.</p>";
}

// The records moved each way, a row a kind of record; nothing when none moved.
std::string syncCountsHtml(const SyncReport& r) {
    std::string s;
    static const Column columns[] = {{"Sent", &SyncTableCounts::sent},
                                     {"Received", &SyncTableCounts::received},
                                     {"Updated there", &SyncTableCounts::updatedThere},
                                     {"Updated here", &SyncTableCounts::updatedHere}};
    std::string rows;
    for (const SyncTableCounts& t : r.tables) {
        if (t.sent + t.received + t.updatedThere + t.updatedHere == 0) continue;
        rows += "<tr><td>" + html(syncTableLabel(t.table)) + "</td>";
        for (const Column& c : columns)
            rows += "<td align=\"right\">" + std::to_string(t.*c.field) + "</td>";
        rows += "</tr>";
    }
    if (r.waveformsSent + r.waveformsReceived > 0)
        rows += "<tr><td>waveforms</td><td align=\"right\">" + std::to_string(r.waveformsSent) +
                "</td><td align=\"right\">" + std::to_string(r.waveformsReceived) +
                "</td><td></td><td></td></tr>";
    if (!rows.empty()) {
        s += "<table cellspacing=\"0\" cellpadding=\"3\" border=\"1\"><tr><th>Records</th>";
        for (const Column& c : columns)
            s += std::string("<th>") + c.heading + "</th>";
        s += "</tr>" + rows + "</table>";
    }
    return s;
}

// What each side kept of the other's deletions, a paragraph a case.
std::string syncKeptHtml(const SyncReport& r) {
    std::string s;
    static const std::pair<const char*, std::int64_t SyncTableCounts::*> kept[] = {
        {"Kept here, deleted on the shared database", &SyncTableCounts::deletedThere},
        {"Not sent, under a record deleted on the shared database", &SyncTableCounts::notSent},
        {"Not received, deleted here", &SyncTableCounts::deletedHere}};
    for (const auto& [what, field] : kept) {
        std::string counts;
        for (const SyncTableCounts& t : r.tables)
            if (t.*field > 0)
                counts += (counts.empty() ? "" : ", ") + html(syncTableLabel(t.table)) + " " +
                          std::to_string(t.*field);
        if (!counts.empty()) s += std::string("<p>") + what + ": " + counts + ".</p>";
    }
    return s;
}

// The changes an approval refused, and where.
std::string syncRefusedHtml(const SyncReport& r) {
    if (r.refused.empty()) return {};
    std::string s = "<p><b>Not changed, the session was approved</b> (add a dated note for a "
                    "correction):</p><ul>";
    for (const SyncRefusal& f : r.refused)
        s += "<li>" + html(recordLabel(f.table)) + " <b>" + html(f.label) + "</b>: refused " +
             (f.toShared ? "by the shared database" : "on this computer") + ", " + html(f.reason) +
             ".</li>";
    return s + "</ul>";
}

// The records changed on both sides, and whose change was kept.
std::string syncConflictsHtml(const SyncReport& r) {
    if (r.conflicts.empty()) return {};
    std::string s = "<p><b>Changed here and on the shared database since the last sync</b> (the "
                    "newest change was kept):</p><ul>";
    for (const SyncConflict& c : r.conflicts)
        s += "<li>" + html(recordLabel(c.table)) + " <b>" + html(c.label) +
             "</b>: changed here at " + html(c.localUpdatedAt) + " and on the shared database at " +
             html(c.sharedUpdatedAt) + "; the change made <b>" +
             (c.localKept ? "here" : "on the shared database") + "</b> was kept.</li>";
    return s + "</ul>";
}

} // namespace

bool syncMovedAnything(const SyncReport& r) {
    if (r.waveformsSent + r.waveformsReceived > 0) return true;
    for (const SyncTableCounts& t : r.tables)
        if (t.sent + t.received + t.updatedThere + t.updatedHere > 0) return true;
    return false;
}

std::string syncTableLabel(const std::string& table) {
    static const std::pair<const char*, const char*> labels[] = {
        {"site", "sites"},
        {"breaker", "breakers"},
        {"curve", "curves"},
        {"breaker_curve", "breakers' curves"},
        {"trip_unit", "trip-unit profiles"},
        {"test_plan", "test plans"},
        {"session_check", "checklist ticks"},
        {"session_note", "session notes"},
        {"session", "sessions"},
        {"test_point", "test points"},
        {"shot", "shots"},
        {"waveform", "waveforms"}};
    for (const auto& [name, label] : labels)
        if (table == name) return label;
    return table;
}

std::string syncProgressText(const SyncProgress& p) {
    const std::string table = syncTableLabel(p.table);
    if (p.stage == SyncStage::Comparing)
        return "Comparing the " + table + " (" + std::to_string(p.done + 1) + " of " +
               std::to_string(p.total) + " kinds of record)";
    return (p.stage == SyncStage::Sending ? "Sending " : "Receiving ") + table + ": " +
           std::to_string(p.done) + " of " + std::to_string(p.total) + " records moved";
}

std::string syncSummaryHtml(const SyncReport& r, const std::string& sharedDisplay) {
    std::string s = syncOutcomeHtml(r, sharedDisplay) + syncCountsHtml(r) + syncKeptHtml(r) +
                    syncConflictsHtml(r) + syncRefusedHtml(r);
    for (const std::string& note : r.notes)
        s += "<p>" + html(note) + "</p>";
    return s;
}

SyncProgressDialog::SyncProgressDialog(const std::string& sharedDisplay, QWidget* parent)
    : QDialog(parent), m_delay(new QTimer(this)) {
    setWindowTitle("Sync");
    auto* column = new QVBoxLayout(this);
    lbWhere = new QLabel(QString::fromStdString("Syncing the records of this computer with " +
                                                escapeControls(sharedDisplay)),
                         this);
    lbWhere->setWordWrap(true);
    lbStage = new QLabel("Connecting…", this);
    pbSync = new QProgressBar(this);
    pbSync->setRange(0, 0);
    pbSync->setMinimumWidth(360);
    btCancel = new QPushButton("Cancel", this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btCancel);
    column->addWidget(lbWhere);
    column->addWidget(lbStage);
    column->addWidget(pbSync);
    column->addLayout(buttons);
    connect(btCancel, &QPushButton::clicked, this, &SyncProgressDialog::btCancelClick);
    m_delay->setSingleShot(true);
    connect(m_delay, &QTimer::timeout, this, [this] {
        if (!m_finished) show();
    });
}

void SyncProgressDialog::showAfter(int delayMs) {
    m_delay->start(delayMs);
}

void SyncProgressDialog::setProgress(const SyncProgress& p) {
    lbStage->setText(QString::fromStdString(syncProgressText(p)));
    constexpr std::int64_t most = std::numeric_limits<int>::max();
    // A bar counts in int: large totals are scaled down to fit.
    const std::int64_t scale = p.total > most ? p.total / most + 1 : 1;
    pbSync->setRange(0, static_cast<int>(p.total / scale));
    pbSync->setValue(static_cast<int>(std::min(p.done, p.total) / scale));
}

void SyncProgressDialog::finish() {
    m_finished = true;
    m_delay->stop();
    hide();
}

void SyncProgressDialog::btCancelClick() {
    if (!btCancel->isEnabled()) return;
    btCancel->setEnabled(false);
    lbStage->setText("Cancelling: the sync stops after the records in hand…");
    emit cancelRequested();
}

void SyncProgressDialog::reject() {
    btCancelClick();
}

SyncSummaryDialog::SyncSummaryDialog(const SyncReport& report, const std::string& sharedDisplay,
                                     QWidget* parent)
    : QDialog(parent) {
    setWindowTitle("Sync Summary");
    auto* column = new QVBoxLayout(this);
    tbSummary = new QTextBrowser(this);
    tbSummary->setHtml(QString::fromStdString(syncSummaryHtml(report, sharedDisplay)));
    tbSummary->setMinimumSize(620, 380);
    btOK = new QPushButton("OK", this);
    btOK->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(btOK);
    column->addWidget(tbSummary);
    column->addLayout(buttons);
    connect(btOK, &QPushButton::clicked, this, &QDialog::accept);
}

} // namespace qarn3
