#include "app/accessibility/AXWalk.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/accessibility/FakeAccessibilityBackend.h"

namespace ovra {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::unique_ptr<ax::FakeAccessibilityBackend> fakeWith(const std::string& window) {
    auto parsed = json::parse(R"({"app": {"pid": 1}, "window": )" + window + "}");
    EXPECT_TRUE(parsed.ok());
    auto fake = ax::FakeAccessibilityBackend::fromJson(*parsed);
    EXPECT_TRUE(fake.ok()) << (fake.ok() ? "" : fake.error());
    return std::move(fake).value();
}

struct Walked {
    std::unique_ptr<ax::FakeAccessibilityBackend> fake;
    WalkResult result;

    std::vector<std::string> foundKeys() const {
        std::vector<std::string> keys;
        for (const auto& node : result.found) {
            keys.push_back(node.element.key());
        }
        return keys;
    }
    const FoundNode& found(std::string_view key) const {
        for (const auto& node : result.found) {
            if (node.element.key() == key) {
                return node;
            }
        }
        throw std::runtime_error("not found: " + std::string(key));
    }
};

Walked walkOf(const std::string& window, WalkLimits limits = {6, 48, 4000},
              Rect viewport = {0, 0, 1000, 800}) {
    Walked w{fakeWith(window), {}};
    w.fake->setMessagingTimeout(w.fake->applicationElement({.pid = 1}), 0.25);
    BoundedReader reader(*w.fake, w.fake->clock());
    w.result = walk(reader, w.fake->element("w"), viewport, limits);
    return w;
}

TEST(AXWalk, BudgetCountsEveryNodeRead) {
    const std::string tree = R"({"id": "w", "role": "AXWindow", "frame": [0, 0, 500, 500],
        "children": [{"id": "h", "role": "AXGroup", "hidden": true, "frame": [0, 0, 10, 10],
                      "children": [{"id": "hb", "role": "AXButton", "frame": [0, 0, 10, 10]}]},
                     {"id": "b", "role": "AXButton", "frame": [0, 0, 10, 10]}]})";
    for (const int budget : {0, -3, 1}) {
        EXPECT_EQ(walkOf(tree, {6, 48, budget}).result.nodesRead, std::max(budget, 0)) << budget;
    }
    // The hidden group costs one read and hides its button.
    auto w = walkOf(tree, {6, 48, 2});
    EXPECT_EQ(w.result.nodesRead, 2);
    EXPECT_THAT(w.foundKeys(), IsEmpty());
    w = walkOf(tree);
    EXPECT_EQ(w.result.nodesRead, 3);
    EXPECT_THAT(w.foundKeys(), ElementsAre("b"));
}

TEST(AXWalk, VisitsOnlyEnabledControlsWithAFrameInTheViewport) {
    auto w = walkOf(R"({"id": "w", "role": "AXWindow", "frame": [0, 0, 1000, 800], "children": [
        {"id": "on", "role": "AXButton", "frame": [10, 10, 50, 20]},
        {"id": "off", "role": "AXButton", "enabled": false, "frame": [10, 40, 50, 20]},
        {"id": "away", "role": "AXButton", "frame": [2000, 10, 50, 20]},
        {"id": "noframe", "role": "AXButton"},
        {"id": "nan", "role": "AXButton", "attrs": {"AXPosition": {"point": [{"number": "nan"}, 0]},
                                                    "AXSize": {"size": [10, 10]}}},
        {"id": "text", "role": "AXStaticText", "frame": [10, 70, 50, 20]},
        {"id": "enabledText", "role": "AXTextField", "enabled": "yes", "frame": [10, 90, 50, 20]},
        {"id": "numberRole", "attrs": {"AXRole": 5}, "frame": [10, 110, 50, 20]},
        {"id": "textHidden", "role": "AXButton", "hidden": "true", "frame": [10, 130, 50, 20]},
        {"id": "slowTitle", "role": "AXButton", "faults": {"AXTitle": "timeout"},
         "frame": [10, 150, 50, 20]}
    ]})");
    // Values of the wrong kind count as absent; a failing attribute fails alone.
    EXPECT_THAT(w.foundKeys(), ElementsAre("on", "enabledText", "textHidden", "slowTitle"));
}

TEST(AXWalk, DescendsIntoLinksComboBoxesAndPressableContainersOnly) {
    auto w = walkOf(R"({"id": "w", "role": "AXWindow", "frame": [0, 0, 1000, 800], "children": [
        {"id": "button", "role": "AXButton", "frame": [0, 0, 50, 20],
         "children": [{"id": "inButton", "role": "AXButton", "frame": [0, 0, 10, 10]}]},
        {"id": "link", "role": "AXLink", "frame": [0, 30, 50, 20],
         "children": [{"id": "inLink", "role": "AXButton", "frame": [0, 30, 10, 10]}]},
        {"id": "combo", "role": "AXComboBox", "frame": [0, 60, 50, 20],
         "children": [{"id": "inCombo", "role": "AXButton", "frame": [0, 60, 10, 10]}]},
        {"id": "cell", "role": "AXCell", "actions": ["AXShowMenu", "AXPress"], "frame": [0, 90, 50, 20],
         "children": [{"id": "inCell", "role": "AXCheckBox", "frame": [0, 90, 10, 10]}]},
        {"id": "row", "role": "AXRow", "actions": ["AXShowMenu"], "frame": [0, 120, 50, 20],
         "children": [{"id": "inRow", "role": "AXCheckBox", "frame": [0, 120, 10, 10]}]},
        {"id": "pressText", "role": "AXStaticText", "actions": ["AXPress"], "frame": [0, 150, 50, 20],
         "children": [{"id": "inText", "role": "AXButton", "frame": [0, 150, 10, 10]}]},
        {"id": "group", "role": "AXGroup", "faults": {"actions": "timeout"}, "frame": [0, 180, 50, 20],
         "children": [{"id": "inGroup", "role": "AXButton", "frame": [0, 180, 10, 10]}]}
    ]})");
    EXPECT_THAT(w.foundKeys(), ElementsAre("button", "link", "combo", "cell", "pressText", "inLink",
                                           "inCombo", "inCell", "inRow", "inGroup"));
    // Only pressable containers are asked for their actions.
    EXPECT_EQ(w.fake->counters().actionNames, 4);
}

TEST(AXWalk, APagesComboBoxAndLabelAreEnteredAndWhatTheyHoldIsForTheHitTest) {
    auto w = walkOf(R"({"id": "w", "role": "AXWindow", "frame": [0, 0, 1000, 800], "children": [
        {"id": "page", "role": "AXWebArea", "frame": [0, 0, 1000, 800], "children": [
          {"id": "choices", "role": "AXPopUpButton", "frame": [0, 0, 400, 50],
           "attrs": {"AXShowing": true}, "children": [
            {"id": "list", "role": "AXGroup", "frame": [0, 50, 400, 80], "children": [
              {"id": "option", "role": "AXGroup", "title": "ui", "actions": ["AXPress"],
               "frame": [0, 50, 400, 40], "attrs": {"AXShowing": true}}]}]},
          {"id": "select", "role": "AXPopUpButton", "frame": [0, 200, 100, 20], "children": [
            {"id": "menu", "role": "AXMenu", "frame": [0, 200, 100, 20], "children": [
              {"id": "country", "role": "AXMenuItem", "frame": [0, 200, 100, 20]}]}]},
          {"id": "label", "role": "AXGroup", "actions": ["AXPress"], "frame": [0, 300, 80, 20],
           "attrs": {"AXShowing": true}, "children": [
            {"id": "switch", "role": "AXCheckBox", "frame": [0, 300, 14, 14],
             "attrs": {"AXShowing": false}}]},
          {"id": "hidden", "role": "AXCheckBox", "frame": [0, 400, 14, 14],
           "attrs": {"AXShowing": false}}]},
        {"id": "native", "role": "AXPopUpButton", "frame": [500, 0, 100, 20], "children": [
          {"id": "inNative", "role": "AXButton", "frame": [500, 0, 10, 10]}]}
    ]})");
    EXPECT_THAT(w.foundKeys(),
                ElementsAre("native", "choices", "select", "label", "switch", "option"));
    EXPECT_TRUE(w.found("option").unsettled);
    EXPECT_TRUE(w.found("switch").unsettled);
    EXPECT_FALSE(w.found("choices").unsettled);
}

TEST(AXWalk, DepthLimitsStopBelowTheLastLevel) {
    // Structural groups do not count towards maxDepth; every level counts towards maxRawDepth.
    const std::string tree = R"({"id": "w", "role": "AXWindow", "frame": [0, 0, 500, 500],
        "children": [{"id": "g1", "role": "AXGroup", "frame": [0, 0, 500, 500], "children": [
          {"id": "t1", "role": "AXBrowser", "frame": [0, 0, 500, 500], "children": [
            {"id": "g2", "role": "AXGroup", "frame": [0, 0, 500, 500], "children": [
              {"id": "deep", "role": "AXButton", "frame": [0, 0, 20, 20]}]}]}]}]})";
    EXPECT_THAT(walkOf(tree, {2, 48, 100}).foundKeys(), ElementsAre("deep"));
    EXPECT_THAT(walkOf(tree, {1, 48, 100}).foundKeys(), IsEmpty());
    // "deep" is 4 levels below the window: read with a raw depth limit of 4, not of 3.
    EXPECT_THAT(walkOf(tree, {6, 4, 100}).foundKeys(), ElementsAre("deep"));
    EXPECT_THAT(walkOf(tree, {6, 3, 100}).foundKeys(), IsEmpty());
    EXPECT_EQ(walkOf(tree, {6, 3, 100}).result.nodesRead, 4);
}

TEST(AXWalk, PathsChromeAndOffscreenPruning) {
    auto w = walkOf(R"({"id": "w", "role": "AXWindow", "frame": [5000, 0, 100, 100], "children": [
        {"id": "bar", "role": "AXToolbar", "frame": [0, 0, 1000, 40], "children": [
          {"role": "AXStaticText", "frame": [0, 0, 5, 5]},
          {"id": "back", "role": "AXButton", "frame": [0, 0, 30, 30]}]},
        {"id": "scroll", "role": "AXScrollArea", "frame": [0, 40, 1000, 700], "children": [
          {"id": "below", "role": "AXGroup", "frame": [0, 900, 1000, 100], "children": [
            {"id": "hiddenBelow", "role": "AXButton", "frame": [0, 900, 50, 20]}]},
          {"id": "inside", "role": "AXGroup", "frame": [0, 100, 1000, 100], "children": [
            {"id": "ok", "role": "AXButton", "frame": [0, 100, 50, 20]}]}]},
        {"id": "outOfScroll", "role": "AXGroup", "frame": [0, 900, 1000, 100], "children": [
          {"id": "far", "role": "AXButton", "frame": [0, 900, 50, 20]}]}
    ]})");
    // The window itself lies outside the viewport and is still walked.
    EXPECT_THAT(w.foundKeys(), ElementsAre("back", "ok"));
    EXPECT_THAT(w.found("back").path, ElementsAre(0, 1));
    EXPECT_TRUE(w.found("back").chrome);
    EXPECT_THAT(w.found("ok").path, ElementsAre(1, 1, 0));
    EXPECT_FALSE(w.found("ok").chrome);
    // Only parts of a scroll area are pruned; "far" lies outside the viewport and is read.
    EXPECT_EQ(w.result.nodesRead, 10);
}

// Chrome is what a browser puts around its pages: the page's own toolbars and tab lists are
// not, nor is anything inside a page, wherever the page lies.
TEST(AXWalk, ChromeIsWhatLiesAroundThePage) {
    auto w = walkOf(R"({"id": "w", "role": "AXWindow", "frame": [0, 0, 1000, 800], "children": [
        {"role": "AXTabGroup", "frame": [0, 0, 1000, 30], "children": [
          {"id": "browserTab", "role": "AXRadioButton", "frame": [0, 0, 100, 30]}]},
        {"role": "AXToolbar", "frame": [0, 30, 1000, 40], "children": [
          {"id": "reload", "role": "AXButton", "frame": [0, 30, 30, 30]},
          {"role": "AXGroup", "frame": [40, 30, 300, 40], "children": [
            {"id": "address", "role": "AXTextField", "frame": [40, 30, 300, 30]}]}]},
        {"role": "AXScrollArea", "frame": [0, 70, 1000, 700], "children": [
          {"role": "AXWebArea", "frame": [0, 70, 1000, 700], "children": [
            {"role": "AXToolbar", "frame": [0, 70, 1000, 40], "children": [
              {"id": "bold", "role": "AXButton", "frame": [0, 70, 30, 30]},
              {"role": "AXGroup", "frame": [40, 70, 300, 40], "children": [
                {"id": "align", "role": "AXButton", "frame": [40, 70, 30, 30]}]}]},
            {"role": "AXTabGroup", "frame": [0, 120, 1000, 30], "children": [
              {"id": "primary", "role": "AXRadioButton", "frame": [0, 120, 100, 30]}]},
            {"id": "send", "role": "AXButton", "frame": [0, 200, 100, 30]}]}]},
        {"role": "AXToolbar", "frame": [0, 770, 1000, 30], "children": [
          {"role": "AXWebArea", "frame": [0, 770, 1000, 30], "children": [
            {"id": "inPanel", "role": "AXButton", "frame": [0, 770, 100, 30]}]},
          {"role": "AXTabGroup", "frame": [500, 770, 500, 30], "children": [
            {"id": "barTab", "role": "AXRadioButton", "frame": [500, 770, 50, 30]},
            {"role": "AXGroup", "frame": [550, 770, 450, 30], "children": [
              {"id": "inBarPage", "role": "AXButton", "frame": [550, 770, 50, 30]}]}]}]},
        {"role": "AXTabGroup", "frame": [0, 0, 1000, 800], "children": [
          {"id": "documentTab", "role": "AXRadioButton", "subrole": "AXTabButton",
           "frame": [0, 0, 100, 30]},
          {"role": "AXGroup", "frame": [0, 30, 1000, 770], "children": [
            {"role": "AXGroup", "frame": [0, 30, 1000, 770], "children": [
              {"id": "inNotebook", "role": "AXCell", "actions": ["AXPress"],
               "frame": [0, 30, 300, 30]}]}]}]}
    ]})");
    // A tab group's tabs are chrome; the page they show is as chrome as what holds the group.
    for (const auto* key :
         {"browserTab", "reload", "address", "barTab", "inBarPage", "documentTab"}) {
        EXPECT_TRUE(w.found(key).chrome) << key;
    }
    for (const auto* key : {"bold", "align", "primary", "send", "inPanel", "inNotebook"}) {
        EXPECT_FALSE(w.found(key).chrome) << key;
    }
}

TEST(AXWalk, ScrollRegionsAndWebReports) {
    auto w = walkOf(R"({"id": "w", "role": "AXWindow", "frame": [0, 0, 1000, 800], "children": [
        {"id": "scroll", "role": "AXScrollArea", "frame": [0, 0, 800, 600], "children": [
          {"id": "web", "role": "AXWebArea", "frame": [0, -200, 800, 3000], "children": [
            {"id": "a", "role": "AXLink", "frame": [10, 50, 100, 20]},
            {"id": "b", "role": "AXButton", "frame": [10, 550, 100, 20]},
            {"id": "beside", "role": "AXButton", "frame": [900, 700, 50, 20]}]},
          {"id": "web2", "role": "AXWebArea", "frame": [0, 0, 800, 100]}]},
        {"id": "own", "role": "AXWebArea", "frame": [800, 0, 200, 300], "children": [
          {"id": "c", "role": "AXButton", "frame": [800, 10, 50, 0]}]}
    ]})");
    const auto& regions = w.result.regions;
    ASSERT_EQ(regions.size(), 2u);
    EXPECT_EQ(regions[0].element.key(), "scroll");
    EXPECT_TRUE(regions[0].isScrollArea);
    // The tallest web content inside the scroll area is its web rectangle.
    EXPECT_EQ(regions[0].web, (Rect{0, -200, 800, 3000}));
    EXPECT_EQ(regions[0].seenTop, -200);
    EXPECT_EQ(regions[0].seenBottom, 2800);
    EXPECT_EQ(regions[1].element.key(), "own");
    EXPECT_FALSE(regions[1].isScrollArea);
    EXPECT_EQ(regions[1].web, (Rect{800, 0, 200, 300}));
    // A zero-height frame widens nothing.
    EXPECT_EQ(regions[1].seenTop, std::nullopt);
    // Web content inside a scroll area reports the scroll area's frame.
    EXPECT_THAT(w.result.webAreas,
                ElementsAre(Rect{800, 0, 200, 300}, Rect{0, 0, 800, 600}, Rect{0, 0, 800, 600}));
}

TEST(AXWalk, DialogContexts) {
    auto w = walkOf(R"({"id": "w", "role": "AXWindow", "frame": [0, 0, 1000, 800], "children": [
        {"id": "sheet", "role": "AXSheet", "title": "  Save   changes?\n", "frame": [0, 0, 500, 500],
         "children": [
          {"id": "save", "role": "AXButton", "frame": [0, 0, 50, 20]},
          {"id": "inner", "role": "AXGroup", "subrole": "AXApplicationDialog", "desc": "Inner",
           "actions": ["AXPress"], "frame": [0, 100, 50, 20],
           "children": [{"id": "nested", "role": "AXButton", "frame": [0, 100, 50, 20]}]}]},
        {"id": "alert", "role": "AXGroup", "subrole": "AXApplicationAlertDialog",
         "frame": [500, 0, 500, 500], "children": [{"id": "ok", "role": "AXButton", "frame": [500, 0, 50, 20]}]},
        {"id": "plain", "role": "AXButton", "frame": [0, 600, 50, 20]}
    ]})");
    EXPECT_EQ(w.found("save").dialog, "dialog:Save changes?");
    // A dialog's own candidate carries only its ancestors' context; nested dialogs keep the
    // outer one.
    EXPECT_EQ(w.found("inner").dialog, "dialog:Save changes?");
    EXPECT_EQ(w.found("nested").dialog, "dialog:Save changes?");
    EXPECT_EQ(w.found("ok").dialog, "dialog:(unnamed)");
    EXPECT_EQ(w.found("plain").dialog, std::nullopt);
}

TEST(AXWalk, HugeTablesNeverQueueMoreThanTheBudget) {
    auto w = walkOf(R"({"id": "w", "role": "AXWindow", "frame": [0, 0, 1000, 800], "children": [
        {"id": "table", "role": "AXTable", "frame": [0, 0, 1000, 800], "repeat": 50000000,
         "children": [{"role": "AXRow", "frame": [0, 0, 1000, 20],
                       "children": [{"role": "AXButton", "frame": [0, 0, 30, 20]}]}]}]})",
                    {6, 48, 500});
    EXPECT_EQ(w.result.nodesRead, 500);
    EXPECT_LE(w.fake->counters().largestChildLimit, 499u);
    EXPECT_LE(w.fake->counters().childrenHandedOut, 499u);
    // Nor is more read ahead than the walk queued, and a backend that reads further ahead is
    // told the budget it spends from.
    EXPECT_LE(w.fake->counters().prefetched, 499u);
    EXPECT_EQ(w.fake->counters().prefetchNodeBudget, 500u);
}

TEST(AXWalkText, CleanedCollapsesWhiteSpaceAndPrefixCountsWhatReadersSeeAsCharacters) {
    const std::string samples[][2] = {
        {"  two \t\n words  ", "two words"},
        {"\u00a0nbsp\u2028line\u0085next", "nbsp line next"},
        {" \n ", ""},
        {"a\xff b", "a\xef\xbf\xbd b"},
    };
    for (const auto& [in, out] : samples) {
        EXPECT_EQ(cleaned(&in), out) << in;
    }
    EXPECT_EQ(cleaned(nullptr), "");
    EXPECT_EQ(prefixCharacters("abcdef", 3), "abc");
    EXPECT_EQ(prefixCharacters("ab", 80), "ab");
    // "e" with a combining accent and a flag are one character each.
    EXPECT_EQ(prefixCharacters("e\u0301\U0001F1E9\U0001F1EAx", 2), "e\u0301\U0001F1E9\U0001F1EA");
}

}  // namespace
}  // namespace ovra
