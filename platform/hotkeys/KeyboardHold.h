#pragma once

// Keeps the keys typed right after a hotkey from the window in front: from the hotkey's press the
// whole keyboard is held, and the keys typed meanwhile go to one handler, until the keys go
// where they belong without it (`over`: our own window has the focus, or nothing of ours waits
// for keys) and in any case no longer than kLongest: a keyboard left held would lock the user
// out of every app. A window of ours that shows without getting the focus (`shown`) holds the
// keyboard by a grab of its own, which it tries for a while after its showing: after kHandOver
// the hold gives way to it. Ending, or being destroyed, always gives the keyboard back.

#include <functional>
#include <optional>

#include "platform/hotkeys/HotkeyGrabber.h"
#include "platform/scheduler/Scheduler.h"

namespace ovra::hotkeys {

class KeyboardHold final {
  public:
    static constexpr double kLongest = 2.0;
    static constexpr double kHandOver = 0.5;
    static constexpr double kCheckInterval = 0.02;

    struct Signs {
        std::function<bool()> over;
        std::function<bool()> shown;
    };

    // Takes over the grabber's press observer and held-key handler; both must outlive this.
    KeyboardHold(HotkeyGrabber& grabber, Scheduler& scheduler, Signs signs,
                 std::function<void(const HeldKey&)> keys);
    ~KeyboardHold();
    KeyboardHold(const KeyboardHold&) = delete;
    KeyboardHold& operator=(const KeyboardHold&) = delete;

    // At a hotkey's press. A press while held keeps the first deadline.
    void begin();
    // Gives the keyboard back; nothing when it is not held.
    void end();

  private:
    void check();

    HotkeyGrabber& grabber_;
    Scheduler& scheduler_;
    Signs signs_;
    std::optional<double> shownSince_;
    Scheduler::Token check_ = 0;
    Scheduler::Token deadline_ = 0;
};

}  // namespace ovra::hotkeys
