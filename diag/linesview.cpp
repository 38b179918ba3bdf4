#include "diag/linesview.h"

#include <QListWidget>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

namespace qarn3 {

namespace {
QString q(const std::string& s) {
    return QString::fromStdString(s);
}
} // namespace

void LinesView::sync() {
    if (!widget()->isVisible()) return;
    const std::uint64_t dropped = m_lines.dropped();
    const std::uint64_t total = m_lines.total();
    // Cleared, or lines went by unseen: put everything in again. So does a backlog of more
    // than half the list, which is cheaper in one go.
    if (m_lines.clears() != m_shownClears || m_shownTotal < dropped || m_shownTotal > total ||
        total - m_shownTotal > m_lines.capacity() / 2) {
        rebuild();
        return;
    }
    if (total == m_shownTotal) return;
    const auto& lines = m_lines.lines();
    for (std::size_t i = static_cast<std::size_t>(m_shownTotal - dropped); i < lines.size(); ++i)
        append(q(lines[i]));
    m_shownTotal = total;
    if (dropped != m_shownDropped) {
        const int first = m_shownDropped > 0 ? 1 : 0;
        removeRows(first, static_cast<int>(dropped - m_shownDropped));
        const QString header = q(BoundedLines::droppedText(dropped));
        if (m_shownDropped > 0)
            replaceFirst(header);
        else
            insertFirst(header);
        m_shownDropped = dropped;
    }
}

void LinesView::rebuild() {
    QStringList rows;
    if (m_lines.dropped() > 0) rows << q(BoundedLines::droppedText(m_lines.dropped()));
    for (const std::string& line : m_lines.lines())
        rows << q(line);
    setAll(rows);
    m_shownTotal = m_lines.total();
    m_shownDropped = m_lines.dropped();
    m_shownClears = m_lines.clears();
    scrollToEnd();
}

MemoLinesView::MemoLinesView(QPlainTextEdit* memo, const BoundedLines& lines)
    : LinesView(lines), m_memo(memo) {
    m_memo->setUndoRedoEnabled(false);
}

QWidget* MemoLinesView::widget() const {
    return m_memo;
}
void MemoLinesView::setAll(const QStringList& rows) {
    m_memo->setPlainText(rows.join('\n'));
}
void MemoLinesView::append(const QString& row) {
    m_memo->appendPlainText(row); // follows the end when it was there
}
void MemoLinesView::removeRows(int first, int count) {
    if (count <= 0) return;
    QTextCursor c(m_memo->document()->findBlockByNumber(first));
    c.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, count);
    c.removeSelectedText();
}
void MemoLinesView::insertFirst(const QString& row) {
    QTextCursor c(m_memo->document()->firstBlock());
    c.insertText(row + '\n');
}
void MemoLinesView::replaceFirst(const QString& row) {
    QTextCursor c(m_memo->document()->firstBlock());
    c.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
    c.insertText(row);
}
void MemoLinesView::scrollToEnd() {
    m_memo->verticalScrollBar()->setValue(m_memo->verticalScrollBar()->maximum());
}

QWidget* ListLinesView::widget() const {
    return m_list;
}
void ListLinesView::setAll(const QStringList& rows) {
    m_list->clear();
    m_list->addItems(rows);
}
void ListLinesView::append(const QString& row) {
    m_list->addItem(row);
    m_list->scrollToBottom();
}
void ListLinesView::removeRows(int first, int count) {
    for (int i = 0; i < count && first < m_list->count(); ++i)
        delete m_list->takeItem(first);
}
void ListLinesView::insertFirst(const QString& row) {
    m_list->insertItem(0, row);
}
void ListLinesView::replaceFirst(const QString& row) {
    if (m_list->count() > 0) m_list->item(0)->setText(row);
}
void ListLinesView::scrollToEnd() {
    m_list->scrollToBottom();
}

} // namespace qarn3
