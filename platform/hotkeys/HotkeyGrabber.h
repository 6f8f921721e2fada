#pragma once

// System-wide hotkeys: a chord (a key position and modifiers) grabbed for the whole desktop
// under an id, and the presses of grabbed chords handed to one handler on the main thread. A
// held chord is one press: the keyboard's auto-repeat never reaches the handler.

#include <cstdint>
#include <functional>

namespace ovra::hotkeys {

// Modifier bits of a chord: the values the stored hotkey presets use (HotkeyModifier), where
// Command stands for Super and Option for Alt.
namespace ChordModifier {
inline constexpr std::uint32_t super = 0x100;
inline constexpr std::uint32_t shift = 0x200;
inline constexpr std::uint32_t alt = 0x800;
inline constexpr std::uint32_t control = 0x1000;
}  // namespace ChordModifier

// A key code of the shared vocabulary (a physical position) and ChordModifier bits; other bits
// are ignored.
struct Chord {
    std::uint16_t keyCode = 0;
    std::uint32_t modifiers = 0;
    friend bool operator==(const Chord&, const Chord&) = default;
};

enum class GrabOutcome {
    grabbed,
    taken,      // another program holds the chord (or part of it): nothing of it was grabbed
    noSuchKey,  // this keyboard has no key at that position, or no key for one of the modifiers
    failed,     // no connection to the display server, or another error
};

using HotkeyId = std::uint32_t;

// A key pressed while the keyboard is held (holdKeyboard), as the display server gave it.
struct HeldKey {
    std::uint32_t xKeycode = 0;
    std::uint16_t xState = 0;  // the event's modifier mask, lock bits included
    bool shift = false;
    bool ctrl = false;
    bool alt = false;
    bool super = false;
    bool modifierOnly = false;  // a key that only changes what others do (Shift, Num Lock…)
    bool repeat = false;        // the keyboard's auto-repeat of a key held down
};

class HotkeyGrabber {
  public:
    using PressHandler = std::function<void(HotkeyId)>;

    virtual ~HotkeyGrabber() = default;

    // Grabs the chord for `id` in place of what `id` held before: all of it or nothing. What
    // `id` holds already stays grabbed, and the rest is taken before the old keys are let go,
    // so a press during the change is never lost. When it fails, `id` holds nothing.
    virtual GrabOutcome grab(HotkeyId id, Chord chord) = 0;
    // Lets go of what `id` holds; nothing when it holds nothing.
    virtual void release(HotkeyId id) = 0;

    // Takes the whole keyboard: every key pressed goes to the held-key handler, none to the
    // window in front, until letKeyboardGo. Taken at once while a hotkey is down (its grab is
    // ours); false when another program holds the keyboard or the display is gone.
    virtual bool holdKeyboard() = 0;
    // Gives the keyboard back; nothing when it is not held.
    virtual void letKeyboardGo() = 0;
    virtual bool keyboardHeld() const = 0;

    // Called once per press of a grabbed chord, on the main thread.
    void setPressHandler(PressHandler handler) { handler_ = std::move(handler); }
    // Called with each press of a grabbed chord before the press handler.
    void setPressObserver(std::function<void()> observer) { observer_ = std::move(observer); }
    // Called with each key pressed while the keyboard is held, other than the hotkeys.
    void setHeldKeyHandler(std::function<void(const HeldKey&)> handler) {
        heldKeys_ = std::move(handler);
    }

  protected:
    void deliver(HotkeyId id) const {
        if (observer_) {
            observer_();
        }
        if (handler_) {
            handler_(id);
        }
    }
    void deliverHeld(const HeldKey& key) const {
        if (heldKeys_) {
            heldKeys_(key);
        }
    }

  private:
    PressHandler handler_;
    std::function<void()> observer_;
    std::function<void(const HeldKey&)> heldKeys_;
};

}  // namespace ovra::hotkeys
