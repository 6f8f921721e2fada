#pragma once

// What the keys of a keyboard type in one layout group, through xkbcommon: the shared key code
// of an X keycode and back (by physical position, through KeyPositions), the text a key types
// plain and with Shift, and the key that types "/" for the find hotkey.
//
// A KeyboardLayout is a value: copies share the compiled keymap, and a layout switch gives a new
// value (`inGroup`). No xkbcommon header leaks out of this file.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Result.h"

struct xkb_keymap;

// Declared in core/OverlayKeys.h, which Qt code cannot include after Qt's keyword macros.
namespace ovra::FindShortcut {
struct KeyOutput;
}

namespace ovra::keyboard {

class KeyboardLayout final {
  public:
    // A keymap compiled from XKB names with the evdev rules and the pc105 model, as X servers
    // on Linux run them; `layouts` may list several groups ("us,de"). Only xkb-data is read.
    static Result<KeyboardLayout> fromNames(std::string_view layouts,
                                            std::string_view variants = {},
                                            std::string_view options = {});
    // Takes over a keymap reference (for the live keyboard of the X server).
    static KeyboardLayout adopt(xkb_keymap* keymap, std::uint32_t group);

    // The same keymap in another group; out-of-range groups wrap as XKB wraps them.
    KeyboardLayout inGroup(std::uint32_t group) const;
    std::uint32_t group() const { return group_; }
    std::uint32_t groupCount() const;
    // The group's name as the keymap gives it ("German"), for log lines.
    std::string groupName() const;

    // The X keycode at a key code's position; absent when this keyboard has no such key.
    std::optional<std::uint32_t> xKeycode(std::uint16_t keyCode) const;
    // The key code at an X keycode's position; absent for keys the vocabulary has no code for.
    std::optional<std::uint16_t> keyCode(std::uint32_t xKeycode) const;
    // What the key types in this group with no modifier or with Shift alone: never Control or
    // Lock text. Empty for dead keys, modifiers and keys that type nothing. With `numLock` the
    // keypad types as Num Lock makes it (digits and the decimal point).
    std::string characters(std::uint32_t xKeycode, bool shift, bool numLock = false) const;
    // Whether Num Lock is on in the modifier state of an X key event.
    bool numLockOn(std::uint32_t xModifiers) const;

    // What every main-block key types, by ascending key code. Keypad keys are left out: a laptop
    // has none, so a hotkey on one could not be pressed there.
    std::vector<FindShortcut::KeyOutput> mainBlockOutputs() const;
    // The key code of the key that types "/" (plain before shifted, lowest code first), else the
    // "/" position of the US layout.
    std::uint16_t slashKeyCode() const;
    // The key that types, plain, the letter the US layout types at `keyCode` (so a hotkey named
    // by its letter is that letter's key here); `keyCode` itself for keys that type no letter
    // on the US layout, and where no main-block key of this group types that letter.
    std::uint16_t letterKeyCode(std::uint16_t keyCode) const;

  private:
    struct Keymap;
    struct GroupState;
    KeyboardLayout(std::shared_ptr<const Keymap> keymap, std::uint32_t group);

    std::shared_ptr<const Keymap> keymap_;
    std::shared_ptr<const GroupState> state_;
    std::uint32_t group_ = 0;
};

}  // namespace ovra::keyboard
