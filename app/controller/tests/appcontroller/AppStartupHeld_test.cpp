// Start-up of a copy that does not yet know whether another copy runs: it shows itself at once,
// and the updater, the hotkeys and the model wait until it knows it is the only one.

#include "app/controller/tests/appcontroller/AppControllerFixture.h"

namespace ovra::controllertest {
namespace {

TEST_F(AppControllerTest, WhatWritesWaitsUntilTheCopyKnowsItIsTheOnlyOne) {
    hotkeys::FakeHotkeyGrabber& grabber = grabber_;
    std::vector<std::string> events;
    std::function<void()> layoutChanged, held;
    AppController::Startup startup;
    startup.hotkeys = &grabber;
    startup.startUpdater = [&] { events.push_back("updater"); };
    startup.installHome = [&] { events.push_back("home"); };
    startup.watchLayout = [&](auto changed) { layoutChanged = changed; };
    startup.whenSole = [&](std::function<void()> work) { held = std::move(work); };
    controller().start(startup);
    // Nothing that writes, not even as the settings it follows change meanwhile.
    prefs_.set(keys::model, VornModel::multilingual);
    prefs_.set(keys::findShortcut, false);
    layoutChanged();
    scheduler_.runDue();
    EXPECT_THAT(events, ElementsAre("home"));
    EXPECT_TRUE(model_.runs.empty() && grabber.grabbed().empty());

    held();
    held();  // told twice: started once, on the settings of that moment
    EXPECT_THAT(events, ElementsAre("home", "updater"));
    EXPECT_THAT(model_.runs, ElementsAre("start murmlark-ovra/multi"));
    EXPECT_EQ(grabber.grabbed().size(), 1U);  // the main hotkey; find is off
}

}  // namespace
}  // namespace ovra::controllertest
