#pragma once

// The keyboard confirm dialog's state and keys, as plain values: two buttons (0 confirm, 1
// cancel) with the focus starting on Cancel, moved by the arrows and Tab, chosen by Return,
// Space or Enter, by Esc (cancel) or by the letters R and C. The window wires it; the credits
// are its non-modal use.

#include <optional>
#include <string>

#include "app/settings/DashboardKeys.h"

namespace ovra {

struct ConfirmModel {
    std::string title;
    std::string message;
    std::string confirmTitle;
    std::string cancelTitle;
    bool destructive = false;
    int focus = 1;  // 0 the confirm button, 1 the cancel button
    bool confirmed = false;
};

namespace ConfirmKeys {

struct Outcome {
    enum class Kind { moved, chose, ignored, beep };
    Kind kind = Kind::beep;
    bool answer = false;  // when chose
};

// Moves the focus or sets `confirmed` for one key. A letter chooses only without Ctrl, Alt or
// Super, so a window shortcut such as Ctrl+R never answers the question.
Outcome handle(ConfirmModel& model, const DashboardKey& key);

// The "--trace-keys" line: dialog "<title>": <what>, focus on <focused button's title>.
std::string traceLine(const ConfirmModel& model, const std::string& what);

}  // namespace ConfirmKeys

namespace Credits {

// One text, shown and copied alike.
std::string text();

}  // namespace Credits

}  // namespace ovra
