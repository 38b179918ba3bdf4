#include "diag/debugwindow.h"

#include "diag/debuglog.h"

#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace qarn3 {

TfmDebug::TfmDebug(DebugLog& log, QWidget* parent) : QWidget(parent, Qt::Window), m_log(log) {
    setObjectName("fmDebug");
    setWindowTitle("fmDebug");
    setGeometry(69, 145, 268, 262);
    auto* layout = new QVBoxLayout(this);
    memoDebug = new QPlainTextEdit(this);
    memoDebug->setReadOnly(true);
    memoDebug->setLineWrapMode(QPlainTextEdit::NoWrap);
    memoDebug->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout->addWidget(memoDebug);
    auto* hide = new QPushButton("Hide", this);
    layout->addWidget(hide);
    connect(hide, &QPushButton::clicked, this, &QWidget::hide);
    for (const std::string& line : m_log.lines())
        memoDebug->appendPlainText(QString::fromStdString(line));
    connect(&m_log, &DebugLog::lineAdded, memoDebug, &QPlainTextEdit::appendPlainText);
    m_log.open();
    DebugTimer = new QTimer(this);
    DebugTimer->setInterval(100);
    connect(DebugTimer, &QTimer::timeout, this, &TfmDebug::DebugTimerTick);
    DebugTimer->start();
}

void TfmDebug::DebugTimerTick() {
    m_log.tick(100);
    if (m_log.elapsedMs() == 100) hide();
}

void TfmDebug::showEvent(QShowEvent* event) {
    m_log.AddDebugLine("Debug Show " + objectName().toStdString() + " ");
    move(1, y());
    QWidget::showEvent(event);
}

} // namespace qarn3
