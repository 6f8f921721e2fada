#pragma once

// What the outcome of a press tells: the log's line for it, and what the user hears and reads
// when the control was not pressed, or may not have been.

#include <optional>
#include <string>

#include "app/accessibility/ElementActions.h"

namespace ovra::PressReport {

// "Ovra pressed "Play": pressed, it relabelled itself "Pause"", "Ovra did not press "Save": the
// control changed", …
std::string logLine(const std::string& label, const PressOutcome& outcome);
// Why the control was not pressed; none when the press landed.
std::optional<std::string> sentence(const PressOutcome& outcome);

// How the user is told why, after a press that did not land.
enum class Telling {
    overThePage,  // nothing was pressed: over the window read again, to choose anew
    alone,        // it may have been pressed: the sentence alone, no control under the next Return
};
Telling telling(const PressOutcome& outcome);

}  // namespace ovra::PressReport
