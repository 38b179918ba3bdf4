#include "diag/busywindow.h"
#include "diag/qtwaits.h"
#include "locale_fixture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <iostream>

#include <vector>

using namespace qarn3;

namespace {

struct RecordingBusy : BusyView {
    std::vector<std::string> texts;
    void setRemainingText(const std::string& text) override { texts.push_back(text); }
};

TEST(BusyWait, LastsAtLeastItsLengthAndTimersKeepTicking) {
    QtWaits waits;
    int ticks = 0;
    QTimer timer;
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start();
    QElapsedTimer clock;
    clock.start();
    waits.BusyWait(100);
    EXPECT_GE(clock.elapsed(), 100);
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_GE(ticks, 2);
}

TEST(BusyWait, WritesTheRemainingSecondsIntoTheIdleBusyWindow) {
    QtWaits waits;
    RecordingBusy busy;
    waits.setIdleBusyWindow(&busy);
    waits.BusyWait(150);
    ASSERT_FALSE(busy.texts.empty());
    EXPECT_EQ(busy.texts.front().size(), 4u);
    EXPECT_EQ(busy.texts.front().substr(0, 3), " 0.");
}

TEST(BusyWaitShown, ShowsAWindowSizedForItsCaptionThenNoWindowIsWritten) {
    struct Factory : BusyWindowFactory {
        int width = 0;
        std::string caption;
        RecordingBusy* last = nullptr;
        std::unique_ptr<BusyView> createShown(const std::string& c, int w) override {
            caption = c;
            width = w;
            auto v = std::make_unique<RecordingBusy>();
            last = v.get();
            return v;
        }
    } factory;
    QtWaits waits(&factory);
    RecordingBusy idle;
    waits.setIdleBusyWindow(&idle);
    EXPECT_EQ(waits.BusyWaitShown(50, "Wait 4 Seconds"), 0);
    EXPECT_EQ(factory.caption, "Wait 4 Seconds");
    EXPECT_EQ(factory.width, 222);
    waits.BusyWait(30);
    EXPECT_TRUE(idle.texts.empty());
    EXPECT_EQ(busyWindowWidth("x"), 220);
}

TEST(BusyWaitShown, RealWindowCountsDown) {
    QtBusyWindowFactory factory;
    auto view = factory.createShown("Wait 4 Seconds", busyWindowWidth("Wait 4 Seconds"));
    auto* window = dynamic_cast<TfmDelay*>(view.get());
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->width(), 222);
    EXPECT_EQ(window->windowTitle(), "Wait 4 Seconds");
    window->setRemainingText(busyRemainingText(4.0));
    EXPECT_EQ(window->remainingText(), " 4.0");
    window->setRemainingText(busyRemainingText(0.0));
    EXPECT_EQ(window->remainingText(), " 0.0");
}

TEST(TimerWait, NestedWaitReturnsAtOnce) {
    QtWaits waits;
    qint64 innerMs = -1;
    QTimer::singleShot(0, [&] {
        EXPECT_TRUE(waits.WaitActive());
        QElapsedTimer inner;
        inner.start();
        waits.TimerWait(100);
        innerMs = inner.elapsed();
    });
    QElapsedTimer clock;
    clock.start();
    waits.TimerWait(300);
    EXPECT_GE(clock.elapsed(), 250);
    EXPECT_GE(innerMs, 0);
    EXPECT_LT(innerMs, 50);
    EXPECT_FALSE(waits.WaitActive());
}

TEST(TimerWait, ZeroDoesNotWaitForATick) {
    QtWaits waits;
    QElapsedTimer clock;
    clock.start();
    waits.TimerWait(0);
    EXPECT_LT(clock.elapsed(), 50);
}

TEST(TimerWait, FiftyMillisecondsLastsOneTickAndShowsRemaining) {
    QtWaits waits;
    RecordingBusy busy;
    waits.setIdleBusyWindow(&busy);
    waits.TimerWait(300);
    EXPECT_EQ(busy.texts, (std::vector<std::string>{"0.3", "0.2", "0.1"}));
    busy.texts.clear();
    waits.TimerWait(50);
    EXPECT_EQ(busy.texts, (std::vector<std::string>{"0.05"}));
}

TEST(Waits, SecondsUseTheProgramSeparatorWhateverTheProcessLocale) {
    test::CommaNumericLocale comma;
    EXPECT_EQ(busyRemainingText(3.2), " 3.2");
    EXPECT_EQ(busyRemainingText(4.0, ','), " 4,0");
    QtWaits waits;
    waits.setDecimalSeparator(',');
    RecordingBusy busy;
    waits.setIdleBusyWindow(&busy);
    waits.TimerWait(200);
    EXPECT_EQ(busy.texts, (std::vector<std::string>{"0,2", "0,1"}));
    busy.texts.clear();
    waits.BusyWait(30);
    ASSERT_FALSE(busy.texts.empty());
    EXPECT_EQ(busy.texts.front().substr(0, 3), " 0,");
    if (!comma.active()) std::cout << "note: no locale with a decimal comma installed\n";
}

} // namespace
