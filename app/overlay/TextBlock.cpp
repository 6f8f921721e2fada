#include "app/overlay/TextBlock.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

namespace ovra {

namespace {

// Lines a text without a line limit may take at most: more would never show on a screen.
constexpr int kMostLines = 24;
// The narrowest a character is taken to be, as a share of the font's average character width
// (thin letters and marks): a line never holds more characters than this allows.
constexpr double kNarrowestShare = 0.2;

}  // namespace

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

QString TextBlock::cut(const QString& text, const QFont& font, double width, int maxLines) {
    const QFontMetricsF metrics(font);
    const double narrowest = std::max(1.0, kNarrowestShare * metrics.averageCharWidth());
    const double perLine = std::ceil(std::max(1.0, width) / narrowest) + 1;
    const double most = perLine * (maxLines > 0 ? maxLines : kMostLines);
    if (!(most < static_cast<double>(text.size()))) {
        return text;
    }
    auto end = static_cast<qsizetype>(most);
    // Never half a surrogate pair.
    if (end > 0 && text.at(end - 1).isHighSurrogate()) {
        --end;
    }
    return text.left(end) + QChar(0x2026);
}

TextBlock TextBlock::wrap(const QString& whole, const QFont& font, const QColor& color,
                          double width, int maxLines) {
    const QFontMetricsF metrics(font);
    TextBlock block{font, color, {}, metrics.lineSpacing(), 0};
    if (whole.isEmpty()) {
        return block;
    }
    // Text from other apps can be any length: only what can show is laid out.
    const QString text = cut(whole, font, width, maxLines);
    const int lineLimit = maxLines > 0 ? maxLines : kMostLines;
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(std::max(1.0, width));
        if (static_cast<int>(block.lines.size()) == lineLimit - 1) {
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
