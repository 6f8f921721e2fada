#pragma once

// Pressing a control of another app's window: raising its window, making sure the control is
// still the one the user chose, focusing text inputs, the synthetic click at the middle of
// controls inside web content (which often ignore the accessibility press), and the
// accessibility press with its confirm fallback. A press counts as done only when a live
// control took it.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/accessibility/ElementIdentity.h"
#include "core/Candidate.h"
#include "core/Rect.h"
#include "platform/accessibility/AccessibilityBackend.h"
#include "platform/input/InputSynthesizer.h"

namespace ovra {

// How a press reached the control.
enum class PressRoute { focused, clicked, pressed, confirmed };
// "focused", "clicked", "pressed", "confirmed".
std::string_view rawValue(PressRoute route);

// Why nothing was pressed.
enum class PressFailure {
    changed,  // the chosen control is gone and nothing of its role and label took its place
    refused,  // the control is there, but no way of pressing it worked
};
// "changed", "refused".
std::string_view rawValue(PressFailure failure);

// The control to press, as the window reading showed it.
struct PressRequest {
    UICandidate candidate;
    ax::Element element;
    ax::RunningApp app;  // the app the control belongs to
    Rect windowFrame;    // the target window's frame as the reading saw it (null: unknown)
    Rect visible;        // the part of the window that shows content (the reading's viewport)
    std::optional<input::WindowId> window;  // the target's top-level window, when known
    ax::Element windowElement;              // the window's accessibility element, when known
    // A fresh reading of the window, for a control the page may have replaced.
    WindowReading readWindow;
    bool raise = true;   // false: the caller has brought the window forward already
    double seenFor = 0;  // how long ago (seconds) the reading saw the element
};

// How a press went: delivered to a live control by `route`, or nothing pressed for `failure`.
struct PressOutcome {
    std::optional<PressRoute> route;
    std::optional<PressFailure> failure;
    bool replaced = false;  // the page had replaced the chosen element; its successor was pressed
    std::vector<std::string> failedRoutes;  // the ways tried that did not work, in order
};

class AXActions final {
  public:
    struct Hooks {
        // Whether the desktop's magnifier is on; it follows the pointer, which then stays put.
        std::function<bool()> magnifierOn;
        // Makes every window of this app ignore pointer input, so a synthetic click reaches the
        // window below. Called before any hit test or click; takes effect before it returns.
        std::function<void()> ignoreOwnPointerInput;
        // Paces the look just before a click; the system clock when absent.
        ax::Clock* clock;
    };

    // At most this many elements are examined on the way up to a web area.
    static constexpr int kMaxWebAreaDepth = 40;
    // A control in web content is pressed only once it has been there this long: a page that
    // keeps rebuilding its controls takes a click on one that is gone by then, and its handler
    // never runs. Browsers report such rebuilding only every 150 to 250 ms.
    static constexpr double kSteadyFor = 0.5;

    AXActions(ax::AccessibilityBackend& backend, input::InputSynthesizer& input, Hooks hooks = {});

    // Whether the element is a web area or lies inside one within 40 levels.
    bool isInWebArea(const ax::Element& element);

    // Clicks the middle of `rect` (more than 1 point wide and tall) and puts the pointer back
    // unless the magnifier is on. True when the click was sent.
    bool clickCenter(const Rect& rect);

    // Brings the target's window to the front: the window manager's activation, then "AXRaise"
    // where the backend offers it. True when either went through.
    bool raise(std::optional<input::WindowId> window, const ax::Element& windowElement);

    // Gives the element the keyboard focus ("AXFocused").
    bool focus(const ax::Element& element);

    // The whole press: raise the window; make sure the control is still the one the user chose
    // (ElementIdentity), else press nothing; a text input is focused (one in web content that
    // refuses the focus is clicked, which only focuses it) and never pressed; a control inside
    // web content is clicked at the middle of the part of its present frame that shows, once it
    // has been there for kSteadyFor; everything else, and every click that could not land on the
    // control, gets "AXPress", then focus with "AXConfirm".
    PressOutcome press(const PressRequest& request);

  private:
    // The control once it has been there for kSteadyFor; none when it went meanwhile.
    std::optional<PresentControl> steady(const PressRequest& request, PresentControl target);
    bool clickControl(const PressRequest& request, const PresentControl& target);
    bool postClick(Point at);

    ax::AccessibilityBackend& backend_;
    input::InputSynthesizer& input_;
    Hooks hooks_;
};

}  // namespace ovra
