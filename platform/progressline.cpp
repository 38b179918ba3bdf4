#include "platform/progressline.h"

#include <algorithm>
#include <ostream>

namespace qarn3 {

void ProgressLine::show(const std::string& text, bool last) {
    if (!m_shown) return;
    const auto now = std::chrono::steady_clock::now();
    if (!last && m_width > 0 && now - m_last < std::chrono::milliseconds(100)) return;
    m_last = now;
    // A shorter text than the one on the line leaves no tail of it.
    const std::string pad = text.size() < m_width ? std::string(m_width - text.size(), ' ') : "";
    m_err << '\r' << text << pad << std::flush;
    if (!pad.empty()) m_err << '\r' << text << std::flush;
    m_width = std::max(m_width, text.size());
}

void ProgressLine::clear() {
    if (m_width == 0) return;
    m_err << '\r' << std::string(m_width, ' ') << '\r' << std::flush;
    m_width = 0;
}

} // namespace qarn3
