#include "diag/debuglog.h"
#include "diag/debugwindow.h"
#include "diag/linesview.h"
#include "platform/files.h"

#include "locale_fixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
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

TEST(DebugWindow, StartsHiddenAtItsPlace) {
    DebugLog log;
    log.AddDebugLine("before the log opened");
    log.open();
    TfmDebug window(log);
    EXPECT_EQ(window.windowTitle(), "fmDebug");
    EXPECT_EQ(window.geometry(), QRect(69, 145, 268, 262));
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.memoDebug->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(window.memoDebug->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    window.show();
    EXPECT_TRUE(window.isVisible());
    // Lines logged before the log was opened took no number.
    EXPECT_EQ(log.lines().front(), "1: Debug Show fmDebug  at: 0");
}

// The lines' clock runs from the start-up, window or not, in steps of 100 ms.
TEST(DebugLog, TheClockTicksInTenthsOfASecond) {
    DebugLog log;
    log.open();
    log.startClock();
    QElapsedTimer t;
    t.start();
    while (log.elapsedMs() < 200 && t.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_GE(log.elapsedMs(), 200);
    EXPECT_EQ(log.elapsedMs() % 100, 0);
    log.AddDebugLine("SetRange ");
    EXPECT_EQ(log.lines().back(), DebugLog::formatLine(1, "SetRange ", log.elapsedMs()));
}

TEST(DebugWindow, ShowingLogsAndMovesToTheLeftEdgeAndHideKeepsTheLines) {
    DebugLog log;
    log.open();
    TfmDebug window(log);
    for (int i = 0; i < 10; ++i)
        log.tick(100);
    log.AddDebugLine("SetRange ");
    window.show();
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.x(), 1);
    window.btDebugHide->click();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.memoDebug->toPlainText(), "1: SetRange  at: 1\n2: Debug Show fmDebug  at: 1");
    log.tick(100);
    window.show();
    EXPECT_TRUE(window.isVisible()); // the clock never hides it
}

// A flood of lines keeps the newest and says how many older ones went; the numbering goes
// on over them, and the dump at exit starts with the same line.
TEST(DebugLog, KeepsTheNewestLinesAndTheDumpSaysHowManyWereDropped) {
    DebugLog log(nullptr, 3);
    log.open();
    for (const char* t : {"a", "b", "c", "d", "e"})
        log.AddDebugLine(t);
    EXPECT_EQ(log.lineCount(), 5);
    ASSERT_EQ(log.lines().size(), 3u);
    EXPECT_EQ(log.lines().front(), "3: c at: 0");
    char tmpl[] = "/tmp/qarn3-debuglog-XXXXXX";
    const std::string folder = ::mkdtemp(tmpl);
    FileStore files;
    ASSERT_TRUE(log.SaveDebugLog(folder + "/qarn3.dbg", files));
    EXPECT_EQ(files.readAll(folder + "/qarn3.dbg").value_or(""),
              "… 2 older lines dropped\r\n3: c at: 0\r\n4: d at: 0\r\n5: e at: 0\r\n");
    std::filesystem::remove_all(folder);
}

// The status memos and the error list, each over its capped lines: the newest lines behind
// a line counting the dropped ones, no work while the window is hidden, caught up when shown.
class CappedView : public ::testing::TestWithParam<bool> {
protected:
    CappedView() {
        if (GetParam()) {
            auto* memo = new QPlainTextEdit(&window);
            view = std::make_unique<MemoLinesView>(memo, lines);
            rows = [memo] { return memo->toPlainText().split('\n'); };
        } else {
            auto* list = new QListWidget(&window);
            view = std::make_unique<ListLinesView>(list, lines);
            rows = [list] {
                QStringList r;
                for (int i = 0; i < list->count(); ++i)
                    r << list->item(i)->text();
                return r;
            };
        }
    }
    void add(int from, int to) {
        for (int i = from; i < to; ++i) {
            lines.add(std::to_string(i));
            view->sync();
        }
    }
    QWidget window;
    BoundedLines lines{4};
    std::unique_ptr<LinesView> view;
    std::function<QStringList()> rows;
};

TEST_P(CappedView, ShowsTheNewestLinesBehindTheDroppedCountAndWaitsWhileHidden) {
    window.show();
    add(0, 4);
    EXPECT_EQ(rows(), (QStringList{"0", "1", "2", "3"}));
    add(4, 6);
    EXPECT_EQ(rows(), (QStringList{"… 2 older lines dropped", "2", "3", "4", "5"}));
    window.hide();
    add(6, 9);
    EXPECT_EQ(rows().size(), 5); // hidden: left as it was
    window.show();
    view->sync();
    EXPECT_EQ(rows(), (QStringList{"… 5 older lines dropped", "5", "6", "7", "8"}));
    add(9, 10);
    EXPECT_EQ(rows(), (QStringList{"… 6 older lines dropped", "6", "7", "8", "9"}));
    lines.clear();
    add(0, 1);
    EXPECT_EQ(rows(), (QStringList{"0"}));
}

INSTANTIATE_TEST_SUITE_P(Widgets, CappedView, ::testing::Values(true, false),
                         [](const auto& p) { return p.param ? "Memo" : "List"; });

} // namespace
