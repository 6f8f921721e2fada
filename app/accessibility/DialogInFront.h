#pragma once

// The dialog that takes a window while it is open, so that nothing behind it may be offered or
// pressed: a page's own alert, confirm or prompt, which the browser shows over the page outside
// it, or a modal dialog (the toolkit's MODAL state, a page's aria-modal dialog).

#include <optional>
#include <string>
#include <vector>

#include "app/accessibility/AXWalk.h"
#include "core/Rect.h"
#include "platform/accessibility/AccessibilityBackend.h"

namespace ovra::DialogInFront {

// One part of a window as the prompt rule sees it.
struct Part {
    std::vector<int> path;
    std::string role;
    std::optional<Rect> frame;
    bool dialog = false;   // a dialog or sheet
    bool inWeb = false;    // inside a page
    bool control = false;  // a control a person can use
};

// The page's prompt among `parts` (an index): a part outside every page, laid over a page
// (`pages`, the page areas, or else the pages' own frames), that is a dialog, or that lies beside
// the page in the page's own container or the one above it, amid the page, and holds a button (a
// browser that tells it a dialog only a moment after it shows it); or a dialog that is the whole
// content of a window showing no page (a browser that shows the prompt in its page's place). Absent
// when there is none.
std::optional<std::size_t> promptAmong(const std::vector<Part>& parts,
                                       const std::vector<Rect>& pages);

// The node (an index into `walked.nodes`) of the dialog in front: a page's prompt over `web`, the
// page's area, else the last modal dialog the walk met that shows in `viewport`. Absent when
// there is none.
std::optional<std::size_t> of(const WalkResult& walked, const Rect& viewport,
                              const std::optional<Rect>& web);

// Whether `window` shows a page's prompt now, and `element` lies outside it: a press of
// `element` would reach nothing the page shows. Looks through the browser's own parts of the
// window (never into its pages), a few hundred elements at most.
bool promptHides(ax::AccessibilityBackend& backend, const ax::Element& window,
                 const ax::Element& element);

}  // namespace ovra::DialogInFront
