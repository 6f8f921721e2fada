#include "app/accessibility/ElementActions.h"

#include "app/accessibility/BoundedReader.h"
#include "app/accessibility/DialogInFront.h"
#include "app/accessibility/PointerHome.h"
#include "app/accessibility/PressLanding.h"

namespace ovra {
namespace {

bool bigEnough(const Rect& rect) {
    // Written so that NaN sizes fail.
    return !rect.isNull() && rect.isFinite() && rect.width() > 1 && rect.height() > 1;
}

// The question of what is painted where the chosen control lies now (`frame`): the other
// controls of the reading are kept apart from the point asked.
PaintedAtPress::Question paintQuestion(const PressRequest& request, const ax::Element& element,
                                       const Rect& frame) {
    PaintedAtPress::Question q{
        request.windowElement,
        element,
        PaintedAtPress::visiblePart(frame, request.visible, request.windowFrame),
        {},
        std::nullopt};
    for (const UICandidate& other : request.seen) {
        if (!(other == request.candidate)) {
            q.others.push_back(other.frame);
        }
    }
    return q;
}

}  // namespace

std::string_view rawValue(PressRoute route) {
    switch (route) {
        case PressRoute::focused:
            return "focused";
        case PressRoute::clicked:
            return "clicked";
        case PressRoute::pressed:
            return "pressed";
        case PressRoute::confirmed:
            return "confirmed";
    }
    return "pressed";
}

std::string_view rawValue(PressFailure failure) {
    switch (failure) {
        case PressFailure::changed:
            return "changed";
        case PressFailure::refused:
            return "refused";
        case PressFailure::unsure:
            return "unsure";
        case PressFailure::disabled:
            return "disabled";
        case PressFailure::covered:
            return "covered";
        case PressFailure::notResponding:
            return "not responding";
        case PressFailure::appClosed:
            return "app closed";
    }
    return "refused";
}

AXActions::AXActions(ax::AccessibilityBackend& backend, input::InputSynthesizer& input, Hooks hooks)
    : backend_(backend), input_(input), hooks_(std::move(hooks)) {}

bool AXActions::isInWebArea(const ax::Element& element) {
    ax::Element current = element;
    for (int examined = 1; !current.isNull(); ++examined) {
        if (auto role = backend_.attribute(current, "AXRole")) {
            if (const auto* text = ax::asString(*role); text && *text == "AXWebArea") {
                return true;
            }
        }
        if (examined >= kMaxWebAreaDepth) {
            return false;
        }
        auto parent = backend_.attribute(current, "AXParent");
        if (!parent) {
            return false;
        }
        auto next = ax::asElement(*parent);
        if (!next || next->isNull()) {
            return false;
        }
        current = std::move(*next);
    }
    return false;
}

void AXActions::putPointerBack(std::optional<Point> home) {
    if (home && putsPointerBack(hooks_.magnifierOn)) {
        input_.movePointer(*home);
    }
}

bool AXActions::clickCenter(const Rect& rect) {
    if (!bigEnough(rect)) {
        return false;
    }
    const std::optional<Point> home = input_.pointerLocation();
    if (!input_.click(rect.center())) {
        return false;
    }
    putPointerBack(home);
    return true;
}

void AXActions::awaitActiveWindow(const PressRequest& request) {
    if (request.windowElement.isNull()) {
        return;
    }
    const double until = clock().now() + kActivationWait;
    for (;;) {
        backend_.applicationElement(request.app);  // takes in what the app told since
        const auto active = backend_.attribute(request.windowElement, "AXMain");
        // An app that does not tell is not waited for.
        if (!active || ax::asBool(*active) != false || clock().now() >= until) {
            return;
        }
        clock().sleep(kPoll);
    }
}

void AXActions::awaitPicture(const PressRequest& request, double since) {
    const Told told = listen(request, since, since + kPictureCatchUp);
    if (told == Told::settled) {
        return;
    }
    awaitActiveWindow(request);
    if (told == Told::quiet) {
        return;
    }
    // The page changed as its window came forward, or the browser cannot say: the whole wait,
    // from when the window is the active one.
    const double until = clock().now() + kPictureCatchUp;
    while (clock().now() < until) {
        if (!ElementIdentity::look(backend_, request.app, request.element)) {
            return;
        }
        clock().sleep(kPoll);
    }
}

AXActions::Told AXActions::listen(const PressRequest& request, double since, double until) {
    // What the focus went to, by element: whether it lies in web content.
    std::vector<std::pair<ax::Element, bool>> focused;
    const auto inPage = [&](const ax::Element& source) {
        for (const auto& [element, page] : focused) {
            if (element == source) {
                return page;
            }
        }
        focused.emplace_back(source, isInWebArea(source));
        return focused.back().second;
    };
    std::optional<double> pageFocusedAt;
    while (clock().now() < until) {
        const auto told = backend_.changesSince(request.element, since);
        if (!told) {
            return Told::unknown;
        }
        for (const ax::Change& change : *told) {
            if (change.kind == ax::Change::Kind::content) {
                return Told::changed;
            }
            if (change.kind == ax::Change::Kind::focus && !pageFocusedAt && inPage(change.source)) {
                // Asking what lies under the control, as a screen reader does, makes a browser
                // that holds back its page's changes (Chromium) send them at once; asked where
                // the last look asks, it lets a browser that answers late look at what is painted
                // there meanwhile.
                if (!request.windowElement.isNull()) {
                    const auto q = paintQuestion(request, request.element, request.candidate.frame);
                    const Point at = PaintedAtPress::firstPoint(q.region, q.others)
                                         .value_or(request.candidate.frame.center());
                    (void)backend_.elementAtPoint(request.windowElement, at);
                    asked_ = PaintedAtPress::Asked{at, clock().now()};
                }
                pageFocusedAt = clock().now();
            }
        }
        if (pageFocusedAt && clock().now() - *pageFocusedAt >= kAfterPageFocus) {
            return Told::settled;
        }
        clock().sleep(kListen);
    }
    return Told::quiet;
}

PressFailure AXActions::whyLost(const PressRequest& request) {
    const auto role = backend_.attribute(backend_.applicationElement(request.app), "AXRole");
    if (role) {
        return PressFailure::changed;
    }
    switch (role.error()) {
        case ax::AXError::timeout:
            return PressFailure::notResponding;
        case ax::AXError::appGone:
            return PressFailure::appClosed;
        default:
            return PressFailure::changed;
    }
}

std::optional<PresentControl> AXActions::newest(const PressRequest& request,
                                                PresentControl target) {
    // Pressed while just drawn, the control is there when the press arrives however late the
    // browser showed it; a control the page left alone this long is there anyway. The next
    // drawing is looked for among the children of the last one's container first: a reading of
    // the whole window would leave it old by the time it is found.
    ax::Element container;
    if (auto parent = backend_.attribute(target.element, "AXParent")) {
        container = ax::asElement(parent.value()).value_or(ax::Element());
    }
    const double until = clock().now() + kRedrawWait;
    while (clock().now() < until) {
        clock().sleep(kPoll);
        const auto now = ElementIdentity::look(backend_, request.app, target.element);
        if (now && now->frame &&
            ElementIdentity::standsFor(request.candidate, now->role, now->label, *now->frame)) {
            continue;
        }
        std::optional<PresentControl> drawn = drawnIn(request, container);
        if (!drawn) {
            drawn = ElementIdentity::present(request.candidate, target.element, std::nullopt,
                                             request.windowFrame, request.readWindow);
        }
        if (drawn) {
            drawn->replaced = true;
        }
        return drawn;
    }
    return target;
}

std::optional<PresentControl> AXActions::drawnIn(const PressRequest& request,
                                                 const ax::Element& container) {
    static constexpr std::size_t kMostChildren = 64;
    auto kids = container.isNull() ? Result<ax::ElementList, ax::AXError>(ax::ElementList())
                                   : backend_.children(container, kMostChildren);
    if (!kids) {
        return std::nullopt;
    }
    for (const ax::Element& kid : kids.value()) {
        const auto seen = ElementIdentity::lookAgain(backend_, kid);
        if (seen && seen->frame &&
            (request.windowFrame.isNull() || seen->frame->intersects(request.windowFrame)) &&
            ElementIdentity::standsFor(request.candidate, seen->role, seen->label, *seen->frame)) {
            return PresentControl{kid, *seen->frame, true};
        }
    }
    return std::nullopt;
}

PaintedAtPress::Answer AXActions::painted(const PressRequest& request, const ax::Element& element,
                                          const Rect& frame) {
    BoundedReader reader(backend_, clock(), {},
                         {.deadlineSeconds = kPaintedLookLongest,
                          .maxConsecutiveTimeouts = 1,
                          .finishingSeconds = 0});
    auto q = paintQuestion(request, element, frame);
    q.asked = asked_;
    return PaintedAtPress::ask(reader, q);
}

bool AXActions::underPointer(const PressRequest& request, const PresentControl& target,
                             Point point) {
    const auto now = ElementIdentity::look(backend_, request.app, target.element);
    if (!now || !now->frame || !now->frame->contains(point) ||
        !ElementIdentity::standsFor(request.candidate, now->role, now->label, *now->frame)) {
        return false;
    }
    auto hit = backend_.elementAtPoint(request.windowElement, point);
    if (!hit) {
        return false;
    }
    // The element hit is the control or lies inside it (a button's text).
    ax::Element current = hit.value();
    for (int level = 0; level < kMaxWebAreaDepth && !current.isNull(); ++level) {
        if (current == target.element) {
            return true;
        }
        auto parent = backend_.attribute(current, "AXParent");
        auto next = parent ? ax::asElement(*parent) : std::nullopt;
        current = next ? std::move(*next) : ax::Element();
    }
    if (isInWebArea(target.element)) {
        return false;
    }
    // Outside web content: GTK 4 answers no hit test (4.8), so the window itself comes back, and
    // the window manager's answer and the fresh look decide; Qt answers one on a list's cell with
    // a new object for that cell each time, so an element of the chosen role and label with the
    // very frame is the control.
    if (hit.value() == request.windowElement) {
        return true;
    }
    const auto found = ElementIdentity::lookAgain(backend_, hit.value());
    return found && found->frame && *found->frame == *now->frame && found->role == now->role &&
           ElementIdentity::sameLabel(found->label, now->label);
}

bool AXActions::clickControl(const PressRequest& request, const PresentControl& target) {
    const Rect shown = target.frame.intersection(request.visible);
    if (!request.window || request.windowElement.isNull() || !bigEnough(shown)) {
        return false;
    }
    if (hooks_.ignoreOwnPointerInput) {
        hooks_.ignoreOwnPointerInput();
    }
    // Another window (a dialog, a menu, a window that moved in front) would take the click.
    const Point point = shown.center();
    if (!input_.isWindowAt(*request.window, point)) {
        return false;
    }
    const std::optional<Point> home = input_.pointerLocation();
    if (!input_.movePointer(point)) {
        return false;
    }
    // A page may change under the pointer as it arrives: what is there once it has had its
    // moment is what the button goes down on, and the release follows at once.
    clock().sleep(kPointerSettle);
    const bool clicked = input_.isWindowAt(*request.window, point) &&
                         underPointer(request, target, point) && input_.pressAt(point);
    putPointerBack(home);
    return clicked;
}

bool AXActions::chosenAfterClick(const ax::Element& element) {
    for (const double until = clock().now() + kRowShowsChosen;;) {
        const auto selected = backend_.attribute(element, "AXSelected");
        if (selected && ax::asBool(*selected) == true) {
            return true;
        }
        if (clock().now() >= until) {
            return false;
        }
        clock().sleep(kPoll);
    }
}

bool AXActions::raise(std::optional<input::WindowId> window, const ax::Element& windowElement) {
    bool raised = window && input_.activateWindow(*window);
    if (!windowElement.isNull() && !backend_.performAction(windowElement, "AXRaise")) {
        raised = true;
    }
    return raised;
}

bool AXActions::focus(const ax::Element& element) {
    return !backend_.setAttribute(element, "AXFocused", ax::Value(true)).has_value();
}

PressOutcome AXActions::focusField(const PressRequest& request) {
    PressOutcome outcome;
    const auto now = ElementIdentity::look(backend_, request.app, request.element);
    const PressFailure lost = now ? PressFailure::changed : whyLost(request);
    // The field itself while it is there, whatever its label became; one the page made anew
    // where it stood.
    std::optional<PresentControl> target;
    if (now && now->frame && now->role == request.candidate.role) {
        target = PresentControl{request.element, *now->frame, false};
    } else if (lost == PressFailure::changed) {
        target = ElementIdentity::present(request.candidate, request.element, now,
                                          request.windowFrame, request.readWindow);
    }
    if (!target) {
        outcome.failure = lost == PressFailure::changed ? whyLost(request) : lost;
    } else if (now && !target->replaced && now->enabled == false) {
        outcome.failure = PressFailure::disabled;
    } else if (focus(target->element)) {
        // Never its press action, which submits the dialog's default button.
        outcome.route = PressRoute::focused;
    }
    // The window comes forward only once the field has the focus: whatever the user types once
    // it has the keyboard goes to the field, none of it to the page.
    if (request.raise) {
        raise(request.window, request.windowElement);
    }
    if (outcome.route || outcome.failure) {
        outcome.replaced = target && target->replaced;
        return outcome;
    }
    // A field in web content that refuses the focus is clicked, which only focuses it, once its
    // window is the active one.
    outcome.failedRoutes.emplace_back("focus");
    if (isInWebArea(target->element)) {
        awaitActiveWindow(request);
        if (clickControl(request, *target)) {
            outcome.route = PressRoute::clicked;
            return outcome;
        }
        outcome.failedRoutes.emplace_back("click");
    }
    outcome.failure = PressFailure::refused;
    return outcome;
}

PressOutcome AXActions::press(const PressRequest& request) {
    PressOutcome outcome;
    asked_.reset();
    const auto fail = [&](PressFailure failure) {
        outcome.failure = failure;
        return outcome;
    };
    if (request.candidate.isTextInput()) {
        return focusField(request);
    }
    const double since = request.forwardSince.value_or(clock().now());
    if (request.raise) {
        raise(request.window, request.windowElement);
    }
    // In web content the wait for the page's picture includes the wait for the window.
    if (isInWebArea(request.element)) {
        awaitPicture(request, since);
    } else {
        awaitActiveWindow(request);
    }
    // Looked at only now: whatever the page did as its window came forward shows in the look.
    const auto first = ElementIdentity::look(backend_, request.app, request.element);
    if (!first) {
        if (const PressFailure lost = whyLost(request); lost != PressFailure::changed) {
            return fail(lost);
        }
    }
    auto target = ElementIdentity::present(request.candidate, request.element, first,
                                           request.windowFrame, request.readWindow);
    const bool web = target && isInWebArea(target->element);
    if (web && target->replaced) {
        target = newest(request, *target);
    }
    if (!target) {
        return fail(whyLost(request));
    }
    // A page that draws its controls anew every few hundred ms can drop the drawing found between
    // the last look and the action, on a busy machine: nothing was pressed, and its next drawing
    // is, a few times at most.
    for (int redrawn = 0;; ++redrawn) {
        ax::Element container;
        if (web) {
            if (auto parent = backend_.attribute(target->element, "AXParent")) {
                container = ax::asElement(parent.value()).value_or(ax::Element());
            }
        }
        outcome = pressPresent(request, *target, first, web, container);
        const bool dropped = web && redrawn < kMostRedrawnPresses && !container.isNull() &&
                             outcome.failure &&
                             (*outcome.failure == PressFailure::changed ||
                              *outcome.failure == PressFailure::refused) &&
                             !ElementIdentity::look(backend_, request.app, target->element) &&
                             whyLost(request) == PressFailure::changed;
        if (!dropped) {
            return outcome;
        }
        std::optional<PresentControl> next;
        for (const double until = clock().now() + kRedrawWait; !next && clock().now() < until;) {
            next = drawnIn(request, container);
            if (next && next->element == target->element) {
                next.reset();
            }
            if (!next) {
                clock().sleep(kPoll);
            }
        }
        if (!next) {
            return outcome;
        }
        target = std::move(next);
    }
}

PressOutcome AXActions::pressPresent(const PressRequest& request, const PresentControl& target,
                                     const std::optional<ElementLook>& first, bool web,
                                     const ax::Element& container) {
    PressOutcome outcome;
    const auto fail = [&](PressFailure failure) {
        outcome.failure = failure;
        return outcome;
    };
    outcome.replaced = target.replaced;
    const ax::Element& element = target.element;
    // Asked before the last look, which then comes just before the action. A page's own prompt
    // in front: a press behind it reaches nothing the page shows.
    if (web && DialogInFront::promptHides(backend_, request.windowElement, element)) {
        outcome.told = "a prompt of the page is in front of it";
        return fail(PressFailure::changed);
    }
    // A clip the page's tree does not tell of leaves nothing of the control painted.
    if (web && painted(request, element, target.frame) == PaintedAtPress::Answer::hidden) {
        return fail(PressFailure::covered);
    }
    // The last look before the action: a control relabelled, or turned off, since is not
    // pressed. (A label lent by the reading leaves the element without one of its own.)
    const auto before = ElementIdentity::look(backend_, request.app, element);
    if (!before) {
        return fail(whyLost(request));
    }
    // An element the fresh reading found under the chosen label although its own name differs
    // (the reading made its label otherwise) keeps the name it had.
    const bool ownName = !target.replaced && first && !first->label.empty() &&
                         !ElementIdentity::sameLabel(first->label, request.candidate.label());
    const std::string& label = ownName ? first->label : request.candidate.label();
    if (before->role != request.candidate.role ||
        (!before->label.empty() && !ElementIdentity::sameLabel(before->label, label))) {
        return fail(PressFailure::changed);
    }
    if (before->enabled == false) {
        return fail(PressFailure::disabled);
    }
    const auto done = [&](PressRoute route) {
        outcome.route = route;
        return outcome;
    };
    const auto failed = [&](const char* route) { outcome.failedRoutes.emplace_back(route); };
    // A control without a label of its own and without an action (a menu, a group) is never
    // clicked: its middle could be any of its items.
    const bool clickable = !request.candidate.label().empty();
    const auto clicked = [&] {
        const bool sent = web && clickable && clickControl(request, target);
        if (web && !sent) {
            failed("click");
        }
        return sent;
    };
    const auto pressError = backend_.performAction(element, "AXPress");
    if (!pressError) {
        if (!web) {
            return done(PressRoute::pressed);
        }
        const PressLanding::Pressed pressed{
            request.candidate,   target,       *before,           container, request.app,
            request.windowFrame, request.seen, request.readWindow};
        const PressLanding::Landing landing =
            PressLanding::follow(backend_, clock(), pressed, kPoll);
        outcome.told = landing.why;
        outcome.relabelled = landing.label;
        if (landing.verdict == PressLanding::Verdict::reached) {
            return done(PressRoute::pressed);
        }
        return fail(PressFailure::unsure);
    }
    // An app that did not answer may still act on the press once it does, and one that has the
    // press without showing its effect may have acted on it: nothing else is tried, so that the
    // control is not pressed twice.
    if (*pressError == ax::AXError::timeout) {
        return fail(PressFailure::notResponding);
    }
    if (*pressError == ax::AXError::unconfirmed) {
        return fail(PressFailure::unsure);
    }
    failed("press");
    // A native control none of whose actions does what a click does (a list's row, an item
    // without actions, a button that opens its menu at once) is clicked where it is painted; a
    // row counts as pressed once it shows it is chosen.
    if (!web && *pressError == ax::AXError::unsupportedAttribute) {
        const auto selected = backend_.attribute(element, "AXSelected");
        if ((clickable || selected) && clickControl(request, target)) {
            if (!selected) {
                return done(PressRoute::clicked);
            }
            return chosenAfterClick(element) ? done(PressRoute::clicked)
                                             : fail(PressFailure::unsure);
        }
        if ((clickable || selected) && request.window) {
            failed("click");
        }
        // A row where no click can be made is chosen through its list's selection.
        if (selected) {
            const auto pickError = backend_.performAction(element, "AXPick");
            if (!pickError) {
                return done(PressRoute::pressed);
            }
            if (*pickError == ax::AXError::unconfirmed) {
                return fail(PressFailure::unsure);
            }
            failed("pick");
            return fail(PressFailure::refused);
        }
    }
    if (clicked()) {
        return done(PressRoute::clicked);
    }
    focus(element);
    const auto confirmError = backend_.performAction(element, "AXConfirm");
    if (!confirmError) {
        return done(PressRoute::confirmed);
    }
    failed("confirm");
    // Refused by an element that is no longer there: the page changed under the press, or the
    // app went.
    if (*pressError == ax::AXError::appGone && *confirmError == ax::AXError::appGone) {
        return fail(whyLost(request));
    }
    return fail(*confirmError == ax::AXError::timeout ? PressFailure::notResponding
                                                      : PressFailure::refused);
}

}  // namespace ovra
