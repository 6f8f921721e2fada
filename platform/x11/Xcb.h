#pragma once

// Small helpers for the platform's own XCB code: replies freed on scope exit, atoms by name and
// requests to the window manager. Only platform/ includes this file.

#include <xcb/xcb.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>

namespace ovra::x11 {

struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};
// A reply (or error, or event) that XCB allocated and the caller owns.
template <class T>
using Reply = std::unique_ptr<T, FreeReply>;

template <class T>
Reply<T> own(T* reply) {
    return Reply<T>(reply);
}

// The atom of `name`, interned when the server has none yet; XCB_ATOM_NONE when it cannot answer.
xcb_atom_t internAtom(xcb_connection_t* connection, std::string_view name);

// Who asks the window manager for something (EWMH "source indication").
enum class RequestSource : std::uint32_t { application = 1, pager = 2 };

// A client message about `window` to the window manager, which listens on the root (EWMH); for
// _NET_ACTIVE_WINDOW the data is the source, the server time and the requester's active window.
xcb_void_cookie_t sendToWindowManager(xcb_connection_t* connection, xcb_window_t root,
                                      xcb_window_t window, xcb_atom_t type,
                                      std::array<std::uint32_t, 3> data, bool checked = false);

}  // namespace ovra::x11
