#include "core/OverlayKeys.h"

#include <gtest/gtest.h>

#include <vector>

namespace ovra {
namespace {

using A = OverlayKeyAction;
using Cmd = OverlayCommand;
using E = OverlayEffect;
using D = ScrollDirection;
using S = ScrollStep;

constexpr int kLeft = 123, kRight = 124, kDown = 125, kUp = 126;
constexpr int kKeyA = 0, kKeyS = 1, kKeyD = 2, kKeyF = 3, kKeyW = 13, kKey1 = 18, kKey5 = 23,
              kKeyP = 35, kKeyJ = 38, kKeyK = 40, kSlash = 44, kKey0 = 29;

struct Row {
    OverlayKeyPress key;
    std::optional<E> expected;
};

// A key press with its characters (none for nullptr) and the keys held or states in `flags`:
// s Shift, c Ctrl, o Alt or Super, f the find field is open, r a repeat.
OverlayKeyPress key(int code, const char* characters, std::string_view flags = "") {
    const auto has = [flags](char f) { return flags.find(f) != std::string_view::npos; };
    OverlayKeyPress k{.keyCode = code, .shift = has('s'), .command = has('c')};
    if (characters)
        k.characters = characters;
    k.otherModifier = has('o');
    k.finding = has('f');
    k.isRepeat = has('r');
    return k;
}

E act(A a) {
    return E::action(a);
}
E cmd(Cmd c) {
    return E::command(c);
}

TEST(OverlayKeys, EveryRowOfTheKeyMap) {
    const E pageDown = act(A::scroll(D::down, S::page));
    const E pageUp = act(A::scroll(D::up, S::page));
    const std::vector<Row> rows = {
        // Return, Enter and Space press once and ignore their repeats.
        {key(OverlayKeys::returnKey, "\r"), act(A::press())},
        {key(OverlayKeys::returnKey, "\r", "r"), act(A::ignore())},
        {key(OverlayKeys::enter, "\x03"), act(A::press())},
        {key(OverlayKeys::enter, nullptr, "f"), act(A::press())},
        {key(OverlayKeys::space, " "), act(A::press())},
        // Space types into an open find field.
        {key(OverlayKeys::space, " ", "f"), std::nullopt},
        // Modifiers do not stop a press.
        {key(OverlayKeys::returnKey, nullptr, "co"), act(A::press())},
        // Page keys scroll on every repeat, even while finding.
        {key(OverlayKeys::pageDown, nullptr, "r"), pageDown},
        {key(OverlayKeys::pageDown, nullptr, "fr"), pageDown},
        {key(OverlayKeys::pageUp, ""), pageUp},
        // Find keys.
        {key(kKeyF, "f"), act(A::openFind())},
        {key(kKeyF, "F", "s"), act(A::openFind())},
        {key(kKeyF, "f", "r"), act(A::ignore())},
        {key(kKeyF, "f", "c"), act(A::openFind())},
        // Only Ctrl+F works from inside the find field, and a held one does nothing more.
        {key(kKeyF, "f", "f"), std::nullopt},
        {key(kKeyF, "f", "cf"), act(A::openFind())},
        {key(kKeyF, "f", "cfr"), act(A::ignore())},
        // Ctrl+Alt+F is nobody's.
        {key(kKeyF, "f", "co"), std::nullopt},
        // Alt+F is not a find key; "f" is not a command either.
        {key(kKeyF, "f", "o"), std::nullopt},
        // Whole strings only.
        {key(kKeyF, "ff"), std::nullopt},
        // J and K scroll a small step, or a page with Shift.
        {key(kKeyJ, "j"), act(A::scroll(D::down, S::small))},
        {key(kKeyJ, "J", "s"), act(A::scroll(D::down, S::page))},
        // Unlike letter commands, held scroll letters keep scrolling.
        {key(kKeyJ, "j", "r"), act(A::scroll(D::down, S::small))},
        {key(kKeyK, "k"), act(A::scroll(D::up, S::small))},
        {key(kKeyJ, "j", "f"), std::nullopt},
        // With Ctrl the letters are not scroll keys, and no command either.
        {key(kKeyJ, "j", "c"), std::nullopt},
        // Moving and closing.
        {key(kRight, nullptr), cmd(Cmd::move(1))},
        {key(kDown, nullptr, "r"), cmd(Cmd::move(1))},
        {key(kLeft, nullptr), cmd(Cmd::move(-1))},
        {key(kUp, nullptr, "r"), cmd(Cmd::move(-1))},
        {key(OverlayKeys::tab, "\t"), cmd(Cmd::move(1))},
        {key(OverlayKeys::tab, "\t", "s"), cmd(Cmd::move(-1))},
        {key(OverlayKeys::escape, "\x1b"), cmd(Cmd::close())},
        {key(OverlayKeys::escape, nullptr, "r"), cmd(Cmd::close())},
        // With the find field open these keys belong to the field.
        {key(OverlayKeys::escape, nullptr, "f"), std::nullopt},
        {key(kDown, nullptr, "f"), std::nullopt},
        {key(OverlayKeys::tab, nullptr, "f"), std::nullopt},
        // Letter commands.
        {key(kKeyW, "w"), cmd(Cmd::why())},
        {key(kKeyW, "W", "s"), cmd(Cmd::why())},
        {key(kSlash, "?", "s"), cmd(Cmd::why())},
        {key(kKeyP, "p"), cmd(Cmd::pin())},
        {key(kKeyD, "d"), cmd(Cmd::mute())},
        {key(kKeyA, "a"), cmd(Cmd::showAll())},
        {key(kKeyS, "S"), cmd(Cmd::sidebar())},
        // Other modifiers are not looked at by the commands.
        {key(kKeyA, "a", "o"), cmd(Cmd::showAll())},
        {key(kKeyW, "w", "c"), cmd(Cmd::why())},
        // Held letters do nothing; while finding they are part of the query.
        {key(kKeyP, "p", "r"), cmd(Cmd::ignore())},
        {key(kKeyA, "a", "f"), std::nullopt},
        // Letters without a meaning.
        {key(16, "y"), std::nullopt},
        {key(kSlash, "/"), std::nullopt},
        {key(7, "é"), std::nullopt},
        {key(kKeyW, "ww"), std::nullopt},
        // Numbers choose a highlight.
        {key(kKey1, "1"), cmd(Cmd::choose(1))},
        {key(87, "5"), cmd(Cmd::choose(5))},  // keypad
        {key(kKey1, "1", "c"), cmd(Cmd::choose(1))},
        {key(kKey5, "5", "r"), cmd(Cmd::ignore())},
        {key(kKey5, "5", "f"), std::nullopt},
        {key(kKey0, "0"), std::nullopt},
        {key(kKey1, "12"), std::nullopt},
        {key(kKey1, "-1"), std::nullopt},
        {key(kKey1, "+3"), cmd(Cmd::choose(3))},
        {key(kKey1, "03"), cmd(Cmd::choose(3))},
        {key(kKey1, "+"), std::nullopt},
        {key(kKey1, "3 "), std::nullopt},
        {key(kKey1, "\u0663"), std::nullopt},  // Arabic-Indic three
        {key(kKey1, "99999999999999999999999"), std::nullopt},
        // Keys without characters.
        {key(63, nullptr), cmd(Cmd::ignore())},  // a modifier-only key
        {key(63, nullptr, "f"), std::nullopt},
        {key(63, ""), std::nullopt},
        {key(63, "", "r"), cmd(Cmd::ignore())},
    };
    for (const Row& row : rows) {
        const OverlayKeyPress& k = row.key;
        SCOPED_TRACE(::testing::Message()
                     << "key " << k.keyCode << " \"" << k.characters.value_or("(none)") << "\""
                     << (k.shift ? " shift" : "") << (k.command ? " ctrl" : "")
                     << (k.otherModifier ? " alt/super" : "") << (k.finding ? " finding" : "")
                     << (k.isRepeat ? " repeat" : ""));
        EXPECT_EQ(OverlayKeys::effect(k), row.expected);
    }
}

TEST(FindShortcut, PicksTheKeyThatTypesSlash) {
    using FindShortcut::KeyOutput;
    const std::vector<KeyOutput> us{{0, "a", "A"}, {26, "7", "/"}, {44, "/", "?"}};
    EXPECT_EQ(FindShortcut::keyCode(us), 44);
    // "/" needs Shift on key 26 and no key types it plainly.
    const std::vector<KeyOutput> german{{0, "a", "A"}, {26, "7", "/"}, {44, "-", "_"}};
    EXPECT_EQ(FindShortcut::keyCode(german), 26);
    // The first plain "/" wins, even after a shifted one.
    const std::vector<KeyOutput> two{{10, "x", "/"}, {30, "/", "?"}, {31, "/", "?"}};
    EXPECT_EQ(FindShortcut::keyCode(two), 30);
    const std::vector<KeyOutput> none{{0, "a", "A"}, {1, "", ""}, {2, "//", "/ "}};
    EXPECT_EQ(FindShortcut::keyCode(none), FindShortcut::fallbackKeyCode);
    EXPECT_EQ(FindShortcut::keyCode({}), 44);
}

}  // namespace
}  // namespace ovra
