// Monitors of different sizes, stacked and offset: what lies in the box around them but on no
// monitor shows nowhere; the area an overlay covers across monitors is no monitor itself.

#include "core/Monitors.h"

#include <gtest/gtest.h>

#include <limits>

namespace ovra {
namespace {

// A wide monitor above a narrower one set to the right, as in the desktop journey.
const Rect kUpper(0, 0, 1280, 432), kLower(320, 432, 1600, 648);
const Rect kAround = kUpper.unionWith(kLower);

TEST(Monitors, AControlShowsOnlyWhereSomeMonitorShowsIt) {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    const std::vector<Rect> stacked{kUpper, kLower};
    // With the covered area first, as the reading is given the screens.
    const std::vector<Rect> covered{kAround, kUpper, kLower};
    const std::tuple<const char*, Rect, bool> rows[] = {
        {"on the upper monitor", Rect(60, 120, 240, 90), true},
        {"on the lower monitor", Rect(800, 600, 240, 90), true},
        {"across the seam", Rect(600, 400, 100, 60), true},
        {"in the corner below the upper one", Rect(60, 600, 240, 90), false},
        {"in the corner right of the upper one", Rect(1500, 100, 240, 90), false},
        {"touching a monitor's edge only", Rect(60, 432, 200, 90), false},
        {"a point on a monitor", Rect(700, 700, 0, 0), true},
        {"a point in a corner", Rect(100, 700, 0, 0), false},
        {"no place", Rect::null(), true},
        {"an endless frame", Rect(0, 0, kInf, 10), true},
    };
    for (const auto& [what, frame, shown] : rows) {
        EXPECT_EQ(Monitors::shows(frame, stacked), shown) << what;
        EXPECT_EQ(Monitors::shows(frame, covered), shown) << what << ", covered area given";
    }
    EXPECT_TRUE(Monitors::shows(Rect(60, 600, 240, 90), {})) << "no monitor known";
}

TEST(Monitors, TheBoxAroundSeveralMonitorsIsNoMonitorButAMonitorHoldingOneIs) {
    using Screens = std::vector<Rect>;
    EXPECT_EQ(Monitors::only({kAround, kUpper, kLower}), (Screens{kUpper, kLower}));
    EXPECT_EQ(Monitors::only({kUpper, kAround, kLower}), (Screens{kUpper, kLower}));
    // One monitor covered: the area is that monitor; mirrored monitors are each one.
    EXPECT_EQ(Monitors::only({kUpper, kUpper}), (Screens{kUpper, kUpper}));
    // A large monitor with a small one inside it, not made of others, stays.
    const Rect inside(100, 100, 200, 200);
    EXPECT_EQ(Monitors::only({kAround, inside}), (Screens{kAround, inside}));
}

TEST(Monitors, TheMonitorShowingMostOfAFrameIsTheFirstOfEquals) {
    const std::vector<Rect> stacked{kUpper, kLower};
    EXPECT_EQ(Monitors::showing(Rect(300, 100, 1200, 900), stacked), kLower);
    EXPECT_EQ(Monitors::showing(Rect(400, 300, 200, 264), stacked),
              kUpper);  // 132 above, 132 below
    EXPECT_EQ(Monitors::showing(Rect(60, 600, 100, 100), stacked), std::nullopt);
    EXPECT_EQ(Monitors::showing(Rect(60, 60, 100, 100), {}), std::nullopt);
}

// A reading takes the first screen holding the window's middle: with the span first, that is
// every monitor the window shows on.
TEST(Monitors, AWindowAcrossMonitorsIsReadOnTheBoxAroundThem) {
    using Screens = std::vector<Rect>;
    const Screens stacked{kUpper, kLower};
    EXPECT_EQ(Monitors::withSpanFirst(Rect(300, 100, 1200, 900), stacked),
              (Screens{kAround, kUpper, kLower}));
    EXPECT_EQ(Monitors::withSpanFirst(Rect(1500, 500, 300, 300), stacked),
              (Screens{kLower, kUpper, kLower}))
        << "on one monitor";
    EXPECT_EQ(Monitors::withSpanFirst(Rect(60, 600, 100, 100), stacked), stacked)
        << "on none: in the corner no monitor shows";
    EXPECT_EQ(Monitors::withSpanFirst(Rect(0, 0, 10, 10), {}), Screens{});
}

}  // namespace
}  // namespace ovra
