// The request controller over fake services and the manual scheduler: requests that finish out
// of order, the app's own window in front, empty windows, reading budgets, the model's paths,
// every key of the overlay, the second press of risky controls, the press after the close, the
// press routes; scrolling, find and auto-scan; every sentence the overlay says, corrections and
// the magnifier; start-up, the hotkey fallbacks, the permission poll and the click away.

#include "app/controller/AppController.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <list>

#include "app/controller/PressRoutes.h"
#include "platform/accessibility/FakeAccessibilityBackend.h"
#include "platform/hotkeys/FakeHotkeyGrabber.h"
#include "platform/input/FakeInputSynthesizer.h"
#include "platform/scheduler/ManualScheduler.h"
#include "platform/speech/FakeSpeechEngine.h"

namespace ovra {
namespace {

using ::testing::ElementsAre;

constexpr std::int64_t kOwnPid = 1000;

struct Ref final : ax::ElementRef {
    explicit Ref(std::string k) : k_(std::move(k)) {}
    std::string key() const override { return k_; }
    std::string k_;
};

TargetApp app(std::int64_t pid, std::string name) {
    return {static_cast<std::uint32_t>(pid),
            pid,
            7,
            name,
            name,
            name + " window",
            Rect(0, 0, 800, 600)};
}

// "Save changes, Delete account": one AXButton per label, one under the other.
WindowSnapshot window(const std::vector<std::string>& labels, const std::string& name = "A") {
    WindowSnapshot s;
    s.appName = name;
    s.windowFrame = s.viewport = Rect(0, 0, 800, 600);
    for (const std::string& label : labels) {
        UICandidate& c = s.candidates.emplace_back();
        c.id = "c" + std::to_string(s.candidates.size());
        c.role = "AXButton";
        c.title = label;
        c.order = static_cast<int>(s.candidates.size());
        c.frame = Rect(100, 60.0 * c.order, 200, 40);
        s.elements.emplace(c.id, ax::Element(std::make_shared<Ref>(name + c.id)));
    }
    return s;
}

struct FakeWorkspace final : TargetWorkspace {
    std::optional<TargetApp> front;
    std::vector<std::int64_t> gone;
    std::vector<std::string> activated;
    std::optional<TargetApp> frontmost() override { return front; }
    std::int64_t ownPid() const override { return kOwnPid; }
    bool isRunning(const TargetApp& a) override {
        return std::find(gone.begin(), gone.end(), a.pid) == gone.end();
    }
    bool activate(const TargetApp& a) override { return activated.push_back(a.name), true; }
};

struct FakeWorker final : AccessibilityWorker {
    struct Reading {
        ReadRequest request;
        std::stop_token stop;
        std::function<void(ReadResult)> done;
    };
    std::vector<Reading> reads;
    std::vector<std::pair<PressJob, std::function<void(PressReport)>>> presses;
    void read(ReadRequest r, std::stop_token stop, std::function<void(ReadResult)> done) override {
        reads.push_back({std::move(r), std::move(stop), std::move(done)});
    }
    void press(PressJob job, std::function<void(PressReport)> done) override {
        presses.emplace_back(std::move(job), std::move(done));
    }
    std::vector<std::pair<ScrollJob, std::function<void(ScrollOutcome)>>> scrolls;
    void scroll(ScrollJob job, std::function<void(ScrollOutcome)> done) override {
        scrolls.emplace_back(std::move(job), std::move(done));
    }
};

struct FakeModel final : DecisionModel {
    bool ready = false;
    std::vector<bool> resumes;
    int recoveries = 0;
    std::vector<std::function<void(std::optional<FocusPlanner::Decisions>)>> asked;
    bool isReady() const override { return ready; }
    void resumeAfterMemoryPause(bool wanted) override { resumes.push_back(wanted); }
    void decide(const WindowSnapshot&,
                std::function<void(std::optional<FocusPlanner::Decisions>)> done) override {
        asked.push_back(std::move(done));
    }
    void recoverLostWorker() override { ++recoveries; }
    std::vector<std::string> runs;  // "start <model>", "stop"
    void start(const std::string&, const std::string& id) override {
        runs.push_back("start " + id);
    }
    void stop() override { runs.push_back("stop"); }
};

struct FakeOverlay final : OverlayHost {
    bool shown = false;
    bool transparent = false;
    std::vector<std::optional<Rect>> presents;
    KeyHandler keys;
    std::vector<std::string>& announced;
    explicit FakeOverlay(std::vector<std::string>& a) : announced(a) {}
    void present(std::optional<Rect> frame) override { shown = true, presents.push_back(frame); }
    void orderOut() override { shown = false; }
    bool isShown() const override { return shown; }
    void setKeyHandler(KeyHandler handler) override { keys = std::move(handler); }
    void setInputTransparent(bool t) override { transparent = t; }
    void announce(std::string_view text) override { announced.emplace_back(text); }
    std::vector<std::string> calls;  // "focus", "edit <n>", "backdrop"
    void focusContent() override { calls.push_back("focus"); }
    void sendEditCommand(EditCommand c) override {
        calls.push_back("edit " + std::to_string(static_cast<int>(c)));
    }
    void refreshBackdrop() override { calls.push_back("backdrop"); }
};

KeyInput key(int code, std::string chars = "", bool shift = false, bool repeat = false,
             bool command = false) {
    KeyInput k;
    k.keyCode = code;
    k.characters = chars.empty() ? std::optional<std::string>() : chars;
    k.shift = shift;
    k.isRepeat = repeat;
    k.command = command;
    return k;
}
const KeyInput kReturn = key(36, "\r"), kEscape = key(53, "\x1b"), kRight = key(124),
               kLeft = key(123);

class AppControllerTest : public ::testing::Test {
  protected:
    AppControllerTest() {
        prefs_.setSidebar(false);
        workspace_.front = app(1, "A");
    }
    AppController& controller() {
        if (!controller_) {
            controller_ = std::make_unique<AppController>(
                AppController::Services{prefs_,
                                        scheduler_,
                                        workspace_,
                                        worker_,
                                        model_,
                                        voice_,
                                        [this](OverlayModel&, OverlayCallbacks callbacks) {
                                            callbacks_ = std::move(callbacks);
                                            auto host = std::make_unique<FakeOverlay>(announced_);
                                            overlay_ = host.get();
                                            return host;
                                        },
                                        [this](OvraPane pane) { dashboards_.push_back(pane); },
                                        [this] { ++beeps_; },
                                        [this](const std::string& line) { log_.push_back(line); },
                                        {},
                                        [this] { return screenReader_; }},
                true);
        }
        return *controller_;
    }
    // A fresh request for `front` whose reading holds these controls.
    void open(const std::vector<std::string>& labels) {
        controller().trigger();
        finishRead(worker_.reads.size() - 1, window(labels));
    }
    void finishRead(std::size_t index, ReadResult result) {
        worker_.reads.at(index).done(std::move(result));
        scheduler_.runDue();
    }
    std::vector<std::string> labels() {
        std::vector<std::string> out;
        for (const std::string& id : controller().overlay().navigationOrder()) {
            out.push_back(controller().overlay().phase().plan()->item(id)->displayLabel);
        }
        return out;
    }
    std::string selected() {
        auto item = controller().overlay().selectedItem();
        return item ? item->displayLabel : "none";
    }
    bool press(const KeyInput& k) { return overlay_->keys(k); }

    InMemoryDefaults defaults_;
    Preferences prefs_{defaults_};
    ManualScheduler scheduler_;
    FakeWorkspace workspace_;
    FakeWorker worker_;
    FakeModel model_;
    speech::FakeSpeechEngine engine_;
    speech::LoopbackSpeechNotice notice_;
    FocusVoice voice_{{engine_, notice_, [](std::function<void()>) {}, {}, "en"}};
    std::vector<std::string> announced_, log_;
    std::vector<OvraPane> dashboards_;
    std::vector<std::function<void(bool)>> trustAsks_;
    bool screenReader_ = false;
    int beeps_ = 0;
    OverlayCallbacks callbacks_;
    FakeOverlay* overlay_ = nullptr;
    std::unique_ptr<AppController> controller_;
};

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
    prefs_.setMaxCandidates(10);
    controller().trigger();
    prefs_.setSidebar(true);
    controller().trigger();
    prefs_.setMaxCandidates(30);
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
    prefs_.setMaxBeacons(1);
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
        prefs_.setUseModel(c.useModel);
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
        prefs_.setSidebar(false);
        prefs_.setOverrides({});
        open({"Save changes", "Download your data", "Delete account"});
        ASSERT_EQ(selected(), "Save changes");
        EXPECT_TRUE(press(row.key));
        EXPECT_EQ(selected(), row.selected);
        EXPECT_EQ(beeps_, row.beeps);
        EXPECT_EQ(controller().overlay().islandOpen(), row.open);
        EXPECT_EQ(prefs_.sidebar(), row.sidebar);
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
    EXPECT_EQ(worker_.presses[0].first.candidate.label(), "Delete account");
    EXPECT_EQ(prefs_.ovrasPressed(), 1);

    // With confirmation off, the first press presses.
    prefs_.setConfirmConsequential(false);
    open({"Save changes", "Delete account"});
    press(key(19, "2"));
    press(kReturn);
    scheduler_.advance(1);
    EXPECT_EQ(worker_.presses.size(), 2u);
    EXPECT_EQ(prefs_.ovrasPressed(), 2);
}

TEST_F(AppControllerTest, ThePressRunsAfterTheCloseWhileTheOverlayLetsInputThrough) {
    prefs_.setSpeakFeedback(true);
    open({"Save changes"});
    press(kReturn);
    EXPECT_TRUE(overlay_->transparent);
    EXPECT_TRUE(press(key(0, "a")));  // keys typed while it fades are swallowed
    scheduler_.advance(0.03);
    EXPECT_TRUE(worker_.presses.empty());
    scheduler_.advance(0.03);
    ASSERT_EQ(worker_.presses.size(), 1u);
    EXPECT_THAT(workspace_.activated, ElementsAre("A"));  // the app first
    EXPECT_TRUE(overlay_->shown && overlay_->transparent);
    EXPECT_EQ(worker_.presses[0].first.window, 1u);

    // A press that found no way to the control says so.
    worker_.presses[0].second(PressReport{std::nullopt, {"click", "press", "confirm"}});
    EXPECT_EQ(beeps_, 1);
    EXPECT_EQ(log_.back(),
              "Ovra could not press \"Save changes\": every way failed (click, "
              "press, confirm)");
    ASSERT_FALSE(engine_.spoken.empty());
    EXPECT_EQ(engine_.spoken.back().text, "The control could not be pressed.");

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
    EXPECT_THAT(workspace_.activated, ElementsAre("A", "A"));
}

WindowSnapshot scrolling(WindowSnapshot s, double top) {
    s.scroll.emplace();
    s.scroll->signals.visible = Rect(0, 0, 800, 600);
    s.scroll->signals.document = Rect(0, top, 800, 1200);
    return s;
}

TEST_F(AppControllerTest, ThreeScrollsBringOneReReadAfterTheLast) {
    open({"Save", "Cancel"});
    for (int i = 0; i < 3; ++i) {
        press(key(38, "j"));
        EXPECT_TRUE(overlay_->transparent);  // the wheel turns reach the page
        worker_.scrolls.back().second(Scroller::Method::wheel);
        scheduler_.advance(0.2);
    }
    EXPECT_FALSE(overlay_->transparent);
    EXPECT_TRUE(controller().overlay().stale());
    press(kReturn);  // a press before the re-read beeps
    EXPECT_EQ(beeps_, 1);
    EXPECT_EQ(worker_.reads.size(), 1u);
    scheduler_.advance(0.1);
    ASSERT_EQ(worker_.reads.size(), 2u);  // 0.3 s after the third
    EXPECT_EQ(log_.back(), "Ovra scroll: down, small, by scroll wheel");
    finishRead(1, scrolling(window({"Next", "Back"}), -600));
    EXPECT_FALSE(controller().overlay().stale());
    EXPECT_EQ(overlay_->calls.back(), "backdrop");
    EXPECT_EQ(announced_.back(), "Scrolled down. 2 choices. End of the page.");
    // Nothing could be scrolled: a beep, and the page is not read again.
    press(key(40, "k"));
    worker_.scrolls.back().second(std::nullopt);
    scheduler_.advance(1);
    EXPECT_EQ(beeps_, 2);
    EXPECT_EQ(worker_.reads.size(), 2u);
    EXPECT_EQ(log_.back(), "Ovra scroll: up, small, by nothing");
}

TEST_F(AppControllerTest, FindOpensAndClosesAsTheMatrixSays) {
    const auto items = [](int n) {
        std::vector<std::string> out;
        for (int i = 1; i <= n; ++i) {
            out.push_back("Item " + std::to_string(i));
        }
        return out;
    };
    for (const bool sidebar : {false, true}) {
        for (const bool cutOff : {false, true}) {
            for (const bool scrolled : {false, true}) {
                SCOPED_TRACE(::testing::Message() << sidebar << cutOff << scrolled);
                prefs_.setSidebar(sidebar);
                open(items(cutOff ? 24 : 9));
                const std::size_t reads = worker_.reads.size();
                press(key(3, "f"));
                EXPECT_TRUE(controller().overlay().finding() && controller().overlay().sidebar());
                EXPECT_EQ(worker_.reads.size(), reads + (cutOff ? 1 : 0));  // the widening
                EXPECT_THAT(announced_.back(), ::testing::StartsWith("Find. Type or say part"));
                const int focus = controller().overlay().findFocusRequest();
                press(key(3, "f", false, false, true));  // again: the field takes the keys
                EXPECT_EQ(controller().overlay().findFocusRequest(), focus + 1);
                if (cutOff) {
                    EXPECT_EQ(worker_.reads.back().request.maxCandidates, 150);
                    finishRead(worker_.reads.size() - 1, window(items(40)));
                    EXPECT_EQ(labels().size(), 40u);
                }
                if (scrolled) {
                    press(key(121, "\uF72D"));
                    worker_.scrolls.back().second(Scroller::Method::scrollBar);
                    scheduler_.advance(0.3);
                    finishRead(worker_.reads.size() - 1, window(items(30)));
                }
                const std::size_t before = worker_.reads.size();
                press(kEscape);
                EXPECT_FALSE(controller().overlay().finding());
                EXPECT_EQ(controller().overlay().sidebar(), sidebar);
                // Scrolled: read afresh; else the list shown before find.
                EXPECT_EQ(worker_.reads.size(), before + (scrolled ? 1 : 0));
                if (!scrolled) {
                    EXPECT_EQ(controller().snapshot()->window.candidates.size(), cutOff ? 24u : 9u);
                }
                EXPECT_THAT(announced_.back(), ::testing::StartsWith("Find closed."));
                EXPECT_EQ(overlay_->calls.back(), "focus");
                controller().dismiss();
                scheduler_.advance(1);
            }
        }
    }
}

TEST_F(AppControllerTest, AStaleWideningIsDroppedAndKeptDecisionsMatchTheirControls) {
    model_.ready = true;
    prefs_.setMaxCandidates(2);
    prefs_.setSidebar(false);
    controller().trigger();
    finishRead(0, window({"Save", "Weather"}));
    ModelDecision advert;
    advert.actionClassification = FocusCategory::distractionOrUpsell;
    advert.classificationProbabilities = {{"distraction_or_upsell", 1.0}};
    model_.asked[0](FocusPlanner::Decisions{{"c2", advert}});
    const auto veiled = [this] {
        std::vector<std::string> out;
        for (const FocusItem& item : controller().overlay().phase().plan()->suppressed()) {
            out.push_back(item.displayLabel);
        }
        return out;
    };
    ASSERT_THAT(veiled(), ElementsAre("Weather"));

    // A scroll cancels the widening under way; its reading, arriving late, is dropped.
    press(key(3, "f"));
    ASSERT_EQ(worker_.reads.size(), 2u);
    press(key(121, "\uF72D"));
    EXPECT_TRUE(worker_.reads[1].stop.stop_requested());
    finishRead(1, window({"Old page", "Save", "Weather"}));
    EXPECT_EQ(controller().snapshot()->window.candidates.size(), 2u);
    press(kEscape);

    // The wider reading gave "Weather"'s id to "Help": the decision stays with neither.
    press(key(3, "f"));
    finishRead(worker_.reads.size() - 1, window({"Save", "Help", "Weather"}));
    EXPECT_THAT(veiled(), ::testing::IsEmpty());
    controller().dismiss();
    controller().trigger();
    finishRead(worker_.reads.size() - 1, window({"Save", "Weather"}));
    model_.asked.back()(FocusPlanner::Decisions{{"c2", advert}});
    press(key(3, "f"));
    finishRead(worker_.reads.size() - 1, window({"Save", "Weather", "Help"}));
    EXPECT_THAT(veiled(), ElementsAre("Weather"));  // the same control keeps its decision
}

TEST_F(AppControllerTest, AutoScanWalksThreeRoundsAndAKeyStopsIt) {
    prefs_.setAutoScan(true);
    prefs_.setSidebar(false);
    open({"Save", "Print", "Share", "Export"});
    const auto moves = [this](double seconds) {
        const std::size_t before = announced_.size();
        scheduler_.advance(seconds);
        return announced_.size() - before;
    };
    EXPECT_EQ(moves(2.9), 0u);
    EXPECT_EQ(moves(0.2), 1u);  // 3 s: half an interval late
    EXPECT_EQ(moves(22), 10u);  // every 2 s, 11 moves; the 12th tick (25 s) stops
    EXPECT_FALSE(controller().overlay().scanning());
    EXPECT_EQ(moves(10), 0u);
    // A key stops it; a stored interval of 0 is held to the settings row's 0.5 s.
    InMemoryDefaults fast(Json{{"scanInterval", 0}, {"autoScan", true}, {"sidebar", false}});
    Preferences prefs(fast);
    ASSERT_EQ(prefs.scanInterval(), 0.5);
    prefs_.setScanInterval(0.5);
    open({"Save", "Print", "Share", "Export"});
    EXPECT_EQ(moves(0.76), 1u);
    EXPECT_EQ(moves(0.5), 1u);
    press(kRight);
    EXPECT_FALSE(controller().overlay().scanning());
    EXPECT_EQ(moves(5), 0u);
}

TEST_F(AppControllerTest, KeysInTheFindFieldEditMoveOrGoToTheField) {
    struct Row {
        KeyInput key;
        bool consumed;
        const char* call;  // the overlay host's last call, or ""
    };
    const Row rows[] = {
        {key(9, "v", false, false, true), true, "edit 0"},
        {key(8, "C", true, false, true), true, "edit 1"},
        {key(7, "x", false, false, true), true, "edit 2"},
        {key(0, "a", false, false, true), true, "edit 3"},
        {key(6, "z", false, false, true), true, "edit 4"},
        {key(6, "Z", true, false, true), true, "edit 5"},
        {key(12, "q", false, false, true), true, ""},  // other Ctrl keys are swallowed
        {key(11, "b"), false, ""},                     // typing goes to the field
        {kRight, true, ""},
        {key(48, "\t", true), true, ""},
    };
    prefs_.setSidebar(true);
    open({"Save", "Cancel"});
    press(key(3, "f"));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.call);
        overlay_->calls.clear();
        EXPECT_EQ(press(row.key), row.consumed);
        EXPECT_EQ(overlay_->calls.empty() ? "" : overlay_->calls.back(), row.call);
    }
    EXPECT_EQ(selected(), "Save");  // right, then shift-tab
    EXPECT_TRUE(controller().overlay().finding());
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
         "Ovra: 1 choices, 1 distractions hidden. 1, Print, Button"},
        {"nothing to press", [this] { open({"Special deals"}); },
         "Ovra: nothing to press here. Press A to see everything."},
        {"unnamed", [this] { prefs_.setSidebar(true), open({""}), press(key(35, "p")); },
         "This control has no name to remember, so Ovra cannot save a choice for it."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        row.act();
        ASSERT_FALSE(announced_.empty());
        EXPECT_EQ(announced_.back(), row.said);
    }
    // Stored: the mute and the pin; nothing for the unnamed control, which beeped.
    EXPECT_THAT(prefs_.overrides(), ElementsAre(::testing::Pair("A|AXButton|save", "mute"),
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
}

TEST_F(AppControllerTest, TheAppSpeaksOnlyWhenAskedAndNoScreenReaderRuns) {
    for (const auto& [speak, reader, spoken] :
         {std::tuple{false, false, 0u}, {true, false, 1u}, {true, true, 0u}}) {
        engine_.spoken.clear();
        announced_.clear();
        prefs_.setSpeakFeedback(speak);
        screenReader_ = reader;
        open({"Save"});
        EXPECT_EQ(engine_.spoken.size(), spoken);
        EXPECT_EQ(announced_.size(), 1u);  // the screen reader's announcement, always
    }
}

struct FakeWindows final : OwnWindows {
    bool shown = false;
    Rect inside = Rect(0, 0, 100, 100);
    int sentBack = 0;
    std::vector<std::string> said;
    std::vector<std::optional<bool>> looks;
    bool settingsShown() const override { return shown; }
    bool contains(Point p) const override { return inside.contains(p); }
    void sendBack() override { ++sentBack; }
    void announce(const std::string& text) override { said.push_back(text); }
    void applyAppearance(std::optional<bool> dark) override { looks.push_back(dark); }
};

TEST_F(AppControllerTest, TheMagnifierFollowsOnceTheSelectionRestsAndTipsOnce) {
    magnifier::RecordingMagnifier magnifier;
    magnifier.on = true;
    AppController::Startup startup;
    startup.magnifier = &magnifier;
    controller().start(startup);
    open({"Save", "Print", "Share", "Export", "Help"});
    const std::string tip = *controller().overlay().notice();
    EXPECT_THAT(tip, ::testing::StartsWith("The magnifier is on but does not follow"));
    EXPECT_EQ(announced_.back(), tip);
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
    prefs_.setBubbleSize(OvraButtonSize::standard);
    prefs_.setModel(VornModel::multilingual);
    prefs_.setUseModel(false);
    prefs_.setAppearance(OvraAppearance::dark);
    prefs_.setFindShortcut(false);
    scheduler_.runDue();
    EXPECT_EQ(events.back(), "refresh");
    EXPECT_THAT(model_.runs,
                ElementsAre("start murmlark-ovra/en", "stop", "start murmlark-ovra/multi"));
    EXPECT_EQ(windows.looks.back(), true);
    EXPECT_EQ(grabber.grabbed().count(2), 0u);
    prefs_.setFindShortcut(true);
    scheduler_.runDue();
    grabber.release(2);
    layoutChanged();  // the find hotkey follows the layout
    EXPECT_EQ(grabber.grabbed().count(2), 1u);
    controller_.reset();
}

TEST_F(AppControllerTest, TheMainHotkeyFallsBackThroughThePresetsUnlessTheUserPickedIt) {
    struct Row {
        const char* stored;
        bool chosen;
        std::vector<const char*> taken;
        const char* used;  // none: no hotkey
        const char* notice;
        const char* error;
    };
    const Row rows[] = {
        {"opt-space",
         false,
         {"opt-space"},
         "ctrl-opt-f",
         "Alt Space is used by another app, so Ovra uses Ctrl Alt F. You can change it in "
         "Settings.",
         nullptr},
        {"opt-space",
         false,
         {"opt-space", "ctrl-opt-f"},
         "f13",
         "Alt Space is used by another app, so Ovra uses F13 (switch / pedal friendly). You can "
         "change it in Settings.",
         nullptr},
        {"opt-space",
         false,
         {"opt-space", "ctrl-opt-f", "f13"},
         nullptr,
         nullptr,
         "Alt Space is used by another app. Pick another shortcut in Settings."},
        {"opt-space",
         true,
         {"opt-space"},
         nullptr,
         nullptr,
         "Alt Space is used by another app. Pick another shortcut in Settings."},
        {"ctrl-opt-f",
         false,
         {"ctrl-opt-f"},
         "opt-space",
         "Ctrl Alt F is used by another app, so Ovra uses Alt Space. You can change it in "
         "Settings.",
         nullptr},
        {"cmd-shift-space",
         false,
         {"cmd-shift-space", "opt-space"},
         "ctrl-opt-f",
         "Super Shift Space is used by another app, so Ovra uses Ctrl Alt F. You can change it in "
         "Settings.",
         nullptr},
        {"ctrl-opt-space", true, {}, "ctrl-opt-space", nullptr, nullptr},
    };
    const auto chord = [](const char* id) {
        const HotkeyPreset p = *HotkeyPreset::withID(id);
        return hotkeys::Chord{static_cast<std::uint16_t>(p.keyCode), p.modifiers};
    };
    std::list<hotkeys::FakeHotkeyGrabber> grabbers;  // each outlives its controller
    for (const Row& row : rows) {
        SCOPED_TRACE(row.stored + std::string(row.chosen ? " chosen" : ""));
        controller_.reset();
        prefs_.setHotkeyID(row.stored);
        defaults_.set("hotkeyChosen", row.chosen);
        hotkeys::FakeHotkeyGrabber& grabber = grabbers.emplace_back();
        for (const char* id : row.taken) {
            grabber.takeElsewhere(chord(id));
        }
        AppController::Startup startup;
        startup.hotkeys = &grabber;
        startup.showDashboard = false;
        controller().start(startup);
        EXPECT_EQ(prefs_.hotkeyID(), row.used ? row.used : row.stored);
        EXPECT_EQ(grabber.grabbed().count(1), row.used ? 1u : 0u);
        if (row.used) {
            EXPECT_EQ(grabber.grabbed().at(1), chord(row.used));
            EXPECT_EQ(defaults_.object("hotkey"), Json(row.used));
        }
        EXPECT_EQ(controller().hotkeyNotice().value_or(""), row.notice ? row.notice : "");
        EXPECT_EQ(controller().hotkeyError().value_or(""), row.error ? row.error : "");
        EXPECT_EQ(defaults_.object("hotkeyChosen"), Json(row.chosen));  // a fallback is no pick
        scheduler_.runDue();
        EXPECT_TRUE(dashboards_.empty());  // "--no-dashboard"
    }
    // A shortcut picked in the settings is the user's and is taken at once.
    defaults_.set("hotkeyChosen", false);
    prefs_.setHotkeyID("f13");
    EXPECT_EQ(defaults_.object("hotkeyChosen"), Json(true));
    scheduler_.runDue();
    EXPECT_EQ(grabbers.back().grabbed().at(1), chord("f13"));
    controller_.reset();
}

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
    EXPECT_THAT(windows.said, ElementsAre(ready, ready));  // each grant, never the loss
    EXPECT_EQ(controller().dashboard().banner(), ready);
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
    // Closing it clears the banner and stops an instruction read aloud.
    controller().dashboard().setBanner("Updated");
    controller().dashboard().setReading(OvraFeature::find);
    controller().settingsWindowClosed();
    EXPECT_FALSE(controller().dashboard().banner() || controller().dashboard().reading());
    EXPECT_EQ(controller().readToken(), 1);
    controller().dashboard().setReading(OvraFeature::find);
    controller().dashboard().setPane(OvraPane::general);  // another pane silences it too
    scheduler_.runDue();
    EXPECT_EQ(controller().readToken(), 2);
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

TEST(PressRoutes, EachControlGetsTheFirstRouteThatWorks) {
    auto fixture = Json::parse(R"({"app": {"pid": 9}, "window": {"role": "AXWindow",
        "frame": [0, 0, 800, 600], "children": [
        {"id": "field", "role": "AXTextField", "settable": ["AXFocused"], "frame": [0, 0, 90, 20]},
        {"id": "native", "role": "AXButton", "actions": ["AXPress"], "frame": [0, 30, 90, 20]},
        {"id": "stubborn", "role": "AXButton", "actions": ["AXConfirm"], "frame": [0, 60, 90, 20]},
        {"id": "dead", "role": "AXButton", "frame": [0, 90, 90, 20]},
        {"id": "web", "role": "AXWebArea", "frame": [0, 120, 800, 400], "children": [
          {"id": "link", "role": "AXLink", "actions": ["AXPress"], "frame": [10, 130, 90, 20],
           "attrs": {"AXParent": {"ref": "web"}}}]}
        ]}})");
    auto backend = ax::FakeAccessibilityBackend::fromJson(fixture).value();
    input::FakeInputSynthesizer input;
    AXActions actions(*backend, input);
    const auto route = [&](const std::string& id, const std::string& role,
                           std::optional<std::uint32_t> window = 5) {
        PressJob job{backend->element(id), {}, {}, Rect(0, 0, 800, 600), window};
        job.candidate.role = role;
        job.candidate.frame = Rect(10, 130, 90, 20);
        const PressReport report = pressControl(actions, *backend, job);
        return report.route ? std::string(rawValue(*report.route))
                            : ::testing::PrintToString(report.failedRoutes);
    };
    EXPECT_EQ(route("field", "AXTextField"), "focused");
    EXPECT_EQ(route("native", "AXButton"), "pressed");
    EXPECT_EQ(route("stubborn", "AXButton"), "confirmed");
    EXPECT_EQ(route("dead", "AXButton"), "{ \"press\", \"confirm\" }");
    EXPECT_EQ(route("link", "AXLink"), "clicked");
    EXPECT_THAT(input.log(), ::testing::Contains("click 55,140"));
    EXPECT_EQ(route("link", "AXLink", std::nullopt), "pressed");  // no window to click in
}

}  // namespace
}  // namespace ovra
