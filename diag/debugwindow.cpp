#include "diag/debugwindow.h"

#include "diag/debuglog.h"
#include "diag/linesview.h"

#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace qarn3 {

TfmDebug::TfmDebug(DebugLog& log, QWidget* parent) : QWidget(parent, Qt::Window), m_log(log) {
    setObjectName("fmDebug");
    setWindowTitle("fmDebug");
    setGeometry(69, 145, 268, 262);
    auto* layout = new QVBoxLayout(this);
    memoDebug = new QPlainTextEdit(this);
    memoDebug->setObjectName("memoDebug");
    memoDebug->setReadOnly(true);
    memoDebug->setLineWrapMode(QPlainTextEdit::NoWrap);
    memoDebug->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memoDebug->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memoDebug->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout->addWidget(memoDebug, 1);
    btDebugHide = new QPushButton("Hide", this);
    btDebugHide->setObjectName("btDebugHide");
    layout->addWidget(btDebugHide, 0, Qt::AlignLeft);
    connect(btDebugHide, &QPushButton::clicked, this, &TfmDebug::ButtonHideClick);
    m_view = std::make_unique<MemoLinesView>(memoDebug, m_log.kept());
    connect(&m_log, &DebugLog::lineAdded, this, [this] { m_view->sync(); });
}

TfmDebug::~TfmDebug() = default;

void TfmDebug::ButtonHideClick() {
    hide();
}

void TfmDebug::FormShow() {
    m_log.AddDebugLine("Debug Show " + objectName().toStdString() + " ");
    move(1, y());
}

void TfmDebug::showEvent(QShowEvent* event) {
    FormShow();
    QWidget::showEvent(event);
    m_view->sync();
}

} // namespace qarn3
