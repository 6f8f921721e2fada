#pragma once

// Whether the session's accessibility is switched on (org.a11y.Status.IsEnabled of the
// accessibility bus launcher), asked without waiting: the answer comes on the main thread. Only
// the launcher is asked, so an app that hangs on the accessibility bus cannot make the answer
// flicker.

#include <functional>

namespace ovra::desktopstatus {

// Calls `answer` once, on the main thread: false when the launcher says no, does not answer
// within half a second, or is not there.
void askAccessibilityEnabled(std::function<void(bool)> answer);

}  // namespace ovra::desktopstatus
