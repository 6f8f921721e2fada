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

// The box around every one of `screens` that shows some of `window`: what an overlay over the
// window covers, since a window spans monitors; none when no screen shows any of it.
std::optional<Rect> spanned(const Rect& window, const std::vector<Rect>& screens);

// `screens` with the box the window spans first, when it shows on any: a reading takes the
// first screen holding the window's middle as its screen, so it reads the window as far as it
// shows, on every monitor, as the overlay shows it.
std::vector<Rect> withSpanFirst(const Rect& window, const std::vector<Rect>& screens);

}  // namespace ovra::Monitors
