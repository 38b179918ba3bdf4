#include "diag/boundedlines.h"

namespace qarn3 {

void BoundedLines::add(std::string line) {
    if (m_lines.size() >= m_capacity) {
        m_lines.pop_front();
        ++m_dropped;
    }
    m_lines.push_back(std::move(line));
}

void BoundedLines::clear() {
    m_lines.clear();
    m_dropped = 0;
    ++m_clears;
}

std::string BoundedLines::droppedText(std::uint64_t dropped) {
    return "\xE2\x80\xA6 " + std::to_string(dropped) +
           (dropped == 1 ? " older line dropped" : " older lines dropped");
}

} // namespace qarn3
