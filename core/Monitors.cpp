#include "core/Monitors.h"

#include <algorithm>

namespace ovra::Monitors {

namespace {

double sharedArea(const Rect& a, const Rect& b) {
    if (!a.intersects(b)) {
        return 0;
    }
    const Rect shared = a.intersection(b);
    return shared.width() * shared.height();
}

}  // namespace

std::vector<Rect> only(const std::vector<Rect>& screens) {
    std::vector<Rect> monitors;
    for (std::size_t i = 0; i < screens.size(); ++i) {
        // The box around the others it holds whole, when it holds two or more.
        Rect around = Rect::null();
        int held = 0;
        for (std::size_t j = 0; j < screens.size(); ++j) {
            if (j != i && !(screens[j] == screens[i]) && screens[i].contains(screens[j])) {
                around = around.unionWith(screens[j]);
                ++held;
            }
        }
        if (held < 2 || !(around == screens[i])) {
            monitors.push_back(screens[i]);
        }
    }
    return monitors;
}

bool shows(const Rect& frame, const std::vector<Rect>& screens) {
    const std::vector<Rect> monitors = only(screens);
    if (monitors.empty() || frame.isNull() || !frame.isFinite()) {
        return true;  // nowhere known to look, or no place to look at
    }
    return std::any_of(monitors.begin(), monitors.end(), [&](const Rect& monitor) {
        return frame.isEmpty() ? monitor.contains(frame.origin) : frame.intersects(monitor);
    });
}

std::optional<Rect> showing(const Rect& frame, const std::vector<Rect>& monitors) {
    std::optional<Rect> best;
    double most = 0;
    for (const Rect& monitor : monitors) {
        const double area = sharedArea(frame, monitor);
        if (area > most) {
            most = area;
            best = monitor;
        }
    }
    return best;
}

std::optional<Rect> spanned(const Rect& window, const std::vector<Rect>& screens) {
    std::optional<Rect> area;
    for (const Rect& screen : screens) {
        const Rect shown = window.intersection(screen);
        if (!shown.isNull() && shown.width() > 0 && shown.height() > 0) {
            area = area ? area->unionWith(screen) : screen;
        }
    }
    return area;
}

std::vector<Rect> withSpanFirst(const Rect& window, const std::vector<Rect>& screens) {
    const std::optional<Rect> area = spanned(window, screens);
    if (!area) {
        return screens;
    }
    std::vector<Rect> out{*area};
    out.insert(out.end(), screens.begin(), screens.end());
    return out;
}

}  // namespace ovra::Monitors
