// A hotkey named by its letter is the key that types that letter in the current layout group.

#include <gtest/gtest.h>

#include "platform/keyboard/KeyboardLayout.h"

namespace ovra::keyboard {
namespace {

TEST(LetterKeys, TheKeyOfTheSameLetterElseThePosition) {
    const struct {
        const char* layouts;
        std::uint32_t group;
        std::uint16_t keyCode;
        std::uint16_t expected;
    } cases[] = {
        {"us", 0, 3, 3},            // F stays F
        {"us(dvorak)", 0, 3, 16},   // Dvorak types f where US types y
        {"de", 0, 16, 6},           // German Y is on the US Z position
        {"us,de", 1, 16, 6},        // the same in the second group
        {"fr", 0, 12, 0},           // AZERTY types q on the US A position
        {"ru", 0, 3, 3},            // no Latin f: the position
        {"us(dvorak)", 0, 49, 49},  // Space, digits and F13 are no letters
        {"us(dvorak)", 0, 18, 18}, {"us(dvorak)", 0, 105, 105},
    };
    for (const auto& c : cases) {
        std::string names = c.layouts, variant;
        if (const auto open = names.find('('); open != std::string::npos) {
            variant = names.substr(open + 1, names.size() - open - 2);
            names.resize(open);
        }
        auto made = KeyboardLayout::fromNames(names, variant);
        ASSERT_TRUE(made) << made.error();
        EXPECT_EQ(made.value().inGroup(c.group).letterKeyCode(c.keyCode), c.expected)
            << c.layouts << " group " << c.group << " key " << c.keyCode;
    }
}

}  // namespace
}  // namespace ovra::keyboard
