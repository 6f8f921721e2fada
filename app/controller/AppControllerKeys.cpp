// The overlay's keys, the press with its second confirmation, and the press itself once the
// overlay has closed.

#include <algorithm>
#include <utility>

#include "app/controller/AppController.h"
#include "app/controller/PressReport.h"
#include "core/ActionSafety.h"
#include "core/OverlayKeys.h"
#include "core/OvraText.h"
#include "core/StepCount.h"

namespace ovra {

bool AppController::handleKey(const KeyInput& key) {
    const bool finding = overlay_.finding();
    const std::optional<OverlayEffect> effect = OverlayKeys::effect(key.overlayKeyPress(finding));
    if (overlay_.phase().loading() && !key.isRepeat) {
        const auto action = effect ? effect->keyAction() : std::nullopt;
        const auto command = effect ? effect->overlayCommand() : std::nullopt;
        if (command && command->kind == OverlayCommand::Kind::close) {
            dispatch(*command);
        } else if (action && action->kind == OverlayKeyAction::Kind::press) {
            services_.beep();  // nothing shown yet to press
        } else if (heldKeys_.size() < kHeldKeys) {
            heldKeys_.push_back(key);
        }
        return true;
    }
    if (!effect) {
        if (finding) {
            return find_.handleKey(key);
        }
        services_.beep();
        return true;
    }
    if (const auto action = effect->keyAction()) {
        dispatch(*action);
    } else if (const auto command = effect->overlayCommand()) {
        dispatch(*command);
    }
    return true;
}

void AppController::replayHeldKeys() {
    // In the order typed; a key that leaves the plan (Escape, a scroll's re-read) ends them.
    const std::vector<KeyInput> keys = std::exchange(heldKeys_, {});
    for (const KeyInput& key : keys) {
        if (!overlay_.phase().plan() || !overlayVisible()) {
            return;
        }
        handleKey(key);
    }
}

void AppController::dispatch(const OverlayKeyAction& action) {
    switch (action.kind) {
        case OverlayKeyAction::Kind::openFind:
            find_.start();
            break;
        case OverlayKeyAction::Kind::press:
            if (const std::optional<FocusItem> item = overlay_.selectedItem()) {
                requestPress(item->id());
            }
            break;
        case OverlayKeyAction::Kind::scroll:
            scroll_.scroll(action.direction, action.step, std::nullopt);
            break;
        case OverlayKeyAction::Kind::ignore:
            break;
    }
}

void AppController::dispatch(const OverlayCommand& command) {
    switch (command.kind) {
        case OverlayCommand::Kind::move:
            scan_.stop();
            overlay_.move(command.number);
            announceSelection(std::nullopt);
            break;
        case OverlayCommand::Kind::choose:
            if (command.number >= 1 &&
                static_cast<std::size_t>(command.number) <= overlay_.navigationOrder().size()) {
                scan_.stop();
                overlay_.select(command.number - 1);
                announceSelection(std::nullopt);
            } else {
                services_.beep();
            }
            break;
        case OverlayCommand::Kind::close:
            dismiss();
            break;
        case OverlayCommand::Kind::why:
            scan_.stop();
            corrections_.explain();
            break;
        case OverlayCommand::Kind::pin:
            corrections_.toggle(FocusOverride::pin);
            break;
        case OverlayCommand::Kind::mute:
            corrections_.toggle(FocusOverride::mute);
            break;
        case OverlayCommand::Kind::showAll:
            scan_.stop();
            overlay_.toggleShowAll();
            announceSelection(std::nullopt);
            break;
        case OverlayCommand::Kind::sidebar:
            sidebarKey();
            break;
        case OverlayCommand::Kind::ignore:
            break;
    }
}

void AppController::sidebarKey() {
    scan_.stop();
    overlay_.toggleSidebar();
    services_.prefs.set(keys::sidebar, overlay_.sidebar());
    replan();
    if (overlay_.sidebar()) {
        announce(OvraText::f(
            "Sidebar showing, %@",
            {OvraText::plural(static_cast<std::int64_t>(overlay_.navigationOrder().size()),
                              "1 thing you can do", "%lld things you can do")}));
    } else {
        announce(OvraText::t("Ovras on the page"));
    }
}

void AppController::requestPress(const std::string& id) {
    if (const auto direction = ScrollMore::direction(id)) {
        scroll_.scroll(*direction, ScrollStep::page, id);
        return;
    }
    if (overlay_.stale()) {
        // The rings show the page as it was before the scroll: a press could hit anything.
        if (services_.log) {
            services_.log("Ovra did not press: the page was scrolled and is read again");
        }
        services_.beep();
        return;
    }
    if (!shown_.snapshot) {
        return;
    }
    const auto& candidates = shown_.snapshot->window.candidates;
    const auto candidate = std::find_if(candidates.begin(), candidates.end(),
                                        [&](const UICandidate& c) { return c.id == id; });
    if (candidate == candidates.end()) {
        return;
    }
    if (devTrace && services_.print) {
        services_.print("trace: press requested: " + candidate->label());
    }
    if (services_.prefs.get(keys::confirmConsequential) &&
        ActionSafety::needsConfirmation(*candidate)) {
        if (overlay_.armedID() == id) {
            activate(id);
            return;
        }
        scan_.stop();
        const std::vector<std::string> order = overlay_.navigationOrder();
        if (const auto at = std::find(order.begin(), order.end(), id); at != order.end()) {
            overlay_.select(static_cast<int>(at - order.begin()));
        }
        overlay_.setArmedID(id);
        announce(OvraText::f("Press Return again to confirm %@", {candidate->label()}));
        return;
    }
    activate(id);
}

void AppController::activate(const std::string& id) {
    if (!shown_.snapshot) {
        return;
    }
    const WindowSnapshot& window = shown_.snapshot->window;
    const auto element = window.elements.find(id);
    const auto candidate = std::find_if(window.candidates.begin(), window.candidates.end(),
                                        [&](const UICandidate& c) { return c.id == id; });
    if (element == window.elements.end() || candidate == window.candidates.end()) {
        return;
    }
    const TargetApp target = shown_.snapshot->app;
    // The counters move only once the press has reached the control.
    PendingPress press{candidate->label(), target, 0};
    if (const FocusPlan* plan = overlay_.phase().plan()) {
        for (const StepCount& count :
             StepCounter::count(*plan, services_.prefs.get(keys::confirmConsequential))) {
            if (count.id == id) {
                press.stepsSaved = std::max(0, count.keyboardOnly - count.withFocus);
            }
        }
    }
    PressJob job{{*candidate,
                  element->second,
                  window.app,
                  window.windowFrame,
                  window.viewport,
                  target.window != 0 ? std::optional(target.window) : std::nullopt,
                  window.windowElement,
                  {}},
                 {target, services_.prefs.get(keys::traversalDepth), kFindBudget, kMaxRawDepth,
                  kNodeBudget}};
    job.request.seenFor = services_.scheduler.now() - shown_.at;
    job.request.seen = window.candidates;
    job.request.seenElements = window.elements;
    job.request.seenSettings = window.settings;
    // The press brings the app forward itself: the close does not hand the keyboard back.
    close(false);
    later(kPressDelay, [this, job = std::move(job), press = std::move(press)]() mutable {
        job.request.forwardSince = ax::systemClock().now();
        // A text field comes forward once focused: no key typed meanwhile reaches its page.
        if (press.target.pid != services_.workspace.ownPid() &&
            !job.request.candidate.isTextInput()) {
            services_.workspace.activateWindowRead(press.target);
        }
        services_.reader.press(
            job, [this, alive = std::weak_ptr<int>(alive_), press](PressOutcome outcome) {
                if (!alive.expired()) {
                    pressed(press, outcome);
                }
            });
    });
}

void AppController::pressed(const PendingPress& press, const PressOutcome& outcome) {
    Preferences& prefs = services_.prefs;
    if (outcome.route) {
        prefs.set(keys::stepsSaved, prefs.get(keys::stepsSaved) + press.stepsSaved);
        prefs.set(keys::ovrasPressed, prefs.get(keys::ovrasPressed) + 1);
    }
    if (services_.log) {
        services_.log(PressReport::logLine(press.label, outcome));
    }
    const std::optional<std::string> why =
        PressReport::sentence(outcome, outcome.failure == PressFailure::waitsForDialog
                                           ? services_.workspace.modalDialogs(press.target)
                                           : std::vector<std::string>{});
    if (!why) {
        return;
    }
    services_.beep();
    const bool running = services_.workspace.isRunning(press.target);
    switch (PressReport::telling(outcome, running, requestTarget_.has_value(),
                                 overlay_.phase().plan() != nullptr)) {
        case PressReport::Telling::onTheOpenPlan:
            scan_.stop();
            overlay_.setSelection(OverlayModel::noSelection);
            overlay_.setNotice(PressReport::aboutControl(press.label, *why));
            announce(PressReport::aboutControl(press.label, *why));
            return;
        case PressReport::Telling::overThePage:
            pressNotice_ = *why;
            pressNoticeAbout_ = press.label;
            if (!requestTarget_) {
                run(press.target, std::nullopt);
            }
            return;
        case PressReport::Telling::alone:
            break;
    }
    cancelRun();
    requestTarget_ = running ? std::optional(press.target) : std::nullopt;
    overlay_.setPhase(OverlayPhase::message(*why));
    overlay_.setShowAll(false);
    presentPanel(std::nullopt);
    announce(*why);
}

void AppController::replan() {
    if (!shown_.snapshot || overlay_.phase().plan() == nullptr) {
        return;
    }
    const std::optional<FocusItem> selected = overlay_.selectedItem();
    const FocusPlan plan = makePlan(*shown_.snapshot, shown_.decided());
    overlay_.setPhase(OverlayPhase::ready(plan));
    const std::vector<std::string> order = overlay_.navigationOrder();
    if (overlay_.selection() == OverlayModel::noSelection) {
        return;  // selects nothing until the user picks
    }
    const auto kept =
        selected ? std::find(order.begin(), order.end(), selected->id()) : order.end();
    overlay_.setSelection(kept != order.end() ? static_cast<int>(kept - order.begin())
                                              : plan.initialSelection(order));
}

}  // namespace ovra
