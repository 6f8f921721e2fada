#include "app/shell/HomeIslandView.h"

#include <QFontMetricsF>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "app/overlay/IslandChromePainter.h"
#include "app/overlay/StyleKit.h"
#include "app/overlay/Suite.h"
#include "app/shell/SymbolIcons.h"
#include "core/OvraText.h"

namespace ovra::HomeIslandView {

namespace {

constexpr double kRowPadX = 14;
constexpr double kRowPadY = 10;
constexpr double kTextWrapLimit = 1e6;

QFont titleFont(double s) {
    return styleFont(24 * s, QFont::DemiBold);
}
QFont subtitleFont(double s) {
    return styleFont(15 * s);
}
QFont badgeFont(double s) {
    return styleFont(22 * s, QFont::Black, FontDesign::rounded);
}
QFont statusFont(double s) {
    return styleFont(14 * s);
}
QFont chipFont(double s) {
    return styleFont(13 * s, QFont::DemiBold, FontDesign::monospaced);
}
QFont hintFont(double s) {
    return styleFont(13 * s);
}

double wrappedHeight(const QFont& font, double width, const QString& text) {
    return QFontMetricsF(font)
        .boundingRect(QRectF(0, 0, std::max(width, 1.0), kTextWrapLimit), Qt::TextWordWrap, text)
        .height();
}

double clampedScale(double textScale) {
    if (!std::isfinite(textScale)) {
        return kMinScale;
    }
    return std::clamp(textScale, kMinScale, kMaxScale);
}

QColor glowColor(BeaconTheme theme) {
    if (theme == BeaconTheme::ember) {
        return qColor(Suite::signal);
    }
    if (theme == BeaconTheme::ovra) {
        return QColor::fromRgbF(0.45f, 0.72f, 1.0f);
    }
    return qColor(theme.color());
}

IslandLayout layoutAt(const HomeIslandModel& model, QSizeF screen, double s) {
    IslandLayout out;
    out.scale = s;
    const IslandGeometry& g = model.geometry;
    const bool notched = g.notchWidth > 0;
    const double width = std::max(0.0, std::min(kWidth * s, screen.width() - 2 * kScreenMargin));
    out.windowOrigin = QPointF((screen.width() - width) / 2, notched ? 0 : g.topInset + 8);
    const double pad = 16 * s;
    const double left = pad;
    const double inner = std::max(0.0, width - 2 * pad);
    double y = (notched ? g.topInset : 0) + pad;
    bool first = true;
    const auto nextChild = [&] {
        if (!first) {
            y += 6 * s;
        }
        first = false;
    };

    const QFontMetricsF title(titleFont(s));
    const double textX = left + kRowPadX + 40 * s + 16 * s + 30 * s + 16 * s;
    const double textWidth = std::max(20.0, left + inner - kRowPadX - textX);
    for (const HomeItem& item : model.items()) {
        nextChild();
        IslandRowLayout row;
        row.titleText =
            title.elidedText(QString::fromStdString(item.title), Qt::ElideRight, textWidth);
        row.subtitleText = QString::fromStdString(item.subtitle);
        const double titleHeight = title.height();
        const double subtitleHeight = wrappedHeight(subtitleFont(s), textWidth, row.subtitleText);
        const double texts = titleHeight + 3 + subtitleHeight;
        const double height =
            std::max(kMinRowHeight * s, 2 * kRowPadY + std::max({40 * s, 30 * s, texts}));
        row.row = QRectF(left, y, inner, height);
        row.badge = QRectF(left + kRowPadX, y + (height - 40 * s) / 2, 40 * s, 40 * s);
        row.icon = QRectF(row.badge.right() + 16 * s, y + (height - 30 * s) / 2, 30 * s, 30 * s);
        const double textTop = y + (height - texts) / 2;
        row.title = QRectF(textX, textTop, textWidth, titleHeight);
        row.subtitle = QRectF(textX, textTop + titleHeight + 3, textWidth, subtitleHeight);
        out.rows.push_back(row);
        y += height;
    }

    if (!model.status().empty()) {
        nextChild();
        QString text;
        for (const std::string& line : model.status()) {
            text += (text.isEmpty() ? "" : " · ") + QString::fromStdString(line);
        }
        out.statusText = text;
        y += 6;
        const double height = wrappedHeight(statusFont(s), inner - 16, text);
        out.status = QRectF(left + 8, y, std::max(0.0, inner - 16), height);
        y += height;
    }

    nextChild();
    y += 4;
    const int count = static_cast<int>(model.items().size());
    const std::pair<QString, QString> hints[] = {
        {QString::fromStdString(
             OvraText::f("Up down or 1 to %lld", {static_cast<std::int64_t>(std::min(count, 9))})),
         QString::fromStdString(OvraText::t("choose"))},
        {"Return", QString::fromStdString(OvraText::t("open"))},
        {"Esc", QString::fromStdString(OvraText::t("close"))},
    };
    const QFontMetricsF chip(chipFont(s));
    const QFontMetricsF label(hintFont(s));
    const double chipHeight = chip.height() + 4;
    const double rowHeight = std::max(chipHeight, label.height());
    double x = left + 8;
    for (const auto& [chipText, labelText] : hints) {
        IslandHintLayout hint;
        hint.chipLabel = chipText;
        hint.labelText = labelText;
        const double chipWidth = chip.horizontalAdvance(chipText) + 12;
        hint.chip = QRectF(x, y + (rowHeight - chipHeight) / 2, chipWidth, chipHeight);
        hint.chipText = hint.chip.adjusted(6, 2, -6, -2);
        x += chipWidth + 6;
        const double labelWidth = label.horizontalAdvance(labelText);
        hint.label = QRectF(x, y + (rowHeight - label.height()) / 2, labelWidth, label.height());
        x += labelWidth + 14;
        out.hints.push_back(hint);
    }
    y += rowHeight;

    out.island = QRectF(0, 0, width, y + pad);
    return out;
}

}  // namespace

IslandLayout layout(const HomeIslandModel& model, QSizeF screenSize) {
    double s = clampedScale(model.textScale);
    IslandLayout fitted = layoutAt(model, screenSize, s);
    const double room = screenSize.height() - fitted.windowOrigin.y() - kScreenMargin;
    if (fitted.island.height() <= room) {
        return fitted;
    }
    // The largest scale whose island fits, found by halving the interval.
    double low = kSmallestFittingScale;
    double high = s;
    IslandLayout best = layoutAt(model, screenSize, low);
    for (int i = 0; i < 12; ++i) {
        const double middle = (low + high) / 2;
        IslandLayout trial = layoutAt(model, screenSize, middle);
        if (trial.island.height() <= room) {
            low = middle;
            best = std::move(trial);
        } else {
            high = middle;
        }
    }
    return best;
}

IslandChrome chrome(const HomeIslandModel& model, const IslandLayout& layout) {
    return IslandChrome{model.geometry, true, layout.island.width()};
}

QPainterPath shellShape(const HomeIslandModel& model, const IslandLayout& layout, double openness,
                        bool reduceMotion) {
    return islandShellPath(layout.island, chrome(model, layout).look(openness, reduceMotion));
}

int rowAt(const IslandLayout& layout, QPointF point) {
    for (std::size_t i = 0; i < layout.rows.size(); ++i) {
        if (layout.rows[i].row.contains(point)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void paint(QPainter& painter, const HomeIslandModel& model, const IslandLayout& layout,
           double openness, bool reduceMotion, bool opaque) {
    IslandChromeLook look = chrome(model, layout).look(openness, reduceMotion);
    if (opaque) {
        look.opacity = 1;
    }
    paintIslandShell(painter, layout.island, look);
    const double s = layout.scale;
    const QColor theme = qColor(model.theme.color());
    const QColor cream = qColor(Suite::creamInk);
    const QColor mist = qColor(Suite::slateMist);

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setTransform(islandTransform(layout.island, look), true);
    painter.setOpacity(painter.opacity() * look.opacity * look.contentOpacity);
    for (std::size_t i = 0; i < layout.rows.size(); ++i) {
        const IslandRowLayout& row = layout.rows[i];
        const bool selected = static_cast<int>(i) == model.selection();
        QPainterPath outline;
        outline.addRoundedRect(row.row, 14, 14);
        if (selected) {
            painter.fillPath(outline, QColor::fromRgbF(1, 1, 1, 0.1f));
            painter.strokePath(outline, QPen(Qt::black, 9));
            QColor glow = glowColor(model.theme);
            constexpr int kLayers = 4;
            for (int layer = kLayers; layer >= 1; --layer) {
                glow.setAlphaF(0.75f / (kLayers + 1));
                painter.strokePath(outline, QPen(glow, 4 + 2 * 10.0 * layer / kLayers,
                                                 Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            }
            painter.strokePath(outline, QPen(theme, 4));
        }
        // The number badge: a disc with a ring, colours swapped on the selected row.
        painter.setPen(QPen(selected ? QColor(Qt::black) : theme, 2.5));
        painter.setBrush(selected ? theme : QColor(Qt::black));
        painter.drawEllipse(row.badge);
        painter.setFont(badgeFont(s));
        painter.setPen(selected ? QColor(Qt::black) : theme);
        painter.drawText(row.badge, Qt::AlignCenter, QString::number(i + 1));
        const QRectF symbol(row.icon.center().x() - 11 * s, row.icon.center().y() - 11 * s, 22 * s,
                            22 * s);
        SymbolIcons::paint(painter, model.items()[i].symbol, symbol, cream);
        painter.setPen(cream);
        painter.setFont(titleFont(s));
        painter.drawText(row.title, Qt::AlignLeft | Qt::AlignVCenter, row.titleText);
        painter.setPen(mist);
        painter.setFont(subtitleFont(s));
        painter.drawText(row.subtitle, Qt::AlignLeft | Qt::TextWordWrap, row.subtitleText);
    }
    if (!layout.statusText.isEmpty()) {
        painter.setPen(mist);
        painter.setFont(statusFont(s));
        painter.drawText(layout.status, Qt::AlignLeft | Qt::TextWordWrap, layout.statusText);
    }
    for (const IslandHintLayout& hint : layout.hints) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor::fromRgbF(1, 1, 1, 0.14f));
        painter.drawRoundedRect(hint.chip, 5, 5);
        painter.setPen(cream);
        painter.setFont(chipFont(s));
        painter.drawText(hint.chipText, Qt::AlignCenter, hint.chipLabel);
        painter.setFont(hintFont(s));
        painter.drawText(hint.label, Qt::AlignLeft | Qt::AlignVCenter, hint.labelText);
    }
    painter.restore();
}

}  // namespace ovra::HomeIslandView
