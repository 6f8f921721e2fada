#pragma once

// What the painted overlay shows at one moment, in the overlay's own space (logical pixels,
// origin at the top-left of the covered screen): the holes in the dim layer, the veils, rings,
// badges and scroll pills, the hit areas, the sidebar's place and the information panel's texts
// and frame. The layout step makes it from the model; the painter only draws it.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/overlay/IslandChrome.h"
#include "app/overlay/KeyHints.h"
#include "core/FindAndScroll.h"
#include "core/Geometry.h"
#include "core/Rect.h"
#include "core/SettingsTypes.h"

namespace ovra {

// The desktop's accessibility settings the overlay follows.
struct OverlayEnvironment {
    bool reduceMotion = false;
    bool reduceTransparency = false;
    bool increasedContrast = false;
};

// A number in a circle: the digit up to 9, "•" from 10.
struct Badge {
    Rect frame;
    std::string text;
    bool selected = false;
    RgbColor color;
};

struct Veil {
    std::string id;
    Rect rect;
    bool outlined = false;  // everything is shown: dashed outline, no fill
    bool selected = false;
    std::optional<std::string> label;  // "Probably: …" when the veil has room for it
};

// A dashed white ring on a reachable control (show-all) or a find match.
struct SecondaryRing {
    std::string id;
    Rect rect;
    bool selected = false;
    std::optional<Badge> badge;
};

struct Ring {
    std::string id;
    Rect rect;  // the control's frame grown by the ring's outset
    bool selected = false;
    double lineWidth = 4;
    bool pulses = false;  // the stroke's opacity follows the pulse
    std::optional<RgbColor> glow;
    double glowOpacity = 0;
    double glowRadius = 0;
    std::optional<Badge> badge;
};

struct ScrollPill {
    std::string id;
    Rect rect;
    bool selected = false;
    ScrollDirection direction = ScrollDirection::down;
    std::string label;
    double lineWidth = 4;
    std::optional<Badge> badge;
};

// A click target, front-most first in the scene's list. A target without an id takes the click
// and does nothing (a veil outside show-all, the information panel).
struct HitArea {
    Rect rect;
    std::optional<std::string> id;
    bool capsule = false;
};

// A control of the overlay as a screen reader sees it: a button with a name.
struct AccessibleControl {
    std::string id;
    Rect rect;
    std::string name;
};

// The curve from the selected sidebar row to its control.
struct Connector {
    Point start;
    Point control1;
    Point control2;
    Point end;
};

// What the information panel says.
struct HudContent {
    enum class Kind { loading, message, ready };
    Kind kind = Kind::message;
    // Loading: "Simplifying …"; message: its text; ready: the top line unless an item is shown.
    std::string headline;
    // Ready with a numbered selection: its badge, label and details.
    std::optional<std::string> badgeText;
    std::string label;
    std::string detail;
    std::vector<KeyHintRow> hints;
    std::string summary;
};

struct HudPlacement {
    Geometry::IslandSpot spot;
    IslandChrome chrome;
    Rect frame;  // at its spot, before any move animation
    // When the panel covers the chosen control at every spot: the tallest it may be to stand
    // clear of it, above or below it; 0 when it covers no chosen control.
    double roomClearOfChosen = 0;
};

struct OverlayScene {
    // Told apart by the view, which numbers the scenes it lays out (0: not numbered); drawings
    // kept between frames belong to one number.
    std::uint64_t generation = 0;
    Size size;
    double textScale = 1;
    // The information panel's own text scale: smaller than the text scale where the panel would
    // not fit on the screen at that.
    double hudTextScale = 1;
    RgbColor theme;
    double dimOpacity = 0.78;
    std::vector<Rect> holes;  // each a rounded rect (radius 10) cut from the dim layer
    bool planVisible = false;
    // Back to front.
    std::vector<Veil> veils;
    std::vector<SecondaryRing> secondaries;
    std::vector<Ring> rings;
    std::vector<ScrollPill> scrollPills;
    std::optional<Connector> connector;
    bool sidebarShown = false;
    double sidebarWidth = 0;
    HudContent hud;
    // The sentence the information panel shows (a message, a notice), which screen readers
    // find as text in the overlay; empty when it shows none.
    std::string panelSentence;
    HudPlacement hudPlacement;
    std::vector<HitArea> hits;
    std::vector<AccessibleControl> controls;
};

}  // namespace ovra
