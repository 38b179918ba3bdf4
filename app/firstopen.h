#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>

namespace qarn3 {

// A window made when it is first opened, by the function given, and kept for the next
// openings. One made with a parent belongs to its parent (Qt deletes it with the parent); one
// made without belongs to this holder.
template <typename W> class FirstOpen {
public:
    using Make = std::function<W*()>;
    FirstOpen() = default;
    explicit FirstOpen(Make make) : m_make(std::move(make)) {}
    ~FirstOpen() {
        if (m_window && !m_window->parent()) delete m_window.data();
    }
    FirstOpen(const FirstOpen&) = delete;
    FirstOpen& operator=(const FirstOpen&) = delete;

    // The window, made now if it was not yet (null when there is no way to make it).
    W* get() {
        if (!m_window && m_make) m_window = m_make();
        return m_window.data();
    }
    // The window if it has been made.
    W* made() const { return m_window.data(); }

private:
    Make m_make;
    QPointer<W> m_window;
};

} // namespace qarn3
