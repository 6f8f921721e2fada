#pragma once

// The small line icons of the home island and the classic menu, drawn with QPainter so they
// look the same on every desktop whatever its icon theme: "lock.open", "circle.dashed",
// "gearshape.fill", "book", "accessibility", "questionmark.circle", "power". An unknown name
// draws nothing.

#include <QColor>
#include <QIcon>
#include <QRectF>
#include <string_view>

class QPainter;

namespace ovra::SymbolIcons {

void paint(QPainter& painter, std::string_view symbol, const QRectF& box, const QColor& color);
// The symbol as an icon for a menu entry; a null icon for an unknown name.
QIcon icon(std::string_view symbol, const QColor& color);

}  // namespace ovra::SymbolIcons
