#pragma once

// Where a browser shows a page's own alert, confirm or prompt: over the page but outside it, as a
// part of the browser's window. Pure rules over the parts of a window, beside the rules of what a
// person sees (core/Visibility.h); app/accessibility/DialogInFront.h reads the window for them.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "core/Rect.h"

namespace ovra::PagePrompt {

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

}  // namespace ovra::PagePrompt
