// The press sequence over the fake accessibility backend and recorded input.

#include "app/accessibility/ElementActions.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/accessibility/AXExtractor.h"
#include "platform/accessibility/FakeAccessibilityBackend.h"
#include "platform/input/FakeInputSynthesizer.h"

namespace ovra {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

constexpr input::WindowId kWindow = 77;

// A browser-like window: a native text field and buttons beside a web page.
const char* kWindowFixture = R"({
  "app": {"pid": 9},
  "window": {"id": "win", "role": "AXWindow", "frame": [0, 0, 1200, 900], "actions": ["AXRaise"],
    "children": [
      {"id": "field", "role": "AXTextField", "frame": [10, 10, 300, 30], "settable": ["AXFocused"],
       "attrs": {"AXParent": {"ref": "win"}}},
      {"id": "lockedField", "role": "AXTextField", "frame": [10, 50, 300, 30], "actions": ["AXPress"],
       "attrs": {"AXParent": {"ref": "win"}}},
      {"id": "ok", "role": "AXButton", "frame": [400, 10, 80, 30], "actions": ["AXPress"],
       "attrs": {"AXParent": {"ref": "win"}}},
      {"id": "confirmOnly", "role": "AXButton", "frame": [500, 10, 80, 30], "actions": ["AXConfirm"],
       "attrs": {"AXParent": {"ref": "win"}}},
      {"id": "inert", "role": "AXButton", "frame": [600, 10, 80, 30],
       "attrs": {"AXParent": {"ref": "win"}}},
      {"id": "orphan", "role": "AXButton", "frame": [700, 10, 80, 30], "actions": ["AXPress"],
       "faults": {"AXParent": "appGone"}},
      {"id": "page", "role": "AXWebArea", "frame": [0, 100, 1200, 700], "attrs": {"AXParent": {"ref": "win"}},
       "children": [
        {"id": "group", "role": "AXGroup", "frame": [0, 700, 1200, 200], "attrs": {"AXParent": {"ref": "page"}},
         "children": [
          {"id": "reject", "role": "AXButton", "title": "Reject all", "frame": [180, 760, 140, 44],
           "actions": ["AXPress"], "attrs": {"AXParent": {"ref": "group"}}},
          {"id": "below", "role": "AXButton", "frame": [180, 820, 140, 44],
           "actions": ["AXPress"], "attrs": {"AXParent": {"ref": "group"}}},
          {"id": "search", "role": "AXTextField", "frame": [20, 720, 200, 30],
           "settable": ["AXFocused"], "attrs": {"AXParent": {"ref": "group"}}},
          {"id": "lockedSearch", "role": "AXTextField", "frame": [400, 720, 200, 30],
           "actions": ["AXPress"], "attrs": {"AXParent": {"ref": "group"}}}]}]}]}
})";

class ElementActionsTest : public ::testing::Test {
  protected:
    ElementActionsTest() {
        auto made = ax::FakeAccessibilityBackend::fromJson(Json::parse(kWindowFixture));
        EXPECT_TRUE(made) << made.error();
        backend_ = std::move(made).value();
        input_.setPointer(Point{5, 5});
    }

    AXActions actions() {
        return AXActions(*backend_, input_,
                         {.magnifierOn = [] { return false; },
                          .ignoreOwnPointerInput =
                              [this] { ignoredBeforeInput_.push_back(input_.log().size()); },
                          .clock = &backend_->clock()});
    }

    PressRequest request(std::string_view id, std::string role, Rect frame) {
        PressRequest r{{},
                       backend_->element(id),
                       {9, {}},
                       Rect(0, 0, 1200, 900),
                       Rect(0, 100, 1200, 700),
                       kWindow,
                       backend_->element("win"),
                       {}};
        r.candidate.role = std::move(role);
        r.candidate.frame = frame;
        if (auto title = backend_->attribute(r.element, "AXTitle")) {
            r.candidate.title = *ax::asString(*title);
        }
        return r;
    }

    std::vector<std::string> performed() const {
        std::vector<std::string> out;
        for (const auto& line : backend_->log()) {
            if (line.rfind("perform", 0) == 0 || line.rfind("set", 0) == 0) {
                out.push_back(line);
            }
        }
        return out;
    }

    std::unique_ptr<ax::FakeAccessibilityBackend> backend_;
    input::FakeInputSynthesizer input_;
    std::vector<std::size_t> ignoredBeforeInput_;  // input log length at each hook call
};

TEST_F(ElementActionsTest, TextFieldsAreFocusedAfterTheWindowIsRaisedAndNeverPressed) {
    auto a = actions();
    EXPECT_EQ(a.press(request("field", "AXTextField", Rect(10, 10, 300, 30))).route,
              PressRoute::focused);
    EXPECT_THAT(performed(), ElementsAre("perform win AXRaise", "set field AXFocused true"));
    // A text field in web content is focused too, never clicked.
    EXPECT_EQ(a.press(request("search", "AXTextField", Rect(20, 720, 200, 30))).route,
              PressRoute::focused);
    EXPECT_THAT(input_.log(), ElementsAre("activate 77", "activate 77"));

    // Pressing a native text entry that refuses focus would submit the dialog's default button.
    EXPECT_EQ(a.press(request("lockedField", "AXTextField", Rect(10, 50, 300, 30))).failure,
              PressFailure::refused);
    EXPECT_EQ(performed().back(), "set lockedField AXFocused true failed: unsupported attribute");
    EXPECT_THAT(performed(), ::testing::Not(::testing::Contains("perform lockedField AXPress")));
    // In web content a click focuses it.
    input_.clearLog();
    EXPECT_EQ(a.press(request("lockedSearch", "AXTextField", Rect(400, 720, 200, 30))).route,
              PressRoute::clicked);
    EXPECT_THAT(input_.log(), ElementsAre("activate 77", "click 500,735", "move 5,5"));
    EXPECT_EQ(performed().back(), "set lockedSearch AXFocused true failed: unsupported attribute");
}

TEST_F(ElementActionsTest, WebControlIsClickedInItsVisiblePartAndThePointerPutBack) {
    auto a = actions();
    const auto click = [&](Rect snapshotFrame, Rect visible) {
        input_.clearLog();
        auto r = request("reject", "AXButton", snapshotFrame);
        r.visible = visible;
        EXPECT_EQ(a.press(r).route, PressRoute::clicked);
        return input_.log();
    };
    // The visible area reaches below the control, so all of it shows: its middle is clicked.
    EXPECT_THAT(click(Rect(180, 760, 140, 44), Rect(0, 100, 1200, 800)),
                ElementsAre("activate 77", "click 250,782", "move 5,5"));
    EXPECT_THAT(performed(), ElementsAre("perform win AXRaise"));
    // Our own windows stopped taking pointer input before anything was clicked.
    EXPECT_THAT(ignoredBeforeInput_, ElementsAre(1u));
    // Only the top 20 points of the 44-point button show above the viewport's bottom at 780.
    EXPECT_THAT(click(Rect(180, 760, 140, 44), Rect(0, 100, 1200, 680)),
                ElementsAre("activate 77", "click 250,770", "move 5,5"));
}

TEST_F(ElementActionsTest, WebControlFallsBackToThePressActionWhenTheClickCannotLand) {
    struct Case {
        const char* name;
        std::string id;
        Rect visible;
        std::optional<input::WindowId> window;
        std::vector<input::FakeInputSynthesizer::Window> windows;
    };
    const Case cases[] = {
        {"control scrolled out of view", "below", Rect(0, 100, 1200, 700), kWindow, {}},
        {"another window covers the point",
         "reject",
         Rect(0, 100, 1200, 800),
         kWindow,
         {{5, Rect(200, 700, 300, 200)}, {kWindow, Rect(0, 0, 1200, 900)}}},
        {"the point is off the target window",
         "reject",
         Rect(0, 100, 1200, 800),
         kWindow,
         {{kWindow, Rect(0, 0, 1200, 600)}}},
        {"target window unknown", "reject", Rect(0, 100, 1200, 800), std::nullopt, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        input_.clearLog();
        input_.setWindows(c.windows);
        auto a = actions();
        auto r = request(c.id, "AXButton", Rect(180, 760, 140, 44));
        r.visible = c.visible;
        r.window = c.window;
        EXPECT_EQ(a.press(r).route, PressRoute::pressed);
        for (const auto& line : input_.log()) {
            EXPECT_THAT(line, ::testing::Not(HasSubstr("click")));
        }
        EXPECT_EQ(performed().back(), "perform " + c.id + " AXPress");
    }
}

TEST_F(ElementActionsTest, NativeControlsArePressedThenConfirmed) {
    auto a = actions();
    EXPECT_EQ(a.press(request("ok", "AXButton", Rect(400, 10, 80, 30))).route, PressRoute::pressed);
    EXPECT_EQ(a.press(request("confirmOnly", "AXButton", Rect(500, 10, 80, 30))).route,
              PressRoute::confirmed);
    EXPECT_THAT(performed(), ::testing::IsSupersetOf({"perform confirmOnly AXPress failed: "
                                                      "unsupported attribute",
                                                      "perform confirmOnly AXConfirm"}));

    const auto none = a.press(request("inert", "AXButton", Rect(600, 10, 80, 30)));
    EXPECT_EQ(none.failure, PressFailure::refused);
    EXPECT_THAT(none.failedRoutes, ElementsAre("press", "confirm"));
    EXPECT_EQ(a.press(PressRequest{}).failure, PressFailure::changed);
    // No synthetic click for a control outside web content.
    for (const auto& line : input_.log()) {
        EXPECT_EQ(line, "activate 77");
    }
}

// The page changed under the overlay: the chosen control is acted on while it is there, a new
// one of its role and label where it stood takes its place, else nothing is pressed. A click
// always aims at the present frame.
TEST_F(ElementActionsTest, APressReachesTheChosenControlOrItsSuccessorAndNothingElse) {
    const auto button = [](const char* id, const char* title, int y) {
        return Json{{"id", id},
                    {"role", "AXButton"},
                    {"title", title},
                    {"frame", {100, y, 140, 40}},
                    {"attrs", {{"AXParent", {{"ref", "page"}}}}}};
    };
    // How the chosen button is now (null: gone); whether it changes only while the click waits.
    const std::tuple<const char*, Json, bool, const char*> cases[] = {
        {"alive", button("chosen", "Reject all", 200), false, "clicked 170,220"},
        {"alive, moved a little", button("chosen", "Reject all", 230), false, "clicked 170,250"},
        {"re-rendered", button("new", "Reject all", 210), false, "clicked 170,230 anew"},
        {"re-rendered too far away", button("new", "Reject all", 250), false, "changed"},
        {"replaced by another control", button("new", "Accept all", 200), false, "changed"},
        {"relabelled", button("chosen", "Accept all", 200), false, "changed"},
        {"gone", Json(), false, "changed"},
        {"moved out of the window", button("chosen", "Reject all", 1000), false, "changed"},
        {"re-rendered while the click waited", button("new", "Reject all", 200), true, "changed"},
        {"moved while the click waited", button("chosen", "Reject all", 230), true,
         "clicked 170,250"},
    };
    for (const auto& [name, now, late, expected] : cases) {
        SCOPED_TRACE(name);
        const Json page = {{"id", "page"},
                           {"role", "AXWebArea"},
                           {"frame", {0, 100, 1200, 700}},
                           {"children", {button("chosen", "Reject all", 200)}}};
        auto fake =
            ax::FakeAccessibilityBackend::fromJson(
                {{"app", {{"pid", 9}}},
                 {"window",
                  {{"role", "AXWindow"}, {"frame", {0, 0, 1200, 900}}, {"children", {page}}}}})
                .value();
        const auto read = [&]() -> std::optional<WindowSnapshot> {
            auto s = AXExtractor{6, 150, 48, 4000}.snapshot({9, {}}, *fake, fake->clock());
            return s ? std::optional(std::move(s).value()) : std::nullopt;
        };
        const WindowSnapshot before = read().value();
        const UICandidate chosen = before.candidates.at(0);
        auto change = [&, &now = now, done = false]() mutable {
            if (!std::exchange(done, true)) {
                ASSERT_TRUE(fake->change("chosen", now));
            }
        };
        if (late) {
            fake->clock().whileAsleep = change;
        } else {
            change();
        }
        input_.clearLog();
        const PressOutcome outcome =
            AXActions(*fake, input_, {.clock = &fake->clock()})
                .press({chosen, before.elements.at(chosen.id), before.app, before.windowFrame,
                        before.viewport, kWindow, before.windowElement, read});
        std::string seen(outcome.route ? rawValue(*outcome.route)
                                       : rawValue(outcome.failure.value()));
        for (const std::string& line : input_.log()) {
            seen += line.starts_with("click") ? line.substr(5) : "";
        }
        EXPECT_EQ(seen + (outcome.replaced ? " anew" : ""), expected);
    }
}

TEST_F(ElementActionsTest, RaiseWorksWithEitherWayAndReportsWhenNeitherWorks) {
    auto a = actions();
    EXPECT_TRUE(a.raise(kWindow, {}));
    EXPECT_TRUE(a.raise(std::nullopt, backend_->element("win")));
    EXPECT_FALSE(a.raise(std::nullopt, backend_->element("ok")));  // no AXRaise there
    input_.setFailing(true);
    EXPECT_FALSE(a.raise(kWindow, {}));
}

TEST_F(ElementActionsTest, ClickCenterNeedsMoreThanOnePointEachWay) {
    auto a = actions();
    for (const Rect r :
         {Rect(10, 10, 1, 50), Rect(10, 10, 50, 1), Rect::null(), Rect(10, 10, std::nan(""), 50)}) {
        EXPECT_FALSE(a.clickCenter(r));
    }
    EXPECT_THAT(input_.log(), IsEmpty());
    EXPECT_TRUE(a.clickCenter(Rect(10, 10, 2, 2)));
    EXPECT_THAT(input_.log(), ElementsAre("click 11,11", "move 5,5"));
    // A failed click is reported and leaves the pointer where it is.
    input_.setFailing(true);
    EXPECT_FALSE(a.clickCenter(Rect(100, 100, 20, 20)));
    EXPECT_THAT(input_.log(), ElementsAre("click 11,11", "move 5,5", "click 110,110 failed"));
}

// A chain of `levels` groups under a web area; the link at the bottom is `levels` + 1 elements
// away from the web area, counting both.
std::unique_ptr<ax::FakeAccessibilityBackend> chain(int levels) {
    Json node = {{"id", "link"}, {"role", "AXLink"}};
    for (int i = levels; i >= 1; --i) {
        node["attrs"] = {{"AXParent", {{"ref", "g" + std::to_string(i)}}}};
        node = {{"id", "g" + std::to_string(i)}, {"role", "AXGroup"}, {"children", {node}}};
    }
    node["attrs"] = {{"AXParent", {{"ref", "web"}}}};
    Json web = {{"id", "web"}, {"role", "AXWebArea"}, {"children", {node}}};
    return std::move(ax::FakeAccessibilityBackend::fromJson(
                         {{"app", {{"pid", 1}}},
                          {"window", {{"id", "w"}, {"role", "AXWindow"}, {"children", {web}}}}}))
        .value();
}

TEST_F(ElementActionsTest, WebAreaIsFoundUpTheParentChainAtMostThirtyNineLevelsUp) {
    auto a = actions();
    EXPECT_TRUE(a.isInWebArea(backend_->element("reject")));
    EXPECT_TRUE(a.isInWebArea(backend_->element("page")));  // a web area itself
    EXPECT_FALSE(a.isInWebArea(backend_->element("ok")));
    EXPECT_FALSE(a.isInWebArea(backend_->element("orphan")));  // parent unreadable
    for (const auto& [levels, found] : {std::pair{38, true}, std::pair{39, false}}) {
        auto fake = chain(levels);  // the web area is the link's (levels + 1)th ancestor
        EXPECT_EQ(AXActions(*fake, input_).isInWebArea(fake->element("link")), found) << levels;
    }
}

}  // namespace
}  // namespace ovra
