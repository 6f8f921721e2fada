#include "app/accessibility/ElementActions.h"

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
    return failure == PressFailure::changed ? "changed" : "refused";
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

bool AXActions::postClick(Point at) {
    const std::optional<Point> home = input_.pointerLocation();
    if (!input_.click(at)) {
        return false;
    }
    const bool magnifier = hooks_.magnifierOn && hooks_.magnifierOn();
    if (home && !magnifier) {
        input_.movePointer(*home);
    }
    return true;
}

bool AXActions::clickCenter(const Rect& rect) {
    if (!bigEnough(rect)) {
        return false;
    }
    return postClick(rect.center());
}

AXActions::Click AXActions::clickControl(const PressRequest& request,
                                         const PresentControl& target) {
    if (!request.window) {
        return Click::notSent;
    }
    const auto aim = [&](const Rect& frame) -> std::optional<Point> {
        const Rect shown = frame.intersection(request.visible);
        return bigEnough(shown) ? std::optional(shown.center()) : std::nullopt;
    };
    if (!aim(target.frame)) {
        return Click::notSent;
    }
    if (hooks_.ignoreOwnPointerInput) {
        hooks_.ignoreOwnPointerInput();
    }
    // Still there a moment later, and where: a control the page has replaced meanwhile is gone.
    (hooks_.clock ? *hooks_.clock : ax::systemClock()).sleep(kSteadyPause);
    const auto now = ElementIdentity::look(backend_, request.app, target.element);
    if (!now || now->role != request.candidate.role || !now->frame ||
        !(now->label.empty() ||
          ElementIdentity::sameLabel(now->label, request.candidate.label()))) {
        return Click::gone;
    }
    const std::optional<Point> point = aim(*now->frame);
    // Another window (a dialog, a menu, a window that moved in front) would take the click.
    if (!point || !input_.isWindowAt(*request.window, *point)) {
        return Click::notSent;
    }
    return postClick(*point) ? Click::sent : Click::notSent;
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

PressOutcome AXActions::press(const PressRequest& request) {
    PressOutcome outcome;
    if (request.raise) {
        raise(request.window, request.windowElement);
    }
    const auto target =
        ElementIdentity::present(request.candidate, request.element,
                                 ElementIdentity::look(backend_, request.app, request.element),
                                 request.windowFrame, request.readWindow);
    if (!target) {
        outcome.failure = PressFailure::changed;
        return outcome;
    }
    outcome.replaced = target->replaced;
    const ax::Element& element = target->element;
    const bool web = isInWebArea(element);
    const auto done = [&](PressRoute route) {
        outcome.route = route;
        return outcome;
    };
    const auto failed = [&](const char* route) { outcome.failedRoutes.emplace_back(route); };
    // Whether the click route settled the press: sent, or the control went away under it.
    const auto clicked = [&] {
        const Click click = web ? clickControl(request, *target) : Click::notSent;
        if (click == Click::gone) {
            outcome.failure = PressFailure::changed;
        } else if (web && click == Click::notSent) {
            failed("click");
        }
        return click != Click::notSent;
    };
    if (request.candidate.isTextInput()) {
        // A text field is only ever focused: its press action submits the dialog's default
        // button. A click focuses a field in web content when the focus request fails.
        if (focus(element)) {
            return done(PressRoute::focused);
        }
        failed("focus");
        if (clicked() && !outcome.failure) {
            return done(PressRoute::clicked);
        }
        outcome.failure = outcome.failure.value_or(PressFailure::refused);
        return outcome;
    }
    if (clicked()) {
        if (!outcome.failure) {
            outcome.route = PressRoute::clicked;
        }
        return outcome;
    }
    const auto pressError = backend_.performAction(element, "AXPress");
    if (!pressError) {
        return done(PressRoute::pressed);
    }
    failed("press");
    focus(element);
    const auto confirmError = backend_.performAction(element, "AXConfirm");
    if (!confirmError) {
        return done(PressRoute::confirmed);
    }
    failed("confirm");
    // Refused by an element that is no longer there: the page changed under the press.
    outcome.failure = *pressError == ax::AXError::appGone && *confirmError == ax::AXError::appGone
                          ? PressFailure::changed
                          : PressFailure::refused;
    return outcome;
}

}  // namespace ovra
