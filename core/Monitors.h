#pragma once

// Where a person can see something when the monitors differ in size or are offset from each
// other: the screen (the root window) is the box around every monitor, and what lies in that box
// outside every monitor shows nowhere. Pure.

#include <optional>
#include <vector>

#include "core/Rect.h"

namespace ovra::Monitors {

// The monitors of a list of screen frames. Such a list may carry, beside the monitors, the area
// an overlay covers across several of them (the box around two or more others): that is no
// monitor and is left out.
std::vector<Rect> only(const std::vector<Rect>& screens);

// Whether some part of `frame` lies on one of the monitors of `screens` (see `only`); a frame
// without area, whether its corner does. With no monitor known, or no place given (a null or
// endless frame), nothing is ruled out.
bool shows(const Rect& frame, const std::vector<Rect>& screens);

// The monitor that shows the most of `frame` (the first of equals); none when none shows any.
std::optional<Rect> showing(const Rect& frame, const std::vector<Rect>& monitors);

}  // namespace ovra::Monitors
