#pragma once

// What the open overlay says, sentence by sentence: when a plan opens, for the selection, after
// a scroll and after a correction. Pure functions of what the overlay shows.

#include <optional>
#include <string>

#include "app/overlay/OverlayModel.h"
#include "core/FindAndScroll.h"
#include "core/FocusPlanner.h"

namespace ovra::OverlaySentences {

// "Ovra: 3 choices, 1 distraction hidden. 1, Save, button"; a hint when nothing is numbered.
std::string opening(const OverlayModel& overlay, const FocusPlan& plan);
// "2 of 5: Save, button" (with the reason of a control shown for it), after `prefix`; the
// prefix alone, or nothing, when nothing numbered is selected.
std::optional<std::string> selection(const OverlayModel& overlay,
                                     const std::optional<std::string>& prefix);
// "Scrolled down. 3 choices." and, when the page tells, that it ends there.
std::string scrolled(ScrollDirection direction, const FocusPlan& plan,
                     const std::optional<ScrollExtent>& extent);
// A pin or mute toggled on the control `label` of `appName`: the correction now in force.
std::string corrected(const std::optional<FocusOverride>& now, const std::string& label,
                      const std::string& appName);
// A control without a name cannot be pinned or muted.
std::string cannotCorrectUnnamed();

}  // namespace ovra::OverlaySentences
