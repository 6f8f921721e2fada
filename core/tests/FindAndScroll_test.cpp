#include "core/FindAndScroll.h"

#include <gtest/gtest.h>

#include <limits>

#include "core/FocusPlan.h"

namespace ovra {
namespace {

using V = std::vector<std::string>;

TEST(ScrollMore, StepsAndItemIds) {
    EXPECT_EQ(points(ScrollStep::small, 2), 1);
    EXPECT_EQ(points(ScrollStep::page, 1000), 900);
    EXPECT_EQ(points(ScrollStep::page, 5), 5);  // 4.5 rounds away from zero
    EXPECT_EQ(points(ScrollStep::page, -50), 1);
    EXPECT_EQ(points(ScrollStep::page, std::numeric_limits<double>::quiet_NaN()), 1);
    EXPECT_EQ(ScrollMore::direction("ovra.scroll.above"), ScrollDirection::up);
    EXPECT_EQ(ScrollMore::direction("c1"), std::nullopt);
}

TEST(ScrollExtent, FirstApplicableEvidenceDecides) {
    const Rect visible(0, 100, 500, 400);  // margin 40
    struct Case {
        const char* what;
        ScrollSignals signals;
        ScrollExtent expected;
    };
    const Case cases[] = {
        {"flat area", {Rect(0, 0, 500, 0), Rect(0, -900, 500, 5000), 0.5, -1000, 9000}, {}},
        {"document both ways", {visible, Rect(0, 0, 500, 2000), {}, {}, {}}, {true, true}},
        {"document within 8 points", {visible, Rect(0, 92, 500, 416), {}, {}, {}}, {false, false}},
        {"document 8 taller ignores the bar", {visible, Rect(0, 96, 500, 408), 0.5, {}, {}}, {}},
        {"bar at top", {visible, {}, 0.0, {}, {}}, {false, true}},
        {"bar at 0.01", {visible, {}, 0.01, {}, {}}, {false, true}},
        {"bar at 0.99", {visible, {}, 0.99, {}, {}}, {true, false}},
        {"seen edges past margin", {visible, {}, {}, 59.0, 541.0}, {true, true}},
        {"seen edges at margin", {visible, {}, {}, 60.0, 540.0}, {false, false}},
        {"nothing known", {visible, {}, {}, {}, {}}, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ScrollMore::extent(c.signals), c.expected) << c.what;
    }
    // A short area keeps the 8-point minimum margin.
    const Rect small(0, 100, 500, 50);
    EXPECT_EQ(ScrollMore::extent({small, {}, {}, 91.0, 159.0}), (ScrollExtent{true, true}));
    EXPECT_EQ(ScrollMore::extent({small, {}, {}, 92.0, 158.0}), ScrollExtent::none());
}

TEST(ScrollMore, ItemFrame) {
    const Rect visible(100, 200, 300, 500);
    EXPECT_EQ(ScrollMore::frame(ScrollDirection::down, visible, Size{120, 40}),
              Rect(190, 644, 120, 40));
    EXPECT_EQ(ScrollMore::frame(ScrollDirection::up, visible, Size{120, 40}),
              Rect(190, 216, 120, 40));
    // Wider than the area: exactly as wide as the area.
    EXPECT_EQ(ScrollMore::frame(ScrollDirection::up, visible, Size{900, 40}),
              Rect(100, 216, 300, 40));
    EXPECT_EQ(ScrollMore::frame(ScrollDirection::up, Rect(0, 0, 101, 10), Size{50, 40}),
              Rect(26, 16, 50, 10));  // 25.5 rounds away from zero

    const FocusItem below = ScrollMore::item(ScrollDirection::down, visible, Size{120, 40});
    EXPECT_EQ(below.verdict, FocusVerdict::beacon);
    EXPECT_EQ(below.candidate.frame, Rect(190, 644, 120, 40));
}

FocusItem control(std::string id, std::string title, FocusVerdict verdict, double y,
                  std::string displayLabel = "") {
    FocusItem i;
    i.candidate.id = std::move(id);
    i.candidate.role = "AXButton";
    i.candidate.title = title;
    i.candidate.frame = Rect(0, y, 50, 20);
    i.verdict = verdict;
    i.displayLabel = displayLabel.empty() ? std::move(title) : std::move(displayLabel);
    return i;
}

FocusPlan planWithScroll() {
    FocusPlan plan;
    plan.items = {control("c1", "Café au lait menu", FocusVerdict::beacon, 0),
                  control("c2", "Tea", FocusVerdict::available, 200),
                  control("c3", "Decline offer", FocusVerdict::suppressed, 100),
                  control("c4", "No thanks", FocusVerdict::available, 50, "Decline offer")};
    plan.beaconOrder = {"c1", "ghost"};
    plan.initialBeacon = 0;
    return plan.addingScrollItems({true, true}, Rect(0, 0, 400, 600), Size{100, 30});
}

TEST(FocusPlanScroll, ScrollItemsGoLastAndAddingAgainReplacesThem) {
    const FocusPlan once = planWithScroll();
    EXPECT_EQ(once.beaconOrder, (V{"c1", "ghost", "ovra.scroll.below", "ovra.scroll.above"}));
    EXPECT_EQ(once.choiceCount(), 2);
    EXPECT_EQ(once.initialBeacon, 0);
    EXPECT_EQ(once.revealOrder(),
              (V{"c1", "ghost", "c4", "c2", "c3", "ovra.scroll.below", "ovra.scroll.above"}));
    EXPECT_EQ(once.sections(false).back().id, "scroll");

    const FocusPlan twice = once.addingScrollItems({true, false}, Rect(0, 0, 400, 600), {100, 30});
    EXPECT_EQ(twice.scrollOrder(), V{"ovra.scroll.above"});
    EXPECT_EQ(twice.items.size(), 5u);
    // Scrolled back to the top of a short page: the old items must not linger.
    const FocusPlan none =
        once.addingScrollItems(ScrollExtent::none(), Rect(0, 0, 400, 600), {100, 30});
    EXPECT_EQ(none.items.size(), 4u);
    EXPECT_EQ(none.beaconOrder, (V{"c1", "ghost"}));
}

TEST(FindMatcher, FoldsCaseAccentsWidthAndSpaceAndMatchesInRevealOrder) {
    EXPECT_EQ(FindMatcher::fold("  \u00C7a\tVa\n "), "ca va");
    EXPECT_EQ(FindMatcher::fold("\uFF21\uFF22\u3000C\u00E9"), "ab ce");
    EXPECT_EQ(FindMatcher::fold("CAF\u00C9"), FindMatcher::fold("cafe"));
    EXPECT_EQ(FindMatcher::fold("bad \xFF bytes"), "bad \uFFFD bytes");

    const FocusPlan plan = planWithScroll();
    EXPECT_EQ(FindMatcher::matches("", plan), (V{"c1", "c4", "c2", "c3"}));
    EXPECT_EQ(FindMatcher::matches("  ", plan), (V{"c1", "c4", "c2", "c3"}));
    EXPECT_EQ(FindMatcher::matches("caf", plan), V{"c1"});
    EXPECT_EQ(FindMatcher::matches("CAF\u00C9 AU", plan), V{"c1"});
    // Display label first, then the control's own label.
    EXPECT_EQ(FindMatcher::matches("decline", plan), (V{"c4", "c3"}));
    EXPECT_EQ(FindMatcher::matches("thanks", plan), V{"c4"});
    EXPECT_TRUE(FindMatcher::matches("more below", plan).empty());
    EXPECT_TRUE(FindMatcher::matches("ghost", plan).empty());
}

TEST(FindScope, WiderReadOnlyAfterAFullSmallerRead) {
    EXPECT_TRUE(FindScope::needsWiderRead(14, 14));
    EXPECT_TRUE(FindScope::needsWiderRead(20, 14));
    EXPECT_FALSE(FindScope::needsWiderRead(13, 14));
    EXPECT_FALSE(FindScope::needsWiderRead(150, 150));
}

}  // namespace
}  // namespace ovra
