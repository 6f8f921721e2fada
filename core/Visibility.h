#pragma once

// Which controls of a reading a person can see: frames no screen could show, controls that lie
// one over the other so that a ring drawn on one would show on the other, and controls that
// something else of the window may cover or clip away, which the toolkit is then asked about.
// Pure rules over what the reading found.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Rect.h"

namespace ovra::Visibility {

// Whether `frame` could be a control on a screen showing `area`: finite, of no negative size,
// and meeting `area`. A frame of any size that meets it is taken (a tall editor, a page-wide
// banner): only the part on screen is looked at.
bool isPlausibleFrame(const Rect& frame, const Rect& area);

// Whether a control of `frame` is a sliver: thinner than a finger's edge on one side (a
// column's resize handle, a splitter's grip). An unnamed one that is no control by its role,
// only pressable (a page's element with a click handler), is nothing a person would press.
bool isSliver(const Rect& frame);

// Whether two frames lie nearly in the same place: they share at least three quarters of the
// larger.
// Only such controls are "laid over each other"; a small control inside a larger one (a chip's
// remove button, a thumbnail's play button) is not.
bool nearlyCoincide(const Rect& a, const Rect& b);

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

// For each pair of controls that nearly coincide, the first rule that tells which one a person
// sees:
// - two alike (same role and label) in one layer are one: the later is hidden as a copy; across
//   layers (a dialog's control over the page's of the same label) the one the hit test finds on
//   top there is seen, and the raised one when it cannot tell;
// - of siblings (one laid over the other in the same container, as an invisible control over
//   a visible one is), the one drawn transparent while the other is not is hidden; when nothing
//   tells them apart both are, and the pair counts as untold: a hit test finds the one on top,
//   not the one drawn;
// - of controls in different containers, one in a raised layer (a dialog, an open menu) that
//   the hit test finds on top hides the page's control below it; else both stay (a banner
//   drawn slightly transparent is still seen over the page).
Overlaps hiddenByOverlap(const std::vector<LaidControl>& controls, const OnTop& onTop = {});

// One node of a reading as the cover rules see it.
struct Box {
    enum class Kind {
        control,    // a candidate control
        text,       // a text leaf: text runs wrap and overflow, and never cover anything
        container,  // anything else with a frame: a section, a banner, an image, a dialog
    };
    Rect frame;
    std::vector<int> path;  // child indices from the window; the window's is empty
    Kind kind = Kind::container;
    std::optional<bool> opaque;  // false: drawn fully transparent, or nowhere: it covers nothing
    // A scroll area, page or window: the visible part of what it holds is already clipped to it
    // (and a page's frame read a moment apart from its content, while it scrolls, is no clip).
    bool clips = false;
    // Inside a page: a page's control is covered only by the page's own boxes (the browser's
    // prompts are the dialog-in-front rules'; its bars come and go as it animates them).
    bool inPage = false;
};

// What the boxes of a reading say of one control before the toolkit is asked.
struct Exam {
    // Nothing of the control is left inside the viewport and its clips: not seen, never asked.
    bool unseen = false;
    // Something may lie over the control or clip it: ask the toolkit what is on top at `at`.
    bool suspect = false;
    // A suspect only for its states, with nothing of the window over it or clipping it.
    bool onlyStates = false;
    // The boxes of other branches laid over it (indices into the boxes), when they alone made
    // it a suspect: once the toolkit finds another control seen under the same ones, in the
    // same layer, they are no cover here either (a page's layout box under its side menu).
    std::vector<std::size_t> over;
    Point at;
};

// A control to examine: its box, and the part of its frame that the screen, the viewport and
// its clipping ancestors (scroll areas, frames) leave visible.
struct Shown {
    std::size_t box = 0;
    Rect visible;
    bool unsettled = false;  // its states cannot tell whether it is drawn (a paint not caught up)
};

// Examines each control (in order). A control is a suspect when boxes from other branches of the
// tree laid over it (a cover over content that is not its own, a control later in the page)
// leave no place of its visible part free of them, when its visible part leaves an ancestor's
// frame (an overflow container may clip it), or when its states do not settle it. A control
// earlier in the page is drawn under it and lies over nothing of it (a card's link under its
// save button). The point to ask at lies in the visible part, inside its ancestors where it can,
// and where no other box overlaps it when there is such a place.
//
// A control of a page leaving an ancestor's frame in part is no suspect for that: the browser's
// states tell what an overflow container clips away (and the walk leaves it out), and where they
// cannot tell yet the control is unsettled. One wholly outside an ancestor's frame is a suspect:
// the ancestor clips it away or lets it overflow, and the states do not always tell which. A
// control with no visible part is unseen.
//
// The boxes only choose whom to ask: none hides a control by itself. A box holding no control
// may be a transparent fade, a spotlight, a watermark or a slider's track as well as a banner
// (no toolkit here tells opacity of what it draws), so only the toolkit's hit test tells.
//
// `beneath`, when given, is asked about a container of the page laid over a control of the page
// as an earlier sibling of the control or of one of its ancestors: whether it is drawn under what
// follows it in their parent (a field's background before the field's content). One that is
// hides nothing of the control.
using Beneath = std::function<bool(std::size_t box)>;
std::vector<Exam> examine(const std::vector<Box>& boxes, const std::vector<Shown>& controls,
                          const Beneath& beneath = {});

// Whether a page's `id` or `class` names its element a background: one of its words, split at
// spaces, dashes, underscores and a lower-case letter's change to upper case, is "background"
// ("stateBackground", "hero-background"). A short "bg" names none: utility classes such as
// "bg-white" colour covers as often as backgrounds.
bool namesABackground(std::string_view name);

// After the toolkit found box `hit` on top at the point asked for control `asked` (neither
// inside the other): whether `other` lies under that same box too, so that it need not be
// asked. It does when its visible part lies within the box, outside the box's own branch, in the
// same branch below their common ancestor as `asked` (the same layer of the page).
bool underSameCover(const std::vector<Box>& boxes, const Shown& asked, std::size_t hit,
                    const Shown& other);

// After the toolkit found control `asked` seen at its point: whether `other` needs no asking,
// since only boxes that lay over `asked` too lie over it, each in the same branch below their
// common ancestor with `asked` (the same layer of the page), and nothing else makes it a suspect.
bool clearOfSameBoxes(const std::vector<Box>& boxes, const Shown& asked, const Exam& askedExam,
                      const Shown& other, const Exam& otherExam);

// A point of `region` that none of `avoid` holds, tried from the middle out over grids of 1, 3
// and 5 points a side, else the middle of the widest part they leave free (8 px across at
// least); absent when there is none.
std::optional<Point> pointApart(const Rect& region, const std::vector<const Rect*>& avoid);

// Whether path `inner` lies within `outer`'s subtree (or is it).
bool within(const std::vector<int>& inner, const std::vector<int>& outer);

}  // namespace ovra::Visibility
