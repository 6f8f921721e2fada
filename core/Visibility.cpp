#include "core/Visibility.h"

#include <algorithm>
#include <cmath>

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
    for (std::size_t i = 0; i < controls.size(); ++i) {
        for (std::size_t j = i + 1; j < controls.size(); ++j) {
            const LaidControl& a = controls[i];
            const LaidControl& b = controls[j];
            if (nested(a.path, b.path) || !ringsCollide(a.frame, b.frame)) {
                continue;
            }
            if (!a.label.empty() && a.label == b.label && a.role == b.role) {
                hidden[j] = true;  // whichever is pressed, it is the control the user sees
                continue;
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
                continue;
            }
            if (a.raised != b.raised && onTop) {
                const std::size_t raised = a.raised ? i : j;
                if (onTop(i, j, a.frame.intersection(b.frame).center()) == raised) {
                    hidden[raised == i ? j : i] = true;
                }
            }
        }
    }
    for (std::size_t i = 0; i < hidden.size(); ++i) {
        if (hidden[i]) {
            result.hidden.push_back(i);
        }
    }
    return result;
}

}  // namespace ovra::Visibility
