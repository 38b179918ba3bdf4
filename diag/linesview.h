#pragma once

#include "diag/boundedlines.h"

#include <QString>
#include <QStringList>

#include <cstdint>

class QListWidget;
class QPlainTextEdit;
class QWidget;

namespace qarn3 {

// Keeps a widget showing a BoundedLines: a line "… N older lines dropped" when some were,
// then the kept lines. It works only while the widget is visible; a widget shown again
// catches up at once, scrolled to the end. Call sync() after adding lines and when the
// widget is shown.
class LinesView {
public:
    explicit LinesView(const BoundedLines& lines) : m_lines(lines) {}
    virtual ~LinesView() = default;
    LinesView(const LinesView&) = delete;
    LinesView& operator=(const LinesView&) = delete;

    void sync();

protected:
    virtual QWidget* widget() const = 0;
    virtual void setAll(const QStringList& rows) = 0;
    virtual void append(const QString& row) = 0;
    virtual void removeRows(int first, int count) = 0;
    virtual void insertFirst(const QString& row) = 0;
    virtual void replaceFirst(const QString& row) = 0;
    virtual void scrollToEnd() = 0;

private:
    void rebuild();

    const BoundedLines& m_lines;
    std::uint64_t m_shownTotal = 0;   // lines added up to the last one shown
    std::uint64_t m_shownDropped = 0; // the count the first row states (0: no such row)
    std::uint64_t m_shownClears = 0;
};

// A multi-line text box (the debug and USB status memos). Its undo history is switched off:
// a read-only memo would otherwise keep every line twice.
class MemoLinesView : public LinesView {
public:
    MemoLinesView(QPlainTextEdit* memo, const BoundedLines& lines);

protected:
    QWidget* widget() const override;
    void setAll(const QStringList& rows) override;
    void append(const QString& row) override;
    void removeRows(int first, int count) override;
    void insertFirst(const QString& row) override;
    void replaceFirst(const QString& row) override;
    void scrollToEnd() override;

private:
    QPlainTextEdit* m_memo;
};

// A list box (the serial status window's error list).
class ListLinesView : public LinesView {
public:
    ListLinesView(QListWidget* list, const BoundedLines& lines) : LinesView(lines), m_list(list) {}

protected:
    QWidget* widget() const override;
    void setAll(const QStringList& rows) override;
    void append(const QString& row) override;
    void removeRows(int first, int count) override;
    void insertFirst(const QString& row) override;
    void replaceFirst(const QString& row) override;
    void scrollToEnd() override;

private:
    QListWidget* m_list;
};

} // namespace qarn3
