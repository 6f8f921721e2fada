// The last look before a press: what the toolkit paints at a point of the control's visible part.

#include "app/accessibility/PaintedAtPress.h"

#include <gtest/gtest.h>

#include "app/accessibility/BoundedReader.h"
#include "core/Json.h"
#include "platform/accessibility/FakeAccessibilityBackend.h"

namespace ovra {
namespace {

using PaintedAtPress::Answer;

TEST(PaintedAtPress, PressesOnlyAControlPaintedAtSomePointOfItsVisiblePart) {
    // A page with the control "c" (its text inside it) at 20,100 200x60, then `over` laid on it.
    // The fake tells a node's parent only as written: a cover's is the page.
    const std::string button =
        R"({"id": "c", "role": "AXButton", "frame": [20, 100, 200, 60], "attrs": {"AXParent":
            {"ref": "g"}}, "children": [{"role": "AXStaticText", "frame": [40, 120, 160, 20],
            "attrs": {"AXParent": {"ref": "c"}}}]})";
    const std::string cover = R"(, {"role": "AXGroup", "attrs": {"AXParent": {"ref": "p"}},)";
    const Rect frame(20, 100, 200, 60);
    const struct {
        const char* what;
        std::string control;  // the control's node
        std::string over;     // nodes after it, laid over it
        std::string app;
        Rect region;
        std::vector<Rect> others;
        bool askedBefore;  // the wait for the page asked at the first point a settle time ago
        Answer answer;
        int hitTests;
    } cases[] = {
        {"a plain button, its text answering", button, "", "", frame, {}, false, Answer::seen, 1},
        // What lies over it is the reading's to judge: the action reaches the control itself.
        {"a cover laid over all of it since the reading",
         button,
         cover + R"("frame": [0, 0, 800, 400]})",
         "",
         frame,
         {},
         false,
         Answer::untold,
         1},
        {"the page's next drawing of it, in its place",
         button,
         R"(, {"role": "AXButton", "title": "Decline all", "frame": [20, 100, 200, 60],
            "attrs": {"AXParent": {"ref": "g"}}})",
         "",
         frame,
         {},
         false,
         Answer::untold,
         1},
        {"a chip's link with its remove button inside, asked beside the button",
         R"({"id": "c", "role": "AXLink", "frame": [20, 100, 200, 60]},
            {"role": "AXButton", "frame": [100, 110, 40, 40], "attrs": {"AXParent": {"ref": "g"}}})",
         "",
         "",
         frame,
         {Rect(100, 110, 40, 40)},
         false,
         Answer::seen,
         1},
        {"a clip that leaves nothing: its container answers at every point",
         R"({"id": "c", "role": "AXButton", "frame": [20, 100, 200, 60], "passThrough": true,
            "attrs": {"AXParent": {"ref": "g"}}})",
         "",
         "",
         frame,
         {},
         false,
         Answer::hidden,
         PaintedAtPress::kMostPoints},
        {"a switch whose own element lies hidden, drawn in the label that names it",
         R"({"id": "l", "role": "AXGroup", "title": "Wi-Fi", "frame": [20, 100, 200, 60],
            "attrs": {"AXParent": {"ref": "g"}}, "children": [{"id": "c", "role": "AXCheckBox",
            "title": "Wi-Fi", "frame": [20, 100, 200, 60], "passThrough": true,
            "attrs": {"AXParent": {"ref": "l"}}}]})",
         "",
         "",
         frame,
         {},
         false,
         Answer::seen,
         1},
        {"the same in a container of another name: a clip",
         R"({"id": "l", "role": "AXGroup", "title": "Network", "frame": [20, 100, 200, 60],
            "attrs": {"AXParent": {"ref": "g"}}, "children": [{"id": "c", "role": "AXCheckBox",
            "title": "Wi-Fi", "frame": [20, 100, 200, 60], "passThrough": true,
            "attrs": {"AXParent": {"ref": "l"}}}]})",
         "",
         "",
         frame,
         {},
         false,
         Answer::hidden,
         PaintedAtPress::kMostPoints},
        {"a toolkit that answers from its tree's bounds first: the clip once two answers agree",
         R"({"id": "c", "role": "AXButton", "frame": [20, 100, 200, 60], "passThrough": true,
            "attrs": {"AXParent": {"ref": "g"}}})",
         "",
         R"(, "hitTestSettle": 0.02)",
         frame,
         {},
         false,
         Answer::hidden,
         13},
        {"the same asked at that point a settle time before: one answer does",
         button,
         "",
         R"(, "hitTestSettle": 0.02)",
         frame,
         {},
         true,
         Answer::seen,
         1},
        {"a control scrolled out of the window: no point to ask",
         button,
         "",
         "",
         PaintedAtPress::visiblePart(frame, Rect(0, 300, 800, 300), Rect(0, 0, 800, 600)),
         {},
         false,
         Answer::untold,
         0},
        {"an answer whose way up breaks off before the window",
         button,
         R"(, {"role": "AXGroup", "frame": [0, 0, 800, 400]})",
         "",
         frame,
         {},
         false,
         Answer::untold,
         1},
        {"a toolkit whose hit test fails",
         button,
         "",
         R"(, "hangAfter": 0)",
         frame,
         {},
         false,
         Answer::untold,
         1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string fixture =
            R"({"screens": [[0, 0, 800, 600]], "app": {"pid": 9)" + c.app +
            R"(}, "window": {"id": "w", "role": "AXWindow", "frame": [0, 0, 800, 600],
                 "children": [{"id": "p", "role": "AXWebArea", "frame": [0, 0, 800, 600],
                 "attrs": {"AXParent": {"ref": "w"}}, "children": [{"id": "g", "role": "AXGroup",
                   "frame": [0, 0, 800, 600], "attrs": {"AXParent": {"ref": "p"}}, "children": [)" +
            c.control + "]}" + c.over + "]}]}}";
        auto parsed = json::parse(fixture);
        ASSERT_TRUE(parsed.ok());
        auto fake = ax::FakeAccessibilityBackend::fromJson(*parsed);
        ASSERT_TRUE(fake.ok()) << fake.error();
        ax::FakeAccessibilityBackend& backend = *fake.value();
        PaintedAtPress::Question q{backend.element("w"), backend.element("c"), c.region, c.others,
                                   std::nullopt};
        if (c.askedBefore) {
            const Point at = PaintedAtPress::firstPoint(c.region, c.others).value();
            (void)backend.elementAtPoint(q.window, at);
            q.asked = PaintedAtPress::Asked{at, backend.clock().now()};
            backend.clock().advance(0.03);
        }
        const int before = backend.counters().hitTests;
        BoundedReader reader(backend, backend.clock(), {},
                             {.deadlineSeconds = 1, .maxConsecutiveTimeouts = 1});
        EXPECT_EQ(PaintedAtPress::ask(reader, q), c.answer);
        EXPECT_EQ(backend.counters().hitTests - before, c.hitTests);
    }
}

}  // namespace
}  // namespace ovra
