#include "core/Geometry.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

#include "core/OvraText.h"

namespace ovra {

namespace Geometry {

Rect overlayRect(const Rect& ax, const Rect& screenFrame, double primaryScreenHeight) {
    return Rect(ax.minX() - screenFrame.minX(),
                ax.minY() - (primaryScreenHeight - screenFrame.maxY()), ax.width(), ax.height());
}

Rect appKitRect(const Rect& ax, double primaryScreenHeight) {
    return Rect(ax.minX(), primaryScreenHeight - ax.maxY(), ax.width(), ax.height());
}

Rect viewport(const Rect& window, const Rect& screenAX) {
    const Rect visible = window.intersection(screenAX);
    return visible.isNull() ? window : visible;
}

Rect badgeFrame(const Rect& ring, double size, const std::vector<Rect>& avoiding,
                const Rect& bounds) {
    const double s = size;
    std::vector<Rect> obstacles;
    obstacles.reserve(avoiding.size() + 1);
    for (const Rect& frame : avoiding)
        obstacles.push_back(frame.insetBy(-4, -4));
    obstacles.push_back(ring);

    // std::min/std::max rather than std::clamp: bounds narrower than the badge must not be UB.
    const auto clamped = [&](double x, double y) {
        return Rect(std::min(std::max(x, bounds.minX()), bounds.maxX() - s),
                    std::min(std::max(y, bounds.minY()), bounds.maxY() - s), s, s);
    };
    const std::array<Rect, 4> tries{
        clamped(ring.minX() - s - 8, ring.midY() - s / 2),  // left
        clamped(ring.minX(), ring.minY() - s - 8),          // above (y down)
        clamped(ring.minX(), ring.maxY() + 8),              // below
        clamped(ring.maxX() + 8, ring.midY() - s / 2),      // right
    };
    for (const Rect& candidate : tries) {
        const bool collides = std::any_of(obstacles.begin(), obstacles.end(),
                                          [&](const Rect& o) { return candidate.intersects(o); });
        if (!collides)
            return candidate;
    }
    return clamped(ring.minX() + 4, ring.midY() - s / 2);
}

IslandSpot islandSpot(const std::vector<Rect>& ovras, Size screen, Size islandSize, double topInset,
                      double badgeSize, const std::vector<Rect>& keepClear) {
    constexpr IslandSpot kFirst{IslandPlacement::top, IslandSide::center};
    if (ovras.empty() && keepClear.empty())
        return kFirst;

    std::vector<Rect> obstacles;
    obstacles.reserve(ovras.size());
    const double grow = badgeSize + 8;
    for (const Rect& ring : ovras)
        obstacles.push_back(ring.insetBy(-grow, -grow));

    const double w = std::min(screen.width, islandSize.width);
    const double f = screen.width - w;
    const double topHeight = islandSize.height + topInset + 12;
    const double bottomHeight = islandSize.height + bottomGap + 12;
    const double bottomY = screen.height - bottomHeight;

    constexpr std::array<IslandSpot, 6> kSpots{{
        {IslandPlacement::top, IslandSide::center},
        {IslandPlacement::bottom, IslandSide::center},
        {IslandPlacement::top, IslandSide::trailing},
        {IslandPlacement::bottom, IslandSide::trailing},
        {IslandPlacement::top, IslandSide::leading},
        {IslandPlacement::bottom, IslandSide::leading},
    }};

    IslandSpot best = kFirst;
    std::size_t fewest = std::numeric_limits<std::size_t>::max();
    for (const IslandSpot& spot : kSpots) {
        const double x = spot.side == IslandSide::center     ? f / 2
                         : spot.side == IslandSide::trailing ? f
                                                             : 0;
        const Rect area = spot.vertical == IslandPlacement::top ? Rect(x, 0, w, topHeight)
                                                                : Rect(x, bottomY, w, bottomHeight);
        auto hits = static_cast<std::size_t>(std::count_if(
            obstacles.begin(), obstacles.end(), [&](const Rect& o) { return area.intersects(o); }));
        // Covering the button or the chosen control weighs more than covering every ring.
        for (const Rect& clear : keepClear)
            if (area.intersects(clear))
                hits += obstacles.size() + 1;
        if (hits == 0)
            return spot;
        if (hits < fewest) {
            fewest = hits;
            best = spot;
        }
    }
    return best;
}

IslandPlacement islandPlacement(const std::vector<Rect>& ovras, Size screen, Size islandSize,
                                double topInset, double badgeSize) {
    return islandSpot(ovras, screen, islandSize, topInset, badgeSize).vertical;
}

std::optional<Point> windowOrigin(Size size, const Rect& pointerOn, bool currentlyVisible,
                                  const std::optional<Rect>& currentScreen) {
    if (currentlyVisible && currentScreen && currentScreen->equals(pointerOn))
        return std::nullopt;
    return Point{pointerOn.midX() - size.width / 2, pointerOn.midY() - size.height / 2};
}

}  // namespace Geometry

namespace PointerMotion {

bool moved(Point from, Point to) {
    return std::hypot(to.x - from.x, to.y - from.y) > threshold;
}

}  // namespace PointerMotion

namespace WindowSizing {

Rect frame(const Rect& in) {
    const double width = std::min(std::max(fraction * in.width(), minimum.width), in.width());
    const double height = std::min(std::max(fraction * in.height(), minimum.height), in.height());
    return Rect(in.midX() - width / 2, in.midY() - height / 2, width, height);
}

}  // namespace WindowSizing

namespace FlightTrail {

bool isVisible(bool enabled, std::optional<double> secondsSincePress) {
    return enabled && secondsSincePress && *secondsSincePress >= 0 && *secondsSincePress < duration;
}

}  // namespace FlightTrail

namespace ConfirmPlacement {

Point origin(Size dialog, const Rect& over) {
    // std::round rounds halves away from zero.
    return Point{std::round(over.midX() - dialog.width / 2),
                 std::round(over.midY() - dialog.height / 2 + over.height() / 10)};
}

}  // namespace ConfirmPlacement

namespace ZoomFocus {

bool zoomFollowsFocus(const std::optional<Json>& modeSetting) {
    if (!modeSetting)
        return false;
    const Json& value = *modeSetting;
    if (value.is_number_integer())
        return value.get<std::int64_t>() == 1;
    if (value.is_number_unsigned())
        return value.get<std::uint64_t>() == 1;
    if (value.is_number_float()) {
        // A stored real counts by its integer part, as a number's integer value does.
        const double d = value.get<double>();
        return std::isfinite(d) && std::trunc(d) == 1.0;
    }
    return false;
}

bool pointerStaysOnControl(bool zoomFollows) {
    return zoomFollows;
}

std::optional<Rect> rect(const Rect& control) {
    if (control.isNull() || !control.isFinite())
        return std::nullopt;
    if (!(control.width() >= 1) || !(control.height() >= 1))
        return std::nullopt;
    return control.insetBy(-margin, -margin);
}

}  // namespace ZoomFocus

// ---- OvraButtonPlace ----

namespace {

struct PlaceRow {
    std::string_view raw;
    bool onLeft;
    std::string_view label;
};

constexpr std::array<PlaceRow, 6> kPlaces{{
    {"rightMiddle", false, OvraText::mark("Right edge, middle")},
    {"rightTop", false, OvraText::mark("Right edge, top")},
    {"rightBottom", false, OvraText::mark("Right edge, bottom")},
    {"leftMiddle", true, OvraText::mark("Left edge, middle")},
    {"leftTop", true, OvraText::mark("Left edge, top")},
    {"leftBottom", true, OvraText::mark("Left edge, bottom")},
}};

const PlaceRow& row(OvraButtonPlace::Value v) {
    return kPlaces[static_cast<std::size_t>(v)];
}

}  // namespace

const std::array<OvraButtonPlace, 6>& OvraButtonPlace::allCases() {
    static const std::array<OvraButtonPlace, 6> cases{rightMiddle, rightTop, rightBottom,
                                                      leftMiddle,  leftTop,  leftBottom};
    return cases;
}

std::optional<OvraButtonPlace> OvraButtonPlace::fromRawValue(std::string_view raw) {
    for (const OvraButtonPlace place : allCases())
        if (place.rawValue() == raw)
            return place;
    return std::nullopt;
}

std::string_view OvraButtonPlace::rawValue() const {
    return row(value_).raw;
}

bool OvraButtonPlace::onLeft() const {
    return row(value_).onLeft;
}

std::string OvraButtonPlace::label() const {
    return OvraText::t(row(value_).label);
}

OvraButtonPlace OvraButtonPlace::defaultPlace(const std::optional<std::string>& dockOrientation) {
    return dockOrientation == "right" ? leftTop : rightTop;
}

std::optional<OvraButtonPlace> OvraButtonPlace::fromOldCorner(
    const std::optional<std::string>& corner) {
    if (!corner)
        return std::nullopt;
    if (*corner == "topRight")
        return rightTop;
    if (*corner == "bottomRight")
        return rightBottom;
    if (*corner == "bottomLeft")
        return leftBottom;
    if (*corner == "topLeft")
        return leftTop;
    return std::nullopt;
}

Rect OvraButtonPlace::hitFrame(const Rect& visible, double drawn) const {
    const double s = drawn + hitPadding;
    const double x = onLeft() ? visible.minX() : visible.maxX() - s;
    double y = 0;
    switch (value_) {
        case rightMiddle:
        case leftMiddle:
            y = visible.midY() - s / 2;
            break;
        case rightTop:
        case leftTop:
            y = visible.maxY() - s - 6;
            break;
        case rightBottom:
        case leftBottom:
            y = visible.minY() + 6;
            break;
    }
    return Rect(x, y, s, s);
}

}  // namespace ovra
