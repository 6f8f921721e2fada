#pragma once

// What a key means while the overlay is open, and which key types "/" for the find hotkey.
// Keys are macOS virtual key codes plus the characters typed ignoring modifiers (which still
// reflect Shift); the platform layer translates its own key events into them.

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "core/FindAndScroll.h"

namespace ovra {

// A key's effect on the page or the overlay's find field.
struct OverlayKeyAction {
    enum class Kind : std::uint8_t { scroll, openFind, press, ignore };

    Kind kind = Kind::ignore;
    ScrollDirection direction = ScrollDirection::down;  // meaningful for scroll only
    ScrollStep step = ScrollStep::page;                 // meaningful for scroll only

    static constexpr OverlayKeyAction scroll(ScrollDirection d, ScrollStep s) {
        return {Kind::scroll, d, s};
    }
    static constexpr OverlayKeyAction openFind() { return {Kind::openFind}; }
    static constexpr OverlayKeyAction press() { return {Kind::press}; }
    // Recognised and does nothing (a held press or find key).
    static constexpr OverlayKeyAction ignore() { return {Kind::ignore}; }

    friend constexpr bool operator==(const OverlayKeyAction& a, const OverlayKeyAction& b) {
        return a.kind == b.kind &&
               (a.kind != Kind::scroll || (a.direction == b.direction && a.step == b.step));
    }
};

// A key's effect on the overlay's own state.
struct OverlayCommand {
    enum class Kind : std::uint8_t {
        move,
        choose,
        close,
        why,
        pin,
        mute,
        showAll,
        sidebar,
        ignore
    };

    Kind kind = Kind::ignore;
    int number = 0;  // move: places (1 forward, -1 back); choose: the highlight's number 1...9

    static constexpr OverlayCommand move(int by) { return {Kind::move, by}; }
    static constexpr OverlayCommand choose(int n) { return {Kind::choose, n}; }
    static constexpr OverlayCommand close() { return {Kind::close}; }
    static constexpr OverlayCommand why() { return {Kind::why}; }
    static constexpr OverlayCommand pin() { return {Kind::pin}; }
    static constexpr OverlayCommand mute() { return {Kind::mute}; }
    static constexpr OverlayCommand showAll() { return {Kind::showAll}; }
    static constexpr OverlayCommand sidebar() { return {Kind::sidebar}; }
    // Recognised and does nothing.
    static constexpr OverlayCommand ignore() { return {Kind::ignore}; }

    friend constexpr bool operator==(const OverlayCommand& a, const OverlayCommand& b) {
        return a.kind == b.kind &&
               ((a.kind != Kind::move && a.kind != Kind::choose) || a.number == b.number);
    }
};

// The key map's answer: a key action or an overlay command.
struct OverlayEffect {
    std::variant<OverlayKeyAction, OverlayCommand> value;

    static OverlayEffect action(OverlayKeyAction a) { return {a}; }
    static OverlayEffect command(OverlayCommand c) { return {c}; }

    // The key action or command this effect holds, else none.
    std::optional<OverlayKeyAction> keyAction() const;
    std::optional<OverlayCommand> overlayCommand() const;

    friend bool operator==(const OverlayEffect&, const OverlayEffect&) = default;
};

std::ostream& operator<<(std::ostream& out, const OverlayKeyAction& action);
std::ostream& operator<<(std::ostream& out, const OverlayCommand& command);
std::ostream& operator<<(std::ostream& out, const OverlayEffect& effect);

// One key-down event as the key map sees it.
struct OverlayKeyPress {
    int keyCode = 0;                        // macOS virtual key code
    std::optional<std::string> characters;  // typed ignoring modifiers; absent when none
    bool shift = false;
    bool command = false;
    bool otherModifier = false;  // Alt or Super held
    bool finding = false;        // the overlay's find field is open
    bool isRepeat = false;       // auto-repeat of a held key
};

namespace OverlayKeys {

inline constexpr int returnKey = 36;
inline constexpr int enter = 76;  // numeric keypad
inline constexpr int space = 49;
inline constexpr int pageUp = 116;
inline constexpr int pageDown = 121;
inline constexpr int escape = 53;
inline constexpr int tab = 48;

// The overlay key map; none when the overlay has no use for the key.
std::optional<OverlayEffect> effect(const OverlayKeyPress& key);
// The key-action half of `effect` alone.
std::optional<OverlayKeyAction> action(const OverlayKeyPress& key);
// The command half alone; modifiers other than Shift are not looked at.
std::optional<OverlayCommand> command(int keyCode, std::optional<std::string_view> characters,
                                      bool shift, bool isRepeat);

}  // namespace OverlayKeys

namespace FindShortcut {

// What one physical key types in the current keyboard layout.
struct KeyOutput {
    std::uint16_t keyCode = 0;
    std::string plain;    // typed without modifiers
    std::string shifted;  // typed with Shift

    friend bool operator==(const KeyOutput&, const KeyOutput&) = default;
};

// The slash key of the US layout.
inline constexpr std::uint16_t fallbackKeyCode = 44;

// The key that types "/" plainly, else the one that types it with Shift, else the fallback.
std::uint16_t keyCode(std::span<const KeyOutput> outputs);

}  // namespace FindShortcut
}  // namespace ovra
