#include "app/settings/instructions/KeyChips.h"

#include <QEnterEvent>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <cmath>

#include "app/settings/views/SettingsPaint.h"
#include "platform/qt/QtText.h"

namespace ovra {

namespace {

QFont chipFont(double s) {
    return styleFont(13 * s, QFont::DemiBold, FontDesign::monospaced);
}
QFont buttonFont(double s) {
    return styleFont(15 * s, QFont::DemiBold);
}

}  // namespace

KeyChip::KeyChip(std::string label, std::optional<std::string> symbol, bool dark, double scale)
    : label_(std::move(label)), symbol_(std::move(symbol)), dark_(dark), scale_(scale) {}

QSizeF KeyChip::size() const {
    const double s = scale_;
    const QFontMetricsF metrics(chipFont(s));
    qreal width = metrics.horizontalAdvance(qs(label_));
    if (symbol_) {
        width += metrics.height() + 4 * s;
    }
    return {std::ceil(width + 16 * s), std::ceil(metrics.height() + 8 * s)};
}

void KeyChip::paint(QPainter& painter, QPointF topLeft) const {
    const double s = scale_;
    const Tone tone{dark_};
    const QRectF tile(topLeft, size());
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(tone.hairline(), 1));
    painter.setBrush(qColor(dark_ ? Suite::slateRaise : Suite::paperRaise));
    painter.drawRoundedRect(tile.adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
    const QFont font = chipFont(s);
    const qreal line = QFontMetricsF(font).height();
    QRectF text = tile.adjusted(8 * s, 4 * s, -8 * s, -4 * s);
    if (symbol_) {
        SettingsPaint::symbol(painter, *symbol_, QRectF(text.left(), text.top(), line, line),
                              tone.ink(), line * 0.95);
        text.setLeft(text.left() + line + 4 * s);
    }
    painter.setFont(font);
    painter.setPen(tone.ink());
    painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter, qs(label_));
    painter.restore();
}

CardButton::CardButton(HoverIntent& hover, std::function<void()> onFocus, std::function<void()> run,
                       QWidget* parent)
    : QWidget(parent), hover_(hover), onFocus_(std::move(onFocus)), run_(std::move(run)) {
    installStopAccessibility();
    setFocusPolicy(Qt::ClickFocus);
    setMouseTracking(true);
}

void CardButton::setLook(Look look) {
    const bool resized = look.title != look_.title || look.scale != look_.scale;
    look_ = std::move(look);
    if (resized) {
        updateGeometry();
    }
    update();
}

QSize CardButton::sizeHint() const {
    const double s = look_.scale;
    const QFontMetricsF metrics(buttonFont(s));
    const qreal content = metrics.height() + 6 * s + metrics.horizontalAdvance(qs(look_.title));
    const qreal reach = SettingsPaint::kRingReach;
    return {static_cast<int>(std::ceil(content + 36 * s + 2 * reach)),
            static_cast<int>(std::ceil(std::max(44 * s, metrics.height() + 20 * s) + 2 * reach))};
}

QRectF CardButton::outline() const {
    const qreal reach = SettingsPaint::kRingReach;
    return QRectF(rect()).adjusted(reach, reach, -reach, -reach);
}

void CardButton::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool dark = look_.dark;
    const double s = look_.scale;
    const Tone tone{dark};
    const QRectF frame = outline();
    const QColor tint = dark ? qColor(Suite::signal, 0.13) : qColor(Suite::ember, 0.1);
    const QColor accentHalf = dark ? qColor(Suite::signal, 0.5) : qColor(Suite::ember, 0.5);
    painter.setPen(QPen(look_.primary ? accentHalf : tone.hairline(), 1));
    painter.setBrush(look_.primary ? QBrush(tint) : QBrush(Qt::NoBrush));
    painter.drawRoundedRect(frame.adjusted(0.5, 0.5, -0.5, -0.5), 14, 14);
    const QColor ink = look_.primary ? tone.accentInk() : tone.ink();
    const QFont font = buttonFont(s);
    const QFontMetricsF metrics(font);
    const qreal icon = metrics.height();
    const qreal contentWidth = icon + 6 * s + metrics.horizontalAdvance(qs(look_.title));
    const qreal left = frame.center().x() - contentWidth / 2;
    SettingsPaint::symbol(painter, look_.symbol,
                          QRectF(left, frame.center().y() - icon / 2, icon, icon), ink, icon * 0.9);
    painter.setFont(font);
    painter.setPen(ink);
    painter.drawText(QRectF(left + icon + 6 * s, frame.top(), contentWidth, frame.height()),
                     Qt::AlignLeft | Qt::AlignVCenter, qs(look_.title));
    SettingsPaint::focusRing(painter, frame, 14, look_.focused, dark);
}

void CardButton::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

void CardButton::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        stopPress();
    }
}

void CardButton::enterEvent(QEnterEvent* event) {
    // Content that moves under a resting pointer does not take the focus.
    if (hover_.movedTo(event->globalPosition().toPoint())) {
        onFocus_();
    }
}

QString CardButton::stopName() const {
    return qs(look_.title);
}

void CardButton::stopPress() {
    // Both may rebuild the pane: they run from copies.
    const auto onFocus = onFocus_;
    const auto run = run_;
    onFocus();
    run();
}

}  // namespace ovra
