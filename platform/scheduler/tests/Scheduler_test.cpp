#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "platform/scheduler/ManualScheduler.h"
#include "platform/scheduler/QtScheduler.h"

namespace ovra {
namespace {

TEST(ManualScheduler, RunsWorkInDueOrderIncludingWorkScheduledMeanwhile) {
    ManualScheduler clock;
    std::vector<std::string> ran;
    clock.after(0.3, [&] { ran.push_back("0.3"); });
    clock.after(0.1, [&] {
        ran.push_back("0.1");
        clock.after(0.1, [&] { ran.push_back("0.1+0.1"); });
    });
    clock.after(0.1, [&] { ran.push_back("0.1 second"); });
    clock.after(1.0, [&] { ran.push_back("1.0"); });
    clock.advance(0.5);
    EXPECT_EQ(ran, (std::vector<std::string>{"0.1", "0.1 second", "0.1+0.1", "0.3"}));
    EXPECT_DOUBLE_EQ(clock.now(), 0.5);
    EXPECT_EQ(clock.pending(), 1U);
}

TEST(ManualScheduler, RepeatsUntilCancelledAlsoFromInside) {
    ManualScheduler clock;
    int ticks = 0;
    Scheduler::Token token = 0;
    token = clock.every(1.0, [&] {
        if (++ticks == 3) {
            clock.cancel(token);
        }
    });
    clock.advance(10);
    EXPECT_EQ(ticks, 3);
    EXPECT_FALSE(clock.isPending(token));
    clock.cancel(token);  // finished tokens are ignored
    clock.cancel(0);
}

TEST(ManualScheduler, OddDelaysNeitherSpinNorWaitForever) {
    ManualScheduler clock;
    int now = 0;
    int ticks = 0;
    clock.after(std::nan(""), [&] { ++now; });
    clock.after(-5, [&] { ++now; });
    clock.every(0, [&] { ++ticks; });
    clock.runDue();
    EXPECT_EQ(now, 2);
    clock.advance(1.0);
    EXPECT_EQ(ticks, 100);  // the minimum interval, 10 ms
    EXPECT_DOUBLE_EQ(clampedDelay(std::numeric_limits<double>::infinity()), 2'000'000.0);
}

TEST(QtScheduler, RunsOneShotAndRepeatingWorkOnTheEventLoop) {
    QtScheduler scheduler;
    int once = 0;
    int ticks = 0;
    bool cancelledRan = false;
    Scheduler::Token repeating = 0;
    scheduler.after(0.01, [&] { ++once; });
    const auto cancelled = scheduler.after(0.01, [&] { cancelledRan = true; });
    scheduler.cancel(cancelled);
    repeating = scheduler.every(0.01, [&] {
        if (++ticks == 3) {
            scheduler.cancel(repeating);
        }
    });
    QElapsedTimer waited;
    waited.start();
    while ((once == 0 || ticks < 3) && waited.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(once, 1);
    EXPECT_EQ(ticks, 3);
    EXPECT_FALSE(cancelledRan);
    EXPECT_GT(scheduler.now(), 0.0);
}

}  // namespace
}  // namespace ovra
