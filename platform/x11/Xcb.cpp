#include "platform/x11/Xcb.h"

namespace ovra::x11 {

xcb_atom_t internAtom(xcb_connection_t* connection, std::string_view name) {
    const auto cookie =
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.data());
    const auto reply = own(xcb_intern_atom_reply(connection, cookie, nullptr));
    return reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
}

xcb_void_cookie_t sendToWindowManager(xcb_connection_t* connection, xcb_window_t root,
                                      xcb_window_t window, xcb_atom_t type,
                                      std::array<std::uint32_t, 3> data, bool checked) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = type;
    for (std::size_t i = 0; i < data.size(); ++i) {
        event.data.data32[i] = data[i];
    }
    constexpr std::uint32_t mask =
        XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    const auto* bytes = reinterpret_cast<const char*>(&event);
    return checked ? xcb_send_event_checked(connection, 0, root, mask, bytes)
                   : xcb_send_event(connection, 0, root, mask, bytes);
}

}  // namespace ovra::x11
