#pragma once

// Pressing a control of another app's window: raising its window, focusing text inputs, the
// synthetic click at the middle of controls inside web content (which often ignore the
// accessibility press), and the accessibility press with its confirm fallback.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/Rect.h"
#include "core/Result.h"
#include "platform/accessibility/AccessibilityBackend.h"
#include "platform/input/InputSynthesizer.h"

namespace ovra {

// How a press reached the control.
enum class PressRoute { focused, clicked, pressed, confirmed };
// "focused", "clicked", "pressed", "confirmed".
std::string_view rawValue(PressRoute route);

// The control to press, as the snapshot saw it.
struct PressRequest {
    ax::Element element;
    std::string role;  // the candidate's accessibility role
    Rect frame;        // the candidate's frame in accessibility space
    Rect visible;      // the part of the window that shows content (the snapshot's viewport)
    std::optional<input::WindowId> window;  // the target's top-level window, when known
    ax::Element windowElement;              // the window's accessibility element, when known
};

class AXActions final {
  public:
    struct Hooks {
        // Whether the desktop's magnifier is on; it follows the pointer, which then stays put.
        std::function<bool()> magnifierOn;
        // Makes every window of this app ignore pointer input, so a synthetic click reaches the
        // window below. Called before any hit test or click; takes effect before it returns.
        std::function<void()> ignoreOwnPointerInput;
    };

    // At most this many elements are examined on the way up to a web area.
    static constexpr int kMaxWebAreaDepth = 40;

    AXActions(ax::AccessibilityBackend& backend, input::InputSynthesizer& input, Hooks hooks = {});

    // Whether the element is a web area or lies inside one within 40 levels.
    bool isInWebArea(const ax::Element& element);

    // Clicks the middle of `rect` (more than 1 point wide and tall) and puts the pointer back
    // unless the magnifier is on. True when the click was sent.
    bool clickCenter(const Rect& rect);

    // Clicks the middle of the part of the control that shows: its present frame (read again;
    // the snapshot's frame when that fails) within `visible`. Nothing is clicked, and false
    // comes back, when less than 2 by 2 points show, when the window is unknown, or when pointer
    // input at that point would not reach the target's window.
    bool clickVisibleCenter(const ax::Element& element, const Rect& frame, const Rect& visible,
                            std::optional<input::WindowId> window);

    // Brings the target's window to the front: the window manager's activation, then "AXRaise"
    // where the backend offers it. True when either went through.
    bool raise(std::optional<input::WindowId> window, const ax::Element& windowElement);

    // Gives the element the keyboard focus ("AXFocused").
    bool focus(const ax::Element& element);

    // "AXPress", else "AXConfirm"; the route that worked.
    std::optional<PressRoute> performPress(const ax::Element& element);

    // The whole press: raise the window; a text input is focused (one in web content that
    // refuses the focus is clicked, which only focuses it) and never pressed; a control inside
    // web content is clicked at the middle of its visible part; everything else, and every
    // click that could not land on the control, is pressed through the accessibility action.
    // The error is the sentence to show.
    Result<PressRoute> press(const PressRequest& request);

  private:
    bool postClick(Point at);

    ax::AccessibilityBackend& backend_;
    input::InputSynthesizer& input_;
    Hooks hooks_;
};

}  // namespace ovra
