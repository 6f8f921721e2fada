#!/usr/bin/python3
# An untitled GTK 3 message dialog, as apps ask a question: its answer is printed
# ("response -6" for Cancel, -5 for OK) and the dialog stays.
import gi

gi.require_version("Gtk", "3.0")
from gi.repository import Gtk  # noqa: E402

dialog = Gtk.MessageDialog(
    message_type=Gtk.MessageType.QUESTION,
    buttons=Gtk.ButtonsType.OK_CANCEL,
    text="Discard the changes?",
)
dialog.format_secondary_text("They are lost for good.")
dialog.connect("response", lambda _dialog, answer: print("response", answer, flush=True))
dialog.connect("destroy", Gtk.main_quit)
dialog.show_all()
Gtk.main()
