#pragma once

// The one last pointer location the settings window's hover handlers share: a hover moves the
// keyboard focus only when the pointer really moved since it was last seen (by a hover, or by a
// key press that records where the pointer rests), so rows that scroll or appear under a resting
// pointer never take the focus from the keyboard.

#include <QPoint>
#include <optional>

#include "core/Geometry.h"

namespace ovra {

class HoverIntent final {
  public:
    // Records `now`; true when the pointer moved further than the threshold since the last
    // location (never on the first use, which only learns where the pointer is).
    bool movedTo(QPoint now) {
        const Point here{static_cast<double>(now.x()), static_cast<double>(now.y())};
        const bool moved = last_ && PointerMotion::moved(*last_, here);
        last_ = here;
        return moved;
    }
    // A key press: remember where the pointer rests.
    void record(QPoint now) {
        last_ = Point{static_cast<double>(now.x()), static_cast<double>(now.y())};
    }

  private:
    std::optional<Point> last_;
};

}  // namespace ovra
