#include "app/diagnostics/selftest/Fixture.h"

#include <array>
#include <string_view>

namespace ovra::selftest {

namespace {

struct Control {
    std::string_view role;
    std::string_view title;
};

constexpr std::array<Control, 6> kControls{{
    {"AXButton", "Canción nueva"},
    {"AXButton", "Continue"},
    {"AXButton", "Cancel"},
    {"AXButton", "Upgrade to Premium"},
    {"AXButton", "Place order"},
    {"AXLink", "Privacy policy"},
}};

constexpr Rect kVisible{200, 180, 1000, 640};
constexpr double kDocumentHeight = 3000;

}  // namespace

WindowSnapshot fixture(double offset, std::int64_t pid) {
    WindowSnapshot window;
    window.app = {pid, "Murmlark Ovra"};
    window.appName = "Fixture";
    window.windowTitle = "Fixture";
    window.windowFrame = Rect(200, 120, 1000, 700);
    window.viewport = kVisible;
    int n = 1;
    for (const Control& control : kControls) {
        UICandidate candidate;
        candidate.id = "c" + std::to_string(n);
        candidate.role = std::string(control.role);
        candidate.title = std::string(control.title);
        candidate.frame = Rect(520, 220 + 70 * (n - 1), 220, 36);
        candidate.order = n;
        window.candidates.push_back(std::move(candidate));
        ++n;
    }
    ScrollTarget scroll;
    scroll.signals.visible = kVisible;
    scroll.signals.document = Rect(200, 180 - offset, 1000, kDocumentHeight);
    window.scroll = std::move(scroll);
    return window;
}

}  // namespace ovra::selftest
