#pragma once

#include "diag/waits.h"

namespace qarn3 {

// The waits on the Qt event loop.
class QtWaits : public Waits {
public:
    explicit QtWaits(BusyWindowFactory* factory = nullptr) : m_factory(factory) {}

    // The hidden busy window created at start-up; the waits write into it until the first
    // BusyWaitShown, after which no busy window is written to.
    void setIdleBusyWindow(BusyView* view) { m_busy = view; }
    // The decimal separator of the remaining seconds: the one the program writes numbers with.
    void setDecimalSeparator(char separator) { m_separator = separator; }

    void BusyWait(int ms) override;
    int BusyWaitShown(int ms, const std::string& caption) override;
    void TimerWait(int ms) override;
    bool WaitActive() const override { return m_waitActive; }

private:
    BusyWindowFactory* m_factory;
    BusyView* m_busy = nullptr;
    bool m_waitActive = false;
    char m_separator = '.';
};

} // namespace qarn3
