#include "app/accessibility/ElementActions.h"

#include "core/Candidate.h"
#include "core/OvraText.h"

namespace ovra {
namespace {

// The element's frame as the app reports it now.
std::optional<Rect> presentFrame(ax::AccessibilityBackend& backend, const ax::Element& element) {
    auto position = backend.attribute(element, "AXPosition");
    auto size = backend.attribute(element, "AXSize");
    if (!position || !size) {
        return std::nullopt;
    }
    const auto p = ax::asPoint(*position);
    const auto s = ax::asSize(*size);
    if (!p || !s) {
        return std::nullopt;
    }
    const Rect frame(*p, *s);
    if (!frame.isFinite()) {
        return std::nullopt;
    }
    return frame;
}

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

bool AXActions::clickVisibleCenter(const ax::Element& element, const Rect& frame,
                                   const Rect& visible, std::optional<input::WindowId> window) {
    if (!window) {
        return false;
    }
    // The control may have moved since the snapshot (a page that scrolled or reflowed).
    const Rect now = presentFrame(backend_, element).value_or(frame);
    const Rect shown = now.intersection(visible);
    if (!bigEnough(shown)) {
        return false;
    }
    const Point point = shown.center();
    if (hooks_.ignoreOwnPointerInput) {
        hooks_.ignoreOwnPointerInput();
    }
    // Another window (a dialog, a menu, a window that moved in front) would take the click.
    if (!input_.isWindowAt(*window, point)) {
        return false;
    }
    return postClick(point);
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

std::optional<PressRoute> AXActions::performPress(const ax::Element& element) {
    if (!backend_.performAction(element, "AXPress")) {
        return PressRoute::pressed;
    }
    if (!backend_.performAction(element, "AXConfirm")) {
        return PressRoute::confirmed;
    }
    return std::nullopt;
}

Result<PressRoute> AXActions::press(const PressRequest& request) {
    if (request.element.isNull()) {
        return fail(OvraText::t("The control is gone."));
    }
    raise(request.window, request.windowElement);
    if (CandidateRoles::textInputs().contains(request.role)) {
        // A text field is only ever focused: its press action submits the dialog's default
        // button. A click focuses a field in web content when the focus request fails.
        if (focus(request.element)) {
            return PressRoute::focused;
        }
        if (isInWebArea(request.element) &&
            clickVisibleCenter(request.element, request.frame, request.visible, request.window)) {
            return PressRoute::clicked;
        }
        return fail(OvraText::t("The text field could not be focused."));
    }
    if (isInWebArea(request.element) &&
        clickVisibleCenter(request.element, request.frame, request.visible, request.window)) {
        return PressRoute::clicked;
    }
    if (auto route = performPress(request.element)) {
        return *route;
    }
    return fail(OvraText::t("The control could not be pressed."));
}

}  // namespace ovra
