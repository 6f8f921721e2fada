#pragma once

// The on-screen button's window: a small frameless tool window that never takes the keyboard
// focus, above other windows on every desktop and out of the taskbar. It holds one round button
// against the screen edge; the padding around it also takes the click. With a compositing
// manager the padding is see-through; without one the window is cut to the button's round shape.

#include <QAbstractButton>
#include <QWidget>
#include <functional>
#include <memory>

#include "app/shell/BubbleController.h"

namespace ovra {

class CompositorWatch;

class BubbleWindow final : public QWidget, public BubblePanel {
    Q_OBJECT
  public:
    explicit BubbleWindow(std::function<void()> clicked);
    ~BubbleWindow() override;

    void present(const Rect& frame, double size, bool onLeft) override;
    void raise() override;
    void orderOut() override;
    bool isVisible() const override { return QWidget::isVisible(); }
    Rect frame() const override;

    // The button as it stands drawn over transparency, for tests.
    QImage render();
    QAbstractButton& button();

    // The button `size` pixels across centred in `box`: a dark disc, a black edge, a light ring
    // with a blue glow (wider while hovered) and the white bird.
    static void paintButton(QPainter& painter, const QRectF& box, bool hovering);

  private:
    class Button;
    void applyShape();

    Button* button_;
    std::unique_ptr<CompositorWatch> compositor_;
    double size_ = 80;
    bool onLeft_ = false;
};

}  // namespace ovra
