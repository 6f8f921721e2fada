#pragma once

// Two RandR monitors splitting the X server's one screen, side by side or stacked, or anywhere
// on it, for as long as the object lives: the journeys of a window across monitors.

#include <sys/uio.h>
#include <unistd.h>
#include <xcb/randr.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "core/Rect.h"

namespace ovra::testing {

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

}  // namespace ovra::testing
