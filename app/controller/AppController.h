#pragma once

// The one controller every entry point of the app calls into: it runs a request from the hotkey
// to the numbered plan on screen (capturing the target window, reading it on the accessibility
// worker, deciding with the model or the built-in rules, planning), shows and hides the overlay,
// turns the overlay's keys into actions, asks for a second press on risky controls, and presses
// the chosen control once the overlay has closed.
//
// Plain C++ on the main thread. Its services come in through interfaces (ControllerServices.h),
// every delay through the scheduler, and every result of another thread arrives on the main
// thread tagged with the request it belongs to, so a late answer of an older request is dropped.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>

#include "app/controller/ControllerServices.h"
#include "app/controller/FocusVoice.h"
#include "app/controller/Preferences.h"
#include "app/overlay/OverlayModel.h"
#include "app/settings/OvraPane.h"
#include "core/FindAndScroll.h"
#include "core/FocusPlanner.h"
#include "platform/scheduler/Scheduler.h"

namespace ovra {

// A window reading with the app it was read from.
struct TargetSnapshot {
    TargetApp app;
    WindowSnapshot window;
};

class AppController final {
  public:
    struct Services {
        Preferences& prefs;
        Scheduler& scheduler;
        TargetWorkspace& workspace;
        AccessibilityWorker& reader;
        DecisionModel& model;
        FocusVoice& voice;
        OverlayHostFactory makeOverlay;
        // Opens the settings window on a pane; the window belongs to the settings subsystem.
        std::function<void(OvraPane)> showDashboard;
        std::function<void()> beep;
        // One line of the app's log.
        std::function<void(const std::string&)> log;
        // One line on standard output, flushed at once (self-test traces).
        std::function<void(const std::string&)> print;
        // Whether a screen reader runs: it then speaks the announcements, the app's voice not.
        std::function<bool()> screenReaderRunning;
    };

    // A one-time tip shown as the notice of the next fresh plan.
    struct Tip {
        std::string text;
        std::function<void()> markShown;
    };

    static constexpr double kReactivationDelay = 0.35;
    static constexpr int kFindBudget = 150;
    static constexpr int kSidebarMinimumBudget = 24;
    static constexpr int kMaxRawDepth = 48;
    static constexpr int kNodeBudget = 4000;
    static constexpr double kHideDelay = 0.2;
    static constexpr double kPressDelay = 0.05;
    static constexpr double kScrollItemWidth = 250;
    static constexpr double kScrollItemHeight = 52;

    // `trusted`: whether the accessibility bus can be read.
    AppController(Services services, bool trusted);
    ~AppController();
    AppController(const AppController&) = delete;
    AppController& operator=(const AppController&) = delete;

    // A fresh request for the window in front (the hotkey, the on-screen button, the island).
    void trigger();
    // The main hotkey: closes the overlay while it shows, else a fresh request.
    void toggle();
    // Closes the overlay; the keyboard goes back to the window it was opened over.
    void dismiss();
    // The overlay's key handler; true when the key was consumed.
    bool handleKey(const KeyInput& key);
    // A press asked for by the press key, a click on a ring or a row.
    void requestPress(const std::string& id);
    // The window manager made another window active (the workspace's activation observer).
    void frontmostChanged(const TargetApp& app);

    // The name of the app a request would read: the app in front when it is not this one, else
    // the last other app while it runs.
    std::optional<std::string> targetAppName();

    bool trusted() const { return trusted_; }
    void setTrusted(bool trusted) { trusted_ = trusted; }
    OverlayModel& overlay() { return overlay_; }
    bool overlayVisible() const { return panel_ && panel_->isShown(); }
    const std::optional<TargetSnapshot>& snapshot() const { return snapshot_; }
    const std::optional<TargetApp>& lastExternalApp() const { return lastExternalApp_; }
    void setPendingTip(Tip tip) { pendingTip_ = std::move(tip); }

    // Self-tests: a snapshot source used instead of reading a window, and trace lines.
    std::function<WindowSnapshot()> devSnapshot;
    bool devTrace = false;

  private:
    // A re-read of the same app while the overlay stays open (after a scroll, when find closes).
    struct Rescan {
        ScrollDirection direction = ScrollDirection::down;
        std::optional<std::string> keepID;
        bool announce = false;
    };
    // What one scan carries from the reading to the plan.
    struct Scan {
        std::uint64_t generation = 0;
        TargetApp target;
        std::optional<Rescan> rescan;
        bool modelWanted = false;
        double modelStart = 0;
    };
    struct FindSaved {
        TargetSnapshot snapshot;
        std::optional<FocusPlanner::Decisions> decisions;
    };

    // Request cycle.
    void run(const TargetApp& target, std::optional<Rescan> rescan);
    // Starts the scan's reading: from the self-test source, else on the accessibility worker.
    void read(const Scan& scan, std::function<WindowSnapshot()> source);
    void readingArrived(Scan scan, const ReadResult& reading);
    void decided(const Scan& scan, std::string note,
                 std::optional<FocusPlanner::Decisions> decisions);
    void showMessage(const std::string& text);
    void cancelRun();
    FocusPlan makePlan(const TargetSnapshot& snapshot,
                       const FocusPlanner::Decisions* decisions) const;
    int beaconLimit() const;
    TargetApp ownApp() const;

    // Presentation and dismissal.
    void presentPanel(std::optional<Rect> frame);
    void close(bool handBack);
    OverlayHost::KeyHandler keyForwarder();

    // Keys, press and confirmation.
    void dispatch(const OverlayKeyAction& action);
    void dispatch(const OverlayCommand& command);
    void sidebarKey();
    void activate(const std::string& id);
    void pressed(const std::string& label, const PressReport& report);
    void replan();

    // Announcements, explanations and corrections.
    void announce(const std::string& text);
    void announceOpen(const FocusPlan& plan);
    void announceSelection(const std::optional<std::string>& prefix);
    void explainSelection();
    void saveCorrection(FocusOverride override);
    std::optional<std::string> zoomFollowTip();

    // Scroll, find and auto-scan.
    void scroll(ScrollDirection direction, ScrollStep step, const std::optional<std::string>& from);
    void announceScroll(ScrollDirection direction, const FocusPlan& plan);
    void startFind();
    bool handleFindKey(const KeyInput& key);
    void startScan();
    void stopScan();

    // Runs `work` after `seconds` unless the controller is gone by then.
    Scheduler::Token later(double seconds, std::function<void()> work);

    Services services_;
    bool trusted_;
    OverlayModel overlay_;
    std::unique_ptr<OverlayHost> panel_;

    std::optional<TargetSnapshot> snapshot_;
    std::optional<FocusPlanner::Decisions> lastDecisions_;
    // The app of the open request, which a dismiss hands the keyboard back to.
    std::optional<TargetApp> requestTarget_;
    std::optional<TargetApp> lastExternalApp_;
    std::optional<Tip> pendingTip_;
    // The current scan: a result tagged with an older generation is dropped.
    std::uint64_t runGeneration_ = 0;
    std::optional<std::stop_source> runStop_;
    int lastBudget_ = 0;

    Scheduler::Token closeWork_ = 0;
    Scheduler::Token openWork_ = 0;
    std::optional<std::string> zoomShownID_;
    bool zoomTipShown_ = false;

    bool pendingFind_ = false;
    bool findRestoresOvras_ = false;
    std::optional<FindSaved> findSaved_;
    std::uint64_t findWiden_ = 0;  // generation of the widening read; 0 when none
    bool findScrolled_ = false;
    Scheduler::Token rescanWork_ = 0;
    Scheduler::Token scanTimer_ = 0;
    int scanSteps_ = 0;

    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace ovra
