#pragma once

// The one controller every entry point of the app calls into: it runs a request from the hotkey
// to the numbered plan on screen (capturing the target window, reading it on the accessibility
// worker, deciding with the model or the built-in rules, planning), shows and hides the overlay,
// turns the overlay's keys into actions, asks for a second press on risky controls, and presses
// the chosen control once the overlay has closed. The rest has classes of its own, which the
// controller owns and feeds: which app a request reads (TargetChoice), whether that app has
// gone meanwhile (TargetWatch), find (FindSession), scrolling the page (PageScroll), auto-scan
// (AutoScan), explanations and corrections (Corrections), the magnifier (MagnifierFollow), what
// the overlay and the press's outcome say (OverlaySentences, PressReport), and start-up with the
// hotkeys, the permission poll and the app's own windows (AppStartup).
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
#include <vector>

#include "app/controller/AppStartup.h"
#include "app/controller/AutoScan.h"
#include "app/controller/ControllerServices.h"
#include "app/controller/Corrections.h"
#include "app/controller/FindSession.h"
#include "app/controller/FocusVoice.h"
#include "app/controller/MagnifierFollow.h"
#include "app/controller/PageScroll.h"
#include "app/controller/Preferences.h"
#include "app/controller/ShownReading.h"
#include "app/controller/TargetChoice.h"
#include "app/controller/TargetWatch.h"
#include "app/overlay/OverlayModel.h"
#include "core/FindAndScroll.h"
#include "core/FocusPlanner.h"
#include "core/OvraPane.h"
#include "platform/scheduler/Scheduler.h"

namespace ovra {

class AppController final : private FindSession::Host,
                            private PageScroll::Host,
                            private AppStartup::Host {
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
        // Puts the note that accessibility access is on into the settings window.
        std::function<void(const std::string&)> showPermissionNote;
        std::function<void()> beep;
        // One line of the app's log.
        std::function<void(const std::string&)> log;
        // One line on standard output, flushed at once (self-test traces).
        std::function<void(const std::string&)> print;
        // Whether a screen reader runs: it then speaks the announcements, the app's voice not.
        std::function<bool()> screenReaderRunning;
    };

    using Tip = AppStartup::Tip;
    using Startup = AppStartup::Hooks;

    static constexpr double kReactivationDelay = 0.35;
    static constexpr int kFindBudget = FindSession::kBudget;
    static constexpr int kSidebarMinimumBudget = 24;
    static constexpr int kMaxRawDepth = 48;
    static constexpr int kNodeBudget = 4000;
    static constexpr double kHideDelay = 0.2;
    // From the overlay's close to the press: the panel lets the pointer through from its close
    // on, so the press only waits for the close to reach the display.
    static constexpr double kPressDelay = 0.01;
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
    void toggle() override;
    // Closes the overlay; the keyboard goes back to the window it was opened over.
    void dismiss();
    // The overlay's key handler; true when the key was consumed.
    bool handleKey(const KeyInput& key);
    // Whether the open overlay takes keys: it shows, or comes up, and is not closing.
    bool takesKeys() const { return overlayVisible() && closeWork_ == 0; }
    // A key typed before the overlay had the keyboard, caught for it: handled as the overlay's
    // own while it takes keys, else dropped (nothing it could act on has been shown).
    bool handleEarlyKey(const KeyInput& key) { return takesKeys() && handleKey(key); }
    // A press asked for by the press key, a click on a ring or a row.
    void requestPress(const std::string& id);
    // The window manager made another window active (the workspace's activation observer).
    void frontmostChanged(const TargetApp& app);

    // The find hotkey: find in the open overlay, else a fresh request that opens find.
    void findShortcutPressed() override;
    // The on-screen button and the tray bird's "simplify": each leaves its one-time tip for the
    // next overlay, then toggles the overlay.
    void ovraButtonPressed() override;
    void birdSimplify();
    // Once, when the app has started: the updater, the tray, the on-screen button, the hotkeys,
    // the settings and layout observers, the model, the settings window on Home (unless told
    // not to), the windows' lifecycle and look, and the permission poll.
    void start(Startup startup);

    // The name of the app a request would read: the app in front when it is not this one, else
    // the last other app while it runs.
    std::optional<std::string> targetAppName();

    bool trusted() const { return starter_.trust().trusted(); }
    void setTrusted(bool trusted) { starter_.trust().set(trusted); }
    // Why the main hotkey could not be had; why another than the chosen one is used; why the
    // find hotkey could not be had.
    const std::optional<std::string>& hotkeyError() const { return starter_.hotkeys().error(); }
    const std::optional<std::string>& hotkeyNotice() const { return starter_.hotkeys().notice(); }
    const std::optional<std::string>& findHotkeyError() const {
        return starter_.hotkeys().findError();
    }
    OverlayModel& overlay() { return overlay_; }
    bool overlayVisible() const { return panel_ && panel_->isShown(); }
    const std::optional<TargetSnapshot>& snapshot() const { return shown_.snapshot; }
    void setPendingTip(Tip tip) { starter_.setTip(std::move(tip)); }
    // Called with every change of the state the settings window shows (permission, hotkeys).
    void setStateObserver(std::function<void()> observer) { stateObserver_ = std::move(observer); }

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
        std::uint64_t serial = 0;  // of its reading
        TargetApp target;
        std::optional<Rescan> rescan;
        bool modelWanted = false;
        double modelStart = 0;
    };
    // What a press carries until its outcome is known.
    struct PendingPress {
        std::string label;
        TargetApp target;
        int stepsSaved = 0;
    };

    // Request cycle.
    void run(const TargetApp& target, std::optional<Rescan> rescan);
    // Starts the scan's reading: from the self-test source, else on the accessibility worker.
    void read(const Scan& scan, std::function<WindowSnapshot()> source);
    void readingArrived(Scan scan, const ReadResult& reading);
    void decided(const Scan& scan, std::string note,
                 std::optional<FocusPlanner::Decisions> decisions);
    void showMessage(const std::string& text);
    // The app of the open request quit or was killed: the overlay closes and says so, as its
    // controls are gone. Checked while the overlay shows and whenever a reading arrives.
    void targetClosed(const TargetApp& target);
    void cancelRun();
    FocusPlan makePlan(const TargetSnapshot& snapshot,
                       const FocusPlanner::Decisions* decisions) const;
    int beaconLimit() const;
    TargetApp ownApp() const;

    // Presentation and dismissal.
    void presentPanel(std::optional<Rect> frame);
    void close(bool handBack);
    // Another app's window took the keyboard from the open overlay: it closes, as Escape would,
    // leaving the keyboard where it went, and says why.
    void keyboardTaken();
    OverlayHost::KeyHandler keyForwarder();

    // Keys, press and confirmation.
    void dispatch(const OverlayKeyAction& action);
    void dispatch(const OverlayCommand& command);
    void sidebarKey();
    void activate(const std::string& id);
    void pressed(const PendingPress& press, const PressOutcome& outcome);

    // What find and scrolling ask of the controller.
    void replan() override;
    void rescan() override;
    void announce(const std::string& text) override;
    void announceSelection(const std::optional<std::string>& prefix) override;
    OverlayHost* panel() override { return panel_.get(); }
    void trace(const std::string& line) override;
    bool readsWindows() const override { return !devSnapshot; }
    ReadRequest readRequest(const TargetApp& app, int budget) const override;
    void stopReading() override;
    void readAfterScroll(const TargetApp& app, ScrollDirection direction,
                         const std::optional<std::string>& keepID) override;

    // What start-up asks of the controller.
    void stateChanged() override;

    // Runs `work` after `seconds`, unless the controller is gone by then.
    Scheduler::Token later(double seconds, std::function<void()> work);

    Services services_;
    AppStartup starter_;
    OverlayModel overlay_;
    std::unique_ptr<OverlayHost> panel_;
    ShownReading shown_;
    AutoScan scan_;
    MagnifierFollow zoom_;
    FindSession find_;
    PageScroll scroll_;
    Corrections corrections_;
    TargetChoice targets_;
    TargetWatch watch_;

    // The app of the open request, which a dismiss hands the keyboard back to.
    std::optional<TargetApp> requestTarget_;
    // The current scan: a result tagged with an older generation is dropped.
    std::uint64_t runGeneration_ = 0;
    std::optional<std::stop_source> runStop_;

    Scheduler::Token closeWork_ = 0;
    Scheduler::Token openWork_ = 0;

    // Why the last press pressed nothing, shown with the next plan, and the label of its control,
    // which the plan's panel names.
    std::optional<std::string> pressNotice_;
    std::string pressNoticeAbout_;
    // Keys typed while the overlay reads the window, for the plan once it shows (a number
    // typed as the overlay opens chooses in it); presses among them act nowhere, since no one
    // has seen what they would press.
    std::vector<KeyInput> heldKeys_;
    static constexpr std::size_t kHeldKeys = 16;
    void replayHeldKeys();

    std::optional<OverlayModel::Subscription> overlayWatch_;
    std::function<void()> stateObserver_;

    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace ovra
