#pragma once

// Find in the open overlay: a filter typed or dictated over every action of the window, shown in
// the sidebar list. Opening find widens the reading to the find budget in the background;
// closing it puts back what was shown before, or reads the page again when it was scrolled
// meanwhile. The number of matches is said once the typing pauses.

#include <cstdint>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>

#include "app/controller/AutoScan.h"
#include "app/controller/ControllerServices.h"
#include "app/controller/Preferences.h"
#include "app/controller/ShownReading.h"
#include "app/overlay/OverlayModel.h"
#include "platform/scheduler/Scheduler.h"

namespace ovra {

class FindSession final {
  public:
    // What find asks of the controller it runs in.
    class Host {
      public:
        virtual ~Host() = default;
        // Plans again from the reading shown, keeping the selection where it can.
        virtual void replan() = 0;
        // Reads the page again while the overlay stays open.
        virtual void rescan() = 0;
        virtual void announce(const std::string& text) = 0;
        // Says the selection, after `prefix` when given.
        virtual void announceSelection(const std::optional<std::string>& prefix) = 0;
        // The overlay's window; none before it was first shown.
        virtual OverlayHost* panel() = 0;
        // One line of the self-tests' trace; nothing unless they trace.
        virtual void trace(const std::string& line) = 0;
        // False while a self-test hands out the readings: nothing is read from a window.
        virtual bool readsWindows() const = 0;
        // The reading of the app's window with this many candidates at most.
        virtual ReadRequest readRequest(const TargetApp& app, int budget) const = 0;
    };

    // The candidates a reading for find asks for.
    static constexpr int kBudget = 150;

    FindSession(Host& host, OverlayModel& overlay, ShownReading& shown, AutoScan& scan,
                AccessibilityWorker& reader, const Preferences& prefs, Scheduler& scheduler);
    ~FindSession();
    FindSession(const FindSession&) = delete;
    FindSession& operator=(const FindSession&) = delete;

    // The find hotkey before a plan is shown: find opens on the next one.
    void openWithNextPlan() { pending_ = true; }
    void cancelPending() { pending_ = false; }
    // A fresh plan is shown: opens find on it when asked for; whether it did.
    bool openIfPending();

    void start();
    // A key the overlay's key map left to the find field: moves, Escape, the editing keys
    // (any other Ctrl key is swallowed). Whether it was taken.
    bool handleKey(const KeyInput& key);
    void end();

    // The page is read again: a widening under way would put back the page as it was, and the
    // list saved when find opened no longer matches it.
    void pageReadAgain();
    // Stops a widening under way: its reading is dropped when it arrives.
    void cancelWiden();
    // The overlay closed: find ends with it, quietly.
    void closed();
    // From now on the matches are said once the typing pauses.
    void watchQuery() { seenQuery_ = overlay_.query(); }
    // The overlay is about to change its query: checked on the next turn.
    void queryChanging();

  private:
    // What was shown when find opened, put back when it closes.
    struct Saved {
        TargetSnapshot snapshot;
        std::optional<FocusPlanner::Decisions> decisions;
    };

    void widen();
    void widened(std::uint64_t serial, WindowSnapshot wide);
    void queryMaybeChanged();
    void announceMatches();

    Host& host_;
    OverlayModel& overlay_;
    ShownReading& shown_;
    AutoScan& scan_;
    AccessibilityWorker& reader_;
    const Preferences& prefs_;
    Scheduler& scheduler_;

    bool pending_ = false;
    bool restoresOvras_ = false;  // the rings were shown when find opened
    std::optional<Saved> saved_;
    bool scrolled_ = false;
    std::uint64_t widening_ = 0;  // serial of the widening read under way; 0 when none
    std::optional<std::stop_source> widenStop_;
    std::string seenQuery_;
    Scheduler::Token queryCheck_ = 0;
    Scheduler::Token matchesWork_ = 0;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace ovra
