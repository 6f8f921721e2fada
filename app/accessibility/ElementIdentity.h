#pragma once

// Which element a press acts on: pages replace their controls at any time (a consent dialog that
// re-renders, a list that is rebuilt), so the element the user chose is looked at again just
// before it is pressed. It stands when it is still there with its role and label, inside the
// window; when the page has replaced it, a new element of that role and label where it was takes
// its place; otherwise nothing may be pressed. The frame that comes back is the element's
// present one: a click never goes to a remembered point.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

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

// The element to act on, and where it is now.
struct PresentControl {
    ax::Element element;
    Rect frame;
    bool replaced = false;  // a new element that took the chosen one's place
};

// A fresh reading of the target's window; none when it cannot be read.
using WindowReading = std::function<std::optional<WindowSnapshot>()>;

namespace ElementIdentity {

// How far apart (in points, between the middles) a new element may lie from the chosen one's
// frame and still take its place: one row of the reading order.
inline constexpr double kReplacementReach = 24;

// Whether two labels name the same control, as the planner tells controls apart.
bool sameLabel(std::string_view a, std::string_view b);

// Whether an element with this role and label, at `frame`, is `chosen` or stands in for it: the
// same role and label, its middle within reach of the chosen frame's.
bool standsFor(const UICandidate& chosen, const std::string& role, const std::string& label,
               const Rect& frame);

// Looks at the element afresh. The look starts as every reading does, at the app's element: a
// backend that keeps what it read between readings makes sure there that the app has not
// changed since. Absent when the element cannot be asked (the page removed it).
std::optional<ElementLook> look(ax::AccessibilityBackend& backend, const ax::RunningApp& app,
                                const ax::Element& element);
// Looks at another element of the app just looked at, without starting anew at the app's element.
std::optional<ElementLook> lookAgain(ax::AccessibilityBackend& backend, const ax::Element& element);

// The element to act on for `chosen` (as an earlier reading showed it, with `element`): the
// element itself when `now` (its fresh look) shows the same role and label inside `window`, and
// none when it shows them outside; else, from `reread`, the element itself with that role and
// label, or the nearest other element of that role and label within reach of the chosen frame.
// None when there is no such element.
std::optional<PresentControl> present(const UICandidate& chosen, const ax::Element& element,
                                      const std::optional<ElementLook>& now, const Rect& window,
                                      const WindowReading& reread);

}  // namespace ElementIdentity
}  // namespace ovra
