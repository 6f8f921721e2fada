// The preferences store: what each stored value loads as, what every assignment writes, the
// corrections, the Qt signals and the app's settings file.

#include "app/controller/Preferences.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>

#include "app/controller/AppSettings.h"
#include "app/controller/PreferencesObject.h"
#include "platform/scheduler/ManualScheduler.h"
#include "testing/Files.h"

namespace ovra {
namespace {

using ::testing::ElementsAre;
using P = Preference;

Preferences::Sources dockOn(std::optional<std::string> side) {
    return {.dockOrientation = [side] { return side; }, .builtInWorkerDirectory = "/opt/worker"};
}

TEST(Preferences, AFreshDomainGivesTheDefaultsAndWritesNothing) {
    InMemoryDefaults domain;
    const Preferences prefs(domain, dockOn(std::nullopt));
    EXPECT_EQ(prefs.firstLaunch(), std::nullopt);
    // Every fallback written back under its key, in the store's order.
    InMemoryDefaults copy;
    Preferences writer(copy);
    for (const Preference p : allPreferences()) {
        EXPECT_TRUE(writer.set(p, prefs.value(p))) << defaultsKey(p);
    }
    EXPECT_EQ(json::dump(copy.contents()),
              R"({"hotkey":"opt-space","findShortcut":true,"model":"murmlark-ovra/en",)"
              R"("maxCandidates":14,"maxBeacons":5,"depth":6,"theme":"ovra",)"
              R"("workerDirectory":"/opt/worker","useModel":true,"downloadMultilingual":false,)"
              R"("dimLevel":0.78,"textScale":1.0,"pulse":false,"autoScan":false,)"
              R"("scanInterval":2.0,"confirm":true,"speak":false,"voiceID":"","voiceRate":1.0,)"
              R"("appearance":"system","showBubble":false,"birdClick":"home","menuBarName":true,)"
              R"("bubblePlace":"rightTop","bubbleSize":"large","flightTrail":true,"sidebar":true,)"
              R"("stepsSaved":0,"ovrasPressed":0,"overrides":{}})");
    EXPECT_EQ(domain.writes(), 0);

    EXPECT_EQ(Preferences(domain, dockOn("right")).get(keys::bubblePlace),
              OvraButtonPlace::leftTop);
    EXPECT_EQ(Preferences(domain, dockOn("left")).get(keys::bubblePlace),
              OvraButtonPlace::rightTop);
    EXPECT_EQ(domain.writes(), 0);
}

TEST(Preferences, EachStoredValueLoadsByItsTypeRuleAndRange) {
    struct Case {
        const char* stored;  // the domain's contents
        Preference property;
        PreferenceValue expected;
    };
    const std::vector<Case> cases = {
        {R"({"theme": "Cyan"})", P::theme, std::string("ovra")},
        {R"({"theme": "magenta"})", P::theme, std::string("magenta")},
        {R"({"appearance": "Dark"})", P::appearance, std::string("system")},
        {R"({"model": "MURMLARK-OVRA/MULTI"})", P::model, std::string("murmlark-ovra/en")},
        {R"({"model": "murmlark-ovra/multi"})", P::model, std::string("murmlark-ovra/multi")},
        {R"({"birdClick": "Simplify"})", P::birdClick, std::string("home")},
        {R"({"bubbleSize": "extraLarge"})", P::bubbleSize, std::string("extraLarge")},
        {R"({"maxBeacons": "7"})", P::maxBeacons, std::int64_t{5}},
        {R"({"maxBeacons": 7.0})", P::maxBeacons, std::int64_t{7}},
        {R"({"maxBeacons": 7.5})", P::maxBeacons, std::int64_t{5}},
        {R"({"maxBeacons": 1000000000})", P::maxBeacons, std::int64_t{9}},
        {R"({"maxBeacons": 1e30})", P::maxBeacons, std::int64_t{5}},
        {R"({"depth": -3})", P::traversalDepth, std::int64_t{1}},
        {R"({"depth": 4000})", P::traversalDepth, std::int64_t{48}},
        {R"({"maxCandidates": 0})", P::maxCandidates, std::int64_t{1}},
        {R"({"maxCandidates": 20000})", P::maxCandidates, std::int64_t{150}},
        {R"({"dimLevel": 0})", P::dimLevel, 0.0},
        {R"({"dimLevel": 1})", P::dimLevel, 0.95},
        {R"({"dimLevel": "0.5"})", P::dimLevel, 0.78},
        {R"({"textScale": 1.2})", P::textScale, 1.2},
        {R"({"textScale": 40})", P::textScale, 2.0},
        {R"({"scanInterval": 0.01})", P::scanInterval, 0.5},
        {R"({"voiceRate": 0.9})", P::voiceRate, 0.9},
        {R"({"voiceRate": -1})", P::voiceRate, 0.75},
        {R"({"pulse": 1})", P::pulse, true},
        {R"({"sidebar": 0})", P::sidebar, false},
        {R"({"sidebar": 2})", P::sidebar, true},
        {R"({"useModel": "false"})", P::useModel, true},
        {R"({"stepsSaved": 12.9})", P::stepsSaved, std::int64_t{12}},
        {R"({"stepsSaved": "12"})", P::stepsSaved, std::int64_t{0}},
        {R"({"ovrasPressed": -4})", P::ovrasPressed, std::int64_t{0}},
        {R"({"hotkey": 5})", P::hotkeyID, std::string("opt-space")},
        {R"({"voiceID": "mbrola-en1"})", P::voiceID, std::string("mbrola-en1")},
        {R"({"workerDirectory": ""})", P::workerDirectory, std::string("")},
        {R"({"bubbleCorner": "topLeft"})", P::bubblePlace, std::string("leftTop")},
        {R"({"bubblePlace": "nowhere", "bubbleCorner": 3})", P::bubblePlace,
         std::string("leftTop")},
        {R"({"bubblePlace": "leftBottom", "bubbleCorner": "topRight"})", P::bubblePlace,
         std::string("leftBottom")},
        // One bad entry costs only itself; values that are neither pin nor mute are kept.
        {R"({"overrides": {"a|AXButton|ok": "pin", "b|AXLink|x": 3, "c|AXButton|y": "later"}})",
         P::overrides, OverrideMap{{"a|AXButton|ok", "pin"}, {"c|AXButton|y", "later"}}},
        {R"({"overrides": ["pin"]})", P::overrides, OverrideMap{}},
    };
    for (const Case& c : cases) {
        InMemoryDefaults domain(Json::parse(c.stored));
        Preferences prefs(domain, dockOn("right"));
        EXPECT_EQ(prefs.value(c.property), c.expected) << c.stored;
    }

    // Values no settings file can hold, but a domain can.
    InMemoryDefaults odd;
    odd.set("dimLevel", std::numeric_limits<double>::quiet_NaN());
    odd.set("scanInterval", std::numeric_limits<double>::infinity());
    Preferences prefs(odd);
    EXPECT_EQ(prefs.get(keys::dimLevel), 0.78);
    EXPECT_EQ(prefs.get(keys::scanInterval), 2.0);
}

TEST(Preferences, EveryAssignmentPublishesAndWritesItsKey) {
    InMemoryDefaults domain;
    Preferences prefs(domain);
    std::vector<std::string> heard;
    prefs.onWillChange([&](Preference p) {
        heard.push_back("will " + std::string(defaultsKey(p)) + " " +
                        std::to_string(prefs.get(keys::maxBeacons)));
    });
    const auto id = prefs.onChange([&](Preference p) {
        heard.push_back("did " + std::string(defaultsKey(p)) + " " +
                        std::to_string(prefs.get(keys::maxBeacons)));
    });
    prefs.set(keys::maxBeacons, 7);
    prefs.set(keys::maxBeacons, 7);
    EXPECT_THAT(heard, ElementsAre("will maxBeacons 5", "did maxBeacons 7", "will maxBeacons 7",
                                   "did maxBeacons 7"));
    EXPECT_EQ(domain.writes(), 2);
    prefs.removeListener(id);

    prefs.set(keys::confirmConsequential, false);
    prefs.set(keys::dimLevel, 1.0);
    prefs.set(keys::birdClick, BirdClickSetting::simplify);
    prefs.set(keys::bubblePlace, OvraButtonPlace::leftMiddle);
    prefs.set(keys::model, VornModel::multilingual);
    prefs.set(keys::stepsSaved, 40);
    prefs.set(keys::overrides, {{"a|AXButton|ok", "mute"}});
    EXPECT_EQ(json::dump(domain.contents()),
              R"({"maxBeacons":7,"confirm":false,"dimLevel":0.95,"birdClick":"simplify",)"
              R"("bubblePlace":"leftMiddle","model":"murmlark-ovra/multi","stepsSaved":40,)"
              R"("overrides":{"a|AXButton|ok":"mute"}})");

    // The generic setters of the settings rows take only what the property can hold.
    EXPECT_TRUE(prefs.set(P::maxBeacons, 3.9));
    EXPECT_EQ(prefs.get(keys::maxBeacons), 3);
    EXPECT_TRUE(prefs.set(P::textScale, std::int64_t{2}));
    EXPECT_EQ(prefs.get(keys::textScale), 2.0);
    const int before = domain.writes();
    EXPECT_FALSE(prefs.set(P::theme, std::string("Cyan")));
    EXPECT_FALSE(prefs.set(P::dimLevel, std::nan("")));
    EXPECT_FALSE(prefs.set(P::pulse, std::int64_t{1}));
    EXPECT_EQ(domain.writes(), before);
}

TEST(Preferences, TogglingACorrectionFlipsOnlyThatEntry) {
    InMemoryDefaults domain(Json::parse(R"({"overrides": {"b|AXLink|x": 3, "c|AXButton|y": "later"},
                                            "firstLaunch": "2026-01-05T07:08:09Z", "hotkey": "nope"})"));
    Preferences prefs(domain);
    EXPECT_EQ(prefs.hotkey().id, "opt-space");
    EXPECT_EQ(prefs.get(keys::hotkeyID), "nope");
    EXPECT_TRUE(prefs.firstLaunch().has_value());
    EXPECT_TRUE(prefs.focusOverrides().entries.empty());

    EXPECT_EQ(prefs.toggleOverride(FocusOverride::pin, "a|AXButton|ok"), FocusOverride::pin);
    EXPECT_EQ(prefs.toggleOverride(FocusOverride::pin, "a|AXButton|ok"), std::nullopt);
    EXPECT_EQ(prefs.toggleOverride(FocusOverride::pin, "d|AXButton|z"), FocusOverride::pin);
    EXPECT_EQ(prefs.toggleOverride(FocusOverride::mute, "d|AXButton|z"), FocusOverride::mute);
    EXPECT_EQ(domain.contents()["overrides"],
              Json::parse(R"({"c|AXButton|y": "later", "d|AXButton|z": "mute"})"));
    EXPECT_EQ(prefs.focusOverrides().entries,
              (decltype(FocusOverrides::entries){{"d|AXButton|z", FocusOverride::mute}}));
}

TEST(Preferences, ViewsHearChangesThroughQtSignalsUntilTheyAreGone) {
    InMemoryDefaults domain;
    Preferences prefs(domain);
    std::vector<std::string> heard;
    {
        PreferencesObject object(prefs);
        QObject::connect(&object, &PreferencesObject::willChange, [&](Preference p) {
            heard.push_back("will " + std::string(defaultsKey(p)));
        });
        QObject::connect(&object, &PreferencesObject::changed, [&](Preference p) {
            heard.push_back("did " + std::string(defaultsKey(p)));
        });
        prefs.set(keys::speakFeedback, true);
    }
    prefs.set(keys::speakFeedback, false);
    EXPECT_THAT(heard, ElementsAre("will speak", "did speak"));
}

TEST(AppSettings, TheAppsFileIsWrittenOnTheNextTurnAndTheDumpsOnlyReadIt) {
    namespace fs = std::filesystem;
    const testing::ScratchFolder config("settings");
    const auto env = [&](const char* name) -> std::optional<std::string> {
        if (std::string_view(name) == "XDG_CONFIG_HOME") {
            return config.string();
        }
        return std::nullopt;
    };
    const fs::path file = config / "murmlark-ovra" / "ai.qeld.murmlark-ovra.json";
    ManualScheduler scheduler;
    desktop::MemorySettings desktop;
    desktop.set("org.gnome.shell.extensions.dash-to-dock", "dock-position", std::string("RIGHT"));
    {
        AppSettings settings(scheduler, desktop, nullptr, env);
        EXPECT_EQ(settings.preferences().get(keys::bubblePlace), OvraButtonPlace::leftTop);
        settings.preferences().set(keys::traversalDepth, 9);
        settings.defaults().set("hotkeyChosen", true);
        EXPECT_FALSE(fs::exists(file));
        scheduler.runDue();
        EXPECT_TRUE(fs::exists(file));
    }
    const auto stamp = fs::last_write_time(file);
    {
        auto dumps = AppSettings::readOnly(nullptr, env);
        EXPECT_EQ(dumps->preferences().get(keys::traversalDepth), 9);
        dumps->preferences().set(keys::traversalDepth, 3);
        EXPECT_FALSE(dumps->flush());
    }
    EXPECT_EQ(fs::last_write_time(file), stamp);

    // A problem met while loading reaches the user once there is somewhere to show it.
    std::ofstream(file) << "not settings";
    std::vector<std::string> logged, shown;
    AppSettings broken(
        scheduler, desktop, [&](const std::string& s) { logged.push_back(s); }, env);
    EXPECT_EQ(logged.size(), 1U);
    broken.showProblemsWith([&](const std::string& s) { shown.push_back(s); });
    EXPECT_EQ(shown, logged);
}

}  // namespace
}  // namespace ovra
