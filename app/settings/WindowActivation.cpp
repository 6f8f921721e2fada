#include "app/settings/WindowActivation.h"

#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QWindow>
#include <cstdlib>
#include <string_view>

namespace ovra::WindowActivation {

namespace {

xcb_atom_t atom(xcb_connection_t* connection, std::string_view name) {
    const auto cookie =
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(name.size()), name.data());
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection, cookie, nullptr);
    xcb_atom_t found = XCB_ATOM_NONE;
    if (reply != nullptr) {
        found = reply->atom;
    }
    std::free(reply);
    return found;
}

std::optional<std::uint32_t> cardinal(xcb_connection_t* connection, xcb_window_t window,
                                      xcb_atom_t property) {
    const auto cookie = xcb_get_property(connection, 0, window, property, XCB_ATOM_CARDINAL, 0, 1);
    xcb_get_property_reply_t* reply = xcb_get_property_reply(connection, cookie, nullptr);
    std::optional<std::uint32_t> value;
    if (reply != nullptr && reply->format == 32 && xcb_get_property_value_length(reply) >= 4) {
        value = *static_cast<const std::uint32_t*>(xcb_get_property_value(reply));
    }
    std::free(reply);
    return value;
}

void send(xcb_connection_t* connection, xcb_window_t root, xcb_window_t window, xcb_atom_t type,
          std::uint32_t a, std::uint32_t b) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = type;
    event.data.data32[0] = a;
    event.data.data32[1] = b;
    xcb_send_event(connection, 0, root,
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
}

}  // namespace

void bringForward(QWindow& window, std::optional<std::uint32_t> eventTime) {
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11 != nullptr ? x11->connection() : nullptr;
    if (connection == nullptr) {
        window.requestActivate();
        return;
    }
    const xcb_window_t id = static_cast<xcb_window_t>(window.winId());
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    // Onto the desktop the user is on (source 1: an application).
    if (const auto desktop = cardinal(connection, root, atom(connection, "_NET_CURRENT_DESKTOP"))) {
        send(connection, root, id, atom(connection, "_NET_WM_DESKTOP"), *desktop, 1);
    }
    if (eventTime) {
        send(connection, root, id, atom(connection, "_NET_ACTIVE_WINDOW"), 1, *eventTime);
        xcb_flush(connection);
    } else {
        xcb_flush(connection);
        window.requestActivate();
    }
}

}  // namespace ovra::WindowActivation
