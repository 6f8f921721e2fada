#include "app/accessibility/ElementActions.h"

#include "app/accessibility/PointerHome.h"
#include "app/accessibility/PressSequence.h"
#include "app/accessibility/SeenControls.h"

namespace ovra {
namespace {

bool bigEnough(const Rect& rect) {
    // Written so that NaN sizes fail.
    return !rect.isNull() && rect.isFinite() && rect.width() > 1 && rect.height() > 1;
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
        case PressFailure::gone:
            return "gone";
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
        case PressFailure::waitsForDialog:
            return "waits for a dialog";
        case PressFailure::notInFront:
            return "not in front";
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

bool AXActions::underPointer(const PressRequest& request, const PresentControl& target,
                             Point point) {
    const auto now = ElementIdentity::look(backend_, request.app, target.element);
    if (!now || !now->frame || !now->frame->contains(point)) {
        return false;
    }
    // A row without a name of its own shows the name of its parts (a file's icon and name): the
    // reading lent it that label.
    const std::string label = now->label.empty() ? request.candidate.label() : now->label;
    if (!ElementIdentity::inItsPlace(request.candidate, now->role, label, *now->frame)) {
        return false;
    }
    auto hit = backend_.elementAtPoint(request.windowElement, point);
    if (!hit) {
        return false;
    }
    // The element hit is the control, lies inside it (a button's text) or is its label, which a
    // click presses it through.
    if (hitOf(backend_, request.windowElement, target.element, hit.value()) != HitOf::elsewhere) {
        return true;
    }
    if (isInWebArea(target.element)) {
        return false;
    }
    // Outside web content: GTK 4 answers no hit test (4.8), so the window itself comes back, and
    // GTK 3 stops at a notebook whose page has no frame (Thunar's file list); where the answer
    // holds the control, nothing of the window lies over it and the window manager's answer and
    // the fresh look decide. Qt answers one on a list's cell with a new object for that cell
    // each time, so an element of the chosen role and label with the very frame is the control.
    if (hit.value() == request.windowElement ||
        firstUp(backend_, request.windowElement, target.element,
                [&](const ax::Element& up) { return up == hit.value(); })) {
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
    // moment is what the button goes down on.
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

bool AXActions::flippedAfterClick(const PressRequest& request, const ax::Element& element,
                                  double before) {
    for (const double until = clock().now() + kRowShowsChosen;;) {
        backend_.applicationElement(request.app);  // takes in what the app told since
        const auto value = backend_.attribute(element, "AXValue");
        const auto now = value ? ax::asNumber(*value) : std::nullopt;
        if (now && *now != before) {
            return true;
        }
        if (clock().now() >= until) {
            return false;
        }
        clock().sleep(kPoll);
    }
}

bool AXActions::raise(std::optional<input::WindowId> window, const ax::Element& windowElement) {
    // The window read, when it is known, and only it: the accessibility raise finds a window by
    // its app and title, which another window of the app at the same spot may share.
    if (window && input_.activateWindow(*window)) {
        return true;
    }
    return !windowElement.isNull() && !backend_.performAction(windowElement, "AXRaise");
}

bool AXActions::focus(const ax::Element& element) {
    return !backend_.setAttribute(element, "AXFocused", ax::Value(true)).has_value();
}

PressOutcome AXActions::focusField(const PressRequest& request) {
    PressOutcome outcome;
    const auto now = ElementIdentity::look(backend_, request.app, request.element);
    // The field itself while it is there, whatever its label became; never another one.
    std::optional<PresentControl> target;
    if (now && now->frame && now->role == request.candidate.role) {
        target = PresentControl{request.element, *now->frame, false};
    }
    if (!target) {
        outcome.failure = now ? PressFailure::changed : whyLost(request);
        if (outcome.failure == PressFailure::changed && !now) {
            outcome.failure = PressFailure::gone;
        }
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
    if (request.candidate.isTextInput()) {
        return focusField(request);
    }
    return PressSequence(*this, backend_, clock(), request).run();
}

}  // namespace ovra
