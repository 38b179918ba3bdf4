#include "diag/debuglog.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <thread>

using namespace qarn3;

namespace {

TEST(DebugLog, LinesBeforeTheWindowExistsAreDroppedAndTakeNoNumber) {
    DebugLog log;
    log.AddDebugLine("early");
    log.open();
    log.AddDebugLine("ProgInit ");
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0], "1: ProgInit  at: 0");
}

TEST(DebugLog, StampIsTheTimerCountInShortestForm) {
    DebugLog log;
    log.open();
    for (int i = 0; i < 6; ++i)
        log.AddDebugLine("x");
    for (int i = 0; i < 23; ++i)
        log.tick();
    log.AddDebugLine("SetRange ");
    EXPECT_EQ(log.lines().back(), "7: SetRange  at: 2.3");
    log.AddDebugLine("");
    EXPECT_EQ(log.lines().back(), "8:  at: 2.3");
    for (int i = 0; i < 100; ++i)
        log.tick();
    log.AddDebugLine("y");
    EXPECT_EQ(log.lines().back(), "9: y at: 12.3");
    EXPECT_EQ(shortestDecimal(0.1), "0.1");
    EXPECT_EQ(shortestDecimal(120), "120");
}

TEST(DebugLog, LinesFromAnotherThreadAreHandedToTheOwner) {
    DebugLog log;
    log.open();
    std::thread reader([&] { log.AddDebugLine("Thread Running "); });
    reader.join();
    EXPECT_EQ(log.lineCount(), 0); // not yet: queued to the main thread
    QElapsedTimer t;
    t.start();
    while (log.lineCount() == 0 && t.elapsed() < 2000)
        QCoreApplication::processEvents();
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0], "1: Thread Running  at: 0");
}

} // namespace
