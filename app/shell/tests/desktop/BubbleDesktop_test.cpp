// The on-screen button and the permission guide in the virtual desktop. The app's button shows
// over Chromium, above it on every desktop, out of the taskbar and cut round without a
// compositing manager, and a click on it opens the overlay over Chromium; the trail flies only
// with a compositing manager; the guide turns the accessibility bus on and opens the desktop's
// settings before stepping back, and a Chromium started then is read.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QImage>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/atspi/tests/desktop/LaunchedApp.h"

extern char** environ;

namespace ovra {
namespace {

namespace fs = std::filesystem;
using testing::eventually;
using ::testing::HasSubstr;
using testing::LaunchedApp;

std::string output(const std::string& command) {
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        while (size_t n = fread(buffer, 1, sizeof buffer, pipe)) {
            out.append(buffer, n);
        }
        pclose(pipe);
    }
    return out;
}

// A program of ours with a pipe to its input, its output in a file of its own folder (which is
// also its XDG_CONFIG_HOME).
class Program {
  public:
    explicit Program(std::vector<std::string> argv, const std::string& settings = "{}") {
        signal(SIGPIPE, SIG_IGN);
        char pattern[] = "/tmp/ovra-bubble.XXXXXX";
        folder_ = mkdtemp(pattern);
        fs::create_directories(folder_ / "murmlark-ovra");
        std::ofstream(folder_ / "murmlark-ovra/ai.qeld.murmlark-ovra.json") << settings;
        setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
        std::vector<char*> args;
        for (auto& a : argv) {
            args.push_back(a.data());
        }
        args.push_back(nullptr);
        int in[2];
        [[maybe_unused]] const int piped = pipe(in);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_adddup2(&files, in[0], STDIN_FILENO);
        posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, (folder_ / "out").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_adddup2(&files, STDOUT_FILENO, STDERR_FILENO);
        posix_spawn(&pid_, args[0], &files, nullptr, args.data(), environ);
        posix_spawn_file_actions_destroy(&files);
        close(in[0]);
        input_ = in[1];
    }
    ~Program() {
        send("quit");
        close(input_);
        kill(pid_, SIGTERM);
        if (!eventually([this] { return waitpid(pid_, nullptr, WNOHANG) == pid_; }, 5)) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        fs::remove_all(folder_);
    }
    void send(const std::string& line) {
        [[maybe_unused]] auto n = write(input_, (line + "\n").data(), line.size() + 1);
    }
    // The `skip`+1st line holding `text`; "" when none came within `seconds`.
    std::string line(const std::string& text, int skip = 0, double seconds = 30) {
        std::string found;
        eventually(
            [&] {
                std::ifstream in(folder_ / "out");
                int seen = 0;
                for (std::string l; std::getline(in, l);) {
                    if (l.find(text) != std::string::npos && seen++ == skip) {
                        found = l;
                        return true;
                    }
                }
                return false;
            },
            seconds);
        return found;
    }
    const fs::path& folder() const { return folder_; }

  private:
    fs::path folder_;
    pid_t pid_ = 0;
    int input_ = -1;
};

QImage screenshot(const fs::path& file) {
    std::system(("import -window root '" + file.string() + "'").c_str());
    return QImage(QString::fromStdString(file.string()));
}

bool chromiumInFront() {
    return output("xdotool getactivewindow getwindowname 2>/dev/null").find("Chromium") !=
           std::string::npos;
}

TEST(BubbleDesktop, TheButtonShowsOverChromiumAndItsClickOpensTheOverlay) {
    auto chromium = LaunchedApp::chromium(testing::fixtureUrl("news.html"));
    ASSERT_TRUE(eventually(chromiumInFront, 60)) << "Chromium never came to the front";
    Program app({OVRA_APP},
                R"({"hotkey": "ctrl-opt-space", "showBubble": true, "bubblePlace": "leftMiddle"})");
    ASSERT_FALSE(app.line("opens the overlay").empty());

    // Against the left edge, 96 pixels, in the middle, as the window manager was told.
    const std::string name = "-name 'Murmlark Ovra button — Murmlark Ovra'";
    ASSERT_TRUE(eventually(
        [&] { return output("xwininfo " + name).find("IsViewable") != std::string::npos; }, 20));
    const std::string info = output("xwininfo " + name);
    EXPECT_THAT(info, HasSubstr("Absolute upper-left X:  0\n"));
    EXPECT_THAT(info, HasSubstr("Absolute upper-left Y:  464\n"));
    EXPECT_THAT(info, HasSubstr("Width: 96\n"));
    std::string id;
    std::istringstream(info.substr(info.find("Window id: ") + 11)) >> id;
    const std::string props = output("xprop -id " + id + " _NET_WM_STATE _NET_WM_DESKTOP WM_HINTS");
    for (const char* state : {"ABOVE", "SKIP_TASKBAR", "SKIP_PAGER"}) {
        EXPECT_THAT(props, HasSubstr(std::string("_NET_WM_STATE_") + state));
    }
    // On every desktop (openbox says so by the desktop number rather than the sticky state).
    EXPECT_THAT(props, HasSubstr("_NET_WM_DESKTOP(CARDINAL) = 4294967295"));
    EXPECT_THAT(props, HasSubstr("Client accepts input or input focus: False"));

    // Over the page: the dark disc, and the page through the padding (cut round).
    const fs::path shot = fs::temp_directory_path() / "ovra-bubble-over-chromium.png";
    QImage screen = screenshot(shot);
    EXPECT_LT(screen.pixelColor(40, 464 + 20).lightness(), 40);
    EXPECT_GT(screen.pixelColor(93, 464 + 48).lightness(), 200) << "see " << shot;
    EXPECT_GT(screen.pixelColor(1000, 700).lightness(), 200);

    // A click: the overlay dims Chromium's page.
    std::system("xdotool mousemove 40 512 click 1");
    EXPECT_TRUE(
        eventually([&] { return screenshot(shot).pixelColor(1000, 700).lightness() < 100; }, 15))
        << app.line("murmlark-ovra");
    std::system("xdotool key Escape");
}

TEST(BubbleDesktop, TheTrailFliesOnlyWithACompositingManager) {
    Program harness({OVRA_BUBBLE_HARNESS});
    ASSERT_FALSE(harness.line("ready").empty());
    harness.send("fly");
    harness.send("state");
    EXPECT_EQ(harness.line("state"), "state button=1 trail=0");
    auto compositor = LaunchedApp::start({"xcompmgr"});
    int asked = 1;
    auto trailShows = [&](bool shows) {
        return eventually(
            [&] {
                harness.send(shows ? "fly" : "");
                harness.send("state");
                return harness.line("state", asked++, 5) ==
                       std::string("state button=1 trail=") + (shows ? "1" : "0");
            },
            20);
    };
    EXPECT_TRUE(trailShows(true)) << "no trail with a compositing manager";
    EXPECT_TRUE(trailShows(false)) << "the trail stays";
}

TEST(BubbleDesktop, TheGuideTurnsAccessibilityOnAndChromiumIsReadThen) {
    auto setEnabled = [](const std::string& on) {
        return "dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus "
               "org.freedesktop.DBus.Properties." +
               (on.empty() ? "Get string:org.a11y.Status string:IsEnabled"
                           : "Set string:org.a11y.Status string:IsEnabled variant:boolean:" + on);
    };
    struct Restore {
        std::string command;
        ~Restore() { std::system(command.c_str()); }
    } restore{setEnabled("true")};
    output(setEnabled("false"));

    // GNOME's settings app, standing in: it notes that it was asked for.
    char pattern[] = "/tmp/ovra-settings.XXXXXX";
    const fs::path bin = mkdtemp(pattern);
    std::ofstream(bin / "gnome-control-center")
        << "#!/bin/sh\necho \"$@\" > '" << bin.string() << "/asked'\n";
    fs::permissions(bin / "gnome-control-center", fs::perms::owner_all);
    const std::string path = std::getenv("PATH");
    setenv("PATH", (bin.string() + ":" + path).c_str(), 1);
    setenv("XDG_CURRENT_DESKTOP", "GNOME", 1);
    Program harness({OVRA_BUBBLE_HARNESS, "--guide"});
    setenv("PATH", path.c_str(), 1);

    EXPECT_EQ(harness.line("trusted"), "trusted 0");
    std::istringstream guide(harness.line("guide").substr(6));
    int x = 0, y = 0, width = 0, height = 0;
    ASSERT_TRUE(guide >> x >> y >> width >> height);
    std::system(("xdotool mousemove " + std::to_string(x + width / 2) + " " +
                 std::to_string(y + height / 2) + " click 1")
                    .c_str());
    EXPECT_EQ(harness.line("windows back"), "windows back");
    EXPECT_TRUE(eventually([&] { return fs::exists(bin / "asked"); }, 10));
    EXPECT_EQ(harness.line("trusted", 1), "trusted 1");
    EXPECT_THAT(harness.line("announce"), HasSubstr("Accessibility access is on."));
    EXPECT_THAT(output(setEnabled("")), HasSubstr("boolean true"));

    // A Chromium started now, without being told to expose its pages, is read.
    auto chromium = LaunchedApp::chromium(testing::fixtureUrl("news.html"), false);
    ASSERT_TRUE(eventually(chromiumInFront, 60));
    harness.send("read");
    EXPECT_THAT(harness.line("front"), HasSubstr("front Chromium"));
    fs::remove_all(bin);
}

}  // namespace
}  // namespace ovra
