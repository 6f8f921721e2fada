#include "platform/desktopsettings/DockSide.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace ovra::desktop {

std::optional<std::string> dockOrientation(DesktopSettings& settings) {
    struct Source {
        std::string_view schema;
        std::string_view key;
    };
    static constexpr std::array<Source, 2> sources{{
        {"org.gnome.shell.extensions.dash-to-dock", "dock-position"},
        {"org.gnome.shell.extensions.dash-to-panel", "panel-position"},
    }};
    for (const Source& source : sources) {
        const auto position = settings.text(source.schema, source.key);
        if (!position) {
            continue;
        }
        for (std::string_view side : {"left", "right", "top", "bottom"}) {
            // The extensions store upper-case names ("RIGHT").
            const bool same = position->size() == side.size() &&
                              std::equal(side.begin(), side.end(), position->begin(),
                                         [](char a, char b) { return a == (b | 0x20); });
            if (same) {
                return std::string(side);
            }
        }
    }
    return std::nullopt;
}

}  // namespace ovra::desktop
