// Start-up of a copy that does not yet know whether another copy runs: it shows itself at once,
// and the updater, the hotkeys and the model wait until it knows it is the only one.

#include "app/controller/tests/appcontroller/AppControllerFixture.h"

namespace ovra::controllertest {
namespace {

using ::testing::Contains;
using ::testing::IsEmpty;

TEST_F(AppControllerTest, WhatWritesWaitsUntilTheCopyKnowsItIsTheOnlyOne) {
    for (const bool alone : {true, false}) {
        SCOPED_TRACE(alone ? "the only copy" : "a second copy");
        controller_.reset();
        model_.runs.clear();
        hotkeys::FakeHotkeyGrabber grabber;
        std::vector<std::string> events;
        std::function<void()> layoutChanged;
        std::vector<std::function<void()>> held;
        AppController::Startup startup;
        startup.hotkeys = &grabber;
        startup.startUpdater = [&] { events.push_back("updater"); };
        startup.installHome = [&] { events.push_back("home"); };
        startup.watchLayout = [&](auto changed) { layoutChanged = changed; };
        startup.whenSole = [&](std::function<void()> work) { held.push_back(std::move(work)); };
        controller().start(startup);

        // Nothing that writes, not even when the settings it follows change meanwhile.
        prefs_.set(keys::model, alone ? VornModel::multilingual : VornModel::english);
        prefs_.set(keys::findShortcut, !alone);
        layoutChanged();
        scheduler_.runDue();
        EXPECT_THAT(events, ElementsAre("home"));
        EXPECT_THAT(model_.runs, IsEmpty());
        EXPECT_TRUE(grabber.grabbed().empty());
        EXPECT_THAT(dashboards_, Contains(OvraPane::home));
        ASSERT_EQ(held.size(), 1U);

        if (alone) {
            held.front()();
            held.front()();  // told twice: started once
            EXPECT_THAT(events, ElementsAre("home", "updater"));
            // With the settings of that moment.
            EXPECT_THAT(model_.runs, ElementsAre("start murmlark-ovra/multi"));
            EXPECT_EQ(grabber.grabbed().size(), 1U);  // the main hotkey; find is off
        } else {
            // Told only after the copy has handed over and its controller has gone.
            controller_.reset();
            held.front()();
            EXPECT_THAT(events, ElementsAre("home"));
            EXPECT_TRUE(model_.runs.empty() && grabber.grabbed().empty());
        }
    }
}

}  // namespace
}  // namespace ovra::controllertest
