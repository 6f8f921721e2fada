// The press of a control behind a page's prompt (where a prompt lies: core/tests/PagePrompt_test).

#include "app/accessibility/DialogInFront.h"

#include <gtest/gtest.h>

#include "app/accessibility/AXExtractor.h"
#include "app/accessibility/ElementActions.h"
#include "platform/accessibility/FakeAccessibilityBackend.h"
#include "platform/input/FakeInputSynthesizer.h"

namespace ovra {
namespace {

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
