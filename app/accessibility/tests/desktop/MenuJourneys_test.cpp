// Native menus and lists in real apps, read and pressed as the app reads and presses them: a Qt
// window's menu bar items and its button with a menu open their menus, whose first item then
// runs from the keyboard, and its plain button is pressed through its own action; a Qt tool
// button that opens its menu at once is clicked; GTK 3's menu bar (mousepad) is offered and its
// menu opens; GTK 4's menu button (gnome-calculator, and one of our own, labelled as it shows)
// opens its popover, and a GTK 4 menu bar item its menu. An app stopped as its menu opens is
// told "cannot tell" and opens it once, on its own, when resumed; one that quits is told it
// closed. A row of a GTK 3 tree is chosen through the tree's selection, one of a Qt 5 tree whose
// rows offer only "Toggle" by a click. Every press says "pressed" only where the app then shows
// it, and what the apps counted agrees.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <map>
#include <sstream>

#include "app/accessibility/AXExtractor.h"
#include "app/accessibility/ElementActions.h"
#include "app/accessibility/tests/desktop/OwnFixtures.h"
#include "platform/atspi/AtspiBackend.h"
#include "platform/input/XTestInputSynthesizer.h"
#include "platform/x11/X11Workspace.h"
#include "testing/Files.h"
#include "testing/desktop/Commands.h"
#include "testing/desktop/DesktopReading.h"
#include "testing/desktop/LaunchedApp.h"

namespace ovra {
namespace {

using testing::eventually;
using testing::find;
using testing::LaunchedApp;

class MenuJourneys : public ::testing::Test {
  protected:
    void SetUp() override {
        auto input = input::XTestInputSynthesizer::open();
        ASSERT_TRUE(input) << input.error();
        input_ = std::move(input).value();
        auto workspace = x11::Workspace::open();
        ASSERT_TRUE(workspace) << workspace.error();
        workspace_ = std::move(workspace).value();
    }

    // Starts the app on settings and data of its own (so that nothing another test left, such
    // as a session to restore, stands in its way) and waits until its window is the active one.
    void launch(const std::string& program, const std::vector<std::string>& args = {}) {
        char pattern[] = "/tmp/ovra-menus.XXXXXX";
        const std::string scratch = mkdtemp(pattern) ? pattern : "";
        ASSERT_FALSE(scratch.empty());
        std::vector<std::string> command{"env", "GSETTINGS_BACKEND=memory",
                                         "XDG_DATA_HOME=" + scratch, "XDG_CONFIG_HOME=" + scratch,
                                         program};
        command.insert(command.end(), args.begin(), args.end());
        app_ = LaunchedApp::start(command, scratch);
        ASSERT_TRUE(eventually(
            [&] {
                auto active = workspace_->activeWindow();
                window_ = active && active->pid == app_.pid() ? active->window : 0;
                return window_ != 0;
            },
            30))
            << "the app's window never became active";
    }

    std::string title() {
        const auto windows = workspace_->windowsOf(app_.pid());
        return windows.empty() ? std::string() : windows.front().title;
    }

    // The counters in the window's title ("Menus ; file=0 edit=0 tools=0 plain=0").
    std::map<std::string, int> counts() {
        std::map<std::string, int> out;
        const std::string text = title();
        std::istringstream words(text.substr(std::min(text.find(';'), text.size())));
        for (std::string word; words >> word;) {
            if (const auto eq = word.find('='); eq != std::string::npos) {
                out[word.substr(0, eq)] = std::atoi(word.c_str() + eq + 1);
            }
        }
        return out;
    }
    int countBecomes(const std::string& name, int value) {
        eventually([&] { return counts()[name] == value; }, 5);
        return counts()[name];
    }

    WindowSnapshot read(const std::function<bool(const WindowSnapshot&)>& ready) {
        WindowSnapshot last;
        EXPECT_TRUE(eventually(
            [&] {
                auto s = extractor_.snapshot({app_.pid(), std::nullopt}, backend_, clock_);
                last = s ? std::move(s).value() : WindowSnapshot{};
                return s && ready(last);
            },
            30))
            << testing::dump(last);
        return last;
    }
    // The window once it offers every one of `labels`, each of `role` when one is given.
    WindowSnapshot readOffering(const std::vector<std::string>& labels,
                                const char* role = nullptr) {
        return read([&](const WindowSnapshot& s) {
            return std::all_of(labels.begin(), labels.end(), [&](const std::string& label) {
                const UICandidate* c = find(s, label);
                return c != nullptr && (role == nullptr || c->role == role);
            });
        });
    }

    // What the press of `label` as `reading` offered it says: its route, or why not. Without
    // `window`, the press knows no window to click in.
    std::string press(const WindowSnapshot& reading, const std::string& label, bool window = true) {
        const UICandidate* chosen = find(reading, label);
        if (chosen == nullptr) {
            ADD_FAILURE() << label << " was not offered";
            return "not offered";
        }
        // As the app presses: with a fresh reading for a control the look cannot place.
        const PressRequest request{
            *chosen,
            reading.elements.at(chosen->id),
            reading.app,
            reading.windowFrame,
            reading.viewport,
            window ? std::optional(window_) : std::nullopt,
            reading.windowElement,
            [&]() -> std::optional<WindowSnapshot> {
                auto again = extractor_.snapshot(reading.app, backend_, clock_);
                return again ? std::optional(std::move(again).value()) : std::nullopt;
            }};
        const PressOutcome outcome = AXActions(backend_, *input_).press(request);
        return std::string(outcome.route ? rawValue(*outcome.route) : rawValue(*outcome.failure));
    }

    atspi::AtspiBackend backend_;
    testing::RealClock clock_;
    std::unique_ptr<input::XTestInputSynthesizer> input_;
    std::unique_ptr<x11::Workspace> workspace_;
    AXExtractor extractor_{6, 150, 48, 4000};
    LaunchedApp app_;
    input::WindowId window_ = 0;
};

TEST_F(MenuJourneys, QtMenuBarItemAndMenuButtonOpenTheirMenusAndThePlainButtonPresses) {
    ASSERT_NO_FATAL_FAILURE(launch(OVRA_MENU_WINDOW));
    readOffering({"File", "Edit"}, "AXMenuItem");
    const WindowSnapshot s = readOffering({"Tools", "Plain"}, "AXButton");
    for (const auto& [label, counter] : {std::pair{"File", "file"}, {"Tools", "tools"}}) {
        SCOPED_TRACE(label);
        EXPECT_EQ(press(s, label), "pressed");
        // The open menu takes the keys: its first item runs.
        ASSERT_TRUE(testing::xdotool("key Down Return"));
        EXPECT_EQ(countBecomes(counter, 1), 1) << title();
    }
    EXPECT_EQ(press(s, "Plain"), "pressed");
    EXPECT_EQ(countBecomes("plain", 1), 1) << title();
    EXPECT_EQ(counts()["edit"], 0) << title();
}

TEST_F(MenuJourneys, Gtk3MenuBarIsOfferedAndItsMenuOpens) {
    ASSERT_NO_FATAL_FAILURE(launch("mousepad"));
    const WindowSnapshot s =
        readOffering({"File", "Edit", "Search", "View", "Document", "Help"}, "AXMenuItem");
    EXPECT_EQ(press(s, "File"), "pressed");
    // The open menu holds the keyboard with its first item, New, chosen.
    ASSERT_TRUE(testing::xdotool("key Return"));
    EXPECT_TRUE(eventually([&] { return title().starts_with("Untitled 2"); }, 10)) << title();
}

TEST_F(MenuJourneys, Gtk4MenuButtonOpensItsPopover) {
    ASSERT_NO_FATAL_FAILURE(launch("gnome-calculator"));
    // Labelled as it shows: the mode it is in.
    const WindowSnapshot s = readOffering({"Basic", "7"});
    EXPECT_EQ(press(s, "Basic"), "pressed");
    // The popover takes the keys: the mode after Basic comes with keys of its own.
    ASSERT_TRUE(testing::xdotool("key Down Return"));
    readOffering({"Subscript mode [Alt]"});
}

TEST_F(MenuJourneys, QtAppStoppedAsItsMenuOpensIsToldCannotTellAndOpensItOnceResumed) {
    ASSERT_NO_FATAL_FAILURE(launch(OVRA_MENU_WINDOW));
    const WindowSnapshot s = readOffering({"Stall", "Tools"}, "AXButton");
    // The app stops itself once it has the press, before its menu shows.
    EXPECT_EQ(press(s, "Stall"), "unsure");
    app_.signal(SIGCONT);
    EXPECT_EQ(countBecomes("stall", 1), 1) << title();
    ASSERT_TRUE(testing::xdotool("key Escape"));
    // Read again (a round trip the app answers after anything it had queued): still once.
    readOffering({"Stall", "Tools"}, "AXButton");
    EXPECT_EQ(counts()["stall"], 1) << title();
    // The ordinary counterpart: the same app, answering, pressed and told so.
    EXPECT_EQ(press(s, "Plain"), "pressed");
    EXPECT_EQ(countBecomes("plain", 1), 1) << title();
}

TEST_F(MenuJourneys, QtAppThatQuitsAsItsMenuOpensIsToldItClosed) {
    ASSERT_NO_FATAL_FAILURE(launch(OVRA_MENU_WINDOW));
    const WindowSnapshot s = readOffering({"Leave"}, "AXButton");
    EXPECT_EQ(press(s, "Leave"), "app closed");
    EXPECT_FALSE(app_.running());
}

TEST_F(MenuJourneys, QtToolButtonOpeningItsMenuAtOnceIsClickedOpen) {
    ASSERT_NO_FATAL_FAILURE(launch(OVRA_MENU_WINDOW));
    const WindowSnapshot s = readOffering({"Views"}, "AXButton");
    EXPECT_EQ(press(s, "Views"), "clicked");
    ASSERT_TRUE(testing::xdotool("key Down Return"));
    EXPECT_EQ(countBecomes("views", 1), 1) << title();
    EXPECT_EQ(counts()["tools"], 0) << title();
}

TEST_F(MenuJourneys, Gtk4MenuButtonIsLabelledAndItsMenuBarItemOpens) {
    ASSERT_NO_FATAL_FAILURE(launch(testing::ownFixture("menus_gtk4.py")));
    const WindowSnapshot s = readOffering({"Options", "File", "Edit"});
    EXPECT_EQ(find(s, "Options")->role, "AXButton");
    // The menu bar item has no action: a click opens its menu. (First: GTK 4's frames are placed
    // by the window's title, which the counts then change.)
    EXPECT_EQ(press(s, "File"), "clicked");
    EXPECT_EQ(countBecomes("filemenu", 1), 1) << title();
    ASSERT_TRUE(testing::xdotool("key Escape"));
    EXPECT_EQ(press(readOffering({"Options"}), "Options"), "pressed");
    EXPECT_EQ(countBecomes("optionsmenu", 1), 1) << title();
    EXPECT_EQ(counts()["filemenu"], 1) << title();
}

// The rows chosen, in order, as the window title tells them ("Places ; chose Music"): a click
// chooses a row as a person does; where none can be made, the tree's selection does, which need
// not do all a click does (cannot tell).
TEST_F(MenuJourneys, Gtk3TreeRowIsChosenByAClickOrTheTreesSelection) {
    ASSERT_NO_FATAL_FAILURE(launch(testing::ownFixture("places_tree.py")));
    const WindowSnapshot s = readOffering({"Documents", "Music"});
    EXPECT_EQ(press(s, "Music"), "clicked");
    EXPECT_TRUE(eventually([&] { return title() == "Places ; chose Music"; }, 5)) << title();
    EXPECT_EQ(press(s, "Documents", false), "unsure");
    EXPECT_TRUE(eventually([&] { return title() == "Places ; chose Music ; chose Documents"; }, 5))
        << title();
}

// Thunar on a folder of 2,000 files, in its detailed list: a file's row (a cell drawn as an icon
// and a name, in a notebook page GTK 3 gives no frame) is clicked and the file selected, which
// its rename dialog then names. Its side pane, a GTK 3 tree whose cells ignore "activate", offers
// each place once, and the place clicked opens.
TEST_F(MenuJourneys, ThunarFileIsSelectedAndSidePanePlaceOpens) {
    const testing::ScratchFolder scratch("files");
    const std::string folder = scratch.string();
    ASSERT_FALSE(folder.empty());
    for (int i = 1; i <= 2000; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/file-%04d.txt", i);
        std::ofstream(folder + name) << i << "\n";
    }
    ASSERT_NO_FATAL_FAILURE(launch("thunar", {folder}));
    ASSERT_TRUE(eventually(
        [&] {
            return testing::xdotool("search --onlyvisible --pid " + std::to_string(app_.pid()) +
                                    " --name ovra-files windowmove 0 0 windowsize 1000 800");
        },
        30));
    // The detailed list (the keys go again until it shows: one sent too early is lost).
    WindowSnapshot s;
    for (int attempt = 0; attempt < 5 && find(s, "file-0003.txt") == nullptr; ++attempt) {
        testing::xdotool("key --clearmodifiers ctrl+2 Home");
        eventually(
            [&] {
                auto again = extractor_.snapshot({app_.pid(), std::nullopt}, backend_, clock_);
                s = again ? std::move(again).value() : WindowSnapshot{};
                return find(s, "file-0003.txt") != nullptr && find(s, "File System") != nullptr;
            },
            10);
    }
    SCOPED_TRACE(testing::dump(s));
    EXPECT_EQ(press(s, "file-0003.txt"), "clicked");
    ASSERT_TRUE(testing::xdotool("key F2"));
    EXPECT_TRUE(eventually(
        [&] {
            const auto windows = workspace_->windowsOf(app_.pid());
            return std::any_of(windows.begin(), windows.end(), [](const auto& w) {
                return w.title.find("file-0003.txt") != std::string::npos;
            });
        },
        10))
        << "no rename dialog names the file";
    ASSERT_TRUE(testing::xdotool("key Escape"));

    EXPECT_EQ(std::count_if(s.candidates.begin(), s.candidates.end(),
                            [](const UICandidate& c) { return c.label() == "File System"; }),
              1);
    EXPECT_EQ(press(s, "File System"), "clicked");
    EXPECT_TRUE(eventually([&] { return title().starts_with("File System"); }, 10)) << title();
}

// The row's own click handler runs as a person's click runs it, each time.
TEST_F(MenuJourneys, Qt5TreeRowOfferingOnlyToggleIsClickedAndChosen) {
    ASSERT_NO_FATAL_FAILURE(launch(testing::ownFixture("places_list.py")));
    std::string shown = "Media places";
    for (const char* label : {"My Music", "My Videos", "Network", "My Music"}) {
        SCOPED_TRACE(label);
        EXPECT_EQ(press(readOffering({label}), label), "clicked");
        shown += std::string(" ; chose ") + label + " ; clicked " + label;
        EXPECT_TRUE(eventually([&] { return title() == shown; }, 5)) << title();
        shown = title();  // each press judged on its own
    }
}

// A Qt 5 toolbar's checkable buttons (check boxes to AT-SPI, offering only "Toggle") open their
// pages as a click on them does; their toggle alone would flip them and open nothing.
TEST_F(MenuJourneys, Qt5ToolbarCheckableButtonIsClickedAndOpensItsPage) {
    ASSERT_NO_FATAL_FAILURE(launch(testing::ownFixture("toolbar_pages.py")));
    std::string shown = "Vault";
    for (const char* label : {"Settings", "Password Generator"}) {
        SCOPED_TRACE(label);
        EXPECT_EQ(press(readOffering({label}), label), "clicked");
        shown += std::string(" ; opened ") + label;
        EXPECT_TRUE(eventually([&] { return title() == shown; }, 5)) << title();
        shown = title();
    }
}

}  // namespace
}  // namespace ovra
