#pragma once

// What the settings window's painted views share: the colours of good and bad states, the
// common keyboard focus ring, the card look of rows and panels, the palette picked by the dark
// flag, wrapped text measured and drawn the same way, and the symbols of the rows and panes.
// One design point is one logical pixel.

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QString>
#include <string_view>

#include "app/overlay/StyleKit.h"
#include "app/overlay/Suite.h"

class QPainter;

namespace ovra {

namespace StatusColor {
QColor ok();              // #2E7D52 in both appearances
QColor error(bool dark);  // #F2B8B5 dark, #B3261E light
}  // namespace StatusColor

// The palette pair for a dark flag.
struct Tone {
    bool dark = false;
    QColor ink() const { return dark ? qColor(Suite::creamInk) : qColor(Suite::ink); }
    // Secondary text: slate mist when dark, ink at 62 % when light.
    QColor secondary() const { return dark ? qColor(Suite::slateMist) : qColor(Suite::ink, 0.62); }
    QColor accent() const { return dark ? qColor(Suite::signal) : qColor(Suite::ember); }
    QColor accentInk() const { return dark ? qColor(Suite::signalInk) : qColor(Suite::emberInk); }
    QColor hairline() const {
        return dark ? qColor(Suite::creamInk, 0.1) : qColor(Suite::ink, 0.12);
    }
    QColor paper() const { return dark ? qColor(Suite::slate) : qColor(Suite::paper); }
    QColor sidebar() const { return dark ? qColor(Suite::slateNight) : qColor(Suite::paperNight); }
};

namespace SettingsPaint {

// A 2-pixel stroke along the rounded outline in ember (signal when dark), and a 4-pixel stroke
// at 14 % opacity laid 3 pixels outside it. Nothing when not focused: the space is always kept.
void focusRing(QPainter& painter, const QRectF& outline, qreal radius, bool focused, bool dark);
// How far the ring reaches outside the outline it is drawn around.
inline constexpr qreal kRingReach = 5;

// A row's card: black at 30 % (white when light) with a 1-pixel hairline border.
void card(QPainter& painter, const QRectF& rect, qreal radius, const Tone& tone);
// The hero card's panel: a vertical gradient, a 1-pixel inner border and a soft drop shadow.
void suitePanel(QPainter& painter, const QRectF& rect, qreal radius, bool dark);

// Text wrapped to `width`: its height, and drawing it.
qreal wrappedHeight(const QString& text, const QFont& font, qreal width);
void drawWrapped(QPainter& painter, const QRectF& rect, const QString& text, const QFont& font,
                 const QColor& color, Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignTop);
// The width of the text's widest word: less room than this cuts that word.
qreal widestWord(const QString& text, const QFont& font);

// The symbol of a row or pane by its name (the names the panes use, such as "gearshape"),
// centred in `box` at `pixelSize`. The bird is the app's own drawing; the others come from the
// Material Design Icons font. An unknown name, or a missing font, draws nothing.
void symbol(QPainter& painter, std::string_view name, const QRectF& box, const QColor& color,
            qreal pixelSize);
// Whether a symbol of this name can be drawn.
bool hasSymbol(std::string_view name);

}  // namespace SettingsPaint

}  // namespace ovra
