// ovra-fake-panels: the scripted native app of FakePanelsApp.h as a program of its own, with an X
// window the window manager shows and activates, so the app and its dumps read it as they read
// any app in front.
//
//   ovra-fake-panels [--wide N] [--deep N] [--liar N] [--no-button]

#include <signal.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "testing/desktop/FakePanelsApp.h"

namespace {

volatile sig_atomic_t stopped = 0;

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    auto* reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
    const xcb_atom_t found = reply ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return found;
}

// Where the window's content lies on the root window, once the window manager has placed it.
std::array<std::int32_t, 4> placed(xcb_connection_t* c, xcb_window_t window, xcb_window_t root,
                                   std::int32_t width, std::int32_t height) {
    std::array<std::int32_t, 4> last{-1, -1, width, height};
    int same = 0;
    for (int i = 0; i < 200 && same < 5; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        auto* at = xcb_translate_coordinates_reply(
            c, xcb_translate_coordinates(c, window, root, 0, 0), nullptr);
        if (at == nullptr) {
            continue;
        }
        const bool moved = at->dst_x != last[0] || at->dst_y != last[1];
        last[0] = at->dst_x;
        last[1] = at->dst_y;
        std::free(at);
        same = moved ? 0 : same + 1;
    }
    return last;
}

}  // namespace

int main(int argc, char** argv) {
    ovra::testing::PanelShape shape;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool valued = i + 1 < argc;
        if (arg == "--wide" && valued) {
            shape.wide = std::atoi(argv[++i]);
        } else if (arg == "--deep" && valued) {
            shape.deep = std::atoi(argv[++i]);
        } else if (arg == "--liar" && valued) {
            shape.liar = std::atoi(argv[++i]);
        } else if (arg == "--no-button") {
            shape.button = false;
        } else {
            std::fprintf(stderr, "usage: %s [--wide N] [--deep N] [--liar N] [--no-button]\n",
                         argv[0]);
            return 2;
        }
    }
    signal(SIGTERM, [](int) { stopped = 1; });
    signal(SIGINT, [](int) { stopped = 1; });

    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "no X display\n");
        return 1;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const std::int32_t width = 800;
    const std::int32_t height = 600;
    const xcb_window_t window = xcb_generate_id(c);
    const std::uint32_t values[] = {screen->white_pixel};
    xcb_create_window(c, XCB_COPY_FROM_PARENT, window, screen->root, 40, 40, width, height, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL,
                      values);
    const char title[] = "Panels";
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                        sizeof title - 1, title);
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, atom(c, "_NET_WM_NAME"),
                        atom(c, "UTF8_STRING"), 8, sizeof title - 1, title);
    const std::uint32_t pid = static_cast<std::uint32_t>(getpid());
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, atom(c, "_NET_WM_PID"), XCB_ATOM_CARDINAL,
                        32, 1, &pid);
    xcb_map_window(c, window);
    xcb_flush(c);
    shape.frame = placed(c, window, screen->root, width, height);

    ovra::testing::FakePanelsApp app(shape);
    if (!app.ready()) {
        std::fprintf(stderr, "no accessibility bus\n");
        return 1;
    }
    std::printf("serving %s\n", app.busName().c_str());
    std::fflush(stdout);
    while (!stopped && !xcb_connection_has_error(c)) {
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            std::free(event);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    xcb_disconnect(c);
    return 0;
}
