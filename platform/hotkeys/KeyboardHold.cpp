#include "platform/hotkeys/KeyboardHold.h"

#include <utility>

namespace ovra::hotkeys {

KeyboardHold::KeyboardHold(HotkeyGrabber& grabber, Scheduler& scheduler, std::function<bool()> over,
                           std::function<void(const HeldKey&)> keys)
    : grabber_(grabber), scheduler_(scheduler), over_(std::move(over)) {
    grabber_.setPressObserver([this] { begin(); });
    grabber_.setHeldKeyHandler(std::move(keys));
}

KeyboardHold::~KeyboardHold() {
    grabber_.setPressObserver({});
    grabber_.setHeldKeyHandler({});
    end();
}

void KeyboardHold::begin() {
    if (deadline_ != 0 || !grabber_.holdKeyboard()) {
        return;
    }
    // The press's own action runs after this: whether the hold is over is asked from the next
    // turn on.
    deadline_ = scheduler_.after(kLongest, [this] { end(); });
    check_ = scheduler_.every(kCheckInterval, [this] { check(); });
}

void KeyboardHold::check() {
    if (!grabber_.keyboardHeld() || !over_ || over_()) {
        end();
    }
}

void KeyboardHold::end() {
    scheduler_.cancel(std::exchange(check_, 0));
    scheduler_.cancel(std::exchange(deadline_, 0));
    grabber_.letKeyboardGo();
}

}  // namespace ovra::hotkeys
