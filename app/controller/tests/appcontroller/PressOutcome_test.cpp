// What the user is shown after a press the app did not answer, whose app has gone, that may have
// landed, or whose control answered it with a new label.

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

// A control that relabelled itself as it was pressed (Play to Pause) counts as pressed and
// says nothing. A press that may have landed (the control took a risky label) is said over the
// screen alone: the page is not read again, no plan and so no control lies under the next Return,
// nothing counts, and Escape hands the keyboard back to the app; an overlay the user opened
// meanwhile gives way to it, its reading dropped.
TEST_F(AppControllerTest, APressThatMayHaveLandedIsSaidAloneWithNothingUnderTheNextReturn) {
    const std::string told =
        "The control changed as it was pressed. Look at the page before pressing it again.";
    open({"Play"});
    press(kReturn);
    scheduler_.advance(0.1);
    ASSERT_EQ(worker_.presses.size(), 1u);
    PressOutcome answered{PressRoute::pressed, std::nullopt, false, {}, "it relabelled itself"};
    answered.relabelled = "Pause";
    worker_.presses.back().second(answered);
    EXPECT_EQ(prefs_.get(keys::ovrasPressed), 1);
    EXPECT_EQ(log_.back(), "Ovra pressed \"Play\": pressed, it relabelled itself \"Pause\"");
    scheduler_.advance(1);
    EXPECT_FALSE(overlay_->shown);
    EXPECT_EQ(beeps_, 0);

    PressOutcome unsure{std::nullopt, PressFailure::unsure, false, {}, "it shows another label"};
    unsure.relabelled = "Delete forever";
    for (const bool reopened : {false, true}) {
        SCOPED_TRACE(reopened ? "over an overlay opened meanwhile" : "after the close");
        open({"Archive"});
        press(kReturn);
        scheduler_.advance(0.1);
        const std::size_t presses = worker_.presses.size();
        if (reopened) {
            controller().trigger();
        }
        const std::size_t reads = worker_.reads.size();
        worker_.presses.back().second(unsure);
        EXPECT_EQ(worker_.reads.size(), reads) << "the page read again";
        if (reopened) {
            EXPECT_TRUE(worker_.reads.back().stop.stop_requested());
            finishRead(worker_.reads.size() - 1, window({"Archive"}));  // dropped
        }
        EXPECT_EQ(controller().overlay().phase(), OverlayPhase::message(told));
        EXPECT_FALSE(controller().overlay().selectedItem().has_value());
        EXPECT_TRUE(overlay_->shown);
        EXPECT_EQ(announced_.back(), told);
        press(kReturn);
        scheduler_.advance(0.1);
        EXPECT_EQ(worker_.presses.size(), presses) << "a control lay under the next Return";
        workspace_.activated.clear();
        press(kEscape);
        scheduler_.advance(1);
        EXPECT_FALSE(overlay_->shown);
        EXPECT_THAT(workspace_.activated, ElementsAre("A"));
    }
    EXPECT_EQ(beeps_, 2);
    EXPECT_EQ(prefs_.get(keys::ovrasPressed), 1);
}

// A press refused before it acted because a modal dialog of the app waits for an answer: the
// dialog is named, once, over the window read again (which offers nothing either); nothing
// counts. One refused because the window in front could not be told says so, naming its control.
TEST_F(AppControllerTest, APressRefusedForTheWindowInFrontSaysWhy) {
    const std::string waits =
        "This app is waiting for “Save changes?” to be answered, so nothing can be pressed in "
        "this window.";
    TargetApp notes = app(1, "A");
    notes.modalDialogs = {"Save changes?"};
    workspace_.front = notes;
    open({"Refresh"});
    press(kReturn);
    scheduler_.advance(0.1);
    ASSERT_EQ(worker_.presses.size(), 1u);
    worker_.presses.back().second({std::nullopt, PressFailure::waitsForDialog});
    EXPECT_THAT(log_, ::testing::Contains(
                          "Ovra did not press \"Refresh\": a dialog of the app waits for an "
                          "answer"));
    finishRead(worker_.reads.size() - 1, fail(AXExtractorError::blockedByDialog));
    EXPECT_EQ(controller().overlay().phase(), OverlayPhase::message(waits));
    EXPECT_EQ(prefs_.get(keys::ovrasPressed), 0);
    controller().dismiss();
    scheduler_.advance(1);

    open({"Apply"});
    press(kReturn);
    scheduler_.advance(0.1);
    ASSERT_EQ(worker_.presses.size(), 2u);
    worker_.presses.back().second({std::nullopt, PressFailure::notInFront});
    // Named over the window read again, whose first control is another.
    finishRead(worker_.reads.size() - 1, window({"Close", "Apply"}));
    EXPECT_EQ(controller().overlay().notice(),
              "“Apply”: Ovra could not tell which of this app's windows is in front, so nothing "
              "was pressed.");
    EXPECT_EQ(prefs_.get(keys::ovrasPressed), 0);
}

}  // namespace
}  // namespace ovra::controllertest
