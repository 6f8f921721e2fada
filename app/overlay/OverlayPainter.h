#pragma once

// Draws an overlay scene with QPainter: the dim layer with its holes (over a grabbed backdrop
// when there is no compositing manager), veils, rings with their glow and badges, scroll pills,
// the sidebar connector and the information panel in its island shell. It decides nothing: the
// layout step has.

#include <QImage>
#include <QPointF>
#include <cstdint>
#include <string>

#include "app/overlay/OverlayScene.h"

class QPainter;

namespace ovra {

// The animated values of one frame.
struct OverlayMotionState {
    double openness = 1;         // 0 shut … 1 open; the dim, plan, connector and shell follow it
    double pulse = 1;            // the opacity of pulsing rings
    std::optional<Point> hudAt;  // the panel's origin while it moves; else its frame's
    double spinnerTurn = 0;      // 0…1, the loading spinner's rotation
    bool reduceMotion = false;
};

// Drawings kept from frame to frame: the dimmed screen (under the holes, over a grabbed
// backdrop), the plan layer but its pulsing strokes, and the open information panel. Each is
// kept with an exact key of what it shows, so that any frame or scene laid out anew that shows
// the same reuses it. A plan is drawn directly the first time it is painted (its first frame
// pays for no layer) and kept as a layer once it is painted again.
struct OverlayPaintCache {
    qreal devicePixelRatio = 0;
    std::uint64_t generation = 0;  // of the scene the keys below were last checked against
    std::string dimKey;
    QImage dimmed;
    std::string planKey;
    QImage plan;
    std::string hudKey;
    QImage hud;
};

namespace OverlayPainter {

// The information panel's height for its content at `width` (paddings included, before any
// notch padding).
double hudHeight(const HudContent& content, double width, double textScale);
// The largest text scale up to `textScale` at which the panel's content at `width` is at most
// `maxHeight` tall; the smallest scale tried when none is.
double hudTextScale(const HudContent& content, double width, double textScale, double maxHeight);

// Paints the whole scene. With a backdrop (the screen as it was, for desktops without a
// compositing manager) everything is painted opaque over it; without one the painter's device
// must start transparent (as a translucent window's backing store does).
void paint(QPainter& painter, const OverlayScene& scene, const OverlayMotionState& motion,
           const QImage* backdrop = nullptr, OverlayPaintCache* cache = nullptr);

}  // namespace OverlayPainter

}  // namespace ovra
