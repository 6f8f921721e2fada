#include "core/Visibility.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace ovra::Visibility {

namespace {

double area(const Rect& r) {
    return std::max(0.0, r.width()) * std::max(0.0, r.height());
}

bool nested(const std::vector<int>& a, const std::vector<int>& b) {
    const auto& shorter = a.size() <= b.size() ? a : b;
    const auto& longer = a.size() <= b.size() ? b : a;
    return std::equal(shorter.begin(), shorter.end(), longer.begin());
}

// Calls `pair(i, j)`, i < j, for each two controls whose frames may meet: a sweep along the
// axis the controls spread most on, so that a page of thousands of controls lying apart costs
// no comparison of each with every other.
template <typename Pair>
void forMeetingPairs(const std::vector<LaidControl>& controls, const Pair& pair) {
    std::vector<std::size_t> order;
    double lowX = INFINITY, highX = -INFINITY, lowY = INFINITY, highY = -INFINITY;
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const Rect& f = controls[i].frame;
        if (f.isFinite() && area(f) > 0) {
            order.push_back(i);
            lowX = std::min(lowX, f.midX()), highX = std::max(highX, f.midX());
            lowY = std::min(lowY, f.midY()), highY = std::max(highY, f.midY());
        }
    }
    const bool alongX = highX - lowX >= highY - lowY;
    const auto low = [&](std::size_t i) {
        return alongX ? controls[i].frame.minX() : controls[i].frame.minY();
    };
    const auto high = [&](std::size_t i) {
        return alongX ? controls[i].frame.maxX() : controls[i].frame.maxY();
    };
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return low(a) < low(b); });
    for (std::size_t a = 0; a < order.size(); ++a) {
        for (std::size_t b = a + 1; b < order.size() && low(order[b]) <= high(order[a]); ++b) {
            const auto [i, j] = std::minmax(order[a], order[b]);
            pair(i, j);
        }
    }
}

bool siblings(const std::vector<int>& a, const std::vector<int>& b) {
    return !a.empty() && a.size() == b.size() && std::equal(a.begin(), a.end() - 1, b.begin());
}

}  // namespace

bool isPlausibleFrame(const Rect& frame, const Rect& area) {
    if (!frame.isFinite() || !area.isFinite() || frame.size.width < 0 || frame.size.height < 0) {
        return false;
    }
    // A small window's area stands for no less than a small screen.
    const double screen = std::max({area.width(), area.height(), kLeastScreen});
    const double most = kMostScreens * screen;
    return frame.width() <= most && frame.height() <= most && frame.minX() >= area.minX() - most &&
           frame.maxX() <= area.maxX() + most && frame.minY() >= area.minY() - most &&
           frame.maxY() <= area.maxY() + most;
}

bool ringsCollide(const Rect& a, const Rect& b) {
    const double smaller = std::min(area(a), area(b));
    const double larger = std::max(area(a), area(b));
    if (!(smaller > 0) || !a.intersects(b)) {
        return false;
    }
    const double shared = area(a.intersection(b));
    return shared * 2 >= smaller && smaller * 4 >= larger;
}

Overlaps hiddenByOverlap(const std::vector<LaidControl>& controls, const OnTop& onTop) {
    Overlaps result;
    std::vector<bool> hidden(controls.size(), false);
    forMeetingPairs(controls, [&](std::size_t i, std::size_t j) {
        const LaidControl& a = controls[i];
        const LaidControl& b = controls[j];
        if (!ringsCollide(a.frame, b.frame) || nested(a.path, b.path)) {
            return;
        }
        if (!a.label.empty() && a.label == b.label && a.role == b.role) {
            hidden[j] = true;  // whichever is pressed, it is the control the user sees
            return;
        }
        if (siblings(a.path, b.path)) {
            const bool aClear = a.opaque == false;
            const bool bClear = b.opaque == false;
            if (aClear != bClear) {
                hidden[aClear ? i : j] = true;
            } else {
                hidden[i] = hidden[j] = true;
                ++result.untold;
            }
            return;
        }
        if (a.raised != b.raised && onTop) {
            const std::size_t raised = a.raised ? i : j;
            if (onTop(i, j, a.frame.intersection(b.frame).center()) == raised) {
                hidden[raised == i ? j : i] = true;
            }
        }
    });
    for (std::size_t i = 0; i < hidden.size(); ++i) {
        if (hidden[i]) {
            result.hidden.push_back(i);
        }
    }
    return result;
}

}  // namespace ovra::Visibility
