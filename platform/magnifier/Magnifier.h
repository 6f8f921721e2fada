#pragma once

// The desktop's screen magnifier as the overlay uses it: whether it is on, whether it follows
// the keyboard focus by itself, and moving its view to a control. GNOME Shell's magnifier is
// driven over the session bus; other desktops have none, and the magnifier then reads as off.

#include <optional>
#include <vector>

#include "core/Rect.h"

namespace ovra::magnifier {

class Magnifier {
  public:
    virtual ~Magnifier() = default;
    virtual bool isOn() = 0;
    // Whether the magnifier goes to the control that takes the keyboard focus by itself.
    virtual bool followsFocus() = 0;
    // Centres the magnified view on `rect` (root window pixels).
    virtual void changeFocus(const Rect& rect) = 0;
};

// A magnifier for tests: set on and follow-focus by hand; records where it was sent.
class RecordingMagnifier final : public Magnifier {
  public:
    bool on = false;
    bool follows = false;
    std::vector<Rect> moves;
    int reads = 0;

    bool isOn() override { return ++reads, on; }
    bool followsFocus() override { return follows; }
    void changeFocus(const Rect& rect) override { moves.push_back(rect); }
};

}  // namespace ovra::magnifier
