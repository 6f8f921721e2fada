#pragma once

// The small picture on a feature's card: a miniature window of another app with the overlay at
// work on it (the veil, numbered rings, the side list, a pop-up, a veiled advert, find, "More
// below", the Why panel, remembered choices, the microphone). Vector drawing in a 320 by 170
// design space, scaled uniformly to the width it is given and clipped to a rounded rectangle
// whose corner radius does not scale. Static: it changes only with its feature, its dark flag
// and its size. Screen readers get one image described by one sentence.

#include <QRectF>
#include <string>

#include "core/Instructions.h"

class QPainter;

namespace ovra::FeatureSketch {

inline constexpr qreal kDesignWidth = 320;
inline constexpr qreal kDesignHeight = 170;
inline constexpr qreal kClipRadius = 10;

// The picture's frame for a width: as wide, at the design's aspect ratio.
QRectF frame(qreal width);
// Draws the picture over `frame` (its width sets the scale).
void paint(QPainter& painter, const QRectF& frame, OvraFeature feature, bool dark);
// The sentence that describes the picture, localized.
std::string label(OvraFeature feature);

}  // namespace ovra::FeatureSketch
