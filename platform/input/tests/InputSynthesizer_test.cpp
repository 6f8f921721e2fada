// Pixel conversion of points and the recording stand-in's window stack.

#include "platform/input/InputSynthesizer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>

#include "platform/input/FakeInputSynthesizer.h"

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
        SCOPED_TRACE(describe(c.point));
        EXPECT_EQ(toPixel(c.point), c.pixel);
    }
}

TEST(FakeInput, FrontWindowTakesThePoint) {
    FakeInputSynthesizer input;
    EXPECT_TRUE(input.isWindowAt(1, {5, 5}));  // no windows given: anything goes
    input.setWindows({{2, Rect(0, 0, 100, 100)}, {1, Rect(0, 0, 500, 500)}});
    EXPECT_FALSE(input.isWindowAt(1, {50, 50}));
    EXPECT_TRUE(input.isWindowAt(2, {50, 50}));
    EXPECT_TRUE(input.isWindowAt(1, {150, 50}));
    EXPECT_FALSE(input.isWindowAt(1, {600, 50}));  // the desktop itself
}

}  // namespace
}  // namespace ovra::input
