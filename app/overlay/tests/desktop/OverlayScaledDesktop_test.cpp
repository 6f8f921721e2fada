// The overlay at a device pixel ratio of 2 (Xft.dpi 192, as HiDPI X sessions set it) without a
// compositing manager, over a page of buttons of one colour each on a board of greys: each ring
// stands on its control's frame and what shows inside it is that control (its own colour on the
// screenshot), not another part of the screen. The screenshot is kept in the temporary folder as
// ovra-overlay-ratio2.png.

#include <gtest/gtest.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <QColor>
#include <QImage>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

#include "app/accessibility/AXExtractor.h"
#include "platform/atspi/AtspiBackend.h"
#include "testing/desktop/Commands.h"
#include "testing/desktop/CompositingManager.h"
#include "testing/desktop/DesktopReading.h"
#include "testing/desktop/LaunchedApp.h"
#include "testing/desktop/PipedProgram.h"
#include "testing/desktop/Screenshot.h"

namespace ovra {
namespace {

using testing::eventually;
using testing::LaunchedApp;

// Sets Xft.dpi in the X resources of the root window, where Qt and the toolkits read it when
// they start; puts back what was there when it goes.
class XftDpi {
  public:
    explicit XftDpi(int dpi) : c_(xcb_connect(nullptr, nullptr)) {
        root_ = xcb_setup_roots_iterator(xcb_get_setup(c_)).data->root;
        auto* reply = xcb_get_property_reply(
            c_,
            xcb_get_property(c_, 0, root_, XCB_ATOM_RESOURCE_MANAGER, XCB_ATOM_STRING, 0, 1 << 16),
            nullptr);
        std::string others;
        if (reply && reply->type == XCB_ATOM_STRING) {
            old_ = std::string(static_cast<const char*>(xcb_get_property_value(reply)),
                               static_cast<std::size_t>(xcb_get_property_value_length(reply)));
            std::istringstream in(*old_);
            for (std::string line; std::getline(in, line);) {
                if (line.rfind("Xft.dpi:", 0) != 0) {
                    others += line + "\n";
                }
            }
        }
        std::free(reply);
        set("Xft.dpi:\t" + std::to_string(dpi) + "\n" + others);
    }
    ~XftDpi() {
        if (old_) {
            set(*old_);
        } else {
            xcb_delete_property(c_, root_, XCB_ATOM_RESOURCE_MANAGER);
        }
        xcb_aux_sync();
        xcb_disconnect(c_);
    }

  private:
    void set(const std::string& text) {
        xcb_change_property(c_, XCB_PROP_MODE_REPLACE, root_, XCB_ATOM_RESOURCE_MANAGER,
                            XCB_ATOM_STRING, 8, static_cast<std::uint32_t>(text.size()),
                            text.data());
        xcb_aux_sync();
    }
    void xcb_aux_sync() {
        std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr));
    }

    xcb_connection_t* c_;
    xcb_window_t root_ = 0;
    std::optional<std::string> old_;
};

bool near(QColor a, QColor b, int tolerance) {
    return std::abs(a.red() - b.red()) <= tolerance &&
           std::abs(a.green() - b.green()) <= tolerance &&
           std::abs(a.blue() - b.blue()) <= tolerance;
}

std::string describe(QColor c) {
    return std::to_string(c.red()) + "," + std::to_string(c.green()) + "," +
           std::to_string(c.blue());
}

const QColor kMagenta(255, 77, 217);

TEST(OverlayScaledDesktop, AtRatioTwoEachRingShowsItsOwnControl) {
    ASSERT_FALSE(testing::compositingManagerRuns());
    // The ring holds still for the screenshot.
    ASSERT_EQ(std::system("gsettings set org.gnome.desktop.interface enable-animations false"), 0);
    const XftDpi hidpi(192);
    // The page in screen pixels, so that its frames are right whatever the reading makes of a
    // scaled browser: this journey is about the drawing.
    LaunchedApp chromium =
        LaunchedApp::chromium("file://" OVRA_COLOURS_PAGE, true, {"--force-device-scale-factor=1"});
    const std::map<std::string, QColor> colours{{"Print", QColor(0xe0, 0x10, 0x10)},
                                                {"Help", QColor(0x10, 0xc0, 0x10)},
                                                {"Send message", QColor(0x10, 0x30, 0xe0)},
                                                {"Cancel", QColor(0xe0, 0xa0, 0x00)}};
    atspi::AtspiBackend backend;
    testing::RealClock clock;
    const AXExtractor extractor{6, 150, 48, 4000};
    std::map<std::string, Rect> frames;
    ASSERT_TRUE(eventually(
        [&] {
            auto read = extractor.snapshot({chromium.pid(), std::nullopt}, backend, clock);
            frames.clear();
            for (const auto& [label, colour] : colours) {
                if (const UICandidate* found =
                        read ? testing::find(read.value(), label) : nullptr) {
                    frames[label] = found->frame;
                }
            }
            return frames.size() == colours.size();
        },
        45))
        << "the page never read";
    ASSERT_TRUE(testing::xdotool("mousemove 1270 1010"));
    usleep(500'000);

    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("ovra-ratio2-" + std::to_string(getpid()));
    testing::PipedProgram harness({OVRA_OVERLAY_HARNESS}, folder);
    ASSERT_FALSE(harness.line("rings end", 0, 60).empty()) << harness.output();
    usleep(300'000);
    const QImage shot = testing::screenshot("overlay-ratio2");

    std::map<std::string, Rect> rings;  // in the overlay's own pixels
    std::istringstream out(harness.output());
    for (std::string line; std::getline(out, line);) {
        std::istringstream in(line);
        std::string word, id, label;
        double x = 0, y = 0, w = 0, h = 0;
        if (in >> word && word == "ring" && in >> id >> x >> y >> w >> h) {
            std::getline(in >> std::ws, label);
            rings[label] = Rect(x, y, w, h);
        }
    }
    for (const auto& [label, colour] : colours) {
        SCOPED_TRACE(label);
        ASSERT_EQ(rings.count(label), 1u) << harness.output();
        const Rect frame = frames[label];
        const Rect ring = rings[label];
        // The overlay's pixels are two of the screen's: the ring is 6 of them outside the frame.
        EXPECT_EQ(Rect(ring.minX() * 2, ring.minY() * 2, ring.width() * 2, ring.height() * 2),
                  frame.insetBy(-12, -12));
        const QColor stroke =
            shot.pixelColor(static_cast<int>(ring.minX() * 2), static_cast<int>(ring.midY() * 2));
        EXPECT_TRUE(near(stroke, kMagenta, 40)) << describe(stroke);
        // Inside the ring, below the label: the control's own colour, as it was.
        const QPoint inside(static_cast<int>(frame.midX()), static_cast<int>(frame.maxY()) - 10);
        EXPECT_TRUE(near(shot.pixelColor(inside), colour, 8)) << describe(shot.pixelColor(inside));
    }
    harness.send("quit");
}

}  // namespace
}  // namespace ovra
