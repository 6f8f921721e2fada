#pragma once

// Hotkeys on an X server: passive key grabs on the root window, one per combination of the
// lock modifiers (Caps Lock, Num Lock, Scroll Lock where mapped), since a grab matches its
// modifiers exactly and would not fire with a lock on. Alt and Super are whichever modifiers
// the server's modifier map gives them. A grab another client holds fails with BadAccess:
// the chord is "taken" and nothing of it stays grabbed. Grabbing anew (at every layout change)
// takes only the grabs the hotkey does not hold yet, before it lets go of those it no longer
// wants (KeyGrabs.h).
//
// It reads on its own X connection, where it turns on detectable auto-repeat: Qt tells its own
// key repeats from release-and-press pairs, which that setting would remove from Qt's
// connection. Events are read when the socket is readable (see HotkeyEventPump).

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "core/Result.h"
#include "platform/hotkeys/HotkeyGrabber.h"
#include "platform/hotkeys/KeyGrabs.h"
#include "platform/hotkeys/RepeatFilter.h"

namespace ovra::hotkeys {

class X11HotkeyGrabber final : public HotkeyGrabber {
  public:
    // The X keycode at a key code's position in the current keymap, when there is such a key.
    using KeycodeLookup = std::function<std::optional<std::uint32_t>(std::uint16_t keyCode)>;

    // Connects to $DISPLAY.
    static Result<std::unique_ptr<X11HotkeyGrabber>> open(KeycodeLookup keycodes);
    ~X11HotkeyGrabber() override;

    GrabOutcome grab(HotkeyId id, Chord chord) override;
    void release(HotkeyId id) override;
    // An active grab of the keyboard on this connection, which a hotkey's passive grab turns
    // into at once while its key is down.
    bool holdKeyboard() override;
    void letKeyboardGo() override;
    bool keyboardHeld() const override { return keyboardHeld_; }

    int fileDescriptor() const;
    // Reads what the server sent and delivers the presses of grabbed chords.
    void processEvents();
    // Delivers what a grab's reply check already read off the socket: the socket will not say
    // so again. Reads nothing new.
    void processQueuedEvents();
    // The server time of the last delivered press, for activating windows after it.
    std::uint32_t lastPressTime() const { return lastPressTime_; }

  private:
    struct Connection;
    void handle(const void* event);
    struct Grab {
        std::uint32_t keycode = 0;
        std::uint16_t modifiers = 0;  // X modifier mask without the lock bits
        std::uint16_t locks = 0;      // the lock bits, any of which a press may carry
        std::vector<KeyGrab> variants;
    };
    struct Modifiers;
    HeldKey heldKeyOf(const void* keyEvent, bool repeat) const;

    X11HotkeyGrabber(std::unique_ptr<Connection> connection, KeycodeLookup keycodes,
                     bool detectableRepeat);
    Modifiers readModifiers() const;
    // The grabs `chord` needs on this keyboard, or why it cannot have them.
    Result<Grab, GrabOutcome> grabsOf(Chord chord) const;
    void ungrab(const std::vector<KeyGrab>& grabs);

    std::unique_ptr<Connection> connection_;
    KeycodeLookup keycodes_;
    std::map<HotkeyId, Grab> grabs_;
    RepeatFilter repeats_;
    std::uint32_t lastPressTime_ = 0;
    bool keyboardHeld_ = false;
    // While the keyboard is held: the modifier roles, and the keys that are modifiers.
    std::uint16_t heldAlt_ = 0;
    std::uint16_t heldSuper_ = 0;
    std::vector<bool> modifierKeys_;
};

}  // namespace ovra::hotkeys
