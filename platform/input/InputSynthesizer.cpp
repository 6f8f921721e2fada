#include "platform/input/InputSynthesizer.h"

#include <cmath>
#include <limits>

namespace ovra::input {

std::optional<Pixel> toPixel(Point point) {
    const double x = std::round(point.x);
    const double y = std::round(point.y);
    constexpr double low = std::numeric_limits<std::int16_t>::min();
    constexpr double high = std::numeric_limits<std::int16_t>::max();
    // Written so that NaN fails every comparison.
    if (!(x >= low && x <= high && y >= low && y <= high)) {
        return std::nullopt;
    }
    return Pixel{static_cast<std::int16_t>(x), static_cast<std::int16_t>(y)};
}

}  // namespace ovra::input
