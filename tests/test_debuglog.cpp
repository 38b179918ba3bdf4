#include "diag/debuglog.h"
#include "diag/debugwindow.h"

#include "locale_fixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

#include <gtest/gtest.h>

#include <iostream>

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

TEST(DebugLog, StampUsesTheProgramSeparatorWhateverTheProcessLocale) {
    test::CommaNumericLocale comma;
    DebugLog log;
    log.open();
    for (int i = 0; i < 23; ++i)
        log.tick();
    log.AddDebugLine("a");
    log.setDecimalSeparator(',');
    log.AddDebugLine("b");
    EXPECT_EQ(log.lines()[0], "1: a at: 2.3");
    EXPECT_EQ(log.lines()[1], "2: b at: 2,3");
    EXPECT_EQ(shortestDecimal(0.05), "0.05");
    EXPECT_EQ(shortestDecimal(1e20), "1e+20");
    EXPECT_EQ(shortestDecimal(123456.789, ','), "123456,789");
    if (!comma.active()) std::cout << "note: no locale with a decimal comma installed\n";
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

TEST(DebugLog, ReaderThreadLinesTakeTheNextNumberWhenTheyArrive) {
    DebugLog log;
    log.open();
    log.AddDebugLine("USB StartSampling ");
    std::thread reader([&] { log.AddDebugLine("Thread Timeout "); });
    reader.join();
    log.AddDebugLine("ProcessTick ");
    QElapsedTimer t;
    t.start();
    while (log.lineCount() < 3 && t.elapsed() < 2000)
        QCoreApplication::processEvents();
    ASSERT_EQ(log.lines().size(), 3u);
    EXPECT_EQ(log.lines()[1], "2: ProcessTick  at: 0");
    EXPECT_EQ(log.lines()[2], "3: Thread Timeout  at: 0");
}

TEST(DebugWindow, StartsHiddenAtItsPlaceAndHidesAtTheFirstTick) {
    DebugLog log;
    log.AddDebugLine("before the window");
    TfmDebug window(log);
    EXPECT_EQ(window.windowTitle(), "fmDebug");
    EXPECT_EQ(window.geometry(), QRect(69, 145, 268, 262));
    EXPECT_EQ(window.DebugTimer->interval(), 100);
    EXPECT_TRUE(window.DebugTimer->isActive());
    EXPECT_EQ(window.memoDebug->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(window.memoDebug->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    window.show();
    window.DebugTimerTick();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(log.elapsedMs(), 100);
    // Lines logged before the window existed took no number.
    EXPECT_EQ(log.lines().front(), "1: Debug Show fmDebug  at: 0");
}

TEST(DebugWindow, ShowingLogsAndMovesToTheLeftEdgeAndHideKeepsTheLines) {
    DebugLog log;
    TfmDebug window(log);
    for (int i = 0; i < 10; ++i)
        window.DebugTimerTick();
    log.AddDebugLine("SetRange ");
    window.show();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.x(), 1);
    window.btDebugHide->click();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.memoDebug->toPlainText(),
              "1: SetRange  at: 1\n2: Debug Show fmDebug  at: 1");
    window.DebugTimerTick();
    window.show();
    EXPECT_TRUE(window.isVisible()); // only the first tick hides it
}

} // namespace
