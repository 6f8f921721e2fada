#include "core/OverlayKeys.h"

#include <gtest/gtest.h>

#include <sstream>
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

std::string describe(const OverlayKeyPress& k) {
    std::ostringstream out;
    out << "key " << k.keyCode << " chars " << (k.characters ? "\"" + *k.characters + "\"" : "none")
        << (k.shift ? " shift" : "") << (k.command ? " cmd" : "")
        << (k.otherModifier ? " ctl/opt" : "") << (k.finding ? " finding" : "")
        << (k.isRepeat ? " repeat" : "");
    return out.str();
}

void expectEffects(const std::vector<Row>& rows) {
    for (const Row& row : rows) {
        SCOPED_TRACE(describe(row.key));
        const auto got = OverlayKeys::effect(row.key);
        if (row.expected) {
            ASSERT_TRUE(got.has_value());
            EXPECT_EQ(*got, *row.expected);
        } else {
            EXPECT_FALSE(got.has_value()) << *got;
        }
    }
}

E act(A a) {
    return E::action(a);
}
E cmd(Cmd c) {
    return E::command(c);
}

TEST(OverlayKeys, PressKeysPressOnceAndIgnoreTheirRepeats) {
    expectEffects({
        {{.keyCode = OverlayKeys::returnKey, .characters = "\r"}, act(A::press())},
        {{.keyCode = OverlayKeys::returnKey, .characters = "\r", .isRepeat = true},
         act(A::ignore())},
        {{.keyCode = OverlayKeys::enter, .characters = "\x03"}, act(A::press())},
        {{.keyCode = OverlayKeys::enter, .finding = true}, act(A::press())},
        {{.keyCode = OverlayKeys::space, .characters = " "}, act(A::press())},
        // Space types into an open find field.
        {{.keyCode = OverlayKeys::space, .characters = " ", .finding = true}, std::nullopt},
        // Modifiers do not stop a press.
        {{.keyCode = OverlayKeys::returnKey, .command = true, .otherModifier = true},
         act(A::press())},
    });
}

TEST(OverlayKeys, PageKeysScrollOnEveryRepeat) {
    const E pageDown = act(A::scroll(D::down, S::page));
    const E pageUp = act(A::scroll(D::up, S::page));
    expectEffects({
        {{.keyCode = OverlayKeys::pageDown}, pageDown},
        {{.keyCode = OverlayKeys::pageDown, .isRepeat = true}, pageDown},
        {{.keyCode = OverlayKeys::pageDown, .finding = true, .isRepeat = true}, pageDown},
        {{.keyCode = OverlayKeys::pageUp, .characters = ""}, pageUp},
    });
}

TEST(OverlayKeys, FindKeys) {
    expectEffects({
        {{.keyCode = kKeyF, .characters = "f"}, act(A::openFind())},
        {{.keyCode = kKeyF, .characters = "F", .shift = true}, act(A::openFind())},
        {{.keyCode = kKeyF, .characters = "f", .isRepeat = true}, act(A::ignore())},
        {{.keyCode = kKeyF, .characters = "f", .command = true}, act(A::openFind())},
        // Only Command-F works from inside the find field, and a held one does nothing more.
        {{.keyCode = kKeyF, .characters = "f", .finding = true}, std::nullopt},
        {{.keyCode = kKeyF, .characters = "f", .command = true, .finding = true},
         act(A::openFind())},
        {{.keyCode = kKeyF, .characters = "f", .command = true, .finding = true, .isRepeat = true},
         act(A::ignore())},
        // Command-Option-F is nobody's.
        {{.keyCode = kKeyF, .characters = "f", .command = true, .otherModifier = true},
         std::nullopt},
        {{.keyCode = kKeyF,
          .characters = "f",
          .command = true,
          .otherModifier = true,
          .finding = true},
         std::nullopt},
        // Control-F is not a find key; "f" is not a command either.
        {{.keyCode = kKeyF, .characters = "f", .otherModifier = true}, std::nullopt},
        // Whole strings only.
        {{.keyCode = kKeyF, .characters = "ff"}, std::nullopt},
    });
}

TEST(OverlayKeys, JAndKScrollASmallStepOrAPageWithShift) {
    expectEffects({
        {{.keyCode = kKeyJ, .characters = "j"}, act(A::scroll(D::down, S::small))},
        {{.keyCode = kKeyJ, .characters = "J", .shift = true}, act(A::scroll(D::down, S::page))},
        // Unlike letter commands, held scroll letters keep scrolling.
        {{.keyCode = kKeyJ, .characters = "j", .isRepeat = true},
         act(A::scroll(D::down, S::small))},
        {{.keyCode = kKeyK, .characters = "k"}, act(A::scroll(D::up, S::small))},
        {{.keyCode = kKeyK, .characters = "K", .shift = true}, act(A::scroll(D::up, S::page))},
        {{.keyCode = kKeyJ, .characters = "j", .finding = true}, std::nullopt},
        // With Command the letters are not scroll keys, and no command either.
        {{.keyCode = kKeyJ, .characters = "j", .command = true}, std::nullopt},
    });
}

TEST(OverlayKeys, NavigationAndClosing) {
    expectEffects({
        {{.keyCode = kRight}, cmd(Cmd::move(1))},
        {{.keyCode = kDown, .isRepeat = true}, cmd(Cmd::move(1))},
        {{.keyCode = kLeft}, cmd(Cmd::move(-1))},
        {{.keyCode = kUp, .isRepeat = true}, cmd(Cmd::move(-1))},
        {{.keyCode = OverlayKeys::tab, .characters = "\t"}, cmd(Cmd::move(1))},
        {{.keyCode = OverlayKeys::tab, .characters = "\t", .shift = true}, cmd(Cmd::move(-1))},
        {{.keyCode = OverlayKeys::escape, .characters = "\x1b"}, cmd(Cmd::close())},
        {{.keyCode = OverlayKeys::escape, .isRepeat = true}, cmd(Cmd::close())},
        // With the find field open these keys belong to the field.
        {{.keyCode = OverlayKeys::escape, .finding = true}, std::nullopt},
        {{.keyCode = kDown, .finding = true}, std::nullopt},
        {{.keyCode = OverlayKeys::tab, .finding = true}, std::nullopt},
    });
}

TEST(OverlayKeys, LetterCommands) {
    expectEffects({
        {{.keyCode = kKeyW, .characters = "w"}, cmd(Cmd::why())},
        {{.keyCode = kKeyW, .characters = "W", .shift = true}, cmd(Cmd::why())},
        {{.keyCode = kSlash, .characters = "?", .shift = true}, cmd(Cmd::why())},
        {{.keyCode = kKeyP, .characters = "p"}, cmd(Cmd::pin())},
        {{.keyCode = kKeyD, .characters = "d"}, cmd(Cmd::mute())},
        {{.keyCode = kKeyA, .characters = "a"}, cmd(Cmd::showAll())},
        {{.keyCode = kKeyS, .characters = "S"}, cmd(Cmd::sidebar())},
        // Other modifiers are not looked at by the commands.
        {{.keyCode = kKeyA, .characters = "a", .otherModifier = true}, cmd(Cmd::showAll())},
        {{.keyCode = kKeyW, .characters = "w", .command = true}, cmd(Cmd::why())},
        // Held letters do nothing; while finding they are part of the query.
        {{.keyCode = kKeyP, .characters = "p", .isRepeat = true}, cmd(Cmd::ignore())},
        {{.keyCode = kKeyA, .characters = "a", .finding = true}, std::nullopt},
        // Letters without a meaning.
        {{.keyCode = 16, .characters = "y"}, std::nullopt},
        {{.keyCode = kSlash, .characters = "/"}, std::nullopt},
        {{.keyCode = 7, .characters = "é"}, std::nullopt},
        {{.keyCode = kKeyW, .characters = "ww"}, std::nullopt},
    });
}

TEST(OverlayKeys, NumbersChooseAHighlight) {
    expectEffects({
        {{.keyCode = kKey1, .characters = "1"}, cmd(Cmd::choose(1))},
        {{.keyCode = kKey5, .characters = "5"}, cmd(Cmd::choose(5))},
        {{.keyCode = 87, .characters = "5"}, cmd(Cmd::choose(5))},  // keypad
        {{.keyCode = kKey1, .characters = "1", .command = true}, cmd(Cmd::choose(1))},
        {{.keyCode = kKey5, .characters = "5", .isRepeat = true}, cmd(Cmd::ignore())},
        {{.keyCode = kKey5, .characters = "5", .finding = true}, std::nullopt},
        {{.keyCode = kKey0, .characters = "0"}, std::nullopt},
        {{.keyCode = kKey1, .characters = "12"}, std::nullopt},
        {{.keyCode = kKey1, .characters = "-1"}, std::nullopt},
        {{.keyCode = kKey1, .characters = "+3"}, cmd(Cmd::choose(3))},
        {{.keyCode = kKey1, .characters = "03"}, cmd(Cmd::choose(3))},
        {{.keyCode = kKey1, .characters = "+"}, std::nullopt},
        {{.keyCode = kKey1, .characters = "3 "}, std::nullopt},
        {{.keyCode = kKey1, .characters = "\u0663"}, std::nullopt},  // Arabic-Indic three
        {{.keyCode = kKey1, .characters = "99999999999999999999999"}, std::nullopt},
    });
}

TEST(OverlayKeys, KeysWithoutCharacters) {
    expectEffects({
        {{.keyCode = 63}, cmd(Cmd::ignore())},  // a modifier-only key
        {{.keyCode = 63, .finding = true}, std::nullopt},
        {{.keyCode = 63, .characters = ""}, std::nullopt},
        {{.keyCode = 63, .characters = "", .isRepeat = true}, cmd(Cmd::ignore())},
    });
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
