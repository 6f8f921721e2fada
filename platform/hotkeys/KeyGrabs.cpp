#include "platform/hotkeys/KeyGrabs.h"

#include <algorithm>

namespace ovra::hotkeys {

namespace {

// The grabs of `from` that `other` lacks, in order.
std::vector<KeyGrab> missingFrom(const std::vector<KeyGrab>& from,
                                 const std::vector<KeyGrab>& other) {
    std::vector<KeyGrab> out;
    for (const KeyGrab& grab : from) {
        if (std::find(other.begin(), other.end(), grab) == other.end()) {
            out.push_back(grab);
        }
    }
    return out;
}

}  // namespace

std::vector<KeyGrab> lockVariants(std::uint32_t keycode, std::uint16_t modifiers,
                                  const std::vector<std::uint16_t>& lockBits) {
    std::vector<KeyGrab> variants{{keycode, modifiers}};
    for (const std::uint16_t bit : lockBits) {
        const std::size_t count = variants.size();
        for (std::size_t i = 0; i < count; ++i) {
            variants.push_back({keycode, static_cast<std::uint16_t>(variants[i].modifiers | bit)});
        }
    }
    return variants;
}

GrabChange grabChange(const std::vector<KeyGrab>& held, const std::vector<KeyGrab>& wanted) {
    return {missingFrom(wanted, held), missingFrom(held, wanted)};
}

}  // namespace ovra::hotkeys
