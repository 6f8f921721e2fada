// Start-up: what it installs and in which order, the settings it follows, the settings window
// stepping back, and the one-time tips.

#include "app/controller/tests/appcontroller/AppControllerFixture.h"

namespace ovra::controllertest {
namespace {

TEST_F(AppControllerTest, StartInstallsEverythingInOrderAndFollowsTheSettings) {
    std::vector<std::string> events;
    hotkeys::FakeHotkeyGrabber& grabber = grabber_;
    FakeWindows windows;
    std::function<void()> layoutChanged, bubbleClick;
    std::function<std::optional<Point>(const Rect&)> landing;
    AppController::Startup startup;
    startup.hotkeys = &grabber;
    startup.windows = &windows;
    startup.startUpdater = [&] { events.push_back("updater"); };
    startup.installHome = [&] { events.push_back("home"); };
    startup.installBubble = [&](auto land, auto click) {
        events.push_back("bubble");
        landing = land, bubbleClick = click;
    };
    startup.refreshBubble = [&] { events.push_back("refresh"); };
    startup.menuBarLanding = [](const Rect& r) { return std::optional(Point{r.midX(), 0}); };
    startup.watchLayout = [&](auto changed) {
        events.push_back("layout"), layoutChanged = changed;
    };
    startup.watchClicks = [&](auto) { events.push_back("clicks"); };
    startup.checkTrust = [this](auto answer) { trustAsks_.push_back(answer); };
    controller().start(startup);
    EXPECT_THAT(events, ElementsAre("updater", "home", "bubble", "layout", "clicks"));
    EXPECT_THAT(model_.runs, ElementsAre("start murmlark-ovra/en"));
    EXPECT_EQ(trustAsks_.size(), 1u);
    EXPECT_THAT(windows.looks, ElementsAre(std::nullopt));
    EXPECT_EQ(grabber.grabbed().size(), 2u);  // main and find
    EXPECT_TRUE(dashboards_.empty());
    scheduler_.runDue();
    EXPECT_THAT(dashboards_, ElementsAre(OvraPane::home));  // queued

    EXPECT_EQ(landing(Rect(10, 500, 80, 80)), (Point{50, 0}));
    bubbleClick();
    EXPECT_TRUE(overlay_->shown);
    prefs_.set(keys::bubbleSize, OvraButtonSize::standard);
    prefs_.set(keys::model, VornModel::multilingual);
    prefs_.set(keys::useModel, false);
    prefs_.set(keys::appearance, OvraAppearance::dark);
    prefs_.set(keys::findShortcut, false);
    scheduler_.runDue();
    EXPECT_EQ(events.back(), "refresh");
    EXPECT_THAT(model_.runs,
                ElementsAre("start murmlark-ovra/en", "stop", "start murmlark-ovra/multi"));
    EXPECT_EQ(windows.looks.back(), true);
    EXPECT_EQ(grabber.grabbed().count(2), 0u);
    prefs_.set(keys::findShortcut, true);
    scheduler_.runDue();
    grabber.release(2);
    layoutChanged();  // the find hotkey follows the layout
    EXPECT_EQ(grabber.grabbed().count(2), 1u);
    controller_.reset();
}

TEST_F(AppControllerTest, TheSettingsWindowStepsBackOnlyForClicksAwayAndOtherApps) {
    FakeWindows windows;
    std::function<void(Point)> click;
    int otherApps = 0;
    AppController::Startup startup;
    startup.windows = &windows;
    startup.watchClicks = [&](auto pressed) { click = pressed; };
    startup.otherAppActivated = [&] { ++otherApps; };
    controller().start(startup);
    click({500, 500});  // no settings window showing
    windows.shown = true;
    click({50, 50});  // inside a window of the app
    EXPECT_EQ(windows.sentBack, 0);
    click({500, 500});
    EXPECT_EQ(windows.sentBack, 1);
    controller().frontmostChanged(app(kOwnPid, "murmlark-ovra"));
    EXPECT_EQ(windows.sentBack + otherApps, 1);
    controller().frontmostChanged(app(7, "Notes"));
    EXPECT_EQ(windows.sentBack + otherApps, 3);
}

TEST_F(AppControllerTest, EachTipWaitsForTheNextOverlayAndIsShownOnce) {
    int flights = 0;
    AppController::Startup startup;
    startup.flyBubble = [&] { ++flights; };
    startup.showDashboard = false;
    controller().start(startup);
    const auto notice = [this] {
        finishRead(worker_.reads.size() - 1, window({"Save"}));
        auto shown = controller().overlay().notice();
        controller().dismiss();
        scheduler_.advance(1);
        return shown.value_or("");
    };
    controller().ovraButtonPressed();
    EXPECT_EQ(notice(), "Tip: click the bird in the system tray for Settings.");
    EXPECT_EQ(defaults_.object("ovraButtonTipShown"), Json(true));
    controller().ovraButtonPressed();
    EXPECT_EQ(notice(), "");
    EXPECT_EQ(flights, 1);
    controller().birdSimplify();
    EXPECT_EQ(notice(), "Tip: right-click the bird in the system tray for Settings.");
    controller().birdSimplify();
    EXPECT_EQ(notice(), "");
}

}  // namespace
}  // namespace ovra::controllertest
