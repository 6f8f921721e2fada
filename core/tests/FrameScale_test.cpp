#include "core/FrameScale.h"

#include <gtest/gtest.h>

#include <limits>

namespace ovra {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
using Pages = FrameScale::Pages;

TEST(FrameScale, DecidedFromTheWindowAndItsXWindow) {
    struct Case {
        const char* what;
        Size given;
        Size xContent;
        Size xWhole;
        Pages pages;
        std::optional<FrameScale> expected;
    };
    const FrameScale one{};
    const Case cases[] = {
        {"the same size", {810, 656}, {810, 656}, {810, 656}, Pages::likeWindow, one},
        {"GTK 3 at scale 2",
         {810, 656},
         {1620, 1312},
         {1620, 1312},
         Pages::likeWindow,
         FrameScale{2, Pages::likeWindow}},
        {"an odd logical size rounds a pixel",
         {1280, 785},
         {2560, 1569},
         {2560, 1569},
         Pages::likeWindow,
         FrameScale{2, Pages::likeWindow}},
        {"Qt 6 at scale 4",
         {735, 549},
         {2940, 2196},
         {2940, 2196},
         Pages::likeWindow,
         FrameScale{4, Pages::likeWindow}},
        {"Chromium gives its window with its shadow",
         {1200, 760},
         {2384, 1512},
         {2400, 1520},
         Pages::inDevicePixels,
         FrameScale{2, Pages::inDevicePixels}},
        {"Chromium at scale 1", {1200, 760}, {1184, 752}, {1200, 760}, Pages::inDevicePixels, one},
        {"GTK 3 with a shadow outside its window",
         {810, 656},
         {1620, 1312},
         {1720, 1412},
         Pages::likeWindow,
         FrameScale{2, Pages::likeWindow}},
        {"GTK 4 leaves out its resize border",
         {433, 540},
         {443, 550},
         {443, 550},
         Pages::likeWindow,
         one},
        {"GTK 4 at scale 2",
         {433, 552},
         {886, 1124},
         {886, 1124},
         Pages::likeWindow,
         FrameScale{2, Pages::likeWindow}},
        {"a window being resized tells nothing",
         {800, 600},
         {1300, 1000},
         {1300, 1000},
         Pages::likeWindow,
         std::nullopt},
        {"one side only doubled", {800, 600}, {1600, 600}, {1600, 600}, Pages::likeWindow, {}},
        {"a frame larger than its X window",
         {1600, 1200},
         {800, 600},
         {800, 600},
         Pages::likeWindow,
         {}},
        {"a tiny window tells nothing", {20, 10}, {40, 20}, {40, 20}, Pages::likeWindow, {}},
        {"factors past 4 are not guessed",
         {100, 100},
         {600, 600},
         {600, 600},
         Pages::likeWindow,
         {}},
        {"a frame of nonsense", {kNaN, 600}, {1600, 1200}, {1600, 1200}, Pages::likeWindow, {}},
        {"no X window size", {800, 600}, {0, 0}, {0, 0}, Pages::likeWindow, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(frameScale(c.given, c.xContent, c.xWhole, c.pages), c.expected) << c.what;
    }
}

TEST(FrameScale, FramesAndPointsGoBetweenAppAndScreenPixels) {
    const FrameScale gtk{2, Pages::likeWindow};
    const FrameScale chromium{2, Pages::inDevicePixels};
    const Point geckoPage{0, 183};
    struct Case {
        const char* what;
        FrameScale scale;
        std::optional<Point> page;
        Rect given;
        Rect onScreen;
    };
    const Case cases[] = {
        {"GTK 3 window", gtk, std::nullopt, {235, 72, 810, 656}, {470, 144, 1620, 1312}},
        {"Chromium window", chromium, std::nullopt, {0, 0, 1200, 760}, {0, 0, 2400, 1520}},
        {"Chromium toolbar button", chromium, std::nullopt, {1164, 0, 32, 40}, {2328, 0, 64, 80}},
        {"Chromium page button", chromium, Point{8, 286}, {48, 326, 360, 120}, {48, 326, 360, 120}},
        {"Gecko toolbar button", gtk, std::nullopt, {0, 103, 74, 80}, {0, 206, 148, 160}},
        {"Gecko page button", gtk, geckoPage, {40, 223, 360, 120}, {80, 446, 720, 240}},
        {"unscaled", FrameScale{}, Point{8, 9}, {235, 72, 810, 656}, {235, 72, 810, 656}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(scaledFrame(c.given, c.scale, c.page), c.onScreen) << c.what;
        // A point on the control on screen is a point on it in the app's pixels.
        const Point p = appPoint(c.onScreen.center(), c.scale, c.page);
        EXPECT_DOUBLE_EQ(p.x, c.given.midX()) << c.what;
        EXPECT_DOUBLE_EQ(p.y, c.given.midY()) << c.what;
    }
}

}  // namespace
}  // namespace ovra
