#include "app/settings/views/OvraRowView.h"

#include <QEnterEvent>
#include <QFontMetricsF>
#include <QMouseEvent>
#include <QPainter>
#include <cmath>

#include "app/settings/views/SettingsPaint.h"
#include "core/OvraText.h"
#include "platform/qt/QtText.h"

namespace ovra {

namespace {

constexpr qreal kReach = SettingsPaint::kRingReach;
constexpr qreal kRadius = 14;
constexpr qreal kPadX = 12;
constexpr qreal kPadY = 10;
constexpr qreal kSpacing = 12;
constexpr qreal kStepper = 26;
constexpr qreal kSwitchW = 42;
constexpr qreal kSwitchH = 24;

QFont titleFont(double s) {
    return styleFont(15 * s, QFont::DemiBold);
}
QFont subtitleFont(double s) {
    return styleFont(12.5 * s);
}
QFont noteFont(double s) {
    return styleFont(13 * s);
}
QFont wordFont(double s) {
    return styleFont(13 * s, QFont::DemiBold);
}
QFont valueFont(double s) {
    return styleFont(13.5 * s, QFont::DemiBold);
}

bool toggleOn(const OvraRow& row) {
    const auto* toggle = std::get_if<OvraRow::Toggle>(&row.kind);
    return toggle != nullptr && toggle->value.get && toggle->value.get();
}

bool stepped(const OvraRow& row) {
    return std::holds_alternative<OvraRow::Choice>(row.kind) ||
           std::holds_alternative<OvraRow::Slider>(row.kind);
}

}  // namespace

OvraRowView::OvraRowView(HoverIntent& hover, QWidget* parent) : QWidget(parent), hover_(hover) {
    installStopAccessibility();
    // Clicks and the window give the focus; Tab is the window's own.
    setFocusPolicy(Qt::ClickFocus);
    setMouseTracking(true);
    // Preferred, not Fixed: the layouts take the height for the width, never a minimum made at
    // some other width.
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void OvraRowView::setRow(OvraRow row, bool focused, double scale, bool dark) {
    const bool resized = scale != scale_ || row.title != row_.title ||
                         row.subtitle != row_.subtitle || row.isNote() != row_.isNote();
    row_ = std::move(row);
    focused_ = focused && (!row_.isNote() || row_.isStop());
    scale_ = scale;
    dark_ = dark;
    if (resized) {
        updateGeometry();
    }
    update();
}

qreal OvraRowView::accessoryWidth() const {
    const double s = scale_;
    if (std::holds_alternative<OvraRow::Action>(row_.kind)) {
        return 16 * s;
    }
    if (std::holds_alternative<OvraRow::Toggle>(row_.kind)) {
        const QFontMetricsF metrics(wordFont(s));
        const qreal word = std::max(metrics.horizontalAdvance(qs(OvraText::t("On"))),
                                    metrics.horizontalAdvance(qs(OvraText::t("Off"))));
        return std::ceil(word) + 8 + kSwitchW;
    }
    if (stepped(row_)) {
        const QFontMetricsF metrics(valueFont(s));
        const qreal value =
            std::max<qreal>(90 * s, metrics.horizontalAdvance(qs(row_.valueText().value_or(""))));
        return kStepper + 6 + std::ceil(value) + 6 + kStepper;
    }
    return 0;
}

OvraRowView::Geometry OvraRowView::layout(qreal width) const {
    Geometry g;
    const double s = scale_;
    if (row_.isNote()) {
        const qreal textWidth = width - 2 * (kReach + kPadX);
        const qreal h = SettingsPaint::wrappedHeight(qs(row_.title), noteFont(s), textWidth);
        if (!row_.isStop()) {
            g.title = QRectF(kReach + kPadX, 2, textWidth, h);
            g.height = std::ceil(h) + 4;
            return g;
        }
        // A note that is a stop keeps room for the focus ring round its text.
        g.card = QRectF(kReach, kReach, width - 2 * kReach, std::ceil(h) + 2 * kPadY);
        g.title = QRectF(kReach + kPadX, kReach + kPadY, textWidth, h);
        g.height = g.card.height() + 2 * kReach;
        return g;
    }
    const qreal innerX = kReach + kPadX;
    const qreal innerW = width - 2 * kReach - 2 * kPadX;
    qreal textX = innerX;
    if (row_.symbol) {
        textX += 24 * s + kSpacing;
    }
    const qreal accessory = accessoryWidth();
    const qreal textW =
        std::max<qreal>(40, innerX + innerW - textX - (accessory > 0 ? accessory + kSpacing : 0));
    const qreal titleH = SettingsPaint::wrappedHeight(qs(row_.title), titleFont(s), textW);
    const qreal subtitleH =
        row_.subtitle ? SettingsPaint::wrappedHeight(qs(*row_.subtitle), subtitleFont(s), textW)
                      : 0;
    const qreal textH = titleH + (row_.subtitle ? 2 + subtitleH : 0);
    const qreal cardH = std::max<qreal>(48 * s, std::ceil(textH) + 2 * kPadY);
    g.card = QRectF(kReach, kReach, width - 2 * kReach, cardH);
    g.height = cardH + 2 * kReach;
    const qreal midY = g.card.center().y();
    const qreal textTop = midY - textH / 2;
    g.title = QRectF(textX, textTop, textW, titleH);
    g.subtitle = QRectF(textX, textTop + titleH + 2, textW, subtitleH);
    if (row_.symbol) {
        g.icon = QRectF(innerX, midY - 12 * s, 24 * s, 24 * s);
    }
    g.accessory = QRectF(innerX + innerW - accessory, g.card.top(), accessory, cardH);
    if (stepped(row_)) {
        g.leftStepper = QRectF(g.accessory.left(), midY - kStepper / 2, kStepper, kStepper);
        g.rightStepper =
            QRectF(g.accessory.right() - kStepper, midY - kStepper / 2, kStepper, kStepper);
        g.value = QRectF(g.leftStepper.right() + 6, g.card.top(),
                         g.rightStepper.left() - 6 - (g.leftStepper.right() + 6), cardH);
    }
    return g;
}

int OvraRowView::heightForWidth(int width) const {
    return static_cast<int>(std::ceil(layout(width).height));
}

QSize OvraRowView::sizeHint() const {
    const int w = std::max(width(), 320);
    return {w, heightForWidth(w)};
}

QSize OvraRowView::minimumSizeHint() const {
    return {200, 0};
}

void OvraRowView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const Tone tone{dark_};
    const Geometry g = layout(width());
    if (row_.isNote()) {
        SettingsPaint::drawWrapped(painter, g.title, qs(row_.title), noteFont(scale_),
                                   tone.secondary());
        if (row_.isStop()) {
            SettingsPaint::focusRing(painter, g.card, kRadius, focused_, dark_);
        }
        return;
    }
    // A disabled row is dimmed, its ring included.
    painter.setOpacity(row_.enabled ? 1.0 : 0.45);
    SettingsPaint::card(painter, g.card, kRadius, tone);
    const QColor titleColor = row_.destructive ? StatusColor::error(dark_) : tone.ink();
    if (row_.symbol) {
        SettingsPaint::symbol(painter, *row_.symbol, g.icon,
                              row_.destructive ? StatusColor::error(dark_) : tone.secondary(),
                              16 * scale_ * 1.25);
    }
    SettingsPaint::drawWrapped(painter, g.title, qs(row_.title), titleFont(scale_), titleColor);
    if (row_.subtitle) {
        SettingsPaint::drawWrapped(painter, g.subtitle, qs(*row_.subtitle), subtitleFont(scale_),
                                   tone.secondary());
    }
    paintAccessory(painter, g);
    SettingsPaint::focusRing(painter, g.card, kRadius, focused_, dark_);
}

void OvraRowView::paintAccessory(QPainter& painter, const Geometry& g) const {
    const Tone tone{dark_};
    const double s = scale_;
    const qreal midY = g.card.center().y();
    if (std::holds_alternative<OvraRow::Action>(row_.kind)) {
        const QColor chevron = dark_ ? qColor(Suite::slateDim) : qColor(Suite::ink, 0.44);
        SettingsPaint::symbol(painter, "chevron.right", g.accessory, chevron, 18 * s);
        return;
    }
    if (std::holds_alternative<OvraRow::Toggle>(row_.kind)) {
        const bool on = toggleOn(row_);
        const QRectF knobTrack(g.accessory.right() - kSwitchW, midY - kSwitchH / 2, kSwitchW,
                               kSwitchH);
        const QRectF word(g.accessory.left(), g.card.top(),
                          knobTrack.left() - 8 - g.accessory.left(), g.card.height());
        SettingsPaint::drawWrapped(painter, word, qs(row_.valueText().value_or("")), wordFont(s),
                                   on ? tone.accentInk() : tone.secondary(),
                                   Qt::AlignRight | Qt::AlignVCenter);
        painter.save();
        painter.setPen(Qt::NoPen);
        painter.setBrush(on ? tone.accent() : tone.hairline());
        painter.drawRoundedRect(knobTrack, kSwitchH / 2, kSwitchH / 2);
        const QRectF knob(on ? knobTrack.right() - 22 : knobTrack.left() + 2, knobTrack.top() + 2,
                          20, 20);
        painter.setBrush(QColor(0, 0, 0, 84));
        painter.drawEllipse(knob.adjusted(-1, -1, 1, 1));
        painter.setBrush(Qt::white);
        painter.drawEllipse(knob);
        painter.restore();
        return;
    }
    if (stepped(row_)) {
        for (const auto& [rect, name] : {std::pair{g.leftStepper, "chevron.left"},
                                         std::pair{g.rightStepper, "chevron.right"}}) {
            painter.save();
            painter.setPen(Qt::NoPen);
            painter.setBrush(dark_ ? qColor(Suite::signal, 0.13) : qColor(Suite::ember, 0.1));
            painter.drawEllipse(rect);
            painter.restore();
            SettingsPaint::symbol(painter, name, rect, tone.accentInk(), 18);
        }
        SettingsPaint::drawWrapped(painter, g.value, qs(row_.valueText().value_or("")),
                                   valueFont(s), tone.ink(), Qt::AlignCenter);
    }
}

void OvraRowView::mousePressEvent(QMouseEvent* event) {
    pressedStepper_ = 0;
    if (event->button() != Qt::LeftButton || row_.isNote()) {
        return;
    }
    const Geometry g = layout(width());
    if (g.leftStepper.contains(event->position())) {
        pressedStepper_ = -1;
    } else if (g.rightStepper.contains(event->position())) {
        pressedStepper_ = 1;
    }
    event->accept();
}

void OvraRowView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || row_.isNote() ||
        !rect().contains(event->position().toPoint())) {
        return;
    }
    const int stepper = pressedStepper_;
    pressedStepper_ = 0;
    if (stepper != 0) {
        stopAdjust(stepper);
    } else {
        stopPress();  // a disabled row only takes the focus
    }
}

void OvraRowView::enterEvent(QEnterEvent* event) {
    if (!row_.isNote() && row_.enabled && hover_.movedTo(event->globalPosition().toPoint())) {
        Q_EMIT focusRequested(qs(row_.id));
    }
}

QAccessible::Role OvraRowView::stopRole() const {
    if (row_.isNote()) {
        return QAccessible::StaticText;
    }
    if (std::holds_alternative<OvraRow::Toggle>(row_.kind)) {
        return QAccessible::CheckBox;
    }
    if (std::holds_alternative<OvraRow::Choice>(row_.kind)) {
        return QAccessible::ComboBox;
    }
    if (std::holds_alternative<OvraRow::Slider>(row_.kind)) {
        return QAccessible::Slider;
    }
    return QAccessible::Button;
}

QString OvraRowView::stopName() const {
    // Choices and sliders carry their value in the name: screen readers read it with the role.
    if (stepped(row_)) {
        if (const auto value = row_.valueText()) {
            return qs(row_.title + ", " + *value);
        }
    }
    return qs(row_.title);
}

QString OvraRowView::stopDescription() const {
    return row_.subtitle ? qs(*row_.subtitle) : QString();
}

std::optional<bool> OvraRowView::stopChecked() const {
    if (std::holds_alternative<OvraRow::Toggle>(row_.kind)) {
        return toggleOn(row_);
    }
    return std::nullopt;
}

// The row acts on a copy: what it changes may rebuild this view's row meanwhile.
void OvraRowView::stopPress() {
    const OvraRow row = row_;
    Q_EMIT focusRequested(qs(row.id));
    row.activate();
    Q_EMIT acted();
}

void OvraRowView::stopAdjust(int delta) {
    const OvraRow row = row_;
    Q_EMIT focusRequested(qs(row.id));
    row.adjust(delta);
    Q_EMIT acted();
}

}  // namespace ovra
