#pragma once

// Conversions between the three coordinate spaces and the small placement rules built on them.
//
// Accessibility space: points, origin at the top-left of the root window, y down (on X11 the
// root window's space, which AT-SPI screen extents, XTest and EWMH geometry all use).
// Flipped space: the same plane flipped about one fixed height, y up; windows are placed in it.
// Overlay space: origin at the top-left of the covered screen, y down.
//
// Every flip takes the same height (the root window's), so the conversions stay one consistent
// bijection however the monitors are stacked or sized. All functions are pure.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Json.h"
#include "core/Rect.h"

namespace ovra {

namespace Geometry {

inline constexpr double bottomGap = 48;

enum class IslandPlacement { top, bottom };
enum class IslandSide { center, trailing, leading };

struct IslandSpot {
    IslandPlacement vertical = IslandPlacement::top;
    IslandSide side = IslandSide::center;
    friend bool operator==(const IslandSpot&, const IslandSpot&) = default;
};

// An accessibility rect in the local space of the overlay covering `screenFrame` (flipped space).
Rect overlayRect(const Rect& ax, const Rect& screenFrame, double primaryScreenHeight);

// An accessibility rect in flipped space. Flipping twice gives the rect back, so the same
// function turns a screen frame in flipped space into accessibility space.
Rect appKitRect(const Rect& ax, double primaryScreenHeight);

// The visible part of a window on its screen (both in accessibility space); the window's own
// frame when the two do not meet.
Rect viewport(const Rect& window, const Rect& screenAX);

// The square frame of a ring's number badge, clear of the other rings where possible and
// always inside `bounds` (overlay space).
Rect badgeFrame(const Rect& ring, double size, const std::vector<Rect>& avoiding,
                const Rect& bounds);

// Where the overlay's island panel goes so that it covers as few rings as possible, and none of
// `keepClear` (the on-screen button, which must stay clickable; the chosen control) while any
// spot leaves it free.
IslandSpot islandSpot(const std::vector<Rect>& ovras, Size screen, Size islandSize, double topInset,
                      double badgeSize, const std::vector<Rect>& keepClear = {});
IslandPlacement islandPlacement(const std::vector<Rect>& ovras, Size screen, Size islandSize,
                                double topInset, double badgeSize);

// A window's origin centred on the pointer's screen (flipped space), or none when the window is
// already showing on that screen and should stay where it is.
std::optional<Point> windowOrigin(Size size, const Rect& pointerOn, bool currentlyVisible,
                                  const std::optional<Rect>& currentScreen);

}  // namespace Geometry

namespace PointerMotion {

inline constexpr double threshold = 1.0;

// True when the pointer travelled further than the threshold.
bool moved(Point from, Point to);

}  // namespace PointerMotion

namespace WindowSizing {

inline constexpr double fraction = 0.9;
inline constexpr Size minimum{820, 600};

// The settings window's frame on a screen (flipped space): 90% of it, at least the minimum, never
// larger than the screen, centred.
Rect frame(const Rect& in);

}  // namespace WindowSizing

namespace FlightTrail {

inline constexpr double duration = 1.2;

bool isVisible(bool enabled, std::optional<double> secondsSincePress);

}  // namespace FlightTrail

namespace ConfirmPlacement {

// The confirmation dialog's origin (flipped space): centred across, a tenth of the height above the
// centre, in whole points.
Point origin(Size dialog, const Rect& over);

}  // namespace ConfirmPlacement

namespace ZoomFocus {

inline constexpr double margin = 12;

// Whether the magnifier follows keyboard focus, from the raw stored setting (any type).
bool zoomFollowsFocus(const std::optional<Json>& modeSetting);
bool pointerStaysOnControl(bool zoomFollows);

// The rectangle to hand to the magnifier for a control, or none for a frame too small or not
// a real frame.
std::optional<Rect> rect(const Rect& control);

}  // namespace ZoomFocus

// Where the floating on-screen button sits on the screen edge; persisted by its raw value.
class OvraButtonPlace final {
  public:
    enum Value { rightMiddle, rightTop, rightBottom, leftMiddle, leftTop, leftBottom };

    static constexpr double hitPadding = 16;

    constexpr OvraButtonPlace(Value v) : value_(v) {}
    constexpr operator Value() const { return value_; }

    static const std::array<OvraButtonPlace, 6>& allCases();
    static std::optional<OvraButtonPlace> fromRawValue(std::string_view raw);
    std::string_view rawValue() const;

    bool onLeft() const;
    // Localized.
    std::string label() const;

    // The default place given the desktop's dock or panel orientation ("right" moves the button
    // to the left so the two do not overlap).
    static OvraButtonPlace defaultPlace(const std::optional<std::string>& dockOrientation);
    // Migrates a corner stored by an earlier form of the setting.
    static std::optional<OvraButtonPlace> fromOldCorner(const std::optional<std::string>& corner);

    // The button's square hit area on the screen's visible frame (flipped space).
    Rect hitFrame(const Rect& visible, double drawn) const;

  private:
    Value value_;
};

}  // namespace ovra
