// The permission poll: its answers at start and later, and what a grant shows and says.

#include "app/controller/tests/appcontroller/AppControllerFixture.h"

namespace ovra::controllertest {
namespace {

TEST_F(AppControllerTest, ThePermissionPollAnnouncesOnlyAGrant) {
    FakeWindows windows;
    AppController::Startup startup;
    startup.windows = &windows;
    startup.showDashboard = false;
    startup.checkTrust = [this](auto answer) { trustAsks_.push_back(answer); };
    controller().setTrusted(false);
    controller().start(startup);
    trustAsks_.at(0)(false);
    scheduler_.advance(1);
    scheduler_.advance(1);
    ASSERT_EQ(trustAsks_.size(), 2u);  // one question at a time
    const std::string ready =
        "Accessibility access is on. You're ready: press Alt Space in any app.";
    for (const bool answer : {true, false, true}) {
        trustAsks_.back()(answer);
        EXPECT_EQ(controller().trusted(), answer);
        scheduler_.advance(1);
    }
    // Each grant, never the loss; a grant after a loss says that apps may need a restart.
    const std::string again =
        "Accessibility access is on again. Apps that were open before it went may need a restart "
        "before Ovra can read them. Press Alt Space in any app.";
    EXPECT_THAT(windows.said, ElementsAre(ready, again));
    EXPECT_THAT(notes_, ElementsAre(ready, again));
    EXPECT_THAT(dashboards_, ElementsAre(OvraPane::home, OvraPane::home));
    // "--pretend-untrusted": never trusted, never announced.
    controller_.reset();
    startup.pretendUntrusted = true;
    controller().setTrusted(false);
    controller().start(startup);
    for (int i = 0; i < 3; ++i) {
        trustAsks_.back()(true);
        scheduler_.advance(1);
    }
    EXPECT_FALSE(controller().trusted());
    EXPECT_EQ(windows.said.size(), 2u);
}

}  // namespace
}  // namespace ovra::controllertest
