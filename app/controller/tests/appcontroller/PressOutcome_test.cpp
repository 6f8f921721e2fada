// What the user is shown after a press the app did not answer, or whose app has gone.

#include "app/controller/tests/appcontroller/AppControllerFixture.h"

namespace ovra::controllertest {
namespace {

TEST_F(AppControllerTest, AnUnansweredPressIsSaidOnceAndAGoneAppIsSaidOverTheScreen) {
    const std::string stopped = "This app is not responding. Try again once it answers.";
    open({"Save changes"});
    press(kReturn);
    scheduler_.advance(0.1);
    ASSERT_EQ(worker_.presses.size(), 1u);
    // The window read again does not answer either: the reason is said once.
    worker_.presses.back().second({std::nullopt, PressFailure::notResponding});
    finishRead(worker_.reads.size() - 1, fail(AXExtractorError::notResponding));
    EXPECT_EQ(controller().overlay().phase(), OverlayPhase::message(stopped));
    EXPECT_EQ(prefs_.get(keys::ovrasPressed), 0);
    controller().dismiss();
    scheduler_.advance(1);

    open({"Save changes"});
    press(kReturn);
    scheduler_.advance(0.1);
    ASSERT_EQ(worker_.presses.size(), 2u);
    workspace_.gone = {1};
    const std::size_t reads = worker_.reads.size();
    worker_.presses.back().second({std::nullopt, PressFailure::appClosed});
    EXPECT_EQ(worker_.reads.size(), reads);  // nothing left to read
    EXPECT_EQ(controller().overlay().phase(),
              OverlayPhase::message("The app has closed, so nothing was pressed."));
    EXPECT_TRUE(overlay_->shown);
    EXPECT_EQ(log_.back(), "Ovra could not press \"Save changes\": the app has closed");
    EXPECT_EQ(prefs_.get(keys::ovrasPressed), 0);
}

}  // namespace
}  // namespace ovra::controllertest
