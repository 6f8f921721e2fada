#pragma once

// The flight trail's window: the whole screen, see-through and letting every click through,
// drawing a glowing line from the on-screen button up to the tray with the white bird flying
// along it. It needs a compositing manager: without one a flight shows nothing.

#include <QWidget>
#include <functional>
#include <memory>

#include "app/shell/BubbleController.h"
#include "app/shell/FlightTrail.h"
#include "platform/scheduler/Scheduler.h"

namespace ovra {

class CompositorWatch;

class FlightTrailWindow final : public QWidget, public TrailPanel {
    Q_OBJECT
  public:
    // `dark`: whether the app's windows look dark (the trail is then drawn in the signal
    // colour, else in ember).
    FlightTrailWindow(Scheduler& scheduler, std::function<bool()> dark);
    ~FlightTrailWindow() override;

    void play(const Rect& screen, Point from, Point to, bool reduceMotion) override;
    void orderOut() override;
    bool isVisible() const override { return QWidget::isVisible(); }

    // One moment of the trail from `from` to `to` (logical pixels from the painter's origin).
    static void paintTrail(QPainter& painter, Point from, Point to, const FlightTrail::Frame& frame,
                           const QColor& accent);

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    Scheduler& scheduler_;
    std::function<bool()> dark_;
    std::unique_ptr<CompositorWatch> compositor_;
    Point from_;
    Point to_;
    bool reduceMotion_ = false;
    double startedAt_ = 0;
    Scheduler::Token ticker_ = 0;
};

}  // namespace ovra
