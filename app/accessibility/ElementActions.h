#pragma once

// Pressing a control of another app's window: raising its window, making sure the control is
// still the one the user chose, focusing text inputs, and the press itself. A press counts as
// done only once it is known to have reached the chosen control at the moment it landed.
//
// The press is the control's own accessibility action, sent to that element: no cover laid over
// a page and no change a page makes when the pointer arrives can turn it to another control.
// Browsers show what happens to their pages a little late, so a press in web content waits
// until the browser's picture has caught up with what the page did as its window came forward:
// at once when the browser has shown the page taking the keyboard back with nothing else
// changed, else for as long as a browser may take to show a change. It is followed until the
// page shows that it arrived (see PressLanding). A text field is focused without that wait:
// focusing a field is harmless whatever its label became. A synthetic click is only the
// fallback for a control that offers no action, and it is sent only while a hit test at the
// moment of the click finds the chosen control under the pointer.

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/accessibility/ElementIdentity.h"
#include "app/accessibility/PaintedAtPress.h"
#include "core/Candidate.h"
#include "core/Rect.h"
#include "platform/accessibility/AccessibilityBackend.h"
#include "platform/input/InputSynthesizer.h"

namespace ovra {

// How a press reached the control.
enum class PressRoute { focused, clicked, pressed, confirmed };
// "focused", "clicked", "pressed", "confirmed".
std::string_view rawValue(PressRoute route);

// Why nothing is known to have been pressed.
enum class PressFailure {
    changed,   // before the action: the chosen control shows another label or role
    gone,      // before the action: the chosen control went away, and no drawing of it anew
               // took its place
    refused,   // the control is there, but no way of pressing it worked
    unsure,    // the action was sent, but what became of the control does not tell whether it
               // took it (the page drew it anew, put another control in its place, relabelled it)
    disabled,  // the control was turned off at the moment of the press
    covered,   // before the action: in web content, the control is not painted where it lies (a
               // clip leaves nothing of it)
    notResponding,  // the app did not answer, so whether the control is there cannot be told
    appClosed,      // the app is gone
    // Before the action: a modal dialog of the app keeps the control's window from being used.
    waitsForDialog,
    // Before the action: another window of the app lying alike in its place is the one in front.
    notInFront,
};
// "changed", "gone", "refused", "unsure", "disabled", "covered", "not responding", "app closed",
// "waits for a dialog", "not in front".
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
    // The controls the reading showed, to tell a control the page put in the chosen one's
    // place from one that was there all along.
    std::vector<UICandidate> seen;
    // When the window was asked to come forward, on the press's clock; none: as the press
    // starts.
    std::optional<double> forwardSince;
    // The reading's elements, by candidate id, to tell a control that slid into the chosen
    // one's place from one the page drew there (empty: unknown).
    std::map<std::string, ax::Element> seenElements;
    // Where the reading's controls stood, by candidate id (ElementIdentity::noteSettings): what
    // tells the chosen control from another of its role and label at the press.
    std::map<std::string, ElementSetting> seenSettings;
};

// How a press went: delivered to a live control by `route`, or nothing known pressed for
// `failure`.
struct PressOutcome {
    std::optional<PressRoute> route;
    std::optional<PressFailure> failure;
    bool replaced = false;  // the page had drawn the chosen control anew; its drawing was pressed
    std::vector<std::string> failedRoutes;  // the ways tried that did not work, in order
    std::string_view told;                  // in web content, what told whether the press arrived
    std::string relabelled;                 // the label the control gave itself as it was pressed
};

class AXActions final {
  public:
    struct Hooks {
        // Whether the desktop's magnifier is on; it follows the pointer, which then stays put.
        std::function<bool()> magnifierOn;
        // Makes every window of this app ignore pointer input, so a synthetic click reaches the
        // window below. Called before any hit test or click; takes effect before it returns.
        std::function<void()> ignoreOwnPointerInput;
        // Paces the waits of a press; the system clock when absent.
        ax::Clock* clock;
    };

    // At most this many elements are examined on the way up to a web area.
    static constexpr int kMaxWebAreaDepth = 40;
    // Web content is pressed once its window is the active one (browsers show which control a
    // press focused only there), or once this long has gone by.
    static constexpr double kActivationWait = 0.5;
    // A control the page drew anew is pressed as soon as the page draws it again, so that the
    // press reaches it while it is new; a page quieter than this is pressed at once.
    static constexpr double kRedrawWait = 0.4;
    // A control the page dropped between the last look and the action (nothing was pressed) is
    // pressed in its next drawing, at most this many more times.
    static constexpr int kMostRedrawnPresses = 2;
    // The pointer rests this long on a control before the click, so that the page has reacted
    // to its arrival by the time the hit test looks.
    static constexpr double kPointerSettle = 0.15;
    // How often a control is looked at while waiting on it.
    static constexpr double kPoll = 0.02;
    // A native row clicked shows that it is chosen, and a check box its new state, within this
    // long, or is not known pressed.
    static constexpr double kRowShowsChosen = 1.0;
    // A browser shows its page's changes to accessibility clients late: Chromium gathers them
    // for up to about a third of a second, Firefox sends them within a few tens of ms. Unless
    // the browser shows the page settled sooner, the last look before a press in web content
    // comes this long after the window came forward, so that what the page did as it got the
    // keyboard back shows in it.
    static constexpr double kPictureCatchUp = 0.45;
    // A page that takes the keyboard back runs its focus handlers then: Firefox shows what they
    // changed with its focus event; Chromium a few ms after it, or with its next batch unless a
    // hit test asks the page (within 20 ms of one, measured). The picture counts as caught up
    // this long after the page's focus event and a hit test, with nothing changed near the
    // control (and as long again after each change away from it, asked again).
    static constexpr double kAfterPageFocus = 0.03;
    // How often the browser is asked what it told while the press waits for its page.
    static constexpr double kListen = 0.005;
    // The longest the last look may ask the browser what is painted where the control is; a
    // browser that has not answered by then cannot tell.
    static constexpr double kPaintedLookLongest = 1.0;

    AXActions(ax::AccessibilityBackend& backend, input::InputSynthesizer& input, Hooks hooks = {});

    // Whether the element is a web area or lies inside one within 40 levels.
    bool isInWebArea(const ax::Element& element);

    // Clicks the middle of `rect` (more than 1 point wide and tall) and puts the pointer back
    // unless the magnifier is on. True when the click was sent.
    bool clickCenter(const Rect& rect);

    // Brings the target's window to the front: the window manager's activation of that very
    // window, else "AXRaise" where the backend offers it. True when either went through.
    bool raise(std::optional<input::WindowId> window, const ax::Element& windowElement);

    // Gives the element the keyboard focus ("AXFocused").
    bool focus(const ax::Element& element);

    // The whole press. A text input that is still there is focused at once whatever its label
    // became, then its window raised (one in web content that refuses the focus is clicked,
    // which only focuses it), and never pressed. Anything else goes through PressSequence.
    PressOutcome press(const PressRequest& request);

    // The press sequence's steps that a text field's focus shares:
    // Waits (at most kActivationWait) until the target's window is the active one.
    void awaitActiveWindow(const PressRequest& request);
    // Clicks the control where a hit test finds it once the pointer rests there.
    bool clickControl(const PressRequest& request, const PresentControl& target);
    // Whether a clicked row shows that it is chosen, within kRowShowsChosen.
    bool chosenAfterClick(const ax::Element& element);
    // Whether a clicked check box shows a checked state other than `before`, within
    // kRowShowsChosen.
    bool flippedAfterClick(const PressRequest& request, const ax::Element& element, double before);
    // Why an element of the app cannot be asked: the app does not answer, it is gone, or it
    // answers (then the element changed).
    PressFailure whyLost(const PressRequest& request);

    ax::Clock& clock() { return hooks_.clock ? *hooks_.clock : ax::systemClock(); }

  private:
    // Focuses a text input that is still there, whatever its label, then raises its window.
    PressOutcome focusField(const PressRequest& request);
    // Whether the control is what a click at `point` reaches now.
    bool underPointer(const PressRequest& request, const PresentControl& target, Point point);
    void putPointerBack(std::optional<Point> home);

    ax::AccessibilityBackend& backend_;
    input::InputSynthesizer& input_;
    Hooks hooks_;
};

}  // namespace ovra
