#pragma once

// One key press inside the app's own windows as the key map reads it: the key's physical
// position as a key code of the shared vocabulary (36 Return, 53 Escape, 0 the A position…), the
// characters it types with Shift alone (and, on the keypad, Num Lock), the modifiers (Ctrl stands
// for Command, Alt for Option, Super for Control) and whether it is an auto-repeat. Pure: the Qt
// layer hands in what the event carried, and the keyboard service's layout places the key and says
// what it types.

#include <cstdint>
#include <optional>
#include <string>

#include "core/OverlayKeys.h"
#include "platform/keyboard/KeyboardLayout.h"

namespace ovra {

struct KeyInput {
    int keyCode = unknownKey;
    std::optional<std::string> characters;  // absent when the key types nothing
    bool shift = false;
    bool command = false;  // Ctrl
    bool option = false;   // Alt
    bool control = false;  // Super
    bool isRepeat = false;

    // A key whose physical position is not known.
    static constexpr int unknownKey = -1;

    OverlayKeyPress overlayKeyPress(bool finding) const;
    friend bool operator==(const KeyInput&, const KeyInput&) = default;
};

// What a key event carried, in plain values.
struct RawKey {
    std::uint32_t xKeycode = 0;  // 0 when the event did not come from the X server
    int qtKey = 0;               // Qt's key, for events that carry no X key code
    std::string text;            // Qt's text, likewise
    bool modifierOnly = false;   // Shift, Ctrl, Alt, Super, Caps Lock… pressed alone
    bool shift = false;
    bool ctrl = false;
    bool alt = false;
    bool super = false;
    bool autoRepeat = false;
    std::uint32_t xModifiers = 0;  // the X event's modifier state (Num Lock), when it has one
};

namespace KeyAdapter {

// The key input for one key press; none for a modifier pressed alone. An X key code is placed
// and read in `layout` (the keyboard's current layout); without either, the key is placed by
// Qt's key. Keys that type nothing (arrows, function keys, Page Down…) get the private-use
// characters the key map knows them by (U+F700…), so a key the map does not use still counts.
std::optional<KeyInput> adapt(const RawKey& raw, const keyboard::KeyboardLayout* layout);

// The private-use character of a function or navigation key code; none for other keys.
std::optional<std::string> functionKeyCharacters(int keyCode);

// The key code of a Qt key that an event without an X key code can still be placed by (the
// keys that type no letter, the comma and the digit row); none for others.
std::optional<int> keyCodeOfQtKey(int qtKey);

}  // namespace KeyAdapter

}  // namespace ovra
