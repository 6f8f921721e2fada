#include "platform/clickaway/ClickAwayMonitor.h"

#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <QSocketNotifier>
#include <cstdlib>

namespace ovra::clickaway {

namespace {

constexpr std::uint32_t kLeftButton = 1;
constexpr std::uint32_t kRightButton = 3;

}  // namespace

struct ClickAwayMonitor::Connection {
    xcb_connection_t* xcb = nullptr;
    xcb_window_t root = 0;
    std::uint8_t xinput = 0;  // the extension's major opcode

    ~Connection() {
        if (xcb != nullptr) {
            xcb_disconnect(xcb);
        }
    }
};

Result<std::unique_ptr<ClickAwayMonitor>> ClickAwayMonitor::open(Handler handler) {
    auto connection = std::make_unique<Connection>();
    int screenNumber = 0;
    connection->xcb = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(connection->xcb) != 0) {
        return fail(std::string("no X display"));
    }
    const xcb_query_extension_reply_t* extension =
        xcb_get_extension_data(connection->xcb, &xcb_input_id);
    if (extension == nullptr || extension->present == 0) {
        return fail(std::string("the X server has no XInput extension"));
    }
    connection->xinput = extension->major_opcode;
    xcb_input_xi_query_version_reply_t* version = xcb_input_xi_query_version_reply(
        connection->xcb, xcb_input_xi_query_version(connection->xcb, 2, 0), nullptr);
    const bool xi2 = version != nullptr && version->major_version >= 2;
    std::free(version);
    if (!xi2) {
        return fail(std::string("the X server has no XInput 2"));
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection->xcb));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i) {
        xcb_screen_next(&screens);
    }
    connection->root = screens.data->root;

    struct {
        xcb_input_event_mask_t head;
        std::uint32_t mask;
    } select{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS};
    xcb_generic_error_t* error = xcb_request_check(
        connection->xcb,
        xcb_input_xi_select_events_checked(connection->xcb, connection->root, 1, &select.head));
    if (error != nullptr) {
        std::free(error);
        return fail(std::string("the X server refused raw button events"));
    }
    return std::unique_ptr<ClickAwayMonitor>(
        new ClickAwayMonitor(std::move(connection), std::move(handler)));
}

ClickAwayMonitor::ClickAwayMonitor(std::unique_ptr<Connection> connection, Handler handler)
    : connection_(std::move(connection)), handler_(std::move(handler)) {
    notifier_ =
        new QSocketNotifier(xcb_get_file_descriptor(connection_->xcb), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { readEvents(); });
}

ClickAwayMonitor::~ClickAwayMonitor() = default;

void ClickAwayMonitor::readEvents() {
    xcb_connection_t* xcb = connection_->xcb;
    if (xcb_connection_has_error(xcb) != 0) {
        notifier_->setEnabled(false);  // the server is gone: nothing more will come
        return;
    }
    bool pressed = false;
    while (xcb_generic_event_t* event = xcb_poll_for_event(xcb)) {
        if ((event->response_type & 0x7f) == XCB_GE_GENERIC) {
            const auto* raw = reinterpret_cast<const xcb_input_raw_button_press_event_t*>(event);
            if (raw->extension == connection_->xinput &&
                raw->event_type == XCB_INPUT_RAW_BUTTON_PRESS &&
                (raw->detail == kLeftButton || raw->detail == kRightButton)) {
                pressed = true;
            }
        }
        std::free(event);
    }
    if (!pressed || !handler_) {
        return;
    }
    // Raw events carry no position: the pointer is where the press happened.
    xcb_query_pointer_reply_t* pointer =
        xcb_query_pointer_reply(xcb, xcb_query_pointer(xcb, connection_->root), nullptr);
    if (pointer != nullptr) {
        const Point at{static_cast<double>(pointer->root_x), static_cast<double>(pointer->root_y)};
        std::free(pointer);
        handler_(at);
    }
}

}  // namespace ovra::clickaway
