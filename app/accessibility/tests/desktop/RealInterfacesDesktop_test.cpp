// What a reading offers of interfaces no one here wrote: the browsers' own settings pages and a
// word processor's toolbars. Every control offered must be one the toolkit's own hit test finds
// where the ring would go (the control, or something inside it), and the controls a person sees
// there (named below, as the interface shows them) must be offered. The rules that choose whom to
// ask never decide alone, so nothing here depends on how a page draws its decorations.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/accessibility/AXExtractor.h"
#include "app/accessibility/SeenControls.h"
#include "platform/atspi/AtspiBackend.h"
#include "platform/atspi/DBusConnection.h"
#include "testing/Files.h"
#include "testing/desktop/Commands.h"
#include "testing/desktop/DesktopReading.h"
#include "testing/desktop/LaunchedApp.h"

namespace ovra {
namespace {

using testing::dump;
using testing::eventually;
using testing::find;
using testing::LaunchedApp;

class RealInterfaces : public ::testing::Test {
  protected:
    WindowSnapshot read(pid_t pid) {
        pid_ = pid;
        const auto start = std::chrono::steady_clock::now();
        auto reading = extractor_.snapshot({pid, std::nullopt}, backend_, clock_);
        lastMs_ =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        return reading ? std::move(reading).value() : WindowSnapshot{};
    }
    // Reads until `ready` holds; the last reading.
    WindowSnapshot readUntil(pid_t pid, const std::function<bool(const WindowSnapshot&)>& ready) {
        WindowSnapshot last;
        const bool ok = eventually(
            [&] {
                last = read(pid);
                return ready(last);
            },
            60);
        EXPECT_TRUE(ok) << "never read as expected; last reading:\n" << dump(last);
        return last;
    }
    // Whether the toolkit's hit test finds `element` (or something inside it) at some point of
    // `frame` inside `viewport`: the middle first, then a grid over it.
    bool hitTestFinds(const WindowSnapshot& s, const ax::Element& element, const Rect& frame) {
        const Rect part = frame.intersection(s.viewport);
        if (part.isNull() || !(part.width() > 0) || !(part.height() > 0)) {
            return false;
        }
        BoundedReader reader(backend_, clock_);
        for (const int n : {1, 3}) {
            for (int row = 0; row < n; ++row) {
                for (int column = 0; column < n; ++column) {
                    const Point at{part.minX() + part.width() * (column + 0.5) / n,
                                   part.minY() + part.height() * (row + 0.5) / n};
                    auto hit = paintedAt(reader, s.windowElement, at);
                    ax::Element current = hit ? hit.value() : ax::Element();
                    for (int up = 0; up < 12 && !current.isNull(); ++up) {
                        if (current == element) {
                            return true;
                        }
                        auto parent = backend_.attribute(current, "AXParent");
                        auto next = parent ? ax::asElement(parent.value()) : std::nullopt;
                        current = next ? *next : ax::Element();
                    }
                }
            }
        }
        return false;
    }
    // Every control offered is one the toolkit's hit test finds where it is offered. A control
    // the page moves or removes after the reading (a toast sliding out of view, then gone) is
    // looked at again in a reading made once it has stopped moving.
    void expectEachOfferedSeen(const WindowSnapshot& s) {
        for (const UICandidate& c : s.candidates) {
            if (hitTestFinds(s, s.elements.at(c.id), c.frame)) {
                continue;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(800));
            const WindowSnapshot again = read(pid_);
            const UICandidate* still = find(again, c.label());
            EXPECT_TRUE(still == nullptr ||
                        hitTestFinds(again, again.elements.at(still->id), still->frame))
                << c.label() << " (" << c.role << ") is offered where a hit test finds another";
        }
    }
    void expectOffered(const WindowSnapshot& s, const std::vector<std::string>& labels) {
        for (const std::string& label : labels) {
            EXPECT_NE(find(s, label), nullptr) << label << " is not offered";
        }
    }
    // Chromium opens its own pages only through its address bar.
    LaunchedApp chromiumAt(const std::string& page) {
        LaunchedApp app = LaunchedApp::chromium("about:blank");
        readUntil(app.pid(), [](const WindowSnapshot& s) { return !s.windowTitle.empty(); });
        EXPECT_TRUE(testing::xdotool("key --clearmodifiers ctrl+l"));
        EXPECT_TRUE(testing::xdotool("type --delay 20 '" + page + "'"));
        EXPECT_TRUE(testing::xdotool("key --clearmodifiers Return"));
        return app;
    }
    void report(const char* what, const WindowSnapshot& s) {
        std::printf("%s: %zu offered, last reading %.0f ms\n", what, s.candidates.size(), lastMs_);
    }

    static LaunchedApp startOffice(const std::string& module,
                                   const testing::ScratchFolder& profile) {
        return LaunchedApp::start({"soffice", module, "--norestore", "--nologo",
                                   "--nofirststartwizard",
                                   "-env:UserInstallation=file://" + profile.string()});
    }
    // Its script starts the program in a process of its own: the one that shows the window.
    static pid_t officeWindowPid(const std::string& title) {
        pid_t found = 0;
        eventually(
            [&] {
                const std::string command =
                    "xdotool search --onlyvisible --name '" + title + "' getwindowpid 2>/dev/null";
                std::FILE* out = popen(command.c_str(), "r");
                if (out == nullptr) {
                    return false;
                }
                int pid = 0;
                if (std::fscanf(out, "%d", &pid) != 1) {
                    pid = 0;
                }
                pclose(out);
                found = pid;
                return pid > 0;
            },
            60);
        return found;
    }

    atspi::AtspiBackend backend_;
    testing::RealClock clock_;
    AXExtractor extractor_{6, 150, 48, 4000};
    double lastMs_ = 0;
    pid_t pid_ = 0;  // of the app read last
};

TEST_F(RealInterfaces, ChromiumSettingsOffersWhatAPersonSees) {
    LaunchedApp app = chromiumAt("chrome://settings");
    ASSERT_TRUE(app.running());
    const WindowSnapshot settings = readUntil(app.pid(), [](const WindowSnapshot& s) {
        return find(s, "Privacy and security") != nullptr;
    });
    SCOPED_TRACE(dump(settings));
    report("chrome://settings", settings);
    expectOffered(settings, {"You and Google", "Autofill and passwords", "Privacy and security",
                             "Appearance", "Search engine", "On startup"});
    expectEachOfferedSeen(settings);
}

TEST_F(RealInterfaces, ChromiumExtensionsOffersTheStoreLinkInItsSideText) {
    LaunchedApp app = chromiumAt("chrome://extensions");
    ASSERT_TRUE(app.running());
    const WindowSnapshot extensions = readUntil(
        app.pid(), [](const WindowSnapshot& s) { return find(s, "Developer mode") != nullptr; });
    SCOPED_TRACE(dump(extensions));
    report("chrome://extensions", extensions);
    expectOffered(extensions, {"Developer mode", "Chrome Web Store"});
    expectEachOfferedSeen(extensions);
}

TEST_F(RealInterfaces, FirefoxPreferencesOffersWhatAPersonSees) {
    testing::ScratchFolder profile{"firefox"};
    LaunchedApp app = LaunchedApp::firefox("about:preferences", profile.path());
    ASSERT_TRUE(app.running());
    const WindowSnapshot preferences = readUntil(
        app.pid(), [](const WindowSnapshot& s) { return find(s, "Make default") != nullptr; });
    SCOPED_TRACE(dump(preferences));
    report("about:preferences", preferences);
    expectOffered(preferences, {"Find in Settings", "Make default"});
    expectEachOfferedSeen(preferences);
}

// LibreOffice Writer's Standard toolbar: a native toolbar of some thirty buttons, each offered
// (with its menu bar and the Formatting toolbar beside it).
TEST_F(RealInterfaces, WriterOffersItsStandardToolbar) {
    testing::ScratchFolder profile{"writer"};
    LaunchedApp app = startOffice("--writer", profile);
    ASSERT_TRUE(app.running());
    const pid_t writerPid = officeWindowPid("LibreOffice Writer");
    ASSERT_GT(writerPid, 0);
    // Its Standard toolbar as a new document shows it (Undo, Redo, Cut, Copy and Paste are
    // greyed out there, and not offered).
    const std::vector<std::string> standard = {"New",   "Open",  "Save",     "Print",
                                               "Table", "Image", "Spelling", "Basic Shapes"};
    // The buttons of the toolbar's row: the row of Save (the Formatting toolbar has a New too).
    const auto row = [](const WindowSnapshot& s) {
        const UICandidate* first = find(s, "Save");
        return first == nullptr
                   ? 0
                   : std::count_if(s.candidates.begin(), s.candidates.end(),
                                   [&](const UICandidate& c) {
                                       return std::abs(c.frame.minY() - first->frame.minY()) < 2 &&
                                              c.frame.height() > 20;
                                   });
    };
    const WindowSnapshot writer = readUntil(writerPid, [&](const WindowSnapshot& s) {
        return row(s) >= 25 &&
               std::all_of(standard.begin(), standard.end(),
                           [&](const std::string& label) { return find(s, label) != nullptr; });
    });
    SCOPED_TRACE(dump(writer));
    report("Writer", writer);
    expectOffered(writer, standard);
    EXPECT_GE(row(writer), 25);
    const UICandidate* first = find(writer, "Save");
    ASSERT_NE(first, nullptr);
    // LibreOffice's own hit test finds other parts of its sidebar's tab bar and its combo
    // boxes' fields than those it names, so its toolbar is checked against that row alone.
    for (const UICandidate& c : writer.candidates) {
        if (std::abs(c.frame.minY() - first->frame.minY()) < 2) {
            EXPECT_TRUE(hitTestFinds(writer, writer.elements.at(c.id), c.frame)) << c.label();
        }
    }
}

// Whether the app of `pid` answers a plain call on the accessibility bus within two seconds (a
// bound for a loaded machine: an app busy listing what it holds answers nothing for minutes).
bool answersTheBus(pid_t pid) {
    using atspi::methodCall;
    constexpr std::chrono::microseconds kPatience = std::chrono::seconds(2);
    auto session = atspi::BusConnection::openSession();
    if (!session) {
        return false;
    }
    auto address = session.value()->call(
        methodCall("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress"), kPatience);
    const auto text = address.ok() ? atspi::reply::string(address.message.get()) : std::nullopt;
    auto bus = text ? atspi::BusConnection::openBus(*text) : fail(std::string("no address"));
    if (!bus) {
        return false;
    }
    atspi::BusConnection& a11y = *bus.value();
    const char* kDaemon = "org.freedesktop.DBus";
    auto listed =
        a11y.call(methodCall(kDaemon, "/org/freedesktop/DBus", kDaemon, "ListNames"), kPatience);
    const auto names = listed.ok() ? atspi::reply::stringArray(listed.message.get()) : std::nullopt;
    for (const std::string& name : names.value_or(std::vector<std::string>{})) {
        auto ask =
            methodCall(kDaemon, "/org/freedesktop/DBus", kDaemon, "GetConnectionUnixProcessID");
        const char* asked = name.c_str();
        dbus_message_append_args(ask.get(), DBUS_TYPE_STRING, &asked, DBUS_TYPE_INVALID);
        auto owner = a11y.call(std::move(ask), kPatience);
        const auto id = owner.ok() ? atspi::reply::u32(owner.message.get()) : std::nullopt;
        if (name.starts_with(':') && id && *id == static_cast<std::uint32_t>(pid)) {
            return a11y
                .call(methodCall(name, "/org/a11y/atspi/accessible/root",
                                 "org.a11y.atspi.Accessible", "GetRole"),
                      kPatience)
                .ok();
        }
    }
    return false;
}

// LibreOffice Calc over an empty sheet, whose table says it holds 2,147,483,647 cells: a reading
// asks it only for what lies on screen, so Calc still answers after each (listing its cells
// would keep it busy for minutes), and its menus are offered.
TEST_F(RealInterfaces, CalcAnswersAfterEachReadingOfAnEmptySheet) {
    testing::ScratchFolder profile{"calc"};
    LaunchedApp app = startOffice("--calc", profile);
    ASSERT_TRUE(app.running());
    const pid_t calcPid = officeWindowPid("LibreOffice Calc");
    ASSERT_GT(calcPid, 0);
    // Its menus come in a moment after its window.
    readUntil(calcPid, [](const WindowSnapshot& s) { return find(s, "Format") != nullptr; });
    ASSERT_TRUE(answersTheBus(calcPid));
    for (int reading = 1; reading <= 3; ++reading) {
        backend_.forgetReadings();  // the sheet's table is read anew each time
        const WindowSnapshot calc = read(calcPid);
        report("Calc", calc);
        EXPECT_TRUE(answersTheBus(calcPid)) << "Calc stopped answering after reading " << reading;
        EXPECT_NE(find(calc, "Format"), nullptr) << dump(calc);
    }
}

// A toast library's own demo page, installed from the npm registry at a pinned version: toasts
// with close buttons laid over the page as it runs.
TEST_F(RealInterfaces, AToastLibrarysDemoOffersWhatAPersonSees) {
    testing::ScratchFolder modules{"npm"};
    ASSERT_EQ(std::system(("npm install --prefix '" + modules.string() +
                           "' --no-save --no-audit --no-fund --silent toastify-js@1.12.0")
                              .c_str()),
              0);
    const std::string page = "file://" + modules.string() + "/node_modules/toastify-js/index.html";
    LaunchedApp app = LaunchedApp::chromium(page);
    ASSERT_TRUE(app.running());
    // Its toasts come and go for some seconds after it opens: each reading is checked.
    for (int reading = 0; reading < 4; ++reading) {
        const WindowSnapshot demo =
            readUntil(app.pid(), [](const WindowSnapshot& s) { return find(s, "Try") != nullptr; });
        SCOPED_TRACE(dump(demo));
        report("toastify-js demo", demo);
        expectOffered(demo, {"Try", "Docs"});
        expectEachOfferedSeen(demo);
        std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    }
}

}  // namespace
}  // namespace ovra
