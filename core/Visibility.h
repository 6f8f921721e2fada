#pragma once

// Which controls of a reading a person can see: frames no screen could show, and controls that
// lie one over the other so that a ring drawn on one would show on the other. Pure rules over
// what the reading found.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/Rect.h"

namespace ovra::Visibility {

// How many screens a control's frame may span, or lie away from the area read, before the frame
// is taken for nonsense (a toolkit's INT_MAX sizes, a page's 1e9-wide element).
inline constexpr double kMostScreens = 4;
inline constexpr double kLeastScreen = 1024;

// Whether `frame` could be a control on a screen showing `area`: finite, of no negative size,
// no larger than a few screens and not farther than that from `area`.
bool isPlausibleFrame(const Rect& frame, const Rect& area);

// Whether rings drawn on the two frames would show on each other: they overlap over at least
// half of the smaller, and the smaller is no small part of the larger (a close button in the
// corner of a card is a ring of its own).
bool ringsCollide(const Rect& a, const Rect& b);

// One control as the overlap rules see it.
struct LaidControl {
    Rect frame;
    std::optional<bool>
        opaque;             // the toolkit says whether it is drawn fully opaque; absent: unknown
    bool raised = false;    // in a dialog or an open menu, which lie above a page's content
    std::vector<int> path;  // child indices from the window: nested controls never collide
    std::string role;
    std::string label;  // a control of the same role and label in the same place is the same one
};

struct Overlaps {
    std::vector<std::size_t> hidden;  // indices of controls not to offer, ascending
    int untold = 0;  // colliding pairs where it could not be told which one a person sees
};

// Which of two colliding controls (by index) the app's hit test finds at a point: the one on
// top there; absent when it finds neither or cannot be asked.
using OnTop = std::function<std::optional<std::size_t>(std::size_t a, std::size_t b, Point at)>;

// For each pair of colliding controls, the first rule that tells which one a person sees:
// - two alike (same role and label) are one: the later is hidden as a copy;
// - of siblings (one laid over the other in the same container, as an invisible control over
//   a visible one is), the one drawn transparent while the other is not is hidden; when nothing
//   tells them apart both are, and the pair counts as untold: a hit test finds the one on top,
//   not the one drawn;
// - of controls in different containers, one in a raised layer (a dialog, an open menu) that
//   the hit test finds on top hides the page's control below it; else both stay (a banner
//   drawn slightly transparent is still seen over the page).
Overlaps hiddenByOverlap(const std::vector<LaidControl>& controls, const OnTop& onTop = {});

}  // namespace ovra::Visibility
