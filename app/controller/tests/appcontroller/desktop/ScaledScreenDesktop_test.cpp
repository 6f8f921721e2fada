// The app on a 1920x1200 screen at 125 % and 150 % (Xft.dpi 120 and 144, as scaled X sessions
// set it), driven as a person drives it, over apps that scale by a fraction: Chromium at the same
// device scale factor, on a page of six flat-coloured buttons that goes on below; and a Qt 6
// window of six such buttons with a modal dialog in front of it, as a designer tool opens at
// start. Every control on screen is numbered, each ring's middle lies on its own control where
// the screen shows it and the control shows through its ring; find finds "Help" and "More below"
// scrolls the page; the dialog is read, and once closed the window behind it. On a long page a
// page down moves the page by about its view and skips nothing, at 150 % as at 100 %. On a
// 1024x600 screen at text size 2, the information panel with a notice keeps off the chosen
// control's ring. Each test runs in a desktop of its own of that kind. Screenshots are kept in
// the temporary folder as ovra-scaled-*.png and ovra-small-screen-*.png.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "app/controller/tests/appcontroller/desktop/AppProcess.h"
#include "app/controller/tests/appcontroller/desktop/OverlayRings.h"
#include "platform/atspi/AtspiBackend.h"
#include "platform/x11/X11Workspace.h"
#include "testing/desktop/DesktopReading.h"
#include "testing/desktop/LaunchedApp.h"
#include "testing/desktop/PipedProgram.h"
#include "testing/desktop/Screenshot.h"

namespace ovra {
namespace {

using testing::eventually;
using testing::Highlight;

const std::map<std::string, QColor> kControls{
    {"Print", QColor(0xe0, 0x10, 0x10)},      {"Help", QColor(0x10, 0xc0, 0x10)},
    {"Share", QColor(0x10, 0x30, 0xe0)},      {"Send message", QColor(0xe0, 0xa0, 0x00)},
    {"Save draft", QColor(0x00, 0xb0, 0xb0)}, {"Archive", QColor(0xa0, 0x10, 0xc0)}};

struct Scale {
    const char* name;
    int dpi;             // the screen's, which our own overlay and Qt follow
    const char* factor;  // the browser's device scale factor
};

void PrintTo(const Scale& scale, std::ostream* out) {
    *out << scale.name << " %";
}

class ScaledScreen : public ::testing::Test {
  protected:
    explicit ScaledScreen(Scale scale) : scale_(scale) {}
    void TearDown() override {
        if (app_ > 0) {
            EXPECT_EQ(log().find("main thread blocked"), std::string::npos) << log();
            kill(app_, SIGTERM);
            waitpid(app_, nullptr, 0);
        }
    }
    // `more`: further settings, each after a comma.
    void startApp(const std::string& more = "") {
        testing::useSettings(home_.path(), R"({"hotkey": "ctrl-opt-space", "useModel": false,
                                               "sidebar": false, "maxBeacons": 9)" +
                                               more + "}");
        testing::spawnApp(app_, home_ / "log", 20);
    }
    std::string log() const { return testing::readText(home_ / "log"); }
    // The hotkey, once the app takes it (a request logs how it picks); right after the start the
    // app may not listen yet, so it is pressed once more.
    void hotkey() {
        const std::size_t before = testing::occurrences(log(), "Ovra press:");
        for (int attempt = 0; attempt < 2; ++attempt) {
            ASSERT_TRUE(testing::xdotool("key ctrl+alt+space"));
            if (eventually([&] { return testing::occurrences(log(), "Ovra press:") > before; },
                           5)) {
                return;
            }
        }
    }
    // The highlights once each of `labels` is numbered (whatever shows when they never are).
    std::vector<Highlight> highlightsWith(const std::vector<std::string>& labels) {
        std::vector<Highlight> shown;
        eventually(
            [&] {
                shown = testing::highlightsOf(app_);
                return std::all_of(labels.begin(), labels.end(), [&](const std::string& label) {
                    return testing::highlightFor(shown, label) != nullptr;
                });
            },
            15);
        return shown;
    }
    std::string names(const std::vector<Highlight>& shown) const {
        std::string out;
        for (const Highlight& h : shown) {
            out += "\n  " + h.name;
        }
        return out + "\n" + log();
    }
    // Where the six controls show, once the screen shows all of them.
    std::map<std::string, Rect> controlsOnScreen() {
        std::map<std::string, Rect> boxes;
        eventually([&] {
            boxes = testing::colourBoxes(testing::screenshot(), kControls);
            return boxes.size() == kControls.size();
        });
        return boxes;
    }
    // Each ring's middle lies on its own control, and the control shows through the ring: the
    // screen there has the control's colour while the rest is dimmed. A loaded machine may show
    // the overlay's earlier frame for a moment: the screen is looked at until it shows them.
    void expectRingsOn(const std::map<std::string, Rect>& controls,
                       const std::vector<Highlight>& shown, const std::string& shot) {
        const double ratio = scale_.dpi / 96.0;
        const auto showThrough = [&](const QImage& on) {
            return std::all_of(kControls.begin(), kControls.end(), [&](const auto& control) {
                const Highlight* ring = testing::highlightFor(shown, control.first);
                return ring != nullptr &&
                       testing::near(on.pixelColor(static_cast<int>(ring->frame.midX() * ratio),
                                                   static_cast<int>(ring->frame.midY() * ratio)),
                                     control.second, 24);
            });
        };
        QImage screen;
        eventually([&] {
            screen = testing::screenshot("scaled-" + shot);
            return showThrough(screen);
        });
        for (const auto& [label, colour] : kControls) {
            SCOPED_TRACE(label);
            const Highlight* ring = testing::highlightFor(shown, label);
            ASSERT_NE(ring, nullptr) << names(shown);
            const Point middle{ring->frame.midX() * ratio, ring->frame.midY() * ratio};
            EXPECT_TRUE(controls.at(label).contains(middle))
                << "ring " << ring->frame << " (middle " << middle.x << "," << middle.y
                << " on screen), control at " << controls.at(label);
            const QColor there =
                screen.pixelColor(static_cast<int>(middle.x), static_cast<int>(middle.y));
            EXPECT_TRUE(testing::near(there, colour, 24)) << there.name().toStdString();
        }
    }

    const Scale scale_;
    testing::ScratchFolder home_{"scaled"};
    pid_t app_ = 0;
};

class ScaledChromium : public ScaledScreen, public ::testing::WithParamInterface<Scale> {
  protected:
    ScaledChromium() : ScaledScreen(GetParam()) {}
};

class ScaledQt : public ScaledScreen {
  protected:
    ScaledQt() : ScaledScreen({"150", 144, "1.5"}) {}
};

// A netbook's screen, 1024x600, with the largest text.
class SmallScreen : public ScaledScreen {
  protected:
    SmallScreen() : ScaledScreen({"100", 96, "1"}) {}
};

TEST_P(ScaledChromium, EveryControlIsOfferedWithItsRingOnIt) {
    if (!testing::inOwnDesktop("1920x1200", scale_.dpi)) {
        return;
    }
    auto browser = testing::LaunchedApp::chromium(
        testing::fixtureUrl("scaled.html"), true,
        {std::string("--force-device-scale-factor=") + scale_.factor});
    atspi::AtspiBackend backend;
    testing::RealClock clock;
    ASSERT_TRUE(eventually(
        [&] {
            auto read = AXExtractor{6, 14, 48, 4000}.snapshot({browser.pid(), std::nullopt},
                                                              backend, clock);
            return read && testing::find(read.value(), "Archive") != nullptr;
        },
        45))
        << "the page never read";
    const std::map<std::string, Rect> controls = controlsOnScreen();
    ASSERT_EQ(controls.size(), kControls.size()) << "the page did not show";
    auto workspace = x11::Workspace::open();
    ASSERT_TRUE(workspace);
    const auto title = [&] {
        const auto windows = workspace.value()->windowsOf(browser.pid());
        return windows.empty() ? std::string() : windows.back().title;
    };
    startApp();

    // Every control numbered, each ring on its control, and "More below" on none of them.
    hotkey();
    std::vector<std::string> all{"More below"};
    for (const auto& [label, colour] : kControls) {
        all.push_back(label);
    }
    std::vector<Highlight> shown = highlightsWith(all);
    expectRingsOn(controls, shown, std::string("chromium-") + scale_.name);
    const Highlight* more = testing::highlightFor(shown, "More below");
    ASSERT_NE(more, nullptr) << names(shown);
    const double ratio = scale_.dpi / 96.0;
    const Rect moreOnScreen(more->frame.minX() * ratio, more->frame.minY() * ratio,
                            more->frame.width() * ratio, more->frame.height() * ratio);
    for (const auto& [label, box] : controls) {
        EXPECT_FALSE(moreOnScreen.intersects(box)) << label << " under " << moreOnScreen;
    }

    // Find finds "Help" by its name and presses it.
    ASSERT_TRUE(testing::xdotool("key f"));
    ASSERT_TRUE(testing::xdotool("type --delay 60 help"));
    EXPECT_TRUE(eventually([&] {
        shown = testing::highlightsOf(app_);
        return shown.size() == 1 && shown.front().label() == "Help";
    })) << names(shown);
    ASSERT_TRUE(testing::xdotool("key Return"));
    EXPECT_TRUE(eventually([&] { return title().starts_with("pressed: Help "); }, 10)) << title();

    // "More below" scrolls the page.
    hotkey();
    shown = highlightsWith({"More below"});
    more = testing::highlightFor(shown, "More below");
    ASSERT_NE(more, nullptr) << names(shown);
    ASSERT_TRUE(testing::xdotool("key " + more->digits() + " Return"));
    EXPECT_TRUE(eventually([&] { return title().starts_with("offset "); }, 10)) << title();
    EXPECT_GT(std::atoi(title().c_str() + 7), 0) << title();
    ASSERT_TRUE(testing::xdotool("key Escape"));
}

class PageStep : public ScaledScreen, public ::testing::WithParamInterface<Scale> {
  protected:
    PageStep() : ScaledScreen(GetParam()) {}
};

// The browser turns the wheel in its own pixels: a page down moves the page by about one view,
// never more, so nothing between the old bottom and the new top goes unseen.
TEST_P(PageStep, APageDownMovesTheViewByAboutItsHeight) {
    if (!testing::inOwnDesktop("1920x1200", scale_.dpi)) {
        return;
    }
    auto browser = testing::LaunchedApp::chromium(
        testing::fixtureUrl("long.html"), true,
        {std::string("--force-device-scale-factor=") + scale_.factor});
    atspi::AtspiBackend backend;
    testing::RealClock clock;
    std::optional<ScrollTarget> area;
    ASSERT_TRUE(eventually(
        [&] {
            auto read = AXExtractor{6, 14, 48, 4000}.snapshot({browser.pid(), std::nullopt},
                                                              backend, clock);
            area = read ? read.value().scroll : std::nullopt;
            return read && testing::find(read.value(), "Top of page") != nullptr && area;
        },
        45))
        << "the page never read";
    // Measured once the window manager has the window at its size.
    double scale = 0;
    EXPECT_TRUE(eventually([&] {
        scale = backend.scaleOf(area->element);
        return scale == std::atof(scale_.factor);
    })) << scale;
    auto workspace = x11::Workspace::open();
    ASSERT_TRUE(workspace);
    // The page's offset and view height in its own pixels, once it holds still after a scroll.
    const auto offset = [&](int before) -> std::pair<int, int> {
        std::pair<int, int> now{before, 0}, seen{-1, -1};
        int still = 0;
        eventually(
            [&] {
                const auto windows = workspace.value()->windowsOf(browser.pid());
                const std::string title = windows.empty() ? "" : windows.back().title;
                now = {before, 0};
                std::sscanf(title.c_str(), "offset %d of %d", &now.first, &now.second);
                still = now == seen ? still + 1 : 0;
                seen = now;
                return now.first != before && still >= 3;
            },
            10);
        return now;
    };
    startApp();
    hotkey();
    ASSERT_NE(testing::highlightFor(highlightsWith({"More below"}), "More below"), nullptr)
        << log();
    ASSERT_TRUE(testing::xdotool("key Next"));
    const auto [page, view] = offset(0);
    EXPECT_GT(page, view * 3 / 4) << page << " of a " << view << " view\n" << log();
    EXPECT_LE(page, view) << "skipped " << page - view << " of a " << view << " view";
    ASSERT_TRUE(testing::xdotool("key j"));
    const int small = offset(page).first - page;
    EXPECT_GT(small, 0) << log();
    EXPECT_LE(small, view / 2) << small << " of a " << view << " view";
    ASSERT_TRUE(testing::xdotool("key Escape"));
}

TEST_F(ScaledQt, ADialogIsReadAndThenTheWindowBehindIt) {
    if (!testing::inOwnDesktop("1920x1200", scale_.dpi)) {
        return;
    }
    testing::PipedProgram qt({OVRA_QT_FORM_WINDOW, "--dialog"}, home_ / "qt");
    ASSERT_TRUE(eventually([] {
        return testing::xdotool("search --onlyvisible --name '^New Form' >/dev/null");
    })) << qt.output();
    startApp();

    // The dialog in front is read, not the window behind it; its Close closes it.
    hotkey();
    std::vector<Highlight> shown = highlightsWith({"Create", "Close"});
    EXPECT_EQ(log().find("cannot be read"), std::string::npos) << log();
    EXPECT_EQ(testing::highlightFor(shown, "Print"), nullptr) << names(shown);
    testing::screenshot("scaled-qt-dialog");
    const Highlight* close = testing::highlightFor(shown, "Close");
    ASSERT_NE(close, nullptr) << names(shown);
    ASSERT_TRUE(testing::xdotool("key " + close->digits() + " Return"));
    ASSERT_TRUE(qt.said("pressed: Close", 10)) << qt.output() << log();
    ASSERT_TRUE(eventually(
        [] { return !testing::xdotool("search --onlyvisible --name '^New Form' >/dev/null"); }));

    // The window: every control numbered with its ring on it, and the chosen one pressed.
    const std::map<std::string, Rect> controls = controlsOnScreen();
    ASSERT_EQ(controls.size(), kControls.size()) << "the window did not show";
    hotkey();
    std::vector<std::string> all;
    for (const auto& [label, colour] : kControls) {
        all.push_back(label);
    }
    shown = highlightsWith(all);
    expectRingsOn(controls, shown, "qt-window");
    const Highlight* help = testing::highlightFor(shown, "Help");
    ASSERT_NE(help, nullptr) << names(shown);
    ASSERT_TRUE(testing::xdotool("key " + help->digits() + " Return"));
    EXPECT_TRUE(qt.said("pressed: Help", 10)) << qt.output() << log();
}

// At text size 2 on 1024x600 the information panel with a notice of two lines (a pin's) never
// lies over the chosen control's ring, whether it stands high or low.
TEST_F(SmallScreen, ThePanelAndItsNoticeNeverCoverTheChosenRing) {
    if (!testing::inOwnDesktop("1024x600", scale_.dpi)) {
        return;
    }
    testing::PipedProgram qt({OVRA_QT_FORM_WINDOW}, home_ / "qt");
    ASSERT_TRUE(eventually([] {
        return testing::xdotool("search --onlyvisible --name '^Form window' >/dev/null");
    })) << qt.output();
    startApp(R"(, "textScale": 2)");
    for (const std::string label : {"Help", "Save draft"}) {
        SCOPED_TRACE(label);
        hotkey();
        const std::vector<Highlight> shown = highlightsWith({label});
        const Highlight* chosen = testing::highlightFor(shown, label);
        ASSERT_NE(chosen, nullptr) << names(shown);
        ASSERT_TRUE(testing::xdotool("key " + chosen->digits()));
        // P pins it: the panel says so, as its notice.
        ASSERT_TRUE(testing::xdotool("key p"));
        std::vector<Highlight> panel;
        ASSERT_TRUE(eventually([&] {
            panel = testing::highlightsOf(app_, ATSPI_ROLE_LABEL);
            return !panel.empty() && panel[0].name.starts_with("Saved:");
        })) << log();
        usleep(700'000);  // the panel moves
        const Rect ring = testing::highlightFor(testing::highlightsOf(app_), label)->frame;
        panel = testing::highlightsOf(app_, ATSPI_ROLE_LABEL);
        ASSERT_FALSE(panel.empty());
        testing::screenshot("small-screen-" + label);
        EXPECT_FALSE(panel[0].frame.intersects(ring))
            << panel[0].frame << " over " << ring << ": " << panel[0].name;
        ASSERT_TRUE(testing::xdotool("key p Escape"));
        usleep(700'000);
    }
}

INSTANTIATE_TEST_SUITE_P(Scales, ScaledChromium,
                         ::testing::Values(Scale{"125", 120, "1.25"}, Scale{"150", 144, "1.5"}),
                         [](const auto& p) { return std::string("At") + p.param.name; });
INSTANTIATE_TEST_SUITE_P(Scales, PageStep,
                         ::testing::Values(Scale{"100", 96, "1"}, Scale{"150", 144, "1.5"}),
                         [](const auto& p) { return std::string("At") + p.param.name; });

}  // namespace
}  // namespace ovra
