// The watch on the open overlay's app: it tells once, within a quarter of a second, that the
// app has gone, and never after the watch has ended or moved to another app.

#include "app/controller/TargetWatch.h"

#include "app/controller/tests/appcontroller/AppControllerFixture.h"

namespace ovra::controllertest {
namespace {

TEST(TargetWatch, TellsOnceWithinAnIntervalThatTheWatchedAppHasGone) {
    ManualScheduler scheduler;
    FakeWorkspace workspace;
    std::vector<std::string> told;
    TargetWatch watch(scheduler, workspace,
                      [&](const TargetApp& gone) { told.push_back(TargetWatch::sentence(gone)); });
    watch.watch(app(1, "A"));
    watch.watch(app(3, ""));  // in place of A
    scheduler.advance(10 * TargetWatch::kInterval);
    workspace.gone = {0, 1, 2, 3, kOwnPid};
    EXPECT_TRUE(told.empty());
    scheduler.advance(TargetWatch::kInterval);
    EXPECT_THAT(told, ElementsAre("The app has closed, so Ovra closed. Nothing was pressed."));
    EXPECT_FALSE(watch.watching());
    watch.watch(app(2, "B"));
    watch.stop();
    scheduler.advance(10 * TargetWatch::kInterval);
    EXPECT_EQ(told.size(), 1u);

    // Only a known process of another app can go; without a shown name the process's is said.
    EXPECT_TRUE(watch.gone(app(1, "A")));
    EXPECT_FALSE(watch.gone(app(4, "still runs")));
    EXPECT_FALSE(watch.gone(app(0, "no process")));
    EXPECT_FALSE(watch.gone(app(kOwnPid, "this app")));
    TargetApp notes = app(5, "");
    notes.processName = "notes";
    EXPECT_EQ(TargetWatch::sentence(notes),
              "notes has closed, so Ovra closed. Nothing was pressed.");
}

}  // namespace
}  // namespace ovra::controllertest
