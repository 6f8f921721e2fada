#pragma once

// Which element a press acts on: the control the user chose, or nothing. The user chose what the
// overlay showed: a role, a label and a setting (what its row shows, the labels above it), noted
// in the reading that was shown. Toolkit elements are not that identity: pages draw unchanged
// controls anew every second (dashboards, consent dialogs, lists keyed per poll), and lists
// without keys reuse one element for another row's data. So at the press an element stands for
// the chosen control, be it the chosen element itself or one drawn anew anywhere its row went,
// only when its role, label and setting equal those seen and no other element shows the same
// three. Values that tick inside a row (a price, a count, "5 min ago") leave it the same row; a
// name, subject or title that differs makes it another. Anything else is not pressed: a list of
// "Delete" buttons whose chosen row went must never delete the next one. The frame that comes back
// is the element's present one: a click never goes to a remembered point.

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/accessibility/AXExtractor.h"
#include "app/accessibility/ElementSetting.h"
#include "core/Candidate.h"
#include "core/Rect.h"
#include "platform/accessibility/AccessibilityBackend.h"

namespace ovra {

// What an app shows now of one element.
struct ElementLook {
    std::string role;
    // Its own label: the title, else the description, else the placeholder; "" when it has
    // none of its own (a reading may lend it one from a child or a label element).
    std::string label;
    std::optional<Rect> frame;
    bool focused = false;
    std::optional<ax::Value> value;  // a check box's state, a field's content...
    std::optional<bool> enabled;     // none when the app does not tell
};

// The element to act on, and where it is now.
struct PresentControl {
    ax::Element element;
    Rect frame;
    bool replaced = false;  // the same control drawn anew in the chosen one's place
};

// A fresh reading of the target's window; none when it cannot be read.
using WindowReading = std::function<std::optional<WindowSnapshot>()>;

// The control the user chose, as the reading the user was shown showed it.
struct ChosenControl {
    const UICandidate& candidate;
    const ax::Element& element;
    // Where it stood in that reading; none when that was not noted: then only the chosen
    // element itself may be pressed.
    const std::optional<ElementSetting>& setting;
    const std::vector<UICandidate>& seen;  // what the reading showed
    // The reading's elements and their settings, by candidate id (empty: unknown).
    const std::map<std::string, ax::Element>& seenElements;
    const std::map<std::string, ElementSetting>& seenSettings;
};

// One control as a reading shows it: what tells it from the others.
struct Sighting {
    std::string role;
    std::string label;
    std::optional<ElementSetting> setting;  // none: it could not be read
    bool chosenElement = false;             // the very element the user chose
};

namespace ElementIdentity {

// How far apart (in points, between the middles) a new element may lie from the chosen one's
// frame and still be found in its place: one row of the reading order.
inline constexpr double kReplacementReach = 24;
// Settings are noted for a shown reading's controls, in their order, for this long at most (a
// slow app leaves the rest unnoted); and for at most this many elements of one role and label
// at a press.
inline constexpr double kNoteLongest = 0.3;
inline constexpr std::size_t kMostAlike = 24;

// The label compared: lower-cased, its white space collapsed and trimmed.
std::string comparable(std::string_view label);
// Whether two labels name the same control.
bool sameLabel(std::string_view a, std::string_view b);

// Whether this role and label, in a frame about where the chosen one was, may be the chosen
// control: the same role and label, its middle within reach.
bool inItsPlace(const UICandidate& chosen, const std::string& role, const std::string& label,
                const Rect& frame);

// Looks at the element afresh. The look starts as every reading does, at the app's element: a
// backend that keeps what it read between readings makes sure there that the app has not
// changed since. Absent when the element cannot be asked (the page removed it).
std::optional<ElementLook> look(ax::AccessibilityBackend& backend, const ax::RunningApp& app,
                                const ax::Element& element);
// Looks at another element of the app just looked at, without starting anew at the app's element.
std::optional<ElementLook> lookAgain(ax::AccessibilityBackend& backend, const ax::Element& element);

// When a setting's reads stop: an app that answers slowly is not waited on past it.
struct Deadline {
    ax::Clock& clock;
    double until = 0;
    bool passed() const { return !(clock.now() < until); }
};

// The element's setting (bounded reads); none when the element or its parent cannot be read, or
// `deadline` passed first.
std::optional<ElementSetting> setting(ax::AccessibilityBackend& backend, const ax::Element& element,
                                      const Deadline* deadline = nullptr);

// Notes where each control of a reading stands, in the reading's order, for the press that
// may follow (see kNoteLongest).
void noteSettings(ax::AccessibilityBackend& backend, WindowSnapshot& reading, ax::Clock& clock);

// Where the controls of `reading` with the role and label of `chosen` stand now, by candidate id
// (at most kMostAlike of them).
std::map<std::string, ElementSetting> settingsOfAlike(ax::AccessibilityBackend& backend,
                                                      const UICandidate& chosen,
                                                      const WindowSnapshot& reading);

// Whether two settings show the same place: equal, or (`ticking`) equal but for the values that
// tick inside a row: runs of digits, with their signs and separators.
bool sameSetting(const ElementSetting& a, const ElementSetting& b, bool ticking);

// The one answer to "is this the control the user saw": whether `now[which]` has the role, label
// and setting of `seen`, and, unless it is the very element the user chose, no other control of
// `now`, nor of the reading the user saw (`seenAlso`, the chosen one's own sighting left out), has
// the same three. Ticking values are set aside, unless they are all that told one of `seenAlso`
// apart from it. (The chosen element showing what the user saw is what they chose, whatever rows
// look alike: a toolkit that shows no text of a row's parts makes every row look alike.)
bool isTheControlSeen(const Sighting& seen, const std::vector<Sighting>& seenAlso,
                      const std::vector<Sighting>& now, std::size_t which);

// Whether these elements, each with its look, hold the chosen control: the index of the one that
// stands for it (isTheControlSeen, its setting read now); none when none does.
std::optional<std::size_t> whichIsChosen(
    ax::AccessibilityBackend& backend, const ChosenControl& chosen,
    const std::vector<std::pair<ax::Element, Sighting>>& elements);

// Whether the reading before the press saw this element (as any of its controls).
bool seenBefore(const ChosenControl& chosen, const ax::Element& element);

// The element to act on for `chosen`: the element itself when `now` (its fresh look) shows the
// same role and label inside `window` and it stands where it stood (`inRow`: known so), none
// when it shows them outside; else, from `reread`, the one element of the window that stands
// for it, wherever it is. None when there is no such element.
std::optional<PresentControl> present(ax::AccessibilityBackend& backend,
                                      const ChosenControl& chosen,
                                      const std::optional<ElementLook>& now, const Rect& window,
                                      const WindowReading& reread, bool inRow);

}  // namespace ElementIdentity
}  // namespace ovra
