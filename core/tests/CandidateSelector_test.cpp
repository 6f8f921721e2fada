#include "core/CandidateSelector.h"

#include <gtest/gtest.h>

#include <limits>

namespace ovra {
namespace {

using V = std::vector<std::string>;
const Rect kViewport(0, 0, 1000, 800);

UICandidate make(std::string id, Rect frame, std::string role = "AXButton",
                 std::string title = "") {
    if (title.empty())
        title = "Button " + id;
    return UICandidate{
        .id = std::move(id), .role = std::move(role), .title = std::move(title), .frame = frame};
}

V ids(const std::vector<UICandidate>& list) {
    V out;
    for (const auto& c : list)
        out.push_back(c.id);
    return out;
}

V select(const std::vector<UICandidate>& list, int limit = 10, std::optional<Point> from = {},
         bool browser = false) {
    return ids(CandidateSelector::select(list, kViewport, from, limit, browser));
}

TEST(CandidateSelector, LimitSizeAndUnusableFrames) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(select({make("c1", Rect(10, 10, 50, 20))}, 0).empty());
    EXPECT_TRUE(select({make("c1", Rect(10, 10, 50, 20))}, -3).empty());
    // Four points at least each way.
    EXPECT_EQ(select({make("c1", Rect(10, 10, 3.9, 20)), make("c2", Rect(10, 50, 4, 4)),
                      make("c3", Rect(10, 80, 20, 3.99))}),
              V{"c2"});
    const std::vector<UICandidate> broken{
        make("nan", Rect(nan, 10, 20, 20)),
        make("inf", Rect(10, 10, std::numeric_limits<double>::infinity(), 20)),
        make("huge", Rect(-1e300, -1e300, 2e300, 2e300)), make("ok", Rect(10, 10, 20, 20))};
    EXPECT_EQ(select(broken), V{"ok"});
    EXPECT_EQ(select(broken, 10, Point{nan, nan}), V{"ok"});  // nor a non-finite reference
}

TEST(CandidateSelector, ChromeGoesOnlyWhenSomethingElseRemains) {
    auto chrome = make("c1", Rect(10, 10, 50, 20));
    chrome.isChrome = true;
    auto page = make("c2", Rect(10, 100, 50, 20));
    EXPECT_EQ(select({chrome, page}, 10, {}, true), V{"c2"});
    EXPECT_EQ(select({chrome}, 10, {}, true), V{"c1"});
    // Outside a browser chrome stays but sorts after non-chrome at equal visibility.
    EXPECT_EQ(select({chrome, page}), (V{"c2", "c1"}));
}

TEST(CandidateSelector, OrderVisibilityFocusThenDistanceAndDuplicatesDropped) {
    EXPECT_EQ(select({make("half", Rect(480, -10, 40, 20)),  // central, half hidden
                      make("far", Rect(0, 760, 20, 20)),     // far corner, fully visible
                      make("outside", Rect(0, 900, 20, 20))}),
              (V{"far", "half"}));
    auto near = make("near", Rect(490, 390, 20, 20));
    auto focused = make("focused", Rect(0, 0, 20, 20));
    focused.isFocused = true;
    auto mid = make("mid", Rect(300, 300, 20, 20));
    EXPECT_EQ(select({mid, near, focused}), (V{"focused", "near", "mid"}));
    EXPECT_EQ(select({near, mid}, 10, Point{300, 300}), (V{"mid", "near"}));
    // Equal candidates keep their list order.
    EXPECT_EQ(
        select({make("a", Rect(100, 100, 20, 20)), make("b", Rect(100, 100, 20, 20), "AXLink"),
                make("c", Rect(100, 100, 20, 20), "AXTab")},
               2),
        (V{"a", "b"}));
    // Duplicates by role, label and position truncated towards zero.
    EXPECT_EQ(select({make("c1", Rect(10.2, 20, 100, 30), "AXButton", "Save"),
                      make("c2", Rect(10.9, 20, 100, 30), "AXButton", "Save"),
                      make("c3", Rect(10.2, 20, 100, 30), "AXButton", "Cancel"),
                      make("c4", Rect(-0.5, 40, 100, 30), "AXButton", "Save"),
                      make("c5", Rect(0.7, 40, 100, 30), "AXButton", "Save")},
                     10, Point{0, 0}),
              (V{"c1", "c3", "c4"}));
}

TEST(CandidateSelector, ContainersFoldWithATwoPointMargin) {
    const auto group = make("g", Rect(100, 100, 200, 50), "AXGroup");
    const auto fold = [](const std::vector<UICandidate>& l) {
        return ids(CandidateSelector::collapseContainers(l));
    };
    EXPECT_EQ(fold({group, make("b", Rect(98, 98, 204, 54))}), V{"b"});
    EXPECT_EQ(fold({group, make("b", Rect(97, 100, 200, 50))}), (V{"g", "b"}));
    EXPECT_EQ(fold({group}), V{"g"});
    // A container only folds for a real control, never for another container or itself.
    EXPECT_EQ(fold({group, make("t", Rect(110, 110, 20, 20), "AXStaticText")}), (V{"g", "t"}));
    EXPECT_EQ(fold({group, make("g", Rect(110, 110, 20, 20))}), (V{"g", "g"}));
}

TEST(OffscreenPruning, SkipsOnlyPositiveFramesOutsideTheViewportInScrollAreas) {
    EXPECT_TRUE(OffscreenPruning::skip(Rect(0, 900, 50, 20), kViewport, true));
    EXPECT_FALSE(OffscreenPruning::skip(Rect(0, 900, 50, 20), kViewport, false));
    EXPECT_FALSE(OffscreenPruning::skip(Rect(0, 900, 50, 0), kViewport, true));
    EXPECT_FALSE(OffscreenPruning::skip(Rect(0, 790, 50, 20), kViewport, true));
}

}  // namespace
}  // namespace ovra
