#include "app/shell/FlightTrailWindow.h"

#include <QAccessibleWidget>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include "app/overlay/CompositorWatch.h"
#include "app/overlay/StyleKit.h"
#include "app/overlay/Suite.h"
#include "app/shell/BubbleDesktop.h"
#include "app/shell/MenuBarIcon.h"

namespace ovra {

namespace {

constexpr double kFrameInterval = 1.0 / 60;
constexpr double kBirdSize = 16;

QPointF qp(Point p) {
    return {p.x, p.y};
}

QColor withAlpha(QColor color, double alpha) {
    color.setAlphaF(static_cast<float>(alpha));
    return color;
}

// A glow along a path without a blur: wider strokes, fainter outwards.
void strokeGlow(QPainter& painter, const QPainterPath& path, const QColor& color, double radius,
                double opacity) {
    constexpr int kLayers = 4;
    for (int i = kLayers; i >= 1; --i) {
        QPen pen(withAlpha(color, opacity * 0.3 / i), 2 + radius * 2.0 * i / kLayers);
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
        painter.strokePath(path, pen);
    }
}

// The trail is decoration: screen readers are told it is not there to be read.
class Unseen final : public QAccessibleWidget {
  public:
    explicit Unseen(QWidget* widget) : QAccessibleWidget(widget, QAccessible::NoRole) {}
    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.invisible = true;
        return state;
    }
};

// Qt's accessibility cache owns what a factory makes.
QAccessibleInterface* unseenTrail(const QString& className, QObject* object) {
    return className == QLatin1String(FlightTrailWindow::staticMetaObject.className())
               ? new Unseen(static_cast<QWidget*>(object))
               : nullptr;
}

}  // namespace

FlightTrailWindow::FlightTrailWindow(Scheduler& scheduler, std::function<bool()> dark)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowDoesNotAcceptFocus | Qt::WindowTransparentForInput |
                           Qt::NoDropShadowWindowHint),
      scheduler_(scheduler),
      dark_(std::move(dark)),
      compositor_(std::make_unique<CompositorWatch>()) {
    static const bool unseen = (QAccessible::installFactory(unseenTrail), true);
    (void)unseen;
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

FlightTrailWindow::~FlightTrailWindow() {
    scheduler_.cancel(ticker_);
}

void FlightTrailWindow::play(const Rect& screen, Point from, Point to, bool reduceMotion) {
    // Without a compositing manager the see-through window would paint the screen black.
    if (QGuiApplication::platformName() == "xcb" && !compositor_->active()) {
        return;
    }
    from_ = from;
    to_ = to;
    reduceMotion_ = reduceMotion;
    startedAt_ = scheduler_.now();
    setGeometry(QRect(static_cast<int>(screen.minX()), static_cast<int>(screen.minY()),
                      static_cast<int>(screen.width()), static_cast<int>(screen.height())));
    if (!QWidget::isVisible()) {
        keepOnEveryDesktop(*this);
        show();
    }
    QWidget::raise();
    update();
    scheduler_.cancel(ticker_);
    ticker_ = scheduler_.every(kFrameInterval, [this] {
        update();
        if (scheduler_.now() - startedAt_ > FlightTrail::kDuration) {
            scheduler_.cancel(ticker_);
            ticker_ = 0;
        }
    });
}

void FlightTrailWindow::orderOut() {
    scheduler_.cancel(ticker_);
    ticker_ = 0;
    hide();
}

void FlightTrailWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QColor accent = qColor(dark_ && dark_() ? Suite::signal : Suite::ember);
    paintTrail(painter, from_, to_, FlightTrail::at(scheduler_.now() - startedAt_, reduceMotion_),
               accent);
}

void FlightTrailWindow::paintTrail(QPainter& painter, Point from, Point to,
                                   const FlightTrail::Frame& frame, const QColor& accent) {
    if (frame.fade <= 0) {
        return;
    }
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setOpacity(frame.fade);
    const auto points = FlightTrail::trimmed(from, to, frame.progress);
    if (points.size() > 1) {
        QPainterPath line(qp(points.front()));
        for (std::size_t i = 1; i < points.size(); ++i) {
            line.lineTo(qp(points[i]));
        }
        strokeGlow(painter, line, accent, 9, 0.5);
        strokeGlow(painter, line, accent, 4, 0.9);
        QLinearGradient gradient(qp(from), qp(to));
        gradient.setColorAt(0, withAlpha(accent, 0.95));
        gradient.setColorAt(1, withAlpha(accent, 0.2));
        QPen pen(QBrush(gradient), 2);
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
        painter.strokePath(line, pen);
    }
    if (frame.birdOpacity > 0) {
        const QPointF at = qp(FlightTrail::point(from, to, frame.progress));
        painter.setOpacity(frame.fade * frame.birdOpacity);
        QRadialGradient glow(at, kBirdSize / 2 + 4);
        glow.setColorAt(0, accent);
        glow.setColorAt(1, withAlpha(accent, 0));
        painter.setPen(Qt::NoPen);
        painter.setBrush(glow);
        painter.drawEllipse(at, kBirdSize / 2 + 4, kBirdSize / 2 + 4);
        painter.drawImage(
            QRectF(at.x() - kBirdSize / 2, at.y() - kBirdSize / 2, kBirdSize, kBirdSize),
            MenuBarIcon::whiteImage());
    }
    painter.restore();
}

}  // namespace ovra
