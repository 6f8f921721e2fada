// Synthetic input on a real X server: windows of this test receive the clicks and wheel turns,
// and the window manager activates a window on request.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/input/XTestInputSynthesizer.h"
#include "testing/desktop/LaunchedApp.h"

namespace ovra::input {
namespace {

using ovra::testing::eventually;

// A connection of the test's own with one window that records the buttons pressed in it.
class TestWindow {
  public:
    TestWindow(Rect frame, bool managed) {
        connection_ = xcb_connect(nullptr, nullptr);
        screen_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
        window_ = xcb_generate_id(connection_);
        const std::uint32_t mask = XCB_CW_OVERRIDE_REDIRECT | XCB_CW_EVENT_MASK;
        const std::uint32_t values[] = {managed ? 0u : 1u, XCB_EVENT_MASK_BUTTON_PRESS |
                                                               XCB_EVENT_MASK_BUTTON_RELEASE |
                                                               XCB_EVENT_MASK_EXPOSURE};
        xcb_create_window(
            connection_, XCB_COPY_FROM_PARENT, window_, screen_->root,
            static_cast<std::int16_t>(frame.minX()), static_cast<std::int16_t>(frame.minY()),
            static_cast<std::uint16_t>(frame.width()), static_cast<std::uint16_t>(frame.height()),
            0, XCB_WINDOW_CLASS_INPUT_OUTPUT, screen_->root_visual, mask, values);
        xcb_map_window(connection_, window_);
        xcb_flush(connection_);
        eventually([&] { return drain(), exposed_; });
    }
    ~TestWindow() { xcb_disconnect(connection_); }

    WindowId id() const { return window_; }

    // An empty input shape: pointer input goes to whatever lies below, as for the overlay.
    void letPointerInputThrough() {
        xcb_shape_rectangles(connection_, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_INPUT,
                             XCB_CLIP_ORDERING_UNSORTED, window_, 0, 0, 0, nullptr);
        std::free(
            xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    }

    // The window's middle in root coordinates, wherever the window manager placed it.
    Point middle() {
        auto geometry =
            xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, window_), nullptr);
        auto at = xcb_translate_coordinates_reply(
            connection_,
            xcb_translate_coordinates(connection_, window_, screen_->root,
                                      static_cast<std::int16_t>(geometry->width / 2),
                                      static_cast<std::int16_t>(geometry->height / 2)),
            nullptr);
        const Point p{static_cast<double>(at->dst_x), static_cast<double>(at->dst_y)};
        std::free(geometry);
        std::free(at);
        return p;
    }

    // The window the window manager names active on the root.
    WindowId activeWindow() {
        const char name[] = "_NET_ACTIVE_WINDOW";
        auto atom = xcb_intern_atom_reply(
            connection_, xcb_intern_atom(connection_, 0, sizeof name - 1, name), nullptr);
        auto property = xcb_get_property_reply(
            connection_,
            xcb_get_property(connection_, 0, screen_->root, atom->atom, XCB_ATOM_WINDOW, 0, 1),
            nullptr);
        WindowId active = 0;
        if (property && xcb_get_property_value_length(property) == 4) {
            active = *static_cast<const std::uint32_t*>(xcb_get_property_value(property));
        }
        std::free(atom);
        std::free(property);
        return active;
    }
    // "press 1", "release 1", "press 5"...
    const std::vector<std::string>& buttons() {
        drain();
        return buttons_;
    }

  private:
    void drain() {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
            const auto type = event->response_type & 0x7f;
            if (type == XCB_EXPOSE) {
                exposed_ = true;
            } else if (type == XCB_BUTTON_PRESS || type == XCB_BUTTON_RELEASE) {
                const auto* b = reinterpret_cast<xcb_button_press_event_t*>(event);
                buttons_.push_back((type == XCB_BUTTON_PRESS ? "press " : "release ") +
                                   std::to_string(b->detail));
            }
            std::free(event);
        }
    }

    xcb_connection_t* connection_ = nullptr;
    xcb_screen_t* screen_ = nullptr;
    xcb_window_t window_ = 0;
    bool exposed_ = false;
    std::vector<std::string> buttons_;
};

class XTestDesktop : public ::testing::Test {
  protected:
    void SetUp() override {
        auto made = XTestInputSynthesizer::open();
        ASSERT_TRUE(made) << made.error();
        input_ = std::move(made).value();
    }
    std::unique_ptr<XTestInputSynthesizer> input_;
};

TEST_F(XTestDesktop, PointerMovesWhereAskedAndRefusesImpossiblePoints) {
    ASSERT_TRUE(input_->movePointer({123.4, 56.6}));
    EXPECT_EQ(input_->pointerLocation(), (Point{123, 57}));
    EXPECT_FALSE(input_->movePointer({std::nan(""), 1}));
    EXPECT_FALSE(input_->movePointer({1, 40000}));
    EXPECT_EQ(input_->pointerLocation(), (Point{123, 57}));
}

TEST_F(XTestDesktop, ClickAndWheelReachTheWindowUnderThePoint) {
    TestWindow window(Rect(200, 200, 300, 200), /*managed=*/false);
    EXPECT_TRUE(input_->isWindowAt(window.id(), {350, 300}));
    EXPECT_FALSE(input_->isWindowAt(window.id(), {100, 100}));

    ASSERT_TRUE(input_->click({350, 300}));
    EXPECT_TRUE(eventually([&] { return window.buttons().size() >= 2; }));
    EXPECT_THAT(window.buttons(), ::testing::ElementsAre("press 1", "release 1"));

    ASSERT_TRUE(input_->wheel({350, 300}, WheelDirection::down, 2));
    ASSERT_TRUE(input_->wheel({350, 300}, WheelDirection::up, 1));
    EXPECT_TRUE(eventually([&] { return window.buttons().size() >= 8; }));
    EXPECT_THAT(window.buttons(),
                ::testing::ElementsAre("press 1", "release 1", "press 5", "release 5", "press 5",
                                       "release 5", "press 4", "release 4"));
    EXPECT_FALSE(input_->wheel({350, 300}, WheelDirection::down, 0));
}

TEST_F(XTestDesktop, AWindowInFrontTakesThePoint) {
    TestWindow back(Rect(100, 100, 400, 400), /*managed=*/false);
    TestWindow front(Rect(150, 150, 100, 100), /*managed=*/false);
    EXPECT_FALSE(input_->isWindowAt(back.id(), {200, 200}));
    EXPECT_TRUE(input_->isWindowAt(front.id(), {200, 200}));
    EXPECT_TRUE(input_->isWindowAt(back.id(), {400, 400}));
    EXPECT_FALSE(input_->isWindowAt(0, {400, 400}));

    front.letPointerInputThrough();
    EXPECT_TRUE(input_->isWindowAt(back.id(), {200, 200}));
    ASSERT_TRUE(input_->click({200, 200}));
    EXPECT_TRUE(eventually([&] { return back.buttons().size() >= 2; }));
    EXPECT_THAT(front.buttons(), ::testing::IsEmpty());
}

TEST_F(XTestDesktop, TheWindowManagerActivatesAManagedWindow) {
    TestWindow first(Rect(50, 50, 200, 200), /*managed=*/true);
    TestWindow second(Rect(300, 50, 200, 200), /*managed=*/true);
    // Inside its frame, a managed window still takes the point at its middle.
    EXPECT_TRUE(eventually([&] { return input_->isWindowAt(first.id(), first.middle()); }));
    EXPECT_FALSE(input_->isWindowAt(second.id(), first.middle()));

    ASSERT_TRUE(input_->activateWindow(first.id()));
    EXPECT_TRUE(eventually([&] { return first.activeWindow() == first.id(); }));
    ASSERT_TRUE(input_->activateWindow(second.id()));
    EXPECT_TRUE(eventually([&] { return first.activeWindow() == second.id(); }));
    EXPECT_FALSE(input_->activateWindow(0));
}

}  // namespace
}  // namespace ovra::input
