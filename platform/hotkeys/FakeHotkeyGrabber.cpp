#include "platform/hotkeys/FakeHotkeyGrabber.h"

namespace ovra::hotkeys {

GrabOutcome FakeHotkeyGrabber::grab(HotkeyId id, Chord chord) {
    release(id);
    if (missing_.count(chord.keyCode) != 0) {
        return GrabOutcome::noSuchKey;
    }
    if (taken_.count(key(chord)) != 0) {
        return GrabOutcome::taken;
    }
    grabbed_[id] = chord;
    return GrabOutcome::grabbed;
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

}  // namespace ovra::hotkeys
