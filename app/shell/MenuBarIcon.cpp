#include "app/shell/MenuBarIcon.h"

#include <QPainter>
#include <QPainterPath>

#include "app/overlay/StyleKit.h"
#include "app/overlay/Suite.h"
#include "app/shell/SymbolIcons.h"
#include "platform/paths/Paths.h"

namespace ovra::MenuBarIcon {

namespace {

constexpr double kTraySize = 18;
constexpr double kWhiteSize = 36;

std::filesystem::path trayResource() {
    return paths::resourceFolder() / "icons" / "menubar-ovra.png";
}

// The dashed circle the icon falls back to, `pixels` square.
QImage dashedCircle(int pixels, const QColor& color) {
    QImage out(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    QPainter painter(&out);
    SymbolIcons::paint(painter, "circle.dashed", QRectF(0, 0, pixels, pixels), color);
    return out;
}

// The resource as stored, else the dashed circle.
QImage base(const std::filesystem::path& resource, const QColor& fallbackColor) {
    QImage stored(QString::fromStdString(resource.string()));
    if (!stored.isNull()) {
        return stored.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    return dashedCircle(static_cast<int>(kWhiteSize), fallbackColor);
}

}  // namespace

void paintBird(QPainter& painter, const QRectF& box, const QColor& fill, const QColor& edge) {
    const double u = std::min(box.width(), box.height()) / 24;
    const QPointF o(box.center().x() - 12 * u, box.center().y() - 12 * u);
    const auto at = [&o, u](double x, double y) { return o + QPointF(x * u, y * u); };
    QPainterPath body;
    body.moveTo(at(1.5, 17.5));
    body.cubicTo(at(6, 15.5), at(8.5, 11.5), at(12.5, 10));
    body.cubicTo(at(14.5, 5.5), at(18.5, 4.5), at(20.8, 7.6));
    body.lineTo(at(23.5, 8.8));
    body.lineTo(at(20.6, 10.3));
    body.cubicTo(at(20.5, 15.5), at(16, 19.5), at(10, 19.5));
    body.cubicTo(at(7.5, 19.5), at(5, 18.8), at(1.5, 17.5));
    body.closeSubpath();
    QPainterPath eye;
    eye.addEllipse(at(18.4, 8.1), 1.05 * u, 1.05 * u);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(edge, 1.1 * u, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(fill);
    painter.drawPath(body.subtracted(eye));
    // The wing, a line in the edge colour across the body.
    QPainterPath wing;
    wing.moveTo(at(7.5, 15.2));
    wing.cubicTo(at(10.5, 12.6), at(13.8, 12.4), at(16.6, 14.2));
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(edge, 1.4 * u, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(wing);
    painter.restore();
}

QImage renderTrayResource(int pixels) {
    QImage out(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    QPainter painter(&out);
    paintBird(painter, QRectF(0, 0, pixels, pixels), qColor(Suite::signal), qColor(Suite::slate));
    return out;
}

QImage renderAppIcon(int pixels) {
    QImage out(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    QPainter painter(&out);
    painter.setRenderHint(QPainter::Antialiasing);
    const double p = pixels;
    painter.setPen(Qt::NoPen);
    painter.setBrush(qColor(Suite::slate));
    painter.drawRoundedRect(QRectF(p * 0.04, p * 0.04, p * 0.92, p * 0.92), p * 0.2, p * 0.2);
    paintBird(painter, QRectF(p * 0.16, p * 0.14, p * 0.68, p * 0.68), qColor(Suite::signal),
              qColor(Suite::slate));
    return out;
}

QImage image(const std::filesystem::path& resource) {
    QImage picture = base(resource, qColor(Suite::creamInk));
    // The tray draws it at 18 logical pixels; the stored pixels serve high-density screens.
    picture.setDevicePixelRatio(picture.width() / kTraySize);
    return picture;
}

QImage whiteImage(const std::filesystem::path& resource) {
    const QImage picture = base(resource, Qt::white);
    const int pixels = static_cast<int>(kWhiteSize * 2);
    QImage out(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    QPainter painter(&out);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(QRectF(0, 0, pixels, pixels), picture);
    painter.setCompositionMode(QPainter::CompositionMode_SourceAtop);
    painter.fillRect(QRectF(0, 0, pixels, pixels), Qt::white);
    painter.end();
    out.setDevicePixelRatio(2);
    return out;
}

const QImage& image() {
    static const QImage made = image(trayResource());
    return made;
}

const QImage& whiteImage() {
    static const QImage made = whiteImage(trayResource());
    return made;
}

}  // namespace ovra::MenuBarIcon
