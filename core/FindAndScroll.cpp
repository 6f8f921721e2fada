#include "core/FindAndScroll.h"

#include <algorithm>
#include <cmath>

namespace ovra {

std::string_view rawValue(ScrollDirection direction) {
    return direction == ScrollDirection::up ? "up" : "down";
}

std::optional<ScrollDirection> scrollDirectionFromRaw(std::string_view raw) {
    if (raw == "up")
        return ScrollDirection::up;
    if (raw == "down")
        return ScrollDirection::down;
    return std::nullopt;
}

double fraction(ScrollStep step) {
    return step == ScrollStep::page ? 0.9 : 1.0 / 3.0;
}

double points(ScrollStep step, double visibleHeight) {
    const double raw = std::round(visibleHeight * fraction(step));
    // NaN fails the comparison and falls back to the floor of one point.
    return raw >= 1 ? raw : 1;
}

namespace ScrollMore {

bool isScroll(std::string_view id) {
    return id == belowID || id == aboveID;
}

std::optional<ScrollDirection> direction(std::string_view id) {
    if (id == belowID)
        return ScrollDirection::down;
    if (id == aboveID)
        return ScrollDirection::up;
    return std::nullopt;
}

ScrollExtent extent(const ScrollSignals& s) {
    const Rect& visible = s.visible;
    if (!(visible.height() > 0))
        return ScrollExtent::none();

    if (s.document && visible.height() + 8 < s.document->height()) {
        return {.moreAbove = s.document->minY() < visible.minY() - 8,
                .moreBelow = visible.maxY() + 8 < s.document->maxY()};
    }
    if (!s.document && s.scrollBarValue) {
        const double value = *s.scrollBarValue;
        return {.moreAbove = value > 0.01, .moreBelow = value < 0.99};
    }
    const double margin = std::max(visible.height() * 0.1, 8.0);
    return {.moreAbove =
                s.seenTop &&
                *s.seenTop<visible.minY() - margin, .moreBelow = s.seenBottom&& * s.seenBottom>
                        visible.maxY() +
                    margin};
}

Rect frame(ScrollDirection direction, const Rect& visible, const Size& size) {
    const double w = std::min(visible.width(), size.width);
    const double h = std::min(visible.height(), size.height);
    const double x = std::round(visible.midX() - w / 2);
    const double y = direction == ScrollDirection::down ? std::round(visible.maxY() - h - 16)
                                                        : std::round(visible.minY() + 16);
    return {x, y, w, h};
}

}  // namespace ScrollMore

namespace FindScope {

bool needsWiderRead(int candidates, int lastBudget) {
    return lastBudget < budget && candidates >= lastBudget;
}

}  // namespace FindScope
}  // namespace ovra
