#include "app/overlay/StyleKit.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <cmath>
#include <mutex>

#include "app/overlay/Suite.h"

namespace ovra {

QColor qColor(const RgbColor& color, double opacity) {
    return QColor::fromRgbF(static_cast<float>(color.red), static_cast<float>(color.green),
                            static_cast<float>(color.blue), static_cast<float>(opacity));
}

QFont styleFont(double pixelSize, QFont::Weight weight, FontDesign design) {
    QFont font = design == FontDesign::monospaced
                     ? QFontDatabase::systemFont(QFontDatabase::FixedFont)
                     : QGuiApplication::font();
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(pixelSize))));
    font.setWeight(weight);
    return font;
}

QColor RuledPaper::ruleColor() const {
    return dark_ ? qColor(Suite::creamInk, 0.11) : qColor(Suite::ink, 0.085);
}

QColor RuledPaper::marginColor() const {
    return qColor(Suite::ember, dark_ ? 0.46 : 0.32);
}

QString RuledPaper::key(QSize pixels, qreal devicePixelRatio) const {
    return QStringLiteral("%1x%2@%3 %4 %5 %6 %7")
        .arg(pixels.width())
        .arg(pixels.height())
        .arg(devicePixelRatio)
        .arg(ruleColor().name(QColor::HexArgb), marginColor().name(QColor::HexArgb))
        .arg(lineHeight_)
        .arg(margin_);
}

const QPixmap& RuledPaper::pixmap(QSizeF size, qreal devicePixelRatio) {
    const qreal dpr = devicePixelRatio > 0 ? devicePixelRatio : 1;
    const QSize pixels((size * dpr).toSize().expandedTo(QSize(0, 0)));
    const QString wanted = key(pixels, dpr);
    if (wanted == cachedKey_) {
        return cached_;
    }
    cachedKey_ = wanted;
    cached_ = QPixmap(pixels);
    cached_.setDevicePixelRatio(dpr);
    cached_.fill(Qt::transparent);
    if (cached_.isNull()) {
        return cached_;
    }
    const double width = pixels.width() / dpr;
    const double height = pixels.height() / dpr;
    QPainter painter(&cached_);
    // Rules land on whole pixel rows: a one-pixel rule never blurs over two rows.
    painter.setRenderHint(QPainter::Antialiasing, false);
    QPainterPath rules;
    for (double y : RuledPaperRules::positions(height, lineHeight_)) {
        rules.moveTo(0, y);
        rules.lineTo(width, y);
    }
    painter.strokePath(rules, QPen(ruleColor(), 1));
    painter.setPen(QPen(marginColor(), 1));
    painter.drawLine(QPointF(margin_, 0), QPointF(margin_, height));
    return cached_;
}

void RuledPaper::paint(QPainter& painter, QSizeF size, qreal devicePixelRatio) {
    painter.drawPixmap(QPointF(0, 0), pixmap(size, devicePixelRatio));
}

namespace {

QAccessibleInterface* kickerAccessible(const QString& className, QObject* object) {
    if (className == QLatin1String("ovra::Kicker") && object && object->isWidgetType()) {
        return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Heading);
    }
    return nullptr;
}

}  // namespace

Kicker::Kicker(const QString& text, bool dark, double scale, QWidget* parent)
    : QLabel(upperCased(text), parent) {
    static std::once_flag installed;
    std::call_once(installed, [] { QAccessible::installFactory(kickerAccessible); });
    setFont(font(scale));
    QPalette colors = palette();
    colors.setColor(QPalette::WindowText, color(dark));
    setPalette(colors);
    setAccessibleName(QLabel::text());
}

QString Kicker::upperCased(const QString& text, const QLocale& locale) {
    return locale.toUpper(text);
}

QFont Kicker::font(double scale) {
    QFont f = styleFont(11 * scale, QFont::DemiBold, FontDesign::monospaced);
    f.setLetterSpacing(QFont::AbsoluteSpacing, 0.9 * scale);
    return f;
}

QColor Kicker::color(bool dark) {
    return dark ? qColor(Suite::slateMist) : qColor(Suite::ink, 0.62);
}

}  // namespace ovra
