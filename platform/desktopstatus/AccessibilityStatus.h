#pragma once

// The accessibility bus launcher's switches (org.a11y.Status), asked without waiting: the answer
// comes on the main thread. Only the launcher is asked, so an app that hangs on the accessibility
// bus cannot make the answer flicker.

#include <functional>

namespace ovra::desktopstatus {

// Calls `answer` once, on the main thread, with IsEnabled: whether the session's accessibility
// is switched on. False when the launcher says no, does not answer within half a second, or is
// not there.
void askAccessibilityEnabled(std::function<void(bool)> answer);
// The same with ScreenReaderEnabled: whether a screen reader says it runs in this session.
void askScreenReaderEnabled(std::function<void(bool)> answer);

}  // namespace ovra::desktopstatus
