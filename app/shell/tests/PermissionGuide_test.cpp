// The permission guide against a fake accessibility switch, settings app and bus: what arriving
// access announces, and what the button does when the settings app opens or does not.

#include "app/shell/PermissionGuide.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/scheduler/ManualScheduler.h"

namespace ovra {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

struct Rig {
    ManualScheduler clock;
    bool access = false;
    desktop::RecordingAccessibilitySwitch accessibility;
    desktop::RecordingSettingsOpener settings;
    std::vector<std::string> events;

    std::unique_ptr<PermissionGuide> make(bool pretend = false) {
        return std::make_unique<PermissionGuide>(PermissionGuide::Services{
            clock, [this] { return access; }, accessibility, settings,
            // Only once the settings app was asked for.
            [this] { events.push_back("back after " + std::to_string(settings.pages.size())); },
            [this](const std::string& text) { events.push_back("announce " + text); },
            [this](const std::string& text) { events.push_back("banner " + text); },
            [] { return std::string("Alt+Space"); }, pretend});
    }
};

TEST(PermissionGuide, AnnouncesEachTimeAccessArrivesUnlessPretending) {
    Rig rig;
    auto guide = rig.make();
    guide->start();
    const std::string on = "Accessibility access is on. You're ready: press Alt+Space in any app.";
    const std::string again =
        "Accessibility access is on again. Apps that were open before it went may need a restart "
        "before Ovra can read them. Press Alt+Space in any app.";
    EXPECT_THAT(guide->texts().steps[1], HasSubstr("Firefox and GTK apps follow at once"));
    for (const bool access : {false, true, false, true}) {
        rig.access = access;
        rig.clock.advance(1);
        EXPECT_EQ(guide->trusted(), access);
    }
    // Losing it says nothing; getting it back announces again, and says that apps open before
    // (which do not join a restarted accessibility bus by themselves) may need a restart, as the
    // guide's steps then say too.
    EXPECT_THAT(rig.events, ElementsAre("banner " + on, "announce " + on, "banner " + again,
                                        "announce " + again));
    EXPECT_THAT(guide->texts().steps[1], HasSubstr("join it again only when they start"));

    auto pretending = rig.make(true);
    pretending->start();
    rig.clock.advance(5);
    EXPECT_FALSE(pretending->trusted());
    EXPECT_EQ(rig.events.size(), 4u);
}

TEST(PermissionGuide, StepsBackOnlyOnceTheSettingsAppStartedElseSaysHowByHand) {
    Rig rig;
    auto guide = rig.make();
    guide->turnOn();
    EXPECT_EQ(rig.accessibility.requests, 1);
    EXPECT_THAT(rig.settings.pages, ElementsAre("universal-access"));
    EXPECT_THAT(*guide->status(), HasSubstr("Restart the apps that were already open"));
    EXPECT_FALSE(guide->statusIsProblem());

    rig.settings.failure = "no settings app of a known desktop is installed";
    guide->turnOn();
    EXPECT_TRUE(guide->statusIsProblem());
    const std::string line = guide->status().value_or("");
    EXPECT_THAT(line, HasSubstr("could not be opened (no settings app"));
    EXPECT_THAT(line, HasSubstr("Accessibility is on for now."));
    EXPECT_THAT(line, HasSubstr("run “gsettings set org.gnome.desktop.interface "
                                "toolkit-accessibility true”"));
    // Our windows stay in front, and the line is spoken.
    EXPECT_THAT(rig.events, ElementsAre("back after 1", "announce " + line));
    rig.accessibility.failure = "the accessibility bus did not take it";
    guide->turnOn();
    EXPECT_THAT(*guide->status(), HasSubstr("Accessibility is still off (the accessibility bus"));
    rig.access = true;
    guide->poll();
    EXPECT_FALSE(guide->status());  // access arriving clears the line
}

}  // namespace
}  // namespace ovra
