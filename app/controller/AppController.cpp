// The request cycle: from the request to the numbered plan on screen.

#include "app/controller/AppController.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "app/controller/OverlaySentences.h"
#include "app/controller/PressReport.h"
#include "core/OvraText.h"

namespace ovra {

AppController::AppController(Services services, bool trusted)
    : services_(std::move(services)),
      starter_(*this,
               {services_.prefs, services_.scheduler, services_.model, services_.showDashboard,
                services_.showPermissionNote},
               trusted),
      scan_(services_.scheduler, services_.prefs, overlay_,
            [this] { announceSelection(std::nullopt); }),
      zoom_(services_.scheduler, overlay_, [this] { return overlayVisible(); }),
      find_(*this, overlay_, shown_, scan_, services_.reader, services_.prefs, services_.scheduler),
      scroll_(*this, overlay_, shown_, scan_, find_, services_.reader, services_.scheduler,
              services_.beep, services_.log),
      corrections_(overlay_, shown_, services_.prefs, services_.beep,
                   [this](const std::string& text) { announce(text); }),
      targets_(services_.workspace, services_.reader, services_.log),
      watch_(services_.scheduler, services_.workspace,
             [this](const TargetApp& target) { targetClosed(target); }) {}

AppController::~AppController() {
    Scheduler& scheduler = services_.scheduler;
    for (const Scheduler::Token token : {closeWork_, openWork_}) {
        scheduler.cancel(token);
    }
    if (runStop_) {
        runStop_->request_stop();
    }
    if (overlayWatch_) {
        overlay_.unsubscribe(*overlayWatch_);
    }
}

Scheduler::Token AppController::later(double seconds, std::function<void()> work) {
    return services_.scheduler.after(seconds,
                                     [alive = std::weak_ptr<int>(alive_), work = std::move(work)] {
                                         if (!alive.expired()) {
                                             work();
                                         }
                                     });
}

void AppController::rescan() {
    run(shown_.snapshot->app, Rescan{ScrollDirection::down, std::nullopt, false});
}

void AppController::stopReading() {
    cancelRun();
}

void AppController::readAfterScroll(const TargetApp& app, ScrollDirection direction,
                                    const std::optional<std::string>& keepID) {
    run(app, Rescan{direction, keepID, true});
}

void AppController::trace(const std::string& line) {
    if (devTrace && services_.print) {
        services_.print(line);
    }
}

ReadRequest AppController::readRequest(const TargetApp& app, int budget) const {
    return {app, services_.prefs.get(keys::traversalDepth), budget, kMaxRawDepth, kNodeBudget};
}

TargetApp AppController::ownApp() const {
    TargetApp own;
    own.pid = services_.workspace.ownPid();
    own.processName = "murmlark-ovra";
    own.name = OvraText::t("Murmlark Ovra");
    return own;
}

void AppController::toggle() {
    // An overlay fading out after a close is closed already: the hotkey asks anew.
    if (overlayVisible() && closeWork_ == 0) {
        dismiss();
    } else {
        trigger();
    }
}

void AppController::frontmostChanged(const TargetApp& app) {
    if (targets_.frontChanged(app)) {
        starter_.otherAppCameForward();
    }
}

std::optional<std::string> AppController::targetAppName() {
    return targets_.name();
}

void AppController::trigger() {
    if (devSnapshot) {
        run(ownApp(), std::nullopt);
        return;
    }
    if (!trusted()) {
        if (services_.showDashboard) {
            services_.showDashboard(OvraPane::home);
        }
        return;
    }
    // The target is captured now, before anything of ours is shown.
    const TargetChoice::Choice choice = targets_.choose();
    switch (choice.kind) {
        case TargetChoice::Kind::front:
            run(choice.app, std::nullopt);
            return;
        case TargetChoice::Kind::last:
            services_.workspace.activate(choice.app);
            later(kReactivationDelay, [this, target = choice.app] { run(target, std::nullopt); });
            return;
        case TargetChoice::Kind::unnamed:
            targets_.matchUnnamed(choice.app,
                                  [this](const TargetApp& target) { run(target, std::nullopt); });
            return;
        case TargetChoice::Kind::none:
            break;
    }
    find_.cancelPending();
    requestTarget_.reset();
    watch_.stop();
    const std::string text = OvraText::f("Switch to the app you want to simplify, then press %@.",
                                         {services_.prefs.hotkey().label});
    overlay_.setPhase(OverlayPhase::message(text));
    overlay_.setShowAll(false);
    presentPanel(std::nullopt);
    announce(text);
}

void AppController::findShortcutPressed() {
    if (overlayVisible() && overlay_.phase().plan() && overlay_.islandOpen()) {
        find_.start();
        return;
    }
    find_.openWithNextPlan();
    trigger();
}

void AppController::cancelRun() {
    ++runGeneration_;
    if (runStop_) {
        runStop_->request_stop();
        runStop_.reset();
    }
}

void AppController::run(const TargetApp& target, std::optional<Rescan> rescan) {
    const Preferences& prefs = services_.prefs;
    const bool fresh = !rescan.has_value();
    if (fresh) {
        overlay_.setSidebar(prefs.get(keys::sidebar));
        overlay_.theme = prefs.get(keys::theme);
        overlay_.dimLevel = prefs.get(keys::dimLevel);
        overlay_.textScale = prefs.get(keys::textScale);
        overlay_.pulseEnabled = prefs.get(keys::pulse);
    }
    int budget = prefs.get(keys::maxCandidates);
    if (overlay_.finding()) {
        budget = kFindBudget;
    } else if (overlay_.sidebar()) {
        budget = std::max(budget, kSidebarMinimumBudget);
    }
    shown_.budget = budget;
    find_.pageReadAgain();
    Scan scan;
    scan.target = target;
    scan.rescan = rescan;
    scan.modelWanted = prefs.get(keys::useModel) && !overlay_.finding();
    overlay_.setArmedID(std::nullopt);
    scan_.stop();
    cancelRun();
    scan.generation = runGeneration_;
    scan.serial = shown_.nextSerial();
    // The reading starts first: it runs on the worker while the overlay comes up.
    read(scan, devSnapshot);
    if (fresh) {
        // A notice or an explanation belongs to the overlay it was given in.
        overlay_.setNotice(std::nullopt);
        overlay_.setExplainID(std::nullopt);
        requestTarget_ = target;
        overlay_.setPhase(
            OverlayPhase::loading(target.name.empty() ? OvraText::t("window") : target.name));
        overlay_.setShowAll(false);
        overlay_.setSelection(0);
        presentPanel(target.frame.isNull() ? std::nullopt : std::optional(target.frame));
        // Its app is watched until the overlay closes.
        watch_.watch(target);
    }
}

void AppController::targetClosed(const TargetApp& target) {
    const std::string text = TargetWatch::sentence(target);
    if (services_.log) {
        services_.log("Ovra message: " + text);
    }
    // Nothing to hand the keyboard back to.
    close(false);
    // After the close, which silences what the overlay was saying.
    announce(text);
}

void AppController::read(const Scan& scan, std::function<WindowSnapshot()> source) {
    // Only the newest scan's reading is taken; an older one's arrives and is dropped here.
    const auto current = [this, alive = std::weak_ptr<int>(alive_)](const Scan& s) {
        return !alive.expired() && s.generation == runGeneration_;
    };
    if (source) {
        later(0, [this, current, scan, source = std::move(source)] {
            if (current(scan)) {
                readingArrived(scan, source());
            }
        });
        return;
    }
    runStop_.emplace();
    services_.reader.read(readRequest(scan.target, shown_.budget), runStop_->get_token(),
                          [this, current, scan](const ReadResult& reading) {
                              if (current(scan)) {
                                  readingArrived(scan, reading);
                              }
                          });
}

void AppController::showMessage(const std::string& text) {
    if (services_.log) {
        services_.log("Ovra message: " + text);
    }
    find_.cancelPending();
    scroll_.settle();
    heldKeys_.clear();  // there is no plan for them
    // After a press that pressed nothing, why it did not comes first, said once.
    const std::optional<std::string> why = std::exchange(pressNotice_, std::nullopt);
    const std::string notice = why && *why != text ? *why + " " : "";
    overlay_.setPhase(OverlayPhase::message(notice + text));
    // A card is told as every other sentence of the overlay is.
    announce(notice + text);
}

void AppController::readingArrived(Scan scan, const ReadResult& reading) {
    runStop_.reset();
    // An app that went away during its reading: what was read of it is gone with it.
    if (watch_.gone(scan.target)) {
        targetClosed(scan.target);
        return;
    }
    if (!reading) {
        if (reading.error() == AXExtractorError::blockedByDialog) {
            showMessage(
                PressReport::waitingForDialog(services_.workspace.modalDialogs(scan.target)));
        } else if (reading.error() != AXExtractorError::cancelled) {
            showMessage(description(reading.error()));
        }
        return;
    }
    // The reading is kept even if a newer request supersedes this one before its plan is made:
    // scrolling and find plan from it. The plan is only ever made for the current scan.
    shown_.snapshot = TargetSnapshot{scan.target, reading.value()};
    shown_.at = services_.scheduler.now();
    shown_.serial = scan.serial;
    const WindowSnapshot& window = shown_.snapshot->window;
    targets_.named(scan.target, window.appName);
    presentPanel(window.windowFrame.isNull() ? std::nullopt : std::optional(window.windowFrame));

    if (window.candidates.empty()) {
        const ScrollExtent extent =
            window.scroll ? ScrollMore::extent(window.scroll->signals) : ScrollExtent::none();
        if (extent == ScrollExtent::none()) {
            showMessage(OvraText::t("No buttons or fields found in this window."));
            return;
        }
    }

    DecisionModel& model = services_.model;
    if (scan.modelWanted) {
        model.resumeAfterMemoryPause(true);
    }
    if (!scan.modelWanted || !model.isReady()) {
        decided(scan, OvraText::t("Heuristic mode"), std::nullopt);
        return;
    }
    scan.modelStart = services_.scheduler.now();
    model.decide(window, [this, alive = std::weak_ptr<int>(alive_),
                          scan](std::optional<FocusPlanner::Decisions> answer) {
        // A scan superseded while the model decided has written `shown_.snapshot` (above) but never
        // plans, presents or announces: its answer stops here.
        if (alive.expired() || scan.generation != runGeneration_) {
            return;
        }
        if (!answer) {
            services_.model.recoverLostWorker();
            decided(scan,
                    OvraText::t("Built-in rules this time: the on-device model stopped, "
                                "restarting it"),
                    std::nullopt);
            return;
        }
        const double elapsed = (services_.scheduler.now() - scan.modelStart) * 1000;
        const auto ms =
            static_cast<std::int64_t>(std::isfinite(elapsed) ? std::max(0.0, elapsed) : 0.0);
        decided(scan, OvraText::f("On-device model · %lld ms", {ms}), std::move(answer));
    });
}

void AppController::decided(const Scan& scan, std::string note,
                            std::optional<FocusPlanner::Decisions> decisions) {
    if (services_.log) {
        services_.log(OvraText::format("Ovra press: %@ (model %@)",
                                       {note, std::string(scan.modelWanted ? "wanted" : "off")}));
    }
    if (!shown_.snapshot) {
        return;
    }
    shown_.decisions = std::move(decisions);
    const FocusPlan plan = makePlan(*shown_.snapshot, shown_.decided());

    const auto& candidates = shown_.snapshot->window.candidates;
    const auto unlabeled = std::count_if(candidates.begin(), candidates.end(),
                                         [](const UICandidate& c) { return c.label().empty(); });
    if (static_cast<std::ptrdiff_t>(candidates.size()) < 2 * unlabeled) {
        note += " · " + OvraText::t("this app labels few controls, results may be off");
    }
    overlay_.setEngineNote(note);
    overlay_.setPhase(OverlayPhase::ready(plan));
    overlay_.setStale(scroll_.underWay());  // a scroll key came meanwhile
    const std::vector<std::string> order = overlay_.navigationOrder();

    if (!scan.rescan) {
        overlay_.setSelection(plan.initialSelection(order));
        if (const std::optional<std::string> tip = starter_.takeTip()) {
            overlay_.setNotice(*tip);
        }
        if (shown_.snapshot->window.untoldOverlaps > 0) {
            overlay_.setNotice(OvraText::t(
                "Some controls here lie one over another, so they are left out: which one you "
                "see could not be told."));
        }
        const std::optional<std::string> zoomTip = zoom_.tip();
        if (zoomTip) {
            overlay_.setNotice(*zoomTip);
        }
        if (find_.openIfPending()) {
            replayHeldKeys();
            return;
        }
        if (pressNotice_) {
            // The page again after a press that pressed nothing: why comes first, and nothing
            // is selected, so a second Return given to confirm presses nothing else.
            const std::string notice = PressReport::aboutControl(
                pressNoticeAbout_, *std::exchange(pressNotice_, std::nullopt));
            overlay_.setSelection(OverlayModel::noSelection);
            overlay_.setNotice(notice);
            announceSelection(notice);
            heldKeys_.clear();
            return;
        }
        // The notice shown with the plan (a tip, controls left out) is told with the opening,
        // as one sentence: a second announcement would cut the first short.
        const std::string opening = OverlaySentences::opening(overlay_, plan);
        announce(overlay_.notice() ? opening + ". " + *overlay_.notice() : opening);
        if (services_.prefs.get(keys::autoScan) && plan.beaconOrder.size() >= 2) {
            scan_.start();
        }
        replayHeldKeys();
        return;
    }

    const Rescan& rescan = *scan.rescan;
    scroll_.settle();
    zoom_.forget();
    // The page moved under the overlay: its picture is taken again where one is painted.
    if (panel_) {
        panel_->refreshBackdrop();
    }
    int selection = 0;
    const auto kept =
        rescan.keepID ? std::find(order.begin(), order.end(), *rescan.keepID) : order.end();
    if (kept != order.end()) {
        selection = static_cast<int>(kept - order.begin());
    } else if (!overlay_.finding()) {
        selection = plan.initialSelection(order);
    }
    overlay_.setSelection(selection);
    if (devTrace && services_.print) {
        const std::optional<FocusItem> selected = overlay_.selectedItem();
        services_.print("trace: rescanned: " + std::to_string(order.size()) + " items, selected " +
                        (selected ? selected->displayLabel : "none"));
    }
    if (rescan.announce) {
        const auto& scroll = shown_.snapshot->window.scroll;
        announce(OverlaySentences::scrolled(
            rescan.direction, plan,
            scroll ? std::optional(ScrollMore::extent(scroll->signals)) : std::nullopt));
    }
}

int AppController::beaconLimit() const {
    return overlay_.sidebar() ? FocusPlanner::noCap : services_.prefs.get(keys::maxBeacons);
}

FocusPlan AppController::makePlan(const TargetSnapshot& snapshot,
                                  const FocusPlanner::Decisions* decisions) const {
    const WindowSnapshot& window = snapshot.window;
    FocusPlan plan =
        FocusPlanner::plan(window.candidates, decisions, beaconLimit(),
                           services_.prefs.focusOverrides(), snapshot.correctionsKey());
    if (window.scroll) {
        const double scale = services_.prefs.get(keys::textScale);
        plan = plan.addingScrollItems(ScrollMore::extent(window.scroll->signals),
                                      window.scroll->signals.visible,
                                      Size{kScrollItemWidth * scale, kScrollItemHeight * scale});
    }
    return plan;
}

}  // namespace ovra
