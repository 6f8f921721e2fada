#include "app/shell/FlightTrail.h"

#include <algorithm>
#include <cmath>

#include "app/overlay/Motion.h"

namespace ovra::FlightTrail {
namespace {

constexpr std::size_t kSamples = 48;

double clamp01(double value) {
    return std::isfinite(value) ? std::clamp(value, 0.0, 1.0) : 0.0;
}

// 1 until `delay`, then down to 0 with an ease-out of `duration`.
double fadeOut(double seconds, double delay, double duration) {
    return 1 - Motion::easeOut(clamp01((seconds - delay) / duration));
}

double distance(Point a, Point b) {
    return std::hypot(b.x - a.x, b.y - a.y);
}

}  // namespace

Frame at(double seconds, bool reduceMotion) {
    if (!std::isfinite(seconds)) {
        seconds = 0;
    }
    if (reduceMotion) {
        return {1, 0, fadeOut(seconds, 0.5, 0.3)};
    }
    return {Motion::easeInOut(clamp01(seconds / 0.75)), fadeOut(seconds, 0.7, 0.3),
            fadeOut(seconds, 0.9, 0.3)};
}

Point control(Point from, Point to) {
    return {(from.x + to.x) / 2 + kBend, (from.y + to.y) / 2};
}

Point point(Point from, Point to, double t) {
    const Point c = control(from, to);
    const double u = 1 - t;
    return {u * u * from.x + 2 * t * u * c.x + t * t * to.x,
            u * u * from.y + 2 * t * u * c.y + t * t * to.y};
}

std::vector<Point> trimmed(Point from, Point to, double progress) {
    progress = clamp01(progress);
    std::vector<Point> samples;
    std::vector<double> lengths{0};
    samples.reserve(kSamples + 1);
    for (std::size_t i = 0; i <= kSamples; ++i) {
        samples.push_back(point(from, to, static_cast<double>(i) / kSamples));
        if (i > 0) {
            lengths.push_back(lengths.back() + distance(samples[i - 1], samples[i]));
        }
    }
    const double wanted = progress * lengths.back();
    std::vector<Point> out{from};
    if (progress <= 0) {
        return out;
    }
    for (std::size_t i = 1; i < samples.size(); ++i) {
        if (lengths[i] < wanted) {
            out.push_back(samples[i]);
            continue;
        }
        const double span = lengths[i] - lengths[i - 1];
        const double f = span > 0 ? (wanted - lengths[i - 1]) / span : 1;
        out.push_back({samples[i - 1].x + (samples[i].x - samples[i - 1].x) * f,
                       samples[i - 1].y + (samples[i].y - samples[i - 1].y) * f});
        break;
    }
    return out;
}

}  // namespace ovra::FlightTrail
