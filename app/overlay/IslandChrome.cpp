#include "app/overlay/IslandChrome.h"

#include <algorithm>

#include "app/overlay/Suite.h"

namespace ovra {

namespace {

double clamped01(double value) {
    return std::clamp(value, 0.0, 1.0);
}

}  // namespace

IslandGeometry IslandGeometry::of(const Rect& screenFrame, const Rect& visibleFrame,
                                  bool simulateNotch) {
    if (simulateNotch) {
        return {185, 32};
    }
    return {0, std::max(0.0, visibleFrame.minY() - screenFrame.minY())};
}

double IslandChrome::shutScaleX() const {
    if (geometry.notchWidth > 0) {
        return width > 0 ? std::max(geometry.notchWidth / width, 0.1) : 1.0;
    }
    return 0.35;
}

IslandChromeLook IslandChrome::look(double openness, bool reduceMotion) const {
    IslandChromeLook look;
    look.notched = atTop && geometry.notchWidth > 0;
    look.topRadius = look.notched ? 0 : 22;
    look.fill = look.notched ? RgbColor{0, 0, 0} : Suite::slate;
    look.edgeOpacity = look.notched ? 0 : 0.09;
    look.contentTopPadding = look.notched ? geometry.topInset : 0;
    look.contentOpacity = clamped01(openness);
    look.anchoredAtTop = atTop;
    if (reduceMotion) {
        look.opacity = clamped01(openness);
    } else {
        // An opening spring may overshoot: the shell may grow past its size for a moment.
        look.scaleX = shutScaleX() + (1 - shutScaleX()) * openness;
        look.scaleY = 0.25 + 0.75 * openness;
    }
    return look;
}

}  // namespace ovra
