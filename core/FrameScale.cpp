#include "core/FrameScale.h"

#include <cmath>

namespace ovra {

namespace {

// Windows smaller than this tell nothing reliable about a ratio of a few pixels.
constexpr double kSmallestWindow = 32;
// Sizes are whole pixels: at a factor of k, a logical size rounds away up to k device pixels.
constexpr double kSlackPerFactor = 1;
// GTK 4 leaves out of its window the resize border around it (5 logical pixels a side), which
// the X window holds.
constexpr double kMostBorder = 12;

bool finite(Size s) {
    return std::isfinite(s.width) && std::isfinite(s.height);
}

}  // namespace

std::optional<int> wholeFactor(Size given, Size xWindow) {
    if (!finite(given) || !finite(xWindow) || given.width < kSmallestWindow ||
        given.height < kSmallestWindow) {
        return std::nullopt;
    }
    for (int k = 1; k <= 4; ++k) {
        const double slack = kSlackPerFactor * k;
        const double border = 2 * kMostBorder * k;
        const double dw = xWindow.width - given.width * k;
        const double dh = xWindow.height - given.height * k;
        if (dw >= -slack && dw <= slack + border && dh >= -slack && dh <= slack + border) {
            return k;
        }
    }
    return std::nullopt;
}

std::optional<FrameScale> frameScale(Size givenWindow, Size xContent, Size xWhole,
                                     FrameScale::Pages pages) {
    auto k = wholeFactor(givenWindow, xContent);
    if (!k) {
        k = wholeFactor(givenWindow, xWhole);
    }
    if (!k) {
        return std::nullopt;
    }
    if (*k == 1) {
        return FrameScale{};
    }
    return FrameScale{.factor = static_cast<double>(*k), .pages = pages};
}

Rect scaledFrame(const Rect& given, const FrameScale& scale, std::optional<Point> page) {
    const double f = scale.factor;
    if (f == 1) {
        return given;
    }
    if (page && scale.pages == FrameScale::Pages::inDevicePixels) {
        return given;
    }
    return Rect(given.origin.x * f, given.origin.y * f, given.size.width * f,
                given.size.height * f);
}

Point appPoint(Point screen, const FrameScale& scale, std::optional<Point> page) {
    const double f = scale.factor;
    if (f == 1 || (page && scale.pages == FrameScale::Pages::inDevicePixels)) {
        return screen;
    }
    return Point{screen.x / f, screen.y / f};
}

}  // namespace ovra
