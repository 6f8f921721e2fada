#pragma once

// The layout step of the painted overlay: turns the model, the screen's size, the desktop's
// accessibility settings and the measured height of the information panel into the scene the
// painter draws. Pure: no Qt, no clock. Also the texts of the sidebar and the one mapping from
// accessibility frames into the overlay's space.

#include <optional>
#include <string>
#include <vector>

#include "app/overlay/OverlayModel.h"
#include "app/overlay/OverlayScene.h"

namespace ovra {

namespace OverlaySpace {

// An accessibility frame (device pixels of the root window) in the logical pixels of the overlay
// covering the screen whose device-pixel frame is `screenNative`, at `devicePixelRatio`.
Rect fromAccessibility(const Rect& ax, const Rect& screenNative, double devicePixelRatio);
// The same as the model's frame mapping for that screen.
OverlayModel::RectMapping mapping(const Rect& screenNative, double devicePixelRatio);
// What an overlay over a window at `window` covers (device pixels of the root window): every
// screen the window shows on, as one rectangle, since a window spans monitors; none when it
// shows on no screen.
std::optional<Rect> coveredArea(const Rect& window, const std::vector<Rect>& screens);

}  // namespace OverlaySpace

struct OverlayLayoutInput {
    Size screen;
    OverlayEnvironment environment;
    // The information panel's content height as last measured (paddings included); 0 before
    // the first measure.
    double hudHeight = 0;
    // The selected sidebar row in the overlay's space, when the sidebar shows one.
    std::optional<Rect> selectedRowFrame;
    // The text scale the information panel was measured at (0: the model's).
    double hudTextScale = 0;
};

namespace OverlayLayout {

inline constexpr double holeOutset = 6;
inline constexpr double holeRadius = 10;
inline constexpr double ringOutset = 6;
inline constexpr double secondaryOutset = 4;
inline constexpr double veilOutset = 3;
inline constexpr double minimumHit = 44;
inline constexpr double hudPaddingX = 28;
inline constexpr double hudPaddingY = 20;

OverlayScene layout(const OverlayModel& model, const OverlayLayoutInput& input);

// The frames cut out of the dim layer (before their outset): none unless a plan shows.
std::vector<Rect> holeRects(const OverlayModel& model);
double sidebarWidth(double screenWidth, double textScale);
// The tallest the information panel may be on `screen`: it keeps 8 below the top inset or 48
// above the bottom edge.
double hudRoom(Size screen, double topInset);
// Where the information panel stands: on the first of the model's monitors, within the screen;
// the whole screen when the model names no monitor.
Rect hudArea(const OverlayModel& model, Size screen);
// 820 × the text scale, but never wider than its area beside the sidebar less 32, so the
// largest text size cannot push the hints off the screen.
double hudWidth(const OverlayModel& model, Size screen);
HudContent hudContent(const OverlayModel& model);
// The second line under the selected item's name.
std::string detail(const OverlayModel& model, const FocusItem& item);
std::string summary(const OverlayModel& model, const FocusPlan& plan);
// The digit up to 9, "•" from 10.
std::string badgeText(int number);
// The sidebar connector from a row's frame to a control's frame.
Connector connector(const Rect& row, const Rect& control);

}  // namespace OverlayLayout

namespace SidebarText {

std::string countLine(int things);
std::string matchLine(int matches);
// "probably: <reason>" for a veiled item with a reason, else its role's name.
std::string detail(const FocusItem& item);
// "n, label, role" (no number when the item has none).
std::string accessibleName(std::optional<int> number, const FocusItem& item);

}  // namespace SidebarText

}  // namespace ovra
