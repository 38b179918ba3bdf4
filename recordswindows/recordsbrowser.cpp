#include "recordswindows/recordsbrowser.h"

#include "platform/dialogs.h"
#include "platform/textformat.h"
#include "records/history.h"
#include "records/sessionreport.h"
#include "recordswindows/historyview.h"
#include "recordswindows/timecurrentview.h"
#include "report/historyplot.h"
#include "report/reportwriter.h"
#include "report/sessionplot.h"
#include "store/reportload.h"
#include "store/store.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <set>

namespace qarn3 {

namespace {

enum NodeKind { AllNode, SiteNode, BreakerNode, SessionNode };
constexpr int kKindRole = Qt::UserRole, kIdRole = Qt::UserRole + 1, kFilledRole = Qt::UserRole + 2;

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

QTreeWidgetItem* node(NodeKind kind, const std::string& id, const std::string& text,
                      bool hasChildren) {
    auto* item = new QTreeWidgetItem({shownText(text)});
    item->setData(0, kKindRole, kind);
    item->setData(0, kIdRole, qs(id));
    item->setData(0, kFilledRole, !hasChildren);
    if (hasChildren) item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    return item;
}

// The verdict filter's choices and the verdicts each takes.
struct VerdictChoice {
    const char* text;
    std::vector<Verdict> verdicts;
};
const std::vector<VerdictChoice>& verdictChoices() {
    static const std::vector<VerdictChoice> choices{
        {"Any verdict", {}},
        {"PASS", {Verdict::Pass}},
        {"FAIL (fast or slow)", {Verdict::FailFast, Verdict::FailSlow}},
        {"FAIL FAST", {Verdict::FailFast}},
        {"FAIL SLOW", {Verdict::FailSlow}},
        {"NO TRIP", {Verdict::NoTrip}},
        {"Not PASS",
         {Verdict::FailFast, Verdict::FailSlow, Verdict::NoTrip, Verdict::Check, Verdict::NoBand}},
        {"CHECK", {Verdict::Check}},
        {"NO BAND", {Verdict::NoBand}}};
    return choices;
}

// A local day's start as ISO 8601 UTC.
std::string dayStart(const QDate& day) {
    return isoUtcFromMsecs(QDateTime(day, QTime(0, 0)).toMSecsSinceEpoch());
}

} // namespace

RecordsBrowser::RecordsBrowser(RecordsHost host, WaveformOpener* opener, QWidget* parent)
    : QMainWindow(parent), m_host(std::move(host)), m_opener(opener),
      m_model(new ShotListModel(m_host.decimalSeparator, this)), m_job(new BackgroundJob(this)),
      m_progressTimer(new QTimer(this)) {
    setObjectName("RecordsBrowser");
    setWindowTitle("Test Records");
    buildControls();
    buildMenus();
    connect(m_model, &ShotListModel::listed, this, &RecordsBrowser::listed);
    connect(Tree, &QTreeWidget::itemExpanded, this, &RecordsBrowser::fillChildren);
    connect(Tree, &QTreeWidget::itemSelectionChanged, this, &RecordsBrowser::scopeChosen);
    connect(ShotTable->selectionModel(), &QItemSelectionModel::currentRowChanged, this, [this] {
        showPlot();
        updateActions();
    });
    connect(ShotTable->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &RecordsBrowser::updateActions);
    connect(ShotTable, &QTableView::activated, this, &RecordsBrowser::openWaveform);
    connect(cbSite, &QComboBox::activated, this, &RecordsBrowser::applyFilter);
    connect(cbVerdict, &QComboBox::activated, this, &RecordsBrowser::applyFilter);
    for (QCheckBox* c : {ckFrom, ckTo})
        connect(c, &QCheckBox::toggled, this, &RecordsBrowser::applyFilter);
    for (QDateEdit* d : {deFrom, deTo})
        connect(d, &QDateEdit::dateChanged, this, [this](const QDate&) {
            if (ckFrom->isChecked() || ckTo->isChecked()) applyFilter();
        });
    m_progressTimer->setInterval(100);
    connect(m_progressTimer, &QTimer::timeout, this, [this] {
        Progress->setValue(
            static_cast<int>(std::min<std::int64_t>(m_job->progress(), Progress->maximum())));
    });
    connect(btCancel, &QPushButton::clicked, m_job, &BackgroundJob::cancel);
    resize(1220, 760);
    updateActions();
}

RecordsBrowser::~RecordsBrowser() = default;

QWidget* RecordsBrowser::buildFilterBar() {
    auto* bar = new QWidget;
    auto* h = new QHBoxLayout(bar);
    h->setContentsMargins(0, 0, 0, 0);
    cbSite = new QComboBox(bar);
    cbSite->setMinimumContentsLength(14);
    cbSite->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    ckFrom = new QCheckBox("From", bar);
    deFrom = new QDateEdit(QDate::currentDate().addYears(-1), bar);
    ckTo = new QCheckBox("to", bar);
    deTo = new QDateEdit(QDate::currentDate(), bar);
    for (QDateEdit* d : {deFrom, deTo}) {
        d->setCalendarPopup(true);
        d->setDisplayFormat("yyyy-MM-dd");
    }
    cbVerdict = new QComboBox(bar);
    for (const VerdictChoice& c : verdictChoices())
        cbVerdict->addItem(c.text);
    // Mnemonics clear of the menu bar's (File, View).
    const auto label = [bar](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text, bar);
        l->setBuddy(buddy);
        return l;
    };
    h->addWidget(label("&Site", cbSite));
    h->addWidget(cbSite);
    h->addSpacing(12);
    h->addWidget(ckFrom);
    h->addWidget(deFrom);
    h->addWidget(ckTo);
    h->addWidget(deTo);
    h->addSpacing(12);
    h->addWidget(label("V&erdict", cbVerdict));
    h->addWidget(cbVerdict);
    h->addStretch(1);
    return bar;
}

// The shot list under its filter bar, each column as wide as a typical text of it.
QWidget* RecordsBrowser::buildListPane() {
    auto* listPane = new QWidget;
    auto* lv = new QVBoxLayout(listPane);
    lv->setContentsMargins(4, 4, 4, 0);
    lv->addWidget(buildFilterBar());
    ShotTable = new QTableView;
    ShotTable->setModel(m_model);
    ShotTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    ShotTable->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ShotTable->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    ShotTable->verticalHeader()->hide();
    ShotTable->horizontalHeader()->setStretchLastSection(true);
    ShotTable->setWordWrap(false);
    const char* const widest[ShotListModel::ColumnCount] = {"2026-12-08 16:30:12",
                                                            "North Plant",
                                                            "Q17",
                                                            "Pole",
                                                            "short-time",
                                                            "1200.0 A",
                                                            "0.0000 secs",
                                                            "00.00 cycs",
                                                            "0.00",
                                                            "0.000 – 0.000 s",
                                                            "settings LTD=4",
                                                            "FAIL SLOW",
                                                            "current near pickup"};
    for (int c = 0; c < ShotListModel::ColumnCount; ++c) {
        const QString title = m_model->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
        ShotTable->setColumnWidth(c, std::max(fontMetrics().horizontalAdvance(widest[c]),
                                              fontMetrics().horizontalAdvance(title) + 8) +
                                         14);
    }
    lv->addWidget(ShotTable, 1);
    lbCount = new QLabel;
    lv->addWidget(lbCount);
    return listPane;
}

QWidget* RecordsBrowser::buildPlotPane() {
    auto* plotPane = new QWidget;
    auto* pv = new QVBoxLayout(plotPane);
    pv->setContentsMargins(4, 4, 4, 4);
    lbPlotTitle = new QLabel;
    lbPlotTitle->setWordWrap(true);
    QFont bold = lbPlotTitle->font();
    bold.setBold(true);
    lbPlotTitle->setFont(bold);
    Plot = new TimeCurrentView(m_host.decimalSeparator);
    pv->addWidget(lbPlotTitle);
    pv->addWidget(Plot, 1);

    auto* historyPane = new QWidget;
    auto* hv = new QVBoxLayout(historyPane);
    hv->setContentsMargins(4, 4, 4, 4);
    lbHistoryTitle = new QLabel("History");
    lbHistoryTitle->setWordWrap(true);
    lbHistoryTitle->setFont(bold);
    History = new HistoryView;
    History->clearPlot("Choose a breaker in the tree to see its results over the sessions.");
    hv->addWidget(lbHistoryTitle);
    hv->addWidget(History, 1);

    PlotTabs = new QTabWidget;
    PlotTabs->addTab(plotPane, "&Time-current plot");
    PlotTabs->addTab(historyPane, "&History");
    return PlotTabs;
}

void RecordsBrowser::buildStatusBar() {
    lbStatus = new QLabel;
    Progress = new QProgressBar;
    Progress->setMaximumWidth(220);
    Progress->setTextVisible(false);
    Progress->hide();
    btCancel = new QPushButton("Cancel");
    btCancel->hide();
    statusBar()->addWidget(lbStatus, 1);
    statusBar()->addPermanentWidget(Progress);
    statusBar()->addPermanentWidget(btCancel);
}

void RecordsBrowser::buildControls() {
    Tree = new QTreeWidget;
    Tree->setHeaderLabel("Sites, breakers, sessions");
    Tree->setMinimumWidth(200);

    QWidget* listPane = buildListPane();
    QWidget* plotPane = buildPlotPane();

    auto* right = new QSplitter(Qt::Vertical);
    right->addWidget(listPane);
    right->addWidget(plotPane);
    right->setStretchFactor(0, 3);
    right->setStretchFactor(1, 2);
    auto* split = new QSplitter(Qt::Horizontal);
    split->addWidget(Tree);
    split->addWidget(right);
    split->setStretchFactor(1, 1);
    split->setSizes({260, 960});
    setCentralWidget(split);

    buildStatusBar();
}

void RecordsBrowser::buildMenus() {
    QMenu* file = menuBar()->addMenu("&File");
    actExportSelection =
        file->addAction("Export &Selection to CSV...", this, &RecordsBrowser::exportSelection);
    actExportSelection->setShortcut(QKeySequence("Ctrl+E"));
    actExportList =
        file->addAction("Export the &List to CSV...", this, &RecordsBrowser::exportList);
    file->addSeparator();
    actShotComtrade =
        file->addAction("Save Waveform as COM&TRADE...", this, &RecordsBrowser::saveShotComtrade);
    actSessionComtrade = file->addAction("Save the Session's &Waveforms as COMTRADE...", this,
                                         &RecordsBrowser::saveSessionComtrade);
    file->addSeparator();
    actReport = file->addAction("&Report...", this, &RecordsBrowser::writeReport);
    actReport->setShortcut(QKeySequence("Ctrl+P"));
    QMenu* page = file->addMenu("Report &Page Size");
    auto* group = new QActionGroup(this);
    const bool letter = pageSizeForLocale(QLocale::system()) == QPageSize::Letter;
    const QString names[3] = {QString("From the Locale (%1)").arg(letter ? "Letter" : "A4"), "A4",
                              "Letter"};
    for (int i = 0; i < 3; ++i) {
        m_pageActions[i] = page->addAction(names[i], this, [this, i] {
            setReportPageSize(i == 0   ? std::nullopt
                              : i == 1 ? std::optional(QPageSize::A4)
                                       : std::optional(QPageSize::Letter));
        });
        m_pageActions[i]->setCheckable(true);
        group->addAction(m_pageActions[i]);
    }
    m_pageActions[0]->setChecked(true);
    file->addSeparator();
    file->addAction("&Close", QKeySequence::Close, this, &QWidget::close);

    QMenu* view = menuBar()->addMenu("&View");
    actOpenWaveform = view->addAction("Open &Waveform", this, &RecordsBrowser::openWaveform);
    // Ctrl+W is the window's Close on this desktop: one key for two commands does neither.
    actOpenWaveform->setShortcut(QKeySequence("Ctrl+O"));
    actRefresh = view->addAction("&Refresh", QKeySequence::Refresh, this, &RecordsBrowser::refresh);

    QToolBar* tools = addToolBar("Records");
    tools->setMovable(false);
    tools->setToolButtonStyle(Qt::ToolButtonTextOnly);
    for (QAction* a : {actOpenWaveform, actExportSelection, actExportList, actReport, actRefresh})
        tools->addAction(a);
}

void RecordsBrowser::setReportPageSize(std::optional<QPageSize::PageSizeId> size) {
    m_pageSize = size;
    const int checked = !size ? 0 : *size == QPageSize::A4 ? 1 : 2;
    if (m_pageActions[checked]) m_pageActions[checked]->setChecked(true);
}

QPageSize::PageSizeId RecordsBrowser::reportPageSize() const {
    return m_pageSize.value_or(pageSizeForLocale(QLocale::system()));
}

void RecordsBrowser::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!m_loaded) refresh();
}

RecordsDatabase* RecordsBrowser::database() {
    if (m_db && m_db->isOpen()) return m_db.get();
    WindowConnection c = openWindowConnection(m_host.database);
    // Refresh opens anew: the same note (a read-only database) is told once.
    if (!c.notes.empty() && c.notes != m_lastNotes)
        m_host.dialogs.messageDlg(c.notes, MsgKind::Warning, {MsgButton::OK});
    m_lastNotes = c.notes;
    m_db = std::move(c.db);
    if (m_db) return m_db.get();
    status(qs("The records cannot be read: " + c.error));
    return nullptr;
}

void RecordsBrowser::refresh() {
    m_loaded = true;
    m_plotSession.clear();
    // Read anew from the file the name leads to now: the writer may have set a damaged one
    // aside and made a new one, which this connection would never see.
    m_model->clear();
    m_db.reset();
    status({});
    fillSites();
    fillTree();
    applyFilter();
    showHistory();
}

void RecordsBrowser::fillSites() {
    const QVariant chosen = cbSite->currentData();
    cbSite->clear();
    cbSite->addItem("All sites");
    if (RecordsDatabase* db = database()) {
        RecordsError e;
        std::set<std::string> names;
        for (const SiteRecord& s : RecordsStore(*db).sites(e))
            if (names.insert(s.name).second) cbSite->addItem(shownText(s.name), qs(s.name));
    }
    cbSite->setCurrentIndex(chosen.isValid() ? std::max(0, cbSite->findData(chosen)) : 0);
}

void RecordsBrowser::fillTree() {
    const QSignalBlocker quiet(Tree);
    Tree->clear();
    m_scopeKind = AllNode;
    m_scopeId.clear();
    QTreeWidgetItem* all = node(AllNode, "", "All records", false);
    Tree->addTopLevelItem(all);
    RecordsDatabase* db = database();
    if (!db) return;
    RecordsError e;
    for (const SiteRecord& s : RecordsStore(*db).sites(e))
        all->addChild(node(SiteNode, s.id, s.name, true));
    all->setExpanded(true);
    all->setSelected(true);
    Tree->setCurrentItem(all);
    if (e) status(qs("The records cannot be read: " + e.message));
}

void RecordsBrowser::fillChildren(QTreeWidgetItem* item) {
    if (item->data(0, kFilledRole).toBool()) return;
    item->setData(0, kFilledRole, true);
    RecordsDatabase* db = database();
    if (!db) return;
    RecordsStore store(*db);
    RecordsError e;
    const std::string id = item->data(0, kIdRole).toString().toStdString();
    if (item->data(0, kKindRole).toInt() == SiteNode) {
        for (const BreakerRecord& b : store.breakersOf(id, e))
            item->addChild(breakerNode(store, b, e));
    } else {
        for (const SessionRecord& s : store.sessionsOf(id, e))
            item->addChild(node(SessionNode, s.id,
                                localTimeText(s.startedAt) + "  " + conditionText(s.condition),
                                false));
    }
    if (item->childCount() == 0) item->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
    if (e) status(qs("The records cannot be read: " + e.message));
}

QTreeWidgetItem* RecordsBrowser::breakerNode(RecordsStore& store, const BreakerRecord& b,
                                             RecordsError& e) {
    std::string last;
    if (!e)
        for (const SessionRecord& s : store.sessionsOf(b.id, e))
            last = std::max(last, s.startedAt);
    std::string due;
    const DueState state = dueStateOf(
        last, b.testIntervalMonths, QDate::currentDate().toString(Qt::ISODate).toStdString(), due);
    std::string text = b.designation + (b.location.empty() ? "" : "  (" + b.location + ")");
    if (state == DueState::DueSoon) text += " — due " + due;
    if (state == DueState::Overdue) text += " — overdue since " + due;
    QTreeWidgetItem* item = node(BreakerNode, b.id, text, true);
    if (state == DueState::DueSoon || state == DueState::Overdue) {
        item->setForeground(0,
                            state == DueState::Overdue ? QColor(190, 0, 0) : QColor(170, 100, 0));
        item->setToolTip(0, qs("Tested every " + std::to_string(b.testIntervalMonths) +
                               " months, last on " + localTimeText(last)));
    }
    return item;
}

void RecordsBrowser::scopeChosen() {
    const QList<QTreeWidgetItem*> chosen = Tree->selectedItems();
    QTreeWidgetItem* item = chosen.isEmpty() ? nullptr : chosen.front();
    m_scopeKind = item ? item->data(0, kKindRole).toInt() : AllNode;
    m_scopeId = item ? item->data(0, kIdRole).toString().toStdString() : "";
    applyFilter();
    showHistory();
    if (m_scopeKind == BreakerNode) PlotTabs->setCurrentIndex(1);
    if (m_scopeKind == SessionNode) PlotTabs->setCurrentIndex(0);
}

void RecordsBrowser::showHistory() {
    if (m_scopeKind != BreakerNode) {
        lbHistoryTitle->setText("History");
        History->clearPlot("Choose a breaker in the tree to see its results over the sessions.");
        return;
    }
    RecordsDatabase* db = database();
    std::vector<ShotRow> rows;
    ShotFilter f;
    f.breakerId = m_scopeId;
    const RecordsError e = db ? RecordsStore(*db).forEachShot(f, ShotOrder::OldestFirst,
                                                              [&](const ShotRow& r) {
                                                                  rows.push_back(r);
                                                                  return true;
                                                              })
                              : RecordsError{RecordsErrorKind::Failed, {}, "not open"};
    if (e) {
        lbHistoryTitle->setText("History");
        History->clearPlot(qs("The breaker's shots cannot be read: " + e.message));
        return;
    }
    const HistoryPlot plot = historyPlotOf(breakerHistory(rows));
    const std::string name =
        rows.empty() ? "" : rows.front().site.name + " / " + rows.front().breaker.designation;
    lbHistoryTitle->setText(shownText(
        (name.empty() ? std::string("The breaker") : name) + ": " +
        std::to_string(plot.sessions.size()) +
        (plot.sessions.size() == 1 ? " session" : " sessions") +
        ", each result's position in its band (0 % at its minimum, 100 % at its maximum)"));
    if (rows.empty())
        History->clearPlot("The breaker has no shots yet.");
    else
        History->setPlot(plot);
}

ShotFilter RecordsBrowser::filter() const {
    ShotFilter f;
    switch (m_scopeKind) {
    case SiteNode:
        f.siteId = m_scopeId;
        break;
    case BreakerNode:
        f.breakerId = m_scopeId;
        break;
    case SessionNode:
        f.sessionId = m_scopeId;
        break;
    default:
        break;
    }
    if (cbSite->currentIndex() > 0) f.siteName = cbSite->currentData().toString().toStdString();
    if (ckFrom->isChecked()) f.since = dayStart(deFrom->date());
    if (ckTo->isChecked()) f.until = dayStart(deTo->date().addDays(1));
    const int v = cbVerdict->currentIndex();
    if (v > 0 && v < static_cast<int>(verdictChoices().size()))
        f.verdicts = verdictChoices()[static_cast<std::size_t>(v)].verdicts;
    return f;
}

void RecordsBrowser::applyFilter() {
    RecordsDatabase* db = database();
    if (!db) {
        m_model->clear();
        return;
    }
    if (const RecordsError e = m_model->setFilter(*db, filter()))
        status(qs("The shots cannot be listed: " + e.message));
    showPlot();
    updateActions();
}

void RecordsBrowser::listed() {
    const std::int64_t total = m_model->total();
    const int rows = m_model->rowCount();
    const RecordsError& e = m_model->lastError();
    lbCount->setText(
        e ? QString("%1 shots, %2 listed: the others cannot be read").arg(total).arg(rows)
        : total == rows
            ? QString("%1 shots").arg(total)
            : QString("%1 shots, the newest %2 listed (more as you scroll)").arg(total).arg(rows));
    if (e) status(qs("The shots cannot be listed: " + e.message));
}

std::string RecordsBrowser::sessionId() const {
    if (m_scopeKind == SessionNode) return m_scopeId;
    const QModelIndex current = ShotTable->currentIndex();
    if (!current.isValid() || current.row() >= m_model->rowCount()) return {};
    return m_model->rowAt(current.row()).session.id;
}

void RecordsBrowser::showPlot() {
    const std::string id = sessionId();
    if (id == m_plotSession && (id.empty() || Plot->hasPlot())) return;
    m_plotSession = id;
    if (id.empty()) {
        lbPlotTitle->setText("Time-current plot");
        Plot->clearPlot("Choose a session in the tree, or a shot in the list, to see its "
                        "shots against the band.");
        return;
    }
    SessionReport r;
    RecordsDatabase* db = database();
    const RecordsError e = db ? loadSessionReport(*db, id, false, r)
                              : RecordsError{RecordsErrorKind::Failed, {}, "not open"};
    if (e) {
        lbPlotTitle->setText("Time-current plot");
        Plot->clearPlot(qs("The session cannot be read: " + e.message));
        return;
    }
    lbPlotTitle->setText(shownText(
        r.site.name + " / " + r.breaker.designation + " (In " +
        ratingText(r.breaker.ratedAmps, m_host.decimalSeparator) + " A), " +
        conditionText(r.session.condition) + " session of " + localTimeText(r.session.startedAt) +
        (r.session.operatorName.empty() ? "" : ", " + r.session.operatorName) + ": " +
        sessionVerdictText(sessionVerdict(r.shots))));
    Plot->setPlot(timeCurrentOf(r, m_host.decimalSeparator));
}

void RecordsBrowser::updateActions() {
    const bool idle = !m_job->running();
    const bool selected = ShotTable->selectionModel()->hasSelection();
    actOpenWaveform->setEnabled(m_opener && ShotTable->currentIndex().isValid());
    actExportSelection->setEnabled(idle && selected);
    actExportList->setEnabled(idle && m_model->total() > 0);
    actReport->setEnabled(idle && !sessionId().empty());
    actShotComtrade->setEnabled(idle && ShotTable->currentIndex().isValid());
    actSessionComtrade->setEnabled(idle && !sessionId().empty());
}

void RecordsBrowser::status(const QString& text) {
    lbStatus->setText(text);
}

} // namespace qarn3
