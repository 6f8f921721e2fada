#pragma once

// The style kit's Qt half: palette colours as QColor, the fonts every window uses (set by pixel
// size, since one point of the design is one logical pixel), the ruled-paper background drawn
// once into a cached pixmap, and the small upper-case label above headings.

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QLocale>
#include <QPixmap>
#include <QString>

#include "core/SettingsTypes.h"

class QPainter;

namespace ovra {

QColor qColor(const RgbColor& color, double opacity = 1.0);

enum class FontDesign { standard, monospaced, rounded };

// The desktop's interface font (or its fixed-width font) at `pixelSize` logical pixels.
// There is no rounded face on this desktop: rounded is the standard face.
QFont styleFont(double pixelSize, QFont::Weight weight = QFont::Normal,
                FontDesign design = FontDesign::standard);

// The ruled background of the settings, instructions and home windows: horizontal rules every
// line height and one vertical margin rule. The drawing is kept in a pixmap and drawn again
// only when the size, the device pixel ratio or the look changes.
class RuledPaper final {
  public:
    RuledPaper(bool dark, double lineHeight, double margin)
        : dark_(dark), lineHeight_(lineHeight), margin_(margin) {}

    // Draws the paper over `size` (logical pixels) from the top-left of `painter`'s space.
    void paint(QPainter& painter, QSizeF size, qreal devicePixelRatio);
    // The cached drawing for that size; transparent where nothing is ruled.
    const QPixmap& pixmap(QSizeF size, qreal devicePixelRatio);

    QColor ruleColor() const;
    QColor marginColor() const;

  private:
    QString key(QSize pixels, qreal devicePixelRatio) const;

    bool dark_;
    double lineHeight_;
    double margin_;
    QString cachedKey_;
    QPixmap cached_;
};

// The small upper-case label set above a heading; read by screen readers as a heading.
class Kicker final : public QLabel {
    Q_OBJECT
  public:
    Kicker(const QString& text, bool dark, double scale, QWidget* parent = nullptr);

    // The text upper-cased by the rules of `locale` (Turkish "i" becomes "İ").
    static QString upperCased(const QString& text, const QLocale& locale = QLocale());
    static QFont font(double scale);
    static QColor color(bool dark);
};

}  // namespace ovra
