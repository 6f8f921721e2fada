#pragma once

// The request controller's test fixture: fake services, the manual scheduler, and a window of
// buttons by their labels.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <list>

#include "app/controller/AppController.h"
#include "platform/accessibility/FakeAccessibilityBackend.h"
#include "platform/hotkeys/FakeHotkeyGrabber.h"
#include "platform/input/FakeInputSynthesizer.h"
#include "platform/scheduler/ManualScheduler.h"
#include "platform/speech/FakeSpeechEngine.h"

namespace ovra::controllertest {

using ::testing::ElementsAre;

inline constexpr std::int64_t kOwnPid = 1000;

struct Ref final : ax::ElementRef {
    explicit Ref(std::string k) : k_(std::move(k)) {}
    std::string key() const override { return k_; }
    std::string k_;
};

inline TargetApp app(std::int64_t pid, std::string name) {
    return {static_cast<std::uint32_t>(pid),
            pid,
            7,
            name,
            name,
            name + " window",
            Rect(0, 0, 800, 600)};
}

// "Save changes, Delete account": one AXButton per label, one under the other.
inline WindowSnapshot window(const std::vector<std::string>& labels,
                             const std::string& name = "A") {
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

// The same window scrolled: its page 1200 high, `top` above the view.
inline WindowSnapshot scrolling(WindowSnapshot s, double top) {
    s.scroll.emplace();
    s.scroll->signals.visible = Rect(0, 0, 800, 600);
    s.scroll->signals.document = Rect(0, top, 800, 1200);
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
    // A press's: that window alone.
    bool activateWindowRead(const TargetApp& a) override {
        return activated.push_back(a.name + " window"), true;
    }
    std::optional<TargetApp> ofProcess(TargetApp w, std::int64_t pid) override {
        return w.pid = pid, w;
    }
};

struct FakeWorker final : AccessibilityWorker {
    struct Reading {
        ReadRequest request;
        std::stop_token stop;
        std::function<void(ReadResult)> done;
    };
    std::vector<Reading> reads;
    std::vector<std::pair<PressJob, std::function<void(PressOutcome)>>> presses;
    void read(ReadRequest r, std::stop_token stop, std::function<void(ReadResult)> done) override {
        reads.push_back({std::move(r), std::move(stop), std::move(done)});
    }
    void press(PressJob job, std::function<void(PressOutcome)> done) override {
        presses.emplace_back(std::move(job), std::move(done));
    }
    std::vector<std::pair<ScrollJob, std::function<void(ScrollOutcome)>>> scrolls;
    void scroll(ScrollJob job, std::function<void(ScrollOutcome)> done) override {
        scrolls.emplace_back(std::move(job), std::move(done));
    }
    std::vector<std::function<void(std::optional<std::int64_t>)>> matches;
    void matchWindow(TargetApp, std::function<void(std::optional<std::int64_t>)> done) override {
        matches.push_back(std::move(done));
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

// The app's own windows: what the controller asked of them.
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

inline KeyInput key(int code, std::string chars = "", bool shift = false, bool repeat = false,
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
        prefs_.set(keys::sidebar, false);
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
                                        [this](const std::string& note) { notes_.push_back(note); },
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
    std::vector<std::string> announced_, log_, notes_;
    std::vector<OvraPane> dashboards_;
    std::vector<std::function<void(bool)>> trustAsks_;
    bool screenReader_ = false;
    int beeps_ = 0;
    OverlayCallbacks callbacks_;
    FakeOverlay* overlay_ = nullptr;
    hotkeys::FakeHotkeyGrabber grabber_;  // outlives the controller, whose hotkeys hold it
    std::unique_ptr<AppController> controller_;
};

}  // namespace ovra::controllertest
