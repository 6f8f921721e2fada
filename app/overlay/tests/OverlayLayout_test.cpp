#include "app/overlay/OverlayLayout.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "PlanFixture.h"
#include "app/overlay/KeyAdapter.h"

namespace ovra {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const Size kScreen{1280, 1024};

// Controls stand at x 100, y 100, 160, 220… (see the fixture); the veiled one is wide enough
// for a label, the reachable one not.
FocusPlan mixedPlan() {
    FocusPlan plan = testing::plan({"B c1 Accept all", "B c2 Reject all", "A c3 Help",
                                    "S c4 Subscribe to Premium", "B c5 Share"});
    plan.items[2].candidate.frame = Rect(600, 100, 40, 20);
    plan.items[3].reason = "Upsell";
    plan.items.push_back(ScrollMore::item(ScrollDirection::down, Rect(0, 0, 1200, 900), {250, 52}));
    plan.beaconOrder.push_back(std::string(ScrollMore::belowID));
    return plan;
}

class OverlayLayoutTest : public ::testing::Test {
  protected:
    OverlayLayoutTest() { model_.setPhase(OverlayPhase::ready(mixedPlan())); }
    OverlayScene layout() { return OverlayLayout::layout(model_, {kScreen, {}, 200, {}}); }
    static std::vector<std::string> ids(const auto& list) {
        std::vector<std::string> out;
        for (const auto& e : list)
            out.push_back(e.id);
        return out;
    }
    OverlayModel model_;
};

TEST_F(OverlayLayoutTest, HolesFollowTheViewAndNeverCoverScrollItems) {
    const auto ys = [&] {
        std::vector<double> out;
        for (const Rect& r : OverlayLayout::holeRects(model_))
            out.push_back(r.minY());
        return out;
    };
    EXPECT_THAT(ys(), ElementsAre(100, 160, 340));
    model_.toggleShowAll();
    EXPECT_THAT(ys(), ElementsAre(100, 160, 100, 280, 340));  // plan order
    model_.toggleShowAll();
    model_.startFind();
    model_.setQuery("all");
    EXPECT_THAT(ys(), ElementsAre(100, 160));
    model_.setStale(true);
    EXPECT_THAT(ys(), IsEmpty());
    model_.setPhase(OverlayPhase::loading("Chromium"));
    EXPECT_THAT(ys(), IsEmpty());
}

TEST_F(OverlayLayoutTest, RingsCarryBadgesClearOfOneAnotherAndTheirHitTargets) {
    FocusPlan many = testing::plan(std::vector<std::string>(12, "B c Item"));
    for (std::size_t i = 0; i < many.items.size(); ++i) {
        many.items[i].candidate.id = many.beaconOrder[i] = "c" + std::to_string(i + 1);
    }
    many.items.push_back(testing::plan({"A a1 Help"}).items[0]);
    many.items.back().candidate.frame = Rect(600, 100, 30, 10);
    model_.setPhase(OverlayPhase::ready(many));
    model_.select(1);
    OverlayScene scene = layout();
    ASSERT_EQ(scene.rings.size(), 12u);
    EXPECT_EQ(scene.rings[8].badge->text, "9");
    EXPECT_EQ(scene.rings[9].badge->text, "•");
    EXPECT_TRUE(scene.rings[1].selected);
    EXPECT_EQ(scene.rings[1].lineWidth, 6);
    EXPECT_EQ(scene.rings[0].lineWidth, 4);
    for (const Ring& ring : scene.rings) {
        EXPECT_FALSE(ring.badge->frame.intersects(ring.rect)) << ring.id;
    }
    model_.toggleShowAll();  // the help control is number 13: no badge on a secondary ring
    scene = layout();
    ASSERT_EQ(scene.secondaries.size(), 1u);
    EXPECT_FALSE(scene.secondaries[0].badge);
    // A 30 × 10 control grown by 4 is still a target 44 high, centred on it.
    EXPECT_EQ(scene.hits.back().rect, Rect(583, 83, 64, 44));
}

TEST_F(OverlayLayoutTest, VeilsAreLabelledWhenRoomyAndClickableOnlyWithEverythingShown) {
    OverlayScene scene = layout();
    ASSERT_EQ(scene.veils.size(), 1u);
    EXPECT_EQ(scene.veils[0].label, "Probably: Upsell");
    EXPECT_FALSE(scene.veils[0].outlined);
    EXPECT_FALSE(scene.hits.back().id);  // takes the click, does nothing
    EXPECT_THAT(ids(scene.controls), ElementsAre("c1", "c2", "c5", "ovra.scroll.below"));
    EXPECT_EQ(scene.controls[1].name, "2, Reject all, Button");
    EXPECT_EQ(scene.controls[3].name, "4, More below");

    model_.toggleShowAll();
    scene = layout();
    EXPECT_TRUE(scene.veils[0].outlined);
    EXPECT_EQ(scene.hits.back().id, "c4");
    EXPECT_THAT(ids(scene.controls),
                ElementsAre("c1", "c2", "c5", "c3", "c4", "ovra.scroll.below"));

    FocusPlan narrow = mixedPlan();
    narrow.items[3].candidate.frame = Rect(100, 280, 60, 40);  // 66 wide with its outset
    model_.setPhase(OverlayPhase::ready(narrow));
    EXPECT_FALSE(layout().veils[0].label);
}

TEST_F(OverlayLayoutTest, HudSaysWhatTheOverlayIsDoing) {
    model_.setEngineNote("Heuristic mode");
    HudContent hud = OverlayLayout::hudContent(model_);
    EXPECT_EQ(hud.badgeText, "1");
    EXPECT_EQ(hud.label, "Accept all");
    EXPECT_EQ(hud.detail, "Button · Return to press");
    EXPECT_EQ(hud.summary, "3 to choose from · 1 distraction hidden · Heuristic mode");
    model_.setArmedID("c1");
    EXPECT_EQ(OverlayLayout::hudContent(model_).detail, "Press Return again to confirm");
    model_.setNotice("Tip");
    EXPECT_EQ(OverlayLayout::hudContent(model_).detail, "Tip");
    EXPECT_EQ(layout().panelSentence, "Tip");
    // With nothing selected (after a refusal) the notice is the headline.
    model_.setSelection(OverlayModel::noSelection);
    EXPECT_EQ(OverlayLayout::hudContent(model_).headline, "Tip");
    model_.setPhase(OverlayPhase::message("This app is not responding."));
    EXPECT_EQ(layout().panelSentence, "This app is not responding.");
    model_.setPhase(OverlayPhase::ready(mixedPlan()));
    model_.setNotice(std::nullopt);
    EXPECT_EQ(layout().panelSentence, "Nothing selected");
    model_.select(0);
    EXPECT_EQ(layout().panelSentence, "");  // the selection's rings and buttons say it

    model_.startFind();
    model_.setQuery("zz");
    hud = OverlayLayout::hudContent(model_);
    EXPECT_EQ(hud.headline, "No matches for “zz”");
    EXPECT_FALSE(hud.badgeText);
    EXPECT_EQ(hud.hints.size(), 1u);
    model_.setPhase(OverlayPhase::ready(testing::plan({"A a1 Help"})));
    model_.endFind();
    EXPECT_EQ(OverlayLayout::hudContent(model_).headline,
              "Nothing to press here. Press A to see everything.");
    model_.setPhase(OverlayPhase::loading("Files"));
    EXPECT_EQ(OverlayLayout::hudContent(model_).headline, "Simplifying Files…");
}

TEST_F(OverlayLayoutTest, HudFitsTheScreenBesideTheSidebar) {
    model_.textScale = 1.5;
    EXPECT_EQ(OverlayLayout::hudWidth(model_, kScreen), 1230);
    model_.textScale = 2;
    EXPECT_EQ(OverlayLayout::hudWidth(model_, kScreen), 1248);
    model_.setSidebar(true);
    const double sidebar = 0.34 * 1280;
    EXPECT_DOUBLE_EQ(OverlayLayout::hudWidth(model_, kScreen), 1280 - sidebar - 32);
    const Rect hud = layout().hudPlacement.frame;
    EXPECT_GE(hud.minX(), sidebar);
    EXPECT_LE(hud.maxX(), 1280);

    // Its spot is weighed beside the sidebar: a ring there, clear of the screen's middle, moves it.
    model_.textScale = 1;
    FocusPlan plan = testing::plan({"B c1 Save"});
    plan.items[0].candidate.frame = Rect(1150, 60, 100, 30);
    model_.setPhase(OverlayPhase::ready(plan));
    EXPECT_NE(layout().hudPlacement.spot, (Geometry::IslandSpot{}));
}

TEST_F(OverlayLayoutTest, ThePanelAndTheBadgesKeepToMonitorsOfDifferentSizes) {
    // A wide lower monitor offset to the right of a smaller upper one: the corners beside them
    // show nowhere.
    const Size screen{1920, 1080};
    const Rect upper(0, 0, 1280, 432), lower(320, 432, 1600, 648);
    FocusPlan plan = testing::plan({"B c1 Save", "B c2 Send"});
    plan.items[0].candidate.frame = Rect(1000, 460, 120, 40);  // where a centred panel goes
    plan.items[1].candidate.frame = Rect(330, 900, 120, 40);   // at the lower one's left edge
    model_.setPhase(OverlayPhase::ready(plan));
    const std::tuple<std::vector<Rect>, bool, double> rows[] = {{{lower, upper}, false, 1},
                                                                {{lower, upper}, true, 1},
                                                                {{lower, upper}, true, 2},
                                                                {{upper, lower}, false, 1},
                                                                {{upper, lower}, true, 1.5}};
    for (const auto& [monitors, sidebar, textScale] : rows) {
        SCOPED_TRACE(::testing::Message() << monitors.front() << " sidebar " << sidebar);
        model_.monitors = monitors;
        model_.setSidebar(sidebar);
        model_.textScale = textScale;
        const OverlayScene scene = OverlayLayout::layout(model_, {screen, {}, 200, {}});
        const Rect hud = scene.hudPlacement.frame;
        EXPECT_TRUE(monitors.front().contains(hud)) << hud;
        EXPECT_FALSE(hud.intersects(scene.rings[0].rect));
        if (sidebar) {
            EXPECT_GE(hud.minX(), OverlayLayout::sidebarWidth(screen.width, textScale));
        }
        for (const Ring& ring : scene.rings) {
            EXPECT_TRUE(lower.contains(ring.badge->frame)) << ring.id;
        }
    }
    // Without monitors the whole overlay is one.
    model_.monitors.clear();
    model_.setSidebar(false);
    model_.textScale = 1;
    const OverlayScene whole = OverlayLayout::layout(model_, {screen, {}, 200, {}});
    EXPECT_LT(whole.rings[1].badge->frame.minX(), lower.minX());
}

TEST(OverlaySpace, AccessibilityFramesBecomeLogicalPixelsOfTheCoveredScreen) {
    EXPECT_EQ(
        OverlaySpace::fromAccessibility(Rect(2120, 140, 200, 80), Rect(1920, 0, 3840, 2160), 2),
        Rect(100, 70, 100, 40));
    const Connector toRight =
        OverlayLayout::connector(Rect(0, 100, 300, 40), Rect(500, 300, 80, 20));
    EXPECT_EQ(toRight.end, (Point{500, 310}));
    EXPECT_EQ(toRight.control1, (Point{400, 120}));
    EXPECT_EQ(OverlayLayout::connector(Rect(0, 100, 300, 40), Rect(100, 300, 80, 20)).end,
              (Point{180, 310}));
}

TEST(KeyAdapter, PlacesKeysDropsModifiersAndFlagsRepeats) {
    auto made = keyboard::KeyboardLayout::fromNames("de");
    ASSERT_TRUE(made);
    const keyboard::KeyboardLayout& de = made.value();
    EXPECT_EQ(KeyAdapter::adapt({.modifierOnly = true, .shift = true}, &de), std::nullopt);
    // X key code 38 is the A position; Ctrl+A types "a", never a control character.
    EXPECT_EQ(KeyAdapter::adapt({.xKeycode = 38, .text = "\x01", .ctrl = true}, &de),
              (KeyInput{0, "a", false, true, false, false, false}));
    // 52 is the Z position of a US keyboard, where a German one types Y; held, it repeats.
    EXPECT_EQ(KeyAdapter::adapt({.xKeycode = 52, .shift = true, .autoRepeat = true}, &de),
              (KeyInput{6, "Y", true, false, false, false, true}));
    EXPECT_EQ(KeyAdapter::adapt({.xKeycode = 9}, &de)->keyCode, 53);
    // No X key code: placed by Qt's key; a key that types nothing gets its private-use character.
    EXPECT_EQ(KeyAdapter::adapt({.qtKey = 0x01000017}, nullptr),
              (KeyInput{121, "\xEF\x9C\xAD", false, false, false, false, false}));
    const auto backtab = KeyAdapter::adapt({.qtKey = 0x01000002}, nullptr);
    EXPECT_TRUE(backtab->shift);
    EXPECT_EQ(backtab->keyCode, 48);
}

TEST(IslandChrome, OpensFromTheNotchOrATabAndOnlyFadesUnderReduceMotion) {
    const IslandChrome notched{{185, 32}, true, 820};
    EXPECT_TRUE(notched.look(0, false).notched);
    EXPECT_LT(notched.look(0, false).scaleX, 1);
    EXPECT_FALSE((IslandChrome{{0, 24}, true, 820}.look(0, false).notched));
    const IslandChromeLook faded = notched.look(0.5, true);
    EXPECT_EQ(faded.scaleX, 1);
    EXPECT_EQ(faded.opacity, 0.5);
    EXPECT_EQ(IslandGeometry::of(Rect(0, 0, 1280, 1024), Rect(0, 24, 1280, 1000), false),
              (IslandGeometry{0, 24}));
}

}  // namespace
}  // namespace ovra
