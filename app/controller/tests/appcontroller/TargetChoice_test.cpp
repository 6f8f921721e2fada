// Which app a request reads: the app in front, the last other app when this one or none is in
// front, and a window whose process is unknown.

#include "app/controller/tests/appcontroller/AppControllerFixture.h"

namespace ovra::controllertest {
namespace {

TEST_F(AppControllerTest, WithItsOwnWindowOrNoneInFrontItTurnsToTheLastAppWhileItRuns) {
    for (const auto& [lastRuns, noneInFront] :
         {std::pair{true, false}, {false, false}, {true, true}, {false, true}}) {
        SCOPED_TRACE(testing::Message() << lastRuns << noneInFront);
        workspace_ = {};
        worker_.reads.clear();
        controller().frontmostChanged(app(kOwnPid, "murmlark-ovra"));  // not an app of its own
        controller().frontmostChanged(app(3, "Notes"));
        workspace_.front = app(kOwnPid, "murmlark-ovra");
        if (noneInFront) {
            workspace_.front.reset();
        }
        if (!lastRuns) {
            workspace_.gone = {3};
        }
        controller().trigger();
        scheduler_.advance(0.34);
        EXPECT_TRUE(worker_.reads.empty());
        scheduler_.advance(0.01);
        if (lastRuns) {
            EXPECT_THAT(workspace_.activated, ElementsAre("Notes"));
            ASSERT_EQ(worker_.reads.size(), 1u);
            EXPECT_EQ(worker_.reads[0].request.target.pid, 3);
        } else {
            EXPECT_TRUE(workspace_.activated.empty() && worker_.reads.empty());
            EXPECT_EQ(controller().overlay().phase(),
                      OverlayPhase::message(
                          "Switch to the app you want to simplify, then press Alt Space."));
            EXPECT_TRUE(overlay_->shown);
        }
        controller().dismiss();
        scheduler_.advance(1);
    }
}

TEST_F(AppControllerTest, AWindowWithoutAProcessIsReadByItsWindowOrNotAtAll) {
    controller().frontmostChanged(app(3, "Notes"));
    for (const std::optional<std::int64_t> matched : {std::optional<std::int64_t>(), {8}}) {
        controller().frontmostChanged(*(workspace_.front = app(0, "Xmessage")));
        controller().trigger();
        scheduler_.advance(1);
        ASSERT_EQ(worker_.matches.size(), 1u);
        EXPECT_TRUE(worker_.reads.empty() && (overlay_ == nullptr || !overlay_->shown));
        std::exchange(worker_.matches, {})[0](matched);
        EXPECT_TRUE(workspace_.activated.empty());
        ASSERT_EQ(worker_.reads.size(), matched ? 1u : 0u);
        if (matched) {
            EXPECT_EQ(worker_.reads[0].request.target.pid, 8);
            EXPECT_EQ(controller().overlay().phase(), OverlayPhase::loading("Xmessage"));
        }
    }
}

}  // namespace
}  // namespace ovra::controllertest
