// Key positions and typed text on real keymaps compiled from xkb-data.

#include "platform/keyboard/KeyboardLayout.h"

#include <gtest/gtest.h>

#include "core/OverlayKeys.h"
#include "platform/keyboard/KeyPositions.h"

namespace ovra::keyboard {
namespace {

KeyboardLayout layout(std::string_view names) {
    auto made = KeyboardLayout::fromNames(names);
    EXPECT_TRUE(made.ok()) << made.error();
    return std::move(made).value();
}

TEST(KeyboardLayout, PositionsMapToTheEvdevKeycodesAndBack) {
    const auto us = layout("us");
    // Key code → X keycode on the standard evdev keymap; 44 is "/" (X 61), never X's J (44).
    const std::pair<std::uint16_t, std::uint32_t> reference[] = {
        {36, 36},   {76, 104},  {49, 65},   {48, 23},   {53, 9},  {51, 22},  {116, 112}, {121, 117},
        {123, 113}, {124, 114}, {125, 116}, {126, 111}, {0, 38},  {3, 41},   {6, 52},    {8, 54},
        {38, 44},   {40, 45},   {18, 10},   {25, 18},   {44, 61}, {75, 106}, {105, 191}, {55, 133}};
    for (const auto& [code, x] : reference) {
        EXPECT_EQ(us.xKeycode(code), x) << "key code " << code;
    }
    for (const KeyPosition& position : keyPositions()) {
        if (const auto x = us.xKeycode(position.keyCode)) {
            EXPECT_EQ(us.keyCode(*x), position.keyCode) << position.xkbName;
        }
    }
    EXPECT_FALSE(us.keyCode(0).has_value());
    EXPECT_FALSE(us.xKeycode(63).has_value());  // Fn: no PC key
}

TEST(KeyboardLayout, TypesPlainAndShiftedTextOfTheGroup) {
    const auto both = layout("us,de");
    const auto z = *both.xKeycode(16);  // <AD06>: Y on US, Z on German
    EXPECT_EQ(both.characters(z, false), "y");
    EXPECT_EQ(both.characters(z, true), "Y");
    const auto german = both.inGroup(1);
    EXPECT_EQ(german.groupName(), "German");
    EXPECT_EQ(german.characters(z, false), "z");
    EXPECT_EQ(german.characters(*german.xKeycode(26), true), "/");
    EXPECT_EQ(german.characters(*german.xKeycode(50), false), "");  // dead circumflex
    EXPECT_EQ(both.inGroup(2).group(), 0U);                         // wraps as XKB does
    EXPECT_EQ(both.characters(9999, false), "");
}

TEST(KeyboardLayout, SlashKeyLeavesTheKeypadOutAndFallsBackToTheUsPosition) {
    const struct {
        const char* names;
        std::uint16_t slash;
    } cases[] = {
        {"us", 44},              // plain on <AB10>
        {"de", 26},              // Shift+7; the keypad's plain "/" is left out
        {"fr", 47},              // Shift+: on <AB09>
        {"ch", 26}, {"ru", 10},  // plain on <LSGT>, before the shifted backslash key
        {"am", 44},              // no "/" at all: the US position
    };
    for (const auto& c : cases) {
        const auto l = layout(c.names);
        EXPECT_EQ(l.slashKeyCode(), c.slash) << c.names;
        for (const auto& output : l.mainBlockOutputs()) {
            EXPECT_FALSE(positionOf(output.keyCode)->keypad) << c.names;
        }
    }
    // The fallback is a position too: on Armenian it is the key right of the full stop.
    EXPECT_EQ(layout("am").xKeycode(FindShortcut::fallbackKeyCode), 61U);
}

}  // namespace
}  // namespace ovra::keyboard
