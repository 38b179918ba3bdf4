#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>

#include <functional>

namespace qarn3::test {

// Runs the event loop until done() holds, at most ms milliseconds; whether it came to hold.
inline bool waitFor(const std::function<bool()>& done, int ms = 10000) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

} // namespace qarn3::test
