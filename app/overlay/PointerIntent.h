#pragma once

// The one last pointer location shared by the app's hover-selecting lists. A row selects itself
// on hover only when the pointer really moved since it was last seen (by a hover, or by a key
// press that records where the pointer rests), so a list that scrolls or opens under a resting
// pointer never pulls the selection away from the keyboard.
//
// The app makes one and hands it to every list; the first use takes the pointer's location then.

#include <optional>

#include "core/Geometry.h"
#include "core/Rect.h"

namespace ovra {

class PointerIntent final {
  public:
    // Records `now` as the last location; true when the pointer moved since the last one (never
    // on the first use, which only learns where the pointer is).
    bool movedTo(Point now) {
        const bool moved = last_ && PointerMotion::moved(*last_, now);
        last_ = now;
        return moved;
    }
    // A key press: remember where the pointer rests.
    void record(Point now) { last_ = now; }
    std::optional<Point> lastLocation() const { return last_; }

  private:
    std::optional<Point> last_;
};

}  // namespace ovra
