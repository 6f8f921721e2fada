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
using ::testing::IsEmpty;

struct Rig {
    ManualScheduler clock;
    bool access = false;
    desktop::RecordingAccessibilitySwitch accessibility;
    desktop::RecordingSettingsOpener settings;
    std::vector<std::string> events;
    bool pretend = false;

    std::unique_ptr<PermissionGuide> make() {
        return std::make_unique<PermissionGuide>(PermissionGuide::Services{
            clock,
            [this] { return access; },
            accessibility,
            settings,
            [this] {
                // The settings app was asked for first.
                events.push_back("windows back after " + std::to_string(settings.pages.size()));
            },
            [this](const std::string& text) { events.push_back("announce " + text); },
            [this](const std::string& text) { events.push_back("banner " + text); },
            [] { return std::string("Alt+Space"); },
            pretend,
        });
    }
};

TEST(PermissionGuide, AnnouncesEachTimeAccessArrives) {
    Rig rig;
    auto guide = rig.make();
    int changes = 0;
    guide->onChange([&changes] { ++changes; });
    guide->start();
    EXPECT_FALSE(guide->trusted());
    rig.clock.advance(3);
    EXPECT_THAT(rig.events, IsEmpty());

    const std::string on = "Accessibility access is on. You're ready: press Alt+Space in any app.";
    rig.access = true;
    rig.clock.advance(1);
    EXPECT_TRUE(guide->trusted());
    EXPECT_THAT(rig.events, ElementsAre("banner " + on, "announce " + on));
    // Losing it says nothing; getting it back announces again.
    rig.access = false;
    rig.clock.advance(1);
    EXPECT_FALSE(guide->trusted());
    rig.access = true;
    rig.clock.advance(1);
    EXPECT_EQ(rig.events.size(), 4u);
    EXPECT_EQ(rig.events.back(), "announce " + on);
    EXPECT_EQ(changes, 3);
}

TEST(PermissionGuide, PretendingStaysUntrustedAndSilent) {
    Rig rig;
    rig.access = true;
    rig.pretend = true;
    auto guide = rig.make();
    guide->start();
    rig.clock.advance(5);
    EXPECT_FALSE(guide->trusted());
    EXPECT_THAT(rig.events, IsEmpty());
}

TEST(PermissionGuide, TheButtonOpensTheSettingsAppBeforeOurWindowsStepBack) {
    Rig rig;
    auto guide = rig.make();
    guide->turnOn();
    EXPECT_EQ(rig.accessibility.requests, 1);
    EXPECT_THAT(rig.settings.pages, ElementsAre("universal-access"));
    EXPECT_THAT(rig.events, ElementsAre("windows back after 1"));
    ASSERT_TRUE(guide->status());
    EXPECT_FALSE(guide->statusIsProblem());
    EXPECT_THAT(*guide->status(), HasSubstr("Restart the apps that were already open"));
    // Access arriving clears the line.
    rig.access = true;
    guide->poll();
    EXPECT_FALSE(guide->status());
}

TEST(PermissionGuide, ASettingsAppThatDoesNotOpenIsShownAndAnnouncedWithTheWayByHand) {
    Rig rig;
    rig.settings.failure = "no settings app of a known desktop is installed";
    auto guide = rig.make();
    guide->turnOn();
    ASSERT_TRUE(guide->status());
    EXPECT_TRUE(guide->statusIsProblem());
    const std::string& line = *guide->status();
    EXPECT_THAT(line, HasSubstr("could not be opened (no settings app"));
    EXPECT_THAT(line, HasSubstr("Accessibility is on for now."));
    EXPECT_THAT(line,
                HasSubstr("gsettings set org.gnome.desktop.interface toolkit-accessibility true"));
    // Our windows stay in front, and the line is spoken.
    EXPECT_THAT(rig.events, ElementsAre("announce " + line));

    rig.accessibility.failure = "the accessibility bus did not take it";
    guide->turnOn();
    EXPECT_THAT(*guide->status(), HasSubstr("Accessibility is still off (the accessibility bus"));
    EXPECT_EQ(rig.events.size(), 2u);
}

}  // namespace
}  // namespace ovra
