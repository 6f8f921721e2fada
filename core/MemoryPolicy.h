#pragma once

// When the system runs short of memory the on-device model is unloaded and the built-in rules
// take over until memory frees up. These are the levels and the two rules of that decision.

#include <string_view>

namespace ovra {

enum class MemoryPressure { normal, warning, critical };

std::string_view toString(MemoryPressure level);

namespace ModelMemoryPolicy {

enum class Action { none, pause, resume };

// Shown, translated through OvraText::t, as the offline reason of a paused model.
inline constexpr std::string_view pausedReason =
    "This computer is short of memory, so Ovra paused its on-device model and is using its "
    "built-in "
    "rules. It comes back once memory frees up.";

// On a pressure change: pause a loaded model at critical pressure; never resumes.
Action onPressure(MemoryPressure level, bool modelRunning);

// At the start of a request: resume a model paused for memory when it is still wanted and the
// pressure is no longer critical; never pauses.
Action onPress(MemoryPressure level, bool pausedForMemory, bool modelWanted);

}  // namespace ModelMemoryPolicy
}  // namespace ovra
