// How long a press takes as a user meets it: from the Return typed on the overlay until the
// page's own handler runs, over a quiet page in Chromium or Firefox ESR, with the app running as
// its own process. The page notes the moment its handler runs (its clock is this machine's
// wall clock) in its title. "field" times the same for a text field: Return until the field has
// the keyboard focus. "busy" times the button on a page that never stands still away from it (a
// clock that ticks every 250 ms, a carousel that moves every second). Aim: a median within
// 150 ms in each browser, on a busy page as on a quiet one.
//
//   scripts/with-desktop build/ci/app/accessibility/PressLatency chromium [button|field|busy] [N]
//   scripts/with-desktop build/ci/app/accessibility/PressLatency firefox  [button|field|busy] [N]
//
// Prints each press in ms, then min/median/max of N (10 unless told), and the load average. The
// presses begin once the app has listened to the browser for a while, as in everyday use.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/accessibility/AXExtractor.h"
#include "platform/atspi/AtspiBackend.h"
#include "platform/x11/X11Workspace.h"
#include "testing/Files.h"
#include "testing/desktop/Commands.h"
#include "testing/desktop/DesktopReading.h"
#include "testing/desktop/Highlights.h"
#include "testing/desktop/LaunchedApp.h"
#include "testing/desktop/TypedKeys.h"

namespace {

using namespace ovra;
namespace desk = ovra::testing;
using desk::eventually;

// Key positions (the overlay's digits, Return; the hotkey Ctrl Alt Space).
constexpr std::uint16_t kReturn = 36;
constexpr std::uint16_t kSpace = 49;
constexpr std::uint16_t kDigits[] = {18, 19, 20, 21, 23, 22, 26, 28, 25};

const char* kPage = R"(<!DOCTYPE html><html><head><meta charset="utf-8"><title>quiet</title>
<style>body{margin:48px;font:18px sans-serif}button,input{font-size:20px;margin:16px}</style>
</head><body><h1>A quiet page</h1><p>Nothing here changes unless it is pressed.</p>
<button id="count">Count</button><input id="note" placeholder="Note">
<p id="clock"></p><p><a id="slide" href="#">Slide 1</a></p>
<script>
  if (location.hash === "#busy") {
    const clock = document.getElementById("clock");
    setInterval(() => { clock.textContent = new Date().toISOString(); }, 250);
    let slide = 1;
    setInterval(() => {
      document.getElementById("slide").textContent = "Slide " + (slide = slide % 5 + 1);
    }, 1000);
  }
  let n = 0;
  document.getElementById("count").onclick = () => {
    document.title = "pressed " + (++n) + " at " + Date.now();
  };
  document.getElementById("note").onfocus = () => {
    document.title = "focused " + (++n) + " at " + Date.now();
  };
  document.getElementById("note").onblur = () => { document.title = "blurred " + n; };
</script></body></html>
)";

double wallMs() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

double loadAverage() {
    double load = 0;
    if (std::FILE* file = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(file, "%lf", &load) != 1) {
            load = 0;
        }
        std::fclose(file);
    }
    return load;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string browserName = argc > 1 ? argv[1] : "chromium";
    const bool field = argc > 2 && std::string(argv[2]) == "field";
    const bool busy = argc > 2 && std::string(argv[2]) == "busy";
    const int presses = argc > 3 ? std::max(1, std::atoi(argv[3])) : 10;
    const bool firefox = browserName == "firefox";

    desk::ScratchFolder home("press-latency");
    const std::filesystem::path page = home / "quiet.html";
    std::ofstream(page) << kPage;
    // Without a compositing manager the overlay covers the browser whole, and Firefox then
    // drops its page's tree.
    desk::LaunchedApp compositor =
        firefox ? desk::LaunchedApp::start({"xcompmgr"}) : desk::LaunchedApp();
    desk::LaunchedApp browser =
        firefox ? desk::LaunchedApp::firefoxInOwnProfile("file://" + page.string() +
                                                         (busy ? "#busy" : ""))
                : desk::LaunchedApp::chromium("file://" + page.string() + (busy ? "#busy" : ""));
    auto workspace = x11::Workspace::open();
    if (!workspace) {
        std::fprintf(stderr, "no X display: %s\n", workspace.error().c_str());
        return 2;
    }
    const auto title = [&] {
        const auto windows = workspace.value()->windowsOf(browser.pid());
        return windows.empty() ? std::string() : windows.back().title;
    };
    {
        atspi::AtspiBackend backend;
        desk::RealClock clock;
        if (!eventually(
                [&] {
                    auto read = AXExtractor{6, 14, 48, 4000}.snapshot({browser.pid(), std::nullopt},
                                                                      backend, clock);
                    return read && desk::find(read.value(), "Count") != nullptr;
                },
                60)) {
            std::fprintf(stderr, "the page never read\n");
            return 2;
        }
    }

    std::filesystem::create_directories(home / "murmlark-ovra");
    std::ofstream(home / "murmlark-ovra/ai.qeld.murmlark-ovra.json")
        << R"({"hotkey": "ctrl-opt-space", "useModel": false, "sidebar": false})";
    setenv("XDG_CONFIG_HOME", home.path().c_str(), 1);
    const std::filesystem::path logFile = home / "log";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, logFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    char* appArgv[] = {const_cast<char*>(OVRA_APP), const_cast<char*>("--no-dashboard"), nullptr};
    pid_t app = 0;
    if (posix_spawn(&app, OVRA_APP, &actions, nullptr, appArgv, environ) != 0) {
        return 2;
    }
    posix_spawn_file_actions_destroy(&actions);
    const auto log = [&] { return desk::readText(logFile); };
    const auto quit = [&](int code) {
        kill(app, SIGTERM);
        waitpid(app, nullptr, 0);
        return code;
    };
    if (!eventually([&] { return log().find("opens the overlay") != std::string::npos; }, 20)) {
        std::fprintf(stderr, "the app did not start:\n%s\n", log().c_str());
        return quit(2);
    }

    // The app trusts what apps tell of their changes a second after it started listening:
    // until then a press waits as long as a browser may take to show a change.
    usleep(1'500'000);
    desk::TypedKeys keys(keyboard::KeyboardLayout::fromNames("us").value());
    const std::string label = field ? "Note" : "Count";
    const std::string told = field ? "focused " : "pressed ";
    std::vector<double> took;
    for (int i = 0; i < presses; ++i) {
        // The last overlay has faded and the page has the keyboard again.
        eventually([] { return !desk::overlayOnScreen(); }, 5);
        usleep(600'000);
        if (field && title().starts_with("focused")) {
            desk::xdotool("key shift+Tab");  // the keyboard back to the button before it
            eventually([&] { return title().starts_with("blurred"); }, 2);
        }
        keys.chord({desk::Keys::control, desk::Keys::alt, kSpace});
        const int number = desk::numberWhenShown(app, label);
        if (number < 1 || number > 9) {
            std::fprintf(stderr, "no highlight for %s:\n%s\n", label.c_str(), log().c_str());
            return quit(1);
        }
        keys.tap(kDigits[number - 1]);
        usleep(100'000);
        const std::string before = title();
        const double returned = wallMs();
        keys.tap(kReturn);
        std::string now;
        if (!eventually([&] { return (now = title()).starts_with(told) && now != before; }, 5)) {
            std::fprintf(stderr, "the page never said it (%s):\n%s\n", now.c_str(), log().c_str());
            return quit(1);
        }
        const double handled = std::atof(now.c_str() + now.find(" at ") + 4);
        took.push_back(handled - returned);
        std::printf("%s %s %d: %.0f ms\n", browserName.c_str(), label.c_str(), i + 1, took.back());
    }
    std::sort(took.begin(), took.end());
    const std::size_t half = took.size() / 2;
    const double median = took.size() % 2 ? took[half] : (took[half - 1] + took[half]) / 2;
    std::printf("%s %s: min %.0f / median %.0f / max %.0f ms over %d (load %.2f)\n",
                browserName.c_str(), label.c_str(), took.front(), median, took.back(), presses,
                loadAverage());
    return quit(0);
}
