#include "app/mainwindow.h"

#include "app/colours.h"
#include "app/statusrow.h"
#include "calsetup/calwindow.h"
#include "calsetup/passdialog.h"
#include "calsetup/setupdialog.h"
#include "diag/debugwindow.h"
#include "help/qthelpviewer.h"
#include "waveform/plotwidget.h"
#include "waveform/waveformwindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDate>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>

#include <cmath>

namespace qarn3 {

namespace {
QString q(const std::string& s) {
    return QString::fromStdString(s);
}

// The readings are set at every 200 ms tick, mostly to what they already show; a line edit
// lays out and repaints its text even then.
void showText(QLineEdit* w, const std::string& text) {
    const QString t = QString::fromStdString(text);
    if (w->text() != t) w->setText(t);
}
void paint(QWidget* w, Colour c, QPalette::ColorRole role = QPalette::Window) {
    QPalette p = w->palette();
    p.setColor(role, toQColor(c));
    w->setPalette(p);
    w->setAutoFillBackground(true);
}
} // namespace

TfmQARN3::TfmQARN3(Program& program, DialogService& dialogs, SecondaryWindows windows,
                   char decimalSeparator)
    : m_program(program), m_dialogs(dialogs), m_debug(std::move(windows.debug)),
      m_setup([this, make = std::move(windows.setup)] { return make ? make(this) : nullptr; }),
      m_calibration([this, make = std::move(windows.calibration)]() -> TfmCal* {
          if (!make) return nullptr;
          TfmCal* window = make(this);
          // F1 in it shows the calibration help.
          setHelpContext(window, kCalibrationHelpContext);
          return window;
      }),
      m_waveform(
          [this, make = std::move(windows.waveform)] { return make ? make(this) : nullptr; }),
      m_linkStatus(std::move(windows.linkStatus)) {
    m_program.attachView(*this);
    setWindowTitle("QARN-3");
    setFixedWidth(525);
    setMinimumHeight(400);
    resize(525, 470);
    buildControls();
    buildMenus();
    m_plot.setDecimalSeparator(decimalSeparator);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    qApp->installEventFilter(this);
    m_program.FormCreate();
    setHelpContext(this, kMainWindowHelpContext);
    // F1 in any window of the program asks the hook for that window's help.
    if (THelpSystemHook* hook = m_program.helpHook()) {
        m_helpKeys = std::make_unique<HelpKeyFilter>(*hook);
        qApp->installEventFilter(m_helpKeys.get());
    }
}

TfmQARN3::~TfmQARN3() {
    qApp->removeEventFilter(this);
    if (m_helpKeys) qApp->removeEventFilter(m_helpKeys.get());
    m_helpKeys.reset();
    m_program.FormDestroy();
}

TfmWaveform* TfmQARN3::waveformWindow() {
    return m_waveform.get();
}
TfmSetup* TfmQARN3::setupWindow() {
    return m_setup.get();
}
TfmCal* TfmQARN3::calibrationWindow() {
    return m_calibration.get();
}

QLineEdit* TfmQARN3::reading(const QString& label, const QString& text, const QString& hint,
                             int y) {
    auto* l = new QLabel(label, centralWidget());
    l->setGeometry(8, y + 6, 100, 20);
    auto* e = new QLineEdit(text, centralWidget());
    e->setReadOnly(true);
    e->setToolTip(hint);
    e->setAlignment(Qt::AlignRight);
    e->setGeometry(108, y, 170, 32);
    QFont f = e->font();
    f.setPointSize(15);
    f.setBold(true);
    e->setFont(f);
    e->setFocusPolicy(Qt::NoFocus);
    return e;
}

void TfmQARN3::buildControls() {
    constexpr int top = 0;
    setCentralWidget(new QWidget(this));
    PanelCal = new QLabel("Calibration Date", centralWidget());
    PanelCal->setToolTip("Date last calibrated");
    PanelCal->setAlignment(Qt::AlignCenter);
    PanelCal->setFrameShape(QFrame::Panel);
    PanelCal->setFrameShadow(QFrame::Sunken);
    PanelCal->setGeometry(8, top + 6, 270, 22);
    ebShunt = new QLineEdit(centralWidget());
    ebShunt->setReadOnly(true);
    ebShunt->setToolTip("Shunt amps and mV");
    ebShunt->setGeometry(290, top + 6, 200, 22);
    ebShunt->setFocusPolicy(Qt::NoFocus);

    ebPulseCurr = reading("Pulse Current", "000.0 A", "Trip current for operation", top + 36);
    ebPulseSec = reading("Pulse Seconds", "0.000 sec", "Time current was on", top + 72);
    ebPulseCyc = reading("Pulse Cycles", "0.000 sec", "Time current was on", top + 108);
    ebCurrent = reading("Current", "000.0 A", "Current while testing", top + 144);

    auto* labelRange = new QLabel("Range:", centralWidget());
    labelRange->setGeometry(290, top + 40, 60, 20);
    labelRange->setToolTip("Select Range (Stop First)");
    ComboBoxRange = new QComboBox(centralWidget());
    for (int i = 0; i < 8; ++i)
        ComboBoxRange->addItem(QString());
    ComboBoxRange->setGeometry(350, top + 36, 140, 26);
    ComboBoxRange->setToolTip("Select Range");
    connect(ComboBoxRange, &QComboBox::activated, this,
            [this](int index) { m_program.ComboBoxRangeChange(index); });

    auto limit = [this](const QString& name, int y, QLineEdit*& field, QToolButton*& up,
                        QToolButton*& down) {
        auto* l = new QLabel(name, centralWidget());
        l->setGeometry(290, top + y + 4, 60, 20);
        l->setToolTip("Select Range (Stop First)");
        // Display only: the limits change by the spin buttons and the Setup dialog, so
        // neither typing, paste, cut, drag nor the context menu may edit the field.
        field = new QLineEdit(centralWidget());
        field->setReadOnly(true);
        field->setGeometry(350, top + y, 70, 26);
        field->setAlignment(Qt::AlignRight);
        field->setToolTip("Select Range (Stop First)");
        up = new QToolButton(centralWidget());
        up->setArrowType(Qt::UpArrow);
        up->setGeometry(422, top + y, 22, 13);
        down = new QToolButton(centralWidget());
        down->setArrowType(Qt::DownArrow);
        down->setGeometry(422, top + y + 13, 22, 13);
        up->setToolTip("Select Range (Stop First)");
        down->setToolTip("Select Range (Stop First)");
        up->setFocusPolicy(Qt::NoFocus);
        down->setFocusPolicy(Qt::NoFocus);
    };
    limit("MaxOn", 68, ebMaxOn, sbMaxOnUp, sbMaxOnDown);
    limit("MaxOff", 100, ebMaxOff, sbMaxOffUp, sbMaxOffDown);
    connect(sbMaxOnUp, &QToolButton::clicked, this, [this] { m_program.sbMaxOnUpClick(); });
    connect(sbMaxOnDown, &QToolButton::clicked, this, [this] { m_program.sbMaxOnDownClick(); });
    connect(sbMaxOffUp, &QToolButton::clicked, this, [this] { m_program.sbMaxOffUpClick(); });
    connect(sbMaxOffDown, &QToolButton::clicked, this, [this] { m_program.sbMaxOffDownClick(); });

    PanelArmedRunning = new QLabel(centralWidget());
    PanelArmedRunning->setAlignment(Qt::AlignCenter);
    PanelArmedRunning->setFrameShape(QFrame::Panel);
    PanelArmedRunning->setFrameShadow(QFrame::Raised);
    PanelArmedRunning->setGeometry(450, top + 68, 40, 58);
    PanelArmedRunning->setWordWrap(true);
    QFont small = PanelArmedRunning->font();
    small.setPointSize(7);
    PanelArmedRunning->setFont(small);

    BitBtnRunStopReset = new QPushButton("RUN", centralWidget());
    BitBtnRunStopReset->setToolTip("Start or stop test");
    BitBtnRunStopReset->setGeometry(290, top + 136, 110, 40);
    QFont bold = BitBtnRunStopReset->font();
    bold.setBold(true);
    bold.setPointSize(13);
    BitBtnRunStopReset->setFont(bold);
    setRunButton("RUN", Colour::Green);
    connect(BitBtnRunStopReset, &QPushButton::clicked, this,
            [this] { m_program.BitBtnRunStopResetClick(); });
    btAnalyze = new QPushButton("Analyze", centralWidget());
    btAnalyze->setToolTip("Save results to file");
    btAnalyze->setGeometry(406, top + 136, 84, 40);
    btAnalyze->setEnabled(false);
    connect(btAnalyze, &QPushButton::clicked, this, [this] { m_program.mAnalyzeClick(); });

    ProgressBar2 = new QProgressBar(centralWidget());
    ProgressBar2->setRange(0, 100);
    ProgressBar2->setTextVisible(false);
    ProgressBar2->setToolTip("Percent of Max On or Off Time");
    ProgressBar2->setGeometry(8, top + 184, 482, 12);
    ProgressBar1 = new QProgressBar(centralWidget());
    ProgressBar1->setOrientation(Qt::Vertical);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setToolTip("Percent maximum current");

    PaintBox1 = new PlotWidget(centralWidget());
    PaintBox1->onPaint = [this](PlotCanvas& c) { PaintBox1Paint(c); };

    for (int i = 0; i < 4; ++i) {
        StatusPanels[static_cast<std::size_t>(i)] = new QLabel(centralWidget());
        StatusPanels[static_cast<std::size_t>(i)]->setFrameShape(QFrame::StyledPanel);
    }
    // The elapsed time keeps its width; the status text and the source share the rest of the
    // bar with the last panel, which is as narrow as it was while empty and as wide as a data
    // error warning needs when one is shown there.
    StatusPanels[0]->setFixedWidth(75);
    StatusPanels[3]->setMinimumWidth(20);
    StatusPanels[2]->setText("Setting Up");
    StatusTexts = new StatusRow(centralWidget());
    StatusTexts->addPanel(StatusPanels[1]);
    StatusTexts->addPanel(StatusPanels[2]);
    StatusTexts->addPanel(StatusPanels[3], false);
    statusBar()->setToolTip("Run time information");
    statusBar()->setSizeGripEnabled(false);
    statusBar()->addWidget(StatusPanels[0]);
    statusBar()->addWidget(StatusTexts, 1);

    UpdateTimer = new QTimer(this);
    UpdateTimer->setInterval(200);
    connect(UpdateTimer, &QTimer::timeout, this, [this] { m_program.UpdateTimerTick(); });
}

void TfmQARN3::buildMenus() {
    QMenu* file = menuBar()->addMenu("&File");
    file->addAction("&Calibrate", this, [this] { m_program.mCalibrateClick(); });
    file->addAction("&Hardware", this, [this] { m_program.mHardwareClick(); });
    file->addAction("&Open", this, [this] { m_program.mOpenClick(); });
    file->addAction("&Save Data", this, [this] { m_program.mSaveClick(); });
    file->addSeparator();
    file->addAction("E&xit", this, [this] { m_program.ProgExit(); });
    QMenu* test = menuBar()->addMenu("&Test");
    test->addAction("&Setup", this, [this] { m_program.mSetupClick(); });
    test->addAction("&Reset");
    test->addAction("St&artSampling", this, [this] { m_program.engine().Start(); });
    test->addAction("St&opSampling", this, [this] { m_program.mStopSamplingClick(); });
    QMenu* view = m_viewMenu = menuBar()->addMenu("&View");
    view->addAction("&Analyze", this, [this] { m_program.mAnalyzeClick(); });
    view->addAction("&Hardware Status", this, [this] { m_program.mHardwareStatusClick(); });
    view->addAction("&Debug Info", this, [this] { showDebugWindow(); });
    QMenu* help = m_helpMenu = menuBar()->addMenu("&Help");
    help->addAction("&About", this, [this] { m_program.mAboutClick(); });
    help->addAction("&Contents", this, [this] { m_program.mContentsClick(); });
    help->addAction("&Operation Guide");
}

void TfmQARN3::addRecordsMenus(QAction* viewItem, QMenu* menu) {
    if (viewItem) m_viewMenu->addAction(viewItem);
    if (menu) menuBar()->insertMenu(m_helpMenu->menuAction(), menu);
}

void TfmQARN3::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    layoutStretchingControls();
    if (!m_shown) {
        m_shown = true;
        m_program.FormShow();
    }
}

void TfmQARN3::paintEvent(QPaintEvent* event) {
    QMainWindow::paintEvent(event);
    if (!m_firstPaintQueued) {
        m_firstPaintQueued = true;
        // The first paint runs the initialisation once the window is on the screen, after
        // the paint has been drawn.
        QTimer::singleShot(0, this, [this] { m_program.FormPaint(); });
    }
}

void TfmQARN3::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    layoutStretchingControls();
}

// The trace and the current bar take the height the window has.
void TfmQARN3::layoutStretchingControls() {
    const int h = centralWidget()->height();
    PaintBox1->setGeometry(8, 202, 482, std::max(60, h - 208));
    ProgressBar1->setGeometry(498, 6, 18, std::max(60, h - 12));
}

void TfmQARN3::closeEvent(QCloseEvent* event) {
    if (!m_closing) {
        m_closing = true;
        m_program.FormCloseQuery();
        m_program.ProgExit();
    }
    event->accept();
}

// The typed-character rule is the readings' own: the window itself and the controls laid on
// it. A panel docked beside them (the test record panel, and any added later) is another room
// whose fields take every character typed into them, "+", "-" and Esc included.
bool TfmQARN3::isOwnControl(const QWidget& w) const {
    if (&w == this) return true;
    const QWidget* readings = centralWidget();
    return readings && (&w == readings || readings->isAncestorOf(&w));
}

bool TfmQARN3::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    auto* w = qobject_cast<QWidget*>(watched);
    if (!w || !isOwnControl(*w)) return false;
    // A key a panel's field leaves unused (Esc) travels up to this window: it is still the
    // panel's, so the window leaves it alone.
    if (const QWidget* focus = QApplication::focusWidget(); focus && !isOwnControl(*focus))
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    const QString text = key->text();
    // Typed characters go to the window first; Return, Space and Tab still work the controls.
    if (text.isEmpty() || text == "\r" || text == " " || text == "\t") return false;
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier)) return false;
    return m_program.FormKeyPress(text.at(0).toLatin1());
}

void TfmQARN3::PaintBox1Paint(PlotCanvas& canvas) {
    const TWaveformData& w = m_program.wave;
    const float apc = w.AmpsPerCount;
    m_plot.PlotBegin(&canvas, kPlotBlack, kPlotWhite, 1.1);
    m_plot.PlotArea(0, 100, 0, 100, 50, 10, 10, 50, false);
    m_plot.PlotXAxis(kPlotWhite, "", true, 0, 0.1f, 0, 0, false);
    m_plot.PlotYAxis(kPlotWhite, "", 1, -2048 * apc, 2048 * apc, 0, 0, true, false);
    canvas.setPen(kPlotYellow, 2, false);
    m_plot.setPen(kPlotYellow, 2);
    m_plot.PlotMoveTo(0, w.Samples[0] * apc);
    const long n = std::lrint(w.SampleRate * 0.1);
    for (long i = 1; i <= n && i < kWaveSlots; ++i) {
        m_plot.PlotLineTo(static_cast<float>(static_cast<double>(i) / w.SampleRate),
                          w.Samples[static_cast<std::size_t>(i)] * apc);
        m_plot.PlotMark(1, 0);
    }
}

// MainView
void TfmQARN3::setCaption(const std::string& caption) {
    setWindowTitle(q(caption));
}
std::string TfmQARN3::caption() const {
    return windowTitle().toStdString();
}
void TfmQARN3::showWindow() {
    if (!isVisible()) show();
}
void TfmQARN3::focusRunButton() {
    BitBtnRunStopReset->setFocus();
}
void TfmQARN3::setShuntText(const std::string& text) {
    ebShunt->setText(q(text));
}
void TfmQARN3::setRangeLabels(const std::array<std::string, 8>& labels) {
    for (int i = 0; i < 8; ++i)
        ComboBoxRange->setItemText(i, q(labels[static_cast<std::size_t>(i)]));
}
void TfmQARN3::setMaxOnText(const std::string& text) {
    ebMaxOn->setText(q(text));
}
void TfmQARN3::setMaxOffText(const std::string& text) {
    ebMaxOff->setText(q(text));
}
void TfmQARN3::setCalPanel(const std::string& text, Colour colour) {
    PanelCal->setText(q(text));
    paint(PanelCal, colour);
}
void TfmQARN3::setUpdateTimerEnabled(bool on) {
    if (on)
        UpdateTimer->start();
    else
        UpdateTimer->stop();
}
void TfmQARN3::repaintPlot() {
    PaintBox1->redraw();
}
bool TfmQARN3::rangeListEnabled() const {
    return m_rangeListEnabled;
}
bool TfmQARN3::execSetupDialog() {
    TfmSetup* setup = m_setup.get();
    return setup && setup->exec() == QDialog::Accepted;
}
void TfmQARN3::showDebugWindow() {
    if (TfmDebug* debug = m_debug.get()) debug->show();
}
void TfmQARN3::showLinkStatus(const AnalyzerLink& link) {
    for (const auto& [of, show] : m_linkStatus)
        if (of == &link && show) show();
}
void TfmQARN3::showWaveformWindow() {
    if (TfmWaveform* waveform = m_waveform.get()) waveform->exec();
}
std::string TfmQARN3::shortDate(long dayNumber) const {
    const QDate d = QDate(1899, 12, 30).addDays(dayNumber);
    return QLocale::system().toString(d, QLocale::ShortFormat).toStdString();
}
std::unique_ptr<PasswordPrompt> TfmQARN3::createPasswordDialog() {
    return std::make_unique<TfmPass>(m_dialogs, this);
}
void TfmQARN3::execCalibrationWindow() {
    if (TfmCal* calibration = m_calibration.get()) calibration->exec();
}
void TfmQARN3::quit() {
    m_closing = true;
    UpdateTimer->stop();
    // Not quit(), which asks every window to close first and gives up when one refuses (a
    // sync's progress while it runs): the program ends whatever is open.
    QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
}

// EngineDisplay
void TfmQARN3::setPulseCurrent(const std::string& text) {
    showText(ebPulseCurr, text);
}
void TfmQARN3::setPulseCurrentColour(Colour colour) {
    paint(ebPulseCurr, colour, QPalette::Base);
}
void TfmQARN3::setPulseSeconds(const std::string& text) {
    showText(ebPulseSec, text);
}
void TfmQARN3::setPulseCycles(const std::string& text) {
    showText(ebPulseCyc, text);
}
void TfmQARN3::setLiveCurrent(const std::string& text, Colour colour) {
    showText(ebCurrent, text);
    paint(ebCurrent, colour, QPalette::Base);
}
void TfmQARN3::setArmedRunningPanel(const std::string& text, Colour colour) {
    PanelArmedRunning->setText(q(text));
    paint(PanelArmedRunning, colour);
}
void TfmQARN3::setRunButton(const std::string& caption, Colour font) {
    BitBtnRunStopReset->setText(q(caption));
    QPalette p = BitBtnRunStopReset->palette();
    p.setColor(QPalette::ButtonText, toQColor(font));
    BitBtnRunStopReset->setPalette(p);
}
void TfmQARN3::setAnalyzeEnabled(bool on) {
    btAnalyze->setEnabled(on);
}
void TfmQARN3::setStatusPanel(int index, const std::string& text) {
    if (index < 0 || index >= 4) return;
    QLabel* panel = StatusPanels[static_cast<std::size_t>(index)];
    const QString shown = q(text);
    if (panel->text() == shown) return;
    panel->setText(shown);
    if (index != 0) StatusTexts->relayout();
}
void TfmQARN3::setStatusColour(Colour colour) {
    paint(statusBar(), colour);
}
void TfmQARN3::setRangeListEnabled(bool on) {
    m_rangeListEnabled = on;
    ComboBoxRange->setEnabled(on);
}
void TfmQARN3::selectRange(int itemIndex) {
    const QSignalBlocker block(ComboBoxRange);
    ComboBoxRange->setCurrentIndex(itemIndex);
}
void TfmQARN3::setCurrentBar(int percent) {
    ProgressBar1->setValue(percent);
}
void TfmQARN3::setTimeBar(int percent, Colour bar) {
    ProgressBar2->setValue(percent);
    setTimeBarColour(bar);
}
void TfmQARN3::setTimeBarColour(Colour bar) {
    QPalette p = ProgressBar2->palette();
    p.setColor(QPalette::Highlight, toQColor(bar));
    ProgressBar2->setPalette(p);
}

} // namespace qarn3
