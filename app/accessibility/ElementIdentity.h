#pragma once

// Which element a press acts on: the element the user chose, or nothing. Pages remove and
// replace their controls at any time (a row deleted by a live update, a consent dialog that
// re-renders), so the chosen element is looked at again just before it is pressed. It stands
// while it is still there with its role and label, inside the window. Once it is gone, another
// element takes its place only where the toolkit shows it is the same control drawn anew: the
// same row around it and the same labels above it as the chosen one had at the press's start,
// the only one of its role and label, never an element the reading saw elsewhere (a row that
// slid up), and the page around it unchanged. Anything else is not pressed: a list of identical
// "Delete" buttons whose chosen row went must never delete the next one. The frame that comes
// back is the element's present one: a click never goes to a remembered point.

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/accessibility/AXExtractor.h"
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

// Where a control stands in its page, as the toolkit shows it: what else its row holds and the
// labels above it. Two elements with the same setting, role and label are the same control as
// far as anything the app shows can tell.
struct ElementSetting {
    std::vector<std::string> row;        // the row's parts in order, "role label"; "*": itself
    std::vector<std::string> ancestors;  // "role label" of each ancestor, nearest first

    friend bool operator==(const ElementSetting&, const ElementSetting&) = default;
};

// The element to act on, and where it is now.
struct PresentControl {
    ax::Element element;
    Rect frame;
    bool replaced = false;  // the same control drawn anew in the chosen one's place
};

// A fresh reading of the target's window; none when it cannot be read.
using WindowReading = std::function<std::optional<WindowSnapshot>()>;

// The control the user chose, as the reading showed it and as the press's start found it.
struct ChosenControl {
    const UICandidate& candidate;
    const ax::Element& element;
    // Its setting at the press's start; none when it was gone by then (nothing may stand in
    // for it).
    const std::optional<ElementSetting>& setting;
    const std::vector<UICandidate>& seen;  // what the reading showed
    // The reading's elements, by candidate id (empty: unknown).
    const std::map<std::string, ax::Element>& seenElements;
};

namespace ElementIdentity {

// How far apart (in points, between the middles) a new element may lie from the chosen one's
// frame and still be found in its place: one row of the reading order.
inline constexpr double kReplacementReach = 24;
// How far the page around the chosen control is compared, in points each way.
inline constexpr double kSurroundings = 150;
// How far (in points) a control around it may have moved and still count as unchanged.
inline constexpr double kUnmoved = 4;

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

// The element's setting (bounded reads); none when the element or its parent cannot be read.
std::optional<ElementSetting> setting(ax::AccessibilityBackend& backend,
                                      const ax::Element& element);

// Whether `other`, found in the chosen control's place, is the same control drawn anew (see
// above). `fresh`: a reading of the window taken meanwhile, when there is one.
bool drawnAnew(ax::AccessibilityBackend& backend, const ChosenControl& chosen,
               const ax::Element& other, const std::optional<WindowSnapshot>& fresh);

// Whether the reading before the press saw this element (as any of its controls).
bool seenBefore(const ChosenControl& chosen, const ax::Element& element);

// The element to act on for `chosen`: the element itself when `now` (its fresh look) shows the
// same role and label inside `window`, and none when it shows them outside; else, from `reread`,
// the element itself with that role and label, or the element in its place that is the same
// control drawn anew. None when there is no such element.
std::optional<PresentControl> present(ax::AccessibilityBackend& backend,
                                      const ChosenControl& chosen,
                                      const std::optional<ElementLook>& now, const Rect& window,
                                      const WindowReading& reread);

}  // namespace ElementIdentity
}  // namespace ovra
