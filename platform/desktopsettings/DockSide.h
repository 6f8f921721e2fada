#pragma once

// Which screen edge the desktop's dock sits on, where a desktop setting says so: GNOME's Dash to
// Dock (also Ubuntu's dock) and Dash to Panel keep it in GSettings. Other desktops say nothing.

#include <optional>
#include <string>

#include "platform/desktopsettings/DesktopSettings.h"

namespace ovra::desktop {

// "left", "right", "top" or "bottom"; none when no known dock setting is there.
std::optional<std::string> dockOrientation(DesktopSettings& settings);

}  // namespace ovra::desktop
