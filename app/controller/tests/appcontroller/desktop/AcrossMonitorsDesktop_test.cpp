// The app over a Chromium window across two RandR monitors, as a person with two monitors uses
// it: side by side, with the window's middle on the left one, every control is numbered (also
// one wholly on the right monitor) and shows undimmed in its ring; stacked, with the window's
// middle on the lower one and the page at its top, the controls on the upper monitor are
// numbered and nothing offers to scroll up; stacked, of different sizes and offset, a control that
// no monitor shows is not numbered, and the information panel stands on one monitor. Screenshots
// are kept in the temporary folder as ovra-monitors-*.png.

#include <atspi/atspi.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QColor>
#include <QImage>
#include <cstring>
#include <map>

#include "app/accessibility/AXExtractor.h"
#include "app/controller/tests/appcontroller/desktop/AppProcess.h"
#include "platform/atspi/AtspiBackend.h"
#include "testing/desktop/Commands.h"
#include "testing/desktop/DesktopReading.h"
#include "testing/desktop/Highlights.h"
#include "testing/desktop/LaunchedApp.h"
#include "testing/desktop/Screenshot.h"
#include "testing/desktop/TwoMonitors.h"

namespace ovra {
namespace {

using ::testing::Contains;
using testing::eventually;
using ::testing::HasSubstr;
using ::testing::Not;

void type(const std::string& keys) {
    ASSERT_TRUE(testing::xdotool(keys)) << keys;
}

bool near(QColor a, QColor b, int tolerance) {
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

// Whether `shot` shows, within `region`, a square of the information panel's own colour (its
// fill, which no dimmed part of the page has), as large as its paddings and nothing else.
bool panelIn(const QImage& shot, const Rect& region) {
    const QColor fill(25, 27, 26);
    constexpr int kSide = 24;
    const QRect inside = QRect(static_cast<int>(region.minX()), static_cast<int>(region.minY()),
                               static_cast<int>(region.width()), static_cast<int>(region.height()))
                             .intersected(shot.rect());
    for (int y = inside.top(); y + kSide <= inside.bottom(); y += kSide / 2) {
        for (int x = inside.left(); x + kSide <= inside.right(); x += kSide / 2) {
            bool all = true;
            for (int dy = 0; dy < kSide && all; ++dy) {
                for (int dx = 0; dx < kSide && all; ++dx) {
                    all = near(shot.pixelColor(x + dx, y + dy), fill, 3);
                }
            }
            if (all) {
                return true;
            }
        }
    }
    return false;
}

class AcrossMonitorsDesktop : public ::testing::Test {
  protected:
    void TearDown() override { quitApp(); }

    // The page's controls once all of them read.
    std::map<std::string, Rect> readPage() {
        atspi::AtspiBackend backend;
        testing::RealClock clock;
        std::map<std::string, Rect> frames;
        eventually(
            [&] {
                auto read = AXExtractor{6, 150, 48, 4000}.snapshot({browser_.pid(), std::nullopt},
                                                                   backend, clock);
                frames.clear();
                for (const auto& [label, colour] : kColours) {
                    if (const UICandidate* found =
                            read ? testing::find(read.value(), label) : nullptr) {
                        frames[label] = found->frame;
                    }
                }
                return frames.size() == kColours.size();
            },
            45);
        return frames;
    }
    void startApp() {
        testing::useSettings(home_.path(),
                             R"({"hotkey": "ctrl-opt-space", "useModel": false, "sidebar": false,
                   "maxBeacons": 9})");
        testing::spawnApp(app_, home_ / "log", 20);
    }
    void quitApp() {
        if (app_ > 0) {
            kill(app_, SIGTERM);
            waitpid(app_, nullptr, 0);
            app_ = 0;
        }
    }
    std::string log() const { return testing::readText(home_ / "log"); }
    // The highlights once all five controls are numbered (whatever came when they never were).
    std::vector<std::string> allNumbered() {
        std::vector<std::string> labels;
        for (const auto& [label, colour] : kColours) {
            labels.push_back(label);
        }
        return numbered(labels);
    }
    // The highlights once the controls with these labels are numbered.
    std::vector<std::string> numbered(const std::vector<std::string>& labels) {
        return testing::highlightsWith(app_, labels);
    }

    const std::map<std::string, QColor> kColours{{"Print", QColor(0xe0, 0x10, 0x10)},
                                                 {"Help", QColor(0x10, 0xc0, 0x10)},
                                                 {"Close", QColor(0x10, 0x30, 0xe0)},
                                                 {"Send message", QColor(0xe0, 0xa0, 0x00)},
                                                 {"Cancel", QColor(0xa0, 0x10, 0xc0)}};
    testing::LaunchedApp browser_;
    testing::ScratchFolder home_{"monitors"};
    pid_t app_ = 0;
};

TEST_F(AcrossMonitorsDesktop, EveryControlOfAWindowAcrossMonitorsIsNumbered) {
    // Where the controls are, read while the screen is one monitor.
    browser_ = testing::LaunchedApp::chromium("file://" OVRA_MONITORS_PAGE);
    const std::map<std::string, Rect> frames = readPage();
    ASSERT_EQ(frames.size(), kColours.size()) << "the page never read";
    testing::TwoMonitors monitors;
    ASSERT_TRUE(monitors.arrange(true)) << monitors.problem();
    startApp();
    type("key ctrl+alt+space");
    std::vector<std::string> names = allNumbered();
    for (const auto& [label, colour] : kColours) {
        EXPECT_THAT(names, Contains(HasSubstr(", " + label + ","))) << log();
    }
    EXPECT_THAT(names, Not(Contains(HasSubstr("More")))) << "a scroll item scrolls nothing";
    // Each control shows in its hole as it is, whichever monitor holds it; the page around them
    // is dimmed on both.
    usleep(500'000);
    const QImage shot = testing::screenshot("monitors-side-by-side");
    for (const auto& [label, colour] : kColours) {
        const QPoint inside(static_cast<int>(frames.at(label).midX()),
                            static_cast<int>(frames.at(label).minY()) + 12);
        EXPECT_TRUE(near(shot.pixelColor(inside), colour, 8)) << label;
    }
    const Rect close = frames.at("Close");
    EXPECT_LT(shot.pixelColor(static_cast<int>(close.midX()), static_cast<int>(close.maxY()) + 120)
                  .lightness(),
              60);
    type("key Escape");
    quitApp();

    ASSERT_TRUE(monitors.arrange(false)) << monitors.problem();
    startApp();
    type("key ctrl+alt+space");
    names = allNumbered();
    for (const auto& [label, colour] : kColours) {
        EXPECT_THAT(names, Contains(HasSubstr(", " + label + ","))) << log();
    }
    EXPECT_THAT(names, Not(Contains(HasSubstr("More")))) << "a scroll item scrolls nothing";
    testing::screenshot("monitors-stacked");
    type("key Escape");
}

TEST_F(AcrossMonitorsDesktop, NothingOffEveryMonitorIsNumberedAndThePanelStandsOnOne) {
    browser_ = testing::LaunchedApp::chromium("file://" OVRA_MONITORS_PAGE);
    const std::map<std::string, Rect> frames = readPage();
    ASSERT_EQ(frames.size(), kColours.size()) << "the page never read";
    // A smaller monitor above a wider one set off to the right: the corner below the upper one,
    // where "Send message" stands, shows nowhere, nor does the one beside it, which "Close"
    // reaches into.
    testing::TwoMonitors monitors;
    const auto [w, h] = monitors.size();
    const Rect upper(0, 0, w * 2 / 3, h * 2 / 5), lower(w / 4, h * 2 / 5, w * 3 / 4, h * 3 / 5);
    const Rect belowUpper(0, upper.maxY(), lower.minX(), h - upper.maxY()),
        besideUpper(upper.maxX(), 0, w - upper.maxX(), upper.maxY());
    ASSERT_TRUE(monitors.place(upper, lower)) << monitors.problem();
    std::vector<std::string> shown;
    for (const auto& [label, frame] : frames) {
        if (frame.intersects(upper) || frame.intersects(lower)) {
            shown.push_back(label);
        }
    }
    ASSERT_TRUE(belowUpper.contains(frames.at("Send message")));
    ASSERT_TRUE(frames.at("Close").intersects(besideUpper));
    ASSERT_EQ(shown.size(), kColours.size() - 1);

    startApp();
    type("key ctrl+alt+space");
    const std::vector<std::string> names = numbered(shown);
    for (const auto& [label, colour] : kColours) {
        const bool expected = std::find(shown.begin(), shown.end(), label) != shown.end();
        EXPECT_EQ(testing::numberOf(names, label) > 0, expected) << label << "\n" << log();
    }
    // The panel shows on the lower monitor, which holds the most of the window, and nowhere
    // that no monitor shows (looked for below the window's title and toolbar).
    QImage shot;
    EXPECT_TRUE(eventually(
        [&] {
            shot = testing::screenshot("monitors-offset");
            return panelIn(shot, lower);
        },
        10));
    const Rect belowToolbar(0, 120, w, h);
    EXPECT_FALSE(panelIn(shot, belowUpper.intersection(belowToolbar)));
    EXPECT_FALSE(panelIn(shot, besideUpper.intersection(belowToolbar)));
    type("key Escape");
}

}  // namespace
}  // namespace ovra
