#include "core/Visibility.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

#include "core/Text.h"

namespace ovra {
namespace {

TEST(Visibility, AFrameThatMeetsTheScreenIsPlausibleWhateverItsSize) {
    const Rect area(0, 0, 1280, 1024);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double big = INT_MAX;
    const struct {
        Rect frame;
        bool plausible;
    } cases[] = {
        {Rect(10, 10, 100, 30), true},
        {Rect(0, 0, 0, 0), false},           // empty: nothing of it shows
        {Rect(0, -2000, 1280, 5000), true},  // a tall part of a page
        {Rect(40, 200, 900, 12000), true},   // an editor twelve thousand points tall
        {Rect(0, 0, 1e9, 30), true},         // a billion points wide, on screen all the same
        {Rect(0, 0, big, big), true},        // a toolkit's INT_MAX sizes
        {Rect(nan, 0, 10, 10), false},
        {Rect(Point{0, 0}, Size{10, -5}), false},  // a negative size
        {Rect(-big, -big, 10, 10), false},         // beyond every screen
        {Rect(0, 6 * 1280, 10, 10), false},
    };
    // A small window's controls are measured against what it shows, whatever their size.
    EXPECT_TRUE(Visibility::isPlausibleFrame(Rect(0, 0, 300, 5000), Rect(0, 0, 300, 200)));
    EXPECT_FALSE(Visibility::isPlausibleFrame(Rect(0, 300, 300, 5000), Rect(0, 0, 300, 200)));
    for (const auto& c : cases) {
        EXPECT_EQ(Visibility::isPlausibleFrame(c.frame, area), c.plausible)
            << c.frame.minX() << "," << c.frame.minY() << " " << c.frame.width() << "x"
            << c.frame.height();
    }
}

TEST(Visibility, OnlyFramesNearlyInOnePlaceAreLaidOverEachOther) {
    const Rect button(0, 0, 200, 40);
    EXPECT_TRUE(Visibility::nearlyCoincide(button, button));
    EXPECT_TRUE(Visibility::nearlyCoincide(button, Rect(10, 5, 180, 36)));    // nearly the same
    EXPECT_FALSE(Visibility::nearlyCoincide(button, Rect(0, 40, 200, 40)));   // side by side
    EXPECT_FALSE(Visibility::nearlyCoincide(button, Rect(150, 0, 200, 40)));  // a quarter shared
    // A small button in the corner of a card, a chip's remove button inside its link, a
    // thumbnail's play button: each is a control of its own.
    EXPECT_FALSE(Visibility::nearlyCoincide(Rect(0, 0, 75, 116), Rect(49, 2, 24, 24)));
    EXPECT_FALSE(Visibility::nearlyCoincide(Rect(0, 0, 50, 28), Rect(30, 6, 16, 16)));
    EXPECT_FALSE(Visibility::nearlyCoincide(Rect(0, 0, 120, 68), Rect(40, 14, 40, 40)));
    EXPECT_FALSE(Visibility::nearlyCoincide(button, Rect(0, 0, 0, 0)));
}

TEST(Visibility, OfLaidControlsOnlyTheOneSeenIsOffered) {
    using Visibility::LaidControl;
    const Rect spot(20, 220, 200, 40);
    const std::optional<bool> unknown;
    const std::optional<std::size_t> noHit;
    const struct {
        const char* what;
        std::vector<LaidControl> controls;
        std::optional<std::size_t> onTop;  // what the hit test finds
        std::vector<std::size_t> hidden;
        int untold;
    } cases[] = {
        {"an invisible control over a visible one (the toolkit tells opacity)",
         {{spot, true, false, {0, 1}}, {spot, false, false, {0, 2}}},
         noHit,
         {1},
         0},
        {"the same, laid the other way round",
         {{spot, false, false, {0, 1}}, {spot, true, false, {0, 2}}},
         noHit,
         {0},
         0},
        {"siblings in one place and nothing tells which is seen: neither is offered",
         {{spot, unknown, false, {0, 1}}, {spot, unknown, false, {0, 2}}},
         1,
         {0, 1},
         1},
        {"siblings both drawn opaque: which one lies on top is not which one is drawn",
         {{spot, true, false, {0, 1}}, {spot, true, false, {0, 2}}},
         1,
         {0, 1},
         1},
        {"an open menu's item the hit test finds over the page below",
         {{spot, unknown, false, {0, 1}}, {spot, unknown, true, {0, 5, 0}}},
         1,
         {0},
         0},
        {"a raised control the hit test does not find on top hides nothing",
         {{spot, unknown, false, {0, 1}}, {spot, unknown, true, {0, 5, 0}}},
         0,
         {},
         0},
        {"of different containers, a slightly transparent one is still seen over the page",
         {{spot, true, false, {0, 1}}, {spot, false, false, {1, 0}}},
         1,
         {},
         0},
        {"controls of different containers, neither raised, both stay",
         {{spot, unknown, false, {0, 1}}, {spot, unknown, false, {1, 0}}},
         1,
         {},
         0},
        {"a control inside another is no overlap",
         {{spot, unknown, false, {0, 1}}, {spot, unknown, false, {0, 1, 0}}},
         noHit,
         {},
         0},
        {"apart, both are offered",
         {{spot, unknown, false, {0, 1}}, {Rect(20, 300, 200, 40), unknown, false, {0, 2}}},
         noHit,
         {},
         0},
        {"two alike (same role and label) in one place: one is offered",
         {{spot, unknown, false, {1}, "AXButton", "B"},
          {spot, unknown, false, {2}, "AXButton", "B"}},
         noHit,
         {1},
         0},
        {"alike, the page's after a dialog's: the dialog's is offered",
         {{spot, unknown, true, {1, 0}, "AXButton", "Delete"},
          {spot, unknown, false, {2, 0}, "AXButton", "Delete"}},
         noHit,
         {1},
         0},
        {"alike, a dialog's after the page's, the hit test finding the dialog's",
         {{spot, unknown, false, {1, 0}, "AXButton", "Delete"},
          {spot, unknown, true, {2, 0}, "AXButton", "Delete"}},
         1,
         {0},
         0},
        {"alike, a dialog's the hit test finds under the page's",
         {{spot, unknown, false, {1, 0}, "AXButton", "Delete"},
          {spot, unknown, true, {2, 0}, "AXButton", "Delete"}},
         0,
         {1},
         0},
        {"a third control over the winner of one pair hides it too",
         {{spot, true, false, {1}}, {spot, false, false, {2}}, {spot, unknown, false, {3}}},
         noHit,
         {0, 1, 2},
         1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const auto overlaps = Visibility::hiddenByOverlap(
            c.controls, [&](std::size_t, std::size_t, Point) { return c.onTop; });
        EXPECT_EQ(overlaps.hidden, c.hidden);
        EXPECT_EQ(overlaps.untold, c.untold);
    }
}

// Boxes of a page as the cover rules see them, read from compact rows.
struct Row {
    std::vector<int> path;
    Rect frame;
    Visibility::Box::Kind kind = Visibility::Box::Kind::container;
    std::optional<bool> opaque = std::nullopt;
    bool clips = false;
    bool inPage = false;
};

TEST(Visibility, SuspectsAreControlsSomethingElseMayCoverOrClip) {
    using Kind = Visibility::Box::Kind;
    const Rect viewport(0, 0, 1200, 800);
    const Rect page(0, 0, 1200, 3000);
    const Rect button(20, 700, 120, 30);
    const struct {
        const char* what;
        std::vector<Row> rows;  // the window, the page, ... the control examined is row 2
        bool unsettled;
        bool suspect;
        std::optional<Rect> pointIn;  // where the point to ask at must lie
    } cases[] = {
        {"a button alone in its part of the page",
         {{{}, viewport}, {{0}, page}, {{0, 0}, button, Kind::control}},
         false,
         false,
         std::nullopt},
        {"a banner laid over it, with buttons of its own: the toolkit is asked",
         {{{}, viewport},
          {{0}, page},
          {{0, 0}, button, Kind::control},
          {{0, 1}, Rect(0, 680, 1200, 120)},
          {{0, 1, 0}, Rect(20, 760, 100, 30), Kind::control}},
         false,
         true,
         button},
        {"a box holding nothing laid over it later in the page (a banner, or a fade the pointer "
         "passes through): asked, never covered by its frame alone",
         {{{}, viewport},
          {{0}, page},
          {{0, 0}, button, Kind::control},
          {{0, 1}, Rect(10, 690, 240, 56)}},
         false,
         true,
         button},
        {"a layer over the whole page holding nothing (a tour's dimmed page with its spotlight)",
         {{{}, viewport}, {{0}, page}, {{0, 0}, button, Kind::control}, {{0, 1}, viewport}},
         false,
         true,
         button},
        {"a box drawn fully transparent covers nothing",
         {{{}, viewport},
          {{0}, page},
          {{0, 0}, button, Kind::control},
          {{0, 1}, Rect(10, 690, 240, 56), Kind::container, false}},
         false,
         false,
         std::nullopt},
        {"a fixed header over its top half: it shows below it, nothing to ask",
         {{{}, viewport},
          {{0}, Rect(0, 680, 1200, 35)},
          {{1, 0}, button, Kind::control},
          {{1}, page}},
         false,
         false,
         std::nullopt},
        {"the page's main box laid over a side menu's item but its edge: seen there",
         {{{}, viewport},
          {{0}, page},
          {{0, 0}, Rect(5, 207, 263, 40), Kind::control},
          {{0, 1}, Rect(28, 199, 987, 773)}},
         false,
         false,
         std::nullopt},
        {"a box leaving only a thin edge of it free: asked",
         {{{}, viewport},
          {{0}, page},
          {{0, 0}, Rect(5, 207, 263, 40), Kind::control},
          {{0, 1}, Rect(10, 199, 987, 773)}},
         false,
         true,
         std::nullopt},
        {"text runs wrap over their neighbours and cover nothing",
         {{{}, viewport},
          {{0}, page},
          {{0, 0}, button, Kind::control},
          {{0, 1}, Rect(0, 690, 1200, 60), Kind::text}},
         false,
         false,
         std::nullopt},
        {"a chip's link shows beside its remove button: nothing to ask",
         {{{}, viewport},
          {{0}, Rect(20, 700, 48, 28)},
          {{0, 0}, Rect(20, 700, 48, 28), Kind::control},
          {{0, 1}, Rect(50, 706, 16, 16), Kind::control}},
         false,
         false,
         std::nullopt},
        {"a chip's remove button inside its link, after it: drawn over it",
         {{{}, viewport},
          {{0}, Rect(20, 700, 48, 28)},
          {{0, 1}, Rect(50, 706, 16, 16), Kind::control},
          {{0, 0}, Rect(20, 700, 48, 28), Kind::control}},
         false,
         false,
         std::nullopt},
        {"a button inside a link that comes after it: asked",
         {{{}, viewport},
          {{0}, Rect(20, 700, 48, 28)},
          {{0, 0}, Rect(50, 706, 16, 16), Kind::control},
          {{0, 1}, Rect(20, 700, 48, 28), Kind::control}},
         false,
         true,
         Rect(50, 706, 16, 16)},
        {"a slide outside its carousel",
         {{{}, viewport},
          {{0}, Rect(20, 100, 300, 60)},
          {{0, 0, 1}, Rect(320, 100, 280, 50), Kind::control},
          {{0, 0}, Rect(20, 100, 900, 50)}},
         false,
         true,
         Rect(320, 100, 280, 50)},
        {"a page's control leaving its ancestor (a button taller than its inline wrapper, a "
         "float in a collapsed list): the browser's states tell what is clipped away",
         {{{}, viewport},
          {{0}, page, Kind::container, std::nullopt, false, true},
          {{0, 0, 1}, Rect(320, 100, 280, 50), Kind::control, std::nullopt, false, true},
          {{0, 0}, Rect(20, 100, 300, 0), Kind::container, std::nullopt, false, true}},
         false,
         false,
         std::nullopt},
        {"a page's slide wholly outside its carousel: asked, since the browser's states may not "
         "tell the clip from content let overflow (a dropdown below its field)",
         {{{}, viewport},
          {{0}, page, Kind::container, std::nullopt, false, true},
          {{0, 0, 1}, Rect(320, 100, 280, 50), Kind::control, std::nullopt, false, true},
          {{0, 0}, Rect(20, 100, 300, 60), Kind::container, std::nullopt, false, true}},
         false,
         true,
         Rect(320, 100, 280, 50)},
        {"a page read while it scrolls, a moment apart from its content, clips nothing more",
         {{{}, viewport, Kind::container, std::nullopt, true},
          {{0}, Rect(0, 100, 1200, 3000), Kind::container, std::nullopt, true},
          {{0, 0}, Rect(20, 0, 120, 30), Kind::control}},
         false,
         false,
         std::nullopt},
        {"a bar of the browser's own laid over a page's control is the browser's",
         {{{}, viewport},
          {{0}, page, Kind::container, std::nullopt, false, true},
          {{0, 0}, button, Kind::control, std::nullopt, false, true},
          {{1}, Rect(0, 690, 1200, 20)}},
         false,
         false,
         std::nullopt},
        {"a control the browser cannot tell is drawn yet",
         {{{}, viewport}, {{0}, page}, {{0, 0}, button, Kind::control}},
         true,
         true,
         button},
        {"another control in nearly the same place is for the overlap rules",
         {{{}, viewport},
          {{0}, page},
          {{0, 0}, button, Kind::control},
          {{0, 1}, Rect(22, 701, 118, 29), Kind::control}},
         false,
         false,
         std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<Visibility::Box> boxes;
        for (const Row& row : c.rows) {
            boxes.push_back({row.frame, row.path, row.kind, row.opaque, row.clips, row.inPage});
        }
        const Rect visible = boxes[2].frame.intersection(viewport);
        const auto exams =
            Visibility::examine(boxes, {{.box = 2, .visible = visible, .unsettled = c.unsettled}});
        ASSERT_EQ(exams.size(), 1U);
        EXPECT_EQ(exams[0].suspect, c.suspect);
        EXPECT_EQ(exams[0].onlyStates, c.unsettled && c.suspect && c.rows.size() == 3);
        if (c.pointIn) {
            EXPECT_TRUE(c.pointIn->contains(exams[0].at)) << exams[0].at;
        }
    }
    // A control with nothing left inside the viewport and its clips is unseen, and not asked.
    const std::vector<Visibility::Box> beyond = {
        {viewport, {}}, {page, {0}}, {Rect(20, 900, 120, 30), {0, 0}, Kind::control}};
    const auto gone = Visibility::examine(beyond, {{.box = 2, .visible = Rect::null()}});
    ASSERT_EQ(gone.size(), 1U);
    EXPECT_TRUE(gone[0].unseen);
    EXPECT_FALSE(gone[0].suspect);
    // A column's resize handle is a sliver; a small icon button is not.
    EXPECT_TRUE(Visibility::isSliver(Rect(728, 508, 6, 29)));
    EXPECT_FALSE(Visibility::isSliver(Rect(84, 266, 24, 16)));
    // A control under a header's edge whose states do not settle it is asked where it shows.
    const std::vector<Visibility::Box> underHeader = {{viewport, {}},
                                                      {Rect(0, 680, 1200, 35), {0}},
                                                      {button, {1, 0}, Kind::control},
                                                      {page, {1}}};
    const auto exams = Visibility::examine(
        underHeader, {{.box = 2, .visible = button.intersection(viewport), .unsettled = true}});
    ASSERT_EQ(exams.size(), 1U);
    EXPECT_TRUE(exams[0].suspect);
    EXPECT_TRUE(exams[0].onlyStates);
    EXPECT_TRUE(Rect(20, 715, 120, 15).contains(exams[0].at)) << exams[0].at;
}

TEST(Visibility, WhatLiesUnderTheCoverFoundIsNotAskedAgain) {
    using Kind = Visibility::Box::Kind;
    // The window; the page with three buttons, one beyond the cover; the cover with a button
    // of its own; an aside beside the page with a button under the cover too.
    const std::vector<Visibility::Box> boxes = {
        {Rect(0, 0, 1200, 800), {}},
        {Rect(0, 0, 900, 3000), {0}},
        {Rect(20, 700, 120, 30), {0, 0}, Kind::control},
        {Rect(200, 700, 120, 30), {0, 1}, Kind::control},
        {Rect(20, 100, 120, 30), {0, 2}, Kind::control},
        {Rect(0, 650, 1200, 150), {1}},
        {Rect(20, 760, 120, 30), {1, 0}, Kind::control},
        {Rect(900, 0, 300, 3000), {2}},
        {Rect(950, 700, 120, 30), {2, 0}, Kind::control},
    };
    const auto shown = [&](std::size_t box) {
        return Visibility::Shown{.box = box, .visible = boxes[box].frame};
    };
    EXPECT_TRUE(Visibility::underSameCover(boxes, shown(2), 5, shown(3)));
    EXPECT_FALSE(Visibility::underSameCover(boxes, shown(2), 5, shown(4)));  // beyond it
    EXPECT_FALSE(Visibility::underSameCover(boxes, shown(2), 5, shown(6)));  // the cover's own
    EXPECT_FALSE(Visibility::underSameCover(boxes, shown(2), 5, shown(8)));  // another layer
}

TEST(Visibility, WhatOnlyTheSameBoxesLieOverIsSeenOnceOneIsFoundSeen) {
    using Kind = Visibility::Box::Kind;
    // The window; a side menu with three items; the page's main box, laid over the whole menu;
    // a banner over the first item only; a menu item in another part of the window.
    const std::vector<Visibility::Box> boxes = {
        {Rect(0, 0, 1200, 800), {}},
        {Rect(0, 0, 270, 800), {0}},
        {Rect(5, 200, 260, 40), {0, 0}, Kind::control},
        {Rect(5, 240, 260, 40), {0, 1}, Kind::control},
        {Rect(5, 280, 260, 40), {0, 2}, Kind::control},
        {Rect(0, 190, 1000, 600), {1}},
        {Rect(0, 190, 1200, 20), {2}},
        {Rect(5, 600, 260, 40), {3, 0}, Kind::control},
    };
    std::vector<Visibility::Shown> shown;
    for (const std::size_t box : {2U, 3U, 4U, 7U}) {
        shown.push_back({.box = box, .visible = boxes[box].frame});
    }
    const auto exams = Visibility::examine(boxes, shown);
    ASSERT_EQ(exams.size(), 4U);
    for (const auto& exam : exams) {
        EXPECT_TRUE(exam.suspect);
    }
    // The second item found seen: the third lies under the main box alone, as it does.
    EXPECT_TRUE(Visibility::clearOfSameBoxes(boxes, shown[1], exams[1], shown[2], exams[2]));
    // The first lies under the banner too; the last item is of another part of the window.
    EXPECT_FALSE(Visibility::clearOfSameBoxes(boxes, shown[1], exams[1], shown[0], exams[0]));
    EXPECT_FALSE(Visibility::clearOfSameBoxes(boxes, shown[1], exams[1], shown[3], exams[3]));
}

TEST(Visibility, APageNamesABackgroundByAWordOfItsIdOrClass) {
    for (const char* name : {"background", "stateBackground", "card hero-background",
                             "modal_background", "BACKGROUND"}) {
        EXPECT_TRUE(Visibility::namesABackground(name)) << name;
    }
    for (const char* name : {"", "bg-white", "backgrounds", "nobackground", "foreground",
                             "loading-cover", "backdrop"}) {
        EXPECT_FALSE(Visibility::namesABackground(name)) << name;
    }
}

TEST(BoundedText, CutsOnACharacterBoundary) {
    EXPECT_EQ(text::boundedUtf8("short", 8), "short");
    EXPECT_EQ(text::boundedUtf8("abcdef", 4), "abcd");
    // "é" is two bytes and "€" three: a cut inside either drops the whole character.
    EXPECT_EQ(text::boundedUtf8("ab\xC3\xA9", 3), "ab");
    EXPECT_EQ(text::boundedUtf8("a\xE2\x82\xAC"
                                "b",
                                3),
              "a");
    EXPECT_EQ(text::boundedUtf8("a\xE2\x82\xAC"
                                "b",
                                4),
              "a\xE2\x82\xAC");
    const std::string megabyte(1 << 20, 'n');
    EXPECT_EQ(text::boundedUtf8(megabyte).size(), text::kMaxForeignTextBytes);
}

}  // namespace
}  // namespace ovra
