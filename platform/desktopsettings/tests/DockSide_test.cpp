#include "platform/desktopsettings/DockSide.h"

#include <gtest/gtest.h>

namespace ovra::desktop {
namespace {

TEST(DockSide, ReadsTheFirstDockSettingThatNamesASide) {
    constexpr const char* dock = "org.gnome.shell.extensions.dash-to-dock";
    constexpr const char* panel = "org.gnome.shell.extensions.dash-to-panel";
    MemorySettings settings;
    EXPECT_EQ(dockOrientation(settings), std::nullopt);
    settings.set(panel, "panel-position", std::string("TOP"));
    EXPECT_EQ(dockOrientation(settings), "top");
    settings.set(dock, "dock-position", std::string("RIGHT"));
    EXPECT_EQ(dockOrientation(settings), "right");
    settings.set(dock, "dock-position", std::string("RIGHTISH"));
    EXPECT_EQ(dockOrientation(settings), "top") << "a value that names no side is passed over";
    settings.set(dock, "dock-position", 2.0);
    settings.erase(panel, "panel-position");
    EXPECT_EQ(dockOrientation(settings), std::nullopt);
}

}  // namespace
}  // namespace ovra::desktop
