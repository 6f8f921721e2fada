#pragma once

// The on-screen button on this desktop: its windows, the screens Qt reports (the primary first),
// and the changes it follows (screens coming, going or resizing; another desktop shown, read
// from the root window's _NET_CURRENT_DESKTOP).

#include <QWidget>
#include <functional>

#include "app/shell/BubbleController.h"

namespace ovra {

// Sets the window manager states of a window always in reach: above other windows, on every
// desktop, out of the taskbar and the pager. Call before each showing (a hidden window loses
// them); does nothing off X11.
void keepOnEveryDesktop(QWidget& window);

// The services of a BubbleController on the running desktop. `dark` tells whether the app's
// windows look dark (the trail's colour).
BubbleController::Services desktopBubbleServices(Scheduler& scheduler,
                                                 std::function<bool()> reduceMotion,
                                                 std::function<bool()> dark);

}  // namespace ovra
