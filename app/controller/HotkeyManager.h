#pragma once

// The app's two system-wide hotkeys: the main hotkey, which opens and closes the overlay (a
// letter in it is the key that types that letter in the current layout, as its name says), and
// the find hotkey, Super+Shift with the key that types "/" in the current layout, which opens
// the overlay ready to find. Each slot remembers its registration and its action; a press runs
// the slot's action on the main thread, once per press however long the chord is held.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>

#include "platform/hotkeys/HotkeyGrabber.h"

namespace ovra {

class HotkeyManager final {
  public:
    // The raw value is the id a slot is grabbed under and that comes back with a press.
    enum class Slot : std::uint32_t { main = 1, find = 2 };
    // The slot of a raw value; none for any other value.
    static std::optional<Slot> slot(std::uint32_t rawValue);

    using Action = std::function<void()>;
    // The key code of the key that types "/" in the current layout (asked at each find
    // registration, so the find hotkey follows the layout).
    using SlashKeyCode = std::function<std::uint16_t()>;
    // The key that types, in the current layout, the letter a stored key code names (the
    // layout's KeyboardLayout::letterKeyCode); asked at each main registration.
    using LetterKeyCode = std::function<std::uint16_t(std::uint16_t keyCode)>;

    // `onPress` is the main hotkey's action. Takes over the grabber's press handler; registers
    // nothing. Without `letterKeyCode` the main hotkey's key is its stored position.
    HotkeyManager(hotkeys::HotkeyGrabber& grabber, SlashKeyCode slashKeyCode, Action onPress,
                  LetterKeyCode letterKeyCode = {});
    ~HotkeyManager();
    HotkeyManager(const HotkeyManager&) = delete;
    HotkeyManager& operator=(const HotkeyManager&) = delete;

    // (Re)registers the main hotkey: key code and HotkeyModifier mask. False when the chord is
    // taken or cannot be pressed on this keyboard; the slot is then unregistered, even if the
    // old chord had worked. A letter's key code is moved to the key typing that letter. A key
    // the slot holds already stays grabbed throughout, and a new one is grabbed before the old
    // one is let go (the layout changes often where tools switch its group around each chord).
    bool registerKey(std::uint32_t keyCode, std::uint32_t modifiers);
    // (Re)registers the find hotkey with `action`, which is kept even when registering fails;
    // its key moves as the main hotkey's does.
    bool registerFind(Action action);
    // Lets go of the slot's chord; its action stays. Nothing when the slot is not registered.
    void unregister(Slot slot);

    std::uint16_t slashKeyCode() const;
    bool isRegistered(Slot slot) const { return chords_.count(slot) != 0; }
    // How the slot's last registration went (grabbed, taken, no such key), for messages that
    // say why; absent before the first one.
    std::optional<hotkeys::GrabOutcome> lastOutcome(Slot slot) const;
    // The chord grabbed for the slot (its key moved to the current layout); none when the slot
    // is not registered.
    std::optional<hotkeys::Chord> chord(Slot slot) const;

  private:
    bool grab(Slot slot, hotkeys::Chord chord);
    void pressed(std::uint32_t id);

    hotkeys::HotkeyGrabber& grabber_;
    SlashKeyCode slashKeyCode_;
    LetterKeyCode letterKeyCode_;
    std::map<Slot, hotkeys::Chord> chords_;
    std::map<Slot, Action> actions_;
    std::map<Slot, hotkeys::GrabOutcome> outcomes_;
};

}  // namespace ovra
