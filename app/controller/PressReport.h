#pragma once

// What the outcome of a press tells: the log's line for it, and what the user hears and reads
// when the control was not pressed, or may not have been.

#include <optional>
#include <string>

#include "app/accessibility/ElementActions.h"

namespace ovra::PressReport {

// "Ovra pressed "Save": AXPress", "Ovra did not press "Save": the control changed", …
std::string logLine(const std::string& label, const PressOutcome& outcome);
// Why the control was not pressed; none when the press landed.
std::optional<std::string> sentence(const PressOutcome& outcome);

}  // namespace ovra::PressReport
