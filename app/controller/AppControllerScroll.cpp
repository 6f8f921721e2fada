// Scrolling the page under the open overlay.

#include <algorithm>
#include <cmath>

#include "app/controller/AppController.h"
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

void AppController::scroll(ScrollDirection direction, ScrollStep step,
                           const std::optional<std::string>& from) {
    if (!shown_.snapshot) {
        services_.beep();
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
    if (panel_) {
        panel_->setInputTransparent(true);
    }
    services_.scheduler.cancel(rescanWork_);
    rescanWork_ = 0;
    // A re-read under way saw the page before this scroll (a first reading still makes its plan).
    if (overlay_.phase().plan() != nullptr) {
        cancelRun();
    }
    const ScrollBatch batch{direction, step, 1, from};
    if (!scrollRunning_) {
        startScroll(batch);
        return;
    }
    // Keys that come while a scroll runs go with the next one, the same key adding a step.
    ScrollBatch* last = pendingScrolls_.empty() ? nullptr : &pendingScrolls_.back();
    if (last && last->direction == direction && last->step == step) {
        ++last->count;
        last->from = from;
    } else {
        pendingScrolls_.push_back(batch);
    }
}

void AppController::startScroll(const ScrollBatch& batch) {
    const WindowSnapshot& window = shown_.snapshot->window;
    ScrollJob job{batch.direction,
                  batch.step,
                  window.scroll,
                  window.viewport,
                  shown_.snapshot->app.window != 0 ? std::optional(shown_.snapshot->app.window)
                                                   : std::nullopt,
                  devSnapshot != nullptr,
                  batch.count,
                  probeOf(window)};
    scrollRunning_ = true;
    services_.reader.scroll(
        std::move(job), [this, alive = std::weak_ptr<int>(alive_), batch,
                         app = shown_.snapshot->app, session = scrollSession_](ScrollOutcome done) {
            if (!alive.expired()) {
                scrolled(batch, app, session, done);
            }
        });
}

void AppController::scrolled(const ScrollBatch& batch, const TargetApp& app, std::uint64_t session,
                             const ScrollOutcome& outcome) {
    if (services_.log) {
        const std::string line =
            OvraText::format("Ovra scroll: %@, %@, by %@",
                             {std::string(batch.direction == ScrollDirection::up ? "up" : "down"),
                              std::string(batch.step == ScrollStep::page ? "page" : "small"),
                              std::string(outcome ? logName(*outcome) : "nothing")});
        for (int i = 0; i < batch.count; ++i) {
            services_.log(line);
        }
    }
    if (!outcome) {
        services_.beep();
    }
    // The overlay closed meanwhile, or another request replaced the page: nothing to re-read.
    if (session != scrollSession_) {
        return;
    }
    scrollRunning_ = false;
    if (!shown_.snapshot || !shown_.snapshot->app.sameProcess(app) || !overlay_.islandOpen()) {
        pendingScrolls_.clear();
        return;
    }
    scrollMoved_ = scrollMoved_ || outcome.has_value();
    if (!pendingScrolls_.empty()) {
        const ScrollBatch next = pendingScrolls_.front();
        pendingScrolls_.pop_front();
        startScroll(next);
        return;
    }
    if (!scrollMoved_) {
        endScrolling();
        return;
    }
    // One re-read, after the last scroll.
    rescanWork_ =
        later(kRescanDelay, [this, app, rescan = Rescan{batch.direction, batch.from, true}] {
            rescanWork_ = 0;
            run(app, rescan);
        });
}

void AppController::endScrolling() {
    scrollMoved_ = false;
    overlay_.setStale(false);
    if (panel_ && overlay_.islandOpen()) {
        panel_->setInputTransparent(false);
    }
}

void AppController::announceScroll(ScrollDirection direction, const FocusPlan& plan) {
    const std::string choices = OvraText::plural(static_cast<std::int64_t>(plan.choiceCount()),
                                                 "%lld choice", "%lld choices");
    std::string text = direction == ScrollDirection::down
                           ? OvraText::f("Scrolled down. %@.", {choices})
                           : OvraText::f("Scrolled up. %@.", {choices});
    if (shown_.snapshot && shown_.snapshot->window.scroll) {
        const ScrollExtent extent = ScrollMore::extent(shown_.snapshot->window.scroll->signals);
        if (direction == ScrollDirection::down && !extent.moreBelow) {
            text += " " + OvraText::t("End of the page.");
        } else if (direction == ScrollDirection::up && !extent.moreAbove) {
            text += " " + OvraText::t("Top of the page.");
        }
    }
    announce(text);
}

}  // namespace ovra
