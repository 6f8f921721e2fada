// The magnifier following the open overlay's selection, and its one tip.

#include "app/controller/tests/appcontroller/AppControllerFixture.h"

namespace ovra::controllertest {
namespace {

TEST_F(AppControllerTest, TheMagnifierFollowsOnceTheSelectionRestsAndTipsOnce) {
    magnifier::RecordingMagnifier magnifier;
    magnifier.on = true;
    AppController::Startup startup;
    startup.magnifier = &magnifier;
    controller().start(startup);
    open({"Save", "Print", "Share", "Export", "Help"});
    const std::string tip = *controller().overlay().notice();
    EXPECT_THAT(tip, ::testing::StartsWith("The magnifier is on but does not follow"));
    EXPECT_THAT(announced_.back(), ::testing::EndsWith(". " + tip));  // after the opening
    scheduler_.advance(0.05);
    ASSERT_EQ(magnifier.moves.size(), 1u);
    EXPECT_EQ(magnifier.moves[0], Rect(88, 48, 224, 64));  // the control and a margin
    for (int i = 0; i < 4; ++i) {
        press(kRight);
        scheduler_.advance(0.03);
    }
    EXPECT_EQ(magnifier.moves.size(), 1u);
    scheduler_.advance(0.01);
    EXPECT_EQ(magnifier.moves.size(), 2u);
    controller().overlay().setNotice("x");  // a change that keeps the selection
    scheduler_.advance(1);
    EXPECT_EQ(magnifier.moves.size(), 2u);
    open({"Save"});  // the tip once per process
    EXPECT_FALSE(controller().overlay().notice());
    scheduler_.advance(0.05);
    magnifier.on = false;
    press(kRight);
    scheduler_.advance(1);
    EXPECT_EQ(magnifier.moves.size(), 3u);  // the new reading's first selection only
}

}  // namespace
}  // namespace ovra::controllertest
