#pragma once

// A key event of one of the settings window's windows as the keyboard model reads it: the key's
// physical position in the shared key-code vocabulary and what it types with Shift alone, both
// from the keyboard's current layout (never Qt's text, which turns Ctrl+A into a control
// character), the digit it types plain or with Shift, and the modifiers (Ctrl stands for
// Command). Events that carry no X key code (tests, other platforms) are placed by Qt's key.

#include <QKeyEvent>
#include <functional>
#include <optional>

#include "app/settings/DashboardKeys.h"

namespace ovra {

namespace keyboard {
class KeyboardLayout;
}

using LayoutSource = std::function<const keyboard::KeyboardLayout*()>;

namespace SettingsKeyInput {

// None for a modifier pressed alone.
std::optional<DashboardKey> from(const QKeyEvent& event, const keyboard::KeyboardLayout* layout);

}  // namespace SettingsKeyInput

}  // namespace ovra
