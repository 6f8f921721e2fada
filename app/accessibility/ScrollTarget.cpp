#include "app/accessibility/ScrollTarget.h"

#include <algorithm>
#include <cmath>

namespace ovra {

namespace {

double area(const Rect& r) {
    return r.width() * r.height();
}

// The visible part of a region, when it is worth scrolling (at least 100 by 100 points).
std::optional<Rect> visiblePart(const ScrollRegion& region, const Rect& viewport) {
    const Rect part = region.frame.intersection(viewport);
    if (part.isNull() || !(part.width() >= 100) || !(part.height() >= 100)) {
        return std::nullopt;
    }
    return part;
}

// The scroll area's content elements: "AXContents" when it lists any, else its children
// except scroll bars.
std::optional<Rect> documentFrame(BoundedReader& reader, const ax::Element& scrollArea) {
    static constexpr std::string_view kRoleAndFrame[] = {"AXRole", "AXPosition", "AXSize"};
    ax::ElementList contents;
    bool fromChildren = false;
    if (auto read = reader.attribute(scrollArea, "AXContents"); read) {
        if (const auto* list = ax::asElementList(read.value()); list && !list->empty()) {
            for (std::size_t i = 0; i < list->size() && i < kMaxScrollContents; ++i) {
                contents.push_back((*list)[i]);
            }
        }
    }
    if (contents.empty()) {
        auto kids = reader.children(scrollArea, kMaxScrollContents);
        if (kids) {
            contents = std::move(kids).value();
        }
        fromChildren = true;
    }
    std::optional<Rect> best;
    for (const auto& element : contents) {
        const auto values = reader.attributes(element, kRoleAndFrame);
        if (values.size() != 3) {
            continue;
        }
        if (fromChildren && values[0]) {
            if (const auto* role = ax::asString(*values[0]); role && *role == "AXScrollBar") {
                continue;
            }
        }
        if (!values[1] || !values[2]) {
            continue;
        }
        const auto origin = ax::asPoint(*values[1]);
        const auto size = ax::asSize(*values[2]);
        if (!origin || !size) {
            continue;
        }
        const Rect frame(*origin, *size);
        if (!frame.isFinite()) {
            continue;
        }
        if (!best || area(frame) > area(*best)) {
            best = frame;
        }
    }
    return best;
}

}  // namespace

void ScrollRegion::saw(const Rect& contentFrame) {
    if (!(contentFrame.height() > 0)) {
        return;
    }
    if (!(frame.minX() < contentFrame.maxX() && contentFrame.minX() < frame.maxX())) {
        return;
    }
    seenTop = seenTop ? std::min(*seenTop, contentFrame.minY()) : contentFrame.minY();
    seenBottom = seenBottom ? std::max(*seenBottom, contentFrame.maxY()) : contentFrame.maxY();
}

std::optional<ScrollTarget> scrollTarget(BoundedReader& reader,
                                         const std::vector<ScrollRegion>& regions,
                                         const Rect& viewport) {
    struct Visible {
        const ScrollRegion* region;
        Rect part;
    };
    std::vector<Visible> visible;
    for (const auto& region : regions) {
        if (const auto part = visiblePart(region, viewport)) {
            visible.push_back({&region, *part});
        }
    }
    const bool anyWeb = std::any_of(visible.begin(), visible.end(),
                                    [](const Visible& v) { return v.region->web.has_value(); });
    const Visible* best = nullptr;
    for (const auto& candidate : visible) {
        if (anyWeb && !candidate.region->web) {
            continue;
        }
        if (best == nullptr || area(candidate.part) > area(best->part)) {
            best = &candidate;
        }
    }
    if (best == nullptr) {
        return std::nullopt;
    }
    const ScrollRegion& region = *best->region;
    ScrollTarget target;
    target.element = region.element;
    target.signals.visible = region.frame.intersection(viewport);
    if (region.isScrollArea) {
        target.signals.document = region.web ? region.web : documentFrame(reader, region.element);
        if (auto bar = reader.attribute(region.element, "AXVerticalScrollBar"); bar) {
            if (const auto element = ax::asElement(bar.value())) {
                target.scrollBar = *element;
                if (auto value = reader.attribute(*element, "AXValue"); value) {
                    const auto number = ax::asNumber(value.value());
                    if (number && std::isfinite(*number)) {
                        target.signals.scrollBarValue = *number;
                    }
                }
            }
        }
    } else {
        target.signals.document = region.web;
    }
    target.signals.seenTop = region.seenTop;
    target.signals.seenBottom = region.seenBottom;
    return target;
}

}  // namespace ovra
