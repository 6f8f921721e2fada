#include "app/overlay/KeyHints.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "PlanFixture.h"
#include "app/overlay/OverlayModel.h"

namespace ovra {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::vector<std::string> labels(const KeyHintRow& row) {
    std::vector<std::string> out;
    for (const KeyHint& hint : row)
        out.push_back(hint.chip + " " + hint.label);
    return out;
}

TEST(KeyHints, EachStateHasItsRows) {
    OverlayModel model;
    model.setPhase(OverlayPhase::loading("Files"));
    EXPECT_THAT(KeyHints::rows(model), IsEmpty());
    model.setPhase(OverlayPhase::message("No app is in front."));
    EXPECT_THAT(KeyHints::rows(model), ElementsAre(ElementsAre(KeyHint{"Esc", "close"})));

    model.setPhase(OverlayPhase::ready(testing::plan({"B c1 Save"})));
    auto rows = KeyHints::rows(model);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_THAT(labels(rows[0]), ElementsAre("Tab / → next", "1 to 9 jump", "Return press", "W why",
                                             "S sidebar", "A show all", "Esc close"));
    EXPECT_THAT(labels(rows[1]), ElementsAre("F find", "J / K scroll", "Page Down next screen"));

    model.setSidebar(true);
    model.setShowAll(true);
    model.setArmedID("c1");
    EXPECT_THAT(labels(KeyHints::rows(model)[0]),
                ElementsAre("Tab / → next", "1 to 9 jump", "Return confirm", "W why", "S ovras",
                            "A fewer", "Esc close"));
    model.setFinding(true);
    EXPECT_THAT(KeyHints::rows(model),
                ElementsAre(ElementsAre(KeyHint{"↑ ↓", "next match"}, KeyHint{"Return", "confirm"},
                                        KeyHint{"Esc", "leave find"})));
}

TEST(HintFlow, MeasuresNothingOrOneLineWithoutAWidth) {
    const HintFlow flow{18, 10};
    EXPECT_EQ(flow.sizeThatFits({}, 300.0), (Size{0, 0}));
    EXPECT_THAT(flow.lines({}, 300), ElementsAre(IsEmpty()));
    const std::vector<Size> sizes{{100, 20}, {200, 30}, {50, 20}};
    EXPECT_EQ(flow.sizeThatFits(sizes, std::nullopt), (Size{386, 30}));
    EXPECT_THAT(flow.lines(sizes, 385), ElementsAre(ElementsAre(0u, 1u), ElementsAre(2u)));
}

// Laid again in the width it measured, a line keeps its items whatever the rounding of its sums
// (at a text scale of 1.458), so no hint is drawn over the next line.
TEST(HintFlow, ALineKeepsItsItemsInItsOwnMeasuredWidth) {
    const HintFlow flow{26.244, 10};
    const std::vector<Size> sizes{{141.86339999999998, 20}, {43.21, 20}, {141.86339999999998, 20}};
    const Size fits = flow.sizeThatFits(sizes, 900.0);
    EXPECT_THAT(flow.lines(sizes, fits.width), ElementsAre(ElementsAre(0u, 1u, 2u)));
}

TEST(HintFlow, LinesAreCentredAndItemsCentredOnTheirLine) {
    const HintFlow flow{10, 5};
    const std::vector<Size> sizes{{100, 20}, {60, 30}, {500, 24}, {40, 10}};
    // 100 + 10 + 60 fits 200; the wide chip stands alone and overhangs both sides.
    EXPECT_THAT(flow.lines(sizes, 200),
                ElementsAre(ElementsAre(0u, 1u), ElementsAre(2u), ElementsAre(3u)));
    EXPECT_EQ(flow.sizeThatFits(sizes, 200.0), (Size{200, 30 + 5 + 24 + 5 + 10}));
    EXPECT_THAT(flow.place(sizes, Rect(0, 0, 200, 100)),
                ElementsAre(Point{15, 5}, Point{125, 0}, Point{-150, 35}, Point{80, 64}));
}

}  // namespace
}  // namespace ovra
