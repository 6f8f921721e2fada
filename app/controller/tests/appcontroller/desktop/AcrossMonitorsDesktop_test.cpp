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
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/randr.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

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

namespace ovra {
namespace {

using ::testing::Contains;
using testing::eventually;
using ::testing::HasSubstr;
using ::testing::Not;

// Two RandR monitors splitting the screen, side by side or stacked, for as long as this lives.
class TwoMonitors {
  public:
    TwoMonitors() : c_(xcb_connect(nullptr, nullptr)) {
        root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
        for (const char* which : {"-A", "-B"}) {
            const std::string name = "OVRA-" + std::to_string(getpid()) + which;
            auto* atom = xcb_intern_atom_reply(
                c_, xcb_intern_atom(c_, 0, static_cast<std::uint16_t>(name.size()), name.data()),
                nullptr);
            names_.push_back(atom ? atom->atom : XCB_NONE);
            std::free(atom);
        }
    }
    // Side by side or stacked: the same two monitors, set anew.
    bool arrange(bool sideBySide) {
        const auto [w, h] = size();
        const int split = sideBySide ? w / 2 : h * 2 / 5;
        return sideBySide ? place(Rect(0, 0, split, h), Rect(split, 0, w - split, h))
                          : place(Rect(0, 0, w, split), Rect(0, split, w, h - split));
    }
    // The screen's size.
    std::pair<int, int> size() const {
        const xcb_screen_t& screen = *xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
        return {screen.width_in_pixels, screen.height_in_pixels};
    }
    // Two monitors anywhere on the screen, the first primary.
    bool place(const Rect& first, const Rect& second) {
        problem_.clear();
        remove();
        const xcb_screen_t& screen = *xcb_setup_roots_iterator(xcb_get_setup(c_)).data;
        std::free(xcb_randr_query_version_reply(c_, xcb_randr_query_version(c_, 1, 5), nullptr));
        auto* resources = xcb_randr_get_screen_resources_current_reply(
            c_, xcb_randr_get_screen_resources_current(c_, screen.root), nullptr);
        if (!resources || xcb_randr_get_screen_resources_current_outputs_length(resources) == 0) {
            std::free(resources);
            return false;
        }
        const xcb_randr_output_t output =
            xcb_randr_get_screen_resources_current_outputs(resources)[0];
        std::free(resources);
        bool set = true;
        for (int i = 0; i < 2; ++i) {
            // The first monitor takes the output, so that the output's own monitor goes.
            const Rect& frame = i == 0 ? first : second;
            Monitor monitor{};
            monitor.window = screen.root;
            monitor.name = names_[static_cast<std::size_t>(i)];
            monitor.primary = i == 0;
            monitor.outputs = i == 0 ? 1 : 0;
            monitor.x = static_cast<std::int16_t>(frame.minX());
            monitor.y = static_cast<std::int16_t>(frame.minY());
            monitor.width = static_cast<std::uint16_t>(frame.width());
            monitor.height = static_cast<std::uint16_t>(frame.height());
            monitor.widthMm = 300;
            monitor.heightMm = 200;
            monitor.output = output;
            set = set && setMonitor(monitor, i == 0);
        }
        auto* reply =
            xcb_randr_get_monitors_reply(c_, xcb_randr_get_monitors(c_, screen.root, 1), nullptr);
        const bool ok = set && reply && reply->nMonitors == 2;
        problem_ += "monitors " + (reply ? std::to_string(reply->nMonitors) : std::string("none"));
        std::free(reply);
        return ok;
    }
    // The X server keeps monitors after their client goes: they are removed, and the output's
    // own monitor comes back.
    ~TwoMonitors() {
        remove();
        xcb_disconnect(c_);
        usleep(300'000);  // the desktop's own clients hear the monitors go
    }
    const std::string& problem() const { return problem_; }

  private:
    void remove() {
        for (const xcb_atom_t name : names_) {
            std::free(xcb_request_check(c_, xcb_randr_delete_monitor_checked(c_, root_, name)));
        }
    }

    // The SetMonitor request after its header, with at most one output.
    struct __attribute__((packed)) Monitor {
        std::uint32_t window;
        std::uint32_t name;
        std::uint8_t primary;
        std::uint8_t automatic;
        std::uint16_t outputs;
        std::int16_t x;
        std::int16_t y;
        std::uint16_t width;
        std::uint16_t height;
        std::uint32_t widthMm;
        std::uint32_t heightMm;
        std::uint32_t output;
    };
    // Sent as bytes: libxcb 1.15's own SetMonitor now and then closed the connection in our runs
    // (a request it took as too long).
    bool setMonitor(Monitor& monitor, bool withOutput) {
        std::uint32_t header = 0;  // filled in by libxcb
        iovec parts[4];
        parts[2].iov_base = &header;
        parts[2].iov_len = sizeof header;
        parts[3].iov_base = &monitor;
        parts[3].iov_len = sizeof monitor - (withOutput ? 0 : sizeof monitor.output);
        static xcb_protocol_request_t request{2, &xcb_randr_id, XCB_RANDR_SET_MONITOR, 1};
        const xcb_void_cookie_t cookie{
            xcb_send_request(c_, XCB_REQUEST_CHECKED, parts + 2, &request)};
        xcb_generic_error_t* error = xcb_request_check(c_, cookie);
        const bool done = error == nullptr && xcb_connection_has_error(c_) == 0;
        if (!done) {
            problem_ += "set: error " + std::to_string(error ? error->error_code : 0) +
                        ", connection " + std::to_string(xcb_connection_has_error(c_)) + "; ";
        }
        std::free(error);
        return done;
    }

    xcb_connection_t* c_;
    xcb_window_t root_ = 0;
    std::vector<xcb_atom_t> names_;
    std::string problem_;
};

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
    TwoMonitors monitors;
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
    TwoMonitors monitors;
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
        EXPECT_EQ(testing::numberOf(names, label) > 0, expected)
            << label << "\n"
            << log();
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
