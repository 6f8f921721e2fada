#include "core/FrameScale.h"

#include <array>
#include <cmath>

namespace ovra {

namespace {

// Windows smaller than this tell nothing reliable about a ratio of a few pixels.
constexpr double kSmallestWindow = 32;
constexpr double kLargestFactor = 4;
// Sizes are whole pixels: at a factor of k, a logical size rounds away up to k device pixels.
constexpr double kSlackPerFactor = 1;
// GTK 4 leaves out of its window the resize border around it (5 logical pixels a side), which
// the X window holds.
constexpr double kMostBorder = 12;
// The steps of the scales toolkits offer, coarsest first: whole factors, quarters (125 %,
// 150 %, 175 %), eighths (Xft.dpi 108), twentieths (desktops' 5 % sliders), and the hundredth a
// ratio is measured to. A small window fits several; the coarsest is the one in use.
constexpr std::array<double, 5> kStepsPerUnit{1, 4, 8, 20, 100};

bool finite(Size s) {
    return std::isfinite(s.width) && std::isfinite(s.height);
}

bool usable(Size given, Size xWindow) {
    return finite(given) && finite(xWindow) && given.width >= kSmallestWindow &&
           given.height >= kSmallestWindow && xWindow.width > 0 && xWindow.height > 0;
}

// Whether `xWindow` is `given` at factor `f`, with a border of up to `border` device pixels
// across each side, and `error` as a share of each side (a factor known only roughly).
bool fits(Size given, Size xWindow, double f, double border, double error = 0) {
    const double slackW = kSlackPerFactor * f + given.width * error;
    const double slackH = kSlackPerFactor * f + given.height * error;
    const double dw = xWindow.width - given.width * f;
    const double dh = xWindow.height - given.height * f;
    return dw >= -slackW && dw <= slackW + border && dh >= -slackH && dh <= slackH + border;
}

// The factor of step 1/`perUnit` that fits, if any.
std::optional<double> factorAt(Size given, Size xWindow, double perUnit, FrameScale::Steps steps) {
    if (!usable(given, xWindow)) {
        return std::nullopt;
    }
    if (steps == FrameScale::Steps::whole) {
        if (perUnit != 1) {
            return std::nullopt;
        }
        for (double k = 1; k <= kLargestFactor; ++k) {
            if (fits(given, xWindow, k, 2 * kMostBorder * k)) {
                return k;
            }
        }
        return std::nullopt;
    }
    const double ratio = (xWindow.width + xWindow.height) / (given.width + given.height);
    const double f = std::round(ratio * perUnit) / perUnit;
    // A toolkit's step is its scale exactly; the finest is only the ratio rounded (Qt at
    // Xft.dpi 128 draws at 4/3).
    const double error = perUnit == kStepsPerUnit.back() ? 0.5 / perUnit : 0;
    if (!(f >= 1 && f <= kLargestFactor) || !fits(given, xWindow, f, 0, error)) {
        return std::nullopt;
    }
    return f;
}

}  // namespace

std::optional<FrameScale> frameScale(Size givenWindow, const XWindowSizes& xWindow,
                                     FrameScale::Pages pages, FrameScale::Steps steps) {
    for (const double perUnit : kStepsPerUnit) {
        for (const Size x : {xWindow.content, xWindow.whole, xWindow.decorated}) {
            if (auto f = factorAt(givenWindow, x, perUnit, steps)) {
                return *f == 1 ? FrameScale{} : FrameScale{.factor = *f, .pages = pages};
            }
        }
    }
    return std::nullopt;
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
