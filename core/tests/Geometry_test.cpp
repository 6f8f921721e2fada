#include "core/Geometry.h"

#include <gtest/gtest.h>

#include <limits>

#include "core/Rect.h"

namespace ovra {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

using Geometry::IslandPlacement;
using Geometry::IslandSide;
using Geometry::IslandSpot;

TEST(Rect, NegativeSizesAreStandardized) {
    const Rect r(10, 20, -4, -6);
    EXPECT_EQ(r, Rect(6, 14, 4, 6));
    EXPECT_EQ(r.maxX(), 10);
    EXPECT_EQ(r.maxY(), 20);
}

TEST(Rect, EdgesAreHalfOpenAndEmptyAreasMeetNothing) {
    const Rect r(0, 0, 10, 10);
    EXPECT_TRUE(r.intersection(Rect(20, 20, 5, 5)).isNull());
    EXPECT_EQ(r.intersection(Rect(5, 5, 10, 10)), Rect(5, 5, 5, 5));
    EXPECT_FALSE(r.intersects(Rect(10, 0, 10, 10)));
    EXPECT_FALSE(Rect(0, 0, 0, 10).intersects(r));
    EXPECT_TRUE(r.contains(Point{0, 0}));
    EXPECT_FALSE(r.contains(Point{10, 5}));
    EXPECT_TRUE(r.contains(Rect(0, 0, 10, 10)));
    EXPECT_FALSE(r.contains(Rect(-1, 0, 10, 10)));
    EXPECT_EQ(r.insetBy(-2, -2), Rect(-2, -2, 14, 14));
    EXPECT_TRUE(r.insetBy(6, 0).isNull());
    EXPECT_EQ(Rect::null().unionWith(Rect(1, 2, 3, 4)), Rect(1, 2, 3, 4));
    EXPECT_EQ(Rect(0, 0, 1, 1).unionWith(Rect(5, 5, 1, 1)), Rect(0, 0, 6, 6));
}

TEST(Rect, NonFiniteValuesNeverIntersectOrContain) {
    const Rect nan(kNaN, 0, 10, 10);
    const Rect r(0, 0, 100, 100);
    EXPECT_FALSE(nan.isFinite());
    EXPECT_FALSE(nan.intersects(r));
    EXPECT_FALSE(r.intersects(nan));
    EXPECT_FALSE(r.contains(nan));
    EXPECT_FALSE(Rect(0, 0, kNaN, 10).intersects(r));
    EXPECT_TRUE(Rect(0, 0, kNaN, 10).insetBy(1, 1).isNull());
    EXPECT_FALSE(Rect(-kInf, -kInf, kInf, kInf).intersects(r));
}

// Two windows lie in the same place within the slack at the corner and in size, never past it;
// a frame of nonsense lies nowhere.
TEST(Rect, WindowsLieInTheSamePlaceWithinTheSlack) {
    const Rect window(100, 80, 640, 480);
    const struct {
        Rect other;
        bool same;
    } rows[] = {
        {window, true},
        {Rect(108, 72, 632, 488), true},
        {Rect(108.5, 80, 640, 480), false},
        {Rect(100, 80, 640, 489), false},
        {Rect(100 + 640, 80, -640, 480), true},  // the same frame, its size negative
        {Rect(kNaN, 80, 640, 480), false},
        {Rect::null(), false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(liesInSamePlace(window, row.other), row.same) << row.other;
        EXPECT_EQ(liesInSamePlace(row.other, window), row.same) << row.other;
    }
}

// On a root window that is the bounding box of unequal monitors, flipping each monitor with the
// one root height and converting into it must come down to subtracting the monitor's corner.
TEST(GeometryConversion, OverlayOfEveryMonitorIsOffsetFromItsCorner) {
    const double rootHeight = 1440;  // 2560x1440 beside a 1920x1080 set lower, and one below
    const std::vector<Rect> monitorsAX{Rect(0, 0, 2560, 1440), Rect(2560, 360, 1920, 1080),
                                       Rect(-1280, 1440, 1280, 1024)};
    const std::vector<Rect> controls{Rect(2600, 400, 50, 20), Rect(10, 10, 1, 1),
                                     Rect(-1000, 2000, 200, 100)};
    for (const Rect& monitor : monitorsAX) {
        const Rect screenFrame = Geometry::appKitRect(monitor, rootHeight);
        EXPECT_EQ(Geometry::appKitRect(screenFrame, rootHeight), monitor);  // its own inverse
        for (const Rect& control : controls) {
            EXPECT_EQ(Geometry::overlayRect(control, screenFrame, rootHeight),
                      control.offsetBy(-monitor.minX(), -monitor.minY()))
                << monitor << " " << control;
        }
    }
}

TEST(GeometryConversion, ViewportIsTheOnScreenPartOrTheWindow) {
    const Rect screen(0, 0, 1440, 900);
    EXPECT_EQ(Geometry::viewport(Rect(1000, 500, 800, 600), screen), Rect(1000, 500, 440, 400));
    EXPECT_EQ(Geometry::viewport(Rect(2000, 0, 300, 300), screen), Rect(2000, 0, 300, 300));
}

TEST(GeometryBadge, LeftThenAboveThenBelowThenInside) {
    const Rect kBounds(0, 0, 1000, 800);
    const Rect ring(100, 100, 80, 30);
    struct Case {
        const char* what;
        Rect ring;
        std::vector<Rect> others;
        Rect badge;
    };
    const Case cases[] = {
        {"free", ring, {}, Rect(72, 105, 20, 20)},
        // Left would clamp to x = 0 and overlap the ring itself, so "above" wins.
        {"at the left edge", Rect(5, 100, 80, 30), {}, Rect(5, 72, 20, 20)},
        {"at the top left corner", Rect(0, 0, 80, 30), {}, Rect(0, 38, 20, 20)},
        // Other rings count grown by 4: 2 points away still blocks, 5 points away does not.
        {"neighbour 2 away", ring, {Rect(50, 100, 20, 30)}, Rect(100, 72, 20, 20)},
        {"neighbour 5 away", ring, {Rect(47, 100, 20, 30)}, Rect(72, 105, 20, 20)},
        {"blocked all round",
         ring,
         {Rect(60, 100, 20, 30), Rect(100, 60, 80, 20), Rect(100, 140, 80, 20),
          Rect(190, 100, 30, 30)},
         Rect(104, 105, 20, 20)},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Geometry::badgeFrame(c.ring, 20, c.others, kBounds), c.badge) << c.what;

    const Rect corner = Geometry::badgeFrame(Rect(960, 780, 40, 20), 20, {}, kBounds);
    EXPECT_TRUE(kBounds.contains(corner)) << corner;
    const Rect broken =
        Geometry::badgeFrame(Rect(kNaN, kInf, 10, 10), 20, {Rect(kNaN, 0, 1, 1)}, kBounds);
    EXPECT_EQ(broken.width(), 20);
}

TEST(GeometryIsland, LeastCoveredSpotEarliestOnTie) {
    const Size screen{1440, 900};
    const Size island{400, 60};
    const IslandSpot topCentre{IslandPlacement::top, IslandSide::center};
    const IslandSpot bottomCentre{IslandPlacement::bottom, IslandSide::center};
    const std::vector<Rect> everySpot{Rect(700, 40, 10, 10),  Rect(700, 840, 10, 10),
                                      Rect(1400, 40, 10, 10), Rect(1400, 840, 10, 10),
                                      Rect(10, 40, 10, 10),   Rect(10, 840, 10, 10)};
    std::vector<Rect> topTwice = everySpot;
    topTwice.push_back(Rect(600, 40, 10, 10));
    struct Case {
        const char* what;
        std::vector<Rect> rings;
        IslandSpot spot;
    };
    const Case cases[] = {
        {"no rings", {}, topCentre},
        {"ring at top centre", {Rect(700, 40, 40, 20)}, bottomCentre},
        {"both centres taken",
         {Rect(700, 40, 40, 20), Rect(700, 820, 40, 20)},
         {IslandPlacement::top, IslandSide::trailing}},
        // Top band is 60 + 24 + 12 = 96 high; a ring at y = 110 grown by 28 reaches y = 82.
        {"ring within its badge margin", {Rect(700, 110, 40, 20)}, bottomCentre},
        {"ring past its badge margin", {Rect(700, 125, 40, 20)}, topCentre},
        {"one ring in every spot", everySpot, topCentre},
        {"two at top centre", topTwice, bottomCentre},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Geometry::islandSpot(c.rings, screen, island, 24, 20), c.spot) << c.what;
    // An island wider than the screen spans it.
    EXPECT_EQ(Geometry::islandSpot({Rect(5, 40, 10, 10)}, Size{300, 900}, island, 24, 20),
              bottomCentre);
    // The on-screen button at the top right is never covered while a spot leaves it free.
    const Rect button(1356, 6, 72, 72);
    EXPECT_EQ(Geometry::islandSpot({Rect(700, 40, 40, 20), Rect(700, 820, 40, 20)}, screen, island,
                                   24, 20, {button}),
              (IslandSpot{IslandPlacement::bottom, IslandSide::trailing}));
    EXPECT_EQ(Geometry::islandSpot({}, screen, Size{1440, 60}, 24, 20, {button}), bottomCentre);
    // The chosen control too, where the top is free of rings: both weigh more than any ring.
    EXPECT_EQ(Geometry::islandSpot({Rect(700, 820, 40, 20)}, screen, island, 24, 20,
                                   {button, Rect(700, 40, 40, 20)}),
              (IslandSpot{IslandPlacement::bottom, IslandSide::trailing}));
}

// Windows centre on the pointer's screen unless already there; the settings window takes 90%
// of the screen, at least its minimum; a confirm dialog sits centred and a tenth above.
TEST(GeometryWindow, PlacementOfWindowsAndDialogs) {
    const Rect screen(0, 0, 1440, 900);
    const Rect other(1440, 0, 1920, 1080);
    const Size size{400, 300};
    EXPECT_EQ(Geometry::windowOrigin(size, screen, false, std::nullopt), (Point{520, 300}));
    EXPECT_EQ(Geometry::windowOrigin(size, screen, true, screen), std::nullopt);
    EXPECT_EQ(Geometry::windowOrigin(size, screen, true, other), (Point{520, 300}));
    EXPECT_EQ(Geometry::windowOrigin(size, other, true, std::nullopt), (Point{2200, 390}));
    EXPECT_EQ(WindowSizing::frame(screen), Rect(72, 45, 1296, 810));
    EXPECT_EQ(WindowSizing::frame(Rect(0, 0, 800, 600)), Rect(0, 0, 800, 600));
    EXPECT_EQ(WindowSizing::frame(Rect(100, 50, 900, 650)), Rect(140, 75, 820, 600));
    EXPECT_EQ(ConfirmPlacement::origin(Size{300, 200}, Rect(0, 0, 1000, 800)), (Point{350, 380}));
    // Halves round away from zero.
    EXPECT_EQ(ConfirmPlacement::origin(Size{301, 200}, Rect(0, 0, 1000, 800)), (Point{350, 380}));
    EXPECT_EQ(ConfirmPlacement::origin(Size{301, 200}, Rect(-1001, 0, 1000, 800)),
              (Point{-652, 380}));
}

TEST(PointerMotion, MovesOnlyPastOnePoint) {
    EXPECT_FALSE(PointerMotion::moved(Point{0, 0}, Point{1, 0}));
    EXPECT_FALSE(PointerMotion::moved(Point{5, 5}, Point{5, 4}));
    EXPECT_TRUE(PointerMotion::moved(Point{0, 0}, Point{1.01, 0}));
    EXPECT_TRUE(PointerMotion::moved(Point{0, 0}, Point{0.8, 0.8}));
}

TEST(FlightTrail, VisibleFromZeroUntilDuration) {
    const std::pair<std::optional<double>, bool> times[] = {{0.0, true},           {1.19, true},
                                                            {1.2, false},          {-0.1, false},
                                                            {std::nullopt, false}, {kNaN, false}};
    for (const auto& [elapsed, visible] : times)
        EXPECT_EQ(FlightTrail::isVisible(true, elapsed), visible) << elapsed.value_or(-1);
    EXPECT_FALSE(FlightTrail::isVisible(false, 0.5));
}

TEST(ZoomFocus, FollowsOnlyForTheNumberOneAndGrowsRealFrames) {
    for (const Json& one : {Json(1), Json(1u), Json(1.0)})
        EXPECT_TRUE(ZoomFocus::zoomFollowsFocus(one)) << one;
    for (const Json& other :
         {Json(0), Json(2), Json(-1), Json("1"), Json(true), Json(nullptr), Json(1e300)})
        EXPECT_FALSE(ZoomFocus::zoomFollowsFocus(other)) << other;
    EXPECT_FALSE(ZoomFocus::zoomFollowsFocus(std::nullopt));
    // The focus rectangle grows real frames only.
    EXPECT_EQ(ZoomFocus::rect(Rect(10, 10, 20, 20)), Rect(-2, -2, 44, 44));
    EXPECT_EQ(ZoomFocus::rect(Rect(10, 10, 1, 1)), Rect(-2, -2, 25, 25));
    EXPECT_EQ(ZoomFocus::rect(Rect(10, 10, 0.5, 20)), std::nullopt);
    EXPECT_EQ(ZoomFocus::rect(Rect(10, 10, 20, 0.9)), std::nullopt);
    EXPECT_EQ(ZoomFocus::rect(Rect::null()), std::nullopt);
    EXPECT_EQ(ZoomFocus::rect(Rect(0, 0, kInf, 20)), std::nullopt);
    EXPECT_EQ(ZoomFocus::rect(Rect(kNaN, 0, 20, 20)), std::nullopt);
}

TEST(OvraButtonPlace, OldCornersMigrateAndTheHitFrameHugsTheEdge) {
    using P = OvraButtonPlace;
    EXPECT_EQ(P::fromRawValue("topRight"), std::nullopt);
    const std::pair<const char*, std::optional<P>> corners[] = {{"topRight", P::rightTop},
                                                                {"bottomRight", P::rightBottom},
                                                                {"bottomLeft", P::leftBottom},
                                                                {"topLeft", P::leftTop},
                                                                {"rightTop", std::nullopt}};
    for (const auto& [corner, place] : corners)
        EXPECT_EQ(P::fromOldCorner(corner), place) << corner;
    EXPECT_EQ(P::fromOldCorner(std::nullopt), std::nullopt);

    const Rect visible(0, 40, 1440, 820);  // maxY 860, midY 450
    EXPECT_EQ(P(P::leftBottom).hitFrame(visible, 56), Rect(0, 46, 72, 72));
    EXPECT_EQ(P(P::rightTop).hitFrame(visible, 56), Rect(1368, 782, 72, 72));
    EXPECT_EQ(P(P::rightMiddle).hitFrame(visible, 80), Rect(1344, 402, 96, 96));
    EXPECT_EQ(P(P::leftTop).hitFrame(visible, 112), Rect(0, 726, 128, 128));
}

}  // namespace
}  // namespace ovra
