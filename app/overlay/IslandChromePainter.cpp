#include "app/overlay/IslandChromePainter.h"

#include <QPainter>
#include <QPainterPath>
#include <QScreen>

namespace ovra {

namespace {

Rect fromQt(const QRect& r) {
    return Rect(r.x(), r.y(), r.width(), r.height());
}

// A rectangle whose top corners and bottom corners have their own radii.
QPainterPath unevenRoundedRect(const QRectF& r, double top, double bottom) {
    top = std::min({top, r.width() / 2, r.height() / 2});
    bottom = std::min({bottom, r.width() / 2, r.height() / 2});
    QPainterPath path;
    path.moveTo(r.left() + top, r.top());
    path.lineTo(r.right() - top, r.top());
    path.arcTo(QRectF(r.right() - 2 * top, r.top(), 2 * top, 2 * top), 90, -90);
    path.lineTo(r.right(), r.bottom() - bottom);
    path.arcTo(QRectF(r.right() - 2 * bottom, r.bottom() - 2 * bottom, 2 * bottom, 2 * bottom), 0,
               -90);
    path.lineTo(r.left() + bottom, r.bottom());
    path.arcTo(QRectF(r.left(), r.bottom() - 2 * bottom, 2 * bottom, 2 * bottom), 270, -90);
    path.lineTo(r.left(), r.top() + top);
    path.arcTo(QRectF(r.left(), r.top(), 2 * top, 2 * top), 180, -90);
    path.closeSubpath();
    return path;
}

}  // namespace

IslandGeometry islandGeometry(const QScreen& screen, bool simulateNotch) {
    return IslandGeometry::of(fromQt(screen.geometry()), fromQt(screen.availableGeometry()),
                              simulateNotch);
}

QTransform islandTransform(const QRectF& frame, const IslandChromeLook& look) {
    const QPointF fixed(frame.center().x(), look.anchoredAtTop ? frame.top() : frame.bottom());
    QTransform t;
    t.translate(fixed.x(), fixed.y());
    t.scale(look.scaleX, look.scaleY);
    t.translate(-fixed.x(), -fixed.y());
    return t;
}

QPainterPath islandShellPath(const QRectF& frame, const IslandChromeLook& look) {
    return islandTransform(frame, look)
        .map(unevenRoundedRect(frame, look.topRadius, look.bottomRadius));
}

void paintIslandShell(QPainter& painter, const QRectF& frame, const IslandChromeLook& look) {
    if (look.opacity <= 0) {
        return;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(painter.opacity() * look.opacity);
    painter.setTransform(islandTransform(frame, look), true);
    const QPainterPath shape = unevenRoundedRect(frame, look.topRadius, look.bottomRadius);
    painter.fillPath(shape, QColor::fromRgbF(static_cast<float>(look.fill.red),
                                             static_cast<float>(look.fill.green),
                                             static_cast<float>(look.fill.blue)));
    if (look.edgeOpacity > 0) {
        painter.strokePath(
            shape, QPen(QColor::fromRgbF(1, 1, 1, static_cast<float>(look.edgeOpacity)), 1));
    }
    painter.restore();
}

}  // namespace ovra
