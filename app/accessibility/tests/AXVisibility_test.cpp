// What a reading offers of controls a person cannot see: clipped away by a scroll area, a
// frame's view or what the toolkit says is clipped, laid under another control, or with a frame
// no screen could show; and texts of any length cut where they are read.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "app/accessibility/AXExtractor.h"
#include "app/accessibility/SeenControls.h"
#include "core/Text.h"
#include "platform/accessibility/FakeAccessibilityBackend.h"

namespace ovra {
namespace {

using ::testing::UnorderedElementsAreArray;

const AXExtractor kExtractor{
    .maxDepth = 8, .maxCandidates = 150, .maxRawDepth = 48, .nodeBudget = 4000};

std::unique_ptr<ax::FakeAccessibilityBackend> windowOf(const std::string& children,
                                                       const std::string& app = "") {
    const std::string fixture =
        R"({"screens": [[0, 0, 1280, 1024]], "app": {"pid": 9, "name": "Example")" + app +
        R"(}, "window": {"id": "w", "role": "AXWindow", "frame": [0, 0, 1280, 1024],
                       "children": )" +
        children + "}}";
    auto parsed = json::parse(fixture);
    EXPECT_TRUE(parsed.ok());
    auto fake = ax::FakeAccessibilityBackend::fromJson(*parsed);
    EXPECT_TRUE(fake.ok()) << (fake.ok() ? "" : fake.error());
    return fake.ok() ? std::move(fake).value() : nullptr;
}

Result<WindowSnapshot, AXExtractorError> readWindow(const std::string& children,
                                                    const std::string& app = "") {
    auto fake = windowOf(children, app);
    return kExtractor.snapshot({.pid = 9}, *fake, fake->clock());
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

constexpr const char* kBanner =
    R"([{"role": "AXGroup", "frame": [0, 0, 1280, 3000], "children": [
          {"role": "AXButton", "title": "Top of page", "frame": [20, 20, 110, 25]},
          {"role": "AXButton", "title": "Under banner", "frame": [20, 950, 110, 25]}]},
        {"role": "AXGroup", "frame": [0, 900, 1280, 124], "children": [
          {"role": "AXStaticText", "value": "We use cookies.", "frame": [20, 910, 300, 20]},
          {"role": "AXButton", "title": "Accept cookies", "frame": [20, 980, 130, 25]},
          {"role": "AXButton", "title": "Cookie settings", "frame": [160, 980, 130, 25]}]}])";

TEST(ReadingVisibility, OffersNothingACoverOrADialogInFrontHides) {
    const struct {
        const char* what;
        std::string children;
        std::string app;
        std::vector<std::string> offered;
    } cases[] = {
        {"a banner without a role over a page's button; the banner's own buttons stay",
         kBanner,
         "",
         {"Top of page", "Accept cookies", "Cookie settings"}},
        {"the same where the toolkit answers from its tree's bounds until asked again later",
         kBanner,
         R"(, "hitTestSettle": 0.02)",
         {"Top of page", "Accept cookies", "Cookie settings"}},
        {"a plain backdrop over the page, a box with a button over the backdrop",
         R"([{"role": "AXGroup", "frame": [0, 0, 1280, 1024], "children": [
               {"role": "AXButton", "title": "Behind one", "frame": [20, 20, 100, 25]},
               {"role": "AXButton", "title": "Behind two", "frame": [130, 20, 100, 25]}]},
             {"role": "AXGroup", "frame": [0, 0, 1280, 1024]},
             {"role": "AXGroup", "frame": [420, 160, 300, 120], "children": [
               {"role": "AXButton", "title": "Sign in", "frame": [440, 220, 80, 25]}]}])",
         "",
         {"Sign in"}},
        {"a cover the pointer passes through: its frame alone hides nothing, and the hit test "
         "finds the control (opacity is unknown: it may be a fade, a spotlight, a caption)",
         R"([{"role": "AXGroup", "frame": [0, 0, 1280, 200], "children": [
               {"role": "AXButton", "title": "Beside cover", "frame": [20, 20, 110, 25]},
               {"role": "AXButton", "title": "Under fade", "frame": [20, 70, 110, 25]},
               {"role": "AXGroup", "passThrough": true, "frame": [10, 60, 240, 56], "children": [
                 {"role": "AXStaticText", "value": "Members only", "frame": [20, 70, 100, 20]}]}]}])",
         "",
         {"Beside cover", "Under fade"}},
        {"a tour's spotlight over a dimmed page: the page's buttons the dimming lets through",
         R"([{"role": "AXGroup", "frame": [0, 0, 1280, 1024], "children": [
               {"role": "AXButton", "title": "Share", "frame": [20, 20, 80, 25]},
               {"role": "AXButton", "title": "Print", "frame": [120, 20, 80, 25]}]},
             {"role": "AXGroup", "passThrough": true, "frame": [0, 0, 1280, 1024]},
             {"role": "AXGroup", "frame": [420, 160, 300, 120], "children": [
               {"role": "AXButton", "title": "Next step", "frame": [440, 220, 80, 25]}]}])",
         "",
         {"Share", "Print", "Next step"}},
        {"a control its browser cannot tell is drawn, and that is not (a clip-path)",
         R"([{"role": "AXWebArea", "frame": [0, 0, 1280, 1024], "children": [
               {"role": "AXButton", "title": "Not clipped", "frame": [20, 20, 100, 25],
                "attrs": {"AXShowing": true}},
               {"role": "AXButton", "title": "Clipped away", "frame": [130, 20, 110, 25],
                "passThrough": true}]}])",
         "",
         {"Not clipped"}},
        {"carousel slides outside their carousel",
         R"([{"role": "AXGroup", "frame": [0, 0, 1280, 400], "children": [
               {"role": "AXGroup", "frame": [20, 100, 300, 60], "children": [
                 {"role": "AXGroup", "frame": [20, 100, 900, 50], "children": [
                   {"role": "AXButton", "title": "Slide one", "frame": [20, 100, 280, 50]},
                   {"role": "AXButton", "title": "Slide two", "frame": [320, 100, 280, 50]},
                   {"role": "AXButton", "title": "Slide three", "frame": [620, 100, 280, 50]}]}]}]}])",
         "",
         {"Slide one"}},
        {"a modal dialog shown: only its controls",
         R"([{"role": "AXButton", "title": "Delete", "frame": [20, 20, 80, 25]},
             {"role": "AXGroup", "subrole": "AXApplicationDialog", "title": "Delete the file?",
              "frame": [420, 120, 320, 150], "attrs": {"AXModal": true}, "children": [
               {"role": "AXButton", "title": "Cancel", "frame": [440, 200, 80, 25]},
               {"role": "AXButton", "title": "Confirm delete", "frame": [530, 200, 130, 25]}]}])",
         "",
         {"Cancel", "Confirm delete"}},
        {"a modal dialog closed in place, the pointer let through it: the page",
         R"([{"role": "AXGroup", "frame": [0, 0, 1280, 1024], "children": [
               {"role": "AXButton", "title": "Delete", "frame": [20, 20, 80, 25]}]},
             {"role": "AXGroup", "subrole": "AXApplicationDialog", "title": "Delete the file?",
              "frame": [420, 120, 320, 150], "attrs": {"AXModal": true}, "passThrough": true,
              "children": [
               {"role": "AXButton", "title": "Cancel", "frame": [440, 200, 80, 25],
                "passThrough": true}]}])",
         "",
         {"Delete"}},
        {"a modal dialog faded out in place, told by the toolkit's opacity: the page",
         R"([{"role": "AXGroup", "frame": [0, 0, 1280, 1024], "children": [
               {"role": "AXButton", "title": "Delete", "frame": [20, 20, 80, 25]}]},
             {"role": "AXGroup", "subrole": "AXApplicationDialog", "title": "Delete the file?",
              "frame": [420, 120, 320, 150], "attrs": {"AXModal": true, "AXOpaque": false},
              "children": [
               {"role": "AXButton", "title": "Cancel", "frame": [440, 200, 80, 25],
                "attrs": {"AXOpaque": true}}]}])",
         "",
         {"Delete"}},
        {"a modal dialog inside a backdrop faded out in place (the toolkit tells the backdrop's "
         "opacity alone): the page",
         R"([{"role": "AXGroup", "frame": [0, 0, 1280, 1024], "children": [
               {"role": "AXButton", "title": "Delete", "frame": [20, 20, 80, 25]}]},
             {"role": "AXGroup", "frame": [0, 0, 1280, 1024], "attrs": {"AXOpaque": false},
              "children": [
               {"role": "AXGroup", "subrole": "AXApplicationDialog", "title": "Delete the file?",
                "frame": [420, 120, 320, 150], "attrs": {"AXModal": true, "AXOpaque": true},
                "children": [
                 {"role": "AXButton", "title": "Keep", "frame": [440, 200, 80, 25],
                  "attrs": {"AXOpaque": true}}]}]}])",
         "",
         {"Delete"}},
        {"a modal dialog folded to no height: the page",
         R"([{"role": "AXGroup", "frame": [0, 0, 1280, 1024], "children": [
               {"role": "AXButton", "title": "Delete", "frame": [20, 20, 80, 25]}]},
             {"role": "AXGroup", "subrole": "AXApplicationDialog", "title": "Drawer",
              "frame": [420, 120, 320, 0], "attrs": {"AXModal": true}}])",
         "",
         {"Delete"}},
        {"an open modal dialog before a closed one: the open one",
         R"([{"role": "AXGroup", "frame": [0, 0, 1280, 1024], "children": [
               {"role": "AXButton", "title": "Delete", "frame": [20, 20, 80, 25]}]},
             {"role": "AXGroup", "subrole": "AXApplicationDialog", "title": "Open",
              "frame": [420, 120, 320, 150], "attrs": {"AXModal": true}, "children": [
               {"role": "AXButton", "title": "Keep", "frame": [440, 200, 80, 25]}]},
             {"role": "AXGroup", "subrole": "AXApplicationDialog", "title": "Closed",
              "frame": [20, 600, 320, 150], "attrs": {"AXModal": true}, "passThrough": true}])",
         "",
         {"Keep"}},
        {"a page's prompt over the page: only the prompt",
         R"([{"role": "AXScrollArea", "frame": [0, 100, 1280, 924], "children": [
               {"role": "AXWebArea", "frame": [0, 100, 1280, 924], "children": [
                 {"role": "AXButton", "title": "Delete", "frame": [20, 120, 80, 25]}]}]},
             {"role": "AXGroup", "subrole": "AXApplicationDialog", "frame": [450, 500, 380, 130],
              "children": [
               {"role": "AXButton", "title": "OK", "frame": [760, 580, 50, 30]},
               {"role": "AXButton", "title": "Cancel", "frame": [680, 580, 70, 30]}]}])",
         "",
         {"OK", "Cancel"}},
        {"a page's prompt its browser does not call a dialog yet, beside the page",
         R"([{"role": "AXGroup", "frame": [0, 100, 1280, 924], "children": [
               {"role": "AXGroup", "frame": [0, 100, 1280, 924], "children": [
                 {"role": "AXWebArea", "frame": [0, 100, 1280, 924], "children": [
                   {"role": "AXButton", "title": "Delete", "frame": [20, 120, 80, 25]}]}]},
               {"role": "AXGroup", "frame": [450, 500, 380, 130], "children": [
                 {"role": "AXButton", "title": "OK", "frame": [760, 580, 50, 30]},
                 {"role": "AXButton", "title": "Cancel", "frame": [680, 580, 70, 30]}]}]}])",
         "",
         {"OK", "Cancel"}},
        {"a bar of the browser's own above the page is no prompt: the page stays offered",
         R"([{"role": "AXGroup", "subrole": "AXApplicationAlertDialog", "frame": [0, 60, 1280, 40],
              "children": [{"role": "AXButton", "title": "Dismiss", "frame": [1200, 65, 60, 30]}]},
             {"role": "AXScrollArea", "frame": [0, 100, 1280, 924], "children": [
               {"role": "AXWebArea", "frame": [0, 100, 1280, 924], "children": [
                 {"role": "AXButton", "title": "Delete", "frame": [20, 120, 80, 25]}]}]}])",
         "",
         {"Delete"}},
        {"chips with remove buttons, a thumbnail with a play button, a card with a save button",
         R"([{"role": "AXGroup", "frame": [0, 0, 1280, 400], "children": [
               {"role": "AXGroup", "frame": [20, 20, 48, 28], "children": [
                 {"role": "AXLink", "title": "Red", "frame": [20, 20, 48, 28]},
                 {"role": "AXButton", "title": "Remove Red", "frame": [50, 26, 16, 16]}]},
               {"role": "AXGroup", "frame": [20, 80, 120, 68], "children": [
                 {"role": "AXLink", "title": "Video: Sunset", "frame": [20, 80, 120, 68]},
                 {"role": "AXButton", "title": "Play Sunset", "frame": [60, 94, 40, 40]}]},
               {"role": "AXGroup", "frame": [20, 170, 240, 112], "children": [
                 {"role": "AXLink", "title": "Lemon cake", "frame": [20, 170, 240, 112]},
                 {"role": "AXButton", "title": "Save recipe", "frame": [224, 178, 28, 28]}]},
               {"role": "AXTextArea", "title": "Long note", "frame": [20, 300, 400, 7000]}]}])",
         "",
         {"Red", "Remove Red", "Video: Sunset", "Play Sunset", "Lemon cake", "Save recipe",
          "Long note"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto read = readWindow(c.children, c.app);
        ASSERT_TRUE(read.ok());
        EXPECT_THAT(titles(read.value()), UnorderedElementsAreArray(c.offered));
    }
}

TEST(ReadingVisibility, OfAPageControlAndADialogControlAlikeInOnePlaceTheDialogsIsOffered) {
    // The page's "Delete" after the dialog's or before it, the hit test finding the dialog's.
    for (const bool pageFirst : {true, false}) {
        SCOPED_TRACE(pageFirst ? "the dialog over the page" : "the page laid over the dialog");
        const std::string page =
            R"({"role": "AXGroup", "frame": [0, 0, 1280, 1024], "children": [
                 {"role": "AXButton", "id": "page", "title": "Delete", "frame": [440, 200, 80, 25]}]})";
        const std::string dialog =
            R"({"role": "AXGroup", "subrole": "AXApplicationDialog", "title": "Delete the file?",
                "frame": [420, 120, 320, 150], "children": [
                 {"role": "AXButton", "id": "dialogs", "title": "Delete", "frame": [440, 200, 80, 25]},
                 {"role": "AXButton", "title": "Cancel", "frame": [530, 200, 80, 25]}]})";
        // The fake finds the later of two siblings on top: the dialog lies over the page.
        auto fake = windowOf("[" + page + "," + dialog + "]");
        if (!pageFirst) {
            fake = windowOf("[" + dialog + "," + page + "]");
        }
        auto read = kExtractor.snapshot({.pid = 9}, *fake, fake->clock());
        ASSERT_TRUE(read.ok());
        // The page laid over the dialog hides the dialog's Cancel as well.
        const std::vector<std::string> offered = pageFirst
                                                     ? std::vector<std::string>{"Delete", "Cancel"}
                                                     : std::vector<std::string>{"Delete"};
        EXPECT_THAT(titles(read.value()), UnorderedElementsAreArray(offered));
        for (const auto& c : read.value().candidates) {
            if (c.title == "Delete") {
                EXPECT_EQ(read.value().elements.at(c.id),
                          fake->element(pageFirst ? "dialogs" : "page"));
            }
        }
    }
}

// Rows of cells, each with a button and, laid over it in the same cell, a box with a control of
// its own (`cover`), or one box over the whole page after it.
std::string cells(int count, bool eachCovered) {
    std::string rows;
    for (int i = 0; i < count; ++i) {
        const std::string y = std::to_string(10 + 20 * i);
        rows += std::string(i ? "," : "") + R"({"role": "AXGroup", "frame": [0, )" + y +
                R"(, 600, 20], "children": [{"role": "AXButton", "title": "B)" + std::to_string(i) +
                R"(", "frame": [10, )" + y + R"(, 100, 18]})";
        if (eachCovered) {
            rows += R"(, {"role": "AXGroup", "frame": [0, )" + y +
                    R"(, 600, 20], "children": [{"role": "AXButton", "title": "C)" +
                    std::to_string(i) + R"(", "frame": [300, )" + y + R"(, 100, 18]}]})";
        }
        rows += "]}";
    }
    std::string page =
        R"([{"role": "AXGroup", "frame": [0, 0, 1280, 1024], "children": [)" + rows + "]}";
    if (!eachCovered) {
        page += R"(, {"role": "AXGroup", "frame": [0, 0, 1280, 1024], "children": [
                    {"role": "AXButton", "title": "Close", "frame": [1200, 10, 60, 25]}]})";
    }
    return page + "]";
}

TEST(ReadingVisibility, AsksFewQuestionsAndNoMoreThanItsBudget) {
    // One cover over forty buttons of one part of the page. A toolkit that answers at once is
    // asked them all together, in one round; one that answers a moment later, one point at a
    // time, is asked once: that answer tells for them all.
    for (const bool settles : {false, true}) {
        SCOPED_TRACE(settles ? "answers settle" : "answers at once");
        auto under = windowOf(cells(40, false), settles ? R"(, "hitTestSettle": 0.02)" : "");
        auto one = kExtractor.snapshot({.pid = 9}, *under, under->clock());
        ASSERT_TRUE(one.ok());
        EXPECT_THAT(titles(one.value()), UnorderedElementsAreArray({"Close"}));
        if (settles) {
            // Two points (the cover's own Close lies over the page too), three calls each.
            EXPECT_LE(under->counters().hitTests, 6);
        } else {
            EXPECT_EQ(under->counters().hitTestRounds, 1);
        }
    }

    // Forty covers, each over a button of its own: each is asked until the budget is spent;
    // what is left unasked is offered, as it was read (only the toolkit says a control is
    // covered).
    auto each = windowOf(cells(40, true));
    auto many = kExtractor.snapshot({.pid = 9}, *each, each->clock());
    ASSERT_TRUE(many.ok());
    EXPECT_EQ(each->counters().hitTests, SeenControls::kMostAsked);
    EXPECT_EQ(many.value().untoldOverlaps, 0);
    int unaskedOffered = 0;
    for (const auto& title : titles(many.value())) {
        unaskedOffered += title.front() == 'B' ? 1 : 0;
    }
    EXPECT_EQ(unaskedOffered, 40 - SeenControls::kMostAsked);
    EXPECT_EQ(many.value().candidates.size(), 40U + 40U - SeenControls::kMostAsked);

    // Forty controls whose browser cannot tell yet whether it drew them, and nothing over them:
    // those left unasked are offered as their states were taken before.
    std::string buttons;
    for (int i = 0; i < 40; ++i) {
        const std::string y = std::to_string(10 + 20 * i);
        buttons += std::string(i ? "," : "") + R"({"role": "AXButton", "title": "U)" +
                   std::to_string(i) + R"(", "frame": [10, )" + y + R"(, 100, 18]})";
    }
    auto lagging = windowOf(R"([{"role": "AXWebArea", "frame": [0, 0, 1280, 1024], "children": [)" +
                            buttons + "]}]");
    auto unsure = kExtractor.snapshot({.pid = 9}, *lagging, lagging->clock());
    ASSERT_TRUE(unsure.ok());
    EXPECT_EQ(lagging->counters().hitTests, SeenControls::kMostAsked);
    EXPECT_EQ(unsure.value().candidates.size(), 40U);
    EXPECT_EQ(unsure.value().untoldOverlaps, 0);
}

TEST(ReadingVisibility, AsksNothingWhereWhatLiesOverAControlIsDrawnUnderOrNowhere) {
    // A page's search field in its own box: two boxes before its content fill the box, then
    // the field; and a page-sized box before the page's buttons.
    const auto field = [](const std::string& first, const std::string& second) {
        return R"([{"role": "AXWebArea", "frame": [0, 0, 1280, 1024], "children": [
                     {"role": "AXGroup", "frame": [300, 20, 700, 36], "children": [
                       {"role": "AXGroup", "frame": [300, 20, 700, 36])" +
               first + R"(},
                       {"role": "AXGroup", "frame": [300, 20, 700, 36])" +
               second + R"(},
                       {"role": "AXGroup", "frame": [306, 20, 690, 36], "children": [
                         {"role": "AXTextField", "title": "Search settings",
                          "frame": [330, 26, 650, 24], "attrs": {"AXShowing": true}}]}]}]}])";
    };
    const struct {
        const char* what;
        std::string children;
        bool asked;
    } cases[] = {
        {"its background and its state layer, named so by the page's id and class",
         field(R"(, "attrs": {"AXDOMIdentifier": "background"})",
               R"(, "attrs": {"AXDOMClassList": "field state-background"})"),
         false},
        {"boxes the page names otherwise (a loading cover)",
         field(R"(, "attrs": {"AXDOMClassList": "loading-cover bg-white"})", ""), true},
        {"a background that holds something, which may be drawn over what follows",
         field(R"(, "attrs": {"AXDOMIdentifier": "background"}, "children": [
                   {"role": "AXImage", "frame": [300, 20, 700, 36]}])",
               R"(, "attrs": {"AXDOMIdentifier": "background"})"),
         true},
        {"a background after the field's content, drawn over it",
         R"([{"role": "AXWebArea", "frame": [0, 0, 1280, 1024], "children": [
               {"role": "AXGroup", "frame": [300, 20, 700, 36], "children": [
                 {"role": "AXGroup", "frame": [306, 20, 690, 36], "children": [
                   {"role": "AXTextField", "title": "Search settings",
                    "frame": [330, 26, 650, 24], "attrs": {"AXShowing": true}}]},
                 {"role": "AXGroup", "frame": [300, 20, 700, 36], "passThrough": true,
                  "attrs": {"AXDOMIdentifier": "background"}}]}]}])",
         true},
        {"a page-sized box its browser draws nowhere, before the page's buttons",
         R"([{"role": "AXWebArea", "frame": [0, 0, 1280, 1024], "children": [
               {"role": "AXGroup", "frame": [0, 0, 1280, 1024], "attrs": {"AXShowing": false}},
               {"role": "AXGroup", "frame": [20, 20, 700, 100], "children": [
                 {"role": "AXTextField", "title": "Search settings",
                  "frame": [30, 30, 300, 24], "attrs": {"AXShowing": true}}]}]}])",
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto fake = windowOf(c.children, R"(, "hitTestSettle": 0.02)");
        auto read = kExtractor.snapshot({.pid = 9}, *fake, fake->clock());
        ASSERT_TRUE(read.ok());
        EXPECT_THAT(titles(read.value()), UnorderedElementsAreArray({"Search settings"}));
        EXPECT_EQ(fake->counters().hitTests > 0, c.asked);
    }
}

TEST(ReadingVisibility, KeepsAnswersWhileTheAppTellsOfNoChange) {
    // The banner over a page's button, read again and again by one reader.
    const std::string settle = R"(, "hitTestSettle": 0.02)";
    HitMemory memory;
    AXExtractor extractor = kExtractor;
    extractor.hitMemory = &memory;
    const std::vector<std::string> offered = {"Top of page", "Accept cookies", "Cookie settings"};
    auto fake = windowOf(kBanner, settle);
    fake->hearChanges(true);
    const auto readAndCount = [&] {
        fake->clock().advance(1);
        const int before = fake->counters().hitTests;
        auto read = extractor.snapshot({.pid = 9}, *fake, fake->clock());
        EXPECT_TRUE(read.ok());
        if (read.ok()) {
            EXPECT_THAT(titles(read.value()), UnorderedElementsAreArray(offered));
        }
        return fake->counters().hitTests - before;
    };
    EXPECT_GT(readAndCount(), 0);
    // Unchanged, and its focus moved (the overlay takes it and gives it back): nothing asked.
    fake->tell(ax::Change::Kind::focus, "w");
    EXPECT_EQ(readAndCount(), 0);
    // A change told: asked again.
    fake->tell(ax::Change::Kind::content, "w");
    EXPECT_GT(readAndCount(), 0);
    EXPECT_EQ(readAndCount(), 0);
    // An app whose changes are not heard is asked every time.
    fake->hearChanges(false);
    EXPECT_GT(readAndCount(), 0);
    EXPECT_GT(readAndCount(), 0);
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
