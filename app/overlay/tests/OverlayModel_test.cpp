#include "app/overlay/OverlayModel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>

#include "PlanFixture.h"

namespace ovra {
namespace {

using F = OverlayField;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Five numbered highlights, one reachable control, one veiled one.
FocusPlan fivePlan() {
    return testing::plan({"B c1 Save", "B c2 Send", "A c3 Help", "B c4 Share", "B c5 Sign in",
                          "S c6 Premium plans", "B c7 Subscribe"});
}

class OverlayModelTest : public ::testing::Test {
  protected:
    OverlayModelTest() {
        model_.subscribe([this](F field) { writes_.push_back(field); });
    }
    // The fields written by `operation`, in order.
    std::vector<F> writesOf(const std::function<void()>& operation) {
        writes_.clear();
        operation();
        return writes_;
    }
    void ready() { model_.setPhase(OverlayPhase::ready(fivePlan())); }
    std::string selectedID() const { return model_.selectedItem().value_or(FocusItem{}).id(); }

    OverlayModel model_;
    std::vector<F> writes_;
};

TEST_F(OverlayModelTest, NothingIsWalkedOrSelectedWithoutAPlan) {
    for (auto phase : {OverlayPhase::loading("Chromium"), OverlayPhase::message("No app")}) {
        model_.setPhase(phase);
        model_.setSidebar(true);
        EXPECT_THAT(model_.navigationOrder(), IsEmpty());
        EXPECT_THAT(model_.sidebarSections(), IsEmpty());
        EXPECT_EQ(model_.selectedItem(), std::nullopt);
        EXPECT_EQ(model_.number("c1"), std::nullopt);
        model_.setNotice("kept");
        EXPECT_THAT(writesOf([&] { model_.move(1); }), IsEmpty());
        EXPECT_EQ(model_.notice(), "kept");
    }
}

TEST_F(OverlayModelTest, MovesWrapBothWaysAndSelectIsUnchecked) {
    ready();
    struct Case {
        int from, step, to;
    } cases[] = {{4, 1, 0},  {0, -1, 4}, {1, 12, 3},
                 {1, -7, 4}, {-1, 1, 0}, {-1, -1, 4}};  // from nothing: the first, the last
    for (const Case& c : cases) {
        model_.setSelection(c.from);
        EXPECT_THAT(writesOf([&] { model_.move(c.step); }),
                    ElementsAre(F::armedID, F::explainID, F::notice, F::selection));
        EXPECT_EQ(model_.selection(), c.to) << c.from << " by " << c.step;
    }
    model_.setPhase(OverlayPhase::ready(testing::plan({"B a One", "B b Two", "B c Three"})));
    EXPECT_THAT(writesOf([&] { model_.select(9); }),
                ElementsAre(F::armedID, F::explainID, F::notice, F::selection));
    EXPECT_EQ(model_.selection(), 9);
    EXPECT_EQ(model_.selectedItem(), std::nullopt);
    model_.move(1);  // (9 + 1 + 3) remainder 3
    EXPECT_EQ(model_.selection(), 1);
    // Numbers are positions of an id's first occurrence.
    model_.setPhase(OverlayPhase::ready(testing::plan({"B a One", "B b Two", "B a Three"})));
    EXPECT_EQ(model_.number("a"), 1);
    EXPECT_EQ(model_.number("c"), std::nullopt);
}

TEST_F(OverlayModelTest, ViewChangesWriteTheirFieldsInOrderAndKeepTheSelectedItem) {
    ready();
    model_.select(1);  // c2, the second highlight
    model_.setExplainID("c2");
    model_.setNotice("tip");
    EXPECT_THAT(writesOf([&] { model_.toggleShowAll(); }),
                ElementsAre(F::armedID, F::showAll, F::selection));
    EXPECT_THAT(model_.navigationOrder(), ElementsAre("c1", "c2", "c4", "c5", "c7", "c3", "c6"));
    EXPECT_EQ(selectedID(), "c2");
    EXPECT_EQ(model_.explainID(), "c2");  // show-all keeps an explanation and a notice
    EXPECT_EQ(model_.notice(), "tip");

    model_.select(5);  // c3, reachable only
    EXPECT_THAT(writesOf([&] { model_.toggleSidebar(); }),
                ElementsAre(F::armedID, F::explainID, F::notice, F::sidebar, F::selection));
    EXPECT_EQ(selectedID(), "c3");
    EXPECT_EQ(model_.explainID(), std::nullopt);

    model_.toggleSidebar();
    model_.toggleShowAll();  // c3 is not a highlight: back to the first entry
    EXPECT_EQ(model_.selection(), 0);
    model_.select(40);  // nothing selected: 0 after the change
    model_.toggleShowAll();
    EXPECT_EQ(model_.selection(), 0);
    // Nothing selected on purpose stays so through view changes.
    model_.setSelection(OverlayModel::noSelection);
    model_.toggleShowAll();
    model_.toggleSidebar();
    EXPECT_EQ(model_.selection(), OverlayModel::noSelection);
}

TEST_F(OverlayModelTest, FindWinsOverTheSidebarAndWritesOnlyChangedQueries) {
    ready();
    model_.setSidebar(true);
    model_.select(3);  // c5
    EXPECT_THAT(
        writesOf([&] { model_.startFind(); }),
        ElementsAre(F::armedID, F::explainID, F::notice, F::query, F::finding, F::selection));
    EXPECT_THAT(writesOf([&] { model_.setQuery(""); }), IsEmpty());
    model_.setNotice("tip");
    EXPECT_THAT(writesOf([&] { model_.setQuery("s"); }),
                ElementsAre(F::armedID, F::explainID, F::notice, F::query, F::selection));
    EXPECT_THAT(writesOf([&] { model_.setQuery("s"); }), IsEmpty());
    EXPECT_THAT(model_.navigationOrder(), ElementsAre("c1", "c2", "c4", "c5", "c7", "c6"));
    ASSERT_EQ(model_.sidebarSections().size(), 1u);
    EXPECT_EQ(model_.sidebarSections()[0].id, "find");

    model_.setQuery("sign");
    EXPECT_THAT(model_.navigationOrder(), ElementsAre("c5"));
    model_.setNotice("kept");
    EXPECT_THAT(writesOf([&] { model_.endFind(); }),
                ElementsAre(F::armedID, F::explainID, F::finding, F::query, F::selection));
    EXPECT_EQ(model_.notice(), "kept");
    EXPECT_EQ(selectedID(), "c5");  // looked up in the sidebar's order

    model_.startFind();
    model_.setQuery("zzz");
    EXPECT_THAT(model_.navigationOrder(), IsEmpty());
    EXPECT_THAT(model_.sidebarSections(), IsEmpty());  // no "Matches" heading
}

}  // namespace
}  // namespace ovra
