#pragma once

// A hotkey grabber for tests: records what is grabbed and every change it made to the grabs, in
// order, refuses chords marked as taken or keys marked as missing, and presses a chord on request
// as a user would.

#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/hotkeys/HotkeyGrabber.h"

namespace ovra::hotkeys {

class FakeHotkeyGrabber final : public HotkeyGrabber {
  public:
    GrabOutcome grab(HotkeyId id, Chord chord) override;
    void release(HotkeyId id) override;
    // Takes and gives back the keyboard, recorded as "hold keyboard" and "let keyboard go".
    bool holdKeyboard() override;
    void letKeyboardGo() override;
    bool keyboardHeld() const override { return keyboardHeld_; }

    // Another program holds the keyboard: holding it fails.
    void keyboardTakenElsewhere(bool taken) { keyboardTaken_ = taken; }
    // Types a key: it reaches the held-key handler while the keyboard is held. False when not.
    bool type(const HeldKey& key) const;

    // Another program holds this chord.
    void takeElsewhere(Chord chord) { taken_.insert(key(chord)); }
    // The keyboard has no key at this position.
    void removeKey(std::uint16_t keyCode) { missing_.insert(keyCode); }

    const std::map<HotkeyId, Chord>& grabbed() const { return grabbed_; }
    // The grabs taken and let go, in order: "grab <id> <key code>", "release <id> <key code>",
    // "hold keyboard", "let keyboard go".
    const std::vector<std::string>& changes() const { return changes_; }
    // Presses the chord: its holder's id reaches the handler. False when no id holds it.
    bool press(Chord chord) const;
    // A press whose id is given as is, also an id nothing holds.
    void pressId(HotkeyId id) const { deliver(id); }

  private:
    static std::pair<std::uint16_t, std::uint32_t> key(Chord c) { return {c.keyCode, c.modifiers}; }
    void record(const char* what, HotkeyId id, Chord chord);

    std::map<HotkeyId, Chord> grabbed_;
    std::vector<std::string> changes_;
    std::set<std::pair<std::uint16_t, std::uint32_t>> taken_;
    std::set<std::uint16_t> missing_;
    bool keyboardHeld_ = false;
    bool keyboardTaken_ = false;
};

}  // namespace ovra::hotkeys
