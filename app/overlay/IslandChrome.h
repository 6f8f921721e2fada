#pragma once

// Where an island hangs on a screen, and how its shell looks: the dark, unevenly rounded shape
// the home island and the overlay's information panel are drawn in, opening from the notch (or
// from a small tab under the top panel) and shutting into it. Pure values; the Qt painter draws
// them.

#include "core/Rect.h"
#include "core/SettingsTypes.h"

namespace ovra {

struct IslandGeometry {
    double notchWidth = 0;  // 0 when the screen has no notch
    double topInset = 0;    // the height the notch or the top panel takes

    // The geometry of a screen from its frame and the part of it free of panels (both with y
    // down). This desktop has no camera notch; "--simulate-notch" pretends one.
    static IslandGeometry of(const Rect& screenFrame, const Rect& visibleFrame, bool simulateNotch);

    friend bool operator==(const IslandGeometry&, const IslandGeometry&) = default;
};

// How the shell and its content are drawn at one moment.
struct IslandChromeLook {
    bool notched = false;   // hangs from the notch
    double topRadius = 22;  // 0 when notched
    double bottomRadius = 22;
    RgbColor fill;              // black when notched, so the shell merges with the notch
    double edgeOpacity = 0.09;  // a thin white edge; none when notched
    double contentTopPadding = 0;
    double contentOpacity = 1;
    double scaleX = 1;
    double scaleY = 1;
    bool anchoredAtTop = true;  // the scale's fixed edge
    double opacity = 1;
};

struct IslandChrome {
    IslandGeometry geometry;
    bool atTop = true;  // hangs from the top of the screen rather than sitting at the bottom
    double width = 0;   // the island's greatest width

    // The look at `openness`, 0 shut and 1 open (an opening animation passes the values
    // between). With reduce motion nothing scales and the whole island fades.
    IslandChromeLook look(double openness, bool reduceMotion) const;
    // The horizontal scale of the shut shell.
    double shutScaleX() const;
};

}  // namespace ovra
