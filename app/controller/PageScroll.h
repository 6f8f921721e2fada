#pragma once

// Scrolling the page under the open overlay: one scroll at a time on the accessibility worker,
// the keys that come meanwhile gathered into the next (the same key adding a step), and one
// reading of the page after the last. From the first key until the page is read again the rings
// no longer show the page (a press beeps) and pointer input goes through to it, so every wheel
// turn lands.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/controller/AutoScan.h"
#include "app/controller/ControllerServices.h"
#include "app/controller/FindSession.h"
#include "app/controller/ShownReading.h"
#include "app/overlay/OverlayModel.h"
#include "platform/scheduler/Scheduler.h"

namespace ovra {

class PageScroll final {
  public:
    // What scrolling asks of the controller it runs in.
    class Host {
      public:
        virtual ~Host() = default;
        // Drops the reading under way: it saw the page before the scroll.
        virtual void stopReading() = 0;
        // Reads the scrolled page, keeping the selection on `keepID` where it is, and says
        // the scroll.
        virtual void readAfterScroll(const TargetApp& app, ScrollDirection direction,
                                     const std::optional<std::string>& keepID) = 0;
        // The overlay's window; none before it was first shown.
        virtual OverlayHost* panel() = 0;
        // False while a self-test hands out the readings: nothing is scrolled, a trace says so.
        virtual bool readsWindows() const = 0;
    };

    PageScroll(Host& host, OverlayModel& overlay, const ShownReading& shown, AutoScan& scan,
               FindSession& find, AccessibilityWorker& worker, Scheduler& scheduler,
               std::function<void()> beep, std::function<void(const std::string&)> log);
    ~PageScroll();
    PageScroll(const PageScroll&) = delete;
    PageScroll& operator=(const PageScroll&) = delete;

    // A scroll key, or a scroll item pressed (`from`).
    void scroll(ScrollDirection direction, ScrollStep step, const std::optional<std::string>& from);
    // The page is shown as it is now: presses count again and the overlay takes the pointer.
    void settle();
    // Whether the page may have moved since the reading shown: a scroll runs or its reading
    // waits.
    bool underWay() const { return running_ || rescanWork_ != 0; }
    // The overlay closed: a scroll that ends later changes nothing.
    void closed();

  private:
    // Scroll keys of one kind, scrolled as one.
    struct Batch {
        ScrollDirection direction = ScrollDirection::down;
        ScrollStep step = ScrollStep::page;
        int count = 1;
        std::optional<std::string> from;  // the scroll item pressed last, if any
    };

    void start(const Batch& batch);
    void scrolled(const Batch& batch, const TargetApp& app, std::uint64_t session,
                  const ScrollOutcome& outcome);

    Host& host_;
    OverlayModel& overlay_;
    const ShownReading& shown_;
    AutoScan& scan_;
    FindSession& find_;
    AccessibilityWorker& worker_;
    Scheduler& scheduler_;
    std::function<void()> beep_;
    std::function<void(const std::string&)> log_;

    bool running_ = false;
    std::deque<Batch> pending_;
    bool moved_ = false;  // since the page was last read
    // A close starts a new session; a scroll of an older one that ends later changes nothing.
    std::uint64_t session_ = 0;
    Scheduler::Token rescanWork_ = 0;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace ovra
