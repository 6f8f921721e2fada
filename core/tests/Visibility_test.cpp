#include "core/Visibility.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

#include "core/Text.h"

namespace ovra {
namespace {

TEST(Visibility, OnlyFramesAScreenCouldShowArePlausible) {
    const Rect area(0, 0, 1280, 1024);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double big = INT_MAX;
    const struct {
        Rect frame;
        bool plausible;
    } cases[] = {
        {Rect(10, 10, 100, 30), true},
        {Rect(0, 0, 0, 0), true},            // empty, but nothing absurd about it
        {Rect(0, -2000, 1280, 5000), true},  // a tall part of a page, within a few screens
        {Rect(0, 0, 1e9, 30), false},        // a billion points wide
        {Rect(0, 0, big, big), false},       // a toolkit's INT_MAX sizes
        {Rect(nan, 0, 10, 10), false},
        {Rect(Point{0, 0}, Size{10, -5}), false},  // a negative size
        {Rect(-big, -big, 10, 10), false},         // far off every screen
        {Rect(0, 6 * 1280, 10, 10), false},
    };
    // A small window's controls are measured against a small screen, not the window.
    EXPECT_TRUE(Visibility::isPlausibleFrame(Rect(0, 0, 300, 3000), Rect(0, 0, 300, 200)));
    EXPECT_FALSE(Visibility::isPlausibleFrame(Rect(0, 0, 300, 5000), Rect(0, 0, 300, 200)));
    for (const auto& c : cases) {
        EXPECT_EQ(Visibility::isPlausibleFrame(c.frame, area), c.plausible)
            << c.frame.minX() << "," << c.frame.minY() << " " << c.frame.width() << "x"
            << c.frame.height();
    }
}

TEST(Visibility, RingsCollideOnlyWhereOneWouldShowOnTheOther) {
    const Rect button(0, 0, 200, 40);
    EXPECT_TRUE(Visibility::ringsCollide(button, button));
    EXPECT_TRUE(Visibility::ringsCollide(button, Rect(10, 5, 180, 36)));    // nearly the same place
    EXPECT_FALSE(Visibility::ringsCollide(button, Rect(0, 40, 200, 40)));   // side by side
    EXPECT_FALSE(Visibility::ringsCollide(button, Rect(150, 0, 200, 40)));  // a quarter shared
    // A small button in the corner of a card has a ring of its own.
    EXPECT_FALSE(Visibility::ringsCollide(Rect(0, 0, 75, 116), Rect(49, 2, 24, 24)));
    EXPECT_FALSE(Visibility::ringsCollide(button, Rect(0, 0, 0, 0)));
}

TEST(Visibility, OfLaidControlsOnlyTheOneSeenIsOffered) {
    using Visibility::LaidControl;
    const Rect spot(20, 220, 200, 40);
    const std::optional<bool> unknown;
    const std::optional<std::size_t> noHit;
    const struct {
        const char* what;
        std::vector<LaidControl> controls;
        std::optional<std::size_t> onTop;  // what the hit test finds
        std::vector<std::size_t> hidden;
        int untold;
    } cases[] = {
        {"an invisible control over a visible one (the toolkit tells opacity)",
         {{spot, true, false, {0, 1}}, {spot, false, false, {0, 2}}},
         noHit,
         {1},
         0},
        {"the same, laid the other way round",
         {{spot, false, false, {0, 1}}, {spot, true, false, {0, 2}}},
         noHit,
         {0},
         0},
        {"siblings in one place and nothing tells which is seen: neither is offered",
         {{spot, unknown, false, {0, 1}}, {spot, unknown, false, {0, 2}}},
         1,
         {0, 1},
         1},
        {"siblings both drawn opaque: which one lies on top is not which one is drawn",
         {{spot, true, false, {0, 1}}, {spot, true, false, {0, 2}}},
         1,
         {0, 1},
         1},
        {"an open menu's item the hit test finds over the page below",
         {{spot, unknown, false, {0, 1}}, {spot, unknown, true, {0, 5, 0}}},
         1,
         {0},
         0},
        {"a raised control the hit test does not find on top hides nothing",
         {{spot, unknown, false, {0, 1}}, {spot, unknown, true, {0, 5, 0}}},
         0,
         {},
         0},
        {"of different containers, a slightly transparent one is still seen over the page",
         {{spot, true, false, {0, 1}}, {spot, false, false, {1, 0}}},
         1,
         {},
         0},
        {"controls of different containers, neither raised, both stay",
         {{spot, unknown, false, {0, 1}}, {spot, unknown, false, {1, 0}}},
         1,
         {},
         0},
        {"a control inside another is no overlap",
         {{spot, unknown, false, {0, 1}}, {spot, unknown, false, {0, 1, 0}}},
         noHit,
         {},
         0},
        {"apart, both are offered",
         {{spot, unknown, false, {0, 1}}, {Rect(20, 300, 200, 40), unknown, false, {0, 2}}},
         noHit,
         {},
         0},
        {"two alike (same role and label) in one place: one is offered",
         {{spot, unknown, false, {1}, "AXButton", "B"},
          {spot, unknown, false, {2}, "AXButton", "B"}},
         noHit,
         {1},
         0},
        {"a third control over the winner of one pair hides it too",
         {{spot, true, false, {1}}, {spot, false, false, {2}}, {spot, unknown, false, {3}}},
         noHit,
         {0, 1, 2},
         1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto overlaps = Visibility::hiddenByOverlap(
            c.controls, [&](std::size_t, std::size_t, Point) { return c.onTop; });
        EXPECT_EQ(overlaps.hidden, c.hidden);
        EXPECT_EQ(overlaps.untold, c.untold);
    }
}

TEST(BoundedText, CutsOnACharacterBoundary) {
    EXPECT_EQ(text::boundedUtf8("short", 8), "short");
    EXPECT_EQ(text::boundedUtf8("abcdef", 4), "abcd");
    // "é" is two bytes and "€" three: a cut inside either drops the whole character.
    EXPECT_EQ(text::boundedUtf8("ab\xC3\xA9", 3), "ab");
    EXPECT_EQ(text::boundedUtf8("a\xE2\x82\xAC"
                                "b",
                                3),
              "a");
    EXPECT_EQ(text::boundedUtf8("a\xE2\x82\xAC"
                                "b",
                                4),
              "a\xE2\x82\xAC");
    const std::string megabyte(1 << 20, 'n');
    EXPECT_EQ(text::boundedUtf8(megabyte).size(), text::kMaxForeignTextBytes);
}

}  // namespace
}  // namespace ovra
