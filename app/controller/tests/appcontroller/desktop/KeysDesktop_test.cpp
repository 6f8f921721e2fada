// Keys on a real desktop over Chromium: with Num Lock on, keypad digits choose as the digit row
// does, on a US and on a French layout (whose digit row types digits only with Shift); letters
// typed in the same burst as the Escape that closes the overlay act nowhere, and the next ones
// reach the page; on Dvorak the hotkey the app names, Ctrl Alt F, is the key that types f; under
// us,ru the hotkey opens at every press a switch or voice tool sends with the group switched
// around it.

#include <xcb/xcb.h>
// xcb's XKB header names a field "explicit", a C++ keyword.
#define explicit xkb_explicit
#include <xcb/xkb.h>
#undef explicit

#include <cstdlib>

#include "app/controller/tests/appcontroller/desktop/AppOverAccountPage.h"

namespace ovra::testing {
namespace {

constexpr std::uint16_t kKeypad2 = 84;

bool numLockOn() {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    xcb_query_pointer_reply_t* pointer =
        xcb_query_pointer_reply(c, xcb_query_pointer(c, screen->root), nullptr);
    const bool on = pointer && (pointer->mask & XCB_MOD_MASK_2) != 0;
    std::free(pointer);
    xcb_disconnect(c);
    return on;
}

// Locks the keyboard's layout group, as switch-access and voice tools do around each chord.
class GroupLock {
  public:
    GroupLock() : xcb_(xcb_connect(nullptr, nullptr)) {
        std::free(xcb_xkb_use_extension_reply(xcb_, xcb_xkb_use_extension(xcb_, 1, 0), nullptr));
    }
    ~GroupLock() { xcb_disconnect(xcb_); }
    GroupLock(const GroupLock&) = delete;
    GroupLock& operator=(const GroupLock&) = delete;

    void lock(std::uint8_t group) {
        xcb_xkb_latch_lock_state(xcb_, XCB_XKB_ID_USE_CORE_KBD, 0, 0, 1, group, 0, 0, 0);
        std::free(xcb_get_input_focus_reply(xcb_, xcb_get_input_focus(xcb_), nullptr));
    }

  private:
    xcb_connection_t* xcb_;
};

class KeysDesktop : public AppOverAccountPage {
  protected:
    void turnNumLockOn() {
        if (!numLockOn()) {
            keys_.tap(Keys::numLock);
        }
        ASSERT_TRUE(eventually(numLockOn, 5));
    }
};

TEST_F(KeysDesktop, KeypadDigitsChooseAndLettersTypedAsTheOverlayClosesActNowhere) {
    ASSERT_EQ(std::system("setxkbmap us"), 0);
    struct Restore {
        ~Restore() {
            std::system("setxkbmap -layout us -option");
            if (numLockOn()) {
                xdotool("key Num_Lock");
            }
        }
    } restore;
    launch();
    turnNumLockOn();

    hotkey();
    ASSERT_TRUE(overlayShows(true, "us")) << log();
    keys_.tap(kKeypad2);
    keys_.tap(Keys::returnKey);
    EXPECT_TRUE(titleBecomes("pressed: Download your data")) << title();
    ASSERT_TRUE(overlayGone());

    // Escape and two letters in one burst: the letters come while the overlay fades, so they
    // act nowhere; once it has gone the keyboard is the page's again.
    hotkey();
    ASSERT_TRUE(overlayShows(true, "burst")) << log();
    keys_.tap(Keys::escape);
    keys_.tap(Keys::a);
    keys_.tap(Keys::b);
    ASSERT_TRUE(overlayGone());
    ASSERT_TRUE(keyboardBack());
    keys_.tap(Keys::c);
    EXPECT_TRUE(titleBecomes("typed: c")) << title();

    // French: the digit row types "é" for 2 without Shift; the keypad types 2.
    ASSERT_EQ(std::system("setxkbmap fr"), 0);
    turnNumLockOn();
    hotkey();
    ASSERT_TRUE(overlayShows(true, "fr")) << log();
    keys_.tap(kKeypad2);
    keys_.tap(Keys::returnKey);
    EXPECT_TRUE(titleBecomes("pressed: Download your data")) << title();
}

TEST_F(KeysDesktop, OnDvorakTheHotkeyOpensAsTheAppNamesIt) {
    ASSERT_EQ(std::system("setxkbmap -layout us -variant dvorak"), 0);
    struct Restore {
        ~Restore() { std::system("setxkbmap -layout us -variant '' -option"); }
    } restore;
    launch("ctrl-opt-f");
    EXPECT_TRUE(logs("Ctrl Alt F opens the overlay")) << log();
    hotkeyKey_ = 16;  // Dvorak types f where US types y
    hotkey();
    EXPECT_TRUE(overlayShows(true, "dvorak")) << log();
}

TEST_F(KeysDesktop, UnderUsAndRussianEveryHotkeySentWithGroupSwitchesAroundItOpens) {
    ASSERT_EQ(std::system("setxkbmap -layout us,ru"), 0);
    struct Restore {
        ~Restore() { std::system("setxkbmap -layout us -option"); }
    } restore;
    launch();
    hotkey();  // the app listens from here on
    ASSERT_TRUE(overlayShows(true, "us-ru")) << log();
    keys_.tap(Keys::escape);
    ASSERT_TRUE(overlayGone());

    GroupLock group;
    group.lock(1);  // Russian
    for (int press = 1; press <= 12; ++press) {
        const std::size_t before = requests();
        group.lock(0);
        keys_.chord({Keys::control, Keys::alt, Keys::space});
        group.lock(1);
        ASSERT_TRUE(eventually([&] { return requests() > before; }, 5))
            << "press " << press << " did not open the overlay\n"
            << log();
        keys_.tap(Keys::escape);
        ASSERT_TRUE(overlayGone()) << "press " << press;
    }
}

}  // namespace
}  // namespace ovra::testing
