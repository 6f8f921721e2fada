#pragma once

// Whether a control of a page is what a person sees where it is, at the moment of a press: the
// toolkit is asked what is painted at a point of the control's visible part, and the control is
// seen when the answer is the control or something inside it. A reading asks only about controls
// that something of the page's tree may lie over; the last look before a press asks about any,
// since a clip the tree does not tell of (a clip-path) leaves nothing of the control painted.
// What lies over a control is the reading's to judge: the action reaches the control itself.

#include <optional>
#include <vector>

#include "core/Rect.h"
#include "platform/accessibility/AccessibilityBackend.h"

namespace ovra {
class BoundedReader;
}

namespace ovra::PaintedAtPress {

// What the toolkit showed of the control.
enum class Answer {
    seen,    // the control, or something inside it, is painted at a point of its visible part
    hidden,  // the control's own container is painted at every point asked (a clip)
    untold,  // the toolkit could not say (an error, a time-out, nothing but the window)
};

// A hit test asked at `at` when `when` (on the reader's clock): a toolkit that answers first from
// its tree's bounds has had time to look at what is painted there.
struct Asked {
    Point at;
    double when = 0;
};

struct Question {
    ax::Element window;  // what the toolkit is asked of
    ax::Element control;
    Rect region;               // the control's visible part (see visiblePart)
    std::vector<Rect> others;  // the frames of the other controls the reading showed
    std::optional<Asked> asked;
};

// At most this many points are asked about: a cover the answers give no way around, or a control
// not painted at any of them, is hidden.
inline constexpr int kMostPoints = 4;
// How long an earlier hit test at the same point stands for what is painted there now.
inline constexpr double kAskedStands = 0.1;

// The part of `frame` a person may see: inside `shown` (where the reading found the window's
// content) and the window's frame, each where known.
Rect visiblePart(const Rect& frame, const Rect& shown, const Rect& window);

// The first point to ask at: inside `region`, apart from the other controls that lie partly
// over it (a chip's remove button, a thumbnail's play button) where it can be, else its middle.
// None when the region is too small to hold one.
std::optional<Point> firstPoint(const Rect& region, const std::vector<Rect>& others);

// Asks the toolkit, first at `firstPoint`, then at points far from those asked, inside the frames
// of the control's ancestors (a scroll area, a carousel), while the control's container answers,
// until the control is seen or no point is left. Anything else on top leaves it untold.
Answer ask(BoundedReader& reader, const Question& question);

}  // namespace ovra::PaintedAtPress
