#include "app/overlay/CompositorWatch.h"

#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <cstdlib>
#include <string>

namespace ovra {

struct CompositorWatch::X11 {
    xcb_connection_t* connection = nullptr;
    xcb_atom_t selection = XCB_NONE;
    std::uint8_t firstEvent = 0;
};

namespace {

// The X screen number of $DISPLAY (":0.1" is screen 1); 0 when it names none.
int screenNumber() {
    const char* display = std::getenv("DISPLAY");
    if (!display) {
        return 0;
    }
    const std::string name(display);
    const auto colon = name.rfind(':');
    const auto dot = name.find('.', colon == std::string::npos ? 0 : colon);
    return dot == std::string::npos ? 0 : std::atoi(name.c_str() + dot + 1);
}

}  // namespace

CompositorWatch::CompositorWatch() {
    auto* app = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!app || !app->connection()) {
        return;
    }
    auto x11 = std::make_unique<X11>();
    x11->connection = app->connection();
    const int screen = screenNumber();
    const std::string name = "_NET_WM_CM_S" + std::to_string(screen);
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        x11->connection,
        xcb_intern_atom(x11->connection, 0, static_cast<std::uint16_t>(name.size()), name.c_str()),
        nullptr);
    xcb_xfixes_query_version_reply_t* version = xcb_xfixes_query_version_reply(
        x11->connection, xcb_xfixes_query_version(x11->connection, 5, 0), nullptr);
    const xcb_query_extension_reply_t* extension =
        xcb_get_extension_data(x11->connection, &xcb_xfixes_id);
    if (atom && version && extension && extension->present) {
        x11->selection = atom->atom;
        x11->firstEvent = extension->first_event;
        xcb_screen_iterator_t roots = xcb_setup_roots_iterator(xcb_get_setup(x11->connection));
        for (int i = 0; i < screen && roots.rem > 1; ++i) {
            xcb_screen_next(&roots);
        }
        xcb_xfixes_select_selection_input(
            x11->connection, roots.data->root, x11->selection,
            XCB_XFIXES_SELECTION_EVENT_MASK_SET_SELECTION_OWNER |
                XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_WINDOW_DESTROY |
                XCB_XFIXES_SELECTION_EVENT_MASK_SELECTION_CLIENT_CLOSE);
        xcb_flush(x11->connection);
        x11_ = std::move(x11);
        active_ = readOwner();
        QCoreApplication::instance()->installNativeEventFilter(this);
    }
    std::free(atom);
    std::free(version);
}

CompositorWatch::~CompositorWatch() {
    if (x11_ && QCoreApplication::instance()) {
        QCoreApplication::instance()->removeNativeEventFilter(this);
    }
}

bool CompositorWatch::readOwner() const {
    xcb_get_selection_owner_reply_t* owner = xcb_get_selection_owner_reply(
        x11_->connection, xcb_get_selection_owner(x11_->connection, x11_->selection), nullptr);
    const bool owned = owner && owner->owner != XCB_NONE;
    std::free(owner);
    return owned;
}

bool CompositorWatch::nativeEventFilter(const QByteArray& type, void* message, qintptr*) {
    if (!x11_ || type != "xcb_generic_event_t") {
        return false;
    }
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != x11_->firstEvent + XCB_XFIXES_SELECTION_NOTIFY) {
        return false;
    }
    const auto* notify = reinterpret_cast<const xcb_xfixes_selection_notify_event_t*>(event);
    if (notify->selection != x11_->selection) {
        return false;
    }
    const bool now = notify->owner != XCB_NONE;
    if (now != active_) {
        active_ = now;
        Q_EMIT changed(now);
    }
    return false;
}

}  // namespace ovra
