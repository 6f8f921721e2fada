#pragma once

// The parts of a page that change by themselves: a clock, a carousel, a countdown. A press in
// web content waits until what the page did as it got the keyboard back shows; their changes
// say nothing of that, so they need not hold it.
//
// A page changes a part as it gets or loses the keyboard once for each such change of the
// keyboard, whatever its delay. A part seen changing at two moments with no change of the keyboard
// between them changes by itself.

#include <vector>

#include "platform/accessibility/AccessibilityBackend.h"

namespace ovra::PageTickers {

// How far back before a press its page's changes are looked at.
inline constexpr double kHistory = 3.0;
// Changes of one part this close together are one moment: one batch of the browser's.
inline constexpr double kOneMoment = 0.1;

// The sources of the content changes in `told` (in the order heard, with their times) that
// changed at two moments or more before `until` with no focus or activation change between them.
std::vector<ax::Element> find(const std::vector<ax::Change>& told, double until);

}  // namespace ovra::PageTickers
