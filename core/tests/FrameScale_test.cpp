#include "core/FrameScale.h"

#include <gtest/gtest.h>

#include <limits>

namespace ovra {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
using Pages = FrameScale::Pages;
using Steps = FrameScale::Steps;

TEST(FrameScale, DecidedFromTheWindowAndItsXWindow) {
    constexpr auto whole = Steps::whole;
    constexpr auto any = Steps::anyRatio;
    struct Case {
        const char* what;
        Size given;
        XWindowSizes x;  // content, whole, decorated
        Pages pages;
        Steps steps;
        std::optional<FrameScale> expected;
    };
    const FrameScale one{};
    const auto scaled = [](double f) { return FrameScale{f, Pages::likeWindow}; };
    const auto pagesAsIs = [](double f) { return FrameScale{f, Pages::inDevicePixels}; };
    const Size none{};
    const Case cases[] = {
        {"the same size",
         {810, 656},
         {{810, 656}, {810, 656}, none},
         Pages::likeWindow,
         whole,
         one},
        {"GTK 3 at scale 2",
         {810, 656},
         {{1620, 1312}, {1620, 1312}, none},
         Pages::likeWindow,
         whole,
         scaled(2)},
        {"an odd logical size rounds a pixel",
         {1280, 785},
         {{2560, 1569}, {2560, 1569}, none},
         Pages::likeWindow,
         whole,
         scaled(2)},
        {"Qt 6 at scale 4",
         {735, 549},
         {{2940, 2196}, {2940, 2196}, none},
         Pages::likeWindow,
         any,
         scaled(4)},
        {"Chromium gives its window with its shadow",
         {1200, 760},
         {{2384, 1512}, {2400, 1520}, none},
         Pages::inDevicePixels,
         any,
         pagesAsIs(2)},
        {"Chromium at scale 1",
         {1200, 760},
         {{1184, 752}, {1200, 760}, none},
         Pages::inDevicePixels,
         any,
         one},
        {"GTK 3 with a shadow outside its window",
         {810, 656},
         {{1620, 1312}, {1720, 1412}, none},
         Pages::likeWindow,
         whole,
         scaled(2)},
        {"GTK 4 leaves out its resize border",
         {433, 540},
         {{443, 550}, {443, 550}, none},
         Pages::likeWindow,
         whole,
         one},
        {"GTK 4 at scale 2",
         {433, 552},
         {{886, 1124}, {886, 1124}, none},
         Pages::likeWindow,
         whole,
         scaled(2)},
        // GTK 3 gives a window the window manager decorates with its title bar and borders.
        {"GTK 3 with the window manager's title bar",
         {402, 183},
         {{400, 150}, {400, 150}, {402, 183}},
         Pages::likeWindow,
         whole,
         one},
        {"GTK 3 at scale 2 with the title bar in device pixels",
         {811, 671},
         {{1620, 1312}, {1620, 1312}, {1622, 1343}},
         Pages::likeWindow,
         whole,
         scaled(2)},
        // Qt and Chromium scale by any factor.
        {"Qt 6 at 150 %",
         {553, 400},
         {{830, 600}, {830, 600}, {832, 631}},
         Pages::likeWindow,
         any,
         scaled(1.5)},
        {"Qt 5 at 150 %, sizes rounded",
         {733, 533},
         {{1100, 800}, {1100, 800}, none},
         Pages::likeWindow,
         any,
         scaled(1.5)},
        {"Chromium at 125 % with its shadow",
         {960, 608},
         {{1180, 750}, {1200, 760}, none},
         Pages::inDevicePixels,
         any,
         pagesAsIs(1.25)},
        {"Chromium at 175 %",
         {1097, 686},
         {{1920, 1200}, {1920, 1200}, none},
         Pages::inDevicePixels,
         any,
         pagesAsIs(1.75)},
        {"Xft.dpi 108 gives eighths",
         {1067, 711},
         {{1200, 800}, {1200, 800}, none},
         Pages::likeWindow,
         any,
         scaled(1.125)},
        {"a desktop's 115 %",
         {1043, 696},
         {{1200, 800}, {1200, 800}, none},
         Pages::likeWindow,
         any,
         scaled(1.15)},
        {"Xft.dpi 128: a third, to a hundredth",
         {900, 600},
         {{1200, 800}, {1200, 800}, none},
         Pages::likeWindow,
         any,
         scaled(1.33)},
        {"a small window takes the coarsest step that fits, not 1.24",
         {41, 41},
         {{51, 51}, {51, 51}, none},
         Pages::likeWindow,
         any,
         scaled(1.25)},
        {"GTK never takes a fraction",
         {553, 400},
         {{830, 600}, {830, 600}, none},
         Pages::likeWindow,
         whole,
         std::nullopt},
        {"a window being resized tells nothing",
         {800, 600},
         {{1300, 1000}, {1300, 1000}, none},
         Pages::likeWindow,
         any,
         std::nullopt},
        {"one side only doubled",
         {800, 600},
         {{1600, 600}, {1600, 600}, none},
         Pages::likeWindow,
         any,
         {}},
        {"a frame larger than its X window",
         {1600, 1200},
         {{800, 600}, {800, 600}, none},
         Pages::likeWindow,
         any,
         {}},
        {"a tiny window tells nothing",
         {20, 10},
         {{40, 20}, {40, 20}, none},
         Pages::likeWindow,
         whole,
         {}},
        {"factors past 4 are not guessed",
         {100, 100},
         {{600, 600}, {600, 600}, none},
         Pages::likeWindow,
         any,
         {}},
        {"a frame of nonsense",
         {kNaN, 600},
         {{1600, 1200}, {1600, 1200}, none},
         Pages::likeWindow,
         any,
         {}},
        {"no X window size", {800, 600}, {none, none, none}, Pages::likeWindow, any, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(frameScale(c.given, c.x, c.pages, c.steps), c.expected) << c.what;
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
        {"Qt field at 150 %",
         FrameScale{1.5, Pages::likeWindow},
         std::nullopt,
         {202, 48, 180, 28},
         {303, 72, 270, 42}},
        {"Chromium page button at 125 %",
         FrameScale{1.25, Pages::inDevicePixels},
         Point{0, 109},
         {20, 129, 225, 75},
         {20, 129, 225, 75}},
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
