#include "app/accessibility/ScrollTarget.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/accessibility/FakeAccessibilityBackend.h"

namespace ovra {
namespace {

const Rect kViewport{0, 0, 1000, 800};

struct Fixture {
    std::unique_ptr<ax::FakeAccessibilityBackend> fake;

    explicit Fixture(const std::string& children = "[]") {
        auto parsed = json::parse(R"({"app": {"pid": 1}, "window": {"id": "w", "children": )" +
                                  children + "}}");
        EXPECT_TRUE(parsed.ok());
        auto loaded = ax::FakeAccessibilityBackend::fromJson(*parsed);
        EXPECT_TRUE(loaded.ok()) << (loaded.ok() ? "" : loaded.error());
        fake = std::move(loaded).value();
    }

    ScrollRegion area(std::string_view id, Rect frame) const {
        return {.element = fake->element(id), .frame = frame, .isScrollArea = true};
    }
    ScrollRegion web(std::string_view id, Rect frame) const {
        return {.element = fake->element(id), .frame = frame, .isScrollArea = false, .web = frame};
    }
    std::optional<ScrollTarget> target(const std::vector<ScrollRegion>& regions) {
        BoundedReader reader(*fake, fake->clock());
        return scrollTarget(reader, regions, kViewport);
    }
};

TEST(ScrollRegion, SawWidensOnlyByOverlappingFramesWithHeight) {
    ScrollRegion region{.frame = {100, 100, 200, 300}};
    region.saw({0, 50, 100, 20});  // ends where the region starts: no overlap
    region.saw({300, 50, 10, 20});
    region.saw({150, 50, 10, 0});
    EXPECT_EQ(region.seenTop, std::nullopt);
    EXPECT_EQ(region.seenBottom, std::nullopt);
    region.saw({150, 500, 10, 20});
    region.saw({99, 40, 2, 20});
    region.saw({150, 200, 10, 20});
    EXPECT_EQ(region.seenTop, 40);
    EXPECT_EQ(region.seenBottom, 520);
}

TEST(ScrollTarget, NeedsAVisibleRegionOfAtLeast100By100) {
    Fixture f(R"([{"id": "a"}, {"id": "b"}])");
    EXPECT_EQ(f.target({}), std::nullopt);
    // 99 points of height inside the viewport.
    EXPECT_EQ(f.target({f.area("a", {0, 701, 500, 400})}), std::nullopt);
    EXPECT_EQ(f.target({f.area("a", {1000, 0, 500, 400})}), std::nullopt);
    const auto target = f.target({f.area("a", {0, 700, 500, 400})});
    ASSERT_TRUE(target.has_value());
    EXPECT_EQ(target->signals.visible, (Rect{0, 700, 500, 100}));
}

TEST(ScrollTarget, PrefersWebContentThenTheLargestVisibleAreaThenTheEarliest) {
    Fixture f(R"([{"id": "big"}, {"id": "page"}, {"id": "page2"}, {"id": "x"}, {"id": "y"}])");
    ScrollRegion pageArea = f.area("page", {0, 0, 400, 400});
    pageArea.web = Rect{0, -100, 400, 5000};
    auto target = f.target({f.area("big", {0, 0, 1000, 800}), pageArea});
    ASSERT_TRUE(target.has_value());
    EXPECT_EQ(target->element, f.fake->element("page"));
    EXPECT_EQ(target->signals.document, (Rect{0, -100, 400, 5000}));

    target = f.target({f.area("x", {0, 0, 300, 300}), f.area("y", {300, 0, 300, 300})});
    EXPECT_EQ(target->element, f.fake->element("x"));
    // Only the visible part counts: a huge region mostly off screen loses.
    target = f.target({f.web("page", {0, 600, 1000, 5000}), f.web("page2", {0, 0, 500, 500})});
    EXPECT_EQ(target->element, f.fake->element("page2"));
    EXPECT_EQ(target->scrollBar, std::nullopt);
    EXPECT_EQ(target->signals.document, (Rect{0, 0, 500, 500}));
}

TEST(ScrollTarget, ScrollAreaDocumentFromContentsElseChildren) {
    Fixture f(R"([
      {"id": "withContents", "attrs": {"AXContents": {"refs": ["small", "large"]}}},
      {"id": "small", "frame": [0, 0, 100, 100]},
      {"id": "large", "frame": [0, 0, 500, 2000]},
      {"id": "emptyContents", "attrs": {"AXContents": {"refs": []}}, "children": [
        {"role": "AXScrollBar", "frame": [990, 0, 10, 9000]},
        {"role": "AXList", "frame": [0, -50, 900, 3000]},
        {"faults": {"AXRole": "noValue"}, "frame": [0, 0, 10, 10]}]},
      {"id": "nothing", "children": [{"role": "AXGroup", "attrs": {"AXPosition": "oops",
                                                                    "AXSize": {"size": [1, 1]}}}]}
    ])");
    EXPECT_EQ(f.target({f.area("withContents", {0, 0, 500, 500})})->signals.document,
              (Rect{0, 0, 500, 2000}));
    EXPECT_EQ(f.target({f.area("emptyContents", {0, 0, 500, 500})})->signals.document,
              (Rect{0, -50, 900, 3000}));
    EXPECT_EQ(f.target({f.area("nothing", {0, 0, 500, 500})})->signals.document, std::nullopt);
}

TEST(ScrollTarget, ReadsTheVerticalScrollBarAndItsValue) {
    Fixture f(R"([
      {"id": "s1", "attrs": {"AXVerticalScrollBar": {"ref": "bar1"}}},
      {"id": "bar1", "role": "AXScrollBar", "value": 0.25},
      {"id": "s2", "attrs": {"AXVerticalScrollBar": {"ref": "bar2"}}},
      {"id": "bar2", "role": "AXScrollBar", "value": "half"},
      {"id": "s3", "attrs": {"AXVerticalScrollBar": "bar"}},
      {"id": "s4", "attrs": {"AXVerticalScrollBar": {"ref": "bar4"}}},
      {"id": "bar4", "role": "AXScrollBar", "value": {"number": "nan"}}
    ])");
    ScrollRegion region = f.area("s1", {0, 0, 500, 500});
    region.seenTop = -10;
    region.seenBottom = 900;
    auto target = f.target({region});
    EXPECT_EQ(target->scrollBar, f.fake->element("bar1"));
    EXPECT_EQ(target->signals.scrollBarValue, 0.25);
    EXPECT_EQ(target->signals.seenTop, -10);
    EXPECT_EQ(target->signals.seenBottom, 900);

    target = f.target({f.area("s2", {0, 0, 500, 500})});
    EXPECT_EQ(target->scrollBar, f.fake->element("bar2"));
    EXPECT_EQ(target->signals.scrollBarValue, std::nullopt);
    target = f.target({f.area("s3", {0, 0, 500, 500})});
    EXPECT_EQ(target->scrollBar, std::nullopt);
    target = f.target({f.area("s4", {0, 0, 500, 500})});
    EXPECT_EQ(target->signals.scrollBarValue, std::nullopt);
}

}  // namespace
}  // namespace ovra
