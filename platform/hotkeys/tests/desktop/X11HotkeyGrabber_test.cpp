// Global hotkeys on a real X server: presses with the lock keys on, a held chord, chords
// another program holds, and the whole keyboard held from a chord's press.

#include "platform/hotkeys/X11HotkeyGrabber.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QTimer>
#include <cstdlib>
#include <vector>

#include "platform/hotkeys/HotkeyEventPump.h"
#include "platform/keyboard/X11Keyboard.h"
#include "testing/desktop/KeyboardGrab.h"
#include "testing/desktop/TypedKeys.h"

namespace ovra::hotkeys {
namespace {

namespace Keys = ovra::testing::Keys;
using ovra::testing::pumpUntil;

// Grabs Ctrl+Alt+key on the root from a connection of another program; true when it got it.
bool grabElsewhere(xcb_connection_t* xcb, xcb_keycode_t key, unsigned locks) {
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(xcb)).data->root;
    const auto mods = static_cast<std::uint16_t>(XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1 | locks);
    xcb_generic_error_t* error = xcb_request_check(
        xcb,
        xcb_grab_key_checked(xcb, 0, root, mods, key, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    std::free(error);
    return error == nullptr;
}

TEST(X11Hotkeys, ChordFiresOnceWithLocksOnAndAnotherProgramsChordIsTaken) {
    auto keyboard = keyboard::X11Keyboard::open();
    ASSERT_TRUE(keyboard.ok()) << keyboard.error();
    const auto layout = keyboard.value()->layout();
    auto grabber =
        X11HotkeyGrabber::open([&](std::uint16_t code) { return layout.xKeycode(code); });
    ASSERT_TRUE(grabber.ok()) << grabber.error();
    std::vector<HotkeyId> presses;
    grabber.value()->setPressHandler([&](HotkeyId id) { presses.push_back(id); });
    HotkeyEventPump pump(*grabber.value());
    ovra::testing::TypedKeys keys(layout);
    ASSERT_TRUE(keys.ok());

    // Num Lock and Caps Lock on, put back for the tests that share the desktop next.
    keys.tap(Keys::numLock);
    keys.tap(Keys::capsLock);
    struct Unlock {
        ovra::testing::TypedKeys& keys;
        ~Unlock() { keys.tap(Keys::numLock), keys.tap(Keys::capsLock); }
    } unlock{keys};
    const Chord ctrlAltF{Keys::f, ChordModifier::control | ChordModifier::alt};
    ASSERT_EQ(grabber.value()->grab(1, ctrlAltF), GrabOutcome::grabbed);
    keys.chord({Keys::control, Keys::alt, Keys::f});
    ASSERT_TRUE(pumpUntil([&] { return presses.size() == 1; })) << "no press with the locks on";

    // Held past the keyboard's repeat delay: still one press.
    keys.down(Keys::control);
    keys.down(Keys::alt);
    keys.down(Keys::f);
    pumpUntil([] { return false; }, 1.5);
    keys.up(Keys::f);
    keys.up(Keys::alt);
    keys.up(Keys::control);
    pumpUntil([] { return false; }, 0.3);
    EXPECT_EQ(presses, (std::vector<HotkeyId>{1, 1}));

    // Another program holds Ctrl+Alt+K with Num Lock on only: the chord is taken, and none of
    // its other lock variants stays grabbed by us.
    const auto k = static_cast<xcb_keycode_t>(*layout.xKeycode(Keys::k));
    xcb_connection_t* other = xcb_connect(nullptr, nullptr);
    ASSERT_TRUE(grabElsewhere(other, k, XCB_MOD_MASK_2));
    EXPECT_EQ(grabber.value()->grab(2, {Keys::k, ChordModifier::control | ChordModifier::alt}),
              GrabOutcome::taken);
    xcb_disconnect(other);
    xcb_connection_t* third = xcb_connect(nullptr, nullptr);
    for (unsigned locks : {0U, unsigned{XCB_MOD_MASK_LOCK}, unsigned{XCB_MOD_MASK_2}}) {
        EXPECT_TRUE(grabElsewhere(third, k, locks)) << "a lock variant stayed grabbed: " << locks;
    }
    xcb_disconnect(third);

    // Let go and grabbed again, the first chord still works.
    grabber.value()->release(1);
    ASSERT_EQ(grabber.value()->grab(1, ctrlAltF), GrabOutcome::grabbed);
    keys.chord({Keys::control, Keys::alt, Keys::f});
    EXPECT_TRUE(pumpUntil([&] { return presses.size() == 3; }));

    // A press the server sent while a grab waited for its reply is read with that reply; it is
    // still delivered, though the socket has nothing more to say.
    keys.chord({Keys::control, Keys::alt, Keys::f});
    usleep(200'000);
    ASSERT_EQ(grabber.value()->grab(3, {Keys::period, ChordModifier::control | ChordModifier::alt}),
              GrabOutcome::grabbed);
    QTimer wake;  // turns of the loop as the app's: each waits for events, a timer wakes it
    wake.start(50);
    EXPECT_TRUE(ovra::testing::eventually(
        [&] {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            return presses.size() == 4;
        },
        1.0));
}

// Held from the chord's press, the keyboard is ours alone: a key typed then comes to the held-key
// handler with the chord's modifiers. Given back, it is free, and the chord's next press counts
// though its release went to another window; a grabber that ends gives back what it held.
TEST(X11Hotkeys, TheKeyboardHeldFromAChordsPressIsGivenBack) {
    auto keyboard = keyboard::X11Keyboard::open();
    ASSERT_TRUE(keyboard.ok()) << keyboard.error();
    const auto layout = keyboard.value()->layout();
    auto grabber =
        X11HotkeyGrabber::open([&](std::uint16_t code) { return layout.xKeycode(code); });
    ASSERT_TRUE(grabber.ok()) << grabber.error();
    X11HotkeyGrabber& hotkeys = *grabber.value();
    int presses = 0;
    hotkeys.setPressObserver([&] { EXPECT_TRUE(hotkeys.holdKeyboard()); });
    hotkeys.setPressHandler([&](HotkeyId) { ++presses; });
    std::vector<HeldKey> held;
    hotkeys.setHeldKeyHandler([&](const HeldKey& key) { held.push_back(key); });
    HotkeyEventPump pump(hotkeys);
    ovra::testing::TypedKeys keys(layout);
    ASSERT_TRUE(keys.ok());
    ASSERT_EQ(hotkeys.grab(1, {Keys::f, ChordModifier::control | ChordModifier::alt}),
              GrabOutcome::grabbed);

    keys.down(Keys::control);
    keys.down(Keys::alt);
    keys.down(Keys::f);
    ASSERT_TRUE(pumpUntil([&] { return presses == 1; }));
    EXPECT_TRUE(hotkeys.keyboardHeld());
    EXPECT_FALSE(testing::keyboardFree());
    keys.tap(Keys::seven);
    ASSERT_TRUE(pumpUntil([&] { return !held.empty(); }));
    EXPECT_EQ(held.front().xKeycode, *layout.xKeycode(Keys::seven));
    EXPECT_TRUE(held.front().ctrl && held.front().alt && !held.front().modifierOnly);

    hotkeys.letKeyboardGo();
    EXPECT_TRUE(testing::keyboardFree());  // and the chord's release, sent after, goes elsewhere
    keys.up(Keys::f);
    keys.up(Keys::alt);
    keys.up(Keys::control);
    keys.chord({Keys::control, Keys::alt, Keys::f});
    EXPECT_TRUE(pumpUntil([&] { return presses == 2; })) << "the press after the hold was lost";
    EXPECT_TRUE(hotkeys.keyboardHeld());
    grabber.value().reset();
    EXPECT_TRUE(testing::keyboardFree());
}

}  // namespace
}  // namespace ovra::hotkeys
