#pragma once

#include "diag/boundedlines.h"

#include <QObject>
#include <QString>

class QTimer;

#include <cstdint>
#include <deque>
#include <string>

namespace qarn3 {

class FileStore;

// The program-wide debug line sink: numbered, time-stamped trace lines of every routine.
// Lines belong to the thread that owns this object; other threads hand theirs over. Only the
// newest kMaxLines are kept; the numbering goes on over the dropped ones.
class DebugLog : public QObject {
    Q_OBJECT
public:
    static constexpr std::size_t kMaxLines = 10000;

    explicit DebugLog(QObject* parent = nullptr, std::size_t maxLines = kMaxLines)
        : QObject(parent), m_lines(maxLines) {}

    // The debug window exists from now on; lines logged before this are dropped.
    void open() { m_open = true; }
    // Starts the 100 ms clock whose ticks stamp the lines (the debug window's timer, which
    // runs from the start-up whether or not the window has been made).
    void startClock(int intervalMs = 100);
    // The decimal separator of the time stamps: the one the program writes numbers with.
    void setDecimalSeparator(char separator) { m_separator = separator; }
    bool isOpen() const { return m_open; }

    // Safe from any thread: a line from another thread is queued to the owner's thread.
    void AddDebugLine(const std::string& text);

    // One tick of the 100 ms debug timer.
    void tick(int intervalMs = 100) { m_elapsedMs += intervalMs; }
    std::int64_t elapsedMs() const { return m_elapsedMs; }

    int lineCount() const { return m_lineCount; }
    const std::deque<std::string>& lines() const { return m_lines.lines(); }
    const BoundedLines& kept() const { return m_lines; }

    // Writes the kept lines, each ended by CR LF, after a line saying how many older ones
    // were dropped (when any were), replacing the file; false when it failed.
    bool SaveDebugLog(const std::string& path, FileStore& files) const;

    // "n: text at: t", t the elapsed seconds in the shortest decimal form.
    static std::string formatLine(int number, const std::string& text, std::int64_t elapsedMs,
                                  char separator = '.');

signals:
    void lineAdded(const QString& line);

private:
    void addOnOwnerThread(const std::string& text);

    bool m_open = false;
    QTimer* m_clock = nullptr;
    char m_separator = '.';
    int m_lineCount = 0;
    std::int64_t m_elapsedMs = 0;
    BoundedLines m_lines;
};

// The debug dump's name: the program file's name up to its first '.' (all of it when it has
// none), then ".dbg".
std::string debugFileName(const std::string& programName);

// Shortest general decimal form with up to 15 significant digits ("0", "0.1", "12.3"), with
// the given decimal separator whatever the process locale.
std::string shortestDecimal(double value, char separator = '.');

} // namespace qarn3
