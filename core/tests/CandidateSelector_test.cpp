#include "core/CandidateSelector.h"

#include <gtest/gtest.h>

#include <limits>

namespace ovra {
namespace {

const Rect kViewport(0, 0, 1000, 800);

UICandidate make(std::string id, Rect frame, std::string role = "AXButton",
                 std::string title = "") {
    if (title.empty())
        title = "Button " + id;
    return UICandidate{
        .id = std::move(id), .role = std::move(role), .title = std::move(title), .frame = frame};
}

std::vector<std::string> ids(const std::vector<UICandidate>& list) {
    std::vector<std::string> out;
    for (const auto& c : list)
        out.push_back(c.id);
    return out;
}

using V = std::vector<std::string>;

TEST(CandidateSelector, LimitOfZeroOrLessReturnsNothing) {
    const std::vector<UICandidate> list{make("c1", Rect(10, 10, 50, 20))};
    EXPECT_TRUE(CandidateSelector::select(list, kViewport, {}, 0, false).empty());
    EXPECT_TRUE(CandidateSelector::select(list, kViewport, {}, -3, false).empty());
    EXPECT_EQ(CandidateSelector::select(list, kViewport, {}, 5, false).size(), 1u);
}

TEST(CandidateSelector, ChromeGoesOnlyWhenSomethingElseRemains) {
    auto chrome = make("c1", Rect(10, 10, 50, 20));
    chrome.isChrome = true;
    auto page = make("c2", Rect(10, 100, 50, 20));
    EXPECT_EQ(ids(CandidateSelector::select({chrome, page}, kViewport, {}, 10, true)), V{"c2"});
    EXPECT_EQ(ids(CandidateSelector::select({chrome}, kViewport, {}, 10, true)), V{"c1"});
    // Outside a browser chrome stays but sorts after non-chrome at equal visibility.
    EXPECT_EQ(ids(CandidateSelector::select({chrome, page}, kViewport, {}, 10, false)),
              (V{"c2", "c1"}));
}

TEST(CandidateSelector, FourPointMinimum) {
    const auto list =
        std::vector<UICandidate>{make("c1", Rect(10, 10, 3.9, 20)), make("c2", Rect(10, 50, 4, 4)),
                                 make("c3", Rect(10, 80, 20, 3.99))};
    EXPECT_EQ(ids(CandidateSelector::select(list, kViewport, {}, 10, false)), V{"c2"});
}

TEST(CandidateSelector, PartlyHiddenSortsAfterFullyVisibleWhateverTheDistance) {
    const auto list = std::vector<UICandidate>{
        make("half", Rect(480, -10, 40, 20)),    // centre of the viewport, half hidden
        make("far", Rect(0, 760, 20, 20)),       // far corner, fully visible
        make("outside", Rect(0, 900, 20, 20))};  // wholly outside
    EXPECT_EQ(ids(CandidateSelector::select(list, kViewport, {}, 10, false)), (V{"far", "half"}));
}

TEST(CandidateSelector, DuplicateKeysTruncateTowardZero) {
    const auto list =
        std::vector<UICandidate>{make("c1", Rect(10.2, 20, 100, 30), "AXButton", "Save"),
                                 make("c2", Rect(10.9, 20, 100, 30), "AXButton", "Save"),
                                 make("c3", Rect(10.2, 20, 100, 30), "AXButton", "Cancel"),
                                 make("c4", Rect(-0.5, 40, 100, 30), "AXButton", "Save"),
                                 make("c5", Rect(0.7, 40, 100, 30), "AXButton", "Save")};
    EXPECT_EQ(ids(CandidateSelector::select(list, kViewport, Point{0, 0}, 10, false)),
              (V{"c1", "c3", "c4"}));
}

TEST(CandidateSelector, FocusThenNonChromeThenDistance) {
    auto near = make("near", Rect(490, 390, 20, 20));
    auto focused = make("focused", Rect(0, 0, 20, 20));
    focused.isFocused = true;
    auto mid = make("mid", Rect(300, 300, 20, 20));
    EXPECT_EQ(ids(CandidateSelector::select({mid, near, focused}, kViewport, {}, 10, false)),
              (V{"focused", "near", "mid"}));
    // A given reference point replaces the viewport's centre.
    EXPECT_EQ(ids(CandidateSelector::select({near, mid}, kViewport, Point{300, 300}, 10, false)),
              (V{"mid", "near"}));
}

TEST(CandidateSelector, EqualCandidatesKeepListOrder) {
    const auto list = std::vector<UICandidate>{make("a", Rect(100, 100, 20, 20)),
                                               make("b", Rect(100, 100, 20, 20), "AXLink"),
                                               make("c", Rect(100, 100, 20, 20), "AXTab")};
    EXPECT_EQ(ids(CandidateSelector::select(list, kViewport, {}, 2, false)), (V{"a", "b"}));
}

TEST(CandidateSelector, NonFiniteAndHugeFramesAreDropped) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const auto list = std::vector<UICandidate>{
        make("nan", Rect(nan, 10, 20, 20)), make("inf", Rect(10, 10, inf, 20)),
        make("huge", Rect(-1e300, -1e300, 2e300, 2e300)), make("ok", Rect(10, 10, 20, 20))};
    EXPECT_EQ(ids(CandidateSelector::select(list, kViewport, {}, 10, false)), V{"ok"});
    // A non-finite reference point never breaks the order.
    EXPECT_EQ(ids(CandidateSelector::select(list, kViewport, Point{nan, nan}, 10, false)), V{"ok"});
}

TEST(CandidateSelector, ContainersFoldWithATwoPointMargin) {
    const auto group = make("g", Rect(100, 100, 200, 50), "AXGroup");
    const auto inside = make("b", Rect(98, 98, 204, 54));
    const auto outside = make("b", Rect(97, 100, 200, 50));
    EXPECT_EQ(ids(CandidateSelector::collapseContainers({group, inside})), V{"b"});
    EXPECT_EQ(ids(CandidateSelector::collapseContainers({group, outside})), (V{"g", "b"}));
    EXPECT_EQ(ids(CandidateSelector::collapseContainers({group})), V{"g"});
    // A container only folds for a real control, never for another container or itself.
    const auto text = make("t", Rect(110, 110, 20, 20), "AXStaticText");
    EXPECT_EQ(ids(CandidateSelector::collapseContainers({group, text})), (V{"g", "t"}));
    const auto sameId = make("g", Rect(110, 110, 20, 20));
    EXPECT_EQ(ids(CandidateSelector::collapseContainers({group, sameId})), (V{"g", "g"}));
}

TEST(OffscreenPruning, SkipsOnlyPositiveFramesOutsideTheViewportInScrollAreas) {
    EXPECT_TRUE(OffscreenPruning::skip(Rect(0, 900, 50, 20), kViewport, true));
    EXPECT_FALSE(OffscreenPruning::skip(Rect(0, 900, 50, 20), kViewport, false));
    EXPECT_FALSE(OffscreenPruning::skip(Rect(0, 900, 50, 0), kViewport, true));
    EXPECT_FALSE(OffscreenPruning::skip(Rect(0, 790, 50, 20), kViewport, true));
}

}  // namespace
}  // namespace ovra
