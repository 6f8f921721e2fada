#!/usr/bin/python3
# A GTK 3 app of several windows, as the front-window journeys meet one. Every press prints
# "<window>: <button>" on standard output, and "ready" once all its windows show.
#   twins   two copies of a modeless "Rename" dialog of one size, the second opened over the first
#   single  one such dialog
#   modal   a "Notes" window with an app-modal "Save changes?" dialog over it, and an "Other"
#           window of the same app brought forward, where a click does nothing while the dialog
#           waits
#   later   "Notes" and "Other" in front; the line "ask" on standard input opens that dialog
#           without taking the keyboard, as an app asks while the user looks elsewhere
import sys

import gi

gi.require_version("Gtk", "3.0")
from gi.repository import GLib, Gtk  # noqa: E402


def say(line):
    print(line, flush=True)


def window(title, buttons, name, dialog=False, parent=None):
    win = Gtk.Dialog(title=title) if dialog else Gtk.Window(title=title)
    win.set_default_size(360, 160)
    if parent is not None:
        win.set_transient_for(parent)
    box = win.get_content_area() if dialog else Gtk.Box(spacing=12)
    if not dialog:
        win.add(box)
    row = Gtk.Box(spacing=12)
    for label in buttons:
        button = Gtk.Button(label=label)
        button.connect("clicked", lambda _b, label=label: say(f"{name}: {label}"))
        row.pack_start(button, True, True, 6)
    box.pack_start(row, True, True, 12)
    win.connect("delete-event", lambda *_: True)
    return win


def show_at(win, x, y):
    win.move(x, y)
    win.show_all()


mode = sys.argv[1] if len(sys.argv) > 1 else "twins"
shown = []
if mode in ("twins", "single"):
    count = 2 if mode == "twins" else 1
    for n in range(1, count + 1):
        shown.append(window("Rename", ["Apply", "Revert"], f"copy {n}", dialog=True))
elif mode in ("modal", "later"):
    notes = window("Notes", ["Refresh notes"], "notes")
    other = window("Other", ["Refresh"], "other")
    ask = window("Save changes?", ["Save", "Discard"], "dialog", dialog=True, parent=notes)
    ask.set_modal(True)
    shown = [notes, other, ask] if mode == "modal" else [notes, other]
else:
    sys.exit(f"unknown mode {mode}")


def show_next():
    # One after another, each over the last, so the window manager stacks them in this order.
    if not shown:
        if mode in ("modal", "later"):
            GLib.timeout_add(300, bring_other)
        else:
            say("ready")
        return False
    win = shown.pop(0)
    show_at(win, 200, 200)
    GLib.timeout_add(400, show_next)
    return False


def bring_other():
    other = [w for w in Gtk.Window.list_toplevels() if w.get_title() == "Other"][0]
    other.present_with_time(Gtk.get_current_event_time())
    say("ready")
    return False


def read_command(channel, _condition):
    line = channel.readline()
    if line.strip() == "ask":
        ask.set_focus_on_map(False)
        ask.show_all()
        say("asked")
    return bool(line)


if mode == "later":
    GLib.io_add_watch(GLib.IOChannel.unix_new(sys.stdin.fileno()), GLib.IO_IN, read_command)
GLib.idle_add(show_next)
Gtk.main()
