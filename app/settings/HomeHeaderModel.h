#pragma once

// What the Home pane's header says: the greeting for the hour and the user's first name, the
// hero card's lines from the counters, and the three status tiles. Pure: the view reads the
// clock, the user's name and the app's state and draws what these return.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "app/settings/DashboardController.h"
#include "core/OvraPane.h"

namespace ovra::HomeHeaderModel {

// "Good morning, Ada" (5 to 11 o'clock), afternoon (12 to 17), evening (18 to 4); without a
// first name, no comma. The first name is the full name's first word.
std::string greeting(int hour, std::string_view fullName);

struct Hero {
    std::string kicker;                // "So far" or "Ready"
    std::string headline;              // "You've saved %@ with Ovra" or "Ready when you are"
    std::optional<std::string> count;  // the part of the headline in the accent colour
    std::string detail;
};
Hero hero(std::int64_t stepsSaved, std::int64_t ovrasPressed, std::string_view hotkeyLabel);

struct Tile {
    std::string title;
    std::string symbol;
    std::string value;
    bool ok = true;
    // What a click on the tile does, where the tile offers one.
    std::optional<OvraPane> opens;
    // What screen readers read: title, ": ", value.
    std::string accessibleLabel() const { return title + ": " + value; }
};
// Access, smart highlighting and the shortcut, in that order.
std::array<Tile, 3> tiles(bool trusted, const ModelState& model, std::string_view hotkeyLabel,
                          bool hotkeyFailed);

}  // namespace ovra::HomeHeaderModel
