#pragma once

// The timing curves of the overlay's animations, as pure functions of elapsed seconds: the
// rings' pulse, the springs that open the overlay and move its information panel, and the short
// ease-out used instead of springs under reduce motion.

namespace ovra::Motion {

// Ease in and out over 0…1 (the standard cubic Bézier 0.42, 0, 0.58, 1).
double easeInOut(double t);
// Ease out over 0…1 (cubic Bézier 0, 0, 0.58, 1).
double easeOut(double t);

inline constexpr double pulsePeriod = 1.6;
// The selected ring's opacity while it breathes: 0.55 at 0, eased up to 1 over one period and
// back down over the next, for ever.
double pulseOpacity(double seconds);

// A critically or under-damped spring from 0 to 1, as response (seconds) and damping fraction.
struct Spring {
    double response = 0.32;
    double dampingFraction = 0.82;

    double value(double seconds) const;
    // Seconds after which the spring is within a thousandth of its end.
    double settleTime() const;
};

inline constexpr Spring openSpring{0.32, 0.82};
inline constexpr Spring hudSpring{0.35, 0.85};
inline constexpr double reducedOpenDuration = 0.15;

}  // namespace ovra::Motion
