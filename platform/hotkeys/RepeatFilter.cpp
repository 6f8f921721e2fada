#include "platform/hotkeys/RepeatFilter.h"

namespace ovra::hotkeys {

bool RepeatFilter::press(std::uint32_t keycode, std::uint32_t time) {
    const bool wasHeld = !held_.insert(keycode).second;
    if (wasHeld) {
        return false;
    }
    if (detectable_) {
        return true;
    }
    const auto released = releasedAt_.find(keycode);
    return released == releasedAt_.end() || released->second != time;
}

void RepeatFilter::release(std::uint32_t keycode, std::uint32_t time) {
    held_.erase(keycode);
    releasedAt_[keycode] = time;
}

}  // namespace ovra::hotkeys
