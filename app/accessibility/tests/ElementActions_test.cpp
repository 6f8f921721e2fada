// The press sequence over the fake accessibility backend and recorded input.

#include "app/accessibility/ElementActions.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/accessibility/AXExtractor.h"
#include "app/accessibility/PressLanding.h"
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

// A text field takes the focus before its window comes forward, so that no key typed once the
// window has the keyboard reaches anything but the field.
TEST_F(ElementActionsTest, TextFieldsAreFocusedThenTheirWindowRaisedAndNeverPressed) {
    auto a = actions();
    EXPECT_EQ(a.press(request("field", "AXTextField", Rect(10, 10, 300, 30))).route,
              PressRoute::focused);
    EXPECT_THAT(performed(), ElementsAre("set field AXFocused true"));  // its window by its id
    // A text field in web content is focused too, never clicked.
    EXPECT_EQ(a.press(request("search", "AXTextField", Rect(20, 720, 200, 30))).route,
              PressRoute::focused);
    EXPECT_THAT(input_.log(), ElementsAre("activate 77", "activate 77"));

    // Pressing a native text entry that refuses focus would submit the dialog's default button.
    EXPECT_EQ(a.press(request("lockedField", "AXTextField", Rect(10, 50, 300, 30))).failure,
              PressFailure::refused);
    EXPECT_THAT(performed(), ::testing::IsSupersetOf({"set lockedField AXFocused true failed: "
                                                      "unsupported attribute"}));
    EXPECT_THAT(performed(), ::testing::Not(::testing::Contains("perform lockedField AXPress")));
    // In web content a click focuses it.
    input_.clearLog();
    EXPECT_EQ(a.press(request("lockedSearch", "AXTextField", Rect(400, 720, 200, 30))).route,
              PressRoute::clicked);
    EXPECT_THAT(input_.log(),
                ElementsAre("activate 77", "move 500,735", "press 500,735", "move 5,5"));
    EXPECT_THAT(performed(), ::testing::IsSupersetOf({"set lockedSearch AXFocused true failed: "
                                                      "unsupported attribute"}));
}

// A text field in web content is focused as soon as its window is the active one, with no wait
// for the page's picture and whatever label the page gave it meanwhile: focusing a field is
// harmless. A field turned off, gone, or turned into another kind of control is not focused.
TEST_F(ElementActionsTest, AWebTextFieldIsFocusedAtOnceWhateverItsLabelBecame) {
    const auto field = [](Json more) {
        Json node = {{"id", "search"},
                     {"role", "AXTextField"},
                     {"frame", {20, 720, 200, 30}},
                     {"settable", {"AXFocused"}},
                     {"attrs", {{"AXParent", {{"ref", "group"}}}}}};
        node.update(more);
        return node;
    };
    const std::tuple<const char*, Json, const char*> cases[] = {
        {"as it was", field(Json::object()), "focused"},
        {"relabelled by the page", field({{"title", "Search mail"}}), "focused"},
        {"given a placeholder", field({{"placeholder", "Type to search"}}), "focused"},
        {"turned off", field({{"enabled", false}}), "disabled"},
        {"turned into a button", field({{"role", "AXButton"}}), "changed"},
        {"gone", Json(), "gone"},
    };
    for (const auto& [name, now, expected] : cases) {
        SCOPED_TRACE(name);
        backend_ = ax::FakeAccessibilityBackend::fromJson(Json::parse(kWindowFixture)).value();
        backend_->hearChanges(true);
        ASSERT_TRUE(backend_->change("search", now));
        const PressOutcome outcome =
            actions().press(request("search", "AXTextField", Rect(20, 720, 200, 30)));
        EXPECT_EQ(outcome.route ? rawValue(*outcome.route) : rawValue(*outcome.failure), expected);
        EXPECT_LT(backend_->clock().now(), AXActions::kListen);
        EXPECT_THAT(performed(), ::testing::Not(::testing::Contains(HasSubstr("AXPress"))));
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
    EXPECT_EQ(a.press(PressRequest{}).failure, PressFailure::gone);
    // No synthetic click for a control outside web content.
    for (const auto& line : input_.log()) {
        EXPECT_EQ(line, "activate 77");
    }
}

// A consent dialog in a page, read once; `change` then alters the page before the press, and
// `react` as the press arrives. What the press did: its route, "anew" when a successor took it,
// else why nothing is known pressed.
class PressMomentTest : public ::testing::Test {
  protected:
    static Json button(const char* id, const char* title, int x, int y,
                       const char* parent = "dialog") {
        return Json{{"id", id},
                    {"role", "AXButton"},
                    {"title", title},
                    {"frame", {x, y, 140, 40}},
                    {"actions", {"AXPress"}},
                    {"attrs", {{"AXParent", {{"ref", parent}}}}}};
    }

    PressMomentTest() { input_.setPointer(Point{5, 5}); }

    std::string press(const std::function<void(ax::FakeAccessibilityBackend&)>& change,
                      const std::function<void(ax::FakeAccessibilityBackend&)>& react = {},
                      const std::vector<Json>& extra = {},
                      const std::function<void(PressRequest&)>& adjust = {}) {
        Json dialog = {
            {"id", "dialog"},
            {"role", "AXGroup"},
            {"frame", {50, 150, 500, 200}},
            {"attrs", {{"AXParent", {{"ref", "page"}}}}},
            {"children",
             {button("chosen", "Reject all", 100, 200), button("accept", "Accept all", 300, 200)}}};
        Json kids = Json::array({button("beneath", "Read more", 100, 200, "page"), dialog});
        for (const Json& more : extra) {
            kids.push_back(more);
        }
        const Json page = {{"id", "page"},
                           {"role", "AXWebArea"},
                           {"frame", {0, 100, 1200, 700}},
                           {"children", kids}};
        fake_ = ax::FakeAccessibilityBackend::fromJson({{"app", {{"pid", 9}}},
                                                        {"window",
                                                         {{"id", "win"},
                                                          {"role", "AXWindow"},
                                                          {"frame", {0, 0, 1200, 900}},
                                                          {"children", {page}}}}})
                    .value();
        const auto read = [this]() -> std::optional<WindowSnapshot> {
            auto s = AXExtractor{6, 150, 48, 4000}.snapshot({9, {}}, *fake_, fake_->clock());
            return s ? std::optional(std::move(s).value()) : std::nullopt;
        };
        WindowSnapshot before = read().value();
        ElementIdentity::noteSettings(*fake_, before, fake_->clock());
        const auto chosen =
            std::find_if(before.candidates.begin(), before.candidates.end(),
                         [](const UICandidate& c) { return c.label() == "Reject all"; });
        if (change) {
            change(*fake_);
        }
        if (react) {
            fake_->onPerform = [&](const std::string& id, std::string_view) {
                if (std::exchange(reacted_, true) == false) {
                    (void)id;
                    react(*fake_);
                }
            };
        }
        reacted_ = false;
        input_.clearLog();
        PressRequest request{*chosen,
                             before.elements.at(chosen->id),
                             before.app,
                             before.windowFrame,
                             before.viewport,
                             kWindow,
                             before.windowElement,
                             read,
                             true,
                             0,
                             before.candidates};
        request.seenElements = before.elements;
        request.seenSettings = before.settings;
        if (adjust) {
            adjust(request);
        }
        last_ = AXActions(*fake_, input_, {.clock = &fake_->clock()}).press(request);
        std::string seen(last_.route ? rawValue(*last_.route) : rawValue(last_.failure.value()));
        return seen + (last_.replaced ? " anew" : "");
    }

    // Runs `act` as the window comes forward: at the first pause of the press.
    static std::function<void(ax::FakeAccessibilityBackend&)> asItComesForward(
        std::function<void(ax::FakeAccessibilityBackend&)> act) {
        return [act](ax::FakeAccessibilityBackend& page) {
            page.clock().whileAsleep = [&page, act, done = false]() mutable {
                if (!std::exchange(done, true)) {
                    act(page);
                }
            };
        };
    }

    // The fake clock's time spent on the press.
    double took() const { return fake_->clock().now(); }

    std::unique_ptr<ax::FakeAccessibilityBackend> fake_;
    input::FakeInputSynthesizer input_;
    bool reacted_ = false;
    PressOutcome last_;
};

// Which element the press goes to: the chosen one while it is there with its role and label
// inside the window, in the row the reading showed; once it is gone, only the same control drawn
// anew (the same setting as the reading showed); else none, and the user hears that it went
// away, or changed when the chosen element now stands in another row.
TEST_F(PressMomentTest, ThePressGoesToTheChosenControlOrItsDrawingAnewAndNothingElse) {
    using Page = std::function<void(ax::FakeAccessibilityBackend&)>;
    const auto now = [](Json look) {
        return [look](ax::FakeAccessibilityBackend& page) {
            ASSERT_TRUE(page.change("chosen", look));
        };
    };
    Json anotherRow = {{"id", "row"},
                       {"role", "AXGroup"},
                       {"frame", {50, 150, 500, 200}},
                       {"attrs", {{"AXParent", {{"ref", "page"}}}}},
                       {"children",
                        {button("new", "Reject all", 100, 210, "row"),
                         button("other", "Keep all", 300, 200, "row")}}};
    const std::tuple<const char*, Page, const char*> cases[] = {
        {"alive", nullptr, "pressed"},
        {"alive, moved a little", now(button("chosen", "Reject all", 100, 230)), "pressed"},
        {"re-rendered as the window came forward",
         asItComesForward(now(button("new", "Reject all", 100, 210))), "pressed anew"},
        // Its setting was noted in the reading the overlay showed: the drawing shows the same.
        {"re-rendered while the overlay was open", now(button("new", "Reject all", 100, 210)),
         "pressed anew"},
        {"re-rendered further down", asItComesForward(now(button("new", "Reject all", 100, 250))),
         "pressed anew"},
        {"re-rendered in another row", asItComesForward([anotherRow](auto& page) {
             ASSERT_TRUE(page.change("dialog", anotherRow));
         }),
         "gone"},
        {"replaced by another control",
         asItComesForward(now(button("new", "Accept all", 100, 200))), "gone"},
        {"relabelled", now(button("chosen", "Accept all", 100, 200)), "changed"},
        {"its dialog now shows another choice",
         [](auto& page) {
             ASSERT_TRUE(page.change("accept", button("accept", "Accept some", 300, 200)));
         },
         "changed"},
        {"gone", asItComesForward(now(Json())), "gone"},
        {"moved out of the window", now(button("chosen", "Reject all", 100, 1000)), "changed"},
    };
    for (const auto& [name, change, expected] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(press(change), expected);
        for (const std::string& line : input_.log()) {
            EXPECT_THAT(line, ::testing::Not(HasSubstr("press ")));  // never a click
        }
    }
}

// A list of rows with identical "Delete" buttons: when the chosen row goes before the press
// lands, whenever it goes, the row that slides into its place is never pressed, nor any other;
// nothing is pressed and the user hears that the control went away, or, where the browser told
// the row going before it answered the action, that the press cannot be told landed.
TEST_F(PressMomentTest, ARowRemovedAtThePressNeverHasItsNeighbourPressed) {
    using Page = std::function<void(ax::FakeAccessibilityBackend&)>;
    const auto row = [](int n, int y) {
        const std::string id = "row" + std::to_string(n);
        const std::string text = "Message " + std::to_string(n);
        return Json{
            {"id", id},
            {"role", "AXGroup"},
            {"frame", {50, y, 500, 40}},
            {"attrs", {{"AXParent", {{"ref", "list"}}}}},
            {"children",
             {{{"id", "text" + std::to_string(n)},
               {"role", "AXStaticText"},
               {"value", text},
               {"frame", {60, y, 200, 40}},
               {"attrs", {{"AXParent", {{"ref", id}}}}}},
              button(("delete" + std::to_string(n)).c_str(), "Delete", 400, y, id.c_str())}}};
    };
    // The list as it is once row 1 went: every row moved up one place, or all drawn anew.
    const auto without = [&row](bool drawnAnew) {
        Json rows = Json::array();
        for (int n = 2; n <= 4; ++n) {
            Json r = row(n, 460 + 50 * (n - 2));
            if (drawnAnew) {
                r["id"] = "new" + r["id"].get<std::string>();
                r["children"][1]["id"] = "new" + r["children"][1]["id"].get<std::string>();
                r["children"][0]["attrs"]["AXParent"]["ref"] = r["id"];
                r["children"][1]["attrs"]["AXParent"]["ref"] = r["id"];
            }
            rows.push_back(r);
        }
        return Page([rows](ax::FakeAccessibilityBackend& page) {
            ASSERT_TRUE(page.change("list", {{"id", "list"},
                                             {"role", "AXList"},
                                             {"frame", {50, 460, 500, 200}},
                                             {"attrs", {{"AXParent", {{"ref", "page"}}}}},
                                             {"children", rows}}));
        });
    };
    Json list = {{"id", "list"},
                 {"role", "AXList"},
                 {"frame", {50, 460, 500, 200}},
                 {"attrs", {{"AXParent", {{"ref", "page"}}}}},
                 {"children", {row(1, 460), row(2, 510), row(3, 560), row(4, 610)}}};
    // Row 1 goes as the action arrives, and the browser tells the list changing: before it
    // answers the action (the page may have taken the row before the press came), or with
    // its answer.
    const auto toldGoing = [&without](bool beforeAnswer) {
        return Page([went = without(false), beforeAnswer](ax::FakeAccessibilityBackend& page) {
            page.hearChanges(true);
            went(page);
            page.tell(ax::Change::Kind::content, "list");
            if (beforeAnswer) {
                page.clock().advance(0.01);
            }
        });
    };
    const auto chooseRow1 = [](PressRequest& r) {
        r.candidate = *std::find_if(r.seen.begin(), r.seen.end(), [&](const UICandidate& c) {
            return c.label() == "Delete" && c.frame.minY() == 460;
        });
        r.element = r.seenElements.at(r.candidate.id);
    };
    const std::tuple<const char*, Page, Page, const char*> cases[] = {
        // name, before the action, as the action arrives, outcome
        {"left alone", nullptr, nullptr, "pressed"},
        {"went while the overlay was open", without(false), nullptr, "gone"},
        {"went as the window came forward", asItComesForward(without(false)), nullptr, "gone"},
        {"went, the list drawn anew", asItComesForward(without(true)), nullptr, "gone"},
        // Pressed, the row goes: the ordinary Delete.
        {"went as it was pressed", nullptr, without(false), "pressed"},
        {"went as it was pressed, the list drawn anew", nullptr, without(true), "pressed"},
        {"went, told before the action was answered", nullptr, toldGoing(true), "unsure"},
        {"went, told as the action was answered", nullptr, toldGoing(false), "pressed"},
    };
    for (const auto& [name, change, react, expected] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(press(change, react, {list}, chooseRow1), expected);
        const auto& calls = fake_->log();
        EXPECT_EQ(std::count_if(calls.begin(), calls.end(),
                                [](const std::string& line) {
                                    return line.starts_with("perform") && line.ends_with("AXPress");
                                }),
                  std::string_view(expected) == "gone" ? 0 : 1);
        EXPECT_THAT(calls, ::testing::Not(::testing::Contains(HasSubstr("delete2 AXPress"))));
    }
}

// Whether the press reached it: told by what the page does to the element it was sent to.
TEST_F(PressMomentTest, APressCountsOnlyOnceThePageShowsItArrived) {
    const auto then = [](const char* id, Json look) {
        return
            [id, look](ax::FakeAccessibilityBackend& page) { ASSERT_TRUE(page.change(id, look)); };
    };
    Json focused = button("chosen", "Reject all", 100, 200);
    focused["focused"] = true;
    Json checked = button("chosen", "Reject all", 100, 200);
    checked["value"] = 1;
    const std::tuple<const char*, std::function<void(ax::FakeAccessibilityBackend&)>, const char*,
                     double>
        cases[] = {
            // The browser focused it: at the first look.
            {"took the focus", then("chosen", focused), "pressed", 0.03},
            {"changed its value", then("chosen", checked), "pressed", 0.03},
            // Still there once the page's picture has caught up with the press.
            {"left as it was", nullptr, "pressed", PressLanding::kCatchUp + 0.03},
            {"went with its dialog", then("dialog", Json()), "pressed", 0.03},
            {"went, and the page below shows", then("chosen", Json()), "pressed", 0.03},
            {"went, another control put in its place",
             then("chosen", button("new", "Accept all", 100, 200)), "unsure", 0.03},
            {"went, drawn anew in its place", then("chosen", button("new", "Reject all", 100, 200)),
             "unsure", 0.03},
            // Another product's card with its own "Reject all" where the chosen one's was.
            {"went with its dialog, another of the kind in its place",
             then("dialog", {{"id", "card"},
                             {"role", "AXGroup"},
                             {"frame", {50, 150, 500, 200}},
                             {"attrs", {{"AXParent", {{"ref", "page"}}}}},
                             {"children", {button("new", "Reject all", 100, 200, "card")}}}),
             "unsure", 0.03},
        };
    for (const auto& [name, react, expected, longest] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(press(nullptr, react), expected);
        // After the wait for the page's picture to catch up with the window coming forward.
        EXPECT_LE(took(), AXActions::kPictureCatchUp + AXActions::kPoll + longest);
    }
    // Drawn anew around the press: a task list whose "Remove" went with its task and the rest
    // drawn anew in the list that stays (one fewer "Remove"); a date picker's "Next" drawn anew
    // over the next month. Both pressed.
    const auto text = [](const char* id, const char* shown, int y, const char* parent) {
        return Json{{"id", id},
                    {"role", "AXStaticText"},
                    {"value", shown},
                    {"frame", {600, y, 200, 40}},
                    {"attrs", {{"AXParent", {{"ref", parent}}}}}};
    };
    const auto group = [](const char* id, const char* role, std::vector<Json> kids) {
        return Json{{"id", id},
                    {"role", role},
                    {"frame", {600, 400, 500, 300}},
                    {"attrs", {{"AXParent", {{"ref", "page"}}}}},
                    {"children", kids}};
    };
    const auto chooseFirst = [](const char* label) {
        return [label](PressRequest& r) {
            for (const UICandidate& c : r.seen) {
                if (c.label() == label &&
                    (r.candidate.label() != label || c.frame.minY() < r.candidate.frame.minY())) {
                    r.candidate = c;
                }
            }
            r.element = r.seenElements.at(r.candidate.id);
        };
    };
    const Json tasks = group(
        "tasks", "AXList",
        {text("t1", "Water the plants", 400, "tasks"), button("r1", "Remove", 800, 400, "tasks"),
         text("t2", "Pay the rent", 450, "tasks"), button("r2", "Remove", 800, 450, "tasks"),
         text("t3", "Call the bank", 500, "tasks"), button("r3", "Remove", 800, 500, "tasks")});
    // The rest drawn anew one row up, in the list that stays.
    const auto removed = [&text](ax::FakeAccessibilityBackend& page) {
        for (const char* id : {"t1", "r1", "t3", "r3"}) {
            ASSERT_TRUE(page.change(id, Json()));
        }
        ASSERT_TRUE(page.change("t2", text("n2", "Pay the rent", 400, "tasks")));
        ASSERT_TRUE(page.change("r2", button("m2", "Remove", 800, 400, "tasks")));
    };
    EXPECT_EQ(press(nullptr, removed, {tasks}, chooseFirst("Remove")), "pressed") << last_.told;
    const Json picker =
        group("picker", "AXGroup",
              {button("prev", "Prev", 600, 400, "picker"), text("m", "January 2027", 400, "picker"),
               button("next", "Next", 900, 400, "picker")});
    const auto nextDrawn = [&text](const char* shown) {
        return [&text, shown](ax::FakeAccessibilityBackend& page) {
            ASSERT_TRUE(page.change("m", text("m2", shown, 400, "picker")));
            ASSERT_TRUE(page.change("next", button("next2", "Next", 900, 400, "picker")));
        };
    };
    EXPECT_EQ(press(nullptr, nextDrawn("February 2027"), {picker}, chooseFirst("Next")), "pressed")
        << last_.told;
    // The same picker drawn anew on the same month: whether the press came first cannot be told.
    EXPECT_EQ(press(nullptr, nextDrawn("January 2027"), {picker}, chooseFirst("Next")), "unsure");

    // A drawing the page made anew as the window came forward, gone from its container: the page
    // may have swept it away before the press came.
    EXPECT_EQ(press(asItComesForward(then("chosen", button("new", "Reject all", 100, 205))),
                    then("new", Json())),
              "unsure anew");
}

// What the press says happened, from the last look before the action to what the page showed
// after it: nothing is pressed for a control relabelled or turned off before the action, or an
// app that does not answer or has gone; a control changed after the action sent is never the
// chosen one pressed, nor "nothing pressed"; an unlabelled control without an action is never
// clicked at its middle.
TEST_F(PressMomentTest, EachOutcomeIsReportedAsItHappened) {
    using Page = std::function<void(ax::FakeAccessibilityBackend&)>;
    const auto look = [](Json node) {
        return [node](ax::FakeAccessibilityBackend& page) {
            ASSERT_TRUE(page.change(node["id"].get<std::string>(), node));
        };
    };
    Json risky = button("chosen", "Delete forever", 100, 200);
    Json paused = button("chosen", "Pause", 100, 200);
    Json off = button("chosen", "Reject all", 100, 200);
    off["enabled"] = false;
    Json hung = button("chosen", "Reject all", 100, 200);
    hung["faults"] = {{"AXPress", "timeout"}};
    Json menu = {{"id", "chosen"},
                 {"role", "AXButton"},
                 {"frame", {100, 200, 140, 40}},
                 {"attrs", {{"AXParent", {{"ref", "dialog"}}}}}};
    const auto unlabelled = [](PressRequest& r) { r.candidate.title.clear(); };
    const std::tuple<const char*, Page, Page, std::function<void(PressRequest&)>, const char*, bool>
        cases[] = {
            // name, before the press, as it arrives, request, outcome, whether the action went
            {"relabelled to a risky label as the window came forward",
             asItComesForward(look(risky)), nullptr, nullptr, "changed", false},
            {"relabelled to a risky label as the press arrived", nullptr, look(risky), nullptr,
             "unsure", true},
            {"relabelled itself as it was pressed, Play to Pause", nullptr, look(paused), nullptr,
             "pressed", true},
            // A look after the action that meets a busy moment is made again once the app
            // answers; an app that stopped answering leaves the press untold.
            {"the app busy a moment as it was pressed, Play to Pause", nullptr,
             [&look, &paused](auto& page) {
                 look(paused)(page);
                 page.stall(1);
             },
             nullptr, "pressed", true},
            {"the app stopped answering as it was pressed", nullptr,
             [](auto& page) { page.hang(); }, nullptr, "unsure", true},
            {"turned off while the overlay was open", look(off), nullptr, nullptr, "disabled",
             false},
            {"turned off as the window came forward", asItComesForward(look(off)), nullptr, nullptr,
             "disabled", false},
            {"the app stopped answering", [](auto& page) { page.hang(); }, nullptr, nullptr,
             "not responding", false},
            {"the app quit", [](auto& page) { page.quit(); }, nullptr, nullptr, "app closed",
             false},
            {"the press timed out", look(hung), nullptr, nullptr, "not responding", false},
            {"removed itself, the next chip slid into its place", nullptr,
             [](auto& page) {
                 ASSERT_TRUE(page.change("chosen", Json()));
                 ASSERT_TRUE(page.change("accept", button("accept", "Accept all", 100, 200)));
             },
             nullptr, "pressed", true},
            {"replaced itself by a Following button", nullptr,
             [](auto& page) {
                 ASSERT_TRUE(page.change("chosen", button("following", "Following", 100, 200)));
             },
             nullptr, "unsure", true},
            {"an unlabelled container without an action", look(menu), nullptr, unlabelled,
             "refused", false},
        };
    for (const auto& [name, change, react, adjust, expected, acted] : cases) {
        SCOPED_TRACE(name);
        input_.setWindows({});
        EXPECT_EQ(press(change, react, {}, adjust), expected) << last_.told;
        const auto& calls = fake_->log();
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "perform chosen AXPress"), acted ? 1 : 0);
        if (std::string_view(expected) == "not responding") {
            // Nothing else is tried while a press may still arrive.
            EXPECT_THAT(calls, ::testing::Not(::testing::Contains(HasSubstr("AXConfirm"))));
        }
        for (const std::string& line : input_.log()) {
            EXPECT_THAT(line, ::testing::Not(HasSubstr("press ")));  // never a click
        }
        // The label it gave itself after the action is told, the risky one as much as the one it
        // answered with.
        const std::string_view what(name);
        const bool afterTheAction = what.ends_with("as the press arrived") ||
                                    what.ends_with("as it was pressed, Play to Pause");
        EXPECT_EQ(last_.relabelled, !afterTheAction                           ? ""
                                    : expected == std::string_view("pressed") ? "Pause"
                                                                              : "Delete forever")
            << last_.told;
    }
}

// The wait for the page's picture ends on what the browser told since the window came forward:
// once the page has taken the keyboard back with nothing else changed, and a browser that holds
// back its page's changes (Chromium) has been asked what lies under the control, which makes it
// send them; a change away from the control makes it be asked again. Where a change near the
// control shows, the focus went to the browser's own bar, or the browser is not heard, the whole
// wait stays; a browser that told nothing at all is waited for as long. A modal the page put up
// meanwhile takes the press.
TEST_F(PressMomentTest, TheWaitForThePageEndsOnWhatTheBrowserTold) {
    using Kind = ax::Change::Kind;
    using Page = std::function<void(ax::FakeAccessibilityBackend&)>;
    // The browser tells of these changes at the first pause of the press; `asked` runs at the
    // first hit test.
    const auto tells = [](std::vector<std::pair<Kind, std::string>> told, Page asked = {}) {
        return Page([told, asked](ax::FakeAccessibilityBackend& page) {
            page.hearChanges(true);
            page.clock().whileAsleep = [&page, told, done = false]() mutable {
                if (!std::exchange(done, true)) {
                    for (const auto& [kind, id] : told) {
                        page.tell(kind, id);
                    }
                }
            };
            page.onHitTest = [&page, asked, done = false]() mutable {
                if (asked && !std::exchange(done, true)) {
                    asked(page);
                }
            };
        });
    };
    // The page relabels the chosen control to a risky label and the browser tells of it.
    const Page relabel = [](ax::FakeAccessibilityBackend& page) {
        ASSERT_TRUE(page.change("chosen", button("chosen", "Delete forever", 100, 200)));
        page.tell(Kind::content, "chosen");
    };
    const std::pair<Kind, std::string> forward{Kind::activation, "win"};
    const Page relabelFirst = [&relabel](ax::FakeAccessibilityBackend& page) {
        page.hearChanges(true);
        page.clock().whileAsleep = [&page, &relabel, done = false]() mutable {
            if (!std::exchange(done, true)) {
                relabel(page);
                page.tell(Kind::activation, "win");
                page.tell(Kind::focus, "page");
            }
        };
    };
    // A tick elsewhere with the page's focus, and the control relabelled in the batch the
    // browser sends when asked again.
    const Page tickThenRelabel = [&relabel](ax::FakeAccessibilityBackend& page) {
        page.hearChanges(true);
        page.clock().whileAsleep = [&page, done = false]() mutable {
            if (!std::exchange(done, true)) {
                page.tell(Kind::activation, "win");
                page.tell(Kind::focus, "page");
                page.tell(Kind::content, "clock");
            }
        };
        page.onHitTest = [&page, &relabel, asked = 0]() mutable {
            if (++asked == 2) {
                relabel(page);
            }
        };
    };
    // Before the press, these parts of the page changed a quarter of a second apart; the press
    // starts at `ticksEnd`.
    double ticksEnd = 0;
    const auto ticked = [&ticksEnd](std::vector<std::pair<Kind, std::string>> before, Page then) {
        return Page([&ticksEnd, before, then](ax::FakeAccessibilityBackend& page) {
            page.hearChanges(true);
            for (const auto& [kind, id] : before) {
                page.tell(kind, id);
                page.clock().advance(0.25);
            }
            ticksEnd = page.clock().now();
            then(page);
        });
    };
    const Json clock = {{"id", "clock"},
                        {"role", "AXStaticText"},
                        {"value", "12:00:01"},
                        {"frame", {900, 120, 200, 30}},
                        {"attrs", {{"AXParent", {{"ref", "page"}}}}}};
    const auto cover = [](bool saying) {
        return Page([saying](ax::FakeAccessibilityBackend& page) {
            Json layer = {{"id", "layer"},
                          {"role", "AXGroup"},
                          {"frame", {0, 100, 1200, 700}},
                          {"attrs", {{"AXParent", {{"ref", "page"}}}}}};
            if (saying) {
                layer["children"] = {{{"id", "saving"},
                                      {"role", "AXStaticText"},
                                      {"value", "Saving your changes…"},
                                      {"frame", {500, 400, 200, 30}},
                                      {"attrs", {{"AXParent", {{"ref", "layer"}}}}}}};
            }
            ASSERT_TRUE(page.change("clock", layer));
        });
    };
    const std::tuple<const char*, Page, const char*, bool> cases[] = {
        // name, what the browser tells, outcome, whether the press came before the whole wait
        {"the page took the keyboard back", tells({forward, {Kind::focus, "page"}}), "pressed",
         true},
        {"a control of the page took it back", tells({forward, {Kind::focus, "accept"}}), "pressed",
         true},
        {"the browser's own bar took it", tells({forward, {Kind::focus, "win"}}), "pressed", false},
        {"nothing told: the window was in front", tells({}), "pressed", false},
        {"relabelled as the page took the keyboard",
         tells({forward, {Kind::focus, "page"}, {Kind::content, "chosen"}}), "pressed", false},
        // A change away from the control is followed by asking the browser again: the control's
        // own change may come in its next batch (a "Keep" turned "Delete" 10 ms after the focus).
        {"a clock elsewhere ticked",
         tells({forward, {Kind::focus, "page"}, {Kind::content, "clock"}}), "pressed", true},
        {"a clock elsewhere ticked, then relabelled when asked again", tickThenRelabel, "changed",
         false},
        // Told before the window came back: made while the overlay was up.
        {"a clock elsewhere ticked as the window came forward",
         tells({{Kind::content, "clock"}, forward, {Kind::focus, "page"}}), "pressed", true},
        {"relabelled before the window came forward", relabelFirst, "changed", true},
        {"a clock elsewhere that ticked before ticked again",
         ticked({{Kind::content, "clock"}, {Kind::content, "clock"}},
                tells({forward, {Kind::focus, "page"}, {Kind::content, "clock"}})),
         "pressed", true},
        {"a clock elsewhere that changed only as the keyboard did changed again",
         ticked({{Kind::content, "clock"}, {Kind::activation, "win"}, {Kind::content, "clock"}},
                tells({forward, {Kind::focus, "page"}, {Kind::content, "clock"}})),
         "pressed", true},
        {"its dialog changed", tells({forward, {Kind::focus, "page"}, {Kind::content, "dialog"}}),
         "pressed", false},
        {"its dialog, changing by itself, changed",
         ticked({{Kind::content, "dialog"}, {Kind::content, "dialog"}},
                tells({forward, {Kind::focus, "page"}, {Kind::content, "dialog"}})),
         "pressed", false},
        {"what lies over its place, changing by itself, changed",
         ticked({{Kind::content, "beneath"}, {Kind::content, "beneath"}},
                tells({forward, {Kind::focus, "page"}, {Kind::content, "beneath"}})),
         "pressed", false},
        {"relabelled, held back until asked what lies under it",
         tells({forward, {Kind::focus, "page"}}, relabel), "changed", false},
        {"the browser not heard", nullptr, "pressed", false},
        // A modal of the page put up as it took the keyboard back, over the whole page.
        {"a modal opened as the page took the keyboard",
         tells({forward, {Kind::focus, "page"}, {Kind::content, "page"}},
               [](ax::FakeAccessibilityBackend& page) {
                   ASSERT_TRUE(page.change(
                       "clock",
                       {{"id", "modal"},
                        {"role", "AXGroup"},
                        {"subrole", "AXApplicationDialog"},
                        {"title", "Session expired"},
                        {"frame", {0, 100, 1200, 700}},
                        {"attrs", {{"AXModal", true}, {"AXParent", {{"ref", "page"}}}}},
                        {"children", {button("stay", "Stay signed in", 500, 400, "modal")}}}));
               }),
         "covered", false},
        // A plain box laid over the whole page then: one that says what the page is busy with
        // hides the control; an empty one may be a transparent one the press passes by.
        {"a busy layer laid as the page took the keyboard",
         tells({forward, {Kind::focus, "page"}, {Kind::content, "page"}}, cover(true)), "covered",
         false},
        {"an empty box laid as the page took the keyboard",
         tells({forward, {Kind::focus, "page"}, {Kind::content, "page"}}, cover(false)), "pressed",
         false},
    };
    for (const auto& [name, told, expected, early] : cases) {
        SCOPED_TRACE(name);
        std::optional<double> pressedAt;
        ticksEnd = 0;
        EXPECT_EQ(press(told,
                        [&pressedAt](ax::FakeAccessibilityBackend& page) {
                            pressedAt = page.clock().now();
                        },
                        {clock}),
                  expected);
        const double acted = pressedAt.value_or(took()) - ticksEnd;
        EXPECT_EQ(acted < AXActions::kPictureCatchUp, early) << acted;
        if (early) {
            EXPECT_LE(acted, AXActions::kAfterPageFocus + 3 * AXActions::kListen);
        }
    }
}

// A page that keeps drawing the chosen control anew: the press waits for the next drawing and
// goes to it while it is new; a page that stopped drawing it is pressed once quiet.
TEST_F(PressMomentTest, AControlDrawnAnewIsPressedJustAfterItsNextDrawing) {
    int drawing = 0;
    // Drawn anew as the window comes forward, then every tenth of a second.
    const auto redraw = [&drawing](ax::FakeAccessibilityBackend& page) {
        const auto draw = [&page, &drawing] {
            const std::string was = drawing == 0 ? "chosen" : "d" + std::to_string(drawing);
            const std::string id = "d" + std::to_string(++drawing);
            ASSERT_TRUE(page.change(was, button(id.c_str(), "Reject all", 100, 200)));
        };
        page.clock().whileAsleep = [&page, &drawing, draw] {
            if (page.clock().now() >= 0.1 * drawing) {
                draw();
            }
        };
    };
    const auto stop = [](ax::FakeAccessibilityBackend& page) {
        page.clock().whileAsleep = nullptr;
    };
    EXPECT_EQ(press(redraw, stop), "pressed anew");
    // The drawing the reading found was left to go; the next one was pressed.
    EXPECT_EQ(drawing, 2);
    EXPECT_THAT(fake_->log(), ::testing::Contains("perform d2 AXPress"));
    // Drawn anew while the overlay was open, before the press started: the same setting as the
    // reading showed tells it.
    drawing = 0;
    EXPECT_EQ(press(
                  [&drawing](ax::FakeAccessibilityBackend& page) {
                      ++drawing;
                      ASSERT_TRUE(page.change("chosen", button("d1", "Reject all", 100, 200)));
                  },
                  stop),
              "pressed anew");
}

// A page that drops the drawing the press found just as the press reaches it (a page drawing its
// buttons anew every 200 ms on a busy machine): nothing was pressed, so its next drawing is; a
// page that drops every drawing so is told as gone after three tries.
TEST_F(PressMomentTest, AControlDroppedAsThePressReachesItIsPressedInItsNextDrawing) {
    const std::tuple<const char*, int, const char*> cases[] = {
        {"dropped once", 1, "pressed anew"},
        {"dropped twice", 2, "pressed anew"},
        {"dropped every time", 99, "gone anew"},
    };
    for (const auto& [name, drops, expected] : cases) {
        SCOPED_TRACE(name);
        int drawing = 0;
        const auto redraw = [&drawing, drops](ax::FakeAccessibilityBackend& page) {
            // Each drawing the page will drop refuses the press, as a removed element does.
            const auto draw = [&page, &drawing, drops] {
                const std::string was = drawing == 0 ? "chosen" : "d" + std::to_string(drawing);
                const std::string id = "d" + std::to_string(++drawing);
                Json next = button(id.c_str(), "Reject all", 100, 200);
                if (drawing <= drops) {
                    next["faults"] = {{"AXPress", "appGone"}, {"AXConfirm", "appGone"}};
                }
                ASSERT_TRUE(page.change(was, next));
            };
            // First drawn anew as the window comes forward.
            page.clock().whileAsleep = [&page, &drawing, draw] {
                const std::string refused =
                    "perform d" + std::to_string(drawing) + " AXPress failed";
                if (drawing == 0 || page.log().back().starts_with(refused)) {
                    draw();
                }
            };
        };
        EXPECT_EQ(press(redraw), expected);
        EXPECT_EQ(drawing, std::min(drops, 3) + 1);
        EXPECT_EQ(std::count_if(fake_->log().begin(), fake_->log().end(),
                                [](const std::string& line) {
                                    return line.ends_with("AXPress") && line.starts_with("perform");
                                }),
                  drops < 3 ? 1 : 0);
    }
}

// A web control with no press action is clicked: the pointer comes to rest on it, and the
// button goes down only while a hit test there finds the control and the control still holds
// the point.
TEST_F(PressMomentTest, AClickGoesDownOnlyWhereTheHitTestFindsTheChosenControl) {
    Json clickOnly = button("chosen", "Reject all", 100, 200);
    clickOnly["actions"] = Json::array();
    const auto withoutAction = [&](std::function<void(ax::FakeAccessibilityBackend&)> more) {
        return [clickOnly, more](ax::FakeAccessibilityBackend& page) {
            ASSERT_TRUE(page.change("chosen", clickOnly));
            if (more) {
                more(page);
            }
        };
    };
    const auto whenThePointerArrives = [](std::function<void(ax::FakeAccessibilityBackend&)> act) {
        return [act](ax::FakeAccessibilityBackend& page) {
            page.clock().whileAsleep = [&page, act, done = false]() mutable {
                if (page.clock().sleeps().back() == AXActions::kPointerSettle &&
                    !std::exchange(done, true)) {
                    act(page);
                }
            };
        };
    };
    // Laid only after the reading, which would not offer a control under it.
    const Json cover = {{"id", "cover"}, {"role", "AXGroup"}, {"frame", {0, 100, 1200, 700}}};
    Json coverLater = cover;
    coverLater["hidden"] = true;
    using Windows = std::vector<input::FakeInputSynthesizer::Window>;
    const std::tuple<const char*, std::function<void(ax::FakeAccessibilityBackend&)>,
                     std::vector<Json>, const char*, Windows, std::function<void(PressRequest&)>>
        cases[] = {
            {"nothing over it", nullptr, {}, "clicked", {}, nullptr},
            {"a cover laid over the page",
             whenThePointerArrives(
                 [cover](auto& page) { ASSERT_TRUE(page.change("cover", cover)); }),
             {coverLater},
             "refused",
             {},
             nullptr},
            {"another window over the point",
             nullptr,
             {},
             "refused",
             Windows{{5, Rect(150, 180, 300, 200)}, {kWindow, Rect(0, 0, 1200, 900)}},
             nullptr},
            {"the point off the target window",
             nullptr,
             {},
             "refused",
             Windows{{kWindow, Rect(0, 0, 1200, 150)}},
             nullptr},
            {"the target window unknown",
             nullptr,
             {},
             "refused",
             {},
             [](PressRequest& r) { r.window.reset(); }},
            {"scrolled out of view",
             nullptr,
             {},
             "refused",
             {},
             [](PressRequest& r) { r.visible = Rect(0, 300, 1200, 500); }},
            {"swapped as the pointer arrived",
             whenThePointerArrives([](auto& page) {
                 ASSERT_TRUE(page.change("chosen", button("new", "Accept all", 100, 200)));
             }),
             {},
             "refused",
             {},
             nullptr},
            {"moved away as the pointer arrived",
             whenThePointerArrives([clickOnly](auto& page) {
                 Json moved = clickOnly;
                 moved["frame"] = {100, 260, 140, 40};
                 ASSERT_TRUE(page.change("chosen", moved));
             }),
             {},
             "refused",
             {},
             nullptr},
        };
    for (const auto& [name, pointerArrives, extra, expected, windows, adjust] : cases) {
        SCOPED_TRACE(name);
        input_.setWindows(windows);
        EXPECT_EQ(press(withoutAction(pointerArrives), nullptr, extra, adjust), expected);
        const auto& sent = input_.log();
        EXPECT_EQ(std::count(sent.begin(), sent.end(), "press 170,220"),
                  std::string(expected) == "clicked" ? 1 : 0);
        EXPECT_EQ(input_.pointer(), Point(5, 5));  // the pointer went back wherever it had gone
    }
}

// A native list's row that only a click chooses (the backend offers no way of pressing it by an
// action) is clicked where a hit test finds it and counts as pressed once it shows it is chosen;
// where no click can be made it is chosen through its list, which need not do what a click does
// (cannot tell). A toolbar's checkable button counts as clicked once its state flipped. A press
// the app has without showing its effect is never tried another way.
TEST(NativePressTest, ARowIsClickedAndCountsOnceChosenAndAnUnconfirmedPressStaysAlone) {
    const auto row = [](bool selected) {
        return Json{{"id", "row"},
                    {"role", "AXCell"},
                    {"title", "Music"},
                    {"frame", {20, 60, 200, 20}},
                    {"actions", {"AXPick"}},
                    {"attrs", {{"AXParent", {{"ref", "win"}}}, {"AXSelected", selected}}}};
    };
    // A toolbar's checkable button, clicked as no action of its own does what a click does.
    const auto check = [](bool on) {
        return Json{{"id", "check"},       {"role", "AXCheckBox"},
                    {"title", "Settings"}, {"frame", {400, 120, 80, 24}},
                    {"value", on ? 1 : 0}, {"attrs", {{"AXParent", {{"ref", "win"}}}}}};
    };
    const Json busy = {{"id", "busy"},
                       {"role", "AXButton"},
                       {"title", "Stall"},
                       {"frame", {300, 60, 80, 30}},
                       {"actions", {"AXPress", "AXConfirm"}},
                       {"faults", {{"AXPress", "unconfirmed"}}},
                       {"attrs", {{"AXParent", {{"ref", "win"}}}}}};
    const struct {
        const char* what;
        const char* id;
        bool showsChosen;
        bool windowKnown;
        const char* outcome;
        int clicks;
    } cases[] = {
        {"chosen by the click", "row", true, true, "clicked", 1},
        {"the click chose nothing", "row", false, true, "unsure", 1},
        {"no window to click in: chosen through its list", "row", true, false, "unsure", 0},
        {"a checkable button the click flipped", "check", true, true, "clicked", 1},
        {"a checkable button the click left alone", "check", false, true, "unsure", 1},
        {"the app has the press but shows nothing", "busy", false, true, "unsure", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto fake = ax::FakeAccessibilityBackend::fromJson(
                        {{"app", {{"pid", 9}}},
                         {"window",
                          {{"id", "win"},
                           {"role", "AXWindow"},
                           {"frame", {0, 0, 600, 400}},
                           {"children", {row(false), busy, check(false)}}}}})
                        .value();
        input::FakeInputSynthesizer input;
        input.setPointer(Point{5, 5});
        fake->clock().whileAsleep = [&, done = false]() mutable {
            const auto& sent = input.log();
            const bool clicked = std::any_of(sent.begin(), sent.end(), [](const std::string& l) {
                return l.rfind("press ", 0) == 0;
            });
            if (c.showsChosen && clicked && !std::exchange(done, true)) {
                const std::string_view id = c.id;
                ASSERT_TRUE(id == "check" ? fake->change("check", check(true))
                                          : fake->change("row", row(true)));
            }
        };
        PressRequest request{
            {},      fake->element(c.id),  {9, {}}, Rect(0, 0, 600, 400), Rect(0, 0, 600, 400),
            kWindow, fake->element("win"), {}};
        if (!c.windowKnown) {
            request.window.reset();
        }
        const std::string_view id = c.id;
        request.candidate.role = id == "busy"    ? "AXButton"
                                 : id == "check" ? "AXCheckBox"
                                                 : "AXCell";
        request.candidate.title = id == "row" ? "Music" : id == "check" ? "Settings" : "Stall";
        request.candidate.frame = id == "row"     ? Rect(20, 60, 200, 20)
                                  : id == "check" ? Rect(400, 120, 80, 24)
                                                  : Rect(300, 60, 80, 30);
        const PressOutcome outcome =
            AXActions(*fake, input, {.clock = &fake->clock()}).press(request);
        EXPECT_EQ(outcome.route ? rawValue(*outcome.route) : rawValue(*outcome.failure), c.outcome);
        const auto& sent = input.log();
        EXPECT_EQ(std::count_if(sent.begin(), sent.end(),
                                [](const std::string& l) { return l.rfind("press ", 0) == 0; }),
                  c.clicks);
        EXPECT_THAT(fake->log(), ::testing::Not(::testing::Contains(HasSubstr("AXConfirm"))));
    }
}

TEST_F(ElementActionsTest, RaiseWorksWithEitherWayAndReportsWhenNeitherWorks) {
    auto a = actions();
    EXPECT_TRUE(a.raise(kWindow, {}));
    // The window read by its id, never one found by its title besides.
    EXPECT_TRUE(a.raise(kWindow, backend_->element("win")));
    EXPECT_THAT(performed(), IsEmpty());
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
