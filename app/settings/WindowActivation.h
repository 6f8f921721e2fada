#pragma once

// Bringing one of the app's windows forward on X11: onto the desktop (workspace) the user is on,
// then activated with the server time of the event that asked, so the window manager's focus
// stealing prevention does not refuse it. Without an X server (tests) Qt's own request is used.

#include <cstdint>
#include <optional>

class QWindow;

namespace ovra::WindowActivation {

void bringForward(QWindow& window, std::optional<std::uint32_t> eventTime);

}  // namespace ovra::WindowActivation
