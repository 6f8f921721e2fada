#pragma once

// The flight trail's drawing as pure functions: the curve from the on-screen button up to the
// tray, and what the trail shows at each moment of its 1.2 s flight (how much of the line is
// drawn, the flying bird's opacity, the whole drawing's fade).

#include <vector>

#include "core/Rect.h"

namespace ovra::FlightTrail {

// The trail's window is hidden this long after a flight starts.
inline constexpr double kDuration = 1.2;
// The curve bends this far to the right of the straight line.
inline constexpr double kBend = 14;

struct Frame {
    double progress = 0;     // the drawn length of the line, 0…1; the bird flies at its end
    double birdOpacity = 0;  // 0…1
    double fade = 1;         // the whole drawing's opacity, 0…1
    friend bool operator==(const Frame&, const Frame&) = default;
};

// The trail `seconds` after it was shown. Without reduce motion the line grows with the bird
// flying at its tip over 0.75 s (ease in and out), the bird fades from 0.7 s and the line from
// 0.9 s (0.3 s ease-out each). With reduce motion the whole line shows at once, without a bird,
// and fades from 0.5 s.
Frame at(double seconds, bool reduceMotion);

// The quadratic Bézier's control point: the middle of the two, moved right by kBend.
Point control(Point from, Point to);
// The curve's point at parameter t (0 at `from`, 1 at `to`).
Point point(Point from, Point to, double t);
// The curve from `from` up to the fraction `progress` of its length, as a polyline of at least
// two points (one point when progress is 0 or less).
std::vector<Point> trimmed(Point from, Point to, double progress);

}  // namespace ovra::FlightTrail
