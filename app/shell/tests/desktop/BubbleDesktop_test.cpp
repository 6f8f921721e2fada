// The on-screen button and the permission guide in the virtual desktop. The app's button shows
// over Chromium, above it on every desktop, out of the taskbar and cut round without a
// compositing manager, and a click on it opens the overlay over Chromium; the guide turns the
// accessibility bus on and opens the desktop's settings before stepping back, and a Chromium
// started then is read.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QImage>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "testing/desktop/LaunchedApp.h"
#include "testing/desktop/OwnWindowAudit.h"

namespace ovra {
namespace {

namespace fs = std::filesystem;
using testing::eventually;
using ::testing::HasSubstr;
using testing::LaunchedApp;

std::string output(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    for (char buffer[4096]; size_t n = fread(buffer, 1, sizeof buffer, pipe);) {
        out.append(buffer, n);
    }
    pclose(pipe);
    return out;
}

// A program of ours, its output in a file of its folder (also its XDG_CONFIG_HOME), its input
// a named pipe that it holds open itself.
class Program {
  public:
    explicit Program(const std::string& program, const std::string& settings = "{}") {
        char pattern[] = "/tmp/ovra-bubble.XXXXXX";
        folder_ = mkdtemp(pattern);
        fs::create_directories(folder_ / "murmlark-ovra");
        std::ofstream(folder_ / "murmlark-ovra/ai.qeld.murmlark-ovra.json") << settings;
        setenv("XDG_CONFIG_HOME", folder_.c_str(), 1);
        EXPECT_EQ(mkfifo((folder_ / "in").c_str(), 0600), 0);
        app_ = LaunchedApp::start({"sh", "-c", "exec \"$0\" <>\"$1\" >\"$2\" 2>&1", program,
                                   (folder_ / "in").string(), (folder_ / "out").string()},
                                  folder_.string());
    }
    pid_t pid() const { return app_.pid(); }
    // Without blocking: a program that has ended must not hang the test.
    void send(const std::string& line) {
        const int fd = ::open((folder_ / "in").c_str(), O_WRONLY | O_NONBLOCK);
        ASSERT_GE(fd, 0) << "nothing reads the pipe any more";
        const std::string text = line + "\n";
        EXPECT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
        ::close(fd);
    }
    // The `skip`+1st line holding `text`, waiting up to `seconds`; "" when none came.
    std::string line(const std::string& text, int skip = 0, double seconds = 30) {
        std::string found;
        eventually(
            [&] {
                std::ifstream in(folder_ / "out");
                int seen = 0;
                for (std::string l; std::getline(in, l) && found.empty();) {
                    found = l.find(text) != std::string::npos && seen++ == skip ? l : "";
                }
                return !found.empty();
            },
            seconds);
        return found;
    }

  private:
    fs::path folder_;
    LaunchedApp app_;
};

QImage screenshot() {
    const fs::path file = fs::temp_directory_path() / "ovra-bubble-over-chromium.png";
    std::system(("import -window root '" + file.string() + "'").c_str());
    return QImage(QString::fromStdString(file.string()));
}

void click(int x, int y) {
    std::system(
        ("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1").c_str());
}

bool chromiumInFront() {
    return output("xdotool getactivewindow getwindowname").find("Chromium") != std::string::npos;
}

// A screen reader's audit of a program's windows as they are now: every control named.
void expectAudited(pid_t pid, const char* what) {
    const testing::WindowAudit audit = testing::auditWindowsOf(pid);
    EXPECT_GT(audit.controls, 0) << what;
    EXPECT_THAT(audit.problems, ::testing::IsEmpty()) << what;
}

TEST(BubbleDesktop, TheButtonShowsOverChromiumAndItsClickOpensTheOverlay) {
    auto chromium = LaunchedApp::chromium(testing::fixtureUrl("news.html"));
    ASSERT_TRUE(eventually(chromiumInFront, 60)) << "Chromium never came to the front";
    Program app(OVRA_APP,
                R"({"hotkey": "ctrl-opt-space", "showBubble": true, "bubblePlace": "leftMiddle"})");
    ASSERT_FALSE(app.line("opens the overlay").empty());

    // Against the left edge, 96 pixels, in the middle, as the window manager was told.
    const std::string name = "xwininfo -name 'Murmlark Ovra button — Murmlark Ovra'";
    ASSERT_TRUE(eventually([&] { return output(name).find("IsViewable") != std::string::npos; }));
    const std::string info = output(name);
    for (const char* want : {"upper-left X:  0\n", "upper-left Y:  464\n", "Width: 96\n"}) {
        EXPECT_THAT(info, HasSubstr(want));
    }
    std::string id;
    std::istringstream(info.substr(info.find("Window id: ") + 11)) >> id;
    const std::string props = output("xprop -id " + id + " _NET_WM_STATE _NET_WM_DESKTOP WM_HINTS");
    // On every desktop (openbox says so by the desktop number rather than the sticky state).
    for (const char* want :
         {"STATE_ABOVE", "STATE_SKIP_TASKBAR", "STATE_SKIP_PAGER",
          "_NET_WM_DESKTOP(CARDINAL) = 4294967295", "Client accepts input or input focus: False"}) {
        EXPECT_THAT(props, HasSubstr(want));
    }

    // Over the page: the dark disc, and the page through the padding (cut round).
    QImage screen;
    EXPECT_TRUE(eventually([&] {
        screen = screenshot();  // once the button has painted
        return screen.pixelColor(40, 464 + 20).lightness() < 40;
    }));
    EXPECT_GT(screen.pixelColor(93, 464 + 48).lightness(), 200);
    EXPECT_GT(screen.pixelColor(1000, 700).lightness(), 200);
    expectAudited(app.pid(), "the on-screen button");
    // A click opens the overlay: it dims Chromium's page.
    click(40, 512);
    EXPECT_TRUE(eventually([] { return screenshot().pixelColor(1000, 700).lightness() < 100; }, 15))
        << app.line("murmlark-ovra");
    // The button stays above the open overlay, clear of its information panel: a second click
    // closes it.
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    click(40, 512);
    EXPECT_TRUE(eventually([] { return screenshot().pixelColor(1000, 700).lightness() > 200; }, 15));
}

TEST(BubbleDesktop, TheGuideTurnsAccessibilityOnAndChromiumIsReadThen) {
    const std::string a11y =
        "dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus "
        "org.freedesktop.DBus.Properties.";
    const std::string enabled = "string:org.a11y.Status string:IsEnabled";
    output(a11y + "Set " + enabled + " variant:boolean:false");
    struct Restore {
        std::string command;
        ~Restore() { output(command); }
    } restore{a11y + "Set " + enabled + " variant:boolean:true"};

    // GNOME's settings app, standing in: it notes that it was asked for.
    const fs::path bin = mkdtemp(std::string("/tmp/ovra-settings.XXXXXX").data());
    std::ofstream(bin / "gnome-control-center")
        << "#!/bin/sh\ntouch '" << bin.string() << "/asked'\n";
    fs::permissions(bin / "gnome-control-center", fs::perms::owner_all);
    const std::string path = std::getenv("PATH");
    setenv("PATH", (bin.string() + ":" + path).c_str(), 1);
    setenv("XDG_CURRENT_DESKTOP", "GNOME", 1);
    Program harness(OVRA_BUBBLE_HARNESS);
    setenv("PATH", path.c_str(), 1);

    EXPECT_EQ(harness.line("trusted"), "trusted 0");  // off, so apps started now stay unread
    std::istringstream guide(harness.line("guide").substr(6));
    int x = 0, y = 0, width = 0, height = 0;
    ASSERT_TRUE(guide >> x >> y >> width >> height);
    click(x + width / 2, y + height / 2);
    EXPECT_EQ(harness.line("windows back"), "windows back");
    EXPECT_TRUE(eventually([&] { return fs::exists(bin / "asked"); }, 10));
    EXPECT_EQ(harness.line("trusted", 1), "trusted 1");
    EXPECT_THAT(harness.line("announce"), HasSubstr("Accessibility access is on."));
    EXPECT_THAT(output(a11y + "Get " + enabled), HasSubstr("boolean true"));

    // A Chromium started now, without being told to expose its pages, is read.
    auto chromium = LaunchedApp::chromium(testing::fixtureUrl("news.html"), false);
    ASSERT_TRUE(eventually(chromiumInFront, 60));
    auto read = [&] { return harness.send("read"), !harness.line("front Chromium", 0, 2).empty(); };
    EXPECT_TRUE(eventually(read, 30)) << "Chromium was not read";
    fs::remove_all(bin);
}

}  // namespace
}  // namespace ovra
