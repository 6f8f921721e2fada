#pragma once

// Keys pressed on the shared virtual desktop through XTest, by physical position, as a person
// types them; and the main-thread loop turned while waiting for what they cause.

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include <QCoreApplication>
#include <cstdlib>
#include <initializer_list>

#include "platform/keyboard/KeyboardLayout.h"
#include "testing/desktop/LaunchedApp.h"

namespace ovra::testing {

// Key codes of the modifier and lock keys' positions.
namespace Keys {
inline constexpr std::uint16_t control = 59, alt = 58, super = 55, shift = 56, capsLock = 57,
                               numLock = 71, rightShift = 60, f = 3, k = 40, slash = 44, seven = 26,
                               period = 47;
}

class TypedKeys {
  public:
    explicit TypedKeys(keyboard::KeyboardLayout layout)
        : xcb_(xcb_connect(nullptr, nullptr)), layout_(std::move(layout)) {}
    ~TypedKeys() { xcb_disconnect(xcb_); }
    TypedKeys(const TypedKeys&) = delete;
    TypedKeys& operator=(const TypedKeys&) = delete;

    bool ok() const { return xcb_connection_has_error(xcb_) == 0; }
    void down(std::uint16_t keyCode) { send(XCB_KEY_PRESS, keyCode); }
    void up(std::uint16_t keyCode) { send(XCB_KEY_RELEASE, keyCode); }
    // Presses the keys in order and lets go in reverse order.
    void chord(std::initializer_list<std::uint16_t> keys) {
        for (auto key : keys) {
            down(key);
        }
        for (auto it = std::rbegin(keys); it != std::rend(keys); ++it) {
            up(*it);
        }
    }
    void tap(std::uint16_t keyCode) { chord({keyCode}); }

  private:
    void send(std::uint8_t type, std::uint16_t keyCode) {
        const auto keycode = layout_.xKeycode(keyCode);
        ASSERT_TRUE(keycode.has_value()) << "no key at key code " << keyCode;
        xcb_test_fake_input(xcb_, type, static_cast<std::uint8_t>(*keycode), XCB_CURRENT_TIME,
                            XCB_NONE, 0, 0, 0);
        std::free(xcb_get_input_focus_reply(xcb_, xcb_get_input_focus(xcb_), nullptr));
    }

    xcb_connection_t* xcb_;
    keyboard::KeyboardLayout layout_;
};

// Turns the main thread's event loop until `done` holds, for at most `seconds` (a settle time
// for what must not happen when `done` never holds).
inline bool pumpUntil(const std::function<bool()>& done, double seconds = 10) {
    return eventually([&] { return QCoreApplication::processEvents(), done(); }, seconds);
}

}  // namespace ovra::testing
