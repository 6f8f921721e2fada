#pragma once

// Draws an island's shell with Qt, and gives the transform its content is drawn with (the shell
// and its content scale together while opening and shutting).

#include <QPainterPath>
#include <QRectF>
#include <QTransform>

#include "app/overlay/IslandChrome.h"

class QPainter;
class QScreen;

namespace ovra {

// The island geometry of a Qt screen (its geometry and available geometry).
IslandGeometry islandGeometry(const QScreen& screen, bool simulateNotch);

// The scale about the island's fixed edge (top or bottom, horizontally centred).
QTransform islandTransform(const QRectF& frame, const IslandChromeLook& look);
// The shell's outline over `frame` under `look`'s transform.
QPainterPath islandShellPath(const QRectF& frame, const IslandChromeLook& look);
// Fills and edges the shell over `frame` (logical pixels) under `look`'s transform.
void paintIslandShell(QPainter& painter, const QRectF& frame, const IslandChromeLook& look);

}  // namespace ovra
