// The settings window on the virtual desktop, driven by keys only as a person types them:
// through every pane, a setting changed in each, the confirm dialog (drawn on screen, with and
// without a compositing manager), Ctrl+, and Esc, read back from the settings file; an instruction
// read aloud through a real speech-dispatcher and stopped with the key; Tab out of every pane's
// sidebar entry, the empty one too; and the window read over AT-SPI, which names every stop with
// its role.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QColor>
#include <QImage>
#include <QRect>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "core/Json.h"
#include "platform/x11/X11Workspace.h"
#include "testing/Files.h"
#include "testing/desktop/Commands.h"
#include "testing/desktop/OwnWindowAudit.h"
#include "testing/desktop/PipedProgram.h"
#include "testing/desktop/PrivateSpeech.h"
#include "testing/desktop/Screenshot.h"
#include "testing/desktop/TypedKeys.h"

namespace ovra {
namespace {

namespace fs = std::filesystem;
using ::testing::Contains;
using ::testing::HasSubstr;

class SettingsDesktop : public ::testing::Test {
  protected:
    // The settings file the launcher starts with.
    explicit SettingsDesktop(std::string settings = R"({"overrides": {"app|AXButton|One": "pin",
                                                       "app|AXButton|Two": "mute"}})")
        : settings_(std::move(settings)) {}
    void SetUp() override {
        ASSERT_EQ(std::system("setxkbmap us"), 0);
        dir_ = fs::path(std::getenv("XDG_RUNTIME_DIR")) / "ovra-settings-test";
        fs::remove_all(dir_);
        fs::create_directories(dir_ / "config" / "murmlark-ovra");
        speech_ = std::make_unique<testing::PrivateSpeech>(
            dir_ / "speech", testing::PrivateSpeech::Recorder{.secondsPerText = 1});
        ASSERT_TRUE(speech_->started());
        std::ofstream(settingsFile()) << settings_;
        auto layout = keyboard::KeyboardLayout::fromNames("us");
        ASSERT_TRUE(layout.ok());
        keys_ = std::make_unique<testing::TypedKeys>(std::move(layout).value());
        ::setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
        ::setenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1", 1);
        ::setenv("LANG", "C.UTF-8", 1);
        for (const char* locale : {"LC_ALL", "LC_MESSAGES", "LC_NUMERIC", "LC_CTYPE"}) {
            ::unsetenv(locale);
        }
        launcher_ = std::make_unique<testing::PipedProgram>(
            std::vector<std::string>{OVRA_SETTINGS_LAUNCHER, "--untrusted", "--trace-keys"},
            dir_ / "launcher");
        ASSERT_GT(launcher_->pid(), 0);
        ASSERT_TRUE(said("ready"));
        auto workspace = x11::Workspace::open();
        ASSERT_TRUE(workspace.ok());
        workspace_ = std::move(workspace).value();
        ASSERT_TRUE(windowIsActive()) << "the settings window did not become the active window";
    }

    ~SettingsDesktop() override {
        EXPECT_TRUE(launcher_->app().running()) << "the launcher ended early";
    }
    // What the launcher says it did ("settings-launcher: <line>").
    bool said(const std::string& line) const {
        return launcher_->said("settings-launcher: " + line);
    }
    std::string spoken() const { return speech_->spoken(); }

    bool windowIsActive() {
        return testing::eventually([&] {
            const auto active = workspace_->activeWindow();
            return active && active->pid == launcher_->pid();
        });
    }
    fs::path settingsFile() const {
        return dir_ / "config" / "murmlark-ovra" / "ai.qeld.murmlark-ovra.json";
    }
    Json stored() const { return Json::parse(testing::readText(settingsFile()), nullptr, false); }
    // Waits until the settings file holds `value` under `key`.
    bool storedAs(const std::string& key, const Json& value) const {
        return testing::eventually([&] {
            const Json now = stored();
            return now.is_object() && now.contains(key) && now[key] == value;
        });
    }
    void tap(std::uint16_t key, int times = 1) {
        for (int i = 0; i < times; ++i) {
            keys_->tap(key);
            settle();
        }
    }
    void ctrl(std::uint16_t key) {
        keys_->chord({testing::Keys::control, key});
        settle();
    }
    // Every object of the window over AT-SPI: "role<TAB>focused or -<TAB>name".
    std::set<std::string> accessibleTree() const;
    // The app handles each key before the next arrives, as a person's typing allows.
    static void settle() { usleep(120'000); }

    // The last "--trace-keys" line, for a failure's message.
    std::string lastFocus() const {
        const std::string out = launcher_->output();
        const std::size_t at = out.rfind("focus: ");
        return at == std::string::npos ? "" : out.substr(at, out.find('\n', at) - at);
    }
    // Whether the last "--trace-keys" line puts the focus on `stop` of `pane` (waiting a while).
    bool focusOn(const std::string& pane, const std::string& stop) const {
        const std::string line = "focus: " + pane + " " + stop + " ";
        return testing::eventually([&] {
            const std::string out = launcher_->output();
            const std::size_t at = out.rfind("focus: ");
            return at != std::string::npos && out.compare(at, line.size(), line) == 0;
        });
    }

    std::string settings_;
    fs::path dir_;
    std::unique_ptr<testing::TypedKeys> keys_;
    std::unique_ptr<testing::PrivateSpeech> speech_;
    std::unique_ptr<testing::PipedProgram> launcher_;
    std::unique_ptr<x11::Workspace> workspace_;
};

namespace Key {
inline constexpr std::uint16_t returnKey = 36, tab = 48, space = 49, escape = 53, left = 123,
                               right = 124, down = 125, up = 126, comma = 43, one = 18, two = 19,
                               three = 20, four = 21, five = 23, six = 22, seven = 26;
}

// Where the window titled `title` shows on the screen, by xwininfo; empty while it does not.
QRect frameOf(const std::string& title) {
    const std::string info = testing::output("xwininfo -name '" + title + "' 2>/dev/null");
    const auto field = [&info](const std::string& name) {
        const std::size_t at = info.find(name + ":");
        return at == std::string::npos ? 0 : std::atoi(info.c_str() + at + name.size() + 1);
    };
    return {field("Absolute upper-left X"), field("Absolute upper-left Y"), field("Width"),
            field("Height")};
}

// The confirm dialog as the screen showed it: where, and what.
struct DialogShot {
    QRect frame;
    QImage image;
};

// The confirm dialog as it shows on the screen: its paper and the dark text of its question,
// not a black box. The screen is grabbed whole, as the user sees it (through the compositing
// manager when one runs), and cut at the dialog's place.
void expectDrawn(const char* when, const char* keptAs, DialogShot& shot) {
    ASSERT_TRUE(testing::eventually([&] {
        shot.frame = frameOf("Forget all choices?");
        return !shot.frame.isEmpty();
    })) << when;
    usleep(400'000);  // drawn, and composited
    shot.image = testing::screenshot().copy(shot.frame);
    const fs::path file = fs::temp_directory_path() / keptAs;
    shot.image.save(QString::fromStdString(file.string()));
    int paper = 0, ink = 0;
    for (int y = 0; y < shot.image.height(); ++y) {
        for (int x = 0; x < shot.image.width(); ++x) {
            const QColor c = shot.image.pixelColor(x, y);
            paper +=
                std::abs(c.red() - 252) + std::abs(c.green() - 249) + std::abs(c.blue() - 245) < 12;
            ink += c.lightness() < 90;
        }
    }
    const int area = shot.image.width() * shot.image.height();
    EXPECT_GT(paper, area / 2) << when << ": no paper (" << file << ")";
    EXPECT_TRUE(ink > 200 && ink < area / 4) << when << ": no text, or a dark box (" << file << ")";
}

// Once the dialog is declined, its place shows something else: what was seen was the dialog,
// not the settings window through an empty frame.
void expectClosedOver(const char* when, const DialogShot& shot) {
    usleep(400'000);
    const QImage now = testing::screenshot().copy(shot.frame);
    ASSERT_EQ(now.size(), shot.image.size());
    int changed = 0;
    for (int y = 0; y < now.height(); ++y) {
        for (int x = 0; x < now.width(); ++x) {
            changed += now.pixel(x, y) != shot.image.pixel(x, y);
        }
    }
    EXPECT_GT(changed, now.width() * now.height() / 10) << when << ": the dialog drew nothing";
}

TEST_F(SettingsDesktop, EveryPaneByKeysWithASettingChangedInEach) {
    testing::expectAudited(launcher_->pid(), "Home");
    // Home, before access is on: into the rows, down to the multilingual model, switched on.
    tap(Key::right);
    tap(Key::down);
    tap(Key::right);
    EXPECT_TRUE(storedAs("downloadMultilingual", true));
    EXPECT_TRUE(said("fetch multilingual"));

    // Look: a toggle, then a slider.
    ctrl(Key::two);
    testing::expectAudited(launcher_->pid(), "Look");
    tap(Key::down, 4);  // appearance, theme, darkness, text size, pulse
    tap(Key::right);
    EXPECT_TRUE(storedAs("pulse", true));
    tap(Key::up, 2);
    tap(Key::left);
    EXPECT_TRUE(storedAs("dimLevel", 0.73));

    ctrl(Key::three);
    testing::expectAudited(launcher_->pid(), "Voice");
    tap(Key::space);
    EXPECT_TRUE(storedAs("speak", true));

    // Your choices: one removed by Return, then all after the question (declined first).
    ctrl(Key::four);
    testing::expectAudited(launcher_->pid(), "Your choices");
    tap(Key::returnKey);
    EXPECT_TRUE(storedAs("overrides", Json{{"app|AXButton|Two", "mute"}}));
    tap(Key::down);
    tap(Key::returnKey);
    testing::expectAudited(launcher_->pid(), "the confirm dialog");
    DialogShot shown;
    expectDrawn("without a compositing manager", "ovra-confirm-dialog.png", shown);
    tap(Key::returnKey);  // the focus starts on Cancel
    expectClosedOver("without a compositing manager", shown);
    {
        const testing::LaunchedApp compositor = testing::LaunchedApp::start({"xcompmgr"});
        usleep(500'000);
        tap(Key::returnKey);
        expectDrawn("with a compositing manager", "ovra-confirm-dialog-composited.png", shown);
        tap(Key::returnKey);  // declined again
        expectClosedOver("with a compositing manager", shown);
        tap(Key::returnKey);
        tap(Key::right);
        tap(Key::returnKey);
    }
    EXPECT_TRUE(storedAs("overrides", Json::object()));

    ctrl(Key::five);
    testing::expectAudited(launcher_->pid(), "Desktop accessibility");
    tap(Key::returnKey);
    EXPECT_TRUE(said("open settings universal-access"));

    // Ctrl+, is the app's settings command: the General pane.
    ctrl(Key::comma);
    testing::expectAudited(launcher_->pid(), "General");
    tap(Key::right);
    tap(Key::down, 4);  // hotkey, find key, bird click, bird name, confirm
    tap(Key::left);
    EXPECT_TRUE(storedAs("confirm", false));

    ctrl(Key::seven);
    testing::expectAudited(launcher_->pid(), "Instructions");
    tap(Key::down);
    tap(Key::tab);
    tap(Key::returnKey);
    EXPECT_TRUE(said("reading sidebar"));

    tap(Key::escape);
    EXPECT_TRUE(said("closed"));
    launcher_->send("show Look");
    EXPECT_TRUE(windowIsActive());
    EXPECT_TRUE(said("ready"));
    EXPECT_THAT(launcher_->output(), HasSubstr("focus: Look look.pulse On"));
}

// A fresh install: no choices yet.
class SettingsDesktopFresh : public SettingsDesktop {
  protected:
    SettingsDesktopFresh() : SettingsDesktop("{}") {}
};

// Tab by keyboard alone through every pane: Tab leaves the pane's sidebar entry for its first
// stop and Shift+Tab comes back; Shift+Tab from the entry wraps to the last stop. The empty
// Your choices pane offers its text, which a screen reader finds focused.
TEST_F(SettingsDesktopFresh, TabLeavesTheSidebarEntryOfEveryPane) {
    const struct {
        const char* pane;
        const char* first;  // Tab from the sidebar entry
        const char* last;   // Shift+Tab from it
    } panes[] = {
        {"Home", "home.openSettings", "home.multilingual"},
        {"Look", "look.appearance", "look.bubble"},
        {"Voice", "voice.on", "voice.try"},
        {"Your choices", "choices.empty", "choices.empty"},
        {"Mac accessibility", "mac.voiceover", "mac.mousekeys"},
        {"General", "gen.hotkey", "gen.uninstall"},
        {"Instructions", "instr.list", "instr.read"},
    };
    for (const auto& p : panes) {
        const std::string entry = std::string("pane.") + p.pane;
        tap(Key::tab);
        EXPECT_TRUE(focusOn(p.pane, p.first)) << lastFocus();
        keys_->chord({testing::Keys::shift, Key::tab});
        settle();
        EXPECT_TRUE(focusOn(p.pane, entry)) << lastFocus();
        keys_->chord({testing::Keys::shift, Key::tab});
        settle();
        EXPECT_TRUE(focusOn(p.pane, p.last)) << lastFocus();
        tap(Key::tab);
        EXPECT_TRUE(focusOn(p.pane, entry)) << lastFocus();
        if (std::string(p.pane) == "Your choices") {
            tap(Key::tab);
            EXPECT_THAT(accessibleTree(),
                        Contains(HasSubstr("focused\tNothing here yet. Choices you make")));
            tap(Key::tab);
        }
        tap(Key::down);  // the next pane's entry
    }
}

// What a screen reader finds in the launcher's window: one line per object, its role, its
// states and its name. Read with pyatspi, as Orca reads (property by property).
constexpr const char* kReadTree = R"(
import pyatspi, sys
def walk(node, depth=0):
    states = node.getState()
    focused = "focused" if states.contains(pyatspi.STATE_FOCUSED) else "-"
    print(node.getRoleName() + "\t" + focused + "\t" + node.name)
    for i in range(min(node.childCount, 200)):
        if depth < 20:
            walk(node.getChildAtIndex(i), depth + 1)
for app in pyatspi.Registry.getDesktop(0):
    if app is not None and app.get_process_id() == int(sys.argv[1]):
        walk(app)
)";

std::set<std::string> SettingsDesktop::accessibleTree() const {
    std::set<std::string> seen;
    EXPECT_TRUE(testing::eventually([&] {
        const auto read = testing::run("/usr/bin/python3 -c '" + std::string(kReadTree) + "' " +
                                       std::to_string(launcher_->pid()))
                              .lines();
        seen = std::set<std::string>(read.begin(), read.end());
        return seen.size() > 30;
    }));
    return seen;
}

TEST_F(SettingsDesktop, AnInstructionReadAloudAndStoppedAndEveryStopNamedForScreenReaders) {
    ctrl(Key::seven);
    tap(Key::three);      // the third feature
    tap(Key::returnKey);  // the list's action: on to the button
    tap(Key::returnKey);
    EXPECT_TRUE(said("reading popups"));
    ASSERT_TRUE(testing::eventually(
        [&] { return spoken().find("Pop-ups, out of the way.") != std::string::npos; }));
    tap(Key::returnKey);  // the same key stops it
    EXPECT_TRUE(said("reading nil"));
    // Stopped in the speech service too: a sentence a second would have said three more.
    sleep(3);
    const std::string stopped = spoken();
    EXPECT_LE(std::count(stopped.begin(), stopped.end(), '\n'), 2) << stopped;

    // A short card read to its end clears the reading by itself.
    tap(Key::up);
    tap(Key::seven);
    tap(Key::tab);
    tap(Key::returnKey);
    EXPECT_TRUE(said("reading why"));
    EXPECT_TRUE(testing::eventually(
        [&] {
            const std::string out = launcher_->output();
            return out.rfind("reading nil") > out.find("reading why");
        },
        60));
    EXPECT_THAT(spoken(), HasSubstr("Ovra shows its reason."));

    // What a screen reader finds in the window: every stop named, with its role.
    ctrl(Key::six);  // into General's first row
    const std::set<std::string> seen = accessibleTree();
    for (const char* pane : {"Home", "Look", "Voice", "Your choices", "Desktop accessibility",
                             "Instructions", "General"}) {
        EXPECT_THAT(seen, Contains("page tab\t-\t" + std::string(pane))) << pane;
    }
    // The focused stop holds the keyboard focus, so a screen reader hears it.
    EXPECT_THAT(seen, Contains("combo box\tfocused\tSimplify with, Alt Space"));
    EXPECT_THAT(seen, Contains("check box\t-\tAsk again before pay, send or delete"));
    EXPECT_THAT(seen, Contains("slider\t-\tMost ovras at once, 5"));
    EXPECT_THAT(seen, Contains("push button\t-\tCheck for updates now"));
    EXPECT_THAT(seen, Contains("list\t-\tFeatures"));  // the Instructions pane, made hidden
}

}  // namespace
}  // namespace ovra
