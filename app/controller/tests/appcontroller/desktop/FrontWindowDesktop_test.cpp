// The app over an app of several windows, as a person meets one: two copies of one dialog of one
// size, the second opened over the first, where the copy in front is the one pressed (a Qt 6 and
// a GTK 3 app of our own, each printing which copy ran); one such dialog pressed as usual; and a
// GTK 3 app whose modal dialog waits for an answer while another of its windows is brought
// forward, where a click does nothing: that window offers nothing, nothing is pressed behind the
// dialog, and the user is told which dialog waits. Two windows of one browser at one spot: a press
// in the one in front never brings the other forward.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/controller/tests/appcontroller/desktop/AppProcess.h"
#include "app/controller/tests/appcontroller/desktop/OverlayRings.h"
#include "platform/x11/X11Workspace.h"
#include "testing/desktop/LaunchedApp.h"
#include "testing/desktop/ObjectsOf.h"
#include "testing/desktop/OrcaListener.h"
#include "testing/desktop/PipedProgram.h"
#include "testing/desktop/PrivateSpeech.h"
#include "testing/desktop/Screenshot.h"

namespace ovra {
namespace {

using testing::eventually;

// The app of ours, started over the window in front of `fixture`.
class FrontWindowJourney {
  public:
    // `settings`: more settings, each after a comma.
    explicit FrontWindowJourney(const std::string& name, const std::string& settings = "")
        : home_(name) {
        testing::useSettings(home_.path(), R"({"hotkey": "ctrl-opt-space", "useModel": false,
                                              "sidebar": false)" +
                                               settings + "}");
    }
    ~FrontWindowJourney() {
        if (app_ > 0) {
            kill(app_, SIGTERM);
            waitpid(app_, nullptr, 0);
        }
    }
    const testing::ScratchFolder& home() const { return home_; }

    void start() { testing::spawnApp(app_, home_ / "log", 20); }
    std::string log() const { return testing::readText(home_ / "log"); }
    std::vector<testing::Highlight> highlights() const { return testing::highlightsOf(app_); }
    // Whether the overlay holds `text` as text, where a screen reader's review finds it.
    bool showsText(const std::string& text) const {
        const auto texts = testing::labelTexts(app_);
        return std::find(texts.begin(), texts.end(), text) != texts.end();
    }
    // Opens the overlay until it numbers a control labelled `label`.
    std::vector<testing::Highlight> openOver(const std::string& label) {
        std::vector<testing::Highlight> shown;
        for (int attempt = 0; attempt < 2 && !testing::highlightFor(shown, label); ++attempt) {
            EXPECT_TRUE(testing::xdotool("key ctrl+alt+space"));
            eventually(
                [&] {
                    shown = testing::highlightsOf(app_);
                    return testing::highlightFor(shown, label) != nullptr;
                },
                10);
        }
        return shown;
    }

  private:
    testing::ScratchFolder home_;
    pid_t app_ = 0;
};

// The active window once it is one of `pid` titled `title`, waited for; 0 when none came.
std::uint32_t activeWindowOf(pid_t pid, const std::string& title) {
    auto workspace = x11::Workspace::open();
    if (!workspace) {
        return 0;
    }
    std::uint32_t window = 0;
    eventually([&] {
        const auto front = workspace.value()->activeWindow();
        window = front && front->pid == pid && front->title == title ? front->window : 0;
        return window != 0;
    });
    return window;
}

std::uint32_t activeWindow() {
    auto workspace = x11::Workspace::open();
    const auto front = workspace ? workspace.value()->activeWindow() : std::nullopt;
    return front ? front->window : 0;
}

// Two copies of a dialog one over the other: the button of the copy in front runs, as the app's
// own output tells, never the one behind, which is not brought forward either; one dialog alone
// is pressed as usual.
TEST(FrontWindowDesktop, OfTwoEqualDialogsTheFrontOneIsPressed) {
    const struct {
        const char* what;
        std::vector<std::string> argv;
        const char* pressed;  // what the app prints for the front copy's "Apply"
    } cases[] = {
        {"Qt 6, two copies", {OVRA_QT_TWIN_DIALOGS, "twins"}, "copy 2: Apply"},
        {"GTK 3, two copies",
         {"/usr/bin/python3", OVRA_GTK_TWIN_DIALOGS, "twins"},
         "copy 2: Apply"},
        {"Qt 6, one dialog", {OVRA_QT_TWIN_DIALOGS, "single"}, "copy 1: Apply"},
        {"GTK 3, one dialog",
         {"/usr/bin/python3", OVRA_GTK_TWIN_DIALOGS, "single"},
         "copy 1: Apply"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FrontWindowJourney journey("front-window");
        testing::PipedProgram dialogs(c.argv, journey.home() / "dialogs");
        ASSERT_TRUE(dialogs.said("ready")) << dialogs.output();
        const std::uint32_t front = activeWindowOf(dialogs.pid(), "Rename");
        ASSERT_NE(front, 0U);
        journey.start();
        const auto shown = journey.openOver("Apply");
        const testing::Highlight* apply = testing::highlightFor(shown, "Apply");
        ASSERT_NE(apply, nullptr) << journey.log();
        ASSERT_TRUE(testing::xdotool("key " + apply->digits() + " Return"));
        EXPECT_TRUE(dialogs.said(c.pressed, 10)) << dialogs.output() << journey.log();
        EXPECT_TRUE(eventually(
            [&] { return journey.log().find("Ovra pressed \"Apply\"") != std::string::npos; }, 10))
            << journey.log();
        // Nothing else ran: the copy behind kept still, and stayed behind.
        EXPECT_EQ(testing::occurrences(dialogs.output(), ": Apply"), 1U) << dialogs.output();
        EXPECT_EQ(activeWindow(), front);
    }
}

// Two windows of one browser at one spot, the older in front, its page putting up a cover as it
// loses the keyboard: the press, whatever its outcome, leaves the window read in front, and so
// does the Escape after it; the window behind never comes forward.
TEST(FrontWindowDesktop, OfTwoBrowserWindowsAtOneSpotThePressedOneStaysInFront) {
    FrontWindowJourney journey("two-browser-windows");
    const std::string page = std::string("file://") + OVRA_LANDING_PAGE;
    testing::LaunchedApp browser = testing::LaunchedApp::chromium(page + "?first");
    auto workspace = x11::Workspace::open();
    ASSERT_TRUE(workspace);
    const auto windows = [&] { return workspace.value()->windowsOf(browser.pid()); };
    ASSERT_TRUE(eventually([&] { return windows().size() == 1; }, 60));
    const std::uint32_t first = windows().front().window;
    ASSERT_TRUE(testing::xdotool("key --window " + std::to_string(first) + " ctrl+n"));
    ASSERT_TRUE(eventually([&] { return windows().size() == 2; }, 30));
    const std::uint32_t second =
        windows().front().window == first ? windows().back().window : windows().front().window;
    // Chromium brings its new window forward once it has made it, on a loaded machine well after
    // the window shows: the address is typed into it then (again, where its address bar did not
    // take it), and the page is in it before the first window is brought back.
    const auto secondShowsThePage = [&] {
        const auto all = windows();
        return activeWindow() == second && std::any_of(all.begin(), all.end(), [&](const auto& w) {
                   return w.window == second && w.title == "declined 0 accepted 0 - Chromium";
               });
    };
    if (!eventually([&] { return activeWindow() == second; }, 10)) {
        ASSERT_TRUE(testing::xdotool("windowactivate --sync " + std::to_string(second)));
    }
    for (int attempt = 0; attempt < 3 && !secondShowsThePage(); ++attempt) {
        ASSERT_TRUE(testing::xdotool("key ctrl+l sleep 0.5 type '" + page + "?second'"));
        ASSERT_TRUE(testing::xdotool("key Return"));
        eventually(secondShowsThePage, 10);
    }
    ASSERT_TRUE(secondShowsThePage());
    // At one spot, the one behind a little smaller: not copies of one window.
    for (const auto& window : windows()) {
        const std::string id = std::to_string(window.window);
        const std::string size = window.window == first ? " 1200 900" : " 1100 850";
        ASSERT_TRUE(testing::xdotool("windowmove " + id + " 0 0 windowsize " + id + size));
    }
    ASSERT_TRUE(testing::xdotool("windowactivate --sync " + std::to_string(first)));
    ASSERT_EQ(activeWindowOf(browser.pid(), "declined 0 accepted 0 - Chromium"), first);
    journey.start();
    // The page takes its mode from a typed letter; on a loaded machine a key typed as the
    // window comes forward may go astray, and a person types it again.
    const auto typedMode = [&] {
        return activeWindowOf(browser.pid(), "declined 0 accepted 0 c - Chromium") == first;
    };
    for (int attempt = 0; attempt < 3 && (attempt == 0 || !typedMode()); ++attempt) {
        ASSERT_TRUE(testing::xdotool("windowactivate --sync " + std::to_string(first) + " type c"));
    }
    // Where the key went, when not to the page.
    ASSERT_TRUE(typedMode()) << "in front: "
                             << testing::output("xdotool getactivewindow getwindowname")
                             << journey.log();
    // A page just loaded may not be read whole yet: a person looks again.
    std::vector<testing::Highlight> shown;
    for (int attempt = 0; attempt < 3 && !testing::highlightFor(shown, "Decline all"); ++attempt) {
        if (attempt > 0) {
            ASSERT_TRUE(testing::xdotool("key Escape sleep 0.7"));
        }
        ASSERT_TRUE(testing::xdotool("key ctrl+alt+space"));
        eventually(
            [&] {
                shown = journey.highlights();
                return testing::highlightFor(shown, "Decline all") != nullptr;
            },
            20);
    }
    const testing::Highlight* decline = testing::highlightFor(shown, "Decline all");
    ASSERT_NE(decline, nullptr) << journey.log();
    usleep(1'500'000);  // the cover is up
    ASSERT_TRUE(testing::xdotool("key " + decline->digits() + " Return"));
    EXPECT_TRUE(eventually([&] {
        const std::string log = journey.log();
        return log.find("Ovra pressed \"Decline all\"") != std::string::npos ||
               log.find("Ovra did not press \"Decline all\"") != std::string::npos ||
               log.find("Ovra cannot tell") != std::string::npos;
    })) << journey.log();
    // (No window is active while the overlay shows again with why nothing was pressed.)
    for (int look = 0; look < 10; ++look) {
        usleep(100'000);
        EXPECT_NE(activeWindow(), second) << journey.log();
    }
    ASSERT_TRUE(testing::xdotool("key Escape"));
    EXPECT_TRUE(eventually([&] { return activeWindow() == first; }, 5)) << journey.log();
    usleep(500'000);
    EXPECT_EQ(activeWindow(), first) << journey.log();
}

// A GTK 3 app-modal dialog waits for an answer while the app's other window is in front: that
// window offers nothing, the user hears which dialog waits (once by the app's voice, or once from
// Orca when it runs, and finds it as text in the overlay), a press typed anyway presses nothing
// behind it, and after Escape Orca says the window the keyboard is back in.
TEST(FrontWindowDesktop, AWindowItsAppsModalDialogWaitsForOffersNothing) {
    FrontWindowJourney journey("modal-window", R"(, "speak": true)");
    testing::PrivateSpeech speech(journey.home() / "speech", testing::PrivateSpeech::Recorder{});
    ASSERT_TRUE(speech.started());
    testing::PipedProgram notes({"/usr/bin/python3", OVRA_GTK_TWIN_DIALOGS, "modal"},
                                journey.home() / "notes");
    ASSERT_TRUE(notes.said("ready")) << notes.output();
    ASSERT_NE(activeWindowOf(notes.pid(), "Other"), 0U);
    journey.start();
    const std::string waiting =
        "This app is waiting for “Save changes?” to be answered, so nothing can be pressed in "
        "this window.";
    // The overlay says why, or (were the window read) numbers its button.
    std::vector<testing::Highlight> shown;
    const auto answered = [&] {
        shown = journey.highlights();
        return journey.log().find(waiting) != std::string::npos ||
               testing::highlightFor(shown, "Refresh") != nullptr;
    };
    for (int attempt = 0; attempt < 2 && !answered(); ++attempt) {
        ASSERT_TRUE(testing::xdotool("key ctrl+alt+space"));
        eventually(answered, 10);
    }
    testing::screenshot("modal-window");
    EXPECT_NE(journey.log().find("Ovra message: " + waiting), std::string::npos) << journey.log();
    const testing::Highlight* refresh = testing::highlightFor(shown, "Refresh");
    EXPECT_EQ(refresh, nullptr);
    // A number and Return typed anyway press nothing behind the dialog.
    ASSERT_TRUE(testing::xdotool("key " + (refresh ? refresh->digits() : "1") + " Return"));
    EXPECT_FALSE(notes.said("other: Refresh", 3)) << notes.output();
    EXPECT_EQ(notes.output().find("notes: "), std::string::npos) << notes.output();
    EXPECT_EQ(journey.log().find("Ovra pressed"), std::string::npos) << journey.log();

    // Told as every sentence of the overlay is: spoken once by the app's own voice, and text in
    // the overlay while it shows; with a screen reader running, announced to it once instead.
    EXPECT_TRUE(journey.showsText(waiting));
    EXPECT_TRUE(eventually([&] { return testing::occurrences(speech.spoken(), waiting) == 1; }))
        << speech.spoken();
    ASSERT_TRUE(testing::xdotool("key Escape"));
    ASSERT_TRUE(eventually([] { return !testing::overlayOnScreen(); }, 5));
    testing::OrcaListener orca(journey.home() / "orca");
    ASSERT_TRUE(orca.started());
    // The app sees a screen reader that has just started from its next sentence on: the card
    // is shown twice, and the second time the app's voice is silent.
    std::size_t spoken = 0;
    for (int round = 0; round < 2; ++round) {
        spoken = testing::occurrences(speech.spoken(), waiting);
        const std::size_t cards = testing::occurrences(journey.log(), "Ovra message: " + waiting);
        ASSERT_TRUE(testing::xdotool("key ctrl+alt+space"));
        ASSERT_TRUE(eventually([&] {
            return testing::occurrences(journey.log(), "Ovra message: " + waiting) > cards;
        }));
        usleep(2'000'000);  // Orca hears of it
        ASSERT_TRUE(testing::xdotool("key Escape"));
        usleep(2'000'000);
    }
    const std::string heard = orca.stopAndRead();
    EXPECT_EQ(testing::occurrences(heard, "notification " + waiting), 2U) << heard;
    EXPECT_EQ(testing::occurrences(speech.spoken(), waiting), spoken) << speech.spoken();
    // Escape: the keyboard is back with the window, which Orca says.
    const std::size_t last = heard.rfind("notification ");
    EXPECT_THAT(heard.substr(last == std::string::npos ? 0 : last),
                ::testing::HasSubstr("Other frame"))
        << heard;
}

// The same dialog opened while the overlay shows the other window's button: the press chosen
// then is refused, naming the dialog, and nothing behind it runs.
TEST(FrontWindowDesktop, APressBehindADialogThatOpenedMeanwhileIsRefused) {
    FrontWindowJourney journey("modal-later");
    testing::PipedProgram notes({"/usr/bin/python3", OVRA_GTK_TWIN_DIALOGS, "later"},
                                journey.home() / "notes");
    ASSERT_TRUE(notes.said("ready")) << notes.output();
    ASSERT_NE(activeWindowOf(notes.pid(), "Other"), 0U);
    journey.start();
    const auto shown = journey.openOver("Refresh");
    const testing::Highlight* refresh = testing::highlightFor(shown, "Refresh");
    ASSERT_NE(refresh, nullptr) << journey.log();
    notes.send("ask");
    ASSERT_TRUE(notes.said("asked")) << notes.output();
    ASSERT_TRUE(testing::xdotool("key " + refresh->digits() + " Return"));
    EXPECT_TRUE(eventually(
        [&] {
            return journey.log().find(
                       "Ovra did not press \"Refresh\": a dialog of the app "
                       "waits for an answer") != std::string::npos;
        },
        10))
        << journey.log();
    EXPECT_FALSE(notes.said("other: Refresh", 2)) << notes.output();
    EXPECT_TRUE(eventually([&] {
        return journey.log().find("This app is waiting for “Save changes?” to be answered") !=
               std::string::npos;
    })) << journey.log();
}

}  // namespace
}  // namespace ovra
