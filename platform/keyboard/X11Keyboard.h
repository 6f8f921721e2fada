#pragma once

// The keyboard of the X server: its keymap and active layout group through xkbcommon-x11, kept
// current from the XKB events a layout switch sends (NewKeyboardNotify for `setxkbmap`,
// MapNotify for a changed keymap, StateNotify for a group switch). It reads on its own X
// connection, so nothing it selects changes how Qt's connection sees keys.

#include <memory>

#include "core/Result.h"
#include "platform/keyboard/KeyboardLayout.h"

namespace ovra::keyboard {

class X11Keyboard final {
  public:
    // Connects to $DISPLAY; fails without an X server or its XKB extension.
    static Result<std::unique_ptr<X11Keyboard>> open();
    ~X11Keyboard();
    X11Keyboard(const X11Keyboard&) = delete;
    X11Keyboard& operator=(const X11Keyboard&) = delete;

    // The connection's socket: readable when the server sent something.
    int fileDescriptor() const;
    // Handles everything the server has sent; true when the keymap or the group changed.
    bool processEvents();
    // The current layout: the server's keymap in its active group.
    const KeyboardLayout& layout() const { return layout_; }

  private:
    struct Connection;
    X11Keyboard(std::unique_ptr<Connection> connection, KeyboardLayout layout);
    bool reloadKeymap();

    std::unique_ptr<Connection> connection_;
    KeyboardLayout layout_;
};

}  // namespace ovra::keyboard
