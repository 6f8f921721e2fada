// The live layout follows the X server when the user switches layouts.

#include <gtest/gtest.h>
#include <xcb/xcb.h>
#define explicit xkb_explicit
#include <xcb/xkb.h>
#undef explicit

#include <cstdlib>

#include "platform/atspi/tests/desktop/LaunchedApp.h"
#include "platform/keyboard/X11Keyboard.h"
#include "platform/keyboard/tests/desktop/DesktopRequired.h"

namespace ovra::keyboard {
namespace {

class LiveKeyboard : public ::testing::Test {
  protected:
    void SetUp() override {
        OVRA_REQUIRE_DESKTOP();
        ASSERT_EQ(std::system("setxkbmap us"), 0);
        auto opened = X11Keyboard::open();
        ASSERT_TRUE(opened.ok()) << opened.error();
        keyboard_ = std::move(opened).value();
    }
    // The desktop is shared with the tests that run next.
    void TearDown() override { std::system("setxkbmap us"); }

    bool follows(const char* command, std::uint16_t slash) {
        if (std::system(command) != 0) {
            return false;
        }
        return settles(slash);
    }
    bool settles(std::uint16_t slash) {
        return ovra::testing::eventually(
            [&] {
                keyboard_->processEvents();
                return keyboard_->layout().slashKeyCode() == slash;
            },
            10);
    }

    // Locks the core keyboard to a layout group, as a desktop's layout switcher does.
    static bool lockGroup(std::uint8_t group) {
        xcb_connection_t* xcb = xcb_connect(nullptr, nullptr);
        bool ok = xcb_connection_has_error(xcb) == 0;
        if (ok) {
            auto use = xcb_xkb_use_extension_reply(xcb, xcb_xkb_use_extension(xcb, 1, 0), nullptr);
            ok = use != nullptr && use->supported;
            std::free(use);
        }
        if (ok) {
            auto cookie = xcb_xkb_latch_lock_state_checked(xcb, XCB_XKB_ID_USE_CORE_KBD, 0, 0, 1,
                                                           group, 0, 0, 0);
            xcb_generic_error_t* error = xcb_request_check(xcb, cookie);
            ok = error == nullptr;
            std::free(error);
        }
        xcb_disconnect(xcb);
        return ok;
    }

    std::unique_ptr<X11Keyboard> keyboard_;
};

TEST_F(LiveKeyboard, FollowsLayoutAndGroupSwitches) {
    EXPECT_EQ(keyboard_->layout().slashKeyCode(), 44);
    EXPECT_TRUE(follows("setxkbmap de", 26)) << keyboard_->layout().groupName();
    EXPECT_EQ(keyboard_->layout().groupName(), "German");
    // Two groups, then a switch to the second one alone (a group change, not a new keymap).
    EXPECT_TRUE(follows("setxkbmap -layout us,fr", 44));
    ASSERT_TRUE(lockGroup(1));
    EXPECT_TRUE(settles(47)) << keyboard_->layout().groupName();
}

}  // namespace
}  // namespace ovra::keyboard
