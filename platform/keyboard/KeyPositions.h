#pragma once

// The one table between the shared key-code vocabulary (the key codes the logic library and the
// stored hotkey presets use, one per physical key position) and the XKB key names that name
// the same positions on a PC keyboard (<AB10> is the key right of the full stop on every
// layout). X keycodes are never stored: they come from the keymap the server runs.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace ovra::keyboard {

struct KeyPosition {
    std::uint16_t keyCode = 0;  // shared vocabulary, 0…127
    std::string_view xkbName;   // without the angle brackets
    bool keypad = false;        // on the numeric keypad, which many laptops lack
};

// Every position the table knows, by ascending key code.
std::span<const KeyPosition> keyPositions();

// The position of a key code; absent for a code no PC key has.
std::optional<KeyPosition> positionOf(std::uint16_t keyCode);

// The small letter the US layout types at a key code's position; absent for other keys.
std::optional<char> usLetter(std::uint16_t keyCode);

}  // namespace ovra::keyboard
