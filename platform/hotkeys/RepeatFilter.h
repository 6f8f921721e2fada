#pragma once

// Tells a new press of a key from the keyboard's auto-repeat of a held one. With detectable
// auto-repeat the server sends repeated presses and no release until the key comes up; without
// it, each repeat is a release and a press with the same time stamp. Both are repeats.

#include <cstdint>
#include <map>
#include <set>

namespace ovra::hotkeys {

class RepeatFilter final {
  public:
    // `detectable`: the server reports repeats as presses alone. Then a release is always real,
    // and a press right after it, even in the same millisecond (as synthetic input comes), is a
    // new press.
    explicit RepeatFilter(bool detectable) : detectable_(detectable) {}

    // True when this press starts a new press of the key.
    bool press(std::uint32_t keycode, std::uint32_t time);
    void release(std::uint32_t keycode, std::uint32_t time);
    // Every key counts as up: their releases go to another client from now on (the keyboard
    // was held and is given back), so the next press of any is a new one.
    void forgetHeld() { held_.clear(); }

  private:
    bool detectable_;
    std::set<std::uint32_t> held_;
    std::map<std::uint32_t, std::uint32_t> releasedAt_;
};

}  // namespace ovra::hotkeys
