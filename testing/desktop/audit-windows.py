# Reads every window of one process over AT-SPI as a screen reader does (pyatspi, property by
# property) and prints what a user of a screen reader or of the keyboard could not use:
#   problem<TAB>role<TAB>name<TAB>where
# then one line "controls<TAB>N" with the number of showing controls read.
# Usage: python3 audit-windows.py PID
import sys

import pyatspi

CONTROLS = {
    "push button", "toggle button", "check box", "radio button", "combo box", "slider",
    "spin button", "page tab", "text", "entry", "password text", "menu item",
    "check menu item", "radio menu item", "list item", "link",
}
# Containers a toolkit may make focusable on its own; they take their name from what they hold.
CONTAINERS = {"frame", "window", "dialog", "filler", "panel", "scroll pane", "viewport",
              "unknown", "redundant object", "application", "layered pane", "page tab list",
              "list", "list box", "menu", "tool bar", "status bar", "separator"}

pid = int(sys.argv[1])
controls = 0
visited = 0


def walk(node, path, depth):
    global controls, visited
    visited += 1
    if visited > 5000 or depth > 30:
        return
    try:
        role = node.getRoleName()
        name = (node.name or "").strip()
        states = node.getState()
    except Exception:
        return
    showing = states.contains(pyatspi.STATE_SHOWING)
    where = path + "/" + role
    if showing and role in CONTROLS:
        controls += 1
        if not name:
            print("no name\t%s\t\t%s" % (role, where))
    if showing and states.contains(pyatspi.STATE_FOCUSABLE) and not name \
            and role not in CONTROLS and role not in CONTAINERS:
        print("focusable without a name\t%s\t\t%s" % (role, where))
    try:
        count = min(node.childCount, 400)
    except Exception:
        return
    for i in range(count):
        try:
            child = node.getChildAtIndex(i)
        except Exception:
            continue
        if child is not None:
            walk(child, where, depth + 1)


for app in pyatspi.Registry.getDesktop(0):
    try:
        if app is not None and app.get_process_id() == pid:
            walk(app, "", 0)
    except Exception:
        pass
print("controls\t%d" % controls)
