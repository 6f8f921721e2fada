#include "app/settings/views/SettingsPaint.h"

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <array>
#include <cmath>
#include <optional>
#include <utility>

#include "app/shell/MenuBarIcon.h"

namespace ovra {

QColor StatusColor::ok() {
    return QColor(46, 125, 82);
}

QColor StatusColor::error(bool dark) {
    return dark ? QColor(242, 184, 181) : QColor(179, 38, 30);
}

namespace SettingsPaint {

namespace {

// The names the panes use, and the icon font's code point for each.
constexpr std::array<std::pair<std::string_view, char16_t>, 53> kSymbols{{
    {"1.circle", 0xe400},
    {"accessibility", 0xe84e},
    {"arrow.clockwise", 0xe5d5},
    {"arrow.down.to.line", 0xe258},
    {"arrow.down.circle", 0xf181},
    {"arrow.triangle.2.circlepath", 0xe627},
    {"book", 0xea19},
    {"book.fill", 0xea19},
    {"character.bubble", 0xe8e2},
    {"checkmark.circle.fill", 0xe86c},
    {"checkmark.shield", 0xe8e8},
    {"chevron.left", 0xe5cb},
    {"chevron.right", 0xe5cc},
    {"circle.circle", 0xe837},
    {"circle.circle.fill", 0xe39e},
    {"circle.dashed", 0xe836},
    {"circle.lefthalf.filled", 0xeb37},
    {"cpu", 0xe322},
    {"exclamationmark.triangle.fill", 0xe002},
    {"eye.slash", 0xe8f5},
    {"gearshape", 0xe8b8},
    {"gearshape.fill", 0xe8b8},
    {"globe", 0xe894},
    {"gobackward", 0xe889},
    {"hand.point.up.left.fill", 0xe913},
    {"hare", 0xe9e4},
    {"heart", 0xe87d},
    {"keyboard", 0xe312},
    {"lock.open", 0xe898},
    {"lock.open.fill", 0xe898},
    {"magnifyingglass", 0xe8b6},
    {"mic", 0xe02a},
    {"mic.fill", 0xe029},
    {"number", 0xe9ef},
    {"paintpalette", 0xe40a},
    {"paintpalette.fill", 0xe40a},
    {"person.wave.2", 0xe91f},
    {"pin", 0xf10d},
    {"pin.fill", 0xf10d},
    {"play.circle", 0xe1c4},
    {"questionmark.circle", 0xe8fd},
    {"rectangle.righthalf.inset.filled", 0xe949},
    {"safari", 0xe80b},
    {"sidebar.leading", 0xf114},
    {"sparkle", 0xe65f},
    {"stop.fill", 0xe047},
    {"speaker.wave.2", 0xe050},
    {"speaker.wave.2.fill", 0xe050},
    {"textformat", 0xe262},
    {"textformat.size", 0xe245},
    {"timer", 0xe425},
    {"trash", 0xe872},
    {"xmark.square", 0xf230},
}};

std::optional<char16_t> codePoint(std::string_view name) {
    for (const auto& [known, point] : kSymbols) {
        if (known == name) {
            return point;
        }
    }
    return std::nullopt;
}

// The icon font's family, loaded once from where Debian installs it; empty when it is missing.
const QString& iconFamily() {
    static const QString family = [] {
        const int id = QFontDatabase::addApplicationFont(QStringLiteral(
            "/usr/share/fonts/truetype/material-design-icons-iconfont/MaterialIcons-Regular.ttf"));
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        if (!families.isEmpty()) {
            return families.front();
        }
        return QFontDatabase::families().contains(QStringLiteral("Material Icons"))
                   ? QStringLiteral("Material Icons")
                   : QString();
    }();
    return family;
}

}  // namespace

void focusRing(QPainter& painter, const QRectF& outline, qreal radius, bool focused, bool dark) {
    if (!focused) {
        return;
    }
    const QColor color = dark ? qColor(Suite::signal) : qColor(Suite::ember);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    QColor glow = color;
    glow.setAlphaF(0.14F);
    painter.setPen(QPen(glow, 4));
    painter.drawRoundedRect(outline.adjusted(-3, -3, 3, 3), radius + 3, radius + 3);
    painter.setPen(QPen(color, 2));
    painter.drawRoundedRect(outline, radius, radius);
    painter.restore();
}

void card(QPainter& painter, const QRectF& rect, qreal radius, const Tone& tone) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(tone.hairline(), 1));
    painter.setBrush(tone.dark ? QColor(0, 0, 0, 77) : QColor(Qt::white));
    painter.drawRoundedRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    painter.restore();
}

void suitePanel(QPainter& painter, const QRectF& rect, qreal radius, bool dark) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    // A soft shadow below the card: layered rounded rects fading out (QPainter has no blur).
    const QColor shadow = dark ? QColor(0, 0, 0) : QColor(92, 62, 32);
    const qreal strength = dark ? 0.45 : 0.30;
    for (int i = 8; i >= 1; --i) {
        QColor layer = shadow;
        layer.setAlphaF(static_cast<float>(strength * 0.05 * (9 - i) / 8));
        const qreal grow = i * 1.5;
        painter.setBrush(layer);
        painter.drawRoundedRect(rect.translated(0, 6).adjusted(-grow, -grow, grow, grow),
                                radius + grow, radius + grow);
    }
    QLinearGradient fill(rect.topLeft(), rect.bottomLeft());
    fill.setColorAt(0, dark ? QColor(35, 40, 44) : QColor(Qt::white));
    fill.setColorAt(1, dark ? QColor(26, 29, 32) : QColor(250, 246, 240));
    painter.setBrush(fill);
    painter.drawRoundedRect(rect, radius, radius);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(dark ? QColor(255, 255, 255, 23) : qColor(Suite::ink, 0.1), 1));
    painter.drawRoundedRect(rect.adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
    painter.restore();
}

qreal wrappedHeight(const QString& text, const QFont& font, qreal width) {
    if (text.isEmpty()) {
        return 0;
    }
    const QFontMetricsF metrics(font);
    return metrics
        .boundingRect(QRectF(0, 0, std::max<qreal>(width, 1), 1e6), Qt::TextWordWrap, text)
        .height();
}

void drawWrapped(QPainter& painter, const QRectF& rect, const QString& text, const QFont& font,
                 const QColor& color, Qt::Alignment alignment) {
    painter.save();
    painter.setFont(font);
    painter.setPen(color);
    painter.drawText(rect, static_cast<int>(alignment) | Qt::TextWordWrap, text);
    painter.restore();
}

qreal widestWord(const QString& text, const QFont& font) {
    const QFontMetricsF metrics(font);
    qreal widest = 0;
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        widest = std::max(widest, metrics.horizontalAdvance(word));
    }
    return std::ceil(widest);
}

bool hasSymbol(std::string_view name) {
    return name == "bird" || codePoint(name).has_value();
}

void symbol(QPainter& painter, std::string_view name, const QRectF& box, const QColor& color,
            qreal pixelSize) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (name == "bird") {
        // The app's own bird, as the tray and the home island draw it.
        const qreal side = std::min({box.width(), box.height(), pixelSize * 1.2});
        MenuBarIcon::paintBird(
            painter, QRectF(box.center().x() - side / 2, box.center().y() - side / 2, side, side),
            color, QColor(Qt::transparent));
    } else if (const auto point = codePoint(name); point && !iconFamily().isEmpty()) {
        QFont font(iconFamily());
        font.setPixelSize(std::max(1, static_cast<int>(std::lround(pixelSize))));
        painter.setFont(font);
        painter.setPen(color);
        painter.drawText(box, Qt::AlignCenter, QString(QChar(*point)));
    }
    painter.restore();
}

}  // namespace SettingsPaint

}  // namespace ovra
