// Runs each self-test flag of murmlark-ovra on the private desktop and compares its transcript
// with the golden file beside the self-tests (a differing line fails with a diff), and checks
// the overlay snapshot's picture: its size, a ring around a fixture control, a link planted at
// its path replaced rather than followed, and the failure line for a path it cannot write.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QColor>
#include <QImage>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "testing/desktop/Commands.h"

namespace ovra {
namespace {

namespace fs = std::filesystem;

using Output = testing::CommandOutput;

// The command's standard output and exit code; standard error is the app's log.
Output capture(const std::string& command) {
    return testing::run(command + " 2>/dev/null");
}

// The app with one self-test flag, on the desktop's scratch settings and the built-in rules.
Output selfTest(const std::string& arguments) {
    return capture("timeout 400 env -u OVRA_CLASSIFIER_DIR '" OVRA_EXECUTABLE "' " + arguments);
}

using testing::readText;

class SelfTests : public ::testing::Test {
  protected:
    // The transcript against its golden file; on a difference, the diff is the message.
    void expectGolden(const std::string& transcript, const std::string& golden) {
        const fs::path expected = fs::path(OVRA_GOLDEN_DIR) / golden;
        if (transcript == readText(expected)) {
            return;
        }
        const fs::path actual = dir_ / golden;
        std::ofstream(actual, std::ios::binary) << transcript;
        ADD_FAILURE()
            << golden << " differs (- golden, + this run):\n"
            << capture("diff -u '" + expected.string() + "' '" + actual.string() + "'").text;
    }

    testing::ScratchFolder dir_{"selftest"};
};

TEST_F(SelfTests, EachTranscriptIsItsGoldenFile) {
    for (const auto& [flag, golden] :
         {std::pair{"--find-test", "find.txt"}, std::pair{"--scroll-test", "scroll.txt"},
          std::pair{"--keyboard-test", "keyboard.txt"}}) {
        const Output run = selfTest(flag);
        EXPECT_EQ(run.exitCode, 0) << flag;
        expectGolden(run.text, golden);
    }
}

TEST_F(SelfTests, ARunCutShortLeavesTheUsersSettingsAsTheyWere) {
    const fs::path folder = dir_ / "config" / "murmlark-ovra";
    fs::create_directories(folder);
    const std::string settings = R"({"sidebar":true,"theme":"cyan"})";
    std::ofstream(folder / "ai.qeld.murmlark-ovra.json") << settings;
    // Killed in the middle of its steps, long after it turned the sidebar off.
    const Output cut = capture("XDG_CONFIG_HOME='" + (dir_ / "config").string() +
                               "' timeout -s KILL 6 '" OVRA_EXECUTABLE "' --find-test");
    EXPECT_NE(cut.text.find("\n[open] "), std::string::npos) << cut.text;
    EXPECT_EQ(readText(folder / "ai.qeld.murmlark-ovra.json"), settings);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

TEST_F(SelfTests, OverlaySnapshotReplacesALinkAndShowsTheRings) {
    const fs::path path = dir_ / "overlay.png";
    const fs::path elsewhere = dir_ / "elsewhere.png";
    fs::create_symlink(elsewhere, path);
    const Output run = selfTest("--overlay-snapshot '" + path.string() + "'");
    EXPECT_EQ(run.exitCode, 0);
    std::string line = run.text;
    line.replace(line.find(path.string()), path.string().size(), "<path>");
    expectGolden(line, "overlay-snapshot.txt");
    EXPECT_FALSE(fs::is_symlink(path));
    EXPECT_FALSE(fs::exists(elsewhere));

    const QImage picture(QString::fromStdString(path.string()));
    ASSERT_FALSE(picture.isNull());
    EXPECT_EQ(picture.size(), QSize(1280, 1024));
    // The selected ring of "Continue" (x 520, y 290, 220 by 36) runs along its frame's left
    // edge in the theme's colour.
    const QColor ring = picture.pixelColor(520, 308);
    EXPECT_NEAR(ring.red(), 230, 3);
    EXPECT_NEAR(ring.green(), 242, 3);
    EXPECT_NEAR(ring.blue(), 255, 3);

    const Output refused = selfTest("--overlay-snapshot '" + (dir_ / "no/such.png").string() + "'");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.text, "overlay snapshot: could not write " + (dir_ / "no/such.png").string() +
                                ": No such file or directory\n");
}

}  // namespace
}  // namespace ovra
