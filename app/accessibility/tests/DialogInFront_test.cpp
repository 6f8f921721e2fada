// A page's prompt in front of its page: where the reading and the press find one, and the press
// of a control behind it.

#include "app/accessibility/DialogInFront.h"

#include <gtest/gtest.h>

#include "app/accessibility/AXExtractor.h"
#include "app/accessibility/ElementActions.h"
#include "platform/accessibility/FakeAccessibilityBackend.h"
#include "platform/input/FakeInputSynthesizer.h"

namespace ovra {
namespace {

using DialogInFront::Part;

TEST(DialogInFront, AWindowShowsAPromptInItsPagesPlaceOnlyAsItsWholeContent) {
    const Rect box(450, 500, 380, 130);
    for (const bool whole : {true, false}) {
        SCOPED_TRACE(whole ? "the dialog is the window's content" : "a bar deep in the window");
        const std::vector<int> path = whole ? std::vector<int>{0} : std::vector<int>{1, 0, 3};
        const std::vector<Part> parts = {
            {.path = {}, .role = "AXWindow", .frame = Rect(0, 0, 1280, 1000)},
            {.path = path, .role = "AXGroup", .frame = box, .dialog = true}};
        EXPECT_EQ(DialogInFront::promptAmong(parts, {}).has_value(), whole);
    }
}

TEST(DialogInFront, APromptLiesOverThePageOutsideIt) {
    const Rect page(0, 100, 1280, 900);
    const Rect box(450, 500, 380, 130);
    // The window, its pane, the page's container and the page with a button; then the part
    // examined, whose own button is the last part.
    const auto window = [&](Part examined, std::vector<int> buttonPath) {
        return std::vector<Part>{
            {.path = {}, .role = "AXWindow", .frame = Rect(0, 0, 1280, 1000)},
            {.path = {0}, .role = "AXGroup", .frame = page},
            {.path = {0, 0}, .role = "AXGroup", .frame = page},
            // The whole page, scrolled: its view above shows what is on screen.
            {.path = {0, 0, 0}, .role = "AXWebArea", .frame = Rect(0, -500, 1280, 4000)},
            {.path = {0, 0, 0, 0},
             .role = "AXButton",
             .frame = Rect(20, 120, 80, 25),
             .inWeb = true,
             .control = true},
            examined,
            {.path = std::move(buttonPath),
             .role = "AXButton",
             .frame = Rect(760, 580, 50, 30),
             .control = true}};
    };
    const struct {
        const char* what;
        Part part;
        std::vector<int> buttonPath;
        bool prompt;
    } cases[] = {
        {"a dialog over the page",
         {.path = {1}, .role = "AXGroup", .frame = box, .dialog = true},
         {1, 0},
         true},
        {"a part beside the page, over it, with a button: a dialog not told yet",
         {.path = {0, 1}, .role = "AXGroup", .frame = box},
         {0, 1, 0},
         true},
        {"the same holding no control",
         {.path = {0, 1}, .role = "AXGroup", .frame = box},
         {2, 0},
         false},
        {"a panel of the browser's own over the page's edge",
         {.path = {0, 1}, .role = "AXGroup", .frame = Rect(0, 960, 300, 40)},
         {0, 1, 0},
         false},
        {"a dialog of the browser above the page",
         {.path = {1}, .role = "AXGroup", .frame = Rect(0, 60, 1280, 40), .dialog = true},
         {1, 0},
         false},
        {"the page's own dialog",
         {.path = {0, 0, 0, 1}, .role = "AXGroup", .frame = box, .dialog = true, .inWeb = true},
         {0, 0, 0, 1, 0},
         false},
        {"a part over the page far from it in the window",
         {.path = {1}, .role = "AXGroup", .frame = box},
         {1, 0},
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto found = DialogInFront::promptAmong(window(c.part, c.buttonPath), {});
        EXPECT_EQ(found.has_value(), c.prompt);
        if (found) {
            EXPECT_EQ(*found, 5U);
        }
    }
}

// A browser window showing a page and, over it, the page's confirm().
const char* kPrompted = R"({
  "app": {"pid": 9},
  "window": {"id": "win", "role": "AXWindow", "frame": [0, 0, 1280, 1000], "children": [
    {"id": "page", "role": "AXWebArea", "frame": [0, 100, 1280, 900],
     "attrs": {"AXParent": {"ref": "win"}}, "children": [
      {"id": "delete", "role": "AXButton", "title": "Delete", "frame": [20, 120, 80, 25],
       "actions": ["AXPress"], "attrs": {"AXParent": {"ref": "page"}}}]},
    {"id": "prompt", "role": "AXGroup", "subrole": "AXApplicationDialog",
     "frame": [450, 500, 380, 130], "attrs": {"AXParent": {"ref": "win"}}, "children": [
      {"id": "ok", "role": "AXButton", "title": "OK", "frame": [760, 580, 50, 30],
       "actions": ["AXPress"], "attrs": {"AXParent": {"ref": "prompt"}}}]}]}
})";

TEST(DialogInFront, NothingBehindAPromptIsPressed) {
    auto fake = ax::FakeAccessibilityBackend::fromJson(Json::parse(kPrompted)).value();
    const ax::Element window = fake->element("win");
    EXPECT_TRUE(DialogInFront::promptHides(*fake, window, fake->element("delete")));
    EXPECT_FALSE(DialogInFront::promptHides(*fake, window, fake->element("ok")));

    // Read before the prompt came, pressed while it is up.
    input::FakeInputSynthesizer input;
    UICandidate chosen;
    chosen.id = "c1";
    chosen.role = "AXButton";
    chosen.title = "Delete";
    chosen.frame = Rect(20, 120, 80, 25);
    PressRequest request{chosen,
                         fake->element("delete"),
                         {9, {}},
                         Rect(0, 0, 1280, 1000),
                         Rect(0, 100, 1280, 900),
                         1,
                         window,
                         {}};
    const PressOutcome outcome = AXActions(*fake, input, {.clock = &fake->clock()}).press(request);
    EXPECT_EQ(outcome.failure, PressFailure::changed);
    EXPECT_EQ(outcome.told, "a prompt of the page is in front of it");
    for (const auto& line : fake->log()) {
        EXPECT_EQ(line.find("perform delete AXPress"), std::string::npos) << line;
    }

    // Shown in the page's place, it hides the page too.
    ASSERT_TRUE(
        fake->change("page", Json{{"id", "page"}, {"role", "AXWebArea"}, {"hidden", true}}));
    EXPECT_TRUE(DialogInFront::promptHides(*fake, window, fake->element("delete")));

    // Once the prompt is gone, the page's button is pressed as ever.
    ASSERT_TRUE(fake->change("page", Json::parse(kPrompted)["window"]["children"][0]));
    ASSERT_TRUE(fake->change("prompt", nullptr));
    EXPECT_FALSE(DialogInFront::promptHides(*fake, window, fake->element("delete")));
}

}  // namespace
}  // namespace ovra
