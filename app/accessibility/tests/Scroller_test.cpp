// Page scrolling over the fake accessibility backend, recorded input and hand-run delays.

#include "app/accessibility/Scroller.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "platform/accessibility/FakeAccessibilityBackend.h"
#include "platform/input/FakeInputSynthesizer.h"
#include "platform/scheduler/ManualScheduler.h"

namespace ovra {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr input::WindowId kWindow = 31;

const char* kFixture = R"({
  "app": {"pid": 4},
  "window": {"id": "win", "role": "AXWindow", "frame": [0, 0, 1280, 900], "children": [
    {"id": "area", "role": "AXScrollArea", "frame": [0, 100, 1280, 750], "children": [
      {"id": "bar", "role": "AXScrollBar", "value": 0, "settable": ["AXValue"]},
      {"id": "bottomBar", "role": "AXScrollBar", "value": 1, "settable": ["AXValue"]},
      {"id": "fixedBar", "role": "AXScrollBar", "value": 0.5},
      {"id": "oddBar", "role": "AXScrollBar", "value": "half", "settable": ["AXValue"]},
      {"id": "snapBar", "role": "AXScrollBar", "value": 0, "settable": ["AXValue"], "snap": 0.02},
      {"id": "nearBar", "role": "AXScrollBar", "value": 0, "settable": ["AXValue"],
       "snap": 0.019}]}]}
})";

class ScrollerTest : public ::testing::Test {
  protected:
    ScrollerTest() {
        auto made = ax::FakeAccessibilityBackend::fromJson(Json::parse(kFixture));
        EXPECT_TRUE(made) << made.error();
        backend_ = std::move(made).value();
        input_.setPointer(Point{900, 20});
    }

    Scroller scroller(bool magnifier = false) {
        return Scroller(
            *backend_, input_, later_, [magnifier] { return magnifier; }, trace_);
    }

    // The 750-point scroll area over a 3000-point document, driven through `bar`.
    ScrollTarget target(std::string_view bar, double documentHeight = 3000) {
        ScrollTarget t;
        t.element = backend_->element("area");
        if (!bar.empty()) {
            t.scrollBar = backend_->element(bar);
        }
        t.signals.visible = Rect(0, 100, 1280, 750);
        t.signals.document = Rect(0, 100, 1265, documentHeight);
        return t;
    }

    // A page down by the wheel over `area`, no scroll target.
    std::optional<Scroller::Method> wheel(Scroller& s, Rect area,
                                          std::optional<input::WindowId> window = kWindow) {
        return s.scroll(ScrollDirection::down, ScrollStep::page, std::nullopt, area, window);
    }
    std::optional<Scroller::Method> byTarget(Scroller& s, ScrollTarget t,
                                             ScrollDirection direction = ScrollDirection::down,
                                             ScrollStep step = ScrollStep::page) {
        return s.scroll(direction, step, std::move(t), Rect(), kWindow);
    }

    std::vector<std::string> writes() const {
        std::vector<std::string> out;
        for (const auto& line : backend_->log()) {
            if (line.rfind("set", 0) == 0) {
                out.push_back(line);
            }
        }
        return out;
    }

    std::unique_ptr<ax::FakeAccessibilityBackend> backend_;
    input::FakeInputSynthesizer input_;
    ManualScheduler later_;
    std::ostringstream trace_;
};

TEST_F(ScrollerTest, DryRunPrintsTheStepAndTouchesNothing) {
    const std::tuple<ScrollDirection, ScrollStep, double, const char*> cases[] = {
        {ScrollDirection::down, ScrollStep::page, 600, "down 540 pt of a 600 pt view"},
        {ScrollDirection::up, ScrollStep::small, 600, "up 200 pt of a 600 pt view"},
        {ScrollDirection::down, ScrollStep::small, 2, "down 1 pt of a 2 pt view"},
        {ScrollDirection::down, ScrollStep::page, 600.9, "down 541 pt of a 600 pt view"},
    };
    auto s = scroller();
    s.dryRun = true;
    for (const auto& [direction, step, height, line] : cases) {
        trace_.str("");
        EXPECT_EQ(s.scroll(direction, step, std::nullopt, Rect(0, 0, 800, height), kWindow),
                  Scroller::Method::dryRun);
        EXPECT_EQ(trace_.str(), "trace: scroll " + std::string(line) + "\n");
    }
    EXPECT_EQ(byTarget(s, target("bar")), Scroller::Method::dryRun);
    EXPECT_THAT(input_.log(), IsEmpty());
    EXPECT_THAT(writes(), IsEmpty());
    EXPECT_EQ(later_.pending(), 0u);
}

TEST_F(ScrollerTest, NonsenseAreasAndFailedWheelsScrollNothing) {
    auto s = scroller();
    for (const Rect area : {Rect(0, 0, 800, 1), Rect(0, 0, 800, 0), Rect::null(),
                            Rect(0, 0, 800, std::nan("")), Rect(0, 0, 800, HUGE_VAL)}) {
        EXPECT_EQ(wheel(s, area), std::nullopt);
    }
    EXPECT_THAT(input_.log(), IsEmpty());
    input_.setFailing(true);
    EXPECT_EQ(wheel(s, Rect(0, 0, 600, 600)), std::nullopt);
    EXPECT_EQ(later_.pending(), 0u);
    EXPECT_EQ(s.home(), std::nullopt);
}

TEST_F(ScrollerTest, ScrollBarMovesByTheStepOverTheScrollableExtent) {
    auto s = scroller();
    // A bar already at its end is reported as used, and nothing is set.
    EXPECT_EQ(byTarget(s, target("bottomBar")), Scroller::Method::scrollBar);
    EXPECT_EQ(byTarget(s, target("bar"), ScrollDirection::up), Scroller::Method::scrollBar);
    EXPECT_THAT(writes(), IsEmpty());
    // 0.9 × 750 = 675 points of a 3000 − 750 = 2250-point extent.
    EXPECT_EQ(byTarget(s, target("bar")), Scroller::Method::scrollBar);
    EXPECT_THAT(writes(), ElementsAre("set bar AXValue 0.3"));
    EXPECT_EQ(byTarget(s, target("bar"), ScrollDirection::up, ScrollStep::small),
              Scroller::Method::scrollBar);
    auto value = ax::asNumber(*backend_->attribute(backend_->element("bar"), "AXValue"));
    EXPECT_NEAR(*value, 0.3 - 250.0 / 2250.0, 1e-9);
    EXPECT_THAT(input_.log(), IsEmpty());
}

TEST_F(ScrollerTest, WheelTakesOverWhenTheBarCannotDoIt) {
    auto noDocument = target("bar");
    noDocument.signals.document.reset();
    const std::pair<const char*, ScrollTarget> cases[] = {
        {"document only 1 point taller", target("bar", 751)},
        {"no scroll bar", target("")},
        {"no document", noDocument},
        {"bar value not settable", target("fixedBar")},
        {"bar value not a number", target("oddBar")},
    };
    for (const auto& [name, t] : cases) {
        SCOPED_TRACE(name);
        input_.clearLog();
        auto s = scroller();
        EXPECT_EQ(byTarget(s, t), Scroller::Method::wheel);
        // 675 points at 120 points a notch: 6 notches at the middle of the visible area.
        EXPECT_THAT(input_.log(), ElementsAre("wheel 640,475 down 6"));
        later_.advance(1);
    }
    EXPECT_THAT(writes(), IsEmpty());
}

// A browser scrolls a notch of its own pixels: drawn at 150 %, a notch covers 180 screen pixels.
// A step never goes past the view's height (whole notches could), and a nonsense scale is none.
TEST_F(ScrollerTest, WheelNotchesAreTheAppsOwnPixelsAtItsScale) {
    const struct {
        const char* name;
        double scale;
        double view;  // the visible height, in screen pixels
        ScrollStep step;
        int count;
        int notches;
    } cases[] = {
        {"100 %", 1, 750, ScrollStep::page, 1, 6},     // 675 px: 720
        {"125 %", 1.25, 980, ScrollStep::page, 1, 6},  // 882 px: 900
        {"150 %", 1.5, 980, ScrollStep::page, 1, 5},   // 882 px: 900, not 7 notches (1,260)
        {"175 %", 1.75, 980, ScrollStep::page, 1, 4},  // 882 px: 840
        {"200 %", 2, 1000, ScrollStep::page, 1, 4},    // 900 px: 960
        {"200 %, a short view", 2, 700, ScrollStep::page, 1, 2},  // 630 px: 480, not 720
        {"100 %, a short view", 1, 470, ScrollStep::page, 1, 3},  // 423 px: 360, not 480
        {"150 %, small", 1.5, 980, ScrollStep::small, 1, 2},      // 327 px: 360
        {"200 %, small in a low view", 2, 300, ScrollStep::small, 1, 1},
        {"150 %, three pages at once", 1.5, 980, ScrollStep::page, 3, 15},
        {"not a number", std::nan(""), 750, ScrollStep::page, 1, 6},
        {"none", 0, 750, ScrollStep::page, 1, 6},
        {"below one", 0.5, 750, ScrollStep::page, 1, 6},
        {"beyond any toolkit", 9, 750, ScrollStep::page, 1, 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        input_.clearLog();
        backend_->setScale(c.scale);
        auto t = target("");
        t.signals.visible = Rect(0, 100, 1280, c.view);
        auto s = scroller();
        EXPECT_EQ(s.scroll(ScrollDirection::down, c.step, t, Rect(), kWindow, c.count),
                  Scroller::Method::wheel);
        ASSERT_FALSE(input_.log().empty());
        EXPECT_THAT(input_.log().front(), ::testing::EndsWith(" " + std::to_string(c.notches)));
        later_.advance(1);
    }
    // Without a scroll area no element tells the app's scale: its notch is taken at 100 %.
    input_.clearLog();
    backend_->setScale(2);
    auto s = scroller();
    EXPECT_EQ(wheel(s, Rect(0, 100, 1280, 750)), Scroller::Method::wheel);
    EXPECT_THAT(input_.log().front(), ::testing::EndsWith(" down 6"));
    later_.advance(1);
    // A scroll bar takes a share of the extent whatever the scale.
    EXPECT_EQ(byTarget(s, target("bar")), Scroller::Method::scrollBar);
    EXPECT_THAT(writes(), ElementsAre("set bar AXValue 0.3"));
}

// A bar that reads back more than the tolerance off what was set did not scroll.
TEST_F(ScrollerTest, BarThatReadsBackOffFallsBackToTheWheel) {
    auto s = scroller();
    EXPECT_EQ(byTarget(s, target("snapBar")), Scroller::Method::wheel);
    EXPECT_EQ(byTarget(s, target("nearBar")), Scroller::Method::scrollBar);
}

// Where the pointer goes after wheel turns: back 0.05 s after the last of a quick series, to
// where it was before the first; not while the magnifier follows it, nor when it was unknown.
TEST_F(ScrollerTest, PointerGoesBackOnceAfterASeriesOfTurns) {
    const std::string turn = "wheel 400,400 down 5";
    const struct {
        const char* name;
        bool magnifier;
        std::optional<Point> pointer;
        std::vector<double> turns;  // the times of the turns
        double until;
        std::vector<std::string> log;
    } cases[] = {
        {"one turn", false, Point{900, 20}, {0}, 0.05, {turn, "move 900,20"}},
        {"a quick series", false, Point{900, 20}, {0, 0.03}, 1, {turn, turn, "move 900,20"}},
        {"magnified", true, Point{900, 20}, {0}, 1, {turn}},
        {"unknown pointer", false, std::nullopt, {0}, 1, {turn}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        input_.clearLog();
        input_.setPointer(c.pointer);
        auto s = scroller(c.magnifier);
        double now = 0;
        for (const double at : c.turns) {
            later_.advance(at - now);
            now = at;
            wheel(s, Rect(100, 100, 600, 600));
        }
        EXPECT_EQ(s.home(), c.log.back() == turn ? std::nullopt : c.pointer);
        later_.advance(c.until - now);
        EXPECT_EQ(input_.log(), c.log);
        EXPECT_EQ(s.home(), std::nullopt);
    }
}

TEST_F(ScrollerTest, WheelIsPostedOnlyOverTheTargetWindow) {
    // A dialog of another app covers the middle of the area.
    input_.setWindows({{5, Rect(200, 200, 300, 300)}, {kWindow, Rect(0, 0, 1280, 900)}});
    auto s = scroller();
    EXPECT_EQ(wheel(s, Rect(0, 0, 600, 600), kWindow), std::nullopt);
    EXPECT_EQ(wheel(s, Rect(0, 0, 600, 600), std::nullopt), std::nullopt);
    EXPECT_THAT(input_.log(), IsEmpty());
    // Clear of the dialog, the same window is scrolled.
    EXPECT_EQ(wheel(s, Rect(600, 0, 600, 600)), Scroller::Method::wheel);
}

TEST_F(ScrollerTest, NotchCountStaysBetweenOneAndTwoHundredAndNothingOutlivesTheScroller) {
    for (const double size : {std::nan(""), -5.0, 0.0, 1e9}) {
        Scroller s(*backend_, input_, later_, nullptr, trace_, {.pixelsPerNotch = size});
        wheel(s, Rect(0, 0, 600, 600));
        later_.advance(1);
    }
    EXPECT_THAT(input_.log(),
                ElementsAre("wheel 300,300 down 1", "move 900,20", "wheel 300,300 down 1",
                            "move 900,20", "wheel 300,300 down 200", "move 900,20",
                            "wheel 300,300 down 1", "move 900,20"));
    {
        auto s = scroller();
        wheel(s, Rect(0, 0, 600, 600));
        EXPECT_EQ(later_.pending(), 1u);
    }
    EXPECT_EQ(later_.pending(), 0u);
}

}  // namespace
}  // namespace ovra
