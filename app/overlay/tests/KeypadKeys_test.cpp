// Keypad digits choose as the digit row does while Num Lock is on, on every layout; nothing else
// follows Num Lock, so the French digit row still needs Shift.

#include <gtest/gtest.h>

#include "app/overlay/KeyAdapter.h"

namespace ovra {
namespace {

constexpr std::uint32_t kNumLock = 0x10;  // Mod2, where X servers keep Num Lock

TEST(KeypadKeys, ChooseByWhatTheLayoutTypesWithNumLock) {
    const struct {
        const char* layout;
        std::uint32_t xKeycode;
        std::uint32_t xModifiers;
        bool shift;
        std::optional<std::string> characters;
        std::optional<OverlayEffect> effect;
    } cases[] = {
        // Keypad 4, 1, 9 and 0 under Num Lock type their digits.
        {"us", 83, kNumLock, false, "4", OverlayEffect::command(OverlayCommand::choose(4))},
        {"us", 87, kNumLock, false, "1", OverlayEffect::command(OverlayCommand::choose(1))},
        {"fr", 81, kNumLock, false, "9", OverlayEffect::command(OverlayCommand::choose(9))},
        {"fr", 83, kNumLock | 0x2000, false, "4",  // with a layout group bit set
         OverlayEffect::command(OverlayCommand::choose(4))},
        {"us", 90, kNumLock, false, "0", std::nullopt},
        // Without Num Lock, or with Shift, keypad 4 is the left arrow of the keypad: no digit.
        {"us", 83, 0, false, std::nullopt, OverlayEffect::command(OverlayCommand::ignore())},
        {"fr", 83, kNumLock, true, std::nullopt, OverlayEffect::command(OverlayCommand::ignore())},
        // The French digit row types "'" plainly and "4" with Shift, Num Lock or not.
        {"fr", 13, kNumLock, false, "'", std::nullopt},
        {"fr", 13, kNumLock, true, "4", OverlayEffect::command(OverlayCommand::choose(4))},
        {"us", 13, kNumLock, false, "4", OverlayEffect::command(OverlayCommand::choose(4))},
        // Letters are untouched by Num Lock.
        {"us", 38, kNumLock, false, "a", OverlayEffect::command(OverlayCommand::showAll())},
    };
    for (const auto& c : cases) {
        auto made = keyboard::KeyboardLayout::fromNames(c.layout);
        ASSERT_TRUE(made) << made.error();
        const auto key = KeyAdapter::adapt(
            {.xKeycode = c.xKeycode, .shift = c.shift, .xModifiers = c.xModifiers}, &made.value());
        ASSERT_TRUE(key.has_value());
        const std::string what = std::string(c.layout) + " X key " + std::to_string(c.xKeycode);
        EXPECT_EQ(key->characters, c.characters) << what;
        EXPECT_EQ(OverlayKeys::effect(key->overlayKeyPress(false)), c.effect) << what;
    }
}

}  // namespace
}  // namespace ovra
