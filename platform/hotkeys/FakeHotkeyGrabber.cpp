#include "platform/hotkeys/FakeHotkeyGrabber.h"

namespace ovra::hotkeys {

GrabOutcome FakeHotkeyGrabber::grab(HotkeyId id, Chord chord) {
    const bool missing = missing_.count(chord.keyCode) != 0;
    if (missing || taken_.count(key(chord)) != 0) {
        release(id);
        return missing ? GrabOutcome::noSuchKey : GrabOutcome::taken;
    }
    const auto held = grabbed_.find(id);
    if (held != grabbed_.end() && held->second == chord) {
        return GrabOutcome::grabbed;
    }
    // The new grab before the old one is let go, as the X server's grabber does.
    record("grab", id, chord);
    if (held != grabbed_.end()) {
        record("release", id, held->second);
    }
    grabbed_[id] = chord;
    return GrabOutcome::grabbed;
}

void FakeHotkeyGrabber::release(HotkeyId id) {
    const auto held = grabbed_.find(id);
    if (held != grabbed_.end()) {
        record("release", id, held->second);
        grabbed_.erase(held);
    }
}

bool FakeHotkeyGrabber::holdKeyboard() {
    if (keyboardTaken_) {
        return false;
    }
    if (!keyboardHeld_) {
        changes_.emplace_back("hold keyboard");
        keyboardHeld_ = true;
    }
    return true;
}

void FakeHotkeyGrabber::letKeyboardGo() {
    if (keyboardHeld_) {
        changes_.emplace_back("let keyboard go");
        keyboardHeld_ = false;
    }
}

bool FakeHotkeyGrabber::type(const HeldKey& key) const {
    if (keyboardHeld_) {
        deliverHeld(key);
    }
    return keyboardHeld_;
}

bool FakeHotkeyGrabber::press(Chord chord) const {
    for (const auto& [id, held] : grabbed_) {
        if (held == chord) {
            deliver(id);
            return true;
        }
    }
    return false;
}

void FakeHotkeyGrabber::record(const char* what, HotkeyId id, Chord chord) {
    changes_.push_back(std::string(what) + " " + std::to_string(id) + " " +
                       std::to_string(chord.keyCode));
}

}  // namespace ovra::hotkeys
