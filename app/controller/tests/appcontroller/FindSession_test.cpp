// Find in the open overlay: how it opens and closes, its wider reading, and the keys of its
// field.

#include "app/controller/tests/appcontroller/AppControllerFixture.h"

namespace ovra::controllertest {
namespace {

TEST_F(AppControllerTest, FindOpensAndClosesAsTheMatrixSays) {
    const auto items = [](int n) {
        std::vector<std::string> out;
        for (int i = 1; i <= n; ++i) {
            out.push_back("Item " + std::to_string(i));
        }
        return out;
    };
    for (const bool sidebar : {false, true}) {
        for (const bool cutOff : {false, true}) {
            for (const bool scrolled : {false, true}) {
                SCOPED_TRACE(::testing::Message() << sidebar << cutOff << scrolled);
                prefs_.set(keys::sidebar, sidebar);
                open(items(cutOff ? 24 : 9));
                const std::size_t reads = worker_.reads.size();
                press(key(3, "f"));
                EXPECT_TRUE(controller().overlay().finding() && controller().overlay().sidebar());
                EXPECT_EQ(worker_.reads.size(), reads + (cutOff ? 1 : 0));  // the widening
                EXPECT_THAT(announced_.back(), ::testing::StartsWith("Find. Type or say part"));
                const int focus = controller().overlay().findFocusRequest();
                press(key(3, "f", false, false, true));  // again: the field takes the keys
                EXPECT_EQ(controller().overlay().findFocusRequest(), focus + 1);
                if (cutOff) {
                    EXPECT_EQ(worker_.reads.back().request.maxCandidates, 150);
                    finishRead(worker_.reads.size() - 1, window(items(40)));
                    EXPECT_EQ(labels().size(), 40u);
                }
                if (scrolled) {
                    press(key(121, "\uF72D"));
                    worker_.scrolls.back().second(Scroller::Method::scrollBar);
                    scheduler_.advance(0.3);
                    finishRead(worker_.reads.size() - 1, window(items(30)));
                }
                const std::size_t before = worker_.reads.size();
                press(kEscape);
                EXPECT_FALSE(controller().overlay().finding());
                EXPECT_EQ(controller().overlay().sidebar(), sidebar);
                // Scrolled: read afresh; else the list shown before find.
                EXPECT_EQ(worker_.reads.size(), before + (scrolled ? 1 : 0));
                if (!scrolled) {
                    EXPECT_EQ(controller().snapshot()->window.candidates.size(), cutOff ? 24u : 9u);
                }
                EXPECT_THAT(announced_.back(), ::testing::StartsWith("Find closed."));
                EXPECT_EQ(overlay_->calls.back(), "focus");
                controller().dismiss();
                scheduler_.advance(1);
            }
        }
    }
}

TEST_F(AppControllerTest, AStaleWideningIsDroppedAndKeptDecisionsMatchTheirControls) {
    model_.ready = true;
    prefs_.set(keys::maxCandidates, 2);
    prefs_.set(keys::sidebar, false);
    controller().trigger();
    finishRead(0, window({"Save", "Weather"}));
    ModelDecision advert;
    advert.actionClassification = FocusCategory::distractionOrUpsell;
    advert.classificationProbabilities = {{"distraction_or_upsell", 1.0}};
    model_.asked[0](FocusPlanner::Decisions{{"c2", advert}});
    const auto veiled = [this] {
        std::vector<std::string> out;
        for (const FocusItem& item : controller().overlay().phase().plan()->suppressed()) {
            out.push_back(item.displayLabel);
        }
        return out;
    };
    ASSERT_THAT(veiled(), ElementsAre("Weather"));

    // A scroll cancels the widening under way; its reading, arriving late, is dropped.
    press(key(3, "f"));
    ASSERT_EQ(worker_.reads.size(), 2u);
    press(key(121, "\uF72D"));
    EXPECT_TRUE(worker_.reads[1].stop.stop_requested());
    finishRead(1, window({"Old page", "Save", "Weather"}));
    EXPECT_EQ(controller().snapshot()->window.candidates.size(), 2u);
    press(kEscape);

    // The wider reading gave "Weather"'s id to "Help": the decision stays with neither.
    press(key(3, "f"));
    finishRead(worker_.reads.size() - 1, window({"Save", "Help", "Weather"}));
    EXPECT_THAT(veiled(), ::testing::IsEmpty());
    controller().dismiss();
    controller().trigger();
    finishRead(worker_.reads.size() - 1, window({"Save", "Weather"}));
    model_.asked.back()(FocusPlanner::Decisions{{"c2", advert}});
    press(key(3, "f"));
    finishRead(worker_.reads.size() - 1, window({"Save", "Weather", "Help"}));
    EXPECT_THAT(veiled(), ElementsAre("Weather"));  // the same control keeps its decision
}

TEST_F(AppControllerTest, KeysInTheFindFieldEditMoveOrGoToTheField) {
    struct Row {
        KeyInput key;
        bool consumed;
        const char* call;  // the overlay host's last call, or ""
    };
    const Row rows[] = {
        {key(9, "v", false, false, true), true, "edit 0"},
        {key(8, "C", true, false, true), true, "edit 1"},
        {key(7, "x", false, false, true), true, "edit 2"},
        {key(0, "a", false, false, true), true, "edit 3"},
        {key(6, "z", false, false, true), true, "edit 4"},
        {key(6, "Z", true, false, true), true, "edit 5"},
        {key(12, "q", false, false, true), true, ""},  // other Ctrl keys are swallowed
        {key(11, "b"), false, ""},                     // typing goes to the field
        {kRight, true, ""},
        {key(48, "\t", true), true, ""},
    };
    prefs_.set(keys::sidebar, true);
    open({"Save", "Cancel"});
    press(key(3, "f"));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.call);
        overlay_->calls.clear();
        EXPECT_EQ(press(row.key), row.consumed);
        EXPECT_EQ(overlay_->calls.empty() ? "" : overlay_->calls.back(), row.call);
    }
    EXPECT_EQ(selected(), "Save");  // right, then shift-tab
    EXPECT_TRUE(controller().overlay().finding());
}

}  // namespace
}  // namespace ovra::controllertest
