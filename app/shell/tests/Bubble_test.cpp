// The on-screen button: where it sits for every place and size, when it flies and when the trail
// goes, the first-launch date, and the trail's timeline.

#include <gtest/gtest.h>

#include "app/controller/Preferences.h"
#include "app/shell/BubbleController.h"
#include "app/shell/FlightTrail.h"
#include "platform/scheduler/ManualScheduler.h"

namespace ovra {
namespace {

struct Fake final : BubblePanel, TrailPanel {
    std::vector<std::string>* log;
    Rect frame_;
    bool visible = false;
    bool onLeft = false;
    explicit Fake(std::vector<std::string>* l) : log(l) {}
    void present(const Rect& f, double, bool left) override {
        frame_ = f, onLeft = left, visible = true;
    }
    void play(const Rect&, Point from, Point to, bool) override {
        visible = true;
        log->push_back("trail " + std::to_string(int(from.x)) + "," + std::to_string(int(from.y)) +
                       " to " + std::to_string(int(to.x)) + "," + std::to_string(int(to.y)));
    }
    void raise() override { log->push_back("button raised"); }
    void orderOut() override { visible = false; }
    bool isVisible() const override { return visible; }
    Rect frame() const override { return frame_; }
};

// A 1280 × 1024 screen at x 100 with a 30 pixel top panel and a 40 pixel dock on the right.
struct Rig {
    ManualScheduler clock;
    InMemoryDefaults defaults;
    Preferences prefs{defaults};
    std::vector<std::string> log;
    std::vector<IslandScreen> screens{{Rect(100, 0, 1280, 1024), Rect(100, 30, 1240, 994), 0}};
    Fake* button = nullptr;
    std::function<void()> screensChanged, desktopSwitched;
    std::optional<Point> landing = Point{1300, 15};
    BubbleController bubble{{
        clock,
        [this] { return screens; },
        [this](std::function<void()>) {
            auto made = std::make_unique<Fake>(&log);
            button = made.get();
            return std::unique_ptr<BubblePanel>(std::move(made));
        },
        [this] { return std::make_unique<Fake>(&log); },
        [] { return false; },
        [this](std::function<void()> changed, std::function<void()> switched) {
            screensChanged = std::move(changed), desktopSwitched = std::move(switched);
            return std::shared_ptr<void>();
        },
    }};

    explicit Rig(bool show = true) {
        prefs.set(keys::showBubble, show);
        bubble.install(
            prefs, [this](const Rect&) { return landing; }, [] {});
    }
};

TEST(Bubble, SitsAtTheEdgeOfTheFreeAreaForEveryPlaceAndSize) {
    Rig rig;
    const Rect visible = rig.screens[0].visibleFrame;
    for (const OvraButtonPlace place : OvraButtonPlace::allCases()) {
        for (const OvraButtonSize size : OvraButtonSize::allCases()) {
            SCOPED_TRACE(std::string(place.rawValue()) + " " + std::string(size.rawValue()));
            rig.prefs.set(keys::bubblePlace, place);
            rig.prefs.set(keys::bubbleSize, size);
            rig.bubble.refresh();
            const Rect f = rig.button->frame();
            EXPECT_EQ(f.size, (Size{size.points() + 16, size.points() + 16}));
            EXPECT_EQ(rig.button->onLeft, place.onLeft());
            EXPECT_EQ(place.onLeft() ? f.minX() : f.maxX(),
                      place.onLeft() ? visible.minX() : visible.maxX());
            const std::string_view raw = place.rawValue();
            if (raw.ends_with("Top")) {
                EXPECT_EQ(f.minY(), visible.minY() + 6);
            } else if (raw.ends_with("Bottom")) {
                EXPECT_EQ(f.maxY(), visible.maxY() - 6);
            } else {
                EXPECT_EQ(f.midY(), visible.midY());
            }
        }
    }
}

TEST(Bubble, FollowsTheFirstScreenAtOnceAndAfterADesktopSwitch) {
    Rig rig;
    rig.prefs.set(keys::bubblePlace, OvraButtonPlace::leftBottom);
    rig.screens.insert(rig.screens.begin(), {Rect(-800, 0, 800, 600), Rect(-800, 0, 800, 600), 0});
    rig.screensChanged();
    EXPECT_EQ(rig.button->frame(), Rect(-800, 600 - 96 - 6, 96, 96));
    rig.screens.erase(rig.screens.begin());
    rig.desktopSwitched();
    rig.clock.advance(0.39);
    EXPECT_EQ(rig.button->frame().minX(), -800);
    rig.clock.advance(0.02);
    EXPECT_EQ(rig.button->frame().minX(), 100);
}

TEST(Bubble, FliesOnlyWhileTheButtonShowsAndNeverShowsAHiddenOne) {
    Rig rig(false);
    rig.bubble.fly();
    EXPECT_EQ(rig.button, nullptr);
    rig.prefs.set(keys::showBubble, true);
    rig.bubble.refresh();
    rig.prefs.set(keys::showBubble, false);
    rig.bubble.refresh();
    rig.bubble.fly();
    EXPECT_TRUE(rig.log.empty());
    EXPECT_FALSE(rig.bubble.buttonShown());

    rig.prefs.set(keys::showBubble, true);
    rig.prefs.set(keys::bubblePlace, OvraButtonPlace::rightMiddle);
    rig.bubble.refresh();
    rig.bubble.fly();
    // From the middle of the button window's top edge (x 1244…1340, y 479…575), inside the
    // screen; the button goes back above the trail.
    EXPECT_EQ(rig.log, (std::vector<std::string>{"trail 1192,479 to 1200,15", "button raised"}));
    // A second flight within 1.2 s starts over and is hidden 1.2 s after itself.
    rig.clock.advance(1.0);
    rig.bubble.fly();
    rig.clock.advance(1.1);
    EXPECT_TRUE(rig.bubble.trailShown());
    rig.clock.advance(0.11);
    EXPECT_FALSE(rig.bubble.trailShown());
    rig.landing.reset();
    rig.bubble.fly();
    EXPECT_EQ(rig.log.size(), 4u);  // no landing point: no flight
    // Turning the button off hides a trail in flight too.
    rig.landing = Point{1300, 15};
    rig.bubble.fly();
    rig.prefs.set(keys::showBubble, false);
    rig.bubble.refresh();
    EXPECT_FALSE(rig.bubble.trailShown());
}

TEST(Bubble, WritesTheFirstLaunchDateOnce) {
    Rig rig;
    ASSERT_TRUE(rig.prefs.firstLaunch());
    EXPECT_LT(std::chrono::system_clock::now() - *rig.prefs.firstLaunch(), std::chrono::hours(1));
    InMemoryDefaults earlier(Json{{"firstLaunch", "2020-01-02T03:04:05Z"}});
    Preferences again(earlier);
    BubbleController({rig.clock, {}, {}, {}, {}, {}}).install(again, {}, {});
    EXPECT_EQ(earlier.writes(), 0);
}

TEST(FlightTrail, GrowsFliesAndFadesOnItsTimeline) {
    struct Case {
        double t;
        bool reduce;
        FlightTrail::Frame frame;
    };
    const Case cases[] = {{0, false, {0, 1, 1}},   {0.375, false, {0.5, 1, 1}},
                          {1.2, false, {1, 0, 0}}, {0, true, {1, 0, 1}},
                          {0.5, true, {1, 0, 1}},  {0.8, true, {1, 0, 0}}};
    for (const auto& c : cases) {
        const FlightTrail::Frame f = FlightTrail::at(c.t, c.reduce);
        EXPECT_NEAR(f.progress, c.frame.progress, 1e-9) << c.t;
        EXPECT_NEAR(f.birdOpacity, c.frame.birdOpacity, 1e-9) << c.t;
        EXPECT_NEAR(f.fade, c.frame.fade, 1e-9) << c.t;
    }
    // At 1 s the bird is gone while the line still fades.
    EXPECT_EQ(FlightTrail::at(1.0, false).birdOpacity, 0);
    EXPECT_GT(FlightTrail::at(1.0, false).fade, 0.3);
}

}  // namespace
}  // namespace ovra
