// Pixel conversion of points.

#include "platform/input/InputSynthesizer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

namespace ovra::input {
namespace {

TEST(ToPixel, RoundsToTheNearestPixelAndRejectsWhatTheServerCannotTake) {
    struct Case {
        Point point;
        std::optional<Pixel> pixel;
    };
    const Case cases[] = {
        {{10.4, 20.6}, Pixel{10, 21}},
        {{-0.5, 0.5}, Pixel{-1, 1}},  // halves away from zero
        {{32767, -32768}, Pixel{32767, -32768}},
        {{32767.6, 0}, std::nullopt},
        {{0, -32768.6}, std::nullopt},
        {{std::nan(""), 0}, std::nullopt},
        {{0, HUGE_VAL}, std::nullopt},
        {{-1e300, 0}, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.point.x << "," << c.point.y);
        EXPECT_EQ(toPixel(c.point), c.pixel);
    }
}

}  // namespace
}  // namespace ovra::input
