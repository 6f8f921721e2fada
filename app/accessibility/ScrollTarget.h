#pragma once

// The scroll areas and pieces of web content a window walk meets, and the choice of the one
// that page scrolling drives, with the evidence of whether there is more above or below.

#include <optional>
#include <vector>

#include "app/accessibility/BoundedReader.h"
#include "core/FindAndScroll.h"
#include "core/Rect.h"
#include "platform/accessibility/AccessibilityBackend.h"

namespace ovra {

struct ScrollRegion {
    ax::Element element;
    Rect frame;
    bool isScrollArea = false;
    // Scroll area: its tallest web content; web content: its own frame.
    std::optional<Rect> web;
    std::optional<double> seenTop;
    std::optional<double> seenBottom;

    // Widens the seen extent by a content frame that overlaps the region horizontally.
    void saw(const Rect& contentFrame);
};

struct ScrollTarget {
    ax::Element element;
    std::optional<ax::Element> scrollBar;
    ScrollSignals signals;
};

// At most this many children of a scroll area are read as candidates for its document frame.
inline constexpr std::size_t kMaxScrollContents = 64;

// The region page scrolling should drive, among those at least 100 by 100 points inside the
// viewport; regions holding web content are preferred, then the largest visible area.
std::optional<ScrollTarget> scrollTarget(BoundedReader& reader,
                                         const std::vector<ScrollRegion>& regions,
                                         const Rect& viewport);

}  // namespace ovra
