#include "link/commwindow.h"

#include "diag/linesview.h"

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>

namespace qarn3 {

namespace {
constexpr int kMargin = 8;
constexpr int kListTop = 160;
} // namespace

TfmComm::TfmComm(CommStatusPanel& panel, QWidget* parent) : QDialog(parent), m_link(panel.link()) {
    setWindowTitle("Communication Status");
    setObjectName("fmComm");
    resize(234, 214);
    setMinimumSize(234, 190);
    setMaximumSize(384, 380);

    ErrorCountBox = box("Comm Error Count", 8, true);
    RxDCountBox = box("Rx Data Count", 32, true);
    CommErrorBox = box("Comm Error Code", 56, true);
    ErrorMaskBox = box("Comm Error Mask", 80, false);
    ErrorMaskBox->setToolTip("Enter hex value to mask Comm Error");
    ErrorMaskBox->setText("FF");
    MaxRxDbox = box("Max RxDcount:", 104, true);

    btHide = new QPushButton("Hide", this);
    btClear = new QPushButton("Clear", this);
    btPorts = new QPushButton("Ports", this);
    btHide->setGeometry(kMargin, 130, 68, 24);
    btClear->setGeometry(82, 130, 68, 24);
    btPorts->setGeometry(156, 130, 68, 24);
    btHide->setAutoDefault(false);
    btClear->setAutoDefault(false);
    btPorts->setAutoDefault(false);
    connect(btHide, &QPushButton::clicked, this, &QWidget::hide);
    connect(btClear, &QPushButton::clicked, this, [this] { m_link.ClearClick(); });
    connect(btPorts, &QPushButton::clicked, this, [this] { m_link.PortsClick(); });

    ErrorListBox1 = new QListWidget(this);
    ErrorListBox1->setUniformItemSizes(true); // keeps appending cheap with a long list
    m_errorView = std::make_unique<ListLinesView>(ErrorListBox1, panel.errorLines());
    connect(ErrorMaskBox, &QLineEdit::textChanged, this, [this] { rewriteMask(); });
    connect(MaxRxDbox, &QLineEdit::textChanged, this, [this] { rewriteMask(); });

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().width() / 2 + width() / 2 + 2, y());

    connect(&panel, &CommStatusPanel::boxesShown, this, &TfmComm::showBoxes);
    connect(&panel, &CommStatusPanel::errorLinesChanged, this, [this] { m_errorView->sync(); });
}

TfmComm::~TfmComm() = default;

QLineEdit* TfmComm::box(const QString& label, int y, bool readOnly) {
    auto* l = new QLabel(label, this);
    l->setGeometry(kMargin, y, 110, 22);
    auto* e = new QLineEdit(this);
    e->setGeometry(122, y, 104, 22);
    e->setReadOnly(readOnly);
    return e;
}

void TfmComm::rewriteMask() {
    const QSignalBlocker block(ErrorMaskBox);
    const int cursor = ErrorMaskBox->cursorPosition();
    ErrorMaskBox->setText(
        QString::fromStdString(m_link.MaskBoxChange(ErrorMaskBox->text().toStdString())));
    ErrorMaskBox->setCursorPosition(cursor);
}

void TfmComm::showBoxes(const std::string& errorCount, const std::string& rxDataCount,
                        const std::string& commError, const std::string& maxRxData) {
    if (!isVisible()) return; // the next tick after showing fills them
    ErrorCountBox->setText(QString::fromStdString(errorCount));
    RxDCountBox->setText(QString::fromStdString(rxDataCount));
    CommErrorBox->setText(QString::fromStdString(commError));
    MaxRxDbox->setText(QString::fromStdString(maxRxData));
}

void TfmComm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    m_errorView->sync();
    rewriteMask();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.right() - frameGeometry().width() + 1, y());
    }
}

void TfmComm::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    ErrorListBox1->setGeometry(kMargin, kListTop, width() - 2 * kMargin,
                               std::max(20, height() - kListTop - kMargin));
}

} // namespace qarn3
