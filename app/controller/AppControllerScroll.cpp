// Scrolling the page under the open overlay, and auto-scan: the selection stepping through the
// choices by itself.

#include <algorithm>
#include <cmath>

#include "app/controller/AppController.h"
#include "core/OvraText.h"

namespace ovra {

namespace {

// The page is read again this long after the last scroll.
constexpr double kRescanDelay = 0.3;
// The overlay takes pointer input again this long after the wheel turns were posted.
constexpr double kInputRestoreDelay = 0.15;

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
    if (!snapshot_) {
        services_.beep();
        return;
    }
    stopScan();
    overlay_.setArmedID(std::nullopt);
    overlay_.setExplainID(std::nullopt);
    // A widening that arrived after the re-read would put back the page as it was.
    cancelWiden();
    const WindowSnapshot& window = snapshot_->window;
    ScrollJob job{direction,
                  step,
                  window.scroll,
                  window.viewport,
                  snapshot_->app.window != 0 ? std::optional(snapshot_->app.window) : std::nullopt,
                  devSnapshot != nullptr,
                  probeOf(window)};
    // Wheel turns go to whatever window takes pointer input under the pointer: the page's.
    services_.scheduler.cancel(inputRestore_);
    inputRestore_ = 0;
    if (panel_) {
        panel_->setInputTransparent(true);
    }
    services_.reader.scroll(std::move(job), [this, alive = std::weak_ptr<int>(alive_), direction,
                                             step, from, app = snapshot_->app](ScrollOutcome done) {
        if (!alive.expired()) {
            scrolled(direction, step, from, app, done);
        }
    });
}

void AppController::scrolled(ScrollDirection direction, ScrollStep step,
                             const std::optional<std::string>& from, const TargetApp& app,
                             const ScrollOutcome& outcome) {
    // The overlay closed meanwhile, or another request replaced the page: nothing to re-read.
    const bool current = snapshot_ && snapshot_->app.sameProcess(app) && overlay_.islandOpen();
    if (current && panel_) {
        services_.scheduler.cancel(inputRestore_);
        inputRestore_ = later(kInputRestoreDelay, [this] {
            inputRestore_ = 0;
            if (panel_ && overlay_.islandOpen()) {
                panel_->setInputTransparent(false);
            }
        });
    }
    if (services_.log) {
        services_.log(
            OvraText::format("Ovra scroll: %@, %@, by %@",
                             {std::string(direction == ScrollDirection::up ? "up" : "down"),
                              std::string(step == ScrollStep::page ? "page" : "small"),
                              std::string(outcome ? logName(*outcome) : "nothing")}));
    }
    if (!outcome) {
        services_.beep();
        return;
    }
    if (!current) {
        return;
    }
    overlay_.setStale(true);
    services_.scheduler.cancel(rescanWork_);
    rescanWork_ = later(kRescanDelay, [this, app, rescan = Rescan{direction, from, true}] {
        rescanWork_ = 0;
        run(app, rescan);
    });
}

void AppController::announceScroll(ScrollDirection direction, const FocusPlan& plan) {
    const std::string choices = OvraText::plural(static_cast<std::int64_t>(plan.choiceCount()),
                                                 "%lld choice", "%lld choices");
    std::string text = direction == ScrollDirection::down
                           ? OvraText::f("Scrolled down. %@.", {choices})
                           : OvraText::f("Scrolled up. %@.", {choices});
    if (snapshot_ && snapshot_->window.scroll) {
        const ScrollExtent extent = ScrollMore::extent(snapshot_->window.scroll->signals);
        if (direction == ScrollDirection::down && !extent.moreBelow) {
            text += " " + OvraText::t("End of the page.");
        } else if (direction == ScrollDirection::up && !extent.moreAbove) {
            text += " " + OvraText::t("Top of the page.");
        }
    }
    announce(text);
}

double AppController::scanInterval() const {
    // Held to the settings row's range: a zero interval would step without pause.
    const PreferenceRange range = *keys::scanInterval.clampedTo;
    const double seconds = services_.prefs.get(keys::scanInterval);
    return std::isfinite(seconds) ? std::clamp(seconds, range.low, range.high) : range.low;
}

void AppController::startScan() {
    overlay_.setScanning(true);
    scanSteps_ = 0;
    services_.scheduler.cancel(scanTimer_);
    // The first step waits half an interval longer than the others.
    scanTimer_ = later(scanInterval() * 1.5, [this] { scheduleScanStep(); });
}

void AppController::scheduleScanStep() {
    // The first step, then one every interval.
    scanTimer_ = 0;
    scanTick();
    if (overlay_.scanning()) {
        scanTimer_ = every(scanInterval(), [this] { scanTick(); });
    }
}

void AppController::scanTick() {
    ++scanSteps_;
    // Three rounds over the list, then it stops by itself.
    if (static_cast<std::size_t>(scanSteps_) < 3 * overlay_.navigationOrder().size()) {
        overlay_.move(1);
        announceSelection(std::nullopt);
    } else {
        stopScan();
    }
}

void AppController::stopScan() {
    services_.scheduler.cancel(scanTimer_);
    scanTimer_ = 0;
    overlay_.setScanning(false);
}

}  // namespace ovra
