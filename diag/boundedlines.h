#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

namespace qarn3 {

// The newest lines of a log or status list, at most a fixed number of them, and a count of
// the older ones dropped to make room, so that a flood of lines cannot grow memory.
class BoundedLines {
public:
    explicit BoundedLines(std::size_t capacity) : m_capacity(capacity > 0 ? capacity : 1) {}

    void add(std::string line);
    // Forgets every line and the dropped count.
    void clear();

    const std::deque<std::string>& lines() const { return m_lines; }
    std::size_t capacity() const { return m_capacity; }
    std::uint64_t dropped() const { return m_dropped; }
    // Lines ever added since the last clear (dropped and kept).
    std::uint64_t total() const { return m_dropped + m_lines.size(); }
    // Changes with every clear, so that a view can tell a cleared list from a grown one.
    std::uint64_t clears() const { return m_clears; }

    // The line shown in front of the kept ones when some were dropped.
    static std::string droppedText(std::uint64_t dropped);

private:
    std::size_t m_capacity;
    std::deque<std::string> m_lines;
    std::uint64_t m_dropped = 0;
    std::uint64_t m_clears = 0;
};

} // namespace qarn3
