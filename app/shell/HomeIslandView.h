#pragma once

// The look of the home island: where its rows, status line and key hints stand for a screen
// and a text scale, and how they are painted inside the island's shell. The island is 620 ×
// scale wide at most and never wider than the screen less 32 pixels; when it would be taller
// than the screen below its top, the scale shrinks until it fits.

#include <QPainterPath>
#include <QRectF>
#include <QString>
#include <vector>

#include "app/shell/HomeIslandController.h"

class QPainter;

namespace ovra {

struct IslandRowLayout {
    QRectF row, badge, icon, title, subtitle;
    QString titleText, subtitleText;
};

struct IslandHintLayout {
    QRectF chip, chipText, label;
    QString chipLabel, labelText;
};

struct IslandLayout {
    double scale = 1;      // the text scale in use, after clamping and fitting
    QRectF island;         // the shell, in the window's coordinates
    QPointF windowOrigin;  // the window's top-left, from the screen's top-left
    std::vector<IslandRowLayout> rows;
    QRectF status;
    QString statusText;
    std::vector<IslandHintLayout> hints;
};

namespace HomeIslandView {

inline constexpr double kWidth = 620;
inline constexpr double kMinRowHeight = 64;
inline constexpr double kScreenMargin = 16;  // each side, and below the island
inline constexpr double kMinScale = 1.0;
inline constexpr double kMaxScale = 2.0;
inline constexpr double kSmallestFittingScale = 0.4;

// Where everything stands on a screen of `screenSize` logical pixels.
IslandLayout layout(const HomeIslandModel& model, QSizeF screenSize);
// The island's chrome at `openness` (0 shut, 1 open).
IslandChrome chrome(const HomeIslandModel& model, const IslandLayout& layout);
// The shell's outline at `openness`, in the window's coordinates.
QPainterPath shellShape(const HomeIslandModel& model, const IslandLayout& layout, double openness,
                        bool reduceMotion);
// The row under a point of the window; -1 for none.
int rowAt(const IslandLayout& layout, QPointF point);
// Paints the island. `opaque`: there is no compositing manager, so nothing may be translucent
// against the screen (the shell is drawn whole and only the content fades).
void paint(QPainter& painter, const HomeIslandModel& model, const IslandLayout& layout,
           double openness, bool reduceMotion, bool opaque);

}  // namespace HomeIslandView

}  // namespace ovra
