#include "platform/keyboard/X11Keyboard.h"

#include <xcb/xcb.h>
// xcb's XKB header names a field "explicit", a C++ keyword.
#define explicit xkb_explicit
#include <xcb/xkb.h>
#undef explicit
#include <xkbcommon/xkbcommon-x11.h>

#include <cstdlib>

namespace ovra::keyboard {

namespace {

struct ContextDeleter {
    void operator()(xkb_context* context) const { xkb_context_unref(context); }
};

// The header all XKB events share; `xkbType` tells them apart.
struct XkbEventHeader {
    std::uint8_t responseType;
    std::uint8_t xkbType;
    std::uint16_t sequence;
    xcb_timestamp_t time;
    std::uint8_t deviceID;
};

}  // namespace

struct X11Keyboard::Connection {
    xcb_connection_t* xcb = nullptr;
    std::unique_ptr<xkb_context, ContextDeleter> context;
    std::int32_t device = -1;
    std::uint8_t firstXkbEvent = 0;

    ~Connection() {
        if (xcb != nullptr) {
            xcb_disconnect(xcb);
        }
    }

    // The keymap the server runs now and its effective group.
    Result<KeyboardLayout> load() const {
        xkb_keymap* keymap =
            xkb_x11_keymap_new_from_device(context.get(), xcb, device, XKB_KEYMAP_COMPILE_NO_FLAGS);
        if (keymap == nullptr) {
            return fail(std::string("the X server's keymap could not be read"));
        }
        std::uint32_t group = 0;
        if (xkb_state* state = xkb_x11_state_new_from_device(keymap, xcb, device)) {
            group = xkb_state_serialize_layout(state, XKB_STATE_LAYOUT_EFFECTIVE);
            xkb_state_unref(state);
        }
        return KeyboardLayout::adopt(keymap, group);
    }
};

Result<std::unique_ptr<X11Keyboard>> X11Keyboard::open() {
    auto connection = std::make_unique<Connection>();
    connection->xcb = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection->xcb) != 0) {
        return fail(std::string("no X display to read the keyboard layout from"));
    }
    std::uint8_t firstError = 0;
    if (xkb_x11_setup_xkb_extension(connection->xcb, XKB_X11_MIN_MAJOR_XKB_VERSION,
                                    XKB_X11_MIN_MINOR_XKB_VERSION,
                                    XKB_X11_SETUP_XKB_EXTENSION_NO_FLAGS, nullptr, nullptr,
                                    &connection->firstXkbEvent, &firstError) != 1) {
        return fail(std::string("the X server has no keyboard extension (XKB)"));
    }
    connection->device = xkb_x11_get_core_keyboard_device_id(connection->xcb);
    connection->context.reset(xkb_context_new(XKB_CONTEXT_NO_FLAGS));
    if (connection->device < 0 || !connection->context) {
        return fail(std::string("the X server reports no keyboard"));
    }

    constexpr std::uint16_t events = XCB_XKB_EVENT_TYPE_NEW_KEYBOARD_NOTIFY |
                                     XCB_XKB_EVENT_TYPE_MAP_NOTIFY |
                                     XCB_XKB_EVENT_TYPE_STATE_NOTIFY;
    constexpr std::uint16_t mapParts =
        XCB_XKB_MAP_PART_KEY_TYPES | XCB_XKB_MAP_PART_KEY_SYMS | XCB_XKB_MAP_PART_MODIFIER_MAP |
        XCB_XKB_MAP_PART_EXPLICIT_COMPONENTS | XCB_XKB_MAP_PART_KEY_ACTIONS |
        XCB_XKB_MAP_PART_VIRTUAL_MODS | XCB_XKB_MAP_PART_VIRTUAL_MOD_MAP;
    constexpr std::uint16_t groupParts = XCB_XKB_STATE_PART_GROUP_BASE |
                                         XCB_XKB_STATE_PART_GROUP_LATCH |
                                         XCB_XKB_STATE_PART_GROUP_LOCK;
    xcb_xkb_select_events_details_t details{};
    details.affectNewKeyboard = XCB_XKB_NKN_DETAIL_KEYCODES;
    details.newKeyboardDetails = XCB_XKB_NKN_DETAIL_KEYCODES;
    details.affectState = groupParts;
    details.stateDetails = groupParts;
    const auto cookie = xcb_xkb_select_events_aux_checked(
        connection->xcb, static_cast<xcb_xkb_device_spec_t>(connection->device), events, 0, 0,
        mapParts, mapParts, &details);
    if (xcb_generic_error_t* error = xcb_request_check(connection->xcb, cookie)) {
        std::free(error);
        return fail(std::string("the X server refused keyboard layout events"));
    }

    auto layout = connection->load();
    if (!layout.ok()) {
        return fail(layout.error());
    }
    return std::unique_ptr<X11Keyboard>(
        new X11Keyboard(std::move(connection), std::move(layout).value()));
}

X11Keyboard::X11Keyboard(std::unique_ptr<Connection> connection, KeyboardLayout layout)
    : connection_(std::move(connection)), layout_(std::move(layout)) {}

X11Keyboard::~X11Keyboard() = default;

int X11Keyboard::fileDescriptor() const {
    return xcb_get_file_descriptor(connection_->xcb);
}

bool X11Keyboard::reloadKeymap() {
    auto loaded = connection_->load();
    if (!loaded.ok()) {
        return false;  // keep the last keymap that worked
    }
    layout_ = std::move(loaded).value();
    return true;
}

bool X11Keyboard::processEvents() {
    bool changed = false;
    bool keymapStale = false;
    do {
        keymapStale = false;
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection_->xcb)) {
            if ((event->response_type & 0x7f) == connection_->firstXkbEvent) {
                const auto* header = reinterpret_cast<const XkbEventHeader*>(event);
                if (header->xkbType == XCB_XKB_NEW_KEYBOARD_NOTIFY ||
                    header->xkbType == XCB_XKB_MAP_NOTIFY) {
                    keymapStale = true;
                } else if (header->xkbType == XCB_XKB_STATE_NOTIFY) {
                    const auto* state =
                        reinterpret_cast<const xcb_xkb_state_notify_event_t*>(event);
                    if (state->group != layout_.group()) {
                        layout_ = layout_.inGroup(state->group);
                        changed = true;
                    }
                }
            }
            std::free(event);
        }
        // One reload for a burst of keymap events (setxkbmap sends several). Its round trips
        // can queue further events, which the socket will not announce again: drain once more.
        if (keymapStale && reloadKeymap()) {
            changed = true;
        }
    } while (keymapStale);
    return changed;
}

}  // namespace ovra::keyboard
