#include "core/FrameScale.h"

#include <gtest/gtest.h>

#include <limits>

namespace ovra {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(FrameScale, DecidedFromTheWindowAndItsXWindow) {
    struct Case {
        const char* what;
        Size given;
        Size xContent;
        Size xWhole;
        bool pagesInDevicePixels;
        FrameScale expected;
    };
    const Case cases[] = {
        {"the same size: nothing to do", {810, 656}, {810, 656}, {810, 656}, false, {}},
        {"GTK 3 at scale 2", {810, 656}, {1620, 1312}, {1620, 1312}, false, {2, false}},
        {"an odd logical size rounds up a pixel",
         {811, 657},
         {1621, 1313},
         {1621, 1313},
         false,
         {2, false}},
        {"scale 3", {400, 300}, {1200, 900}, {1200, 900}, false, {3, false}},
        {"Qt 6 at scale 4", {735, 549}, {2940, 2196}, {2940, 2196}, false, {4, false}},
        {"Chromium at scale 2 gives its window with its shadow; its pages in device pixels",
         {1200, 760},
         {2384, 1512},
         {2400, 1520},
         true,
         {2, true}},
        {"Chromium at scale 1", {1200, 760}, {1184, 752}, {1200, 760}, true, {}},
        {"GTK 3 at scale 2 with a shadow outside its window",
         {810, 656},
         {1620, 1312},
         {1720, 1412},
         false,
         {2, false}},
        {"no whole factor (a window being resized)",
         {800, 600},
         {1300, 1000},
         {1300, 1000},
         false,
         {}},
        {"one side only doubled", {800, 600}, {1600, 600}, {1600, 600}, false, {}},
        {"a frame larger than its X window", {1600, 1200}, {800, 600}, {800, 600}, false, {}},
        {"a tiny window tells nothing", {20, 10}, {40, 20}, {40, 20}, false, {}},
        {"factors past 4 are not guessed", {100, 100}, {500, 500}, {500, 500}, false, {}},
        {"a frame of nonsense", {kNaN, 600}, {1600, 1200}, {1600, 1200}, false, {}},
        {"no X window size", {800, 600}, {0, 0}, {0, 0}, false, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(frameScale(c.given, c.xContent, c.xWhole, c.pagesInDevicePixels), c.expected)
            << c.what;
    }
}

TEST(FrameScale, FramesAndPointsGoBetweenAppAndScreenPixels) {
    const FrameScale gtk{2, false};
    const FrameScale chromium{2, true};
    struct Case {
        const char* what;
        FrameScale scale;
        bool inPage;
        Rect given;
        Rect onScreen;
    };
    const Case cases[] = {
        {"GTK 3 window", gtk, false, {235, 72, 810, 656}, {470, 144, 1620, 1312}},
        {"Gecko page content scales as its window", gtk, true, {10, 20, 30, 40}, {20, 40, 60, 80}},
        {"Chromium window", chromium, false, {0, 0, 1200, 760}, {0, 0, 2400, 1520}},
        {"Chromium toolbar button", chromium, false, {1164, 0, 32, 40}, {2328, 0, 64, 80}},
        {"Chromium page button", chromium, true, {8, 286, 90, 40}, {8, 286, 90, 40}},
        {"unscaled", FrameScale{}, false, {235, 72, 810, 656}, {235, 72, 810, 656}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(scaledFrame(c.given, c.scale, c.inPage), c.onScreen) << c.what;
        // A point on the control on screen is a point on it in the app's pixels.
        const Point p = appPoint(c.onScreen.center(), c.scale, c.inPage);
        EXPECT_DOUBLE_EQ(p.x, c.given.midX()) << c.what;
        EXPECT_DOUBLE_EQ(p.y, c.given.midY()) << c.what;
    }
}

}  // namespace
}  // namespace ovra
