#pragma once

// The window the self-tests open the overlay on in place of another app's: six controls at
// fixed places (a title with a non-ASCII letter, an upsell, an action the safety rules treat as
// consequential, a link) over a page 3000 points long whose scroll offset the test sets. No
// part of it is backed by an accessibility element, so nothing reads or presses through the
// accessibility bus, least of all on this process's own tree.

#include <cstdint>

#include "app/accessibility/AXExtractor.h"

namespace ovra::selftest {

// The fixture scrolled `offset` points down: only the document's rectangle moves with it.
// `pid` is this process's id.
WindowSnapshot fixture(double offset, std::int64_t pid);

}  // namespace ovra::selftest
