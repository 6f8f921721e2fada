#pragma once

// Wrapped lines of text for the painted views: laid out once, measured, then drawn.

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QString>
#include <vector>

class QPainter;

namespace ovra {

struct TextBlock {
    QFont font;
    QColor color;
    std::vector<QString> lines;
    double lineHeight = 0;
    double width = 0;  // of the widest line

    double height() const { return lineHeight * static_cast<double>(lines.size()); }
    // Draws the lines from the top of `box`, each centred in it or set at its left edge.
    void draw(QPainter& painter, const QRectF& box, bool centred) const;

    // `text` wrapped at word boundaries (anywhere in a word longer than a line) to `width`, in at
    // most `maxLines` lines (0: as many as a screen could show), the last one elided when the
    // text goes on.
    static TextBlock wrap(const QString& text, const QFont& font, const QColor& color, double width,
                          int maxLines);
    // The start of `text` that fills `maxLines` lines of `width` however narrow its characters,
    // with an ellipsis when that is not all of it: what a layout of the text needs at most.
    static QString cut(const QString& text, const QFont& font, double width, int maxLines);
};

}  // namespace ovra
