#include "app/accessibility/ElementActions.h"

#include "app/accessibility/PointerHome.h"

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
    if (home && putsPointerBack(hooks_.magnifierOn)) {
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

std::optional<PresentControl> AXActions::steady(const PressRequest& request,
                                                PresentControl target) {
    // A successor first showed just now; the chosen element lived since the reading.
    const double seen = target.replaced ? 0 : request.seenFor;
    if (seen >= kSteadyFor) {
        return target;
    }
    (hooks_.clock ? *hooks_.clock : ax::systemClock()).sleep(kSteadyFor - seen);
    const auto now = ElementIdentity::look(backend_, request.app, target.element);
    if (!now || now->role != request.candidate.role || !now->frame ||
        !(now->label.empty() ||
          ElementIdentity::sameLabel(now->label, request.candidate.label()))) {
        return std::nullopt;
    }
    target.frame = *now->frame;
    return target;
}

bool AXActions::clickControl(const PressRequest& request, const PresentControl& target) {
    const Rect shown = target.frame.intersection(request.visible);
    if (!request.window || !bigEnough(shown)) {
        return false;
    }
    if (hooks_.ignoreOwnPointerInput) {
        hooks_.ignoreOwnPointerInput();
    }
    // Another window (a dialog, a menu, a window that moved in front) would take the click.
    const Point point = shown.center();
    return input_.isWindowAt(*request.window, point) && postClick(point);
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
    // Web content is where pages rebuild their controls under the pointer.
    const bool web = isInWebArea(target->element);
    const auto present = web ? steady(request, *target) : target;
    if (!present) {
        outcome.failure = PressFailure::changed;
        return outcome;
    }
    const ax::Element& element = present->element;
    const auto done = [&](PressRoute route) {
        outcome.route = route;
        return outcome;
    };
    const auto failed = [&](const char* route) { outcome.failedRoutes.emplace_back(route); };
    const auto clicked = [&] {
        const bool sent = web && clickControl(request, *present);
        if (web && !sent) {
            failed("click");
        }
        return sent;
    };
    if (request.candidate.isTextInput()) {
        // A text field is only ever focused: its press action submits the dialog's default
        // button. A click focuses a field in web content when the focus request fails.
        if (focus(element)) {
            return done(PressRoute::focused);
        }
        failed("focus");
        if (clicked()) {
            return done(PressRoute::clicked);
        }
        outcome.failure = PressFailure::refused;
        return outcome;
    }
    if (clicked()) {
        return done(PressRoute::clicked);
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
