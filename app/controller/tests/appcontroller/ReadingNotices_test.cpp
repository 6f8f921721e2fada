// What the overlay tells of a reading that left controls out, or of a window it cannot read.

#include "app/controller/tests/appcontroller/AppControllerFixture.h"

namespace ovra::controllertest {
namespace {

TEST_F(AppControllerTest, TheUserIsToldWhyControlsOrAWindowAreNotOffered) {
    // Two controls laid one over the other, and nothing to tell which one a person sees.
    controller().trigger();
    WindowSnapshot overlapping = window({"Before", "After"});
    overlapping.untoldOverlaps = 1;
    finishRead(worker_.reads.size() - 1, overlapping);
    EXPECT_EQ(controller().overlay().notice(),
              "Some controls here lie one over another, so they are left out: which one you see "
              "could not be told.");
    controller().dismiss();
    scheduler_.advance(1);

    // A reading without such a pair says nothing of it.
    open({"Save"});
    EXPECT_EQ(controller().overlay().notice().value_or(""), "");
    controller().dismiss();
    scheduler_.advance(1);

    // A dialog in front that the app does not show: a sentence instead of a plan.
    controller().trigger();
    finishRead(worker_.reads.size() - 1, fail(AXExtractorError::windowNotShown));
    const auto* message = controller().overlay().phase().message();
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(message->text, description(AXExtractorError::windowNotShown));
    controller().dismiss();
    scheduler_.advance(1);

    // A window its app's modal dialog keeps from use: the dialog is named.
    TargetApp waiting = app(1, "A");
    waiting.modalDialogs = {"Save changes?"};
    workspace_.front = waiting;
    controller().trigger();
    finishRead(worker_.reads.size() - 1, fail(AXExtractorError::blockedByDialog));
    message = controller().overlay().phase().message();
    ASSERT_NE(message, nullptr);
    EXPECT_EQ(message->text,
              "This app is waiting for “Save changes?” to be answered, so nothing can be pressed "
              "in this window.");
}

}  // namespace
}  // namespace ovra::controllertest
