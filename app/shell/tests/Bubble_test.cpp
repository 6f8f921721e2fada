// The on-screen button: where it sits for every place and size, when it flies and when the trail
// goes, the first-launch date, and the trail's timeline.

#include <gtest/gtest.h>

#include "app/controller/Preferences.h"
#include "app/shell/BubbleController.h"
#include "app/shell/FlightTrail.h"
#include "platform/scheduler/ManualScheduler.h"

namespace ovra {
namespace {

struct FakeButton final : BubblePanel {
    std::vector<std::string>& log;
    Rect shownAt;
    double size = 0;
    bool onLeft = false;
    bool visible = false;
    explicit FakeButton(std::vector<std::string>& l) : log(l) {}
    void present(const Rect& frame, double s, bool left) override {
        shownAt = frame;
        size = s;
        onLeft = left;
        visible = true;
        log.push_back("button shown");
    }
    void raise() override { log.push_back("button raised"); }
    void orderOut() override { visible = false; }
    bool isVisible() const override { return visible; }
    Rect frame() const override { return shownAt; }
};

struct FakeTrail final : TrailPanel {
    std::vector<std::string>& log;
    bool visible = false;
    explicit FakeTrail(std::vector<std::string>& l) : log(l) {}
    void play(const Rect&, Point from, Point to, bool) override {
        visible = true;
        log.push_back("trail " + std::to_string(int(from.x)) + "," + std::to_string(int(from.y)) +
                      " to " + std::to_string(int(to.x)) + "," + std::to_string(int(to.y)));
    }
    void orderOut() override { visible = false; }
    bool isVisible() const override { return visible; }
};

// A 1280 × 1024 screen at x 100 with a 30 pixel top panel and a 40 pixel dock on the right.
struct Rig {
    ManualScheduler clock;
    InMemoryDefaults defaults;
    Preferences prefs{defaults};
    std::vector<std::string> log;
    std::vector<IslandScreen> screens{{Rect(100, 0, 1280, 1024), Rect(100, 30, 1240, 994), 0}};
    FakeButton* button = nullptr;
    FakeTrail* trail = nullptr;
    std::function<void()> screensChanged, desktopSwitched;
    std::optional<Point> landing = Point{1300, 15};
    int clicks = 0;
    BubbleController bubble{{
        clock,
        [this] { return screens; },
        [this](std::function<void()> clicked) {
            auto made = std::make_unique<FakeButton>(log);
            button = made.get();
            click = std::move(clicked);
            return made;
        },
        [this] {
            auto made = std::make_unique<FakeTrail>(log);
            trail = made.get();
            return made;
        },
        [] { return false; },
        [this](std::function<void()> changed, std::function<void()> switched) {
            screensChanged = std::move(changed);
            desktopSwitched = std::move(switched);
            return std::shared_ptr<void>();
        },
    }};
    std::function<void()> click;

    void install() {
        bubble.install(
            prefs, [this](const Rect&) { return landing; }, [this] { ++clicks; });
    }
};

TEST(Bubble, SitsAtTheEdgeOfTheFreeAreaForEveryPlaceAndSize) {
    Rig rig;
    rig.prefs.setShowBubble(true);
    rig.install();
    const Rect visible = rig.screens[0].visibleFrame;
    for (const OvraButtonPlace place : OvraButtonPlace::allCases()) {
        for (const OvraButtonSize size : OvraButtonSize::allCases()) {
            SCOPED_TRACE(std::string(place.rawValue()) + " " + std::string(size.rawValue()));
            rig.prefs.setBubblePlace(place);
            rig.prefs.setBubbleSize(size);
            rig.bubble.refresh();
            const Rect f = rig.button->shownAt;
            const double side = size.points() + 16;
            EXPECT_EQ(f.width(), side);
            EXPECT_EQ(f.height(), side);
            EXPECT_EQ(rig.button->size, size.points());
            EXPECT_EQ(rig.button->onLeft, place.onLeft());
            EXPECT_TRUE(visible.contains(f));
            if (place.onLeft()) {
                EXPECT_EQ(f.minX(), visible.minX());
            } else {
                EXPECT_EQ(f.maxX(), visible.maxX());
            }
            switch (place) {
                case OvraButtonPlace::rightTop:
                case OvraButtonPlace::leftTop:
                    EXPECT_EQ(f.minY(), visible.minY() + 6);
                    break;
                case OvraButtonPlace::rightBottom:
                case OvraButtonPlace::leftBottom:
                    EXPECT_EQ(f.maxY(), visible.maxY() - 6);
                    break;
                default:
                    EXPECT_EQ(f.midY(), visible.midY());
            }
        }
    }
}

TEST(Bubble, FollowsTheFirstScreenAndHidesWithoutScreensOrWhenTurnedOff) {
    Rig rig;
    rig.prefs.setShowBubble(true);
    rig.prefs.setBubblePlace(OvraButtonPlace::leftBottom);
    rig.install();
    ASSERT_TRUE(rig.bubble.buttonShown());
    // A new primary screen moves the button at once.
    rig.screens.insert(rig.screens.begin(), {Rect(-800, 0, 800, 600), Rect(-800, 0, 800, 600), 0});
    rig.screensChanged();
    EXPECT_EQ(rig.button->shownAt, Rect(-800, 600 - 96 - 6, 96, 96));
    // A desktop switch refreshes 0.4 s later.
    rig.screens.erase(rig.screens.begin());
    rig.desktopSwitched();
    rig.clock.advance(0.39);
    EXPECT_EQ(rig.button->shownAt.minX(), -800);
    rig.clock.advance(0.02);
    EXPECT_EQ(rig.button->shownAt.minX(), 100);
    rig.screens.clear();
    rig.bubble.refresh();
    EXPECT_FALSE(rig.bubble.buttonShown());
    rig.click();
    EXPECT_EQ(rig.clicks, 1);
}

TEST(Bubble, FliesOnlyWhileTheButtonShowsAndNeverShowsAHiddenOne) {
    Rig rig;
    rig.bubble.fly();  // before install: no window at all
    rig.install();     // "showBubble" is off by default
    rig.bubble.fly();
    EXPECT_EQ(rig.trail, nullptr);
    EXPECT_EQ(rig.button, nullptr);

    rig.prefs.setShowBubble(true);
    rig.bubble.refresh();
    rig.prefs.setShowBubble(false);
    rig.bubble.refresh();
    rig.log.clear();
    rig.bubble.fly();
    EXPECT_TRUE(rig.log.empty());
    EXPECT_FALSE(rig.bubble.buttonShown());

    rig.prefs.setShowBubble(true);
    rig.prefs.setBubblePlace(OvraButtonPlace::rightMiddle);
    rig.bubble.refresh();
    rig.log.clear();
    rig.bubble.fly();
    // From the middle of the button window's top edge (right middle, large: x 1244…1340), inside
    // the screen; the button goes back above the trail.
    const std::vector<std::string> flight{"trail 1192,479 to 1200,15", "button raised"};
    EXPECT_EQ(rig.log, flight);
    // A second flight within 1.2 s starts over and is hidden 1.2 s after itself.
    rig.clock.advance(1.0);
    rig.bubble.fly();
    rig.clock.advance(1.1);
    EXPECT_TRUE(rig.bubble.trailShown());
    rig.clock.advance(0.11);
    EXPECT_FALSE(rig.bubble.trailShown());
    // No landing point: nothing flies.
    rig.landing.reset();
    rig.log.clear();
    rig.bubble.fly();
    EXPECT_TRUE(rig.log.empty());
    // Turning the button off hides a trail in flight too.
    rig.landing = Point{1300, 15};
    rig.bubble.fly();
    rig.prefs.setShowBubble(false);
    rig.bubble.refresh();
    EXPECT_FALSE(rig.bubble.trailShown());
    EXPECT_FALSE(rig.bubble.buttonShown());
}

TEST(Bubble, WritesTheFirstLaunchDateOnce) {
    Rig rig;
    EXPECT_FALSE(rig.prefs.firstLaunch());
    rig.install();
    const auto first = rig.prefs.firstLaunch();
    ASSERT_TRUE(first);
    EXPECT_LT(std::chrono::system_clock::now() - *first, std::chrono::hours(1));
    // A later launch leaves an earlier date as it is.
    InMemoryDefaults earlier(Json{{"firstLaunch", "2020-01-02T03:04:05Z"}});
    Preferences again(earlier);
    ManualScheduler clock;
    BubbleController later({clock, [] { return std::vector<IslandScreen>{}; }, {}, {}, {}, {}});
    later.install(again, {}, {});
    EXPECT_EQ(earlier.object("firstLaunch"), Json("2020-01-02T03:04:05Z"));
    EXPECT_EQ(earlier.writes(), 0);
}

TEST(FlightTrail, GrowsFliesAndFadesOnItsTimeline) {
    using FlightTrail::at;
    struct Case {
        double t;
        bool reduce;
        FlightTrail::Frame frame;
    };
    const Case cases[] = {
        {0, false, {0, 1, 1}},  {0.375, false, {0.5, 1, 1}}, {1.2, false, {1, 0, 0}},
        {5, false, {1, 0, 0}},  {0, true, {1, 0, 1}},        {0.5, true, {1, 0, 1}},
        {0.8, true, {1, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.t);
        const FlightTrail::Frame f = at(c.t, c.reduce);
        EXPECT_NEAR(f.progress, c.frame.progress, 1e-9);
        EXPECT_NEAR(f.birdOpacity, c.frame.birdOpacity, 1e-9);
        EXPECT_NEAR(f.fade, c.frame.fade, 1e-9);
    }
    // The line is whole at 0.75 s with the bird still there; the bird is gone at 1 s while the
    // line is still fading.
    EXPECT_EQ(at(0.75, false).progress, 1);
    EXPECT_GT(at(0.75, false).birdOpacity, 0.5);
    EXPECT_EQ(at(1.0, false).birdOpacity, 0);
    EXPECT_GT(at(1.0, false).fade, 0.3);
    EXPECT_LT(at(1.0, false).fade, 1);
}

TEST(FlightTrail, TheLineIsTrimmedByLengthAlongTheBentCurve) {
    const Point from{100, 500}, to{300, 20};
    auto length = [](const std::vector<Point>& line) {
        double sum = 0;
        for (std::size_t i = 1; i < line.size(); ++i) {
            sum += std::hypot(line[i].x - line[i - 1].x, line[i].y - line[i - 1].y);
        }
        return sum;
    };
    const auto whole = FlightTrail::trimmed(from, to, 1);
    EXPECT_EQ(whole.back(), to);
    EXPECT_NEAR(length(FlightTrail::trimmed(from, to, 0.25)), length(whole) / 4, 0.01);
    EXPECT_EQ(FlightTrail::trimmed(from, to, 0).size(), 1u);
    // The curve passes right of the straight line, by half the bend at its middle.
    EXPECT_NEAR(FlightTrail::point(from, to, 0.5).x, 200 + FlightTrail::kBend / 2, 1e-9);
}

}  // namespace
}  // namespace ovra
