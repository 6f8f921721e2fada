// Keys typed as the overlay comes up, over Chromium, as the app runs as its own process and as a
// person types: the hotkey held for a moment, a digit typed right after it or rolled on from it
// (its last key still down) chooses its highlight whichever highlight was chosen first and never
// reaches the page, Escape rolled on as quickly closes the overlay, and then the page gets the
// keys again. The keyboard is never left held.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "testing/Files.h"
#include "testing/desktop/Commands.h"
#include "testing/desktop/Highlights.h"
#include "testing/desktop/KeyboardGrab.h"
#include "testing/desktop/LaunchedApp.h"

namespace ovra {
namespace {

using testing::eventually;
using testing::xdotool;

// The hotkey as a person presses it, held for a moment, and the next key right after it; or
// rolled on from it, typed while its last key is still down.
std::string hotkeyThen(const std::string& key, bool rolled) {
    return rolled ? "keydown ctrl+alt+space sleep 0.08 keyup ctrl+alt sleep 0.03 key " + key +
                        " keyup space"
                  : "keydown ctrl+alt+space sleep 0.08 keyup ctrl+alt+space sleep 0.03 key " + key;
}

class EarlyKeys : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* source = std::getenv("OVRA_SOURCE_DIR");
        ASSERT_NE(source, nullptr);
        browser_ =
            testing::LaunchedApp::chromium("file://" + std::string(source) +
                                           "/app/accessibility/tests/desktop/fixtures/typing.html");
        ASSERT_TRUE(
            eventually([&] { return title().find("shortcuts=0") != std::string::npos; }, 45))
            << "the page never loaded";

        std::filesystem::create_directories(home_ / "murmlark-ovra");
        std::ofstream(home_ / "murmlark-ovra/ai.qeld.murmlark-ovra.json")
            << R"({"hotkey": "ctrl-opt-space", "useModel": false, "sidebar": false})";
        setenv("XDG_CONFIG_HOME", home_.path().c_str(), 1);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, (home_ / "log").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        char* argv[] = {const_cast<char*>(OVRA_APP), const_cast<char*>("--no-dashboard"), nullptr};
        ASSERT_EQ(posix_spawn(&app_, OVRA_APP, &actions, nullptr, argv, environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        ASSERT_TRUE(eventually([&] { return logged("opens the overlay") > 0; }, 20)) << log();
    }
    void TearDown() override {
        if (app_ > 0) {
            kill(app_, SIGTERM);
            waitpid(app_, nullptr, 0);
        }
    }

    std::string log() const { return testing::readText(home_ / "log"); }
    std::size_t logged(const std::string& text) const {
        const std::string all = log();
        std::size_t count = 0;
        for (auto at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) {
            ++count;
        }
        return count;
    }
    // The page's title: "note=[<the note>] shortcuts=<keys the page took as shortcuts> ;".
    static std::string title() {
        return testing::output("xdotool search --name 'shortcuts=' getwindowname 2>/dev/null");
    }
    // The keys the page got: as shortcuts, or typed into its note.
    static int keysOnThePage() {
        const std::string shown = title();
        const auto begin = shown.find("note=[");
        const auto end = shown.find("] shortcuts=");
        if (begin == std::string::npos || end == std::string::npos) {
            return -1;
        }
        return static_cast<int>(end - begin - 6) + std::atoi(shown.c_str() + end + 12);
    }
    bool backToThePage() {
        return testing::keyboardBackTo(browser_.pid()) && eventually(testing::keyboardFree, 5);
    }

    testing::LaunchedApp browser_;
    testing::ScratchFolder home_{"early-keys"};
    pid_t app_ = 0;
};

TEST_F(EarlyKeys, ADigitTypedAsTheOverlayOpensChoosesInItAndNothingReachesThePage) {
    // The numbers, from a plain opening. Right after its start the app may not listen yet.
    for (int attempt = 0; attempt < 2 && !testing::overlayOnScreen(); ++attempt) {
        xdotool("key ctrl+alt+space");
        eventually(testing::overlayOnScreen, 5);
    }
    const int note = testing::numberWhenShown(app_, "Note");
    const int save = testing::numberWhenShown(app_, "Save note");
    ASSERT_GT(note, 0) << log();
    ASSERT_GT(save, 0) << log();
    ASSERT_TRUE(xdotool("key Escape"));
    ASSERT_TRUE(backToThePage());

    // One of the two is not the highlight chosen first: only the digit can have chosen it.
    struct Round {
        const char* label;
        int number;
        bool rolled;
    };
    for (const Round& round : {Round{"Save note", save, true}, Round{"Note", note, false}}) {
        const std::string label = round.label;
        SCOPED_TRACE(label);
        const std::size_t before = logged("Ovra pressed \"");
        ASSERT_TRUE(xdotool(hotkeyThen(std::to_string(round.number), round.rolled)));
        ASSERT_GT(testing::numberWhenShown(app_, label), 0) << log();
        ASSERT_TRUE(xdotool("key Return"));
        ASSERT_TRUE(eventually([&] { return logged("Ovra pressed \"") > before; }, 10)) << log();
        EXPECT_EQ(logged("Ovra pressed \"" + label + "\""), 1u) << log();
        EXPECT_EQ(logged("Ovra pressed \""), before + 1) << log();
        ASSERT_TRUE(backToThePage());
        EXPECT_EQ(keysOnThePage(), 0) << title();
    }

    // Escape as quickly closes it, and the page has the keys again.
    ASSERT_TRUE(xdotool(hotkeyThen("Escape", true)));
    ASSERT_TRUE(backToThePage());
    EXPECT_EQ(keysOnThePage(), 0) << title();
    ASSERT_TRUE(xdotool("key --delay 60 a b c"));
    EXPECT_TRUE(eventually([] { return keysOnThePage() == 3; }, 5)) << title();
    EXPECT_EQ(logged("main thread blocked"), 0u) << log();
}

}  // namespace
}  // namespace ovra
