#include "app/settings/views/HomeHeaderView.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>
#include <QVBoxLayout>
#include <cmath>
#include <memory>

#include "app/overlay/StyleKit.h"
#include "app/settings/views/SettingsPaint.h"
#include "app/settings/views/StatusTilesView.h"
#include "core/OvraText.h"
#include "platform/qt/QtText.h"

namespace ovra {

PaintedBlock::PaintedBlock(QWidget* parent) : QWidget(parent) {
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

int PaintedBlock::heightForWidth(int width) const {
    return static_cast<int>(std::ceil(contentHeight(width)));
}

QSize PaintedBlock::sizeHint() const {
    const int w = std::max(width(), 320);
    return {w, heightForWidth(w)};
}

QSize PaintedBlock::minimumSizeHint() const {
    return {100, 0};  // the height follows the width
}

void paintOvraRing(QPainter& painter, const QRectF& box, qreal size, bool dark) {
    const QColor color = dark ? qColor(Suite::signal) : qColor(Suite::ember);
    const QRectF ellipse(box.center().x() - size / 2, box.center().y() - size * 0.17, size,
                         size * 0.34);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    // Glows as wider, fainter strokes: QPainter has no blur.
    for (const auto& [radius, opacity] : {std::pair{size * 0.3, 0.45}, {size * 0.14, 0.85}}) {
        for (int i = 4; i >= 1; --i) {
            QColor glow = color;
            glow.setAlphaF(static_cast<float>(opacity * 0.12));
            painter.setPen(QPen(glow, size * 0.09 + radius * i / 2, Qt::SolidLine, Qt::FlatCap));
            painter.drawEllipse(ellipse);
        }
    }
    painter.setPen(QPen(color, size * 0.09, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    painter.drawEllipse(ellipse);
    painter.restore();
}

namespace {

// Wrapped text with one part in another colour.
struct RichText {
    QString text;
    QFont font;
    QColor color;
    QString accent;
    QColor accentColor;

    std::unique_ptr<QTextLayout> laidOut(qreal width, qreal& height) const {
        auto layout = std::make_unique<QTextLayout>(text, font);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout->setTextOption(option);
        if (!accent.isEmpty()) {
            if (const auto at = text.indexOf(accent); at >= 0) {
                QTextLayout::FormatRange range;
                range.start = static_cast<int>(at);
                range.length = static_cast<int>(accent.size());
                range.format.setForeground(accentColor);
                layout->setFormats({range});
            }
        }
        layout->beginLayout();
        height = 0;
        for (QTextLine line = layout->createLine(); line.isValid(); line = layout->createLine()) {
            line.setLineWidth(std::max<qreal>(width, 1));
            line.setPosition(QPointF(0, height));
            height += line.height();
        }
        layout->endLayout();
        return layout;
    }
    qreal height(qreal width) const {
        qreal h = 0;
        laidOut(width, h);
        return h;
    }
    void draw(QPainter& painter, QPointF at, qreal width) const {
        qreal h = 0;
        auto layout = laidOut(width, h);
        painter.save();
        painter.setPen(color);
        layout->draw(&painter, at);
        painter.restore();
    }
};

class GreetingView final : public PaintedBlock {
  public:
    GreetingView(QString greeting, double scale, bool dark, QWidget* parent)
        : PaintedBlock(parent),
          greeting_(std::move(greeting)),
          line_(qs(OvraText::t("Ovra shows you what matters on any screen."))),
          scale_(scale),
          dark_(dark) {
        setAccessibleName(greeting_ + ". " + line_);
    }

  protected:
    qreal contentHeight(qreal width) const override {
        return SettingsPaint::wrappedHeight(greeting_, big(), width) + 3 +
               SettingsPaint::wrappedHeight(line_, small(), width);
    }
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const Tone tone{dark_};
        const qreal h = SettingsPaint::wrappedHeight(greeting_, big(), width());
        SettingsPaint::drawWrapped(painter, QRectF(0, 0, width(), h), greeting_, big(), tone.ink());
        SettingsPaint::drawWrapped(painter, QRectF(0, h + 3, width(), height() - h - 3), line_,
                                   small(), tone.secondary());
    }

  private:
    QFont big() const { return styleFont(27 * scale_, QFont::Bold); }
    QFont small() const { return styleFont(14 * scale_); }

    QString greeting_;
    QString line_;
    double scale_;
    bool dark_;
};

class HeroCardView final : public PaintedBlock {
  public:
    HeroCardView(HomeHeaderModel::Hero hero, double scale, bool dark, QWidget* parent)
        : PaintedBlock(parent),
          hero_(std::move(hero)),
          scale_(scale),
          dark_(dark),
          paper_(dark, 32 * scale, 26 * scale) {
        setAccessibleName(qs(hero_.kicker + ". " + hero_.headline + ". " + hero_.detail));
    }

  protected:
    qreal contentHeight(qreal width) const override {
        const double s = scale_;
        const qreal textW = textWidth(width);
        const qreal text = QFontMetricsF(Kicker::font(s)).height() + 8 * s +
                           headline().height(textW) + 8 * s +
                           SettingsPaint::wrappedHeight(qs(hero_.detail), detailFont(), textW);
        // The shadow reaches below the card.
        return std::max(text + 52 * s, (34 + 110 * 0.34 + 20) * s) + kShadow;
    }
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const double s = scale_;
        const Tone tone{dark_};
        const QRectF card(0, 0, width(), height() - kShadow);
        SettingsPaint::suitePanel(painter, card, 20, dark_);
        painter.save();
        QPainterPath clip;
        clip.addRoundedRect(card, 20, 20);
        painter.setClipPath(clip);
        painter.setOpacity(0.9);
        painter.translate(card.topLeft());
        paper_.paint(painter, card.size(), devicePixelRatioF());
        painter.restore();
        const qreal ring = 110 * s;
        paintOvraRing(painter,
                      QRectF(card.right() - 26 * s - ring, card.top() + 34 * s, ring, ring * 0.34),
                      ring, dark_);
        const qreal x = card.left() + 26 * s;
        qreal y = card.top() + 26 * s;
        const qreal textW = textWidth(width());
        const QFont kicker = Kicker::font(s);
        painter.setFont(kicker);
        painter.setPen(Kicker::color(dark_));
        const qreal kickerH = QFontMetricsF(kicker).height();
        painter.drawText(QRectF(x, y, textW, kickerH), Qt::AlignLeft | Qt::AlignVCenter,
                         Kicker::upperCased(qs(hero_.kicker)));
        y += kickerH + 8 * s;
        const RichText title = headline();
        title.draw(painter, QPointF(x, y), textW);
        y += title.height(textW) + 8 * s;
        SettingsPaint::drawWrapped(painter, QRectF(x, y, textW, height() - y), qs(hero_.detail),
                                   detailFont(), tone.secondary());
    }

  private:
    static constexpr qreal kShadow = 12;
    qreal textWidth(qreal width) const {
        return std::max<qreal>(60, width - (26 + 26 + 130) * scale_);
    }
    QFont detailFont() const { return styleFont(14 * scale_); }
    RichText headline() const {
        const Tone tone{dark_};
        return {qs(hero_.headline), styleFont(30 * scale_, QFont::Black), tone.ink(),
                hero_.count ? qs(*hero_.count) : QString(), tone.accentInk()};
    }

    HomeHeaderModel::Hero hero_;
    double scale_;
    bool dark_;
    mutable RuledPaper paper_;
};

}  // namespace

HomeHeaderView::HomeHeaderView(const Content& content, double scale, bool dark, QWidget* parent)
    : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(static_cast<int>(22 * scale));
    column->addWidget(new GreetingView(qs(content.greeting), scale, dark, this));
    column->addWidget(new HeroCardView(content.hero, scale, dark, this));
    auto* tiles = new StatusTilesView(content.tiles, scale, dark, this);
    connect(tiles, &StatusTilesView::paneRequested, this, &HomeHeaderView::paneRequested);
    column->addWidget(tiles);
}

BannerView::BannerView(QString text, bool problem, double scale, bool dark, QWidget* parent)
    : PaintedBlock(parent), text_(std::move(text)), problem_(problem), scale_(scale), dark_(dark) {
    setAccessibleName(text_);
}

qreal BannerView::contentHeight(qreal width) const {
    const double s = scale_;
    return SettingsPaint::wrappedHeight(text_, styleFont(17 * s, QFont::DemiBold),
                                        width - 28 * s - 28 * s) +
           28 * s;
}

void BannerView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double s = scale_;
    const Tone tone{dark_};
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    painter.setPen(QPen(dark_ ? qColor(Suite::signal, 0.5) : qColor(Suite::ember, 0.5), 1));
    painter.setBrush(dark_ ? qColor(Suite::signal, 0.13) : qColor(Suite::ember, 0.1));
    painter.drawRoundedRect(box, 14, 14);
    const QFont font = styleFont(17 * s, QFont::DemiBold);
    SettingsPaint::symbol(painter,
                          problem_ ? "exclamationmark.triangle.fill" : "checkmark.circle.fill",
                          QRectF(14 * s, 14 * s, 20 * s, 22 * s), tone.accentInk(), 20 * s);
    SettingsPaint::drawWrapped(painter, QRectF(42 * s, 14 * s, width() - 56 * s, height() - 28 * s),
                               text_, font, tone.accentInk());
}

ThemePreview::ThemePreview(BeaconTheme theme, QWidget* parent)
    : PaintedBlock(parent), theme_(theme) {}

qreal ThemePreview::contentHeight(qreal) const {
    return 18 + 5 + 4 + 36 + 4 + 5 + 18;
}

void ThemePreview::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(qColor(Suite::slate));
    painter.drawRoundedRect(QRectF(rect()), 16, 16);
    const QColor ring = qColor(theme_.color());
    QColor glow = theme_ == BeaconTheme::ovra    ? QColor::fromRgbF(0.45F, 0.72F, 1.0F)
                  : theme_ == BeaconTheme::ember ? qColor(Suite::signal)
                                                 : QColor(Qt::transparent);
    const QFont label = styleFont(14, QFont::DemiBold);
    const QString text = qs(OvraText::t("Continue"));
    const qreal buttonW = QFontMetricsF(label).horizontalAdvance(text) + 28;
    const qreal buttonH = QFontMetricsF(label).height() + 14;
    const qreal sampleW = 30 + 10 + buttonW + 10;
    const qreal totalW = 2 * sampleW + 18;
    qreal x = (width() - totalW) / 2;
    const qreal midY = height() / 2.0;
    for (const bool lightSample : {true, false}) {
        const QRectF badge(x, midY - 15, 30, 30);
        painter.setPen(QPen(Qt::black, 2));
        painter.setBrush(ring);
        painter.drawEllipse(badge);
        painter.setPen(Qt::black);
        painter.setFont(styleFont(16, QFont::Black));
        painter.drawText(badge, Qt::AlignCenter, QStringLiteral("1"));
        const QRectF button(badge.right() + 10 + 5, midY - buttonH / 2, buttonW, buttonH);
        const QRectF outline = button.adjusted(-5, -5, 5, 5);
        if (glow.alpha() > 0) {
            for (int i = 3; i >= 1; --i) {
                QColor layer = glow;
                layer.setAlphaF(0.7F / 5);
                painter.setPen(QPen(layer, 3.5 + 2.0 * i));
                painter.setBrush(Qt::NoBrush);
                painter.drawRoundedRect(outline, 10, 10);
            }
        }
        painter.setPen(QPen(Qt::black, 8));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(outline, 10, 10);
        painter.setPen(QPen(ring, 3.5));
        painter.drawRoundedRect(outline, 10, 10);
        painter.setPen(Qt::NoPen);
        painter.setBrush(lightSample ? QColor(Qt::white) : QColor(51, 51, 51));
        painter.drawRoundedRect(button, 7, 7);
        painter.setPen(lightSample ? Qt::black : Qt::white);
        painter.setFont(label);
        painter.drawText(button, Qt::AlignCenter, text);
        x += sampleW + 18;
    }
}

}  // namespace ovra
