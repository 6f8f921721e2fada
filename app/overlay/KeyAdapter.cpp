#include "app/overlay/KeyAdapter.h"

#include <array>
#include <utility>

#include "platform/keyboard/KeyPositions.h"

namespace ovra {

OverlayKeyPress KeyInput::overlayKeyPress(bool finding) const {
    return {keyCode, characters, shift, command, option || control, finding, isRepeat};
}

namespace KeyAdapter {

namespace {

// Keys that type nothing, by key code, and the private-use character the key map knows each by.
constexpr std::array<std::pair<int, char16_t>, 25> kFunctionKeys{{
    {126, 0xF700}, {125, 0xF701}, {123, 0xF702}, {124, 0xF703},  // arrows
    {122, 0xF704}, {120, 0xF705}, {99, 0xF706},  {118, 0xF707},  // F1–F4
    {96, 0xF708},  {97, 0xF709},  {98, 0xF70A},  {100, 0xF70B},  // F5–F8
    {101, 0xF70C}, {109, 0xF70D}, {103, 0xF70E}, {111, 0xF70F},  // F9–F12
    {105, 0xF710}, {107, 0xF711}, {113, 0xF712},                 // F13–F15
    {117, 0xF728}, {115, 0xF729}, {119, 0xF72B},                 // forward delete, home, end
    {116, 0xF72C}, {121, 0xF72D}, {114, 0xF746},                 // page up, page down, help
}};

// Qt's codes of the keys an event without an X key code (another platform, a test) can still
// be placed by: the keys that type no letter, and the comma.
constexpr std::array<std::pair<int, int>, 18> kQtKeys{{
    {0x01000004, 36},   // Return
    {0x01000005, 76},   // Enter
    {0x01000001, 48},   // Tab
    {0x01000002, 48},   // Backtab
    {0x20, 49},         // Space
    {0x01000003, 51},   // Backspace
    {0x01000000, 53},   // Escape
    {0x01000007, 117},  // Delete
    {0x01000010, 115},  // Home
    {0x01000011, 119},  // End
    {0x01000016, 116},  // Page Up
    {0x01000017, 121},  // Page Down
    {0x01000012, 123},  // Left
    {0x01000014, 124},  // Right
    {0x01000015, 125},  // Down
    {0x01000013, 126},  // Up
    {0x0100003c, 105},  // F13
    {0x2c, 43},         // Comma
}};

// The digit row's key codes, by the digit: 0 is the last key of the row.
constexpr std::array<int, 10> kDigitCodes{29, 18, 19, 20, 21, 23, 22, 26, 28, 25};

std::string utf8(char16_t c) {
    return {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
            static_cast<char>(0x80 | (c & 0x3F))};
}

bool printable(const std::string& text) {
    return !text.empty() && static_cast<unsigned char>(text[0]) >= 0x20 && text != "\x7f";
}

// What a Qt key types when the event's own text is a control character (Ctrl+A gives "\x01").
std::string characterOf(int qtKey, bool shift) {
    if (qtKey >= 'A' && qtKey <= 'Z') {
        return std::string(1, static_cast<char>(shift ? qtKey : qtKey - 'A' + 'a'));
    }
    if (qtKey > 0x20 && qtKey < 0x7f) {
        return std::string(1, static_cast<char>(qtKey));
    }
    return {};
}

}  // namespace

std::optional<std::string> functionKeyCharacters(int keyCode) {
    for (const auto& [code, character] : kFunctionKeys) {
        if (code == keyCode) {
            return utf8(character);
        }
    }
    return std::nullopt;
}

std::optional<int> keyCodeOfQtKey(int qtKey) {
    for (const auto& [known, code] : kQtKeys) {
        if (known == qtKey) {
            return code;
        }
    }
    if (qtKey >= '0' && qtKey <= '9') {
        return kDigitCodes[static_cast<std::size_t>(qtKey - '0')];
    }
    return std::nullopt;
}

std::optional<KeyInput> adapt(const RawKey& raw, const keyboard::KeyboardLayout* layout) {
    if (raw.modifierOnly) {
        return std::nullopt;
    }
    KeyInput key;
    key.shift = raw.shift || raw.qtKey == 0x01000002;  // Backtab is Shift-Tab
    key.command = raw.ctrl;
    key.option = raw.alt;
    key.control = raw.super;
    key.isRepeat = raw.autoRepeat;
    std::string characters;
    if (raw.xKeycode != 0 && layout) {
        const std::optional<std::uint16_t> code = layout->keyCode(raw.xKeycode);
        key.keyCode = code ? static_cast<int>(*code) : KeyInput::unknownKey;
        // The keypad types digits only under Num Lock; no other key follows Num Lock.
        const auto position = code ? keyboard::positionOf(*code) : std::nullopt;
        const bool numLock = position && position->keypad && layout->numLockOn(raw.xModifiers);
        characters = layout->characters(raw.xKeycode, raw.shift, numLock);
    } else {
        key.keyCode = keyCodeOfQtKey(raw.qtKey).value_or(KeyInput::unknownKey);
        characters = printable(raw.text) ? raw.text : characterOf(raw.qtKey, raw.shift);
    }
    if (characters.empty()) {
        key.characters = functionKeyCharacters(key.keyCode);
    } else {
        key.characters = std::move(characters);
    }
    return key;
}

}  // namespace KeyAdapter

}  // namespace ovra
