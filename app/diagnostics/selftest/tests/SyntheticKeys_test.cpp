#include "app/diagnostics/selftest/SyntheticKeys.h"

#include <gtest/gtest.h>

#include "app/overlay/KeyAdapter.h"
#include "app/overlay/QtKeyEvent.h"
#include "app/settings/SettingsKeyInput.h"
#include "platform/keyboard/KeyboardLayout.h"

namespace ovra::selftest {
namespace {

// The overlay's reading of a made key, as its key filter reads it.
KeyInput overlayReading(const QKeyEvent& event, const keyboard::KeyboardLayout* layout) {
    return KeyAdapter::adapt(rawKeyOf(event), layout).value();
}

TEST(SyntheticKeys, EveryKeyReadsAsItsKeyCodeWithAndWithoutALayout) {
    const auto us = keyboard::KeyboardLayout::fromNames("us");
    ASSERT_TRUE(us) << us.error();
    for (const keyboard::KeyboardLayout* layout :
         std::initializer_list<const keyboard::KeyboardLayout*>{&us.value(), nullptr}) {
        for (int i = 0; i < kKeyCount; ++i) {
            const Press press{static_cast<Key>(i)};
            const KeyCodes& key = codesOf(press.key);
            const auto event = keyEvent(press, layout);
            const KeyInput read = overlayReading(*event, layout);
            const auto settings = SettingsKeyInput::from(*event, layout);
            ASSERT_TRUE(settings);
            // Without a layout letters are known by their text alone.
            const bool letter = key.character >= u'a' && key.character <= u'z';
            const bool digit = key.character >= u'1' && key.character <= u'9';
            if (layout || !letter) {
                EXPECT_EQ(read.keyCode, key.keyCode) << i;
                EXPECT_EQ(settings->keyCode, key.keyCode) << i;
            }
            if (letter || digit) {
                EXPECT_EQ(read.characters, std::string(1, static_cast<char>(key.character)));
            }
        }
    }
}

TEST(SyntheticKeys, ModifiersAndRepeatsReadAsPressed) {
    const auto us = keyboard::KeyboardLayout::fromNames("us");
    ASSERT_TRUE(us) << us.error();
    const KeyInput selectAll = overlayReading(*keyEvent({Key::a, false, true}, &*us), &*us);
    EXPECT_EQ(selectAll, (KeyInput{0, "a", false, true, false, false, false}));
    const KeyInput shiftK = overlayReading(*keyEvent({Key::k, true}, &*us), &*us);
    EXPECT_EQ(shiftK.characters, "K");
    EXPECT_TRUE(shiftK.shift);
    const KeyInput held =
        overlayReading(*keyEvent({Key::returnKey, false, false, true}, &*us), &*us);
    EXPECT_TRUE(held.isRepeat);

    const auto backTab = SettingsKeyInput::from(*keyEvent({Key::tab, true}, &*us), &*us);
    ASSERT_TRUE(backTab);
    EXPECT_EQ(backTab->keyCode, 48);
    EXPECT_TRUE(backTab->shift);
    const auto pane6 = SettingsKeyInput::from(*keyEvent({digitKey(6), false, true}, &*us), &*us);
    ASSERT_TRUE(pane6);
    EXPECT_EQ(pane6->keyCode, 22);
    EXPECT_EQ(pane6->digit, 6);
    EXPECT_TRUE(pane6->command);
    EXPECT_EQ(digitKey(0), Key::digit1);
}

}  // namespace
}  // namespace ovra::selftest
