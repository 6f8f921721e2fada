#include "platform/x11/X11Workspace.h"

#include <xcb/randr.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/x11/Xcb.h"

namespace ovra::x11 {

std::optional<std::string> sessionRefusal(const paths::Environment& environment) {
    const auto type = environment("XDG_SESSION_TYPE");
    const auto display = environment("DISPLAY");
    const auto wayland = environment("WAYLAND_DISPLAY");
    const bool isWayland = (type && *type == "wayland") || (!type && wayland && !wayland->empty());
    if (isWayland) {
        return "Murmlark Ovra needs an X11 session. Wayland does not let it see where other apps "
               "draw their controls or press them for you. Choose an X11 session (such as "
               "\"GNOME on Xorg\") at the login screen.";
    }
    if (!display || display->empty()) {
        return "Murmlark Ovra needs an X11 display, and none is set (DISPLAY is empty).";
    }
    return std::nullopt;
}

std::optional<std::uint32_t> windowToRaise(const std::vector<ActiveWindow>& windows,
                                           std::int64_t pid, const std::string& title) {
    std::optional<std::uint32_t> newest;
    for (const auto& window : windows) {
        if (window.pid != pid) {
            continue;
        }
        if (!title.empty() && window.title == title) {
            return window.window;
        }
        newest = window.window;
    }
    return newest;
}

Twins twinsOf(const std::vector<StackedWindow>& windows, std::uint32_t captured) {
    const auto self = std::find_if(windows.begin(), windows.end(),
                                   [&](const StackedWindow& w) { return w.window == captured; });
    if (self == windows.end() || self->frame.isNull()) {
        return {};
    }
    Twins twins{0, 0, true};
    for (const StackedWindow& w : windows) {
        if (w.frame.isNull() || !liesInSamePlace(w.frame, self->frame)) {
            continue;
        }
        if (w.window == captured) {
            twins.index = twins.count;
        } else if (w.level < 0 || self->level < 0 || w.level > self->level) {
            twins.onTop = false;  // above it, or nothing tells
        }
        ++twins.count;
    }
    return twins;
}

ModalDialogs modalDialogsOf(const std::vector<StackedWindow>& windows, std::uint32_t captured) {
    std::vector<const StackedWindow*> modal;
    for (const StackedWindow& w : windows) {
        if (w.modal && w.window != captured) {
            modal.push_back(&w);
        }
    }
    std::stable_sort(
        modal.begin(), modal.end(),
        [](const StackedWindow* a, const StackedWindow* b) { return a->level > b->level; });
    ModalDialogs dialogs;
    for (const StackedWindow* w : modal) {
        dialogs.titles.push_back(w->title);
        dialogs.overCaptured =
            dialogs.overCaptured || (captured != 0 && w->transientFor == captured);
    }
    return dialogs;
}

std::vector<Rect> primaryFirst(std::vector<Rect> monitors,
                               std::optional<std::size_t> primaryIndex) {
    if (primaryIndex && *primaryIndex < monitors.size() && *primaryIndex != 0) {
        Rect primary = monitors[*primaryIndex];
        monitors.erase(monitors.begin() + static_cast<std::ptrdiff_t>(*primaryIndex));
        monitors.insert(monitors.begin(), primary);
    }
    return monitors;
}

struct Workspace::Impl {
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = 0;
    std::uint16_t rootWidth = 0;
    std::uint16_t rootHeight = 0;
    xcb_atom_t activeWindow = 0, wmPid = 0, wmName = 0, utf8 = 0, timeProperty = 0;
    xcb_window_t clock = 0;  // an unmapped window of our own whose property changes tell the time
    bool activeChanged = false;

    ~Impl() {
        if (connection != nullptr) {
            xcb_disconnect(connection);
        }
    }

    xcb_atom_t atom(const char* name) { return internAtom(connection, name); }

    // The raw bytes of a property, at most `maxLongs` 32-bit units.
    std::optional<std::string> property(xcb_window_t window, xcb_atom_t name, xcb_atom_t type,
                                        std::uint32_t maxLongs = 1024) {
        if (name == 0) {
            return std::nullopt;
        }
        auto cookie = xcb_get_property(connection, 0, window, name, type, 0, maxLongs);
        Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(connection, cookie, nullptr));
        if (!reply || reply->type == XCB_NONE) {
            return std::nullopt;
        }
        const int length = xcb_get_property_value_length(reply.get());
        if (length <= 0) {
            return std::string();
        }
        const auto* bytes = static_cast<const char*>(xcb_get_property_value(reply.get()));
        return std::string(bytes, static_cast<std::size_t>(length));
    }

    std::optional<std::uint32_t> cardinal(xcb_window_t window, xcb_atom_t name, xcb_atom_t type) {
        auto bytes = property(window, name, type, 1);
        if (!bytes || bytes->size() < 4) {
            return std::nullopt;
        }
        std::uint32_t value = 0;
        std::memcpy(&value, bytes->data(), 4);
        return value;
    }
};

Workspace::Workspace(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Workspace::~Workspace() = default;

Result<std::unique_ptr<Workspace>> Workspace::open() {
    if (auto refusal = sessionRefusal(paths::processEnvironment)) {
        return fail(*refusal);
    }
    auto impl = std::make_unique<Impl>();
    int screenNumber = 0;
    impl->connection = xcb_connect(nullptr, &screenNumber);
    if (impl->connection == nullptr || xcb_connection_has_error(impl->connection) != 0) {
        return fail(std::string("cannot connect to the X display ") +
                    paths::processEnvironment("DISPLAY").value_or(""));
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(impl->connection));
    for (int i = 0; i < screenNumber && it.rem > 0; ++i) {
        xcb_screen_next(&it);
    }
    if (it.rem == 0) {
        return fail(std::string("the X display has no screen"));
    }
    impl->root = it.data->root;
    impl->rootWidth = it.data->width_in_pixels;
    impl->rootHeight = it.data->height_in_pixels;
    impl->activeWindow = impl->atom("_NET_ACTIVE_WINDOW");
    impl->wmPid = impl->atom("_NET_WM_PID");
    impl->wmName = impl->atom("_NET_WM_NAME");
    impl->utf8 = impl->atom("UTF8_STRING");
    return std::unique_ptr<Workspace>(new Workspace(std::move(impl)));
}

std::optional<ActiveWindow> Workspace::activeWindow() {
    const auto bytes = impl_->property(impl_->root, impl_->activeWindow, XCB_ATOM_WINDOW, 1);
    if (!bytes) {
        // No window manager marks the active window: the keyboard's window is in front.
        const auto focused = focusedTopLevel();
        return focused ? std::optional(describe(*focused)) : std::nullopt;
    }
    std::uint32_t window = 0;
    if (bytes->size() >= 4) {
        std::memcpy(&window, bytes->data(), 4);
    }
    if (window == 0) {
        return std::nullopt;
    }
    return describe(window);
}

std::optional<std::uint32_t> Workspace::focusedTopLevel() {
    xcb_connection_t* c = impl_->connection;
    Reply<xcb_get_input_focus_reply_t> focus(
        xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    if (!focus) {
        return std::nullopt;
    }
    xcb_window_t window = focus->focus;
    if (window == XCB_NONE || window == XCB_INPUT_FOCUS_POINTER_ROOT || window == impl_->root) {
        // Keys go to the window under the pointer.
        Reply<xcb_query_pointer_reply_t> pointer(
            xcb_query_pointer_reply(c, xcb_query_pointer(c, impl_->root), nullptr));
        if (!pointer || pointer->child == XCB_NONE) {
            return std::nullopt;
        }
        return pointer->child;
    }
    // Up to the client's top-level window: the one a window manager marked with WM_STATE (it
    // may have put a frame around it), else the child of the root.
    const xcb_atom_t wmState = impl_->atom("WM_STATE");
    for (int depth = 0; depth < 64; ++depth) {
        if (impl_->property(window, wmState, XCB_GET_PROPERTY_TYPE_ANY, 1)) {
            return window;
        }
        Reply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr));
        if (!tree) {
            return std::nullopt;
        }
        if (tree->parent == impl_->root || tree->parent == XCB_NONE) {
            return window;
        }
        window = tree->parent;
    }
    return std::nullopt;
}

std::vector<std::uint32_t> Workspace::clientList() {
    std::vector<std::uint32_t> windows;
    auto list =
        impl_->property(impl_->root, impl_->atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW, 4096);
    if (!list) {
        return windows;
    }
    for (std::size_t offset = 0; offset + 4 <= list->size(); offset += 4) {
        std::uint32_t window = 0;
        std::memcpy(&window, list->data() + offset, 4);
        if (window != 0) {
            windows.push_back(window);
        }
    }
    return windows;
}

std::vector<ActiveWindow> Workspace::clientWindows() {
    std::vector<ActiveWindow> windows;
    for (const std::uint32_t window : clientList()) {
        windows.push_back(describe(window));
    }
    return windows;
}

std::vector<ActiveWindow> Workspace::windowsOf(std::int64_t pid) {
    std::vector<ActiveWindow> windows;
    if (pid <= 0) {
        return windows;
    }
    for (const std::uint32_t window : clientList()) {
        // Only the process id first: the other properties are read for its own windows alone.
        auto owner = impl_->cardinal(window, impl_->wmPid, XCB_ATOM_CARDINAL);
        if (owner && static_cast<std::int64_t>(*owner) == pid) {
            windows.push_back(describe(window));
        }
    }
    return windows;
}

std::optional<std::uint32_t> Workspace::windowToRaise(std::int64_t pid, const std::string& title) {
    // Qt adds the app's name to the title the window manager shows: "Rename — Notes".
    const auto titled = [&](const std::string& shown) {
        return shown == title || shown.starts_with(title + " \xe2\x80\x94 ") ||
               shown.starts_with(title + " - ");
    };
    if (const auto active = activeWindow();
        active && active->pid == pid && !title.empty() && titled(active->title)) {
        return active->window;
    }
    return x11::windowToRaise(windowsOf(pid), pid, title);
}

std::vector<StackedWindow> Workspace::stackOf(std::int64_t pid) {
    std::vector<StackedWindow> windows;
    if (pid <= 0) {
        return windows;
    }
    std::vector<std::uint32_t> stacking;
    if (auto list = impl_->property(impl_->root, impl_->atom("_NET_CLIENT_LIST_STACKING"),
                                    XCB_ATOM_WINDOW, 4096)) {
        for (std::size_t offset = 0; offset + 4 <= list->size(); offset += 4) {
            std::uint32_t window = 0;
            std::memcpy(&window, list->data() + offset, 4);
            stacking.push_back(window);
        }
    }
    for (const ActiveWindow& mine : windowsOf(pid)) {
        StackedWindow w;
        w.window = mine.window;
        w.title = mine.title;
        w.frame = contentFrame(mine.window).value_or(Rect());
        const auto at = std::find(stacking.begin(), stacking.end(), mine.window);
        w.level = at == stacking.end() ? -1 : static_cast<int>(at - stacking.begin());
        w.modal = hasAtom(mine.window, "_NET_WM_STATE", "_NET_WM_STATE_MODAL");
        w.transientFor =
            impl_->cardinal(mine.window, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW).value_or(0);
        windows.push_back(std::move(w));
    }
    return windows;
}

bool Workspace::hasAtom(std::uint32_t window, const char* property, const char* wanted) {
    const xcb_atom_t target = impl_->atom(wanted);
    auto bytes = impl_->property(window, impl_->atom(property), XCB_ATOM_ATOM, 64);
    for (std::size_t at = 0; target != 0 && bytes && at + 4 <= bytes->size(); at += 4) {
        xcb_atom_t atom = 0;
        std::memcpy(&atom, bytes->data() + at, 4);
        if (atom == target) {
            return true;
        }
    }
    return false;
}

ActiveWindow Workspace::describe(std::uint32_t window) {
    ActiveWindow result;
    result.window = window;
    if (auto pid = impl_->cardinal(window, impl_->wmPid, XCB_ATOM_CARDINAL); pid && *pid > 0) {
        result.pid = static_cast<std::int64_t>(*pid);
    }
    if (auto title = impl_->property(window, impl_->wmName, impl_->utf8)) {
        result.title = *title;
    } else if (auto legacy = impl_->property(window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING)) {
        result.title = *legacy;
    }
    if (auto wmClass = impl_->property(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING)) {
        // "instance\0class\0"
        const auto split = wmClass->find('\0');
        if (split != std::string::npos) {
            std::string rest = wmClass->substr(split + 1);
            result.windowClass = rest.substr(0, rest.find('\0'));
        }
    }
    return result;
}

std::vector<Rect> Workspace::screenFrames() {
    const Rect rootFrame{0, 0, static_cast<double>(impl_->rootWidth),
                         static_cast<double>(impl_->rootHeight)};
    auto cookie = xcb_randr_get_monitors(impl_->connection, impl_->root, 1);
    Reply<xcb_randr_get_monitors_reply_t> reply(
        xcb_randr_get_monitors_reply(impl_->connection, cookie, nullptr));
    if (!reply) {
        return {rootFrame};
    }
    std::vector<Rect> monitors;
    std::optional<std::size_t> primary;
    for (auto it = xcb_randr_get_monitors_monitors_iterator(reply.get()); it.rem > 0;
         xcb_randr_monitor_info_next(&it)) {
        if (it.data->primary != 0 && !primary) {
            primary = monitors.size();
        }
        monitors.push_back(Rect{static_cast<double>(it.data->x), static_cast<double>(it.data->y),
                                static_cast<double>(it.data->width),
                                static_cast<double>(it.data->height)});
    }
    if (monitors.empty()) {
        return {rootFrame};
    }
    return primaryFirst(std::move(monitors), primary);
}

bool Workspace::activate(std::uint32_t window, std::uint32_t time) {
    if (impl_->activeWindow == 0 || window == 0) {
        return false;
    }
    if (!impl_->property(impl_->root, impl_->activeWindow, XCB_ATOM_WINDOW, 1)) {
        // No window manager to ask: raise the window and give it the keyboard ourselves.
        const std::uint32_t above = XCB_STACK_MODE_ABOVE;
        xcb_configure_window(impl_->connection, window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
        return focus(window);
    }
    // As a pager, so the window manager does not refuse it.
    sendToWindowManager(impl_->connection, impl_->root, window, impl_->activeWindow,
                        {static_cast<std::uint32_t>(RequestSource::pager), time, XCB_NONE});
    return xcb_flush(impl_->connection) > 0;
}

bool Workspace::focus(std::uint32_t window) {
    xcb_connection_t* c = impl_->connection;
    if (window == 0) {
        return false;
    }
    // Focus on a window that is not viewable is an error: ask first.
    Reply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr));
    if (!attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE) {
        return false;
    }
    xcb_set_input_focus(c, XCB_INPUT_FOCUS_PARENT, window, XCB_CURRENT_TIME);
    // The reply comes after the server has moved the focus.
    Reply<xcb_get_input_focus_reply_t> now(
        xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    return now && now->focus == window;
}

bool Workspace::isDialog(std::uint32_t window) {
    if (impl_->cardinal(window, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW).value_or(0) != 0) {
        return true;
    }
    return hasAtom(window, "_NET_WM_WINDOW_TYPE", "_NET_WM_WINDOW_TYPE_DIALOG") ||
           hasAtom(window, "_NET_WM_STATE", "_NET_WM_STATE_MODAL");
}

std::optional<Rect> Workspace::contentFrame(std::uint32_t window) {
    const std::optional<Rect> whole = wholeFrame(window);
    if (!whole) {
        return std::nullopt;
    }
    Rect frame = *whole;
    // left, right, top, bottom
    auto shadow = impl_->property(window, impl_->atom("_GTK_FRAME_EXTENTS"), XCB_ATOM_CARDINAL, 4);
    if (shadow && shadow->size() >= 16) {
        std::uint32_t e[4];
        std::memcpy(e, shadow->data(), 16);
        const double width = frame.width() - e[0] - e[1];
        const double height = frame.height() - e[2] - e[3];
        if (width > 0 && height > 0) {
            frame = Rect{frame.minX() + e[0], frame.minY() + e[2], width, height};
        }
    }
    return frame;
}

std::optional<Rect> Workspace::wholeFrame(std::uint32_t window) {
    auto geometryCookie = xcb_get_geometry(impl_->connection, window);
    auto originCookie = xcb_translate_coordinates(impl_->connection, window, impl_->root, 0, 0);
    Reply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(impl_->connection, geometryCookie, nullptr));
    Reply<xcb_translate_coordinates_reply_t> origin(
        xcb_translate_coordinates_reply(impl_->connection, originCookie, nullptr));
    if (!geometry || !origin) {
        return std::nullopt;
    }
    return Rect{static_cast<double>(origin->dst_x), static_cast<double>(origin->dst_y),
                static_cast<double>(geometry->width), static_cast<double>(geometry->height)};
}

std::optional<Rect> Workspace::decoratedFrame(std::uint32_t window) {
    const std::optional<Rect> whole = wholeFrame(window);
    if (!whole) {
        return std::nullopt;
    }
    // left, right, top, bottom; a window manager's decorations are never this large.
    constexpr std::uint32_t kMostDecoration = 512;
    auto extents = impl_->property(window, impl_->atom("_NET_FRAME_EXTENTS"), XCB_ATOM_CARDINAL, 4);
    if (!extents || extents->size() < 16) {
        return whole;
    }
    std::uint32_t e[4];
    std::memcpy(e, extents->data(), 16);
    if (*std::max_element(std::begin(e), std::end(e)) > kMostDecoration) {
        return whole;
    }
    return Rect{whole->minX() - e[0], whole->minY() - e[2], whole->width() + e[0] + e[1],
                whole->height() + e[2] + e[3]};
}

std::uint32_t Workspace::serverTime() {
    xcb_connection_t* c = impl_->connection;
    if (impl_->clock == 0) {
        impl_->clock = xcb_generate_id(c);
        const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
        xcb_create_window(c, XCB_COPY_FROM_PARENT, impl_->clock, impl_->root, -1, -1, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                          &mask);
        impl_->timeProperty = impl_->atom("_OVRA_SERVER_TIME");
    }
    // Appending nothing changes no value, yet the server reports the change with its time.
    xcb_change_property(c, XCB_PROP_MODE_APPEND, impl_->clock, impl_->timeProperty, XCB_ATOM_STRING,
                        8, 0, nullptr);
    xcb_flush(c);
    while (xcb_generic_event_t* raw = xcb_wait_for_event(c)) {
        Reply<xcb_generic_event_t> event(raw);
        if ((event->response_type & 0x7f) == XCB_PROPERTY_NOTIFY) {
            const auto* notify = reinterpret_cast<const xcb_property_notify_event_t*>(raw);
            if (notify->window == impl_->clock) {
                return notify->time;
            }
        }
        noteEvent(raw);
    }
    return 0;
}

void Workspace::noteEvent(const void* raw) {
    const auto* event = static_cast<const xcb_generic_event_t*>(raw);
    if ((event->response_type & 0x7f) != XCB_PROPERTY_NOTIFY) {
        return;
    }
    const auto* notify = static_cast<const xcb_property_notify_event_t*>(raw);
    if (notify->window == impl_->root && notify->atom == impl_->activeWindow) {
        impl_->activeChanged = true;
    }
}

void Workspace::watchActiveWindow() {
    const std::uint32_t mask = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(impl_->connection, impl_->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(impl_->connection);
}

bool Workspace::activeWindowChanged() {
    while (xcb_generic_event_t* raw = xcb_poll_for_event(impl_->connection)) {
        Reply<xcb_generic_event_t> event(raw);
        noteEvent(raw);
    }
    return std::exchange(impl_->activeChanged, false);
}

int Workspace::fileDescriptor() const {
    return xcb_get_file_descriptor(impl_->connection);
}

}  // namespace ovra::x11
