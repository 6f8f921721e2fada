// What the log and the user are told for each outcome of a press, and a long label cut in the log.

#include "app/controller/PressReport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace ovra {
namespace {

// The log's line, the user's sentence and how it is told: over the page read again when nothing
// was pressed; alone, with no control under the next Return, when the press may have landed.
TEST(PressReport, EachOutcomeIsToldForWhatItIs) {
    using Telling = PressReport::Telling;
    const auto relabelled = [](PressOutcome outcome, std::string label) {
        outcome.relabelled = std::move(label);
        return outcome;
    };
    const std::tuple<PressOutcome, const char*, const char*, Telling> cases[] = {
        {{PressRoute::pressed, std::nullopt, false, {}, "it took the focus"},
         "Ovra pressed \"Keep\": pressed, it took the focus",
         "",
         Telling::overThePage},
        {relabelled({PressRoute::pressed, std::nullopt, false, {}, "it relabelled itself"}, "Kept"),
         "Ovra pressed \"Keep\": pressed, it relabelled itself \"Kept\"", "", Telling::overThePage},
        {{std::nullopt, PressFailure::changed},
         "Ovra did not press \"Keep\": the control changed",
         "The control changed, so nothing was pressed.",
         Telling::overThePage},
        {{std::nullopt, PressFailure::gone},
         "Ovra did not press \"Keep\": it went away before it was pressed",
         "The control went away before it was pressed, so nothing was pressed.",
         Telling::overThePage},
        {relabelled({std::nullopt, PressFailure::unsure, false, {}, "it shows another label"},
                    "Delete"),
         "Ovra cannot tell whether it pressed \"Keep\": the page changed it as it was pressed, "
         "it shows another label \"Delete\"",
         "The control changed as it was pressed. Look at the page before pressing it again.",
         Telling::alone},
        {{std::nullopt, PressFailure::unsure, false, {}, "another control stands in its place"},
         "Ovra cannot tell whether it pressed \"Keep\": the page changed it as it was pressed, "
         "another control stands in its place",
         "The control changed as it was pressed. Look at the page before pressing it again.",
         Telling::alone},
        {{std::nullopt, PressFailure::unsure},
         "Ovra cannot tell whether it pressed \"Keep\": the app did not show what the press did",
         "The app did not show whether it took the press. Look at it before pressing again.",
         Telling::alone},
        {{std::nullopt, PressFailure::disabled},
         "Ovra did not press \"Keep\": the control is disabled",
         "The control is turned off, so nothing was pressed.",
         Telling::overThePage},
        {{std::nullopt, PressFailure::covered},
         "Ovra did not press \"Keep\": something else is shown where it is",
         "Something else is shown where the control is, so nothing was pressed.",
         Telling::overThePage},
        {{std::nullopt, PressFailure::notResponding},
         "Ovra could not press \"Keep\": the app is not responding",
         "This app is not responding. Try again once it answers.",
         Telling::overThePage},
        {{std::nullopt, PressFailure::appClosed},
         "Ovra could not press \"Keep\": the app has closed",
         "The app has closed, so nothing was pressed.",
         Telling::overThePage},
        {{std::nullopt, PressFailure::waitsForDialog},
         "Ovra did not press \"Keep\": a dialog of the app waits for an answer",
         "This app is waiting for “Save changes?” to be answered, so nothing can be pressed in "
         "this window.",
         Telling::overThePage},
        {{std::nullopt, PressFailure::notInFront},
         "Ovra did not press \"Keep\": its window is not the one in front",
         "Ovra could not tell which of this app's windows is in front, so nothing was pressed.",
         Telling::overThePage},
        {{std::nullopt, PressFailure::refused, false, {"press", "click", "confirm"}},
         "Ovra could not press \"Keep\": every way failed (press, click, confirm)",
         "The control could not be pressed.",
         Telling::overThePage},
    };
    for (const auto& [outcome, line, sentence, telling] : cases) {
        EXPECT_EQ(PressReport::logLine("Keep", outcome), line);
        EXPECT_EQ(PressReport::sentence(outcome, {"Save changes?", "Older"}).value_or(""),
                  sentence);
        EXPECT_EQ(PressReport::telling(outcome, true, false, false), telling) << line;
    }
}

// The dialog a window waits for is named by its title, shown as text; without one, the sentence
// says so in general.
TEST(PressReport, TheDialogAWindowWaitsForIsNamed) {
    EXPECT_EQ(PressReport::waitingForDialog({"Print\n\tdocument"}),
              "This app is waiting for “Print document” to be answered, so nothing can be pressed "
              "in this window.");
    for (const std::vector<std::string>& untitled :
         {std::vector<std::string>{}, std::vector<std::string>{""}}) {
        EXPECT_EQ(PressReport::waitingForDialog(untitled),
                  "This app is waiting for one of its dialogs to be answered, so nothing can be "
                  "pressed in this window.");
    }
}

// The panel names the control a sentence is about, shown as text and cut as in the log.
TEST(PressReport, TheSentenceNamesTheControlItIsAbout) {
    const std::string why = "The control could not be pressed.";
    EXPECT_EQ(PressReport::aboutControl("file-0003.txt", why),
              "“file-0003.txt”: The control could not be pressed.");
    EXPECT_EQ(PressReport::aboutControl("Save\n\tchanges", why),
              "“Save changes”: The control could not be pressed.");
    EXPECT_EQ(PressReport::aboutControl("", why), why);
    EXPECT_EQ(PressReport::aboutControl(std::string(1000, 'a'), why).size(),
              std::string("“”: ").size() + 300 + std::string("…").size() + why.size());
}

// Where the sentence goes: with the plan the user opened meanwhile, over the window read again,
// or alone once the app has gone; a press that may have landed always alone.
TEST(PressReport, WhyIsToldWhereNoControlOfThePressLiesUnderTheNextReturn) {
    using Telling = PressReport::Telling;
    const PressOutcome changed{std::nullopt, PressFailure::changed};
    const PressOutcome unsure{std::nullopt, PressFailure::unsure};
    const std::tuple<const PressOutcome*, bool, bool, bool, Telling> cases[] = {
        // outcome, app running, overlay opened meanwhile, its plan shown
        {&changed, true, false, false, Telling::overThePage},
        {&changed, true, true, false, Telling::overThePage},
        {&changed, true, true, true, Telling::onTheOpenPlan},
        {&changed, false, false, false, Telling::alone},
        {&changed, false, true, true, Telling::onTheOpenPlan},
        {&unsure, true, false, false, Telling::alone},
        {&unsure, true, true, true, Telling::alone},
    };
    for (const auto& [outcome, running, open, shown, telling] : cases) {
        EXPECT_EQ(PressReport::telling(*outcome, running, open, shown), telling)
            << running << open << shown;
    }
}

TEST(PressReport, ALongLabelIsCutOnACharacterBoundaryInTheLog) {
    std::string label = "a";
    for (int i = 0; i < 100'000; ++i) {
        label += "é";  // two bytes: the cut falls inside one
    }
    const std::string line = PressReport::logLine(label, {PressRoute::pressed});
    EXPECT_LT(line.size(), 400u);
    EXPECT_THAT(line, ::testing::EndsWith("éé…\": pressed"));
}

}  // namespace
}  // namespace ovra
