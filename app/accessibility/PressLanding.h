#pragma once

// Whether a press action sent to a control in web content reached it. A browser takes the action
// at once and acts on its page a moment later, and it shows the page to accessibility clients
// later still (Chromium gathers a busy page's changes for up to a quarter of a second): so the
// element it was sent to may already have gone from the page while its picture still showed it,
// and then the press went nowhere although the browser took it. What happens to the element
// next tells (a look that meets a moment the app does not answer is made again once it answers;
// an app that stopped answering leaves it untold):
// - it takes the focus or changes its value: the browser acted on it (browsers focus a control
//   they press, in the active window);
// - it is still there, with its role, once the page's picture has had time to catch up: it was
//   there when the press arrived;
// - it shows another label: it answered the press by relabelling itself (Play becomes Pause),
//   unless the new label is a risky one (ActionSafety): a control that turned into "Delete" may
//   have done so before the press arrived, and then the press deleted, which cannot be told;
// - it goes from a container that stays, and the page shows something else where it stood that
//   was not there before: the page put another control in its place, before or after the press
//   arrived (a chip that removes itself, a button that replaces itself), which cannot be told;
// - it goes, and a control the reading saw elsewhere now stands where it stood (the rows below
//   slid up, the next chip took its place): it went as it was pressed;
// - it goes with its row or container, and fewer controls of its role and label are left: it
//   went as it was pressed (Delete, Archive, Remove; a select's "x" that removes its tag), also
//   when the list is drawn anew around it, as long as the row the user saw is nowhere now;
// - it goes, and the page draws a new control of its role and label where it stood, as many as
//   before, in another setting, while the setting the user saw is nowhere now: it shows its next
//   state (a date picker's "Next" over the next month, a pager's over the next page);
// - it goes, and the page draws a new control of its role and label where it stood, as many as
//   before, otherwise: the page draws it anew, or put another one of the kind there (another
//   product's "Buy"), and whether the drawing the press was sent to was still there cannot be
//   told;
// - it goes from a container that stays, and it was a drawing the page had made anew since the
//   reading: the page may have swept it away before the press came, which cannot be told;
// - otherwise, when it goes: it went as it was pressed (a dialog that closes, revealing the page
//   below it; a button that takes itself away);
// - but whatever it shows after, when it goes and the browser told the page changing (other than
//   a part that changes by itself, away from it) after the last look and before it answered the
//   action: the page may have taken it away before the press arrived, which cannot be told. (A
//   browser answers an action before it shows what the page did with it: a row the press took
//   away is told changing after the answer.)

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/accessibility/ElementIdentity.h"
#include "core/Candidate.h"
#include "core/Rect.h"
#include "platform/accessibility/AccessibilityBackend.h"

namespace ovra::PressLanding {

enum class Verdict { reached, unsure };

// The verdict and what told it, for the log.
struct Landing {
    Verdict verdict;
    std::string_view why;
    std::string label = {};  // the label it shows now, when it relabelled itself
};

// Longer than any wait of a browser before it shows its page's changes.
inline constexpr double kCatchUp = 0.5;

struct Pressed {
    const ChosenControl& chosen;   // the control the user chose, as the reading showed it
    const PresentControl& target;  // the element the press was sent to
    const ElementLook& before;     // how it looked just before
    const ax::Element& container;  // its parent just before (null: unknown)
    const ax::RunningApp& app;
    Rect window;  // the target window's frame (null: unknown)
    const WindowReading& reread;
    // The browser told the page changing after the last look and before it answered the action.
    bool pageChangedFirst = false;
};

// Follows the pressed element until what became of it tells whether the press reached it,
// looking every `poll` seconds.
Landing follow(ax::AccessibilityBackend& backend, ax::Clock& clock, const Pressed& pressed,
               double poll);

// What the page shows where the pressed control stood, once it has gone: `reading` is a fresh
// reading of the window (none: it could not be read); `containerStays`, whether the control's
// container is still there; `settings`, where the reading's controls of the chosen one's role
// and label stand, by candidate id.
Landing afterItWent(const Pressed& pressed, const std::optional<WindowSnapshot>& reading,
                    bool containerStays,
                    const std::map<std::string, ElementSetting>& settings = {});

}  // namespace ovra::PressLanding
