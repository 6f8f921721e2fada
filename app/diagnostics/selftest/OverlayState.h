#pragma once

// The self-tests' lines about the app's windows: the overlay's state in one line (what shows,
// whether it has the keyboard, the view of the plan, the find text, the selection and the list
// the keys walk), and the summary of the app's visible windows. Main thread only.

#include <string>
#include <vector>

#include "app/overlay/OverlayModel.h"

class QWidget;

namespace ovra {
class OverlayPanel;
}

namespace ovra::selftest {

// What the overlay's window says of itself.
struct OverlayWindowFlags {
    bool visible = false;
    bool key = false;               // it is the window that takes the keys
    bool fieldHasKeyboard = false;  // its focused widget is the find field
};

// "visible=… panelKey=… sidebar=… finding=… query="…" fieldHasKeyboard=… stale=… armed=…
// selected=<label or none> list=["…", …]".
std::string overlayState(const OverlayModel& model, const OverlayWindowFlags& window);

// `["a", "b"]`: each text quoted, quotes and backslashes escaped; `[]` when empty.
std::string quotedList(const std::vector<std::string>& texts);

// The app's overlay window: the first of its windows that is an overlay panel, visible ones
// first; none before the overlay was first shown.
OverlayPanel* overlayPanel();
OverlayWindowFlags flagsOf(const OverlayPanel* panel);
// The top-level window that has the keyboard; none when the app has none.
QWidget* keyWindow();

// "windows=[…] keyWindow=<title or none>": the titles of the visible titled windows.
std::string windowsSummary();

}  // namespace ovra::selftest
