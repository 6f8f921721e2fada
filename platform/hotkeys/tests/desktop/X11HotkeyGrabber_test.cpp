// Global hotkeys on a real X server: presses with the lock keys on, a held chord, and chords
// another program holds.

#include "platform/hotkeys/X11HotkeyGrabber.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/hotkeys/HotkeyEventPump.h"
#include "platform/hotkeys/tests/desktop/TypedKeys.h"
#include "platform/keyboard/X11Keyboard.h"
#include "platform/keyboard/tests/desktop/DesktopRequired.h"

namespace ovra::hotkeys {
namespace {

namespace Keys = ovra::testing::Keys;
using ovra::testing::pumpFor;
using ovra::testing::pumpUntil;

class X11Hotkeys : public ::testing::Test {
  protected:
    void SetUp() override {
        OVRA_REQUIRE_DESKTOP();
        auto keyboard = keyboard::X11Keyboard::open();
        ASSERT_TRUE(keyboard.ok()) << keyboard.error();
        layout_ = std::make_unique<keyboard::KeyboardLayout>(keyboard.value()->layout());
        auto grabber =
            X11HotkeyGrabber::open([this](std::uint16_t code) { return layout_->xKeycode(code); });
        ASSERT_TRUE(grabber.ok()) << grabber.error();
        grabber_ = std::move(grabber).value();
        grabber_->setPressHandler([this](HotkeyId id) { presses_.push_back(id); });
        pump_ = std::make_unique<HotkeyEventPump>(*grabber_);
        keys_ = std::make_unique<ovra::testing::TypedKeys>(*layout_);
        ASSERT_TRUE(keys_->ok());
    }
    void TearDown() override {
        // The desktop is shared with the tests that run next: put the locks back.
        for (auto lock : locksOn_) {
            keys_->tap(lock);
        }
    }
    void turnOn(std::uint16_t lock) {
        keys_->tap(lock);
        locksOn_.push_back(lock);
    }

    std::unique_ptr<keyboard::KeyboardLayout> layout_;
    std::unique_ptr<X11HotkeyGrabber> grabber_;
    std::unique_ptr<HotkeyEventPump> pump_;
    std::unique_ptr<ovra::testing::TypedKeys> keys_;
    std::vector<HotkeyId> presses_;
    std::vector<std::uint16_t> locksOn_;
};

TEST_F(X11Hotkeys, ChordFiresOnceWithLocksOnAndAnotherProgramsChordIsTaken) {
    turnOn(Keys::numLock);
    turnOn(Keys::capsLock);
    const Chord ctrlAltF{Keys::f, ChordModifier::control | ChordModifier::alt};
    ASSERT_EQ(grabber_->grab(1, ctrlAltF), GrabOutcome::grabbed);
    keys_->chord({Keys::control, Keys::alt, Keys::f});
    ASSERT_TRUE(pumpUntil([&] { return presses_.size() == 1; })) << "no press with the locks on";

    // Held past the keyboard's repeat delay: still one press.
    keys_->down(Keys::control);
    keys_->down(Keys::alt);
    keys_->down(Keys::f);
    pumpFor(1.5);
    keys_->up(Keys::f);
    keys_->up(Keys::alt);
    keys_->up(Keys::control);
    pumpFor(0.3);
    EXPECT_EQ(presses_, (std::vector<HotkeyId>{1, 1}));

    // Another program holds Ctrl+Alt+K, only with Num Lock on: the chord is taken and none of
    // its other lock variants stays grabbed by us.
    xcb_connection_t* other = xcb_connect(nullptr, nullptr);
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
    const auto k = static_cast<xcb_keycode_t>(*layout_->xKeycode(Keys::k));
    const auto mod2 =
        static_cast<std::uint16_t>(XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | XCB_MOD_MASK_2);
    ASSERT_EQ(
        xcb_request_check(other, xcb_grab_key_checked(other, 0, root, mod2, k, XCB_GRAB_MODE_ASYNC,
                                                      XCB_GRAB_MODE_ASYNC)),
        nullptr);
    EXPECT_EQ(grabber_->grab(2, {Keys::k, ChordModifier::control | ChordModifier::alt}),
              GrabOutcome::taken);
    xcb_disconnect(other);
    xcb_connection_t* third = xcb_connect(nullptr, nullptr);
    for (int lock : {0, int{XCB_MOD_MASK_LOCK}, int{XCB_MOD_MASK_2}}) {
        const auto mods = static_cast<std::uint16_t>(XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | lock);
        xcb_generic_error_t* error = xcb_request_check(
            third, xcb_grab_key_checked(third, 0, root, mods, k, XCB_GRAB_MODE_ASYNC,
                                        XCB_GRAB_MODE_ASYNC));
        EXPECT_EQ(error, nullptr) << "a lock variant stayed grabbed: " << lock;
        std::free(error);
    }
    xcb_disconnect(third);

    // Let go and grabbed again, the first chord still works.
    grabber_->release(1);
    ASSERT_EQ(grabber_->grab(1, ctrlAltF), GrabOutcome::grabbed);
    keys_->chord({Keys::control, Keys::alt, Keys::f});
    EXPECT_TRUE(pumpUntil([&] { return presses_.size() == 3; }));
}

}  // namespace
}  // namespace ovra::hotkeys
