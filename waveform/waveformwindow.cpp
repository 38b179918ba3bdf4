#include "waveform/waveformwindow.h"

#include "waveform/plotwidget.h"

#include <QAbstractTableModel>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSlider>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace qarn3 {

namespace {
constexpr int kCyclePaneHeight = 200;
}

// The viewer's cycle table as a table model: the cells are formatted when they are shown, so
// a table of a thousand cycles costs nothing until it is scrolled through.
class CycleTableModel : public QAbstractTableModel {
public:
    CycleTableModel(const CycleTable& table, QObject* parent)
        : QAbstractTableModel(parent), m_table(table) {}
    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : static_cast<int>(m_table.rows.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : kCycleColumns;
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= rowCount()) return {};
        const CycleRow& row = m_table.rows[static_cast<std::size_t>(index.row())];
        if (role == Qt::DisplayRole)
            return QString::fromStdString(cycleCellText(row, index.row(), index.column()));
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        if (role == Qt::FontRole && row.partial) {
            QFont italic;
            italic.setItalic(true);
            return italic;
        }
        return {};
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
            section >= kCycleColumns)
            return {};
        return QString::fromUtf8(kCycleColumnTitles[static_cast<std::size_t>(section)]);
    }
    void changed() {
        beginResetModel();
        endResetModel();
    }

private:
    const CycleTable& m_table;
};

UpDownControl::UpDownControl(int minimum, int maximum, QWidget* parent)
    : QWidget(parent), m_minimum(minimum), m_maximum(maximum), m_position(minimum) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_up = new QToolButton(this);
    m_up->setArrowType(Qt::UpArrow);
    m_down = new QToolButton(this);
    m_down->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {m_up, m_down}) {
        b->setFixedSize(22, 14);
        layout->addWidget(b);
    }
    connect(m_up, &QToolButton::clicked, this, [this] { step(1); });
    connect(m_down, &QToolButton::clicked, this, [this] { step(-1); });
}

void UpDownControl::setPosition(int position) {
    m_position = std::clamp(position, m_minimum, m_maximum);
}

void UpDownControl::step(int by) {
    setPosition(m_position + by);
    if (onClick) onClick(m_position);
}

TfmWaveform::TfmWaveform(WaveViewer& viewer, QWidget* parent) : QDialog(parent), m_viewer(viewer) {
    build();
}

TfmWaveform::TfmWaveform(TWaveformData& wave, Services& services, const std::string& dataFolder,
                         std::function<int()> testMode, QWidget* parent)
    : QDialog(parent),
      m_ownViewer(std::make_unique<WaveViewer>(wave, services, dataFolder, std::move(testMode))),
      m_viewer(*m_ownViewer) {
    build();
    m_viewer.FormCreate();
}

void TfmWaveform::build() {
    setWindowTitle("Waveform View");
    setSizeGripEnabled(true);
    buildControls();
    // Wider than the first size only where the panel's buttons and fields would not fit.
    resize(std::max(643, Panel1->sizeHint().width()), 523);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    m_viewer.setView(this);
}

// The panel's controls and the cycle table go first, while the viewer they use still exists.
TfmWaveform::~TfmWaveform() {
    m_viewer.setView(nullptr);
    delete Panel1;
    Panel1 = nullptr;
    TrackBar1 = nullptr;
    delete CyclePane; // its model reads the viewer's table
    CyclePane = nullptr;
}

void TfmWaveform::buildControls() {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    // The window may be made as small as the user likes; the surface follows it.
    outer->setSizeConstraint(QLayout::SetNoConstraint);

    PaintBox1 = new PlotWidget(this);
    PaintBox1->setToolTip("Left click for cursor start (green), Right click for cursor end (red)");
    PaintBox1->setMinimumSize(0, 0);
    PaintBox1->onPaint = [this](PlotCanvas& canvas) { m_viewer.drawSurface(canvas); };
    PaintBox1->onMousePress = [this](QMouseEvent* e) {
        const ViewerButton button = e->button() == Qt::LeftButton    ? ViewerButton::Left
                                    : e->button() == Qt::RightButton ? ViewerButton::Right
                                                                     : ViewerButton::Middle;
        const QPoint p = e->position().toPoint();
        m_viewer.PaintBox1MouseDown(button, e->modifiers() & Qt::ControlModifier, p.x(), p.y());
    };
    outer->addWidget(PaintBox1, 1);
    buildCyclePane();
    outer->addWidget(CyclePane);

    Panel1 = new QWidget(this);
    Panel1->setFixedHeight(76);
    outer->addWidget(Panel1);
    auto* rows = new QVBoxLayout(Panel1);
    rows->setContentsMargins(6, 4, 6, 4);
    auto* top = new QHBoxLayout;
    auto* bottom = new QHBoxLayout;
    rows->addLayout(top);
    rows->addLayout(bottom);

    // Created in the order the Tab key visits them.
    const auto button = [this](const char* caption, const char* hint) {
        auto* b = new QPushButton(caption, Panel1);
        b->setToolTip(hint);
        b->setAutoDefault(false); // Return in an edit applies the edit, not a button
        return b;
    };
    ContractButton = button("Contract", "Contract to show more of waveform");
    ExpandButton = button("Expand", "Expand Waveform between cursors");
    SaveButton = button("Save", "Save waveform to file");
    ComtradeButton =
        button("Save as &COMTRADE...", "Save the waveform, or the span between the cursors, "
                                       "as COMTRADE files (.cfg and .dat)");
    ExitButton = button("Exit", "Exit waveform view");
    const auto edit = [this](const char* hint, bool bold) {
        auto* e = new QLineEdit(Panel1);
        e->setToolTip(hint);
        e->setFixedWidth(72);
        if (bold) {
            QFont f = e->font();
            f.setBold(true);
            e->setFont(f);
        }
        e->installEventFilter(this);
        return e;
    };
    TStart = edit("Start time of display (Edit and double click)", false);
    TEnd = edit("End time of display (Edit and double click)", false);
    CurStart = edit("Time at start cursor (green)", true);
    CurSpan = edit("Time span between cursors", true);
    CurValue = edit("RMS value of waveform between cursors", true);
    CurValue->setReadOnly(true);
    TrackBar1 = new QSlider(Qt::Horizontal, Panel1);
    TrackBar1->setToolTip("Adjust start time for view");
    TrackBar1->setRange(0, WaveViewer::kTrackMax);
    TrackBar1->setSingleStep(2);
    TrackBar1->setTickInterval(50);
    TrackBar1->setTickPosition(QSlider::TicksBelow);
    TrackBar1->installEventFilter(this);
    UpDown1 = new UpDownControl(0, WaveViewer::kUpDownMax, Panel1);
    UpDown1->setToolTip("Increase or decrease vertical size");
    UpDown1->upButton()->setToolTip(UpDown1->toolTip());
    UpDown1->downButton()->setToolTip(UpDown1->toolTip());
    CurCycles = new QLabel(Panel1);
    CurCycles->setToolTip("Time span between cursors in 50 Hz mains cycles");
    // Two short lines ("12.50 cycles", "at 50 Hz") beside the Cycles button: the row of the
    // cursor fields has no room left, and the trackbar gives up the least.
    CurCycles->setWordWrap(true);
    CurCycles->setFixedWidth(CurCycles->fontMetrics().horizontalAdvance("0000.00 cycles"));
    CyclesButton = new QPushButton("Cycles", Panel1);
    CyclesButton->setToolTip("Show the RMS, peaks and I\u00b2t of each mains cycle");
    CyclesButton->setCheckable(true);
    CyclesButton->setAutoDefault(false);
    Panel1->installEventFilter(this);

    top->addWidget(ContractButton);
    top->addWidget(ExpandButton);
    top->addWidget(CyclesButton);
    top->addWidget(CurCycles);
    top->addWidget(TStart);
    top->addWidget(TrackBar1, 1);
    top->addWidget(TEnd);
    top->addWidget(UpDown1);
    const auto labelled = [this, bottom](const char* caption, QLineEdit* e) {
        auto* l = new QLabel(caption, Panel1);
        l->setBuddy(e);
        bottom->addWidget(l);
        bottom->addWidget(e);
    };
    labelled("Cursor Start", CurStart);
    labelled("Cursor Span", CurSpan);
    labelled("CursorValue", CurValue);
    bottom->addStretch(1);
    bottom->addWidget(SaveButton);
    bottom->addWidget(ComtradeButton);
    bottom->addWidget(ExitButton);

    connect(ContractButton, &QPushButton::clicked, this, [this] { m_viewer.Contract(); });
    connect(ExpandButton, &QPushButton::clicked, this, [this] { m_viewer.Expand(); });
    connect(SaveButton, &QPushButton::clicked, this, [this] { m_viewer.SaveButtonClick(); });
    connect(ComtradeButton, &QPushButton::clicked, this, [this] { m_viewer.SaveComtradeClick(); });
    connect(ExitButton, &QPushButton::clicked, this, [this] { m_viewer.ExitButtonClick(); });
    connect(CyclesButton, &QPushButton::toggled, this, [this](bool on) { showCyclePane(on); });
    for (QLineEdit* e : {TStart, TEnd, CurStart, CurSpan})
        connect(e, &QLineEdit::editingFinished, this, [this, e] { applyEdit(e, false); });
    connect(TrackBar1, &QSlider::valueChanged, this,
            [this](int value) { m_viewer.TrackBar1Change(value); });
    connect(TrackBar1, &QSlider::sliderReleased, this,
            [this] { m_viewer.TrackBar1EndDrag(TrackBar1->value()); });
    UpDown1->onClick = [this](int position) { m_viewer.UpDown1Click(position); };
}

void TfmWaveform::buildCyclePane() {
    CyclePane = new QWidget(this);
    CyclePane->setFixedHeight(kCyclePaneHeight);
    auto* layout = new QVBoxLayout(CyclePane);
    layout->setContentsMargins(6, 4, 6, 0);
    layout->setSpacing(2);
    CycleCaption = new QLabel(CyclePane);
    CycleTableView = new QTableView(CyclePane);
    m_cycleModel = new CycleTableModel(m_viewer.cycleTable(), CycleTableView);
    CycleTableView->setModel(m_cycleModel);
    CycleTableView->setToolTip("One row per mains cycle, cut where the current rises through zero; "
                               "partial cycles at the ends in italics");
    CycleTableView->verticalHeader()->hide();
    CycleTableView->verticalHeader()->setDefaultSectionSize(CycleTableView->fontMetrics().height() +
                                                            6);
    CycleTableView->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    CycleTableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    CycleTableView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    CycleTableView->setAlternatingRowColors(true);
    CycleFooter = new QLabel(CyclePane);
    CycleFooter->setTextInteractionFlags(Qt::TextSelectableByMouse);
    CycleFooter->setToolTip("The span's RMS (as CursorValue), largest current, I\u00b2t, and "
                            "the first cycle's peak over \u221a2 times the RMS");
    layout->addWidget(CycleCaption);
    layout->addWidget(CycleTableView, 1);
    layout->addWidget(CycleFooter);
    CyclePane->hide();
}

void TfmWaveform::showCyclePane(bool shown) {
    if (CyclePane->isVisibleTo(this) == shown) return;
    CyclePane->setVisible(shown);
    // The trace keeps its size: the window grows by the table and shrinks back without it.
    if (!isMaximized() && !isFullScreen())
        resize(width(), std::max(1, height() + (shown ? kCyclePaneHeight : -kCyclePaneHeight)));
}

void TfmWaveform::showCycleTable(const CycleTable&, const CycleTableTexts& texts) {
    m_cycleModel->changed();
    CycleCaption->setText(QString::fromStdString(texts.caption));
    CycleFooter->setText(QString::fromStdString(texts.footer));
}

void TfmWaveform::applyEdit(QLineEdit* edit, bool always) {
    if (m_applying || edit->isReadOnly()) return;
    const std::string text = edit->text().toStdString();
    const std::string& shown = edit == TStart     ? m_shown.TStart
                               : edit == TEnd     ? m_shown.TEnd
                               : edit == CurStart ? m_shown.CurStart
                                                  : m_shown.CurSpan;
    if (!always && text == shown) return;
    // A box shown while applying takes the focus away, which must not apply the edit again.
    m_applying = true;
    if (edit == TStart)
        m_viewer.SetStart(text);
    else if (edit == TEnd)
        m_viewer.SetEnd(text);
    else if (edit == CurStart)
        m_viewer.SetCurStart(text);
    else
        m_viewer.SetCurSpan(text);
    m_applying = false;
}

bool TfmWaveform::eventFilter(QObject* watched, QEvent* event) {
    if (watched == TrackBar1) {
        if (event->type() == QEvent::FocusOut) m_viewer.TrackBar1Exit(TrackBar1->value());
        if (event->type() == QEvent::KeyPress && !static_cast<QKeyEvent*>(event)->text().isEmpty())
            m_viewer.TrackBar1KeyPress(TrackBar1->value());
    } else if (watched == Panel1) {
        if (event->type() == QEvent::MouseMove) m_viewer.Panel1MouseMove(TrackBar1->value());
        if (event->type() == QEvent::MouseButtonRelease) m_viewer.Panel1MouseUp(TrackBar1->value());
    } else if (event->type() == QEvent::MouseButtonDblClick) {
        if (auto* e = qobject_cast<QLineEdit*>(watched)) applyEdit(e, true);
    }
    return QDialog::eventFilter(watched, event);
}

void TfmWaveform::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    m_viewer.FormShow();
}

void TfmWaveform::showTexts(const WaveViewTexts& texts) {
    m_shown = texts;
    TStart->setText(QString::fromStdString(texts.TStart));
    TEnd->setText(QString::fromStdString(texts.TEnd));
    CurStart->setText(QString::fromStdString(texts.CurStart));
    CurSpan->setText(QString::fromStdString(texts.CurSpan));
    CurValue->setText(QString::fromStdString(texts.CurValue));
    CurCycles->setText(QString::fromStdString(texts.CurCycles));
    CurCycles->setVisible(!texts.CurCycles.empty());
}

void TfmWaveform::setTrackPosition(int position) {
    const QSignalBlocker block(TrackBar1);
    TrackBar1->setValue(position);
}

void TfmWaveform::redrawSurface() {
    PaintBox1->redrawLater();
}

void TfmWaveform::closeWindow() {
    accept();
}

} // namespace qarn3
