#pragma once

// The one last pointer location the settings window's hover handlers share: a hover moves the
// keyboard focus only when the pointer really moved since it was last seen (by a hover, or by a
// key press that records where the pointer rests), so rows that scroll or appear under a resting
// pointer never take the focus from the keyboard. The overlay's pointer intent in Qt's points.

#include <QPoint>

#include "app/overlay/PointerIntent.h"

namespace ovra {

class HoverIntent final {
  public:
    // True when the pointer moved further than the threshold since the last location (never on
    // the first use, which only learns where the pointer is).
    bool movedTo(QPoint now) { return intent_.movedTo(pointOf(now)); }
    // A key press: remember where the pointer rests.
    void record(QPoint now) { intent_.record(pointOf(now)); }

  private:
    static Point pointOf(QPoint p) {
        return {static_cast<double>(p.x()), static_cast<double>(p.y())};
    }

    PointerIntent intent_;
};

}  // namespace ovra
