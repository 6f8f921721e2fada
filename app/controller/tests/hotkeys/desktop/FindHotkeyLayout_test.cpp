// The find hotkey on a real X server follows the keyboard layout: Super+Shift with the key that
// types "/", moved when the user switches to German or to the French group of two layouts.

#include <gtest/gtest.h>

#include <cstdlib>

#include "app/controller/HotkeyManager.h"
#include "platform/hotkeys/HotkeyEventPump.h"
#include "platform/hotkeys/X11HotkeyGrabber.h"
#include "platform/keyboard/KeyboardWatcher.h"
#include "testing/desktop/TypedKeys.h"

namespace ovra {
namespace {

namespace Keys = ovra::testing::Keys;
using ovra::testing::pumpUntil;

TEST(FindHotkey, FollowsLayoutAndGroupSwitches) {
    ASSERT_EQ(std::system("setxkbmap us"), 0);
    // The desktop is shared with the tests that run next.
    struct Restore {
        ~Restore() { std::system("setxkbmap -layout us -option"); }
    } restore;
    auto watcher = keyboard::KeyboardWatcher::open();
    ASSERT_TRUE(watcher.ok()) << watcher.error();
    const auto& layout = [&]() -> const keyboard::KeyboardLayout& {
        return watcher.value()->layout();
    };
    auto grabber = hotkeys::X11HotkeyGrabber::open(
        [&](std::uint16_t code) { return layout().xKeycode(code); });
    ASSERT_TRUE(grabber.ok()) << grabber.error();
    hotkeys::HotkeyEventPump pump(*grabber.value());
    HotkeyManager manager(
        *grabber.value(), [&] { return layout().slashKeyCode(); }, [] {});
    ovra::testing::TypedKeys keys(layout());
    int finds = 0;
    const auto registerFind = [&] { return manager.registerFind([&] { ++finds; }); };
    ASSERT_TRUE(registerFind());
    keys.chord({Keys::super, Keys::shift, Keys::slash});
    ASSERT_TRUE(pumpUntil([&] { return finds == 1; })) << "Super+Shift+/ did not find";

    // As the controller does: register again whenever the layout changes.
    QObject::connect(watcher.value().get(), &keyboard::KeyboardWatcher::layoutChanged,
                     registerFind);
    ASSERT_EQ(std::system("setxkbmap de"), 0);
    ASSERT_TRUE(pumpUntil([&] { return manager.slashKeyCode() == Keys::seven; }));
    ASSERT_TRUE(manager.isRegistered(HotkeyManager::Slot::find));

    // The old position no longer finds; Super+Shift+7 (Shift+7 types "/") does.
    keys.chord({Keys::super, Keys::shift, Keys::slash});
    keys.chord({Keys::super, Keys::shift, Keys::seven});
    EXPECT_TRUE(pumpUntil([&] { return finds >= 2; }));
    EXPECT_EQ(finds, 2);

    // Two layouts, switched with both Shift keys: a group change, not a new keymap.
    ASSERT_EQ(std::system("setxkbmap -layout us,fr -option grp:shifts_toggle"), 0);
    ASSERT_TRUE(pumpUntil([&] { return manager.slashKeyCode() == Keys::slash; }));
    keys.chord({Keys::shift, Keys::rightShift});
    EXPECT_TRUE(pumpUntil([&] { return manager.slashKeyCode() == Keys::period; }))
        << layout().groupName();  // French: Shift+: on the full stop's right
}

}  // namespace
}  // namespace ovra
