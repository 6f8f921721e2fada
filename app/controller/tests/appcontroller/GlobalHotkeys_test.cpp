// The main hotkey and its fallbacks, the user's pick, and the find hotkey, as the settings
// window is told of them.

#include "app/controller/tests/appcontroller/AppControllerFixture.h"

namespace ovra::controllertest {
namespace {

TEST_F(AppControllerTest, TheMainHotkeyFallsBackThroughThePresetsUnlessTheUserPickedIt) {
    struct Row {
        const char* stored;
        bool chosen;
        std::vector<const char*> taken;
        const char* used;  // none: no hotkey
        const char* notice;
        const char* error;
    };
    const Row rows[] = {
        {"opt-space",
         false,
         {"opt-space"},
         "ctrl-opt-f",
         "Alt Space is used by another app, so Ovra uses Ctrl Alt F. You can change it in "
         "Settings.",
         nullptr},
        {"opt-space",
         false,
         {"opt-space", "ctrl-opt-f"},
         "f13",
         "Alt Space is used by another app, so Ovra uses F13 (switch / pedal friendly). You can "
         "change it in Settings.",
         nullptr},
        {"opt-space",
         false,
         {"opt-space", "ctrl-opt-f", "f13"},
         nullptr,
         nullptr,
         "Alt Space is used by another app. Pick another shortcut in Settings."},
        {"opt-space",
         true,
         {"opt-space"},
         nullptr,
         nullptr,
         "Alt Space is used by another app. Pick another shortcut in Settings."},
        {"ctrl-opt-f",
         false,
         {"ctrl-opt-f"},
         "opt-space",
         "Ctrl Alt F is used by another app, so Ovra uses Alt Space. You can change it in "
         "Settings.",
         nullptr},
        {"cmd-shift-space",
         false,
         {"cmd-shift-space", "opt-space"},
         "ctrl-opt-f",
         "Super Shift Space is used by another app, so Ovra uses Ctrl Alt F. You can change it in "
         "Settings.",
         nullptr},
        {"ctrl-opt-space", true, {}, "ctrl-opt-space", nullptr, nullptr},
    };
    const auto chord = [](const char* id) {
        const HotkeyPreset p = *HotkeyPreset::withID(id);
        return hotkeys::Chord{static_cast<std::uint16_t>(p.keyCode), p.modifiers};
    };
    std::list<hotkeys::FakeHotkeyGrabber> grabbers;  // each outlives its controller
    for (const Row& row : rows) {
        SCOPED_TRACE(row.stored + std::string(row.chosen ? " chosen" : ""));
        controller_.reset();
        prefs_.set(keys::hotkeyID, row.stored);
        defaults_.set("hotkeyChosen", row.chosen);
        hotkeys::FakeHotkeyGrabber& grabber = grabbers.emplace_back();
        for (const char* id : row.taken) {
            grabber.takeElsewhere(chord(id));
        }
        AppController::Startup startup;
        startup.hotkeys = &grabber;
        startup.showDashboard = false;
        controller().start(startup);
        EXPECT_EQ(prefs_.get(keys::hotkeyID), row.used ? row.used : row.stored);
        EXPECT_EQ(grabber.grabbed().count(1), row.used ? 1u : 0u);
        if (row.used) {
            EXPECT_EQ(grabber.grabbed().at(1), chord(row.used));
            EXPECT_EQ(defaults_.object("hotkey"), Json(row.used));
        }
        EXPECT_EQ(controller().hotkeyNotice().value_or(""), row.notice ? row.notice : "");
        EXPECT_EQ(controller().hotkeyError().value_or(""), row.error ? row.error : "");
        EXPECT_EQ(defaults_.object("hotkeyChosen"), Json(row.chosen));  // a fallback is no pick
        scheduler_.runDue();
        EXPECT_TRUE(dashboards_.empty());  // "--no-dashboard"
    }
    // A shortcut picked in the settings is the user's and is taken at once.
    defaults_.set("hotkeyChosen", false);
    prefs_.set(keys::hotkeyID, "f13");
    EXPECT_EQ(defaults_.object("hotkeyChosen"), Json(true));
    scheduler_.runDue();
    EXPECT_EQ(grabbers.back().grabbed().at(1), chord("f13"));
    controller_.reset();
}

}  // namespace
}  // namespace ovra::controllertest
