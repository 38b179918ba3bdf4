#include "waveform/waveformwindow.h"

#include "waveform/plotwidget.h"

#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace qarn3 {

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

TfmWaveform::TfmWaveform(TWaveformData& wave, Services& services, const std::string& dataFolder,
                         std::function<int()> testMode, QWidget* parent)
    : QDialog(parent), m_viewer(wave, services, dataFolder, std::move(testMode)) {
    setWindowTitle("Waveform View");
    setSizeGripEnabled(true);
    buildControls();
    resize(643, 523);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    m_viewer.setView(this);
    m_viewer.FormCreate();
}

// The panel's controls go first, while the viewer their handlers call still exists.
TfmWaveform::~TfmWaveform() {
    delete Panel1;
    Panel1 = nullptr;
    TrackBar1 = nullptr;
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
    Panel1->installEventFilter(this);

    top->addWidget(ContractButton);
    top->addWidget(ExpandButton);
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
    bottom->addWidget(ExitButton);

    connect(ContractButton, &QPushButton::clicked, this, [this] { m_viewer.Contract(); });
    connect(ExpandButton, &QPushButton::clicked, this, [this] { m_viewer.Expand(); });
    connect(SaveButton, &QPushButton::clicked, this, [this] { m_viewer.SaveButtonClick(); });
    connect(ExitButton, &QPushButton::clicked, this, [this] { m_viewer.ExitButtonClick(); });
    for (QLineEdit* e : {TStart, TEnd, CurStart, CurSpan})
        connect(e, &QLineEdit::editingFinished, this, [this, e] { applyEdit(e, false); });
    connect(TrackBar1, &QSlider::valueChanged, this,
            [this](int value) { m_viewer.TrackBar1Change(value); });
    connect(TrackBar1, &QSlider::sliderReleased, this,
            [this] { m_viewer.TrackBar1EndDrag(TrackBar1->value()); });
    UpDown1->onClick = [this](int position) { m_viewer.UpDown1Click(position); };
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
