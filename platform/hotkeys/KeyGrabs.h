#pragma once

// The passive key grabs one hotkey holds on an X server, and how a hotkey moves from the grabs
// it holds to the ones it wants. A grab matches its modifiers exactly, so a chord is one grab per
// combination of the lock modifiers. A hotkey that moves takes its new grabs before it lets the
// old ones go, and leaves alone the grabs it holds already: no press of its key falls into a gap.

#include <cstdint>
#include <vector>

namespace ovra::hotkeys {

// One passive grab: an X keycode and the whole X modifier mask, lock bits included.
struct KeyGrab {
    std::uint32_t keycode = 0;
    std::uint16_t modifiers = 0;
    friend bool operator==(const KeyGrab&, const KeyGrab&) = default;
};

// `keycode` with `modifiers` under every combination of the lock bits (each in or out),
// `modifiers` alone first.
std::vector<KeyGrab> lockVariants(std::uint32_t keycode, std::uint16_t modifiers,
                                  const std::vector<std::uint16_t>& lockBits);

// What moving a hotkey from the grabs it holds to the ones it wants asks of the server, in this
// order: the grabs to take, then the grabs to let go. Both are empty when nothing changes.
struct GrabChange {
    std::vector<KeyGrab> take;
    std::vector<KeyGrab> letGo;
    bool none() const { return take.empty() && letGo.empty(); }
};
GrabChange grabChange(const std::vector<KeyGrab>& held, const std::vector<KeyGrab>& wanted);

}  // namespace ovra::hotkeys
