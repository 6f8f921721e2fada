// The app over a GTK 3 dialog without a compositing manager: the overlay leaves a few pixels of
// the dialog uncovered (a browser covered whole stops taking clicks), and a click on each of them,
// as a person's click lands, closes the overlay and nothing else: nothing pressed, the window
// manager's close button under one of them never reached, the dialog still there. The uncovered
// pixels are read from the overlay window's shape as the X server holds it. The screenshot is
// kept in the temporary folder as ovra-uncovered-pixels.png.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <QColor>
#include <QImage>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/controller/tests/appcontroller/desktop/AppProcess.h"
#include "app/controller/tests/appcontroller/desktop/OverlayRings.h"
#include "testing/desktop/Commands.h"
#include "testing/desktop/PipedProgram.h"
#include "testing/desktop/Screenshot.h"

namespace ovra {
namespace {

using testing::eventually;

struct Free {
    void operator()(void* p) const { std::free(p); }
};
template <class T>
std::unique_ptr<T, Free> own(T* p) {
    return std::unique_ptr<T, Free>(p);
}

struct Pixel {
    int x = 0;
    int y = 0;
};

// The pixels of the shown window titled `title` that its visible shape leaves out, in root
// window pixels; none when no such window shows.
std::vector<Pixel> uncoveredPixelsOf(const std::string& title) {
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    std::vector<Pixel> out;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const auto tree = own(xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr));
    const xcb_window_t* children = tree ? xcb_query_tree_children(tree.get()) : nullptr;
    for (int i = 0; tree && i < xcb_query_tree_children_length(tree.get()); ++i) {
        const xcb_window_t w = children[i];
        const auto name = own(xcb_get_property_reply(
            c, xcb_get_property(c, 0, w, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 256),
            nullptr));
        const auto attributes =
            own(xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr));
        if (!name || !attributes || attributes->map_state != XCB_MAP_STATE_VIEWABLE ||
            std::string(static_cast<const char*>(xcb_get_property_value(name.get())),
                        static_cast<std::size_t>(xcb_get_property_value_length(name.get()))) !=
                title) {
            continue;
        }
        const auto geometry = own(xcb_get_geometry_reply(c, xcb_get_geometry(c, w), nullptr));
        const auto shape = own(xcb_shape_get_rectangles_reply(
            c, xcb_shape_get_rectangles(c, w, XCB_SHAPE_SK_BOUNDING), nullptr));
        if (!geometry || !shape) {
            continue;
        }
        const int width = geometry->width;
        const int height = geometry->height;
        std::vector<bool> shown(static_cast<std::size_t>(width * height));
        const auto at = [&](int x, int y) { return static_cast<std::size_t>(y * width + x); };
        const xcb_rectangle_t* r = xcb_shape_get_rectangles_rectangles(shape.get());
        for (int k = 0; k < xcb_shape_get_rectangles_rectangles_length(shape.get()); ++k) {
            for (int y = std::max(0, int{r[k].y}); y < std::min(height, r[k].y + r[k].height);
                 ++y) {
                for (int x = std::max(0, int{r[k].x}); x < std::min(width, r[k].x + r[k].width);
                     ++x) {
                    shown[at(x, y)] = true;
                }
            }
        }
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                if (!shown[at(x, y)]) {
                    out.push_back({geometry->x + x, geometry->y + y});
                }
            }
        }
        break;
    }
    xcb_disconnect(c);
    return out;
}

TEST(UncoveredPixelsDesktop, AClickOnAPixelTheOverlayLeavesUncoveredClosesItAlone) {
    testing::ScratchFolder home("uncovered");
    testing::PipedProgram dialog({"/usr/bin/python3", OVRA_MESSAGE_DIALOG}, home / "dialog");
    ASSERT_TRUE(eventually([&] { return testing::activeWindowPid() == dialog.pid(); }, 30))
        << dialog.output();
    pid_t app = 0;
    testing::useSettings(home.path(), R"({"hotkey": "ctrl-opt-space", "useModel": false,
                                          "sidebar": false})");
    testing::spawnApp(app, home / "log", 20);
    testing::SpawnedApp running;
    running.pid = app;
    const auto log = [&] { return testing::readText(home / "log"); };
    // The overlay over the dialog, its buttons numbered.
    const auto open = [&] {
        for (int attempt = 0; attempt < 2; ++attempt) {
            EXPECT_TRUE(testing::xdotool("key ctrl+alt+space"));
            if (eventually(
                    [&] {
                        const auto shown = testing::highlightsOf(app);
                        return testing::highlightFor(shown, "Cancel") != nullptr;
                    },
                    15)) {
                return true;
            }
        }
        return false;
    };
    ASSERT_TRUE(open()) << log();
    const std::vector<Pixel> uncovered = uncoveredPixelsOf("Murmlark Ovra overlay");
    // A pixel near each corner of the dialog, no more.
    ASSERT_EQ(uncovered.size(), 4U);
    // The dialog dimmed beside them once the overlay has faded in (for the screenshot).
    eventually(
        [&] {
            const QImage screen = testing::screenshot();
            return QColor(screen.pixel(uncovered[0].x + 2, uncovered[0].y)).lightness() < 128;
        },
        10);
    testing::screenshot("uncovered-pixels");
    for (std::size_t i = 0; i < uncovered.size(); ++i) {
        const Pixel at = uncovered[i];
        const std::string where = std::to_string(at.x) + "," + std::to_string(at.y);
        if (i > 0) {
            ASSERT_TRUE(open()) << where << log();
        }
        ASSERT_TRUE(testing::clickAt(at.x, at.y)) << where;
        EXPECT_TRUE(eventually([] { return !testing::overlayOnScreen(); }, 10))
            << "the overlay stayed after a click at " << where;
        EXPECT_EQ(dialog.output().find("response"), std::string::npos)
            << "a click at " << where << " reached the dialog: " << dialog.output();
        ASSERT_EQ(waitpid(dialog.pid(), nullptr, WNOHANG), 0) << where;
        EXPECT_TRUE(eventually([&] { return testing::activeWindowPid() == dialog.pid(); }, 10))
            << "the dialog is gone after a click at " << where;
    }
}

}  // namespace
}  // namespace ovra
