#pragma once

// The visible shape of the overlay's window with single pixels left out ("pinholes"). Without a
// compositing manager the overlay covers the windows below whole, and a window that knows
// itself covered whole may stop taking clicks (Chromium) or take its content off its
// accessibility tree (Firefox); a pixel left uncovered is enough for neither to happen.

#include <vector>

#include "core/Rect.h"
#include "platform/x11/OwnWindows.h"

namespace ovra::pinholes {

struct Pixel {
    int x = 0;
    int y = 0;
    bool operator==(const Pixel&) const = default;
};

// A shape of `width` by `height` pixels less each of `holes` (those outside it are ignored), as
// rectangles that do not overlap.
std::vector<x11::ShapeRect> shapeWithHoles(int width, int height, std::vector<Pixel> holes);
// Each of `holes` inside a shape of `width` by `height` pixels as a rectangle of one pixel.
std::vector<x11::ShapeRect> holesInside(int width, int height, const std::vector<Pixel>& holes);
// A hole every `spacing` pixels each way, so that every window below keeps a pixel.
std::vector<x11::ShapeRect> grid(int width, int height, int spacing = 48);
// A hole near each corner of `window` (pixels of the shape), past any border a window manager
// draws around it.
std::vector<Pixel> nearCorners(const Rect& window);

}  // namespace ovra::pinholes
