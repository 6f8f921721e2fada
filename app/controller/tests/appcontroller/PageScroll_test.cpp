// Scrolling the page under the open overlay: the keys gathered while a scroll runs, the one
// reading after the last, and what a scroll that moved nothing does.

#include "app/controller/tests/appcontroller/AppControllerFixture.h"

namespace ovra::controllertest {
namespace {

TEST_F(AppControllerTest, ScrollKeysAllMoveThePageWhichIsReadOnceAfterTheLast) {
    open({"Save", "Cancel"});
    const auto scrolled = [this](ScrollOutcome outcome) { worker_.scrolls.back().second(outcome); };
    // From the key on, the rings no longer show the page: a press beeps, wheel turns reach it.
    press(key(38, "j"));
    press(kReturn);
    EXPECT_TRUE(controller().overlay().stale() && overlay_->transparent && beeps_ == 1);
    // Keys taken while a scroll runs go with the next one; the same key adds a step.
    for (const KeyInput& k : {key(38, "j"), key(38, "j"), key(121, "\uF72D")}) {
        press(k);
    }
    scrolled(Scroller::Method::wheel);
    EXPECT_EQ(worker_.scrolls.back().first.count, 2);
    scrolled(Scroller::Method::wheel);
    EXPECT_EQ(worker_.scrolls.back().first.step, ScrollStep::page);
    scrolled(Scroller::Method::wheel);
    EXPECT_EQ(std::count(log_.begin(), log_.end(), "Ovra scroll: down, small, by scroll wheel"), 3);
    scheduler_.advance(0.29);
    EXPECT_TRUE(overlay_->transparent && worker_.reads.size() == 1u);
    scheduler_.advance(0.01);  // 0.3 s after the last
    // A key during that re-read: it saw the page before the key, and is dropped.
    press(key(38, "j"));
    EXPECT_TRUE(worker_.reads.at(1).stop.stop_requested());
    scrolled(Scroller::Method::wheel);
    scheduler_.advance(0.3);
    finishRead(2, scrolling(window({"Next", "Back"}), -600));
    EXPECT_FALSE(controller().overlay().stale() || overlay_->transparent);
    EXPECT_EQ(overlay_->calls.back(), "backdrop");
    EXPECT_EQ(announced_.back(), "Scrolled down. 2 choices. End of the page.");
    // Nothing could be scrolled: a beep, and the page is not read again.
    press(key(40, "k"));
    scrolled(std::nullopt);
    scheduler_.advance(1);
    EXPECT_EQ(beeps_, 2);
    EXPECT_EQ(worker_.reads.size(), 3u);
    EXPECT_FALSE(controller().overlay().stale() || overlay_->transparent);
    EXPECT_EQ(log_.back(), "Ovra scroll: up, small, by nothing");
}

}  // namespace
}  // namespace ovra::controllertest
