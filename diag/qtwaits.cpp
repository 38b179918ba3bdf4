#include "diag/qtwaits.h"

#include "diag/debuglog.h"
#include "platform/textformat.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>

namespace qarn3 {

int busyWindowWidth(const std::string& caption) {
    const int width = static_cast<int>(caption.size()) * 8 + 110;
    return width < 220 ? 220 : width;
}

std::string busyRemainingText(double seconds, char separator) {
    return formatFixed(seconds, 4, 1, separator);
}

void QtWaits::BusyWait(int ms) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() <= deadline) {
        QThread::msleep(10);
        if (m_busy) {
            // A sleep that overran the deadline (a busy machine) shows 0, not a negative time.
            const double left =
                std::max(0.0, std::chrono::duration<double>(deadline - Clock::now()).count());
            m_busy->setRemainingText(busyRemainingText(left, m_separator));
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

int QtWaits::BusyWaitShown(int ms, const std::string& caption) {
    std::unique_ptr<BusyView> window;
    if (m_factory) window = m_factory->createShown(caption, busyWindowWidth(caption));
    m_busy = window.get();
    BusyWait(ms);
    m_busy = nullptr;
    return 0;
}

void QtWaits::TimerWait(int ms) {
    if (m_waitActive) return;
    m_waitActive = true;
    int remainingMs = ms;
    QTimer timer;
    timer.setInterval(100);
    QObject::connect(&timer, &QTimer::timeout, [this, &remainingMs] {
        if (m_busy) m_busy->setRemainingText(shortestDecimal(remainingMs / 1000.0, m_separator));
        if (remainingMs > 0) remainingMs -= 100;
    });
    timer.start();
    // Blocks until the next event rather than spinning: the tick is itself an event.
    while (remainingMs > 0)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    timer.stop();
    m_waitActive = false;
}

} // namespace qarn3
