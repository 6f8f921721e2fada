#include "app/controller/PageScroll.h"

#include <cmath>

#include "core/OvraText.h"

namespace ovra {

namespace {

// The page is read again this long after the last scroll.
constexpr double kRescanDelay = 0.3;

// The control nearest the middle of the scrolled area: it moves with the page, where a bar
// fixed at an edge would not.
std::optional<ax::Element> probeOf(const WindowSnapshot& window) {
    const Rect area = window.scroll ? window.scroll->signals.visible : window.viewport;
    std::optional<ax::Element> probe;
    double best = 0;
    for (const UICandidate& candidate : window.candidates) {
        const auto element = window.elements.find(candidate.id);
        if (element == window.elements.end() || !area.contains(candidate.frame.center())) {
            continue;
        }
        const double distance = std::abs(candidate.frame.midY() - area.midY());
        if (!probe || distance < best) {
            probe = element->second;
            best = distance;
        }
    }
    return probe;
}

}  // namespace

PageScroll::PageScroll(Host& host, OverlayModel& overlay, const ShownReading& shown, AutoScan& scan,
                       FindSession& find, AccessibilityWorker& worker, Scheduler& scheduler,
                       std::function<void()> beep, std::function<void(const std::string&)> log)
    : host_(host),
      overlay_(overlay),
      shown_(shown),
      scan_(scan),
      find_(find),
      worker_(worker),
      scheduler_(scheduler),
      beep_(std::move(beep)),
      log_(std::move(log)) {}

PageScroll::~PageScroll() {
    scheduler_.cancel(rescanWork_);
}

void PageScroll::scroll(ScrollDirection direction, ScrollStep step,
                        const std::optional<std::string>& from) {
    if (!shown_.snapshot) {
        beep_();
        return;
    }
    scan_.stop();
    overlay_.setArmedID(std::nullopt);
    overlay_.setExplainID(std::nullopt);
    // A widening that arrived after the re-read would put back the page as it was.
    find_.cancelWiden();
    // From the key on the rings no longer show the page (a press beeps), and pointer input goes
    // through to it, so every wheel turn lands, until the page is read again.
    overlay_.setStale(true);
    if (OverlayHost* panel = host_.panel()) {
        panel->setInputTransparent(true);
    }
    scheduler_.cancel(rescanWork_);
    rescanWork_ = 0;
    // A re-read under way saw the page before this scroll (a first reading still makes its plan).
    if (overlay_.phase().plan() != nullptr) {
        host_.stopReading();
    }
    const Batch batch{direction, step, 1, from};
    if (!running_) {
        start(batch);
        return;
    }
    // Keys that come while a scroll runs go with the next one, the same key adding a step.
    Batch* last = pending_.empty() ? nullptr : &pending_.back();
    if (last && last->direction == direction && last->step == step) {
        ++last->count;
        last->from = from;
    } else {
        pending_.push_back(batch);
    }
}

void PageScroll::start(const Batch& batch) {
    const WindowSnapshot& window = shown_.snapshot->window;
    ScrollJob job{batch.direction,
                  batch.step,
                  window.scroll,
                  window.viewport,
                  shown_.snapshot->app.window != 0 ? std::optional(shown_.snapshot->app.window)
                                                   : std::nullopt,
                  !host_.readsWindows(),
                  batch.count,
                  probeOf(window)};
    running_ = true;
    worker_.scroll(std::move(job),
                   [this, alive = std::weak_ptr<int>(alive_), batch, app = shown_.snapshot->app,
                    session = session_](ScrollOutcome done) {
                       if (!alive.expired()) {
                           scrolled(batch, app, session, done);
                       }
                   });
}

void PageScroll::scrolled(const Batch& batch, const TargetApp& app, std::uint64_t session,
                          const ScrollOutcome& outcome) {
    if (log_) {
        const std::string line =
            OvraText::format("Ovra scroll: %@, %@, by %@",
                             {std::string(batch.direction == ScrollDirection::up ? "up" : "down"),
                              std::string(batch.step == ScrollStep::page ? "page" : "small"),
                              std::string(outcome ? logName(*outcome) : "nothing")});
        for (int i = 0; i < batch.count; ++i) {
            log_(line);
        }
    }
    if (!outcome) {
        beep_();
    }
    // The overlay closed meanwhile, or another request replaced the page: nothing to re-read.
    if (session != session_) {
        return;
    }
    running_ = false;
    if (!shown_.snapshot || !shown_.snapshot->app.sameProcess(app) || !overlay_.islandOpen()) {
        pending_.clear();
        return;
    }
    moved_ = moved_ || outcome.has_value();
    if (!pending_.empty()) {
        const Batch next = pending_.front();
        pending_.pop_front();
        start(next);
        return;
    }
    if (!moved_) {
        settle();
        return;
    }
    // One re-read, after the last scroll.
    rescanWork_ = scheduler_.after(kRescanDelay, [this, app, batch] {
        rescanWork_ = 0;
        host_.readAfterScroll(app, batch.direction, batch.from);
    });
}

void PageScroll::settle() {
    moved_ = false;
    overlay_.setStale(false);
    if (OverlayHost* panel = host_.panel(); panel && overlay_.islandOpen()) {
        panel->setInputTransparent(false);
    }
}

void PageScroll::closed() {
    scheduler_.cancel(rescanWork_);
    rescanWork_ = 0;
    ++session_;
    running_ = false;
    pending_.clear();
    moved_ = false;
}

}  // namespace ovra
