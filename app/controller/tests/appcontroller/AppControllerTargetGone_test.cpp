// The app of the open overlay quits or is killed: the overlay closes at once and says so, over
// its plan or while its window is read; a reading that arrives after the app went is never shown
// as a plan. An overlay closed before the app went says nothing.

#include "app/controller/tests/appcontroller/AppControllerFixture.h"

namespace ovra::controllertest {
namespace {

TEST_F(AppControllerTest, AnAppThatQuitsClosesItsOverlayAndSaysSo) {
    const std::string told = "A has closed, so Ovra closed. Nothing was pressed.";
    for (const bool loading : {false, true}) {
        SCOPED_TRACE(loading ? "while the window is read" : "over the plan");
        workspace_.gone.clear();
        controller().trigger();
        if (!loading) {
            finishRead(worker_.reads.size() - 1, window({"Save changes"}));
        }
        announced_.clear(), log_.clear();
        workspace_.gone.push_back(1);
        scheduler_.advance(TargetWatch::kInterval);
        EXPECT_FALSE(controller().overlay().islandOpen());
        scheduler_.advance(1);
        EXPECT_FALSE(overlay_->shown);
        EXPECT_THAT(announced_, ElementsAre(told));
        EXPECT_THAT(log_, ElementsAre("Ovra message: " + told));
        EXPECT_EQ(worker_.reads.back().stop.stop_requested(), loading);
        finishRead(worker_.reads.size() - 1, window({"Late"}));  // dropped
        EXPECT_FALSE(overlay_->shown);
    }

    // Killed while read: the reading that comes back before the next check is no plan.
    workspace_.gone.clear();
    controller().trigger();
    announced_.clear();
    workspace_.gone.push_back(1);
    finishRead(worker_.reads.size() - 1, window({"Save changes"}));
    EXPECT_FALSE(controller().snapshot());
    EXPECT_FALSE(controller().overlay().phase().plan());
    EXPECT_THAT(announced_, ElementsAre(told));

    // Closed first: the app quitting later says nothing.
    workspace_.gone.clear();
    open({"Save changes"});
    press(kEscape);
    workspace_.gone.push_back(1);
    announced_.clear();
    scheduler_.advance(2);
    EXPECT_TRUE(announced_.empty());
    EXPECT_TRUE(worker_.presses.empty());
}

// A reading that lost its app partway, or an app the bus does not know, says why instead of
// showing a plan or "no window".
TEST_F(AppControllerTest, AReadingThatLostItsAppIsNoPlan) {
    for (const AXExtractorError error : {AXExtractorError::appLost, AXExtractorError::notOnBus}) {
        controller().trigger();
        finishRead(worker_.reads.size() - 1, fail(error));
        EXPECT_EQ(controller().overlay().phase(), OverlayPhase::message(description(error)));
        EXPECT_FALSE(controller().snapshot());
    }
}

}  // namespace
}  // namespace ovra::controllertest
