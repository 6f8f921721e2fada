#include "app/diagnostics/DumpFormat.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace ovra {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(DumpFormat, NumbersKeepAFractionAndTruncationNeverOverflows) {
    EXPECT_EQ(DumpFormat::number(12), "12.0");
    EXPECT_EQ(DumpFormat::number(-0.5), "-0.5");
    EXPECT_EQ(DumpFormat::number(1e300), "1e+300");
    EXPECT_EQ(DumpFormat::number(kNaN), "nan");
    EXPECT_EQ(DumpFormat::number(-kInf), "-inf");
    EXPECT_EQ(DumpFormat::rect(Rect(4, 143.25, 1192, -3)), "(4.0, 143.25, 1192.0, -3.0)");
    // Truncation never overflows.
    EXPECT_EQ(DumpFormat::truncated(-1.9), -1);
    EXPECT_EQ(DumpFormat::truncated(1.9), 1);
    EXPECT_EQ(DumpFormat::truncated(kNaN), 0);
    EXPECT_EQ(DumpFormat::truncated(kInf), std::numeric_limits<long long>::max());
    EXPECT_EQ(DumpFormat::truncated(-1e300), std::numeric_limits<long long>::min());
}

FocusItem item(std::string id, std::string title, FocusVerdict verdict, FocusCategory category,
               double priority, std::optional<std::string> reason) {
    FocusItem out;
    out.candidate.id = std::move(id);
    out.candidate.role = "AXButton";
    out.candidate.title = std::move(title);
    out.verdict = verdict;
    out.category = category;
    out.priority = priority;
    out.reason = std::move(reason);
    return out;
}

TEST(DumpFormat, ItemLinesKeepTheirColumnsAndNumberByHighlightOrder) {
    FocusPlan plan;
    plan.items = {
        item("a", "  Share ", FocusVerdict::available, FocusCategory::legalOrPassive, 0.214,
             std::nullopt),
        item("b", "Reject\nall", FocusVerdict::beacon, FocusCategory::dismissalOrExit, 0.995,
             "Cookie choice: decline"),
        item("c", "Go", FocusVerdict::beacon, FocusCategory::essentialFormAction, kNaN, "")};
    plan.beaconOrder = {"c", "b"};
    EXPECT_THAT(
        DumpFormat::itemLines(plan),
        ElementsAre("   available  legal_or_passive       pri=0.21  AXButton \"Share\" ",
                    "#2 beacon     dismissal_or_exit      pri=0.99  AXButton \"Reject all\" "
                    "Cookie choice: decline",
                    "#1 beacon     essential_form_action  pri=nan  AXButton \"Go\" "));
}

TEST(DumpFormat, StepsSectionSumsBothColumns) {
    EXPECT_THAT(DumpFormat::stepLines({}), IsEmpty());
    EXPECT_THAT(
        DumpFormat::stepLines({{"a", "Reject all", 8, 2}, {"b", "Home", 2, 3}}),
        ElementsAre("", "steps (keyboard only \u2192 with Ovra):", "  Reject all: 8 \u2192 2",
                    "  Home: 2 \u2192 3", "  total: 10 \u2192 5"));
}

TEST(DumpFormat, TreeLinesIndentUpToTwentyLevels) {
    EXPECT_EQ(DumpFormat::treeLine(0, "AXWindow", 2, Rect(0.9, -1.9, 10.5, 20)),
              "AXWindow d=0 kids=2 0,-1 10x20");
    EXPECT_EQ(DumpFormat::treeLine(25, "AXGroup", 0, Rect()),
              std::string(40, ' ') + "AXGroup d=25 kids=0 0,0 0x0");
    // Sizes are standardized: a negative width moves the origin.
    EXPECT_EQ(DumpFormat::treeLine(1, "AXButton", 0, Rect(10, 10, -4, 2)),
              "  AXButton d=1 kids=0 6,10 4x2");
    EXPECT_EQ(DumpFormat::treeLine(1, "?", 0, Rect(kNaN, kInf, kNaN, 1)),
              "  ? d=1 kids=0 0," + std::to_string(std::numeric_limits<long long>::max()) + " 0x1");
}

}  // namespace
}  // namespace ovra
