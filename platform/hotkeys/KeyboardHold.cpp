#include "platform/hotkeys/KeyboardHold.h"

#include <utility>

namespace ovra::hotkeys {

KeyboardHold::KeyboardHold(HotkeyGrabber& grabber, Scheduler& scheduler, Signs signs,
                           std::function<void(const HeldKey&)> keys)
    : grabber_(grabber), scheduler_(scheduler), signs_(std::move(signs)) {
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
    shownSince_.reset();
    deadline_ = scheduler_.after(kLongest, [this] { end(); });
    check_ = scheduler_.every(kCheckInterval, [this] { check(); });
}

void KeyboardHold::check() {
    if (!grabber_.keyboardHeld() || !signs_.over || signs_.over()) {
        end();
        return;
    }
    if (!signs_.shown || !signs_.shown()) {
        shownSince_.reset();
    } else if (!shownSince_) {
        shownSince_ = scheduler_.now();
    } else if (scheduler_.now() - *shownSince_ >= kHandOver) {
        end();
    }
}

void KeyboardHold::end() {
    scheduler_.cancel(std::exchange(check_, 0));
    scheduler_.cancel(std::exchange(deadline_, 0));
    grabber_.letKeyboardGo();
}

}  // namespace ovra::hotkeys
