#include "calsetup/calwindow.h"

#include "calsetup/caldate.h"
#include "diag/services.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFocusEvent>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace qarn3 {

namespace {
QString q(const std::string& s) {
    return QString::fromStdString(s);
}

QToolButton* arrow(Qt::ArrowType type, QWidget* parent) {
    auto* b = new QToolButton(parent);
    b->setArrowType(type);
    b->setAutoRepeat(true);
    b->setFocusPolicy(Qt::NoFocus); // the field with the focus keeps it
    b->setFixedSize(18, 12);
    return b;
}

// A focus change inside the window; not the window losing the activation or a list popping up.
bool leftWithinWindow(const QEvent* event) {
    if (event->type() != QEvent::FocusOut) return false;
    const auto reason = static_cast<const QFocusEvent*>(event)->reason();
    return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
}
} // namespace

TfmCal::TfmCal(CalForm& form, const ShortDates& dates, QWidget* parent)
    : QDialog(parent, Qt::Dialog), m_dates(dates), m_form(form) {
    setWindowTitle("Calibration Menu");
    buildControls();
    m_form.setView(this);
}

TfmCal::TfmCal(TCalRecord& record, CalFile& file, CalWindowHost& host, const ShortDates& dates,
               Services& services, QWidget* parent)
    : QDialog(parent, Qt::Dialog), m_dates(dates),
      m_ownForm(
          std::make_unique<CalForm>(record, file, host, dates, services.dialogs, services.log)),
      m_form(*m_ownForm), m_ownFile(&file) {
    setWindowTitle("Calibration Menu");
    buildControls();
    m_form.setView(this);
    file.setView(m_ownForm.get());
}

TfmCal::~TfmCal() {
    m_form.setView(nullptr);
    if (m_ownFile) m_ownFile->setView(nullptr);
}

// A factor field a range, in the first two columns.
void TfmCal::buildFactorFields(QGridLayout* grid) {
    for (int r = 1; r <= 8; ++r) {
        const auto i = static_cast<std::size_t>(r - 1);
        rangeLabels[i] = new QLabel(this);
        rangeLabels[i]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_factors[i] = new QLineEdit(this);
        m_factors[i]->setObjectName(QString("CalFactor%1").arg(r));
        m_factors[i]->setFixedWidth(90);
        m_factors[i]->setAlignment(Qt::AlignRight);
        grid->addWidget(rangeLabels[i], r - 1, 0);
        grid->addWidget(m_factors[i], r - 1, 1);
    }
    CalFactor1 = m_factors[0];
    CalFactor2 = m_factors[1];
    CalFactor3 = m_factors[2];
    CalFactor4 = m_factors[3];
    CalFactor5 = m_factors[4];
    CalFactor6 = m_factors[5];
    CalFactor7 = m_factors[6];
    CalFactor8 = m_factors[7];
}

// The whole-number fields: signed digits only, with arrows that step within the limits.
// Their design values (before any calibration is loaded) do not reach the record.
void TfmCal::buildNumberFields(QGridLayout* grid) {
    constexpr std::array<const char*, 5> designText{"20", "100", "5", "20", "5"};
    const auto* digits =
        new QRegularExpressionValidator(QRegularExpression("[+-]?[0-9]{0,9}"), this);
    for (std::size_t i = 0; i < kCalNumbers.size(); ++i) {
        const CalNumber field = kCalNumbers[i];
        auto* cell = new QWidget(this);
        auto* row = new QHBoxLayout(cell);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(0);
        auto* edit = new QLineEdit(designText[i], cell);
        edit->setValidator(digits);
        edit->setFixedWidth(60);
        edit->setAlignment(Qt::AlignRight);
        edit->installEventFilter(this);
        auto* arrows = new QVBoxLayout;
        arrows->setSpacing(0);
        numberUp[i] = arrow(Qt::UpArrow, cell);
        numberDown[i] = arrow(Qt::DownArrow, cell);
        arrows->addWidget(numberUp[i]);
        arrows->addWidget(numberDown[i]);
        row->addWidget(edit);
        row->addLayout(arrows);
        row->addStretch();
        m_numbers[i] = edit;
        auto* label = new QLabel(captionOf(field), this);
        grid->addWidget(label, static_cast<int>(i), 3, Qt::AlignRight);
        grid->addWidget(cell, static_cast<int>(i), 4);
        connect(edit, &QLineEdit::textChanged, this, [this, field](const QString& text) {
            m_form.numberChanged(field, text.toStdString());
        });
        connect(numberUp[i], &QToolButton::clicked, this,
                [this, field] { m_form.numberStep(field, +1); });
        connect(numberDown[i], &QToolButton::clicked, this,
                [this, field] { m_form.numberStep(field, -1); });
    }
    CalOnThresh = m_numbers[0];
    CalMPUThresh = m_numbers[1];
    CalOnDelay = m_numbers[2];
    CalOffThresh = m_numbers[3];
    CalOffDelay = m_numbers[4];
}

// The averaging time's list, the serial number and the date with its Today button.
void TfmCal::buildTimeSerialAndDate(QGridLayout* grid) {
    CalAvgTime = new QComboBox(this);
    CalAvgTime->setEditable(true);
    CalAvgTime->setInsertPolicy(QComboBox::NoInsert);
    CalAvgTime->addItems({"0.250", "0.200", "0.150", "0.100", "0.050"});
    CalAvgTime->setToolTip("Select average time");
    CalAvgTime->setFixedWidth(90);
    // The list itself has the focus: its text field is told of focus changes directly, past
    // any event filter.
    CalAvgTime->installEventFilter(this);
    grid->addWidget(new QLabel("Average Time", this), 5, 3, Qt::AlignRight);
    grid->addWidget(CalAvgTime, 5, 4);
    connect(CalAvgTime, &QComboBox::textActivated, this,
            [this](const QString& text) { m_form.CalAvgTimeChange(text.toStdString()); });
    connect(CalAvgTime->lineEdit(), &QLineEdit::textEdited, this,
            [this](const QString& text) { m_form.avgTimeEdited(text.toStdString()); });
    connect(CalAvgTime->lineEdit(), &QLineEdit::returnPressed, this,
            [this] { m_form.avgTimeFinished(avgTimeText()); });

    CalSerNum = new QLineEdit(this);
    CalSerNum->setMaxLength(10);
    CalSerNum->setFixedWidth(110);
    grid->addWidget(new QLabel("Serial Number", this), 6, 3, Qt::AlignRight);
    grid->addWidget(CalSerNum, 6, 4);

    CalDate = new QLineEdit(this);
    CalDate->setFixedWidth(110);
    btToday = new QPushButton("Today", this);
    btToday->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    auto* dateLabel = new QHBoxLayout;
    dateLabel->addStretch();
    dateLabel->addWidget(btToday);
    dateLabel->addWidget(new QLabel("Date", this));
    grid->addLayout(dateLabel, 7, 3);
    grid->addWidget(CalDate, 7, 4);
    connect(btToday, &QPushButton::clicked, this, [this] { m_form.btTodayClick(); });
}

// Adjust: the choice takes the focus only by the keyboard, so that clicking "Selected"
// leaves it in the factor field; the arrows never take it.
void TfmCal::buildAdjust(QGridLayout* grid) {
    auto* adjustLabel = new QLabel("Adjust", this);
    grid->addWidget(adjustLabel, 8, 0, Qt::AlignRight | Qt::AlignTop);
    rbAll = new QRadioButton("All", this);
    rbSelected = new QRadioButton("Selected", this);
    rbAll->setFocusPolicy(Qt::TabFocus);
    rbSelected->setFocusPolicy(Qt::TabFocus);
    rbAll->setChecked(true);
    RadioGroup1 = new QButtonGroup(this);
    RadioGroup1->addButton(rbAll);
    RadioGroup1->addButton(rbSelected);
    connect(rbAll, &QRadioButton::toggled, this, [this](bool on) { m_form.adjustAll = on; });
    SpinBtnAdjustUp = arrow(Qt::UpArrow, this);
    SpinBtnAdjustDown = arrow(Qt::DownArrow, this);
    SpinBtnAdjustUp->setFixedSize(22, 16);
    SpinBtnAdjustDown->setFixedSize(22, 16);
    connect(SpinBtnAdjustUp, &QToolButton::clicked, this,
            [this] { m_form.SpinBtnAdjustUpClick(); });
    connect(SpinBtnAdjustDown, &QToolButton::clicked, this,
            [this] { m_form.SpinBtnAdjustDownClick(); });
    auto* choice = new QVBoxLayout;
    choice->addWidget(rbAll);
    choice->addWidget(rbSelected);
    auto* spin = new QVBoxLayout;
    spin->setSpacing(0);
    spin->addWidget(SpinBtnAdjustUp);
    spin->addWidget(SpinBtnAdjustDown);
    auto* adjust = new QHBoxLayout;
    adjust->addLayout(choice);
    adjust->addLayout(spin);
    adjust->addStretch();
    grid->addLayout(adjust, 8, 1);
}

void TfmCal::buildControls() {
    auto* grid = new QGridLayout(this);
    grid->setHorizontalSpacing(8);
    grid->setColumnMinimumWidth(2, 24);

    buildFactorFields(grid);
    buildNumberFields(grid);
    buildTimeSerialAndDate(grid);
    buildAdjust(grid);

    SaveButton = new QPushButton("SAVE", this);
    grid->addWidget(SaveButton, 9, 4, Qt::AlignRight);
    connect(SaveButton, &QPushButton::clicked, this, [this] { save(); });

    // Enter in a field clicks nothing: no button acts without being pressed.
    for (QPushButton* b : {btToday, SaveButton}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    adjustSize();
}

QLineEdit* TfmCal::numberField(CalNumber field) const {
    return m_numbers[static_cast<std::size_t>(field)];
}

void TfmCal::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    m_form.FormShow();
    // The calibration is read once the window is up (and modal), with its controls disabled
    // meanwhile, so that nothing is edited or saved from what an earlier opening showed.
    m_opened = false;
    if (!m_activatePending) {
        m_activatePending = true;
        QTimer::singleShot(0, this, [this] { activate(); });
    }
}

void TfmCal::activate() {
    m_activatePending = false;
    if (!isVisible()) return;
    m_busy = true;
    setEnabled(false);
    m_form.FormActivate();
    setEnabled(true);
    m_busy = false;
    m_opened = true;
    CalFactor1->setFocus();
}

// The image goes to the analyzer in several packets with waits between them that handle
// input: a second SAVE meanwhile would interleave its image with the first, and an arrow or
// a field changed then would leave the record unlike the file. The window takes no input
// until SAVE is done.
void TfmCal::save() {
    if (m_busy) return;
    const QPointer<QWidget> focused = focusWidget();
    m_busy = true;
    setEnabled(false);
    m_form.SaveButtonClick();
    setEnabled(true);
    m_busy = false;
    if (focused && isVisible()) focused->setFocus();
}

// The close box and Esc wait while the calibration is being read or saved.
void TfmCal::reject() {
    if (!m_busy) QDialog::reject();
}

// Every way of closing (SAVE, the close box, Esc) only hides the window; the record keeps
// what was changed in it.
void TfmCal::done(int result) {
    m_form.FormClose();
    QDialog::done(result);
}

bool TfmCal::eventFilter(QObject* watched, QEvent* event) {
    if (!m_busy && leftWithinWindow(event)) {
        if (watched == CalAvgTime) {
            m_form.avgTimeFinished(avgTimeText());
        } else {
            for (CalNumber field : kCalNumbers)
                if (watched == numberField(field)) m_form.numberLeft(field);
        }
    }
    return QDialog::eventFilter(watched, event);
}

// CalFormView
void TfmCal::setFactorText(int range, const std::string& text) {
    if (range >= 1 && range <= 8) factorField(range)->setText(q(text));
}
void TfmCal::setAvgTimeText(const std::string& text) {
    CalAvgTime->setEditText(q(text));
}
// The serial number is stored byte for byte, one character each.
void TfmCal::setSerNumText(const std::string& text) {
    CalSerNum->setText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}
void TfmCal::setCalDateText(long dayNumber) {
    CalDate->setText(q(m_dates.format(dayNumber)));
}
void TfmCal::RefreshCal(const TCalRecord&) {
    m_form.RefreshCal();
}
void TfmCal::setRangeLabel(int range, const std::string& text) {
    if (range >= 1 && range <= 8)
        rangeLabels[static_cast<std::size_t>(range - 1)]->setText(q(text));
}
std::string TfmCal::factorText(int range) const {
    return factorField(range)->text().toStdString();
}
void TfmCal::setNumberText(CalNumber field, const std::string& text) {
    numberField(field)->setText(q(text));
}
std::string TfmCal::numberText(CalNumber field) const {
    return numberField(field)->text().toStdString();
}
std::string TfmCal::avgTimeText() const {
    return CalAvgTime->currentText().toStdString();
}
std::string TfmCal::serNumText() const {
    return CalSerNum->text().toLatin1().toStdString();
}
void TfmCal::setDateText(const std::string& text) {
    CalDate->setText(q(text));
}
std::string TfmCal::dateText() const {
    return CalDate->text().toStdString();
}
int TfmCal::focusedFactor() const {
    const QWidget* focused = focusWidget();
    for (int r = 1; r <= 8; ++r)
        if (focused == factorField(r)) return r;
    return 0;
}
void TfmCal::closeWindow() {
    accept();
}

} // namespace qarn3
