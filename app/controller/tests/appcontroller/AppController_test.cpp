// The request controller over fake services and the manual scheduler: requests that finish out
// of order, empty windows, reading budgets, the model's paths, every key of the overlay, the
// second press of risky controls, the press after the close and what its outcome shows, a window
// that takes the keyboard, and when the app speaks.

#include "app/controller/tests/appcontroller/AppControllerFixture.h"

namespace ovra::controllertest {
namespace {

TEST_F(AppControllerTest, OnlyTheNewestRequestPlansWhateverOrderTheAnswersCome) {
    model_.ready = true;
    controller().trigger();
    workspace_.front = app(2, "B");
    controller().trigger();
    ASSERT_EQ(worker_.reads.size(), 2u);
    EXPECT_TRUE(worker_.reads[0].stop.stop_requested());  // the first reading may end early
    finishRead(0, window({"Old"}, "A"));
    EXPECT_FALSE(controller().snapshot()) << "a superseded reading is dropped";
    finishRead(1, window({"Save changes", "Delete account"}, "B"));
    ASSERT_EQ(model_.asked.size(), 1u);
    model_.asked[0](FocusPlanner::Decisions{});
    EXPECT_THAT(labels(), ElementsAre("Save changes", "Delete account"));
    EXPECT_EQ(controller().overlay().engineNote(), "On-device model · 0 ms");

    // A reading written before a newer request began never plans, shows or announces.
    controller().trigger();
    finishRead(2, window({"Stale"}, "B"));
    ASSERT_EQ(model_.asked.size(), 2u);
    controller().trigger();
    const auto announcements = announced_.size();
    model_.asked[1](FocusPlanner::Decisions{});
    EXPECT_EQ(controller().overlay().phase(), OverlayPhase::loading("B"));
    EXPECT_EQ(announced_.size(), announcements);
}

// A window whose process the window manager does not name is read when the accessibility bus
// knows whose it is; otherwise nothing happens. The last app is never brought forward instead.
TEST_F(AppControllerTest, AnEmptyWindowShowsItsScrollItemsOrSaysSo) {
    open({});
    EXPECT_EQ(controller().overlay().phase(),
              OverlayPhase::message("No buttons or fields found in this window."));
    controller().trigger();
    WindowSnapshot page = window({});
    page.scroll.emplace();
    page.scroll->signals.visible = Rect(0, 0, 800, 600);
    page.scroll->signals.document = Rect(0, 0, 800, 3000);
    finishRead(1, page);
    EXPECT_THAT(labels(), ElementsAre("More below"));
}

TEST_F(AppControllerTest, TheReadingBudgetFollowsFindAndTheSidebar) {
    prefs_.set(keys::maxCandidates, 10);
    controller().trigger();
    prefs_.set(keys::sidebar, true);
    controller().trigger();
    prefs_.set(keys::maxCandidates, 30);
    controller().trigger();
    controller().overlay().setFinding(true);
    controller().trigger();
    std::vector<int> budgets;
    for (const auto& r : worker_.reads) {
        budgets.push_back(r.request.maxCandidates);
        EXPECT_EQ(r.request.maxRawDepth, 48);
        EXPECT_EQ(r.request.nodeBudget, 4000);
    }
    EXPECT_THAT(budgets, ElementsAre(10, 24, 30, 150));
    // With the sidebar on, every reachable control is numbered.
    controller().overlay().setFinding(false);
    prefs_.set(keys::maxBeacons, 1);
    open({"One", "Two", "Three"});
    EXPECT_EQ(controller().overlay().phase().plan()->choiceCount(), 3);
}

TEST_F(AppControllerTest, TheModelDecidesOnlyWhenWantedAndReady) {
    struct Case {
        bool useModel, ready;
        std::optional<bool> answers;  // none: not asked
        const char* note;
        std::vector<bool> resumes;
        int recoveries;
    };
    const Case cases[] = {
        {true, true, true, "On-device model · 250 ms", {true}, 0},
        {true,
         true,
         false,
         "Built-in rules this time: the on-device model stopped, restarting it",
         {true},
         1},
        {true, false, std::nullopt, "Heuristic mode", {true}, 0},
        {false, true, std::nullopt, "Heuristic mode", {}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.note);
        model_ = {};
        model_.ready = c.ready;
        prefs_.set(keys::useModel, c.useModel);
        open({"Save", "Cancel"});
        ASSERT_EQ(model_.asked.size(), c.answers ? 1u : 0u);
        if (c.answers) {
            scheduler_.advance(0.25);
            model_.asked[0](*c.answers ? std::optional(FocusPlanner::Decisions{}) : std::nullopt);
        }
        EXPECT_EQ(controller().overlay().engineNote(), c.note);
        EXPECT_EQ(model_.resumes, c.resumes);
        EXPECT_EQ(model_.recoveries, c.recoveries);
        EXPECT_EQ(controller().overlay().phase().plan()->source,
                  c.answers.value_or(false) ? DecisionSource::vorn : DecisionSource::heuristic);
        EXPECT_EQ(log_.back(), std::string("Ovra press: ") + c.note + " (model " +
                                   (c.useModel ? "wanted" : "off") + ")");
    }
}

TEST_F(AppControllerTest, EveryKeyOfTheOverlayDoesWhatItsRowSays) {
    struct Row {
        const char* name;
        KeyInput key;
        std::string selected;  // afterwards
        int beeps;
        bool open;  // the overlay stays open
        bool sidebar = false;
    };
    const Row rows[] = {
        {"right", kRight, "Download your data", 0, true},
        {"left wraps", kLeft, "Delete account", 0, true},
        {"tab", key(48, "\t"), "Download your data", 0, true},
        {"shift-tab", key(48, "\t", true), "Delete account", 0, true},
        {"digit", key(20, "3"), "Delete account", 0, true},
        {"digit past the list", key(21, "4"), "Save changes", 1, true},
        {"zero", key(29, "0"), "Save changes", 1, true},
        {"unknown letter", key(7, "x"), "Save changes", 1, true},
        {"held letter", key(0, "a", false, true), "Save changes", 0, true},
        {"show all", key(0, "a"), "Save changes", 0, true},
        {"sidebar", key(1, "s"), "Save changes", 0, true, true},
        {"find", key(3, "f"), "Save changes", 0, true},
        {"find with ctrl", key(3, "f", false, false, true), "Save changes", 0, true},
        {"why", key(13, "w"), "Save changes", 0, true},
        {"pin", key(35, "p"), "Save changes", 0, true},
        {"mute", key(2, "d"), "Save changes", 0, true},
        {"small scroll", key(38, "j"), "Save changes", 0, true},
        {"page down", key(121, "\uF72D"), "Save changes", 0, true},
        {"held return", key(36, "\r", false, true), "Save changes", 0, true},
        {"escape", kEscape, "Save changes", 0, false},
        {"return", kReturn, "Save changes", 0, false},
        {"space", key(49, " "), "Save changes", 0, false},
        {"ctrl-return", key(36, "\r", false, false, true), "Save changes", 0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        beeps_ = 0;
        prefs_.set(keys::sidebar, false);
        prefs_.set(keys::overrides, {});
        open({"Save changes", "Download your data", "Delete account"});
        ASSERT_EQ(selected(), "Save changes");
        EXPECT_TRUE(press(row.key));
        EXPECT_EQ(selected(), row.selected);
        EXPECT_EQ(beeps_, row.beeps);
        EXPECT_EQ(controller().overlay().islandOpen(), row.open);
        EXPECT_EQ(prefs_.get(keys::sidebar), row.sidebar);
        controller().dismiss();
        scheduler_.advance(1);
    }
    EXPECT_EQ(worker_.presses.size(), 3u);  // Return, Space and Ctrl-Return pressed
    EXPECT_THAT(announced_, ::testing::Contains("Sidebar showing, 3 things you can do"));
    EXPECT_THAT(announced_, ::testing::Contains("2 of 3: Download your data, Button"));
}

TEST_F(AppControllerTest, ARiskyControlIsPressedAtTheSecondPressOnly) {
    open({"Save changes", "Delete account"});
    press(key(19, "2"));
    press(kReturn);
    EXPECT_EQ(controller().overlay().armedID(), "c2");
    EXPECT_EQ(announced_.back(), "Press Return again to confirm Delete account");
    press(kLeft);  // moving disarms
    press(kRight);
    press(kReturn);
    scheduler_.advance(1);
    EXPECT_TRUE(worker_.presses.empty());
    press(kReturn);
    scheduler_.advance(1);
    ASSERT_EQ(worker_.presses.size(), 1u);
    EXPECT_EQ(worker_.presses[0].first.request.candidate.label(), "Delete account");
    worker_.presses[0].second({PressRoute::clicked});
    EXPECT_EQ(prefs_.get(keys::ovrasPressed), 1);

    // With confirmation off, the first press presses.
    prefs_.set(keys::confirmConsequential, false);
    open({"Save changes", "Delete account"});
    press(key(19, "2"));
    press(kReturn);
    scheduler_.advance(1);
    ASSERT_EQ(worker_.presses.size(), 2u);
    worker_.presses[1].second({PressRoute::pressed});
    EXPECT_EQ(prefs_.get(keys::ovrasPressed), 2);
}

TEST_F(AppControllerTest, ThePressRunsAfterTheCloseWhileTheOverlayLetsInputThrough) {
    prefs_.set(keys::speakFeedback, true);
    open({"Save changes"});
    press(kReturn);
    EXPECT_TRUE(overlay_->transparent);
    EXPECT_TRUE(press(key(0, "a")));  // keys typed while it fades are swallowed
    scheduler_.advance(AppController::kPressDelay / 2);
    EXPECT_TRUE(worker_.presses.empty());
    scheduler_.advance(AppController::kPressDelay);
    ASSERT_EQ(worker_.presses.size(), 1u);
    EXPECT_THAT(workspace_.activated, ElementsAre("A window"));  // the window read first
    EXPECT_TRUE(overlay_->shown && overlay_->transparent);
    EXPECT_EQ(worker_.presses[0].first.request.window, 1u);

    // A press that reached nothing counts nothing and says why over the window read again,
    // where nothing is selected: a second Return given to confirm presses nothing, a number
    // chooses again.
    for (const auto& [failure, notice] :
         {std::pair{PressFailure::changed,
                    "“Save changes”: The control changed, so nothing was pressed."},
          {PressFailure::refused, "“Save changes”: The control could not be pressed."}}) {
        worker_.presses.back().second({std::nullopt, failure, false, {"press", "confirm"}});
        finishRead(worker_.reads.size() - 1, window({"Save changes"}));
        EXPECT_EQ(controller().overlay().notice(), notice);
        EXPECT_EQ(engine_.spoken.back().text, notice);
        EXPECT_FALSE(controller().overlay().selectedItem());
        const std::size_t presses = worker_.presses.size();
        press(kReturn);
        scheduler_.advance(0.1);
        EXPECT_EQ(worker_.presses.size(), presses);
        press(key(18, "1"));
        press(kReturn);
        scheduler_.advance(0.1);
    }
    EXPECT_THAT(log_, ::testing::IsSupersetOf(
                          {"Ovra did not press \"Save changes\": the control changed",
                           "Ovra could not press \"Save changes\": every way failed (press, "
                           "confirm)"}));
    EXPECT_EQ(beeps_, 2);
    EXPECT_EQ(prefs_.get(keys::ovrasPressed), 0);
    // Only a press that reached the control counts.
    worker_.presses.back().second({PressRoute::clicked, std::nullopt, true});
    EXPECT_EQ(log_.back(), "Ovra pressed \"Save changes\": clicked (the page had made it anew)");
    EXPECT_EQ(prefs_.get(keys::ovrasPressed), 1);

    // A close replaces the pending hide; the hotkey within it asks anew, which keeps the
    // overlay on screen and takes pointer input again.
    scheduler_.advance(0.1);  // the hide is still pending
    controller().dismiss();
    controller().toggle();
    finishRead(worker_.reads.size() - 1, window({"Save changes"}));
    scheduler_.advance(1);
    EXPECT_TRUE(overlay_->shown && !overlay_->transparent);
    EXPECT_TRUE(controller().overlay().islandOpen());

    // A dismiss hands the keyboard back to the window it was opened over once the overlay hid.
    controller().dismiss();
    scheduler_.advance(0.2);
    EXPECT_FALSE(overlay_->shown);
    EXPECT_THAT(workspace_.activated, ElementsAre("A window", "A window", "A window", "A"));
}

// Keys typed while the window is read wait for the plan: a number typed as the overlay opens
// chooses in it, once it shows; a press typed before anything showed presses nothing; Escape
// closes at once. After a read that shows no plan, the keys act nowhere.
TEST_F(AppControllerTest, KeysTypedWhileTheWindowIsReadWaitForThePlan) {
    controller().trigger();
    const int beeps = beeps_;
    press(key(19, "2"));
    press(kReturn);
    EXPECT_EQ(beeps_, beeps + 1);
    finishRead(worker_.reads.size() - 1, window({"Save", "Send", "Share"}));
    ASSERT_TRUE(controller().overlay().selectedItem());
    EXPECT_EQ(controller().overlay().selectedItem()->displayLabel, "Send");
    EXPECT_EQ(announced_.back(), "2 of 3: Send, Button");
    scheduler_.advance(1);
    EXPECT_TRUE(worker_.presses.empty());
    controller().dismiss();
    scheduler_.advance(1);

    controller().trigger();
    press(key(19, "2"));
    finishRead(worker_.reads.size() - 1, fail(AXExtractorError::notResponding));
    EXPECT_TRUE(controller().overlay().phase().message());
    press(kEscape);
    scheduler_.advance(1);

    controller().trigger();
    press(kEscape);
    scheduler_.advance(1);
    EXPECT_FALSE(overlay_->shown);
    EXPECT_TRUE(worker_.presses.empty());
}

// Keys typed while the overlay fades after Escape were meant for the overlay: they act nowhere,
// neither on the overlay nor in the app, which gets the keyboard back once the overlay has gone.
TEST_F(AppControllerTest, KeysTypedWhileTheOverlayFadesActNowhere) {
    open({"Save changes", "Delete account"});
    press(kEscape);
    const int beeps = beeps_;
    const std::size_t announced = announced_.size();
    for (const KeyInput& typed : {kEscape, key(19, "2"), kReturn, key(13, "w"), key(38, "j")}) {
        EXPECT_TRUE(press(typed));
    }
    scheduler_.advance(AppController::kHideDelay / 2);
    EXPECT_TRUE(workspace_.activated.empty()) << "the keyboard went back before the fade ended";
    scheduler_.advance(1);
    EXPECT_FALSE(overlay_->shown);
    EXPECT_THAT(workspace_.activated, ElementsAre("A"));
    EXPECT_TRUE(worker_.presses.empty());
    EXPECT_TRUE(worker_.scrolls.empty());
    EXPECT_EQ(worker_.reads.size(), 1u);
    EXPECT_EQ(beeps_, beeps);
    EXPECT_EQ(announced_.size(), announced);
    EXPECT_EQ(controller().overlay().selection(), 0);
    EXPECT_FALSE(controller().overlay().explainID());

    // While it fades the window manager may mark no window active, or (without one) the
    // overlay is in front: the app gets the keyboard back. A window the user switched to
    // meanwhile keeps it.
    for (const std::optional<TargetApp>& front :
         {std::optional<TargetApp>(), {app(kOwnPid, "murmlark-ovra")}, {app(2, "B")}}) {
        open({"Save changes"});
        press(kEscape);
        workspace_.front = front;
        scheduler_.advance(1);
        EXPECT_FALSE(overlay_->shown);
        workspace_.front = app(1, "A");
    }
    EXPECT_THAT(workspace_.activated, ElementsAre("A", "A", "A")) << "the keyboard was taken back";
}

// Another app's window takes the keyboard from the open overlay (a dialog, a notification): the
// overlay closes as Escape would, says why aloud and in the log, and leaves the keyboard where
// it went; keys typed meanwhile press nothing. An overlay already closing before its press (which
// brings the app forward itself) or gone says nothing.
TEST_F(AppControllerTest, AWindowThatTakesTheKeyboardClosesTheOverlayAndNothingIsPressed) {
    prefs_.set(keys::speakFeedback, true);
    const std::string told =
        "Another window took the keyboard, so Ovra closed. Nothing was pressed.";
    for (const bool loading : {false, true}) {
        SCOPED_TRACE(loading ? "while the window is read" : "over the plan");
        controller().trigger();
        if (!loading) {
            finishRead(worker_.reads.size() - 1, window({"Save changes", "Delete account"}));
        }
        announced_.clear(), log_.clear(), engine_.spoken.clear();
        callbacks_.keyboardTaken();
        EXPECT_FALSE(controller().overlay().islandOpen());
        EXPECT_TRUE(overlay_->transparent);
        EXPECT_TRUE(press(kReturn));  // swallowed
        scheduler_.advance(1);
        EXPECT_FALSE(overlay_->shown);
        EXPECT_THAT(announced_, ElementsAre(told));
        EXPECT_THAT(log_, ElementsAre("Ovra message: " + told));
        ASSERT_EQ(engine_.spoken.size(), 1u);
        EXPECT_EQ(engine_.spoken[0].text, told);
        EXPECT_EQ(worker_.reads.back().stop.stop_requested(), loading);
        finishRead(worker_.reads.size() - 1, window({"Late"}));  // dropped
        EXPECT_FALSE(overlay_->shown);
    }
    EXPECT_TRUE(worker_.presses.empty());
    EXPECT_TRUE(workspace_.activated.empty()) << "the keyboard was taken back";

    // The press brings the app forward while the overlay fades: that is no window taking it.
    open({"Save changes"});
    announced_.clear(), log_.clear();
    press(kReturn);
    scheduler_.advance(0.06);
    ASSERT_EQ(worker_.presses.size(), 1u);
    callbacks_.keyboardTaken();
    scheduler_.advance(1);
    callbacks_.keyboardTaken();  // and once it is gone
    EXPECT_THAT(announced_, ::testing::Not(::testing::Contains(told)));
    EXPECT_THAT(log_, ::testing::Not(::testing::Contains("Ovra message: " + told)));
    EXPECT_THAT(workspace_.activated, ElementsAre("A window"));
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

}  // namespace
}  // namespace ovra::controllertest
