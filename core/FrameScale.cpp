#include "core/FrameScale.h"

#include <cmath>

namespace ovra {

namespace {

// Windows smaller than this tell nothing reliable about a ratio of a few pixels.
constexpr double kSmallestWindow = 32;
// Sizes are whole pixels: at a factor of k, a logical size rounds away up to k device pixels.
constexpr double kSlackPerFactor = 1;

}  // namespace

int wholeFactor(Size given, Size xWindow) {
    if (!std::isfinite(given.width) || !std::isfinite(given.height) ||
        !std::isfinite(xWindow.width) || !std::isfinite(xWindow.height) ||
        given.width < kSmallestWindow || given.height < kSmallestWindow) {
        return 1;
    }
    for (int k = 2; k <= 4; ++k) {
        const double slack = kSlackPerFactor * k;
        if (std::abs(given.width * k - xWindow.width) <= slack &&
            std::abs(given.height * k - xWindow.height) <= slack) {
            return k;
        }
    }
    return 1;
}

FrameScale frameScale(Size givenWindow, Size xContent, Size xWhole, bool pagesInDevicePixels) {
    int k = wholeFactor(givenWindow, xContent);
    if (k == 1) {
        k = wholeFactor(givenWindow, xWhole);
    }
    if (k == 1) {
        return {};
    }
    return FrameScale{.factor = static_cast<double>(k), .pagesInDevicePixels = pagesInDevicePixels};
}

Rect scaledFrame(const Rect& given, const FrameScale& scale, bool inPage) {
    if (scale.factor == 1 || (inPage && scale.pagesInDevicePixels)) {
        return given;
    }
    const double f = scale.factor;
    return Rect(given.origin.x * f, given.origin.y * f, given.size.width * f,
                given.size.height * f);
}

Point appPoint(Point screen, const FrameScale& scale, bool inPage) {
    if (scale.factor == 1 || (inPage && scale.pagesInDevicePixels)) {
        return screen;
    }
    return Point{screen.x / scale.factor, screen.y / scale.factor};
}

}  // namespace ovra
