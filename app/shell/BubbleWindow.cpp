#include "app/shell/BubbleWindow.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPainterPath>
#include <QRegion>

#include "app/overlay/CompositorWatch.h"
#include "app/shell/BubbleDesktop.h"
#include "app/shell/MenuBarIcon.h"
#include "core/OvraText.h"
#include "platform/qt/QtText.h"

namespace ovra {

namespace {

QColor grey(double level) {
    return QColor::fromRgbF(static_cast<float>(level), static_cast<float>(level),
                            static_cast<float>(level));
}

// A soft glow round a circle without a blur: wider strokes, fainter outwards.
void paintGlow(QPainter& painter, const QRectF& circle, const QColor& color, double radius,
               double opacity) {
    constexpr int kLayers = 4;
    for (int i = kLayers; i >= 1; --i) {
        QColor c = color;
        c.setAlphaF(static_cast<float>(opacity * 0.35 / i));
        painter.setPen(QPen(c, 2 + radius * 2.0 * i / kLayers));
        painter.drawEllipse(circle);
    }
}

}  // namespace

// The round button filling the window; it paints itself against the window's left or right edge.
class BubbleWindow::Button final : public QAbstractButton {
  public:
    explicit Button(BubbleWindow& window) : QAbstractButton(&window), window_(window) {
        setFocusPolicy(Qt::NoFocus);
        setAttribute(Qt::WA_Hover);
        setAccessibleName(qs(OvraText::t("Murmlark Ovra")));
        setAccessibleDescription(qs(OvraText::t("Shows or hides the ovras")));
        setToolTip(qs(OvraText::t("Murmlark Ovra")));
    }

    QRectF disc() const {
        const double s = window_.size_;
        const double x = window_.onLeft_ ? 0 : width() - s;
        return QRectF(x, (height() - s) / 2, s, s);
    }
    void setHovering(bool on) {
        hovering_ = on;
        update();
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        paintButton(painter, disc(), hovering_);
    }
    void enterEvent(QEnterEvent* event) override {
        setHovering(true);
        QAbstractButton::enterEvent(event);
    }
    void leaveEvent(QEvent* event) override {
        setHovering(false);
        QAbstractButton::leaveEvent(event);
    }
    // The whole window takes the click, padding included.
    bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }

  private:
    BubbleWindow& window_;
    bool hovering_ = false;
};

void BubbleWindow::paintButton(QPainter& painter, const QRectF& box, bool hovering) {
    const double size = box.width();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setPen(Qt::NoPen);
    painter.setBrush(grey(0.06));
    painter.drawEllipse(box);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::black, 5));
    painter.drawEllipse(box);
    paintGlow(painter, box, QColor::fromRgbF(0.45f, 0.72f, 1.0f), hovering ? 8 : 4, 0.8);
    painter.setPen(QPen(QColor::fromRgbF(0.9f, 0.95f, 1.0f), hovering ? 3 : 2));
    painter.drawEllipse(box);
    const double bird = size * 30 / 56;
    const QRectF birdBox(box.center().x() - bird / 2, box.center().y() - bird / 2 + size / 28, bird,
                         bird);
    painter.drawImage(birdBox, MenuBarIcon::whiteImage());
    painter.restore();
}

BubbleWindow::BubbleWindow(std::function<void()> clicked)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint),
      button_(new Button(*this)),
      compositor_(std::make_unique<CompositorWatch>()) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    const QString name = qs(OvraText::t("Murmlark Ovra button"));
    setWindowTitle(name);
    setAccessibleName(name);
    connect(button_, &QAbstractButton::clicked, this, [clicked = std::move(clicked)] {
        if (clicked) {
            clicked();
        }
    });
    connect(compositor_.get(), &CompositorWatch::changed, this, [this] { applyShape(); });
}

BubbleWindow::~BubbleWindow() = default;

void BubbleWindow::present(const Rect& frame, double size, bool onLeft) {
    size_ = size;
    onLeft_ = onLeft;
    button_->setHovering(false);
    const QRect geometry(static_cast<int>(frame.minX()), static_cast<int>(frame.minY()),
                         static_cast<int>(frame.width()), static_cast<int>(frame.height()));
    setGeometry(geometry);
    button_->setGeometry(rect());
    applyShape();
    if (!QWidget::isVisible()) {
        // The desktop forgets a hidden window's states: set them again before every showing.
        keepOnEveryDesktop(*this);
        show();
    }
    update();
    raise();
}

void BubbleWindow::raise() {
    QWidget::raise();
}

void BubbleWindow::orderOut() {
    hide();
}

Rect BubbleWindow::frame() const {
    const QRect g = geometry();
    return Rect(g.x(), g.y(), g.width(), g.height());
}

void BubbleWindow::applyShape() {
    if (compositor_->active() || QGuiApplication::platformName() != "xcb") {
        clearMask();
        return;
    }
    // No compositor: transparency would show black, so the window keeps the button's round
    // shape, its edge and a little glow.
    const QRectF disc = button_->disc().adjusted(-5, -5, 5, 5);
    setMask(QRegion(disc.toAlignedRect(), QRegion::Ellipse));
}

QImage BubbleWindow::render() {
    QImage image(size() * devicePixelRatio(), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(devicePixelRatio());
    image.fill(Qt::transparent);
    QWidget::render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

QAbstractButton& BubbleWindow::button() {
    return *button_;
}

}  // namespace ovra
