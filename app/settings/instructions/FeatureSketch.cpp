#include "app/settings/instructions/FeatureSketch.h"

#include <QPainter>
#include <QPainterPath>

#include "app/overlay/StyleKit.h"
#include "app/overlay/Suite.h"
#include "app/settings/views/SettingsPaint.h"
#include "core/OvraText.h"
#include "platform/qt/QtText.h"

namespace ovra::FeatureSketch {

namespace {

// The colour roles of the pictures: the same whatever highlight theme the user chose.
struct Colors {
    bool dark;
    QColor background() const { return qColor(dark ? Suite::slateRaise : Suite::paperRaise); }
    QColor panel() const { return qColor(dark ? Suite::slate : Suite::paper); }
    QColor hairline() const {
        return dark ? qColor(Suite::creamInk, 0.10) : qColor(Suite::ink, 0.12);
    }
    QColor veil() const { return QColor::fromRgbF(0, 0, 0, dark ? 0.45F : 0.30F); }
    QColor accent() const { return qColor(dark ? Suite::signal : Suite::ember); }
    QColor soft() const { return dark ? qColor(Suite::signal, 0.13) : qColor(Suite::ember, 0.10); }
    QColor numeral() const { return qColor(dark ? Suite::onSignal : Suite::onEmber); }
    QColor heading() const { return qColor(dark ? Suite::signalInk : Suite::emberInk); }
    QColor text(double opacity = 1) const {
        return qColor(dark ? Suite::creamInk : Suite::ink, opacity);
    }
};

// One picture's drawing, in design-space points.
class Sketch {
  public:
    Sketch(QPainter& painter, bool dark) : p_(painter), c_{dark} {}

    void rounded(const QRectF& r, qreal radius, const QColor& fill,
                 const QColor& stroke = Qt::transparent, qreal width = 0) {
        p_.setBrush(fill == Qt::transparent ? QBrush(Qt::NoBrush) : QBrush(fill));
        p_.setPen(width > 0 ? QPen(stroke, width) : QPen(Qt::NoPen));
        p_.drawRoundedRect(r, radius, radius);
    }
    void panel(const QRectF& r) { rounded(r, 8, c_.panel(), c_.hairline(), 1); }
    void veil() { rounded(QRectF(16, 32, 288, 124), 0, c_.veil()); }
    void placeholder(qreal x, qreal y, qreal w) { rounded(QRectF(x, y, w, 6), 3, c_.text(0.35)); }
    void ring(int number, const QRectF& r, bool selected = false) {
        rounded(r, 7, c_.panel(), c_.accent(), selected ? 3 : 2);
        const QPointF badge(r.x() - 2, r.y() - 2);
        p_.setPen(Qt::NoPen);
        p_.setBrush(c_.accent());
        p_.drawEllipse(badge, 9, 9);
        centred(QString::number(number), badge, 11, QFont::Bold, c_.numeral());
    }
    // Translated words are looked up before drawing; keys and numbers are drawn as they are.
    void centred(const QString& text, QPointF at, qreal size, QFont::Weight weight,
                 const QColor& color) {
        draw(text, QRectF(at.x() - 150, at.y() - size, 300, 2 * size), Qt::AlignCenter, size,
             weight, color);
    }
    void leading(const QString& text, QPointF at, qreal size, QFont::Weight weight,
                 const QColor& color) {
        draw(text, QRectF(at.x(), at.y() - size, 300, 2 * size), Qt::AlignLeft | Qt::AlignVCenter,
             size, weight, color);
    }
    void chip(const char* key, const char* word, QPointF at) {
        rounded(QRectF(at.x() - 38, at.y() - 10, 76, 20), 6, c_.panel(), c_.hairline(), 1);
        centred(qs(key) + QStringLiteral("  ") + qs(OvraText::t(word)), at, 10, QFont::DemiBold,
                c_.text());
    }
    void findField(qreal panelWidth) {
        panel(QRectF(24, 40, panelWidth, 108));
        rounded(QRectF(32, 48, panelWidth - 16, 20), 6, c_.background(), c_.accent(), 2);
    }

    void frame() {
        rounded(QRectF(0, 0, kDesignWidth, kDesignHeight), 0, c_.background());
        rounded(QRectF(16, 14, 288, 142), 8, c_.panel(), c_.hairline(), 1);
        rounded(QRectF(16, 14, 288, 18), 8, c_.hairline());
    }
    void draw(OvraFeature feature);

  private:
    void draw(const QString& text, const QRectF& box, Qt::Alignment align, qreal size,
              QFont::Weight weight, const QColor& color) {
        p_.setFont(styleFont(size, weight));
        p_.setPen(color);
        p_.drawText(box, static_cast<int>(align), text);
    }
    QString word(const char* english) const { return qs(OvraText::t(english)); }

    QPainter& p_;
    Colors c_;
};

void Sketch::draw(OvraFeature feature) {
    const QColor text = c_.text();
    switch (feature) {
        case OvraFeature::ovras:
            veil();
            ring(1, {40, 52, 90, 24}, true);
            ring(2, {150, 52, 110, 24});
            ring(3, {40, 96, 140, 24});
            ring(4, {200, 96, 70, 24});
            placeholder(40, 134, 200);
            return;
        case OvraFeature::sidebar: {
            veil();
            panel({24, 40, 112, 108});
            leading(word("ACTIONS"), {34, 52}, 8, QFont::Bold, c_.heading());
            for (int i = 0; i < 4; ++i) {
                const QRectF row(32, 60 + 20 * i, 96, 14);
                if (i == 0) {
                    rounded(row, 4, c_.soft(), c_.accent(), 1);
                } else {
                    rounded(row, 4, Qt::transparent, c_.hairline(), 1);
                }
                placeholder(38, 64 + 20 * i, 60);
            }
            QPainterPath connector({128, 67});
            connector.cubicTo({170, 67}, {190, 82}, {214, 90});
            p_.setBrush(Qt::NoBrush);
            p_.setPen(QPen(c_.accent(), 2));
            p_.drawPath(connector);
            ring(1, {214, 80, 70, 22}, true);
            return;
        }
        case OvraFeature::popups:
            placeholder(30, 42, 150);
            placeholder(30, 56, 220);
            veil();
            rounded({60, 54, 200, 86}, 8, c_.panel());
            placeholder(74, 68, 150);
            placeholder(74, 80, 120);
            ring(1, {80, 106, 70, 22}, true);
            rounded({170, 106, 70, 22}, 7, c_.text(0.18));
            return;
        case OvraFeature::veiled: {
            veil();
            ring(1, {40, 50, 110, 22});
            rounded({170, 44, 116, 40}, 6, c_.text(0.22));
            p_.setPen(QPen(c_.text(0.30), 1));
            p_.drawLine(QPointF(176, 50), QPointF(280, 78));
            p_.drawLine(QPointF(280, 50), QPointF(176, 78));
            centred(word("Advert, veiled"), {228, 98}, 9, QFont::Normal, text);
            ring(2, {40, 108, 110, 22});
            return;
        }
        case OvraFeature::find:
            veil();
            findField(200);
            leading(word("chec"), {40, 58}, 10, QFont::Normal, text);
            rounded({32, 76, 184, 16}, 4, c_.soft(), c_.accent(), 1);
            leading(word("Checkout"), {38, 84}, 9, QFont::Normal, text);
            rounded({32, 96, 184, 16}, 4, Qt::transparent, c_.hairline(), 1);
            leading(word("Check order status"), {38, 104}, 9, QFont::Normal, text);
            return;
        case OvraFeature::scroll:
            veil();
            ring(1, {40, 48, 120, 20});
            ring(2, {40, 80, 160, 20});
            rounded({96, 118, 128, 24}, 12, c_.accent());
            centred(QStringLiteral("3  ") + word("More below") + QStringLiteral(" \u2193"),
                    {160, 130}, 10, QFont::Bold, c_.numeral());
            return;
        case OvraFeature::why:
            veil();
            ring(1, {40, 56, 110, 24}, true);
            rounded({164, 46, 128, 62}, 8, c_.panel(), c_.accent(), 1);
            leading(word("WHY"), {172, 58}, 8, QFont::Bold, c_.heading());
            placeholder(172, 70, 108);
            placeholder(172, 82, 96);
            placeholder(172, 94, 70);
            return;
        case OvraFeature::choices:
            veil();
            ring(1, {40, 56, 110, 24});
            chip("P", "always", {95, 104});
            rounded({180, 56, 100, 24}, 7, c_.text(0.20));
            chip("D", "never", {230, 104});
            return;
        case OvraFeature::say: {
            veil();
            findField(130);
            leading(word("checkout"), {40, 58}, 10, QFont::Normal, text);
            rounded({190, 62, 60, 60}, 30, c_.soft(), c_.accent(), 2);
            rounded({213, 76, 14, 24}, 7, c_.accent());
            QPainterPath holder({234, 94});
            holder.arcTo(QRectF(206, 80, 28, 28), 0, -180);
            holder.moveTo(220, 108);
            holder.lineTo(220, 116);
            p_.setBrush(Qt::NoBrush);
            p_.setPen(QPen(c_.accent(), 2));
            p_.drawPath(holder);
            return;
        }
    }
}

}  // namespace

QRectF frame(qreal width) {
    return {0, 0, width, width * kDesignHeight / kDesignWidth};
}

void paint(QPainter& painter, const QRectF& frame, OvraFeature feature, bool dark) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QPainterPath clip;
    clip.addRoundedRect(frame, kClipRadius, kClipRadius);
    painter.setClipPath(clip, Qt::IntersectClip);
    painter.translate(frame.topLeft());
    const qreal s = frame.width() / kDesignWidth;
    painter.scale(s, s);
    Sketch sketch(painter, dark);
    sketch.frame();
    sketch.draw(feature);
    painter.restore();
}

std::string label(OvraFeature feature) {
    switch (feature) {
        case OvraFeature::ovras:
            return OvraText::t(
                "Picture: a dimmed window where four actions are lit by numbered ovras, 1 to 4. "
                "Number 1 is selected.");
        case OvraFeature::sidebar:
            return OvraText::t(
                "Picture: a dimmed window with a list of actions down the left side. A line runs "
                "from the chosen row to its control on the page.");
        case OvraFeature::popups:
            return OvraText::t(
                "Picture: a pop-up over a dimmed page. Its way out is ovra number 1, already "
                "selected; the other button has no number.");
        case OvraFeature::veiled:
            return OvraText::t(
                "Picture: an advert in a dimmed window, grayed out and crossed through, labeled "
                "as veiled. The real actions keep their numbers 1 and 2.");
        case OvraFeature::find:
            return OvraText::t(
                "Picture: the Find field with “chec” typed. The list below has narrowed to "
                "Checkout, selected, and Check order status.");
        case OvraFeature::scroll:
            return OvraText::t(
                "Picture: two numbered ovras, and at the bottom a third item, More below, with an "
                "arrow pointing down.");
        case OvraFeature::why:
            return OvraText::t(
                "Picture: ovra number 1 selected, with a Why panel beside it giving Ovra's "
                "reason.");
        case OvraFeature::choices:
            return OvraText::t(
                "Picture: one item kept highlighted with P, always, and another left without a "
                "ovra with D, never.");
        case OvraFeature::say:
            return OvraText::t(
                "Picture: the Find field with “checkout” in it, and a microphone beside it.");
    }
    return {};
}

}  // namespace ovra::FeatureSketch
