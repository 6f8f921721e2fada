// The panes' rows in their states, each binding's value text and its effect on the preferences
// and the controller, and the row model's rules at their edges.

#include "app/settings/DashboardContent.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "app/settings/DesktopAppNames.h"
#include "app/settings/tests/FakeDashboard.h"
#include "testing/Files.h"

namespace ovra {
namespace {

using ::testing::ElementsAre;
using testing::FakeDashboard;
using ::testing::IsEmpty;

std::vector<std::string> rowStops(FakeDashboard& d, OvraPane pane) {
    return DashboardContent::rowStops(d.sections(pane));
}

std::vector<std::string> rowIDs(const std::vector<OvraSection>& sections) {
    std::vector<std::string> ids;
    for (const auto& s : sections) {
        for (const auto& r : s.rows) {
            ids.push_back(r.id);
        }
    }
    return ids;
}

TEST(OvraRow, AdjustActivateAndValueTextAtTheirEdges) {
    int index = 0;
    int writes = 0;
    OvraRow choice;
    choice.kind = OvraRow::Choice{{"a", "b", "c"},
                                  {[&] { return index; },
                                   [&](int i) {
                                       index = i;
                                       ++writes;
                                   }}};
    EXPECT_TRUE(choice.adjust(-1));  // a true modulo: 0 - 1 wraps to the last
    EXPECT_EQ(index, 2);
    choice.activate();
    EXPECT_EQ(index, 0);
    index = 7;  // a stale stored value
    EXPECT_EQ(choice.valueText(), std::nullopt);

    OvraRow empty;
    empty.kind = OvraRow::Choice{{}, {[&] { return 0; }, [&](int) { ++writes; }}};
    writes = 0;
    EXPECT_FALSE(empty.adjust(1));
    empty.activate();
    EXPECT_EQ(writes, 0);
    EXPECT_FALSE(empty.isAdjustable());

    bool on = false;
    OvraRow toggle;
    toggle.kind = OvraRow::Toggle{{[&] { return on; }, [&](bool v) { on = v; }}};
    toggle.enabled = false;
    EXPECT_FALSE(toggle.adjust(1));
    toggle.activate();
    EXPECT_FALSE(on);
    EXPECT_FALSE(toggle.isStop());
}

TEST(HomePane, AccessFirstThenWhatAUserComesFor) {
    FakeDashboard d;
    d.controller.isTrusted = false;
    EXPECT_THAT(rowIDs(d.sections(OvraPane::home)),
                ElementsAre("home.openSettings", "home.multilingual"));
    d.controller.modelIDs = {"murmlark-ovra/en"};
    EXPECT_THAT(rowIDs(d.sections(OvraPane::home)), ElementsAre("home.openSettings"));
    d.row("home.openSettings", OvraPane::home).activate();

    d.controller.isTrusted = true;
    EXPECT_THAT(rowIDs(d.sections(OvraPane::home)),
                ElementsAre("home.simplify", "home.instructions"));
    EXPECT_EQ(d.row("home.simplify", OvraPane::home).title, "Simplify this screen");
    d.controller.target = "Text Editor";
    const OvraRow simplify = d.row("home.simplify", OvraPane::home);
    EXPECT_EQ(simplify.title, "Simplify Text Editor");
    EXPECT_EQ(simplify.subtitle, "Highlights the main buttons. Or press Alt Space anytime");
    simplify.activate();
    d.row("home.instructions", OvraPane::home).activate();
    EXPECT_THAT(d.controller.calls,
                ElementsAre("requestAccessibility", "trigger", "show Instructions"));
}

TEST(LookPane, ButtonRowsFollowTheButtonAndValuesReadInTheLocale) {
    FakeDashboard d(Json{{"dimLevel", 0.95}, {"textScale", 1.25}});
    EXPECT_THAT(rowStops(d, OvraPane::look),
                ElementsAre("look.appearance", "look.theme", "look.dim", "look.textsize",
                            "look.pulse", "look.sidebarOn", "look.bubble"));
    d.row("look.bubble", OvraPane::look).adjust(1);
    EXPECT_THAT(rowStops(d, OvraPane::look),
                ElementsAre("look.appearance", "look.theme", "look.dim", "look.textsize",
                            "look.pulse", "look.sidebarOn", "look.bubble", "look.bubblesize",
                            "look.corner", "look.trail"));
    // Stepped down 18 times from 0.95 it is exactly 0.05, which reads as a percentage.
    for (int i = 0; i < 18; ++i) {
        d.row("look.dim", OvraPane::look).adjust(-1);
    }
    EXPECT_EQ(d.stored("dimLevel"), 0.05);
    EXPECT_EQ(d.row("look.dim", OvraPane::look).valueText(), "5%");
    d.row("look.dim", OvraPane::look).adjust(-1);
    EXPECT_EQ(d.row("look.dim", OvraPane::look).valueText(), "Subtle");

    const OvraRow size = d.row("look.textsize", OvraPane::look);
    EXPECT_EQ(size.valueText(), "Large");  // 1.25 is no option
    size.adjust(1);
    EXPECT_EQ(d.stored("textScale"), 1.5);
    d.row("look.appearance", OvraPane::look).activate();
    EXPECT_EQ(d.stored("appearance"), "light");
}

TEST(VoicePane, VoicesRatesAndTheSample) {
    FakeDashboard d(Json{{"voiceID", "gone"}, {"voiceRate", 1.1}, {"speak", false}});
    EXPECT_THAT(rowStops(d, OvraPane::voice), ElementsAre("voice.on", "voice.try"));
    d.row("voice.on", OvraPane::voice).activate();
    const OvraRow voice = d.row("voice.voice", OvraPane::voice);
    EXPECT_EQ(voice.valueText(), "Best available");
    voice.adjust(1);
    EXPECT_EQ(d.stored("voiceID"), "espeak-ng/en");
    voice.adjust(-1);
    EXPECT_EQ(d.stored("voiceID"), "");
    const OvraRow rate = d.row("voice.rate", OvraPane::voice);
    EXPECT_EQ(rate.valueText(), "Normal");
    rate.adjust(1);
    rate.adjust(1);  // Fast wraps to Slow
    EXPECT_EQ(d.stored("voiceRate"), 0.75);
    d.row("voice.try", OvraPane::voice).activate();
    EXPECT_THAT(d.controller.calls,
                ElementsAre("speak " + DashboardContent::voiceSample() + " - 0.75"));
}

TEST(ChoicesPane, EachChoiceAndAllOfThemAfterAQuestion) {
    FakeDashboard none;
    EXPECT_THAT(rowIDs(none.sections(OvraPane::choices)),
                ElementsAre("choices.note", "choices.empty"));
    // The empty text is the pane's one stop: Tab reaches it and a screen reader reads it.
    EXPECT_THAT(rowStops(none, OvraPane::choices), ElementsAre("choices.empty"));
    // Every pane, also as a fresh install shows it, has a stop for Tab past its sidebar entry.
    for (const bool trusted : {false, true}) {
        none.controller.isTrusted = trusted;
        for (const OvraPane pane : OvraPane::allCases()) {
            EXPECT_THAT(rowStops(none, pane), ::testing::Not(IsEmpty())) << pane.rawValue();
        }
    }

    FakeDashboard d(Json{{"overrides",
                          {{"org.gnome.TextEditor|AXButton|Save|As", "pin"},
                           {"app||Next", "mute"},
                           {"app|AXLink|", "later"}}}});
    const auto sections = d.sections(OvraPane::choices);
    ASSERT_EQ(sections.size(), 2u);
    EXPECT_EQ(sections[1].title, "3 remembered choices");
    std::vector<std::string> shown;
    for (const auto& row : sections[1].rows) {
        shown.push_back(row.title + " | " + row.subtitle.value_or(""));
    }
    EXPECT_THAT(shown, ElementsAre("\u201CUnlabelled control\u201D | Unknown choice · app · Return "
                                   "to remove",
                                   "\u201CNext\u201D | Don't highlight · app · Return to remove",
                                   "\u201CSave|As\u201D | Always highlight · Text Editor · Return "
                                   "to remove",
                                   "Forget all choices | "));
    d.row("choice.app||Next", OvraPane::choices).activate();
    EXPECT_EQ(d.stored("overrides").size(), 2u);

    const OvraRow clear = d.row("choices.clear", OvraPane::choices);
    EXPECT_TRUE(clear.destructive);
    clear.activate();  // declined
    EXPECT_EQ(d.stored("overrides").size(), 2u);
    d.dialogs.answer = true;
    clear.activate();
    EXPECT_EQ(d.stored("overrides"), Json::object());
    EXPECT_THAT(d.dialogs.asked, ElementsAre("Forget all choices?", "Forget all choices?"));
}

TEST(DesktopAccessibilityPane, StateShortcutSummaryAndFocusNote) {
    FakeDashboard d;
    d.controller.desktop.set("org.gnome.desktop.a11y.applications", "screen-reader-enabled", true);
    d.controller.desktop.set("org.gnome.desktop.a11y.interface", "high-contrast", false);
    const auto sections = d.sections(OvraPane::mac);
    ASSERT_EQ(sections.size(), 1u);
    const auto& rows = sections[0].rows;
    ASSERT_GE(rows.size(), 3u);
    EXPECT_EQ(rows[0].id, "mac.voiceover");
    EXPECT_EQ(rows[0].subtitle,
              "On · Super+Alt+S · Reads everything on screen aloud. · Ovra announces its "
              "highlights to the screen reader and never moves its cursor.");
    EXPECT_EQ(rows[1].subtitle,
              "See settings · Super+Alt+8 · Magnifies part or all of the screen.");
    EXPECT_EQ(rows[2].subtitle, "Off · Stronger borders and colors everywhere.");
    rows[0].activate();
    EXPECT_THAT(d.controller.calls, ElementsAre("open universal-access"));
    // A screen reader started by hand leaves the desktop's switch off: the pane says what the
    // app's voice finds.
    d.controller.desktop.set("org.gnome.desktop.a11y.applications", "screen-reader-enabled", false);
    EXPECT_THAT(d.sections(OvraPane::mac)[0].rows[0].subtitle.value_or(""),
                ::testing::StartsWith("Off · "));
    d.controller.screenReader = true;
    EXPECT_THAT(d.sections(OvraPane::mac)[0].rows[0].subtitle.value_or(""),
                ::testing::StartsWith("On · "));
}

TEST(GeneralPane, ModelRowsActOnlyOnARealChange) {
    FakeDashboard d(Json{{"useModel", false}, {"model", "murmlark-ovra/multi"}});
    EXPECT_THAT(rowIDs({d.sections(OvraPane::general)[3]}),
                ElementsAre("gen.maxovras", "gen.usemodel", "gen.multilingual", "gen.model",
                            "gen.restart", "gen.reset"));
    EXPECT_FALSE(d.row("gen.model", OvraPane::general).isStop());
    const OvraRow use = d.row("gen.usemodel", OvraPane::general);
    use.adjust(1);
    use.adjust(1);  // already on: no second start
    use.adjust(-1);
    const OvraRow multilingual = d.row("gen.multilingual", OvraPane::general);
    multilingual.adjust(1);
    multilingual.adjust(1);
    EXPECT_THAT(d.controller.calls,
                ElementsAre("start murmlark-ovra/multi", "stop", "fetchMultilingual"));

    d.controller.calls.clear();
    d.controller.model.install = ModelState::Install::failed;
    const OvraRow restart = d.row("gen.restart", OvraPane::general);
    EXPECT_EQ(restart.title, "Try the download again");
    restart.activate();  // never started: nothing
    d.controller.model.lastModel = "murmlark-ovra/en";
    restart.activate();
    d.controller.model.install = ModelState::Install::idle;
    restart.activate();
    EXPECT_THAT(d.controller.calls,
                ElementsAre("start murmlark-ovra/en", "stop", "start murmlark-ovra/multi"));

    d.controller.modelIDs = {"murmlark-ovra/en"};
    EXPECT_EQ(d.sections(OvraPane::general)[3].rows.size(), 4u);
}

TEST(GeneralPane, ShortcutsSlidersCountsAndUpdates) {
    FakeDashboard d(Json{{"hotkey", "gone"},
                         {"maxBeacons", 9},
                         {"scanInterval", 0.5},
                         {"stepsSaved", 12},
                         {"ovrasPressed", 1}});
    const OvraRow hotkey = d.row("gen.hotkey", OvraPane::general);
    EXPECT_EQ(hotkey.valueText(), "Alt Space");
    hotkey.adjust(1);
    EXPECT_EQ(d.stored("hotkey"), "ctrl-opt-space");
    d.controller.mainError = "Alt Space is taken by another program.";
    EXPECT_EQ(d.row("gen.hotkey", OvraPane::general).subtitle, d.controller.mainError);

    const OvraRow most = d.row("gen.maxovras", OvraPane::general);
    EXPECT_TRUE(most.adjust(1));
    EXPECT_EQ(most.valueText(), "9");
    const OvraRow speed = d.row("gen.scanspeed", OvraPane::general);
    EXPECT_EQ(speed.valueText(), "every 0.5 s");
    EXPECT_FALSE(speed.enabled);

    const OvraRow reset = d.row("gen.reset", OvraPane::general);
    EXPECT_EQ(reset.subtitle, "12 steps saved · 1 ovra pressed");
    reset.activate();
    EXPECT_EQ(d.stored("stepsSaved"), 0);
    EXPECT_EQ(d.stored("ovrasPressed"), 0);

    // A second activation while a check runs starts nothing.
    d.controller.update.activity = UpdateState::Activity::checking;
    EXPECT_EQ(d.row("gen.checkupdate", OvraPane::general).title, "Checking\u2026");
    d.row("gen.checkupdate", OvraPane::general).activate();
    d.controller.update = {UpdateState::Activity::idle, "Ovra 0.2.0 is available.",
                           OvraUpdates::Manifest{"0.2.0", "https://qeld.ai/a.tar.gz", "Fixes"}};
    d.defaults.set("failedUpdateVersion", "0.1.9");
    EXPECT_THAT(rowIDs({d.sections(OvraPane::general)[4]}),
                ElementsAre("gen.checkupdate", "gen.installupdate", "gen.downloadsite"));
    EXPECT_EQ(d.row("gen.installupdate", OvraPane::general).title,
              "Install Ovra 0.2.0 and relaunch");
    for (const char* id : {"gen.checkupdate", "gen.installupdate", "gen.downloadsite",
                           "gen.credits", "gen.uninstall"}) {
        d.row(id, OvraPane::general).activate();
    }
    d.controller.update.activity = UpdateState::Activity::downloading;
    d.row("gen.installupdate", OvraPane::general).activate();  // heard: still downloading
    EXPECT_THAT(d.controller.calls,
                ElementsAre("check", "install", "web https://qeld.ai/download/ovra", "uninstall",
                            "install"));
    EXPECT_THAT(d.dialogs.asked, ElementsAre("credits"));
    EXPECT_TRUE(d.row("gen.uninstall", OvraPane::general).destructive);
}

TEST(DesktopAppNames, TheDesktopFilesNameInTheUsersLanguageElseTheKey) {
    EXPECT_THAT(DesktopAppNames::languagesOf("de_DE.UTF-8@euro"),
                ElementsAre("de_DE@euro", "de_DE", "de@euro", "de"));
    EXPECT_THAT(DesktopAppNames::languagesOf("C.UTF-8"), IsEmpty());
    const testing::ScratchFolder folder("app-names");
    testing::writeText(folder / "applications" / "org.gnome.TextEditor.desktop",
                       "[Desktop Action new]\nName=New Window\n[Desktop Entry]\nName=Text Editor\n"
                       "Name[de]=Texteditor\n");
    const std::map<std::string, std::string> env{{"XDG_DATA_HOME", folder.string()},
                                                 {"XDG_DATA_DIRS", "/nonexistent"},
                                                 {"LANG", "de_AT.UTF-8"}};
    DesktopAppNames names([&](const char* name) -> std::optional<std::string> {
        const auto it = env.find(name);
        return it == env.end() ? std::nullopt : std::optional(it->second);
    });
    EXPECT_EQ(names.name("org.gnome.TextEditor"), "Texteditor");
    EXPECT_EQ(names.name("com.example.Gone"), "com.example.Gone");
    EXPECT_EQ(names.name("../applications/org.gnome.TextEditor"),
              "../applications/org.gnome.TextEditor");
    // A running app: by its window's class, in lower case too, then its process name.
    testing::writeText(folder / "applications" / "chromium.desktop",
                       "[Desktop Entry]\nName=Chromium\n");
    EXPECT_EQ(names.shown("Chromium", "chromium"), "Chromium");
    EXPECT_EQ(names.shown("", "org.gnome.TextEditor"), "Texteditor");
    EXPECT_EQ(names.shown("Mousepad", "mousepad"), "Mousepad");
    EXPECT_EQ(names.shown("", "xmessage\x1b"), "xmessage");
}

}  // namespace
}  // namespace ovra
