#pragma once

// Whether a program holds the whole keyboard, asked of the desktop's X server.

#include <xcb/xcb.h>

#include <cstdlib>

namespace ovra::testing {

// Whether no program holds the keyboard: another one could take it now.
inline bool keyboardFree() {
    xcb_connection_t* xcb = xcb_connect(nullptr, nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(xcb)).data->root;
    xcb_grab_keyboard_reply_t* reply = xcb_grab_keyboard_reply(
        xcb,
        xcb_grab_keyboard(xcb, 0, root, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
        nullptr);
    const bool free = reply != nullptr && reply->status == XCB_GRAB_STATUS_SUCCESS;
    std::free(reply);
    xcb_disconnect(xcb);  // lets go of the grab taken to find out
    return free;
}

}  // namespace ovra::testing
