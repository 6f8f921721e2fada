// The on-screen button and the permission guide in the virtual desktop: the button shows over
// Chromium, above it on every desktop, out of the taskbar and cut round without a compositing
// manager, and its click reaches the handler while Chromium stays in front and is read; the
// trail flies only with a compositing manager; the guide turns the accessibility bus on, opens
// the desktop's settings before stepping back, and the app then reads a Chromium started after.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <QImage>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
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

std::vector<int> numbers(const std::string& line) {
    std::vector<int> out;
    std::istringstream in(line.substr(line.find(' ') + 1));
    for (int n = 0; in >> n;) {
        out.push_back(n);
    }
    return out;
}

// The harness with a pipe to its input and its output in a file.
class Harness {
  public:
    explicit Harness(std::vector<std::string> arguments) {
        signal(SIGPIPE, SIG_IGN);
        char pattern[] = "/tmp/ovra-bubble.XXXXXX";
        folder_ = mkdtemp(pattern);
        arguments.insert(arguments.begin(), OVRA_BUBBLE_HARNESS);
        std::vector<char*> argv;
        for (auto& a : arguments) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        int in[2];
        if (pipe(in) != 0) {
            return;
        }
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_adddup2(&files, in[0], STDIN_FILENO);
        posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, (folder_ / "out").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn(&pid_, argv[0], &files, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&files);
        close(in[0]);
        input_ = in[1];
    }
    ~Harness() {
        send("quit");
        close(input_);
        if (!eventually([this] { return waitpid(pid_, nullptr, WNOHANG) == pid_; }, 5)) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        fs::remove_all(folder_);
    }
    void send(const std::string& line) {
        [[maybe_unused]] auto n = write(input_, (line + "\n").data(), line.size() + 1);
    }
    // The first line starting with `prefix` after the `skip` earlier ones; "" when none came.
    std::string line(const std::string& prefix, int skip = 0, double seconds = 30) {
        std::string found;
        eventually(
            [&] {
                std::ifstream in(folder_ / "out");
                int seen = 0;
                for (std::string l; std::getline(in, l);) {
                    if (l.rfind(prefix, 0) == 0 && seen++ == skip) {
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

void click(int x, int y) {
    std::system(
        ("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1").c_str());
}

bool chromiumInFront() {
    return output("xdotool getactivewindow getwindowname 2>/dev/null").find("Chromium") !=
           std::string::npos;
}

TEST(BubbleDesktop, TheButtonShowsOverChromiumAndItsClickReachesTheHandler) {
    auto chromium = LaunchedApp::chromium(testing::fixtureUrl("news.html"));
    ASSERT_TRUE(eventually(chromiumInFront, 60)) << "Chromium never came to the front";
    Harness harness({"--place", "leftMiddle"});
    const std::vector<int> b = numbers(harness.line("button"));
    ASSERT_EQ(b.size(), 4u);
    EXPECT_EQ(b[0], 0);  // against the left edge, 96 pixels, in the middle
    EXPECT_EQ(b[2], 96);
    EXPECT_EQ(b[1], 512 - 48);

    // Where the window manager put it, and what it was told of it.
    const std::string info = output("xwininfo -name 'Murmlark Ovra button'");
    EXPECT_THAT(info, HasSubstr("Absolute upper-left X:  " + std::to_string(b[0])));
    EXPECT_THAT(info, HasSubstr("Absolute upper-left Y:  " + std::to_string(b[1])));
    const std::string props =
        output("xprop -name 'Murmlark Ovra button' _NET_WM_STATE _NET_WM_DESKTOP WM_HINTS");
    for (const char* state : {"ABOVE", "SKIP_TASKBAR", "SKIP_PAGER"}) {
        EXPECT_THAT(props, HasSubstr(std::string("_NET_WM_STATE_") + state));
    }
    // On every desktop (openbox says so by the desktop number rather than the sticky state).
    EXPECT_THAT(props, HasSubstr("_NET_WM_DESKTOP(CARDINAL) = 4294967295"));
    EXPECT_THAT(props, HasSubstr("Client accepts input or input focus: False"));

    // Over Chromium: the dark disc, and the page through the padding (cut round, no compositor).
    const fs::path shot = harness.folder() / "screen.png";
    std::system(("import -window root '" + shot.string() + "'").c_str());
    const QImage screen(QString::fromStdString(shot.string()));
    const QColor disc = screen.pixelColor(b[0] + 40, b[1] + 20);
    const QColor padding = screen.pixelColor(b[0] + 93, b[1] + 48);
    EXPECT_LT(disc.lightness(), 40);
    EXPECT_GT(padding.lightness(), 200) << "the page should show beside the button";
    std::system(("cp '" + shot.string() + "' /tmp/ovra-bubble-over-chromium.png").c_str());

    click(b[0] + 40, b[1] + 48);
    EXPECT_EQ(harness.line("clicked"), "clicked");
    const std::string front = harness.line("front");
    EXPECT_THAT(front, HasSubstr("front Chromium"));
    EXPECT_GT(std::atoi(front.substr(front.rfind(' ') + 1).c_str()), 3) << front;
    EXPECT_TRUE(chromiumInFront()) << "the button must not take the focus";
}

TEST(BubbleDesktop, TheTrailFliesOnlyWithACompositingManager) {
    Harness harness({"--place", "rightBottom"});
    ASSERT_FALSE(harness.line("button").empty());
    harness.send("fly");
    harness.send("state");
    EXPECT_EQ(harness.line("state"), "state button=1 trail=0");
    auto compositor = LaunchedApp::start({"xcompmgr"});
    int asked = 1;
    const bool flew = eventually(
        [&] {
            harness.send("fly");
            harness.send("state");
            return harness.line("state", asked++, 5) == "state button=1 trail=1";
        },
        20);
    ASSERT_TRUE(flew) << "no trail with a compositing manager";
    EXPECT_TRUE(eventually(
        [&] {
            harness.send("state");
            return harness.line("state", asked++, 5) == "state button=1 trail=0";
        },
        10));
}

TEST(BubbleDesktop, TheGuideTurnsAccessibilityOnAndChromiumIsReadThen) {
    auto setEnabled = [](const char* on) {
        std::system((std::string("dbus-send --session --print-reply --dest=org.a11y.Bus "
                                 "/org/a11y/bus org.freedesktop.DBus.Properties.Set "
                                 "string:org.a11y.Status string:IsEnabled variant:boolean:") +
                     on + " >/dev/null")
                        .c_str());
    };
    struct Restore {
        std::function<void(const char*)> set;
        ~Restore() { set("true"); }
    } restore{setEnabled};
    setEnabled("false");

    // GNOME's settings app, standing in: it notes that it was asked for.
    char pattern[] = "/tmp/ovra-settings.XXXXXX";
    const fs::path bin = mkdtemp(pattern);
    std::ofstream(bin / "gnome-control-center")
        << "#!/bin/sh\necho \"$@\" > '" << bin.string() << "/asked'\n";
    fs::permissions(bin / "gnome-control-center", fs::perms::owner_all);
    const std::string path = std::getenv("PATH");
    setenv("PATH", (bin.string() + ":" + path).c_str(), 1);
    setenv("XDG_CURRENT_DESKTOP", "GNOME", 1);
    Harness harness({"--guide"});
    setenv("PATH", path.c_str(), 1);

    EXPECT_EQ(harness.line("trusted"), "trusted 0");
    const std::vector<int> g = numbers(harness.line("guide"));
    ASSERT_EQ(g.size(), 4u);
    click(g[0] + g[2] / 2, g[1] + g[3] / 2);
    EXPECT_EQ(harness.line("windows back"), "windows back");
    EXPECT_TRUE(eventually([&] { return fs::exists(bin / "asked"); }, 10));
    EXPECT_EQ(harness.line("trusted", 1), "trusted 1");
    EXPECT_THAT(harness.line("announce"), HasSubstr("Accessibility access is on."));
    EXPECT_THAT(output("dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus "
                       "org.freedesktop.DBus.Properties.Get string:org.a11y.Status "
                       "string:IsEnabled"),
                HasSubstr("boolean true"));

    // A Chromium started now, without being told to expose its pages, is read.
    auto chromium = LaunchedApp::chromium(testing::fixtureUrl("news.html"), false);
    ASSERT_TRUE(eventually(chromiumInFront, 60));
    harness.send("read");
    EXPECT_THAT(harness.line("front"), HasSubstr("front Chromium"));
    fs::remove_all(bin);
}

}  // namespace
}  // namespace ovra
