#include "diag/debuglog.h"

#include "platform/files.h"

#include <QMetaObject>
#include <QThread>
#include <QTimer>

#include <charconv>

namespace qarn3 {

std::string shortestDecimal(double value, char separator) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
    std::string s(buf, r.ec == std::errc() ? r.ptr : buf);
    for (char& c : s)
        if (c == '.') c = separator;
    return s;
}

std::string DebugLog::formatLine(int number, const std::string& text, std::int64_t elapsedMs,
                                 char separator) {
    return std::to_string(number) + ": " + text +
           " at: " + shortestDecimal(static_cast<double>(elapsedMs) / 1000.0, separator);
}

void DebugLog::startClock(int intervalMs) {
    if (m_clock) return;
    m_clock = new QTimer(this);
    m_clock->setInterval(intervalMs);
    connect(m_clock, &QTimer::timeout, this, [this, intervalMs] { tick(intervalMs); });
    m_clock->start();
}

void DebugLog::AddDebugLine(const std::string& text) {
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(
            this, [this, text] { addOnOwnerThread(text); }, Qt::QueuedConnection);
        return;
    }
    addOnOwnerThread(text);
}

void DebugLog::addOnOwnerThread(const std::string& text) {
    if (!m_open) return;
    ++m_lineCount;
    m_lines.add(formatLine(m_lineCount, text, m_elapsedMs, m_separator));
    emit lineAdded(QString::fromStdString(m_lines.lines().back()));
}

} // namespace qarn3

namespace qarn3 {

std::string debugFileName(const std::string& programName) {
    return programName.substr(0, programName.find('.')) + ".dbg";
}

bool DebugLog::SaveDebugLog(const std::string& path, FileStore& files) const {
    std::string text;
    if (m_lines.dropped() > 0) text += BoundedLines::droppedText(m_lines.dropped()) + "\r\n";
    for (const std::string& line : m_lines.lines())
        text += line + "\r\n";
    std::string error;
    return files.replaceContents(path, text, error);
}

} // namespace qarn3
