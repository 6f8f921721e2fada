// Reads apps on scaled screens (2560x1600 at Xft.dpi 192, 1920x1200 at Xft.dpi 168, no
// compositor): Chromium and Firefox on a page of flat-coloured buttons, GTK 3 at a window scale of
// 2, and Chromium and Qt 5 at 175 %. Every frame read must be where the control shows on screen,
// in the screen's pixels. Run anywhere else, each test runs itself again inside a desktop of its
// own of that kind.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QColor>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/atspi/AtspiBackend.h"
#include "platform/x11/X11Workspace.h"
#include "testing/desktop/Commands.h"
#include "testing/desktop/DesktopReading.h"
#include "testing/desktop/LaunchedApp.h"
#include "testing/desktop/Screenshot.h"

namespace ovra {
namespace {

using testing::find;

// A screen of this size at these dots per inch (Xft.dpi), no compositor.
struct Screen {
    int width;
    int height;
    int dpi;
};
constexpr Screen kDoubled{2560, 1600, 192};
constexpr Screen kSevenQuarters{1920, 1200, 168};

bool onScreen(const Screen& wanted) {
    const QImage screen = testing::screenshot();
    const char* dpi = std::getenv("OVRA_DESKTOP_DPI");
    return screen.width() == wanted.width && screen.height() == wanted.height && dpi &&
           std::to_string(wanted.dpi) == dpi;
}

// Runs the current test again in a desktop of its own of that kind; whether it passed there.
void runOnScreen(const Screen& wanted) {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const char* source = std::getenv("OVRA_SOURCE_DIR");
    ASSERT_NE(source, nullptr);
    const std::string command =
        "OVRA_DESKTOP_SCREEN=" + std::to_string(wanted.width) + "x" +
        std::to_string(wanted.height) + " OVRA_DESKTOP_DPI=" + std::to_string(wanted.dpi) + " '" +
        std::string(source) + "/scripts/with-desktop' '" +
        std::filesystem::read_symlink("/proc/self/exe").string() +
        "' --gtest_filter=" + info->test_suite_name() + "." + info->name() + " 2>&1";
    const auto run = testing::run(command);
    EXPECT_EQ(run.exitCode, 0) << run.text;
    EXPECT_NE(run.text.find("[  PASSED  ] 1 test."), std::string::npos) << run.text;
}

// The X window of a process, less any shadow and whole; empty until it shows.
std::pair<Rect, Rect> xWindowOf(pid_t pid) {
    auto desk = x11::Workspace::open();
    if (!desk) {
        return {};
    }
    auto windows = desk.value()->windowsOf(pid);
    if (windows.empty()) {
        return {};
    }
    const std::uint32_t window = windows.back().window;
    return {desk.value()->contentFrame(window).value_or(Rect()),
            desk.value()->wholeFrame(window).value_or(Rect())};
}

bool near(const Rect& a, const Rect& b, double slack) {
    return std::abs(a.minX() - b.minX()) <= slack && std::abs(a.minY() - b.minY()) <= slack &&
           std::abs(a.maxX() - b.maxX()) <= slack && std::abs(a.maxY() - b.maxY()) <= slack;
}

class ScaledScreen : public ::testing::Test {
  protected:
    WindowSnapshot readUntil(const std::function<bool(const WindowSnapshot&)>& ready) {
        WindowSnapshot last;
        EXPECT_TRUE(testing::eventually([&] {
            auto read = extractor_.snapshot({app_.pid(), std::nullopt}, backend_, clock_);
            last = read ? std::move(read).value() : WindowSnapshot{};
            return read && ready(last);
        })) << testing::dump(last);
        return last;
    }

    // The page's four buttons are read where they show: the middle of each frame has the
    // button's colour on screen, and the window's frame is its X window's.
    void expectButtonsWhereTheyShow() {
        // Once the window is at its size: a window still growing to it tells no scale yet.
        const auto s = readUntil([&](const WindowSnapshot& r) {
            const auto [content, whole] = xWindowOf(app_.pid());
            return find(r, "Send message") && find(r, "Print") && find(r, "Help") &&
                   find(r, "Cancel") &&
                   (near(r.windowFrame, content, 2) || near(r.windowFrame, whole, 2));
        });
        expectWhereTheAppFindsThem(s, [](const UICandidate& c) { return c.role == "AXButton"; });
        const std::pair<const char*, QColor> buttons[] = {{"Send message", QColor(200, 0, 0)},
                                                          {"Print", QColor(0, 160, 0)},
                                                          {"Help", QColor(0, 0, 200)},
                                                          {"Cancel", QColor(200, 100, 0)}};
        // Where a read frame shows another colour than its button's. The page may paint a
        // moment after its tree is read, so the screen is looked at again until it settles.
        std::vector<std::string> wrong;
        const auto look = [&] {
            wrong.clear();
            const QImage screen = testing::screenshot(
                std::string("hidpi-") +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
            for (const auto& [label, colour] : buttons) {
                const UICandidate* c = find(s, label);
                if (c == nullptr) {
                    continue;
                }
                // The middle and the corners, a few pixels in: the frame is the button's own.
                const Rect inside = c->frame.insetBy(4, 4);
                for (const Point p :
                     {inside.center(), inside.origin, Point{inside.maxX(), inside.minY()},
                      Point{inside.minX(), inside.maxY()}, Point{inside.maxX(), inside.maxY()}}) {
                    const QColor shown =
                        screen.pixelColor(static_cast<int>(p.x), static_cast<int>(p.y));
                    const int distance = std::abs(shown.red() - colour.red()) +
                                         std::abs(shown.green() - colour.green()) +
                                         std::abs(shown.blue() - colour.blue());
                    if (distance > 24) {
                        std::ostringstream out;
                        out << label << " read at " << c->frame << " shows "
                            << shown.name().toStdString() << " at " << p.x << "," << p.y;
                        wrong.push_back(out.str());
                    }
                }
            }
            return wrong.empty();
        };
        EXPECT_TRUE(testing::eventually(look)) << ::testing::PrintToString(wrong) << "\n"
                                               << testing::dump(s);
    }

    // The window is its X window, so the request's match of the captured window finds it, and
    // each control `chosen` is where the app itself finds it: inside the window, and its hit
    // test at the middle of the frame read answers that very control or what lies inside it (a
    // button's text), whatever pixels the app finds points in.
    void expectWhereTheAppFindsThem(const WindowSnapshot& s,
                                    const std::function<bool(const UICandidate&)>& chosen) {
        // Chromium gives its window with the shadow around it, the others without.
        const auto [x, whole] = xWindowOf(app_.pid());
        EXPECT_TRUE(near(s.windowFrame, x, 2) || near(s.windowFrame, whole, 2))
            << "window frame " << s.windowFrame << ", X " << x;
        auto window = backend_.attribute(backend_.applicationElement({app_.pid(), std::nullopt}),
                                         "AXFocusedWindow");
        ASSERT_TRUE(window);
        int tried = 0;
        for (const auto& c : s.candidates) {
            if (!chosen(c)) {
                continue;
            }
            ++tried;
            EXPECT_TRUE(x.contains(c.frame)) << c.title << " at " << c.frame;
            // Chromium answers from its tree's bounds while it asks the page what it painted
            // there: its later answer counts.
            std::string answer;
            EXPECT_TRUE(testing::eventually(
                [&] {
                    auto found =
                        backend_.elementAtPoint(*ax::asElement(window.value()), c.frame.center());
                    answer = found ? describe(found.value()) : "nothing";
                    return found && within(found.value(), s.elements.at(c.id));
                },
                5))
                << c.title << " at " << c.frame << " finds " << answer;
            // Looked at again by a backend that has not read the window (as a press looks at
            // its control), what lies there has its frame inside the control's.
            atspi::AtspiBackend fresh;
            auto freshWindow = fresh.attribute(fresh.applicationElement({app_.pid(), std::nullopt}),
                                               "AXFocusedWindow");
            ASSERT_TRUE(freshWindow);
            auto hit = fresh.elementAtPoint(*ax::asElement(freshWindow.value()), c.frame.center());
            ASSERT_TRUE(hit) << c.title;
            const auto origin = fresh.attribute(hit.value(), "AXPosition");
            const auto size = fresh.attribute(hit.value(), "AXSize");
            ASSERT_TRUE(origin && size) << c.title;
            const Rect seen(*ax::asPoint(origin.value()), *ax::asSize(size.value()));
            EXPECT_TRUE(c.frame.insetBy(-2, -2).contains(seen))
                << c.title << " at " << c.frame << ", looked at afresh at " << seen;
        }
        EXPECT_GT(tried, 0) << testing::dump(s);
    }

    // Whether `element` is `control` or lies inside it, as the app asks of a hit test's answer.
    bool within(ax::Element element, const ax::Element& control) {
        for (int level = 0; level < 6 && !element.isNull(); ++level) {
            if (element == control) {
                return true;
            }
            auto parent = backend_.attribute(element, "AXParent");
            auto next = parent ? ax::asElement(parent.value()) : std::nullopt;
            element = next ? *next : ax::Element();
        }
        return false;
    }

    // An element's role and title, and its frame.
    std::string describe(const ax::Element& element) {
        std::ostringstream out;
        for (const std::string_view name : {"AXRole", "AXTitle", "AXPosition", "AXSize"}) {
            const auto value = backend_.attribute(element, name);
            if (!value) {
                out << "-";
            } else if (const std::string* text = ax::asString(value.value())) {
                out << '"' << *text << '"';
            } else if (const auto point = ax::asPoint(value.value())) {
                out << *point;
            } else if (const auto size = ax::asSize(value.value())) {
                out << size->width << "x" << size->height;
            }
            out << " ";
        }
        return out.str();
    }

    atspi::AtspiBackend backend_;
    testing::RealClock clock_;
    AXExtractor extractor_{6, 150, 48, 4000};
    testing::LaunchedApp app_;
};

TEST_F(ScaledScreen, BrowsersGiveEveryButtonWhereItShows) {
    if (!onScreen(kDoubled)) {
        runOnScreen(kDoubled);
        return;
    }
    // Chromium scales by Xft.dpi: its window in its own pixels, its page in the screen's.
    app_ = testing::LaunchedApp::chromium(testing::fixtureUrl("hidpi.html"), true, {}, "1200,760");
    ASSERT_TRUE(testing::eventually([&] { return xWindowOf(app_.pid()).second.width() > 2000; }))
        << "Chromium did not scale: " << xWindowOf(app_.pid()).second;
    expectButtonsWhereTheyShow();
    app_.stop();

    // Firefox at a GTK window scale of 2, with fonts at the screen's dots per inch as GNOME at
    // 200 % gives them: everything in its own pixels.
    setenv("GDK_SCALE", "2", 1);
    setenv("GDK_DPI_SCALE", "0.5", 1);
    std::string profile = std::filesystem::temp_directory_path() / "ovra-firefox-XXXXXX";
    ASSERT_NE(mkdtemp(profile.data()), nullptr);
    app_ = testing::LaunchedApp::firefox(testing::fixtureUrl("hidpi.html"), profile);
    expectButtonsWhereTheyShow();
    app_.stop();
    std::filesystem::remove_all(profile);
}

TEST_F(ScaledScreen, Gtk3AtScaleTwoIsReadWholeInScreenPixels) {
    if (!onScreen(kDoubled)) {
        runOnScreen(kDoubled);
        return;
    }
    setenv("GDK_SCALE", "2", 1);
    app_ = testing::LaunchedApp::start({"gtk3-widget-factory"});
    const auto s = readUntil([](const WindowSnapshot& r) {
        // Three of each can be used; the other three are dimmed.
        return std::count_if(r.candidates.begin(), r.candidates.end(), [](const UICandidate& c) {
                   return c.title == "checkbutton" || c.title == "radiobutton";
               }) == 6;
    });
    expectWhereTheAppFindsThem(s, [](const UICandidate& c) {
        return c.title == "checkbutton" || c.title == "radiobutton";
    });
}

TEST_F(ScaledScreen, AtSevenQuartersChromiumAndQtGiveEveryControlWhereItShows) {
    if (!onScreen(kSevenQuarters)) {
        runOnScreen(kSevenQuarters);
        return;
    }
    app_ = testing::LaunchedApp::chromium(testing::fixtureUrl("hidpi.html"), true,
                                          {"--force-device-scale-factor=1.75"}, "1090,680");
    expectButtonsWhereTheyShow();
    app_.stop();

    // Qt 5 scales by any factor it is given; its frames come in its own pixels.
    setenv("QT_SCALE_FACTOR", "1.75", 1);
    setenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1", 1);
    app_ = testing::LaunchedApp::start({"qt5ct"});
    // Its first tabs and radio buttons lie near its top left, on screen whatever the window's
    // size (the last tabs lie past the tab bar's end at this size).
    const std::set<std::string> nearTheTop{"Appearance", "Fonts", "Default", "Custom"};
    // Once the window is at its size: read while it grows, it tells no scale yet.
    const auto s = readUntil([&](const WindowSnapshot& r) {
        const auto [x, whole] = xWindowOf(app_.pid());
        return (near(r.windowFrame, x, 2) || near(r.windowFrame, whole, 2)) &&
               std::all_of(nearTheTop.begin(), nearTheTop.end(),
                           [&](const std::string& label) { return find(r, label) != nullptr; });
    });
    expectWhereTheAppFindsThem(s,
                               [&](const UICandidate& c) { return nearTheTop.contains(c.title); });
}
}  // namespace
}  // namespace ovra
