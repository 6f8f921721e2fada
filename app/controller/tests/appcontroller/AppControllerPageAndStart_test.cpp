// The request controller over fake services and the manual scheduler: scrolling, find and
// auto-scan; every sentence the overlay says, corrections and the magnifier; start-up, the hotkey
// fallbacks, the permission poll and the click away.

#include "app/controller/tests/appcontroller/AppControllerFixture.h"

namespace ovra::controllertest {
namespace {

WindowSnapshot scrolling(WindowSnapshot s, double top) {
    s.scroll.emplace();
    s.scroll->signals.visible = Rect(0, 0, 800, 600);
    s.scroll->signals.document = Rect(0, top, 800, 1200);
    return s;
}

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

TEST_F(AppControllerTest, EverySentenceOfTheOverlay) {
    const auto query = [this](const char* text) {
        return [this, text] {
            controller().overlay().setQuery(text);
            scheduler_.advance(0.7);
        };
    };
    const auto scrollTo = [this](int code, const char* chars, double top) {
        return [this, code, chars, top] {
            press(key(code, chars));
            worker_.scrolls.back().second(Scroller::Method::scrollBar);
            scheduler_.advance(0.3);
            finishRead(worker_.reads.size() - 1, scrolling(window({"Save", "Cancel"}), top));
        };
    };
    struct Row {
        const char* name;
        std::function<void()> act;
        std::string said;  // the last sentence afterwards
    };
    AppController::Startup startup;
    startup.showDashboard = false;
    controller().start(startup);
    const Row rows[] = {
        {"find hotkey with no overlay",
         [this] {
             controller().findShortcutPressed();
             finishRead(0, window({"Save", "Cancel"}));
         },
         "Find. Type or say part of a name. 2 things you can do."},
        {"no match", query("zz"), "No matches"},
        {"one match", query("canc"), "1 match. Cancel, Button"},
        {"matches", query("a"), "2 matches. Save, Button"},
        {"find closed", [this] { press(kEscape); }, "Find closed. 1 of 2: Save, Button"},
        {"move", [this] { press(kRight); }, "2 of 2: Cancel, Button"},
        {"open",
         [this] {
             open({"Save", "Cancel"});
         },
         "Ovra: 2 choices. 1, Save, Button"},
        {"scroll to the end", scrollTo(121, "\uF72D", -600),
         "Scrolled down. 2 choices. End of the page."},
        {"scroll to the top", scrollTo(116, "\uF72C", 0),
         "Scrolled up. 2 choices. Top of the page."},
        {"pin", [this] { press(key(35, "p")); },
         "Saved: always highlight “Save” in A. Applies next time."},
        {"pin again", [this] { press(key(35, "p")); },
         "Removed your choice for “Save”. Applies next time."},
        {"mute", [this] { press(key(2, "d")); },
         "Saved: don't highlight “Save” in A. Applies next time."},
        {"pinned",
         [this] {
             open({"Weather", "Cancel"}), press(key(35, "p"));
             open({"Cancel", "Weather"}), press(key(19, "2"));
         },
         "2 of 2: Weather, Button, "},
        {"a distraction hidden",
         [this] {
             open({"Print", "Special deals"});
         },
         "Ovra: 1 choice, 1 distraction hidden. 1, Print, Button"},
        {"nothing to press", [this] { open({"Special deals"}); },
         "Ovra: nothing to press here. Press A to see everything."},
        {"unnamed", [this] { prefs_.set(keys::sidebar, true), open({""}), press(key(35, "p")); },
         "This control has no name to remember, so Ovra cannot save a choice for it."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        row.act();
        ASSERT_FALSE(announced_.empty());
        EXPECT_EQ(announced_.back(), row.said);
    }
    // Stored: the mute and the pin; nothing for the unnamed control, which beeped.
    EXPECT_THAT(prefs_.get(keys::overrides),
                ElementsAre(::testing::Pair("A|AXButton|save", "mute"),
                            ::testing::Pair("A|AXButton|weather", "pin")));
    EXPECT_EQ(beeps_, 1);
    // The why key shows the explanation and says it, then hides it and says nothing.
    const std::size_t said = announced_.size();
    press(key(13, "w"));
    EXPECT_EQ(controller().overlay().explainID(), controller().overlay().selectedItem()->id());
    EXPECT_EQ(announced_.back(), controller().overlay().selectedItem()->explanation);
    press(key(13, "w"));
    EXPECT_FALSE(controller().overlay().explainID());
    EXPECT_EQ(announced_.size(), said + 1);
    // An explanation or a notice belongs to the overlay it was given in: the next request,
    // even for the same controls, starts without them.
    press(key(13, "w"));
    controller().overlay().setNotice("Saved.");
    controller().dismiss();
    scheduler_.advance(1);
    open({"Cancel", "Weather"});
    EXPECT_FALSE(controller().overlay().explainID());
    EXPECT_FALSE(controller().overlay().notice());
}

TEST_F(AppControllerTest, TheAppSpeaksOnlyWhenAskedAndNoScreenReaderRuns) {
    for (const auto& [speak, reader, spoken] :
         {std::tuple{false, false, 0u}, {true, false, 1u}, {true, true, 0u}}) {
        engine_.spoken.clear();
        announced_.clear();
        prefs_.set(keys::speakFeedback, speak);
        screenReader_ = reader;
        open({"Save"});
        EXPECT_EQ(engine_.spoken.size(), spoken);
        EXPECT_EQ(announced_.size(), 1u);  // the screen reader's announcement, always
    }
}

TEST_F(AppControllerTest, StartInstallsEverythingInOrderAndFollowsTheSettings) {
    std::vector<std::string> events;
    hotkeys::FakeHotkeyGrabber grabber;
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
