#include "link/usbwindow.h"

#include "diag/linesview.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>

namespace qarn3 {

namespace {
QString q(const std::string& s) {
    return QString::fromStdString(s);
}
} // namespace

TfmUSB::TfmUSB(UsbTestPanel& panel, QWidget* parent) : QWidget(parent, Qt::Window), m_panel(panel) {
    setObjectName("fmUSB");
    setWindowTitle("USB Test");
    resize(318, 424);

    ComboBox1 = new QComboBox(this);
    ComboBox1->setEditable(true);
    ComboBox1->addItems({"vid_04d8&pid_000c", q(kUsbDevice)});
    ComboBox1->setEditText(q(kUsbDevice));
    ComboBox1->setGeometry(8, 8, 302, 24);

    auto box = [this](const QString& label, const QString& text, int x, int y) {
        auto* l = new QLabel(label, this);
        l->setGeometry(x, y, 140, 18);
        auto* e = new QLineEdit(text, this);
        e->setReadOnly(true);
        e->setAlignment(Qt::AlignRight);
        e->setGeometry(x, y + 18, 140, 24);
        return e;
    };
    ebUSBError = box("Error Count", "0", 8, 40);
    Edit2 = box("Elapsed Time", "", 166, 40);
    ebUSBRxData = box("Rx Data Count", "0", 8, 88);
    ebUSBMaxRxData = box("Max Rx Data", "0", 166, 88);
    Edit2->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    Memo1 = new QPlainTextEdit(this);
    Memo1->setReadOnly(true);
    Memo1->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_statusView = std::make_unique<MemoLinesView>(Memo1, m_panel.lines());

    showPanel();
    connect(&m_panel, &UsbTestPanel::changed, this, &TfmUSB::showPanel);
}

TfmUSB::~TfmUSB() = default;

void TfmUSB::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Memo1->setGeometry(8, 140, width() - 16, height() - 148);
}

void TfmUSB::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // At the right edge of the screen, clear of the main window.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.right() - frameGeometry().width() + 1, y() < area.top() ? area.top() : y());
    }
    m_statusView->sync();
}

void TfmUSB::showPanel() {
    if (!m_panel.deviceText().empty()) ComboBox1->setEditText(q(m_panel.deviceText()));
    const UsbStatusTick& t = m_panel.lastTick();
    if (!t.elapsed.empty()) {
        ebUSBError->setText(q(t.errorCount));
        ebUSBRxData->setText(q(t.rxDataCount));
        ebUSBMaxRxData->setText(q(t.maxRxData));
        Edit2->setText(q(t.elapsed));
    }
    m_statusView->sync();
}

} // namespace qarn3
