#pragma once

// Reaching more than the numbered highlights: the scroll vocabulary shared with the page
// scroller and the key map, the verdict on whether a page has more above or below, the
// synthetic "More below"/"More above" plan entries, and find over a plan's items.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Rect.h"

namespace ovra {

// Complete in "core/FocusPlan.h", which callers of item and matches include.
struct FocusItem;
struct FocusPlan;

enum class ScrollDirection { up, down };

// "up" or "down".
std::string_view rawValue(ScrollDirection direction);
// The direction named by raw, or none for any other text.
std::optional<ScrollDirection> scrollDirectionFromRaw(std::string_view raw);

enum class ScrollStep { page, small };

// Share of the visible height one step scrolls: 0.9 for a page, a third for a small step.
double fraction(ScrollStep step);
// The visible height times the step's fraction, rounded half away from zero, at least 1.
double points(ScrollStep step, double visibleHeight);

// Whether there is more of the page above or below the visible part.
struct ScrollExtent {
    bool moreAbove = false;
    bool moreBelow = false;

    static constexpr ScrollExtent none() { return {}; }
    friend bool operator==(const ScrollExtent&, const ScrollExtent&) = default;
};

// What the accessibility walk saw of one scroll area; accessibility coordinates.
struct ScrollSignals {
    Rect visible;                          // the on-screen part of the scroll area
    std::optional<Rect> document;          // the whole scrolled content, when known
    std::optional<double> scrollBarValue;  // 0 at the top, 1 at the bottom, when readable
    std::optional<double> seenTop;         // smallest minY of content seen inside the area
    std::optional<double> seenBottom;      // greatest maxY of content seen inside the area

    friend bool operator==(const ScrollSignals&, const ScrollSignals&) = default;
};

namespace ScrollMore {

inline constexpr std::string_view belowID = "ovra.scroll.below";
inline constexpr std::string_view aboveID = "ovra.scroll.above";
// The candidate role of every scroll item.
inline constexpr std::string_view role = "OvraScroll";

bool isScroll(std::string_view id);
// down for the "More below" item, up for "More above", none for any other id.
std::optional<ScrollDirection> direction(std::string_view id);
ScrollExtent extent(const ScrollSignals& signals);
// Centred horizontally, 16 points inside the bottom (down) or top (up) edge of visible.
Rect frame(ScrollDirection direction, const Rect& visible, const Size& size);
// The synthetic "More below" (down) or "More above" (up) plan entry.
FocusItem item(ScrollDirection direction, const Rect& visible, const Size& size);

}  // namespace ScrollMore

namespace FindMatcher {

// Ignores capitals, accents and character width; white space runs become one space and the
// ends are trimmed.
std::string fold(std::string_view text);
// Ids of the plan's items whose display label or label contains the folded query, in reveal
// order; every item for an empty query. Scroll items are never found.
std::vector<std::string> matches(std::string_view query, const FocusPlan& plan);

}  // namespace FindMatcher

namespace FindScope {

// Candidate budget of a window read made for find.
inline constexpr int budget = 150;

// True when the last read used a smaller budget than a find's and filled it.
bool needsWiderRead(int candidates, int lastBudget);

}  // namespace FindScope
}  // namespace ovra
