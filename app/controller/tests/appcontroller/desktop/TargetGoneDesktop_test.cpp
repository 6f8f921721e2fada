// The app on a real desktop over a large Chromium page whose browser goes wrong under it: killed
// while the overlay shows its plan, or while the page is read, the overlay closes at once and
// says that the browser has closed, also while its parent has not yet waited for it; paused in the
// middle of readings (and resumed), the app gives the browser up, says it does not respond, and
// reads it whole again once it answers. Run in the sanitizer build too, where the app's log must
// hold no sanitizer report.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include "app/controller/tests/appcontroller/desktop/AppProcess.h"
#include "testing/Files.h"
#include "testing/desktop/Commands.h"
#include "testing/desktop/LaunchedApp.h"

namespace ovra {
namespace {

using testing::eventually;

constexpr const char* kClosed = "has closed, so Ovra closed. Nothing was pressed.";

class TargetGoneDesktop : public ::testing::Test {
  protected:
    void SetUp() override {
        // A page of a few thousand nodes: its first reading takes a while.
        page_ = home_ / "page.html";
        std::ofstream out(page_);
        out << "<!DOCTYPE html><html><head><meta charset=utf-8><title>Big</title><style>"
               "body{margin:0;font:7px sans-serif;display:grid;"
               "grid-template-columns:repeat(40,1fr)}div{height:14px;overflow:hidden}</style>"
               "</head><body>\n";
        for (int i = 0; i < 2500; ++i) {
            out << "<div><a href=\"#c" << i << "\">L" << i << "</a><b>t" << i << "</b></div>\n";
        }
        out << "</body></html>\n";
        testing::useSettings(
            home_.path(), R"({"hotkey": "ctrl-opt-space", "useModel": false, "sidebar": false})");
    }
    void TearDown() override {
        browser_.signal(SIGCONT);
        if (app_ > 0) {
            kill(app_, SIGTERM);
            waitpid(app_, nullptr, 0);
        }
        browser_.stop();
        // Whatever the sanitizers found, wherever the test stopped.
        const std::string all = log();
        for (const char* report : {"AddressSanitizer", "LeakSanitizer", "ThreadSanitizer",
                                   "runtime error:", "main thread blocked"}) {
            EXPECT_EQ(all.find(report), std::string::npos) << all;
        }
    }

    // Chromium on the page (or on `url`), once its window is up and titled by the page
    // (`title`): the page is in.
    void launchBrowser(const std::string& url = {}, const std::string& title = "Big") {
        browser_ = testing::LaunchedApp::chromium(url.empty() ? "file://" + page_.string() : url);
        ASSERT_TRUE(eventually(
            [&] {
                return testing::xdotool("search --onlyvisible --pid " +
                                        std::to_string(browser_.pid()) + " --name '^" + title +
                                        "' >/dev/null");
            },
            45));
    }
    void startApp() { testing::spawnApp(app_, home_ / "log", 60); }
    std::string log() const { return testing::readText(home_ / "log"); }
    std::size_t logged(const std::string& text) const { return testing::occurrences(log(), text); }
    bool appRuns() const { return app_ > 0 && waitpid(app_, nullptr, WNOHANG) == 0; }
    static bool overlayMapped() { return testing::overlayOnScreen(); }
    // The hotkey, once the overlay of the request shows (loading or with its plan).
    static bool hotkey() {
        return testing::xdotool("key ctrl+alt+space") && eventually(overlayMapped, 15);
    }
    void killBrowser() {
        browser_.signal(SIGKILL);
        ASSERT_TRUE(browser_.exitCode(10));
    }

    testing::ScratchFolder home_{"target-gone"};
    std::filesystem::path page_;
    testing::LaunchedApp browser_;
    pid_t app_ = 0;
};

TEST_F(TargetGoneDesktop, AKilledBrowserClosesTheOverlayWithItsNotice) {
    launchBrowser();
    startApp();
    // Killed while its page is read.
    ASSERT_TRUE(hotkey()) << log();
    killBrowser();
    EXPECT_TRUE(eventually([&] { return logged(kClosed) == 1; }, 10)) << log();
    EXPECT_TRUE(eventually([] { return !overlayMapped(); }, 5));

    // Killed while the overlay shows the page's plan: nothing of it stays on screen.
    launchBrowser();
    const std::size_t plans = logged("Ovra press:");
    ASSERT_TRUE(hotkey()) << log();
    ASSERT_TRUE(eventually([&] { return logged("Ovra press:") > plans; }, 20)) << log();
    killBrowser();
    EXPECT_TRUE(eventually([&] { return logged(kClosed) == 2; }, 10)) << log();
    EXPECT_TRUE(eventually([] { return !overlayMapped(); }, 5));
    EXPECT_TRUE(appRuns());
}

TEST_F(TargetGoneDesktop, AKilledBrowserIsGoneAtOnceWhileItsParentHasNotWaitedForIt) {
    // The test is the browser's parent, and waits for it only at the end: a zombie till then.
    launchBrowser(testing::fixtureUrl("signup.html"), "Create your account");
    startApp();
    const std::size_t plans = logged("Ovra press:");
    ASSERT_TRUE(hotkey()) << log();
    ASSERT_TRUE(eventually([&] { return logged("Ovra press:") > plans; }, 20)) << log();
    browser_.signal(SIGKILL);
    EXPECT_TRUE(eventually([] { return !overlayMapped(); }, 10)) << log();
    EXPECT_TRUE(eventually([&] { return logged(kClosed) == 1; }, 10)) << log();
    EXPECT_FALSE(browser_.running());
    EXPECT_TRUE(appRuns());
}

TEST_F(TargetGoneDesktop, ABrowserPausedMidReadingIsGivenUpAndReadAgainOnceResumed) {
    launchBrowser();
    startApp();
    for (const int pauseAfterMs : {0, 150, 400}) {
        SCOPED_TRACE(pauseAfterMs);
        const std::size_t messages = logged("Ovra message:") + logged("Ovra press:");
        ASSERT_TRUE(hotkey()) << log();
        usleep(static_cast<useconds_t>(pauseAfterMs) * 1000);
        browser_.signal(SIGSTOP);
        EXPECT_TRUE(eventually(
            [&] { return logged("Ovra message:") + logged("Ovra press:") > messages; }, 15))
            << log();
        ASSERT_TRUE(testing::xdotool("key Escape"));
        EXPECT_TRUE(eventually([] { return !overlayMapped(); }, 5));
        browser_.signal(SIGCONT);
        usleep(500'000);
    }
    EXPECT_GE(logged("the app was given up") + logged("not responding"), 1u) << log();

    // Answering again: a whole plan.
    const std::size_t plans = logged("Ovra press:");
    EXPECT_TRUE(eventually(
        [&] {
            const bool planned =
                hotkey() && eventually([&] { return logged("Ovra press:") > plans; }, 8);
            testing::xdotool("key Escape");
            eventually([] { return !overlayMapped(); }, 5);
            return planned;
        },
        40))
        << log();
    EXPECT_TRUE(appRuns()) << log();
}

}  // namespace
}  // namespace ovra
