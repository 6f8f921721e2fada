#pragma once

// The dialog that takes a window while it is open, so that nothing behind it may be offered or
// pressed: a page's own alert, confirm or prompt, which the browser shows over the page outside
// it, or a modal dialog (the toolkit's MODAL state, a page's aria-modal dialog).

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/accessibility/AXWalk.h"
#include "core/PagePrompt.h"
#include "core/Rect.h"
#include "platform/accessibility/AccessibilityBackend.h"

namespace ovra::DialogInFront {

// The prompt rule itself is pure: core/PagePrompt.h.
using Part = PagePrompt::Part;
using PagePrompt::promptAmong;

// Whether the toolkit's hit test at `at` finds node `dialog` (an index into `walked.nodes`) or
// something inside it; absent when it cannot tell.
using FindsDialog = std::function<std::optional<bool>(std::size_t dialog, Point at)>;

// The node (an index into `walked.nodes`) of the dialog in front: a page's prompt over `web`, the
// page's area, else the last modal dialog the walk met that is shown: a frame of some size in
// `viewport`, not drawn transparent where the toolkit tells, at whose middle there the hit test
// (`finds`) answers the dialog or its content. A page that closes its dialog by fading it out,
// folding it to no height or letting the pointer through it leaves it in the tree, MODAL still:
// the page behind is what a person sees. A dialog the hit test cannot tell of counts, and so
// does one faded out in place where the toolkit tells no opacity (Chromium's hit test finds
// what is drawn at none). Absent when there is none. The modal dialogs the hit test found not
// shown go to `notShown`, when given: nothing in them is seen either.
std::optional<std::size_t> of(const WalkResult& walked, const Rect& viewport,
                              const std::optional<Rect>& web, const FindsDialog& finds = {},
                              std::vector<std::size_t>* notShown = nullptr);

// The modal dialogs (indices into `walked.nodes`) drawn transparent, where the toolkit tells: a
// dialog faded out in place and left there, whose controls a hit test still finds. A dialog
// inside a node drawn transparent is too (a page fades the backdrop that holds its dialog).
std::vector<std::size_t> fadedOut(const WalkResult& walked);

// Whether `window` shows a page's prompt now, and `element` lies outside it: a press of
// `element` would reach nothing the page shows. Looks through the browser's own parts of the
// window (never into its pages), a few hundred elements at most.
bool promptHides(ax::AccessibilityBackend& backend, const ax::Element& window,
                 const ax::Element& element);

}  // namespace ovra::DialogInFront
