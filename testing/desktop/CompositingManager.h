#pragma once

// Whether a compositing manager runs on the test's X screen 0 (someone owns _NET_WM_CM_S0), asked
// over a connection of the test's own.

#include <xcb/xcb.h>

#include <cstdlib>

namespace ovra::testing {

inline bool compositingManagerRuns() {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    const char name[] = "_NET_WM_CM_S0";
    auto* atom = xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof name - 1, name), nullptr);
    auto* owner =
        atom ? xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom->atom), nullptr)
             : nullptr;
    const bool owned = owner && owner->owner != XCB_NONE;
    std::free(atom);
    std::free(owner);
    xcb_disconnect(c);
    return owned;
}

}  // namespace ovra::testing
