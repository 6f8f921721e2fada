// Every sentence the open overlay says, as each action leaves it.

#include "app/controller/tests/appcontroller/AppControllerFixture.h"

namespace ovra::controllertest {
namespace {

TEST_F(AppControllerTest, EverySentenceOfTheOverlay) {
    const auto query = [this](const char* text) {
        return [this, text] {
            controller().overlay().setQuery(text);
            scheduler_.advance(0.7);
        };
    };
    const auto scrollTo = [this](int code, const char* chars, double top) {
        return [this, code, chars, top] {
            press(key(code, chars));
            worker_.scrolls.back().second(Scroller::Method::scrollBar);
            scheduler_.advance(0.3);
            finishRead(worker_.reads.size() - 1, scrolling(window({"Save", "Cancel"}), top));
        };
    };
    struct Row {
        const char* name;
        std::function<void()> act;
        std::string said;  // the last sentence afterwards
    };
    AppController::Startup startup;
    startup.showDashboard = false;
    controller().start(startup);
    const Row rows[] = {
        {"find hotkey with no overlay",
         [this] {
             controller().findShortcutPressed();
             finishRead(0, window({"Save", "Cancel"}));
         },
         "Find. Type or say part of a name. 2 things you can do."},
        {"no match", query("zz"), "No matches"},
        {"one match", query("canc"), "1 match. Cancel, Button"},
        {"matches", query("a"), "2 matches. Save, Button"},
        {"find closed", [this] { press(kEscape); }, "Find closed. 1 of 2: Save, Button"},
        {"move", [this] { press(kRight); }, "2 of 2: Cancel, Button"},
        {"open",
         [this] {
             open({"Save", "Cancel"});
         },
         "Ovra: 2 choices. 1, Save, Button"},
        {"scroll to the end", scrollTo(121, "\uF72D", -600),
         "Scrolled down. 2 choices. End of the page."},
        {"scroll to the top", scrollTo(116, "\uF72C", 0),
         "Scrolled up. 2 choices. Top of the page."},
        {"pin", [this] { press(key(35, "p")); },
         "Saved: always highlight “Save” in A. Applies next time."},
        {"pin again", [this] { press(key(35, "p")); },
         "Removed your choice for “Save”. Applies next time."},
        {"mute", [this] { press(key(2, "d")); },
         "Saved: don't highlight “Save” in A. Applies next time."},
        {"pinned",
         [this] {
             open({"Weather", "Cancel"}), press(key(35, "p"));
             open({"Cancel", "Weather"}), press(key(19, "2"));
         },
         "2 of 2: Weather, Button, "},
        {"a distraction hidden",
         [this] {
             open({"Print", "Special deals"});
         },
         "Ovra: 1 choice, 1 distraction hidden. 1, Print, Button"},
        {"nothing to press", [this] { open({"Special deals"}); },
         "Ovra: nothing to press here. Press A to see everything."},
        {"a card",
         [this] {
             workspace_.front->modalDialogs = {"Save changes?"};
             controller().trigger();
             finishRead(worker_.reads.size() - 1, fail(AXExtractorError::blockedByDialog));
             workspace_.front->modalDialogs.clear();
         },
         "This app is waiting for “Save changes?” to be answered, so nothing can be pressed in "
         "this window."},
        {"a notice with the plan",
         [this] {
             controller().trigger();
             WindowSnapshot overlapping = window({"Before", "After"});
             overlapping.untoldOverlaps = 1;
             finishRead(worker_.reads.size() - 1, overlapping);
         },
         "Ovra: 2 choices. 1, Before, Button. Some controls here lie one over another, so they "
         "are left out: which one you see could not be told."},
        {"no app in front",
         [this] {
             workspace_.front.reset();
             workspace_.gone = {1};  // nor a last app to go back to
             controller().trigger();
             workspace_.front = app(1, "A"), workspace_.gone.clear();
         },
         "Switch to the app you want to simplify, then press Alt Space."},
        {"unnamed", [this] { prefs_.set(keys::sidebar, true), open({""}), press(key(35, "p")); },
         "This control has no name to remember, so Ovra cannot save a choice for it."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        row.act();
        ASSERT_FALSE(announced_.empty());
        EXPECT_EQ(announced_.back(), row.said);
    }
    // Stored: the mute and the pin; nothing for the unnamed control, which beeped.
    EXPECT_THAT(prefs_.get(keys::overrides),
                ElementsAre(::testing::Pair("A|AXButton|save", "mute"),
                            ::testing::Pair("A|AXButton|weather", "pin")));
    EXPECT_EQ(beeps_, 1);
    // The why key shows the explanation and says it, then hides it and says nothing.
    const std::size_t said = announced_.size();
    press(key(13, "w"));
    EXPECT_EQ(controller().overlay().explainID(), controller().overlay().selectedItem()->id());
    EXPECT_EQ(announced_.back(), controller().overlay().selectedItem()->explanation);
    press(key(13, "w"));
    EXPECT_FALSE(controller().overlay().explainID());
    EXPECT_EQ(announced_.size(), said + 1);
    // An explanation or a notice belongs to the overlay it was given in: the next request,
    // even for the same controls, starts without them.
    press(key(13, "w"));
    controller().overlay().setNotice("Saved.");
    controller().dismiss();
    scheduler_.advance(1);
    open({"Cancel", "Weather"});
    EXPECT_FALSE(controller().overlay().explainID());
    EXPECT_FALSE(controller().overlay().notice());
}

}  // namespace
}  // namespace ovra::controllertest
