// What a reading offers of controls a person cannot see: clipped away by a scroll area, a
// frame's view or what the toolkit says is clipped, laid under another control, or with a frame
// no screen could show; and texts of any length cut where they are read.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "app/accessibility/AXExtractor.h"
#include "core/Text.h"
#include "platform/accessibility/FakeAccessibilityBackend.h"

namespace ovra {
namespace {

using ::testing::UnorderedElementsAreArray;

const AXExtractor kExtractor{
    .maxDepth = 8, .maxCandidates = 150, .maxRawDepth = 48, .nodeBudget = 4000};

Result<WindowSnapshot, AXExtractorError> readWindow(const std::string& children) {
    const std::string fixture =
        R"({"screens": [[0, 0, 1280, 1024]], "app": {"pid": 9, "name": "Example"},
            "window": {"id": "w", "role": "AXWindow", "frame": [0, 0, 1280, 1024],
                       "children": )" +
        children + "}}";
    auto parsed = json::parse(fixture);
    EXPECT_TRUE(parsed.ok());
    auto fake = ax::FakeAccessibilityBackend::fromJson(*parsed);
    EXPECT_TRUE(fake.ok()) << (fake.ok() ? "" : fake.error());
    return kExtractor.snapshot({.pid = 9}, *fake.value(), fake.value()->clock());
}

std::vector<std::string> titles(const WindowSnapshot& snapshot) {
    std::vector<std::string> out;
    for (const auto& c : snapshot.candidates) {
        out.push_back(c.title);
    }
    return out;
}

TEST(ReadingVisibility, OffersOnlyControlsAPersonCanSee) {
    const struct {
        const char* what;
        const char* children;
        std::vector<std::string> offered;
        int untold;
    } cases[] = {
        {"a scroll area clips what is scrolled out of it",
         R"([{"role": "AXScrollArea", "frame": [0, 0, 400, 300], "children": [
               {"role": "AXButton", "title": "In view", "frame": [10, 10, 100, 30]},
               {"role": "AXButton", "title": "Scrolled away", "frame": [10, 500, 100, 30]}]}])",
         {"In view"},
         0},
        {"a frame's view clips the page inside it, nested clips add up",
         R"([{"role": "AXScrollArea", "frame": [0, 0, 1280, 1024], "children": [
               {"role": "AXWebArea", "frame": [0, 0, 1280, 1024], "children": [
                 {"role": "AXButton", "title": "Page", "frame": [10, 10, 100, 30]},
                 {"role": "AXWebArea", "frame": [200, 200, 320, 120], "children": [
                   {"role": "AXButton", "title": "In frame", "frame": [200, 200, 70, 20]},
                   {"role": "AXButton", "title": "Frame bottom", "frame": [200, 620, 70, 20]}]}]}]}])",
         {"Page", "In frame"},
         0},
        {"the toolkit says it is clipped away (an overflow container)",
         R"([{"role": "AXGroup", "frame": [0, 0, 300, 60], "children": [
               {"role": "AXButton", "title": "Slide one", "frame": [0, 0, 280, 50],
                "attrs": {"AXShowing": true}},
               {"role": "AXButton", "title": "Slide two", "frame": [300, 0, 280, 50],
                "attrs": {"AXShowing": false}}]}])",
         {"Slide one"},
         0},
        {"a frame no screen could show; one that meets the screen, whatever its size",
         R"([{"role": "AXButton", "title": "Sane", "frame": [10, 10, 100, 30]},
             {"role": "AXButton", "title": "Wide", "frame": [0, 100, 1000000000, 30]},
             {"role": "AXTextArea", "title": "Tall editor", "frame": [300, 200, 600, 12000]},
             {"role": "AXButton", "title": "Far", "frame": [-2147483647, -2147483647, 10, 10]},
             {"role": "AXButton", "title": "Below", "frame": [0, 7000, 100, 30]},
             {"role": "AXButton", "title": "Negative", "frame": [10, 60, 100, -30]}])",
         {"Sane", "Wide", "Tall editor"},
         0},
        {"an invisible control over a visible one, told by its opacity",
         R"([{"role": "AXButton", "title": "Reject all", "frame": [20, 220, 200, 40],
              "attrs": {"AXOpaque": true}},
             {"role": "AXButton", "title": "Accept all", "frame": [20, 220, 200, 40],
              "attrs": {"AXOpaque": false}}])",
         {"Reject all"},
         0},
        {"two controls in one place and nothing to tell which is seen",
         R"([{"role": "AXButton", "title": "Reject all", "frame": [20, 220, 200, 40]},
             {"role": "AXButton", "title": "Accept all", "frame": [20, 220, 200, 40]},
             {"role": "AXButton", "title": "After", "frame": [20, 300, 60, 25]}])",
         {"After"},
         1},
        {"an open menu's items over the page below",
         R"([{"role": "AXButton", "title": "Page button", "frame": [20, 260, 220, 35]},
             {"role": "AXMenu", "frame": [20, 255, 222, 115], "children": [
               {"role": "AXMenuItem", "title": "Rename", "frame": [21, 260, 220, 35]},
               {"role": "AXMenuItem", "title": "Delete forever", "frame": [21, 295, 220, 35]}]}])",
         {"Rename", "Delete forever"},
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto read = readWindow(c.children);
        ASSERT_TRUE(read.ok());
        EXPECT_THAT(titles(read.value()), UnorderedElementsAreArray(c.offered));
        EXPECT_EQ(read.value().untoldOverlaps, c.untold);
    }
}

TEST(ReadingVisibility, CutsLongTextsWhereTheyAreRead) {
    const std::string megabyte(1 << 20, 'n');
    auto read = readWindow(R"([{"role": "AXButton", "title": "Long )" + megabyte +
                           R"(", "frame": [10, 10, 100, 30]},
        {"role": "AXButton", "desc": ")" +
                           megabyte + R"(", "frame": [10, 50, 100, 30]}])");
    ASSERT_TRUE(read.ok());
    ASSERT_EQ(read.value().candidates.size(), 2U);
    for (const auto& c : read.value().candidates) {
        EXPECT_LE(c.title.size(), text::kMaxForeignTextBytes);
        EXPECT_LE(c.description.size(), text::kMaxForeignTextBytes);
    }
    const auto& candidates = read.value().candidates;
    EXPECT_TRUE(std::any_of(candidates.begin(), candidates.end(), [](const UICandidate& c) {
        return c.title.starts_with("Long nnn") && c.title.size() > 4000;
    }));
}

}  // namespace
}  // namespace ovra
