#pragma once

#include <memory>
#include <string>

namespace qarn3 {

// Pauses between analyzer commands that keep handling window messages, so timers and user
// input go on during them. Main thread only.
class Waits {
public:
    virtual ~Waits() = default;
    // Waits ms milliseconds (ms below 60000).
    virtual void BusyWait(int ms) = 0;
    // The same wait with a "Busy" window titled caption counting down; returns 0.
    virtual int BusyWaitShown(int ms, const std::string& caption) = 0;
    // Waits ms milliseconds counted in 100 ms ticks; returns at once inside another TimerWait.
    virtual void TimerWait(int ms) = 0;
    virtual bool WaitActive() const = 0;
};

// A "Busy" window: the waits write the remaining time into it.
class BusyView {
public:
    virtual ~BusyView() = default;
    virtual void setRemainingText(const std::string& text) = 0;
};

// Creates the visible busy windows of BusyWaitShown.
class BusyWindowFactory {
public:
    virtual ~BusyWindowFactory() = default;
    virtual std::unique_ptr<BusyView> createShown(const std::string& caption, int width) = 0;
};

// Width of a busy window for a caption: 8 pixels a character plus 110, at least 220.
int busyWindowWidth(const std::string& caption);

// Remaining seconds as BusyWait shows them: "%4.1f" with the given decimal separator.
std::string busyRemainingText(double seconds, char separator = '.');

} // namespace qarn3
