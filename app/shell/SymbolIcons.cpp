#include "app/shell/SymbolIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <cmath>
#include <numbers>

namespace ovra::SymbolIcons {

namespace {

bool known(std::string_view symbol) {
    return symbol == "lock.open" || symbol == "circle.dashed" || symbol == "gearshape.fill" ||
           symbol == "book" || symbol == "accessibility" || symbol == "questionmark.circle" ||
           symbol == "power";
}

}  // namespace

void paint(QPainter& painter, std::string_view symbol, const QRectF& box, const QColor& color) {
    if (!known(symbol)) {
        return;
    }
    const double side = std::min(box.width(), box.height());
    const QRectF r(box.center().x() - side / 2, box.center().y() - side / 2, side, side);
    const double u = side / 24;  // the drawings are made on a 24-unit grid
    const auto at = [&r, u](double x, double y) {
        return QPointF(r.left() + x * u, r.top() + y * u);
    };
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPen pen(color, 2 * u, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    if (symbol == "lock.open") {
        painter.drawRoundedRect(QRectF(at(4, 11), at(20, 22)), 2 * u, 2 * u);
        QPainterPath shackle;
        shackle.moveTo(at(8, 11));
        shackle.lineTo(at(8, 7));
        shackle.arcTo(QRectF(at(8, 2), at(16, 10)), 180, -180);
        shackle.lineTo(at(16, 5));
        painter.drawPath(shackle);
    } else if (symbol == "circle.dashed") {
        pen.setDashPattern({2.2, 1.6});
        painter.setPen(pen);
        painter.drawEllipse(QRectF(at(3, 3), at(21, 21)));
    } else if (symbol == "gearshape.fill") {
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        QPainterPath gear;
        const QPointF c = at(12, 12);
        for (int i = 0; i < 8; ++i) {
            const double a = i * std::numbers::pi / 4;
            gear.addEllipse(c + QPointF(std::cos(a), std::sin(a)) * 8 * u, 2.6 * u, 2.6 * u);
        }
        gear.addEllipse(c, 8 * u, 8 * u);
        gear.setFillRule(Qt::WindingFill);
        QPainterPath hole;
        hole.addEllipse(c, 3.2 * u, 3.2 * u);
        painter.drawPath(gear.simplified().subtracted(hole));
    } else if (symbol == "book") {
        QPainterPath book;
        book.moveTo(at(12, 6));
        book.cubicTo(at(9, 4), at(5, 4), at(3, 5));
        book.lineTo(at(3, 19));
        book.cubicTo(at(5, 18), at(9, 18), at(12, 20));
        book.cubicTo(at(15, 18), at(19, 18), at(21, 19));
        book.lineTo(at(21, 5));
        book.cubicTo(at(19, 4), at(15, 4), at(12, 6));
        book.lineTo(at(12, 20));
        painter.drawPath(book);
    } else if (symbol == "accessibility") {
        painter.drawEllipse(QRectF(at(2, 2), at(22, 22)));
        painter.setBrush(color);
        painter.drawEllipse(at(12, 6.5), 1.3 * u, 1.3 * u);
        painter.setBrush(Qt::NoBrush);
        painter.drawLine(at(7, 9.5), at(17, 9.5));
        painter.drawLine(at(12, 9.5), at(12, 14));
        painter.drawLine(at(12, 14), at(9, 18.5));
        painter.drawLine(at(12, 14), at(15, 18.5));
    } else if (symbol == "questionmark.circle") {
        painter.drawEllipse(QRectF(at(2, 2), at(22, 22)));
        QPainterPath mark;
        mark.moveTo(at(9, 9.5));
        mark.cubicTo(at(9, 6), at(15, 6), at(15, 9.5));
        mark.cubicTo(at(15, 12), at(12, 12), at(12, 14.5));
        painter.drawPath(mark);
        painter.setBrush(color);
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(at(12, 17.6), 1.2 * u, 1.2 * u);
    } else if (symbol == "power") {
        painter.drawArc(QRectF(at(4, 4), at(20, 20)), 120 * 16, -240 * 16);
        painter.drawLine(at(12, 2.5), at(12, 11));
    }
    painter.restore();
}

QIcon icon(std::string_view symbol, const QColor& color) {
    if (!known(symbol)) {
        return {};
    }
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    paint(painter, symbol, QRectF(0, 0, 32, 32), color);
    painter.end();
    return QIcon(pixmap);
}

}  // namespace ovra::SymbolIcons
