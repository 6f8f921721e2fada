// The main hotkey on a real X server opens as it is named on every layout: Ctrl Alt F is the key
// that types f, on Dvorak too, and it moves back when the layout does.

#include <gtest/gtest.h>

#include <cstdlib>

#include "app/controller/HotkeyManager.h"
#include "core/SettingsTypes.h"
#include "platform/hotkeys/HotkeyEventPump.h"
#include "platform/hotkeys/X11HotkeyGrabber.h"
#include "platform/keyboard/KeyboardWatcher.h"
#include "testing/desktop/TypedKeys.h"

namespace ovra {
namespace {

namespace Keys = ovra::testing::Keys;
using ovra::testing::pumpUntil;

TEST(MainHotkey, OpensAsNamedOnDvorakAndFollowsTheLayout) {
    ASSERT_EQ(std::system("setxkbmap us"), 0);
    struct Restore {
        ~Restore() { std::system("setxkbmap -layout us -variant '' -option"); }
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
    int opened = 0;
    HotkeyManager manager(
        *grabber.value(), [&] { return layout().slashKeyCode(); }, [&] { ++opened; },
        [&](std::uint16_t code) { return layout().letterKeyCode(code); });
    const auto preset = HotkeyPreset::withID("ctrl-opt-f");
    ASSERT_TRUE(preset);
    ASSERT_EQ(preset->label, "Ctrl Alt F");
    const auto registerMain = [&] {
        return manager.registerKey(preset->keyCode, preset->modifiers);
    };
    // The grabbed key types the letter the hotkey is named by.
    const auto named = [&] {
        const auto chord = manager.chord(HotkeyManager::Slot::main);
        const auto keycode = chord ? layout().xKeycode(chord->keyCode) : std::nullopt;
        return keycode && layout().characters(*keycode, false) == "f";
    };
    ASSERT_TRUE(registerMain());
    EXPECT_TRUE(named());
    QObject::connect(watcher.value().get(), &keyboard::KeyboardWatcher::layoutChanged,
                     registerMain);

    ASSERT_EQ(std::system("setxkbmap -layout us -variant dvorak"), 0);
    ASSERT_TRUE(pumpUntil([&] { return layout().letterKeyCode(Keys::f) != Keys::f; }));
    ASSERT_TRUE(pumpUntil(named)) << "the hotkey did not move to Dvorak's f";
    ovra::testing::TypedKeys keys(layout());
    // The US F position types u on Dvorak: it no longer opens; the key that types f does.
    keys.chord({Keys::control, Keys::alt, Keys::f});
    const std::uint16_t dvorakF = manager.chord(HotkeyManager::Slot::main)->keyCode;
    keys.chord({Keys::control, Keys::alt, dvorakF});
    EXPECT_TRUE(pumpUntil([&] { return opened >= 1; })) << "Ctrl Alt F did not open on Dvorak";
    EXPECT_EQ(opened, 1);

    // Back to US: F's own position opens again.
    ASSERT_EQ(std::system("setxkbmap -layout us -variant ''"), 0);
    ASSERT_TRUE(pumpUntil([&] {
        const auto chord = manager.chord(HotkeyManager::Slot::main);
        return chord && chord->keyCode == Keys::f;
    }));
    keys.chord({Keys::control, Keys::alt, Keys::f});
    EXPECT_TRUE(pumpUntil([&] { return opened >= 2; })) << "Ctrl Alt F did not open on US";
}

}  // namespace
}  // namespace ovra
