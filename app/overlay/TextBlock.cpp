#include "app/overlay/TextBlock.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextLayout>
#include <algorithm>

namespace ovra {

void TextBlock::draw(QPainter& painter, const QRectF& box, bool centred) const {
    painter.setFont(font);
    painter.setPen(color);
    const QFontMetricsF metrics(font);
    double y = box.top() + metrics.ascent();
    for (const QString& line : lines) {
        const double w = metrics.horizontalAdvance(line);
        const double x = centred ? box.left() + (box.width() - w) / 2 : box.left();
        painter.drawText(QPointF(x, y), line);
        y += lineHeight;
    }
}

TextBlock TextBlock::wrap(const QString& text, const QFont& font, const QColor& color, double width,
                          int maxLines) {
    const QFontMetricsF metrics(font);
    TextBlock block{font, color, {}, metrics.lineSpacing(), 0};
    if (text.isEmpty()) {
        return block;
    }
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(std::max(1.0, width));
        if (maxLines > 0 && static_cast<int>(block.lines.size()) == maxLines - 1) {
            block.lines.push_back(
                metrics.elidedText(text.mid(line.textStart()).simplified(), Qt::ElideRight, width));
            break;
        }
        block.lines.push_back(text.mid(line.textStart(), line.textLength()).trimmed());
    }
    layout.endLayout();
    for (const QString& line : block.lines) {
        block.width = std::max(block.width, metrics.horizontalAdvance(line));
    }
    return block;
}

}  // namespace ovra
