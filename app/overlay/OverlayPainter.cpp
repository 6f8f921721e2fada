#include "app/overlay/OverlayPainter.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>

#include "app/overlay/IslandChromePainter.h"
#include "app/overlay/OverlayLayout.h"
#include "app/overlay/StyleKit.h"
#include "app/overlay/Suite.h"
#include "app/overlay/TextBlock.h"
#include "platform/qt/QtText.h"

namespace ovra {

namespace {

QRectF toQt(const Rect& r) {
    return QRectF(r.minX(), r.minY(), r.width(), r.height());
}

QColor white(double level, double opacity = 1) {
    const auto l = static_cast<float>(level);
    return QColor::fromRgbF(l, l, l, static_cast<float>(opacity));
}

QPainterPath rounded(const QRectF& r, double radius) {
    QPainterPath path;
    path.addRoundedRect(r, radius, radius);
    return path;
}

QPainterPath capsule(const QRectF& r) {
    return rounded(r, std::min(r.width(), r.height()) / 2);
}

// One key hint: its chip and label, and the hint's whole size.
struct HintBox {
    QString chip;
    QString label;
    QSizeF chipSize;
    QSizeF size;
};

struct HintRowBox {
    std::vector<HintBox> hints;
    std::vector<Point> at;  // top-left of each hint inside the row
    QSizeF size;
};

QFont chipFont(double ts) {
    return styleFont(16 * ts, QFont::DemiBold, FontDesign::monospaced);
}

QFont hintFont(double ts) {
    return styleFont(16 * ts);
}

HintRowBox hintRow(const KeyHintRow& row, double width, double ts) {
    HintRowBox box;
    const QFontMetricsF chip(chipFont(ts));
    const QFontMetricsF label(hintFont(ts));
    std::vector<Size> sizes;
    for (const KeyHint& hint : row) {
        HintBox h{qs(hint.chip), qs(hint.label), {}, {}};
        h.chipSize = QSizeF(chip.horizontalAdvance(h.chip) + 16, chip.height() + 6);
        h.size = QSizeF(h.chipSize.width() + 6 + label.horizontalAdvance(h.label),
                        std::max(h.chipSize.height(), label.height()));
        sizes.push_back({h.size.width(), h.size.height()});
        box.hints.push_back(std::move(h));
    }
    const HintFlow flow{18 * ts, 10 * ts};
    const Size fits = flow.sizeThatFits(sizes, width);
    box.size = QSizeF(fits.width, fits.height);
    box.at = flow.place(sizes, Rect(0, 0, fits.width, fits.height));
    return box;
}

void drawHintRow(QPainter& painter, const HintRowBox& row, QPointF origin, double ts) {
    const QFontMetricsF chipMetrics(chipFont(ts));
    const QFontMetricsF labelMetrics(hintFont(ts));
    for (std::size_t i = 0; i < row.hints.size(); ++i) {
        const HintBox& hint = row.hints[i];
        const QPointF at = origin + QPointF(row.at[i].x, row.at[i].y);
        const QRectF chip(at.x(), at.y() + (hint.size.height() - hint.chipSize.height()) / 2,
                          hint.chipSize.width(), hint.chipSize.height());
        painter.fillPath(rounded(chip, 6), white(1, 0.14));
        painter.setFont(chipFont(ts));
        painter.drawText(QPointF(chip.left() + 8, chip.top() + 3 + chipMetrics.ascent()),
                         hint.chip);
        painter.setFont(hintFont(ts));
        painter.drawText(
            QPointF(chip.right() + 6, at.y() + (hint.size.height() - labelMetrics.height()) / 2 +
                                          labelMetrics.ascent()),
            hint.label);
    }
}

// Lines of a message or of the selected item's details: a longer one is elided, so that the panel
// keeps its text size on the screen.
constexpr int kDetailLines = 6;
// The panel's text is made smaller, step by step, down to this, where the panel would not fit.
constexpr double kSmallestHudScale = 0.6;

// The information panel's content, laid out top to bottom in a column `width` wide.
struct HudBox {
    double width = 0;
    double ts = 1;
    HudContent::Kind kind = HudContent::Kind::message;
    TextBlock headline;
    std::optional<QString> badge;
    TextBlock label;
    TextBlock detail;
    std::vector<HintRowBox> rows;
    TextBlock summary;
    double height = 0;  // of the column, without the panel's paddings

    static constexpr double spinner = 32;
    double topHeight() const {
        if (kind == HudContent::Kind::loading) {
            return std::max(spinner, headline.height());
        }
        if (badge) {
            return std::max(44 * ts,
                            label.height() + (detail.lines.empty() ? 0 : 2 + detail.height()));
        }
        return headline.height();
    }
};

HudBox hudBox(const HudContent& content, double width, double ts) {
    HudBox box;
    box.width = width;
    box.ts = ts;
    box.kind = content.kind;
    const QColor cream = qColor(Suite::creamInk);
    const QColor mist = qColor(Suite::slateMist);
    if (content.kind == HudContent::Kind::loading) {
        box.headline = TextBlock::wrap(qs(content.headline), styleFont(28 * ts, QFont::DemiBold),
                                       cream, width - HudBox::spinner - 14, 2);
    } else if (content.badgeText) {
        box.badge = qs(*content.badgeText);
        const double textWidth = width - 44 * ts - 12 * ts;
        box.label = TextBlock::wrap(qs(content.label), styleFont(30 * ts, QFont::Bold), cream,
                                    textWidth, 2);
        box.detail =
            TextBlock::wrap(qs(content.detail), styleFont(18 * ts), mist, textWidth, kDetailLines);
    } else {
        box.headline =
            TextBlock::wrap(qs(content.headline), styleFont(26 * ts, QFont::DemiBold), cream, width,
                            content.kind == HudContent::Kind::message ? kDetailLines : 2);
    }
    for (const KeyHintRow& row : content.hints) {
        box.rows.push_back(hintRow(row, width, ts));
    }
    box.summary = TextBlock::wrap(qs(content.summary), styleFont(14 * ts), mist, width, 2);

    std::vector<double> parts{box.topHeight()};
    for (const HintRowBox& row : box.rows) {
        parts.push_back(row.size.height());
    }
    if (!box.summary.lines.empty()) {
        parts.push_back(box.summary.height());
    }
    for (std::size_t i = 0; i < parts.size(); ++i) {
        box.height += parts[i] + (i > 0 ? 14 * ts : 0);
    }
    return box;
}

void drawBadge(QPainter& painter, const QRectF& frame, const QString& text, bool selected,
               const QColor& color) {
    const QRectF circle = frame.adjusted(1.5, 1.5, -1.5, -1.5);
    painter.setPen(QPen(selected ? QColor(Qt::black) : color, 3));
    painter.setBrush(selected ? color : QColor(Qt::black));
    painter.drawEllipse(circle);
    painter.setFont(styleFont(0.62 * frame.height(), QFont::Black, FontDesign::rounded));
    painter.setPen(selected ? QColor(Qt::black) : color);
    painter.setBrush(Qt::NoBrush);
    painter.drawText(frame, Qt::AlignCenter, text);
}

void drawSpinner(QPainter& painter, const QRectF& box, double turn) {
    painter.save();
    painter.translate(box.center());
    painter.rotate(360 * turn);
    for (int i = 0; i < 12; ++i) {
        painter.setPen(QPen(white(1, 0.25 + 0.75 * i / 11.0), 3, Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QPointF(0, -box.height() / 4), QPointF(0, -box.height() / 2 + 1.5));
        painter.rotate(30);
    }
    painter.restore();
}

void drawHud(QPainter& painter, const OverlayScene& scene, const QRectF& frame,
             const IslandChromeLook& look, double spinnerTurn) {
    const double ts = scene.hudTextScale;
    paintIslandShell(painter, frame, look);
    const double contentOpacity = look.contentOpacity * look.opacity;
    if (contentOpacity <= 0) {
        return;
    }
    const HudBox box = hudBox(scene.hud, frame.width() - 2 * OverlayLayout::hudPaddingX, ts);
    painter.save();
    painter.setTransform(islandTransform(frame, look), true);
    painter.setOpacity(painter.opacity() * contentOpacity);
    painter.setClipRect(frame);
    const double left = frame.left() + OverlayLayout::hudPaddingX;
    double y = frame.top() + OverlayLayout::hudPaddingY + look.contentTopPadding;

    if (box.kind == HudContent::Kind::loading) {
        const double rowWidth = HudBox::spinner + 14 + box.headline.width;
        const double x = left + (box.width - rowWidth) / 2;
        const double h = box.topHeight();
        drawSpinner(painter,
                    QRectF(x, y + (h - HudBox::spinner) / 2, HudBox::spinner, HudBox::spinner),
                    spinnerTurn);
        box.headline.draw(painter,
                          QRectF(x + HudBox::spinner + 14, y + (h - box.headline.height()) / 2,
                                 box.headline.width, box.headline.height()),
                          false);
    } else if (box.badge) {
        const double textWidth = std::max(box.label.width, box.detail.width);
        const double rowWidth = 44 * ts + 12 * ts + textWidth;
        const double x = left + (box.width - rowWidth) / 2;
        const double h = box.topHeight();
        drawBadge(painter, QRectF(x, y + (h - 44 * ts) / 2, 44 * ts, 44 * ts), *box.badge, true,
                  qColor(scene.theme));
        const double tx = x + 56 * ts;
        const double textHeight =
            box.label.height() + (box.detail.lines.empty() ? 0 : 2 + box.detail.height());
        double ty = y + (h - textHeight) / 2;
        box.label.draw(painter, QRectF(tx, ty, textWidth, box.label.height()), false);
        ty += box.label.height() + 2;
        box.detail.draw(painter, QRectF(tx, ty, textWidth, box.detail.height()), false);
    } else {
        box.headline.draw(painter, QRectF(left, y, box.width, box.headline.height()), true);
    }
    y += box.topHeight();
    painter.setPen(qColor(Suite::creamInk));
    for (const HintRowBox& row : box.rows) {
        y += 14 * ts;
        drawHintRow(painter, row, QPointF(left + (box.width - row.size.width()) / 2, y), ts);
        y += row.size.height();
    }
    if (!box.summary.lines.empty()) {
        y += 14 * ts;
        box.summary.draw(painter, QRectF(left, y, box.width, box.summary.height()), true);
    }
    painter.restore();
}

QPainterPath holePath(const Rect& hole) {
    const Rect r = hole.insetBy(-OverlayLayout::holeOutset, -OverlayLayout::holeOutset);
    return rounded(toQt(r), OverlayLayout::holeRadius);
}

// An exact key of what a drawing shows, so that a kept drawing is reused only for the same
// content, whatever laid it out.
class Key {
  public:
    Key& add(double v) { return raw(&v, sizeof v); }
    Key& add(bool v) { return add(v ? 1.0 : 0.0); }
    Key& add(const std::string& v) {
        return add(static_cast<double>(v.size())).raw(v.data(), v.size());
    }
    Key& add(const Rect& r) { return add(r.minX()).add(r.minY()).add(r.width()).add(r.height()); }
    Key& add(const RgbColor& c) { return add(c.red).add(c.green).add(c.blue); }
    Key& add(const std::optional<Badge>& b) {
        add(b.has_value());
        return b ? add(b->frame).add(b->text).add(b->selected).add(b->color) : *this;
    }
    Key& add(const std::optional<std::string>& v) {
        add(v.has_value());
        return v ? add(*v) : *this;
    }
    std::string take() { return std::move(bytes_); }

  private:
    Key& raw(const void* data, std::size_t size) {
        bytes_.append(static_cast<const char*>(data), size);
        return *this;
    }
    std::string bytes_;
};

std::string planKey(const OverlayScene& scene, qreal dpr) {
    Key key;
    key.add(dpr).add(scene.size.width).add(scene.size.height).add(scene.textScale).add(scene.theme);
    for (const Veil& v : scene.veils) {
        key.add(v.rect).add(v.outlined).add(v.selected).add(v.label);
    }
    for (const SecondaryRing& r : scene.secondaries) {
        key.add(r.rect).add(r.selected).add(r.badge);
    }
    for (const Ring& r : scene.rings) {
        key.add(r.rect).add(r.selected).add(r.lineWidth).add(r.pulses).add(r.glow.has_value());
        key.add(r.glow.value_or(RgbColor{})).add(r.glowOpacity).add(r.glowRadius).add(r.badge);
    }
    for (const ScrollPill& p : scene.scrollPills) {
        key.add(p.rect).add(p.selected).add(p.direction == ScrollDirection::down).add(p.label);
        key.add(p.lineWidth).add(p.badge);
    }
    return key.take();
}

std::string hudKey(const OverlayScene& scene, const QRectF& frame, const IslandChromeLook& look,
                   qreal dpr) {
    const HudContent& hud = scene.hud;
    Key key;
    key.add(dpr).add(frame.width()).add(frame.height()).add(scene.hudTextScale).add(scene.theme);
    key.add(static_cast<double>(hud.kind)).add(hud.headline).add(hud.badgeText).add(hud.label);
    key.add(hud.detail).add(hud.summary);
    for (const KeyHintRow& row : hud.hints) {
        key.add(static_cast<double>(row.size()));
        for (const KeyHint& hint : row) {
            key.add(hint.chip).add(hint.label);
        }
    }
    key.add(look.notched).add(look.topRadius).add(look.bottomRadius).add(look.fill);
    key.add(look.edgeOpacity).add(look.contentTopPadding).add(look.contentOpacity);
    key.add(look.scaleX).add(look.scaleY).add(look.anchoredAtTop).add(look.opacity);
    return key.take();
}

// The grabbed screen dimmed, kept while the dim stays the same (not while it fades in or out).
const QImage& dimmedBackdrop(const QImage& backdrop, double opacity, OverlayPaintCache& cache) {
    const std::string key = Key().add(static_cast<double>(backdrop.cacheKey())).add(opacity).take();
    if (cache.dimKey != key || cache.dimmed.isNull()) {
        cache.dimKey = key;
        cache.dimmed = backdrop.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        QPainter dim(&cache.dimmed);
        dim.fillRect(cache.dimmed.rect(), QColor::fromRgbF(0, 0, 0, static_cast<float>(opacity)));
    }
    return cache.dimmed;
}

// The dim layer: one solid fill of the whole screen, then each hole cut out (or, over a grabbed
// backdrop, painted back from it) with smooth edges. Cheaper than filling one path with holes.
void drawDim(QPainter& painter, const OverlayScene& scene, double openness, const QImage* backdrop,
             OverlayPaintCache* cache) {
    const QRectF all(0, 0, scene.size.width, scene.size.height);
    const double opacity = std::clamp(scene.dimOpacity * openness, 0.0, 1.0);
    const QColor dim = QColor::fromRgbF(0, 0, 0, static_cast<float>(opacity));
    if (!backdrop) {
        if (opacity <= 0) {
            return;
        }
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(all, dim);
        painter.setCompositionMode(QPainter::CompositionMode_Clear);
        for (const Rect& hole : scene.holes) {
            painter.fillPath(holePath(hole), Qt::black);
        }
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        return;
    }
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    if (cache && openness >= 1 && opacity > 0) {
        painter.drawImage(all, dimmedBackdrop(*backdrop, opacity, *cache));
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    } else {
        painter.drawImage(all, *backdrop);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
        if (opacity <= 0) {
            return;
        }
        painter.fillRect(all, dim);
    }
    // The grab holds the covered area in device pixels, whatever ratio it says it was made at:
    // a texture's pixel p lands at p / its ratio (the painter divides), and must land at p / the
    // pixels per overlay pixel.
    QBrush screen(*backdrop);
    const double tagged = backdrop->devicePixelRatio() > 0 ? backdrop->devicePixelRatio() : 1;
    const double pixels = scene.size.width > 0 ? backdrop->width() / scene.size.width : tagged;
    screen.setTransform(QTransform::fromScale(tagged / pixels, tagged / pixels));
    for (const Rect& hole : scene.holes) {
        painter.fillPath(holePath(hole), screen);
    }
}

// A dashed pen whose pattern is given in points, as the design states it.
QPen dashed(const QColor& color, double width, double on, double off) {
    QPen pen(color, width, Qt::CustomDashLine, Qt::FlatCap, Qt::MiterJoin);
    pen.setDashPattern({on / width, off / width});
    return pen;
}

void drawEyeSlash(QPainter& painter, const QRectF& box, const QColor& color) {
    painter.save();
    painter.setPen(QPen(color, std::max(1.0, box.height() / 10), Qt::SolidLine, Qt::RoundCap));
    painter.setBrush(Qt::NoBrush);
    QPainterPath eye;
    eye.moveTo(box.left(), box.center().y());
    eye.quadTo(box.center().x(), box.top() - box.height() * 0.2, box.right(), box.center().y());
    eye.quadTo(box.center().x(), box.bottom() + box.height() * 0.2, box.left(), box.center().y());
    painter.drawPath(eye);
    painter.drawEllipse(box.center(), box.height() / 6, box.height() / 6);
    painter.drawLine(box.topLeft() + QPointF(box.width() * 0.1, 0),
                     box.bottomRight() - QPointF(box.width() * 0.1, 0));
    painter.restore();
}

void drawVeil(QPainter& painter, const Veil& veil) {
    const QRectF r = toQt(veil.rect);
    const QPainterPath shape = rounded(r, 6);
    if (!veil.outlined) {
        painter.fillPath(shape, white(0.16));
    } else {
        painter.strokePath(shape,
                           dashed(white(1, veil.selected ? 1 : 0.5), veil.selected ? 5 : 2, 3, 5));
    }
    if (!veil.label) {
        return;
    }
    const QFont font = styleFont(std::min(0.6 * r.height(), 14.0), QFont::DemiBold);
    const QFontMetricsF metrics(font);
    const double icon = metrics.height() * 0.8;
    const double room = r.width() - 8 - icon - 4;
    const QString text = metrics.elidedText(qs(*veil.label), Qt::ElideRight, std::max(0.0, room));
    const double width = icon + 4 + metrics.horizontalAdvance(text);
    const double x = r.left() + (r.width() - width) / 2;
    const QColor color = white(0.75);
    drawEyeSlash(painter, QRectF(x, r.center().y() - icon / 2, icon, icon), color);
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(
        QPointF(x + icon + 4, r.center().y() - metrics.height() / 2 + metrics.ascent()), text);
}

void drawSecondary(QPainter& painter, const SecondaryRing& ring) {
    const QPainterPath shape = rounded(toQt(ring.rect), 8);
    painter.strokePath(shape, QPen(Qt::black, ring.selected ? 10 : 6));
    if (ring.selected) {
        painter.strokePath(shape, QPen(Qt::white, 5));
    } else {
        painter.strokePath(shape, dashed(Qt::white, 2, 6, 4));
    }
    if (ring.badge) {
        drawBadge(painter, toQt(ring.badge->frame), qs(ring.badge->text), ring.badge->selected,
                  Qt::white);
    }
}

// Which part of a ring to draw: everything, all but a pulsing stroke (kept between frames), or
// only the pulsing stroke with its badge (drawn fresh every frame).
enum class RingPart { all, steady, pulsing };

void drawRing(QPainter& painter, const Ring& ring, const QColor& theme, double pulse,
              RingPart part) {
    const QPainterPath shape = rounded(toQt(ring.rect), 10);
    const double w = ring.lineWidth;
    if (part == RingPart::pulsing && !ring.pulses) {
        return;
    }
    if (part != RingPart::pulsing) {
        painter.strokePath(shape, QPen(Qt::black, w + 6));
        if (ring.glow) {
            // A soft shadow around the stroke: widening strokes, fainter towards the outside.
            constexpr int kLayers = 4;
            for (int i = kLayers; i >= 1; --i) {
                const double spread = ring.glowRadius * i / kLayers;
                painter.strokePath(
                    shape, QPen(qColor(*ring.glow, ring.glowOpacity / (kLayers + 1)),
                                w + 2 * spread, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            }
        }
    }
    if (part == RingPart::steady && ring.pulses) {
        return;
    }
    QColor stroke = theme;
    stroke.setAlphaF(static_cast<float>(ring.pulses ? pulse : 1.0));
    painter.strokePath(shape, QPen(stroke, w));
    if (ring.badge) {
        drawBadge(painter, toQt(ring.badge->frame), qs(ring.badge->text), ring.badge->selected,
                  theme);
    }
}

void drawScrollPill(QPainter& painter, const ScrollPill& pill, const QColor& theme, double ts) {
    const QRectF r = toQt(pill.rect);
    const QPainterPath shape = capsule(r);
    painter.fillPath(shape, QColor::fromRgbF(0, 0, 0, 0.9f));
    painter.strokePath(shape, QPen(theme, pill.lineWidth));

    const QFont arrowFont = styleFont(18 * ts, QFont::Bold);
    const QFont labelFont = styleFont(18 * ts, QFont::DemiBold);
    const QString arrow =
        pill.direction == ScrollDirection::down ? QStringLiteral("↓") : QStringLiteral("↑");
    const double badge = pill.badge ? 32 * ts : 0;
    const double gap = 10 * ts;
    const double arrowWidth = QFontMetricsF(arrowFont).horizontalAdvance(arrow);
    const double room = r.width() - 24 * ts - badge - arrowWidth - gap * (pill.badge ? 2 : 1);
    const QFontMetricsF labelMetrics(labelFont);
    const QString label =
        labelMetrics.elidedText(qs(pill.label), Qt::ElideRight, std::max(0.0, room));
    const double width =
        badge + (pill.badge ? gap : 0) + arrowWidth + gap + labelMetrics.horizontalAdvance(label);
    double x = r.left() + (r.width() - width) / 2;
    if (pill.badge) {
        drawBadge(painter, QRectF(x, r.center().y() - badge / 2, badge, badge),
                  qs(pill.badge->text), pill.selected, theme);
        x += badge + gap;
    }
    painter.setPen(qColor(Suite::creamInk));
    painter.setFont(arrowFont);
    painter.drawText(QRectF(x, r.top(), arrowWidth, r.height()), Qt::AlignVCenter, arrow);
    x += arrowWidth + gap;
    painter.setFont(labelFont);
    painter.drawText(QRectF(x, r.top(), r.right() - x, r.height()), Qt::AlignVCenter, label);
}

void drawConnector(QPainter& painter, const Connector& c, const QColor& color) {
    QPainterPath curve(QPointF(c.start.x, c.start.y));
    curve.cubicTo(QPointF(c.control1.x, c.control1.y), QPointF(c.control2.x, c.control2.y),
                  QPointF(c.end.x, c.end.y));
    painter.strokePath(curve, QPen(Qt::black, 6, Qt::SolidLine, Qt::RoundCap));
    painter.strokePath(curve, QPen(color, 2.5, Qt::SolidLine, Qt::RoundCap));
    painter.setPen(QPen(Qt::black, 2));
    painter.setBrush(color);
    painter.drawEllipse(QPointF(c.end.x, c.end.y), 4.5, 4.5);
    painter.setBrush(Qt::NoBrush);
}

void drawPlan(QPainter& painter, const OverlayScene& scene, const QColor& theme, double pulse,
              RingPart part) {
    for (const Veil& veil : scene.veils) {
        drawVeil(painter, veil);
    }
    for (const SecondaryRing& ring : scene.secondaries) {
        drawSecondary(painter, ring);
    }
    for (const Ring& ring : scene.rings) {
        drawRing(painter, ring, theme, pulse, part);
    }
    for (const ScrollPill& pill : scene.scrollPills) {
        drawScrollPill(painter, pill, theme, scene.textScale);
    }
}

// A transparent image of `size` logical pixels at `dpr`, drawn by `draw`.
QImage layerImage(Size size, qreal dpr, const std::function<void(QPainter&)>& draw) {
    QImage image(QSizeF(size.width * dpr, size.height * dpr).toSize().expandedTo({1, 1}),
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(dpr);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    draw(painter);
    return image;
}

}  // namespace

namespace OverlayPainter {

double hudHeight(const HudContent& content, double width, double textScale) {
    return hudBox(content, width - 2 * OverlayLayout::hudPaddingX, textScale).height +
           2 * OverlayLayout::hudPaddingY;
}

double hudTextScale(const HudContent& content, double width, double textScale, double maxHeight) {
    double ts = textScale;
    while (ts > kSmallestHudScale && hudHeight(content, width, ts) > maxHeight) {
        ts = std::max(kSmallestHudScale, ts * 0.9);
    }
    return ts;
}

void paint(QPainter& painter, const OverlayScene& scene, const OverlayMotionState& motion,
           const QImage* backdrop, OverlayPaintCache* cache) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const double openness = std::clamp(motion.openness, 0.0, 1.0);
    const qreal dpr = painter.device() ? painter.device()->devicePixelRatio() : 1;
    if (cache && cache->devicePixelRatio != dpr) {
        *cache = OverlayPaintCache{};
        cache->devicePixelRatio = dpr;
    }
    drawDim(painter, scene, openness, backdrop, cache);
    const QColor theme = qColor(scene.theme);
    if (scene.planVisible && openness > 0) {
        painter.save();
        painter.setOpacity(openness);
        // The same numbered scene shows the same plan: its key is only made for a new one.
        const bool sameScene = cache && scene.generation != 0 &&
                               scene.generation == cache->generation && !cache->planKey.empty();
        std::string key = cache && !sameScene ? planKey(scene, dpr) : std::string();
        if (cache && (sameScene || key == cache->planKey)) {
            if (cache->plan.isNull()) {
                cache->plan = layerImage(scene.size, dpr, [&](QPainter& layer) {
                    drawPlan(layer, scene, theme, motion.pulse, RingPart::steady);
                });
            }
            painter.drawImage(QPointF(0, 0), cache->plan);
            for (const Ring& ring : scene.rings) {
                drawRing(painter, ring, theme, motion.pulse, RingPart::pulsing);
            }
        } else {
            // A plan painted for the first time: its first frame draws it directly.
            drawPlan(painter, scene, theme, motion.pulse, RingPart::all);
            if (cache) {
                cache->planKey = std::move(key);
                cache->plan = QImage();
            }
        }
        if (cache) {
            cache->generation = scene.generation;
        }
        painter.restore();
    }
    if (scene.connector && openness > 0) {
        painter.save();
        painter.setOpacity(openness);
        drawConnector(painter, *scene.connector, theme);
        painter.restore();
    }

    const HudPlacement& place = scene.hudPlacement;
    QRectF frame = toQt(place.frame);
    if (motion.hudAt) {
        frame.moveTopLeft(QPointF(motion.hudAt->x, motion.hudAt->y));
    }
    const IslandChromeLook look = place.chrome.look(motion.openness, motion.reduceMotion);
    // The open panel looks the same from frame to frame (unless its spinner turns): kept whole.
    const bool steady =
        motion.openness >= 1 && look.opacity >= 1 && scene.hud.kind != HudContent::Kind::loading;
    if (cache && steady) {
        std::string key = hudKey(scene, frame, look, dpr);
        if (cache->hud.isNull() || key != cache->hudKey) {
            const QRectF local(1, 1, frame.width(), frame.height());
            cache->hudKey = std::move(key);
            cache->hud =
                layerImage({frame.width() + 2, frame.height() + 2}, dpr,
                           [&](QPainter& layer) { drawHud(layer, scene, local, look, 0); });
        }
        painter.drawImage(frame.topLeft() - QPointF(1, 1), cache->hud);
    } else {
        drawHud(painter, scene, frame, look, motion.spinnerTurn);
    }
    painter.restore();
}

}  // namespace OverlayPainter

}  // namespace ovra
