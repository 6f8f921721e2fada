// The desktop accessibility states read live from GSettings while another process changes them.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "app/accessibility/AccessibilityFeatures.h"
#include "platform/desktopsettings/GSettingsStore.h"
#include "platform/scheduler/ManualScheduler.h"
#include "testing/desktop/LaunchedApp.h"

namespace ovra {
namespace {

using testing::eventually;

// Sets a key the way the desktop's settings app would: from another process.
bool gsettingsSet(const std::string& schema, const std::string& key, const std::string& value) {
    const std::string command = "gsettings set " + schema + " " + key + " " + value;
    return std::system(command.c_str()) == 0;
}

// Only in the private desktop (the guard skips it elsewhere): it changes the desktop's settings.
TEST(AccessibilityFeaturesDesktop, StatesFollowSettingsChangedByAnotherProcess) {
    ASSERT_TRUE(gsettingsSet("org.gnome.desktop.interface", "enable-animations", "true"));
    ASSERT_TRUE(gsettingsSet("org.gnome.desktop.a11y.keyboard", "stickykeys-enable", "false"));

    desktop::GSettingsStore store;
    ManualScheduler later;
    DesktopAccessibilityStatus status(store, later);
    int published = 0;
    status.states().subscribe([&](const auto&) { ++published; });
    status.start();
    auto states = status.states().get();
    ASSERT_EQ(states.size(), DesktopAccessibility::features().size());
    for (const auto& [id, on] : states) {
        EXPECT_TRUE(on.has_value()) << id << ": no such key of that type in the desktop's schemas";
    }
    EXPECT_EQ(states.at("motion"), false);
    EXPECT_EQ(states.at("stickykeys"), false);
    EXPECT_EQ(states.at("largetext"), false);  // the schema's default factor, 1.0

    ASSERT_TRUE(gsettingsSet("org.gnome.desktop.interface", "enable-animations", "false"));
    ASSERT_TRUE(gsettingsSet("org.gnome.desktop.a11y.keyboard", "stickykeys-enable", "true"));
    EXPECT_TRUE(eventually(
        [&] {
            later.advance(DesktopAccessibilityStatus::kPollSeconds);
            const auto now = status.states().get();
            return now.at("motion") == true && now.at("stickykeys") == true;
        },
        10));
    EXPECT_GE(published, 2);

    ASSERT_TRUE(gsettingsSet("org.gnome.desktop.interface", "enable-animations", "true"));
    EXPECT_TRUE(eventually(
        [&] {
            later.advance(DesktopAccessibilityStatus::kPollSeconds);
            return status.states().get().at("motion") == false;
        },
        10));
}

}  // namespace
}  // namespace ovra
