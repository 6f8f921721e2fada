// Where a browser shows a page's own prompt: over the page, outside it.

#include "core/PagePrompt.h"

#include <gtest/gtest.h>

namespace ovra {
namespace {

using PagePrompt::Part;

TEST(PagePrompt, AWindowShowsAPromptInItsPagesPlaceOnlyAsItsWholeContent) {
    const Rect box(450, 500, 380, 130);
    for (const bool whole : {true, false}) {
        SCOPED_TRACE(whole ? "the dialog is the window's content" : "a bar deep in the window");
        const std::vector<int> path = whole ? std::vector<int>{0} : std::vector<int>{1, 0, 3};
        const std::vector<Part> parts = {
            {.path = {}, .role = "AXWindow", .frame = Rect(0, 0, 1280, 1000)},
            {.path = path, .role = "AXGroup", .frame = box, .dialog = true}};
        EXPECT_EQ(PagePrompt::promptAmong(parts, {}).has_value(), whole);
    }
}

TEST(PagePrompt, APromptLiesOverThePageOutsideIt) {
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
        const auto found = PagePrompt::promptAmong(window(c.part, c.buttonPath), {});
        EXPECT_EQ(found.has_value(), c.prompt);
        if (found) {
            EXPECT_EQ(*found, 5U);
        }
    }
}

}  // namespace
}  // namespace ovra
