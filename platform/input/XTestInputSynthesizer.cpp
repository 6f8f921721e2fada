#include "platform/input/XTestInputSynthesizer.h"

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/x11/Xcb.h"

namespace ovra::input {
namespace {

using x11::own;

// A wheel turn is a press and release of button 4 (up) or 5 (down).
constexpr std::uint8_t kWheelUp = 4;
constexpr std::uint8_t kWheelDown = 5;
constexpr std::uint8_t kLeftButton = 1;
// More notches than this in one scroll are never a page or a third of one.
constexpr int kMaxNotches = 200;
constexpr std::chrono::milliseconds kClickPause{30};
// Between wheel notches: Chromium drops part of a run of notches that all come in the same
// millisecond while it is still animating an earlier scroll.
constexpr std::chrono::milliseconds kNotchPause{1};

}  // namespace

struct XTestInputSynthesizer::Impl {
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = 0;

    ~Impl() {
        if (connection != nullptr) {
            xcb_disconnect(connection);
        }
    }

    // Sends one fake event and reports whether the server accepted it.
    bool fake(std::uint8_t type, std::uint8_t detail, Pixel at = {}) {
        const auto cookie =
            xcb_test_fake_input_checked(connection, type, detail, XCB_CURRENT_TIME,
                                        type == XCB_MOTION_NOTIFY ? root : XCB_NONE, at.x, at.y, 0);
        auto error = own(xcb_request_check(connection, cookie));
        return error == nullptr;
    }

    bool moveTo(Pixel at) { return fake(XCB_MOTION_NOTIFY, 0, at); }

    bool press(std::uint8_t button, std::chrono::milliseconds hold = {}) {
        // A release follows every press that was accepted, so no button is left held.
        if (!fake(XCB_BUTTON_PRESS, button)) {
            return false;
        }
        std::this_thread::sleep_for(hold);
        return fake(XCB_BUTTON_RELEASE, button);
    }

    // The child of the root that holds `window` (itself when it is one), or nothing.
    xcb_window_t topLevelOf(xcb_window_t window) {
        for (int depth = 0; depth < 64 && window != XCB_NONE; ++depth) {
            auto tree =
                own(xcb_query_tree_reply(connection, xcb_query_tree(connection, window), nullptr));
            if (!tree) {
                return XCB_NONE;
            }
            if (tree->parent == root || tree->parent == XCB_NONE) {
                return tree->parent == root ? window : XCB_NONE;
            }
            window = tree->parent;
        }
        return XCB_NONE;
    }
};

XTestInputSynthesizer::XTestInputSynthesizer(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

XTestInputSynthesizer::~XTestInputSynthesizer() = default;

Result<std::unique_ptr<XTestInputSynthesizer>> XTestInputSynthesizer::open() {
    auto impl = std::make_unique<Impl>();
    int screenNumber = 0;
    impl->connection = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(impl->connection) != 0) {
        return fail(std::string("cannot connect to the X display"));
    }
    const auto* extension = xcb_get_extension_data(impl->connection, &xcb_test_id);
    if (extension == nullptr || extension->present == 0) {
        return fail(std::string("the X display has no XTest extension"));
    }
    auto iterator = xcb_setup_roots_iterator(xcb_get_setup(impl->connection));
    for (int i = 0; i < screenNumber && iterator.rem > 0; ++i) {
        xcb_screen_next(&iterator);
    }
    if (iterator.rem == 0 || iterator.data == nullptr) {
        return fail(std::string("the X display has no screen"));
    }
    impl->root = iterator.data->root;
    return std::unique_ptr<XTestInputSynthesizer>(new XTestInputSynthesizer(std::move(impl)));
}

std::optional<Point> XTestInputSynthesizer::pointerLocation() {
    auto reply = own(xcb_query_pointer_reply(
        impl_->connection, xcb_query_pointer(impl_->connection, impl_->root), nullptr));
    if (!reply || reply->same_screen == 0) {
        return std::nullopt;
    }
    return Point{static_cast<double>(reply->root_x), static_cast<double>(reply->root_y)};
}

bool XTestInputSynthesizer::movePointer(Point to) {
    const auto pixel = toPixel(to);
    return pixel && impl_->moveTo(*pixel);
}

bool XTestInputSynthesizer::click(Point at) {
    const auto pixel = toPixel(at);
    if (!pixel || !impl_->moveTo(*pixel)) {
        return false;
    }
    // Like a hand: the app sees the pointer arrive before the button goes down, and the button
    // held a moment. Window managers that take the press first (click to focus) and replay it
    // lose clicks that come all at once.
    std::this_thread::sleep_for(kClickPause);
    return impl_->press(kLeftButton, kClickPause);
}

bool XTestInputSynthesizer::pressAt(Point at) {
    const auto pixel = toPixel(at);
    const auto here = pointerLocation();
    if (!pixel || !here || toPixel(*here) != pixel) {
        return false;
    }
    // Held as long as a click's: Qt drops the click of a row whose button comes up in the same
    // moment it went down (its selection follows the press, its click handler never runs).
    return impl_->press(kLeftButton, kClickPause);
}

bool XTestInputSynthesizer::wheel(Point at, WheelDirection direction, int notches) {
    const auto pixel = toPixel(at);
    if (!pixel || notches < 1 || notches > kMaxNotches || !impl_->moveTo(*pixel)) {
        return false;
    }
    const std::uint8_t button = direction == WheelDirection::down ? kWheelDown : kWheelUp;
    for (int i = 0; i < notches; ++i) {
        if (i > 0) {
            std::this_thread::sleep_for(kNotchPause);
        }
        if (!impl_->press(button)) {
            return false;
        }
    }
    return true;
}

bool XTestInputSynthesizer::activateWindow(WindowId window) {
    const xcb_atom_t active = x11::internAtom(impl_->connection, "_NET_ACTIVE_WINDOW");
    if (active == XCB_NONE || window == XCB_NONE) {
        return false;
    }
    // As a pager, as the request comes on the user's behalf.
    const auto cookie = x11::sendToWindowManager(
        impl_->connection, impl_->root, window, active,
        {static_cast<std::uint32_t>(x11::RequestSource::pager), XCB_CURRENT_TIME, XCB_NONE}, true);
    auto error = own(xcb_request_check(impl_->connection, cookie));
    return error == nullptr;
}

bool XTestInputSynthesizer::typeChord(const std::vector<KeyCode>& keys) {
    std::size_t pressed = 0;
    while (pressed < keys.size() && impl_->fake(XCB_KEY_PRESS, keys[pressed])) {
        ++pressed;
    }
    // Every key that went down comes up again, so none is left held.
    bool released = true;
    for (std::size_t i = 0; i < pressed; ++i) {
        released = impl_->fake(XCB_KEY_RELEASE, keys[i]) && released;
    }
    return pressed == keys.size() && released;
}

bool XTestInputSynthesizer::isWindowAt(WindowId window, Point point) {
    const auto pixel = toPixel(point);
    if (!pixel || window == XCB_NONE) {
        return false;
    }
    // The server answers with the root's child that takes input there (input shapes count).
    auto reply = own(xcb_translate_coordinates_reply(
        impl_->connection,
        xcb_translate_coordinates(impl_->connection, impl_->root, impl_->root, pixel->x, pixel->y),
        nullptr));
    if (!reply || reply->child == XCB_NONE) {
        return false;
    }
    const xcb_window_t top = impl_->topLevelOf(window);
    return top != XCB_NONE && top == reply->child;
}

}  // namespace ovra::input
