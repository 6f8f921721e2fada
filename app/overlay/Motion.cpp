#include "app/overlay/Motion.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace ovra::Motion {

namespace {

// The y of a cubic Bézier from (0,0) to (1,1) with control points (x1,y1), (x2,y2) at x = t.
double bezier(double x1, double y1, double x2, double y2, double t) {
    t = std::clamp(t, 0.0, 1.0);
    const auto at = [](double a, double b, double s) {
        const double u = 1 - s;
        return 3 * u * u * s * a + 3 * u * s * s * b + s * s * s;
    };
    // Bisection on x: monotonic for these control points, and exact enough after 30 halvings.
    double lo = 0;
    double hi = 1;
    for (int i = 0; i < 30; ++i) {
        const double mid = (lo + hi) / 2;
        (at(x1, x2, mid) < t ? lo : hi) = mid;
    }
    return at(y1, y2, (lo + hi) / 2);
}

}  // namespace

double easeInOut(double t) {
    return bezier(0.42, 0, 0.58, 1, t);
}

double easeOut(double t) {
    return bezier(0, 0, 0.58, 1, t);
}

double pulseOpacity(double seconds) {
    if (!std::isfinite(seconds) || seconds < 0) {
        return 0.55;
    }
    const double phase = std::fmod(seconds, 2 * pulsePeriod) / pulsePeriod;  // 0…2
    const double rising = phase <= 1 ? phase : 2 - phase;
    return 0.55 + 0.45 * easeInOut(rising);
}

double Spring::value(double seconds) const {
    if (!(seconds > 0)) {
        return 0;
    }
    const double omega = 2 * std::numbers::pi / response;
    const double zeta = std::clamp(dampingFraction, 0.0, 1.0);
    const double decay = std::exp(-zeta * omega * seconds);
    if (zeta >= 1) {
        return 1 - decay * (1 + omega * seconds);
    }
    const double damped = omega * std::sqrt(1 - zeta * zeta);
    return 1 - decay * (std::cos(damped * seconds) +
                        zeta * omega / damped * std::sin(damped * seconds));
}

double Spring::settleTime() const {
    const double omega = 2 * std::numbers::pi / response;
    return std::log(1000.0) / (std::max(dampingFraction, 0.05) * omega);
}

}  // namespace ovra::Motion
