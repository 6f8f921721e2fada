#include "core/MemoryPolicy.h"

namespace ovra {

std::string_view toString(MemoryPressure level) {
    switch (level) {
        case MemoryPressure::normal:
            return "normal";
        case MemoryPressure::warning:
            return "warning";
        case MemoryPressure::critical:
            return "critical";
    }
    return "normal";
}

namespace ModelMemoryPolicy {

Action onPressure(MemoryPressure level, bool modelRunning) {
    return level == MemoryPressure::critical && modelRunning ? Action::pause : Action::none;
}

Action onPress(MemoryPressure level, bool pausedForMemory, bool modelWanted) {
    return pausedForMemory && modelWanted && level != MemoryPressure::critical ? Action::resume
                                                                               : Action::none;
}

}  // namespace ModelMemoryPolicy
}  // namespace ovra
