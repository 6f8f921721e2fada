#include "core/StepCount.h"

#include <gtest/gtest.h>

namespace ovra {
namespace {

FocusItem item(std::string id, int order, std::string title = "", std::string role = "AXButton") {
    FocusItem it;
    it.candidate.id = std::move(id);
    it.candidate.order = order;
    it.candidate.role = std::move(role);
    it.candidate.title = title.empty() ? "Item " + it.candidate.id : std::move(title);
    it.displayLabel = it.candidate.title;
    it.verdict = FocusVerdict::beacon;
    return it;
}

// A plan numbering `n` buttons c1...cn with reading orders 1...n.
FocusPlan numbered(int n, int initial = 0) {
    FocusPlan plan;
    for (int i = 1; i <= n; ++i) {
        plan.items.push_back(item("c" + std::to_string(i), i));
        plan.beaconOrder.push_back("c" + std::to_string(i));
    }
    plan.initialBeacon = initial;
    return plan;
}

std::vector<int> withFocus(const std::vector<StepCount>& counts) {
    std::vector<int> out;
    for (const StepCount& c : counts)
        out.push_back(c.withFocus);
    return out;
}

TEST(StepCounter, InitialAndOtherHighlights) {
    FocusPlan plan;
    plan.items = {item("c1", 1, "Continue"), item("c12", 12, "Next")};
    plan.beaconOrder = {"c1", "c12"};
    plan.initialBeacon = 0;
    EXPECT_EQ(StepCounter::count(plan, true),
              (std::vector<StepCount>{{"c1", "Continue", 2, 2}, {"c12", "Next", 13, 3}}));
}

TEST(StepCounter, MissingIdsScrollItemsAndEmptyPlans) {
    FocusPlan plan = numbered(2);
    plan.beaconOrder.insert(plan.beaconOrder.begin() + 1, "ghost");
    plan.items.push_back(item(std::string(ScrollMore::belowID), 0, "More below"));
    plan.beaconOrder.push_back(std::string(ScrollMore::belowID));
    const auto counts = StepCounter::count(plan, false);
    ASSERT_EQ(counts.size(), 2u);
    EXPECT_EQ(counts[0].id, "c1");
    EXPECT_EQ(counts[1].id, "c2");
    // The positions still count: c2 stands at position 2, so it takes its number.
    EXPECT_EQ(counts[1].withFocus, 3);
    // An empty plan, or an opening selection out of range, adds nothing.
    EXPECT_TRUE(StepCounter::count(FocusPlan{}, true).empty());
    for (const int initial : {5, -1})
        EXPECT_EQ(withFocus(StepCounter::count(numbered(3, initial), false)),
                  (std::vector<int>{3, 3, 3}));
}

TEST(StepCounter, RiskyPressesTakeASecondReturnOnlyWithConfirmation) {
    FocusPlan plan;
    plan.items = {item("c1", 1, "Save"), item("c2", 2, "Delete"),
                  item("c3", 3, "Delete", "AXCheckBox"), item("c4", 4, "Send to", "AXTextField")};
    plan.beaconOrder = {"c1", "c2", "c3", "c4"};
    EXPECT_EQ(withFocus(StepCounter::count(plan, true)), (std::vector<int>{2, 4, 3, 3}));
    EXPECT_EQ(withFocus(StepCounter::count(plan, false)), (std::vector<int>{2, 3, 3, 3}));
}

// Highlights past the ninth have no number key: the user tabs there, from the opening
// selection or from the nearest number, and the list wraps at both ends.
TEST(StepCounter, HighlightsPastNineAreReachedByTabbing) {
    const auto twelve = withFocus(StepCounter::count(numbered(12), false));
    // 10: 9 then Tab; 11: Shift-Tab twice from the first; 12: Shift-Tab once.
    EXPECT_EQ(twelve, (std::vector<int>{2, 3, 3, 3, 3, 3, 3, 3, 3, 4, 4, 3}));

    const auto twenty = withFocus(StepCounter::count(numbered(20), false));
    EXPECT_EQ(twenty[9], 4);   // 9, Tab
    EXPECT_EQ(twenty[14], 8);  // six Tabs either way
    EXPECT_EQ(twenty[19], 3);  // Shift-Tab from the first
    EXPECT_EQ(twenty[16], 6);  // Shift-Tab four times from the first

    // From an opening selection nearby.
    const auto counts = withFocus(StepCounter::count(numbered(12, 10), false));
    EXPECT_EQ(counts[10], 2);  // already selected
    EXPECT_EQ(counts[9], 3);   // Shift-Tab once
    EXPECT_EQ(counts[11], 3);  // Tab once
    EXPECT_EQ(counts[0], 3);   // its number
}

TEST(OvraButton, ClickDependsOnTheTipFlightAndOvras) {
    using C = OvraButton::Click;
    EXPECT_EQ(OvraButton::click(true, true, false), (C{true, false, false}));
    EXPECT_EQ(OvraButton::click(true, false, true), (C{true, false, false}));
    EXPECT_EQ(OvraButton::click(false, true, false), (C{true, true, true}));
    EXPECT_EQ(OvraButton::click(false, false, false), (C{true, true, false}));
    EXPECT_EQ(OvraButton::click(false, true, true), (C{true, false, false}));
}

TEST(BirdClick, ActionTable) {
    EXPECT_EQ(BirdClick::action(false, BirdClickSetting::simplify), BirdClickAction::toggleOvras);
    EXPECT_EQ(BirdClick::action(true, BirdClickSetting::simplify), BirdClickAction::openHome);
    EXPECT_EQ(BirdClick::action(false, BirdClickSetting::home), BirdClickAction::openHome);
    EXPECT_EQ(BirdClick::action(true, BirdClickSetting::home), BirdClickAction::classicMenu);
}

TEST(SimplifyTarget, FrontAppUnlessItIsOvraThenTheLastOther) {
    EXPECT_EQ(SimplifyTarget::choose(false, "org.gnome.gedit", "firefox"),
              SimplifyTarget::appNamed("org.gnome.gedit"));
    EXPECT_EQ(SimplifyTarget::choose(true, "murmlark-ovra", "firefox"),
              SimplifyTarget::appNamed("firefox"));
    EXPECT_EQ(SimplifyTarget::choose(false, std::nullopt, "firefox"),
              SimplifyTarget::appNamed("firefox"));
    EXPECT_EQ(SimplifyTarget::choose(true, "murmlark-ovra", std::nullopt),
              SimplifyTarget::nothing());
    EXPECT_EQ(SimplifyTarget::choose(false, std::nullopt, std::nullopt), SimplifyTarget::nothing());
}

}  // namespace
}  // namespace ovra
