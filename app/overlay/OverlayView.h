#pragma once

// The view that fills the overlay panel: it lays the model out into a scene and paints it
// (dim layer, holes, veils, rings, scroll pills, the information panel), hosts the sidebar, runs
// the animations (opening and shutting, the rings' pulse, the panel's move, the spinner) on the
// scheduler, answers clicks with the two callbacks, and shows its drawn controls to screen
// readers as buttons.

#include <QImage>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>

#include "app/overlay/AccessibleElements.h"
#include "app/overlay/OverlayLayout.h"
#include "app/overlay/OverlayModel.h"
#include "app/overlay/OverlayPainter.h"
#include "app/overlay/PointerIntent.h"
#include "app/overlay/SidebarView.h"
#include "platform/scheduler/Scheduler.h"

class QGraphicsOpacityEffect;

namespace ovra {

class FindField;
class OverlayModelSignals;

class OverlayView final : public QWidget, public AccessibleElementSource {
    Q_OBJECT
  public:
    // `onActivate` gets the id of a clicked ring, scroll pill, sidebar row or (with everything
    // shown) veil; `onDismiss` is called for a click on the dim layer.
    OverlayView(OverlayModel& model, Scheduler& scheduler, PointerIntent& pointer,
                ActivateHandler onActivate, std::function<void()> onDismiss,
                QWidget* parent = nullptr);
    ~OverlayView() override;

    void setEnvironment(const OverlayEnvironment& environment);
    const OverlayEnvironment& environment() const { return environment_; }
    // The screen as it was before the overlay showed, painted dimmed beneath everything; a null
    // image paints nothing there (a compositing manager shows what lies below).
    void setBackdrop(QImage backdrop);
    bool hasBackdrop() const { return !backdrop_.isNull(); }

    // Lays the model out again now (it also does so after every change of the model).
    void relayout();
    const OverlayScene& scene() const { return scene_; }
    OverlayMotionState motionState() const;
    SidebarView* sidebar() const { return sidebar_; }
    FindField* findField() const;

    const std::vector<AccessibleElement>& accessibleElements() const override;
    void pressAccessibleElement(const std::string& key) override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    struct Tween {
        double from = 0;
        double to = 0;
        double start = 0;
        bool running = false;
    };

    // The click target at `point`: none for the dim layer; an empty id for a target that takes
    // the click and does nothing.
    std::optional<std::optional<std::string>> hitAt(QPointF point) const;
    double openness() const;
    std::optional<Point> hudOrigin() const;
    bool animating() const;
    void tick();
    // What a frame of the pulse or the spinner changes; everything while the overlay opens,
    // shuts or its panel moves.
    QRegion animatedRegion() const;
    void ensureTicking();
    void applySidebarOpacity();
    void modelChanged();

    OverlayModel& model_;
    Scheduler& scheduler_;
    ActivateHandler onActivate_;
    std::function<void()> onDismiss_;
    OverlayModelSignals* signals_;
    SidebarView* sidebar_;
    QGraphicsOpacityEffect* sidebarFade_ = nullptr;
    OverlayEnvironment environment_;
    QImage backdrop_;
    OverlayScene scene_;
    std::vector<AccessibleElement> elements_;  // the scene's controls
    std::vector<AccessibleElement> toldElements_;
    OverlayPaintCache cache_;
    std::uint64_t generation_ = 0;
    bool laidOut_ = false;
    bool relayingOut_ = false;

    Tween open_;
    bool openTarget_ = false;
    Point hudFrom_;
    double hudStart_ = 0;
    bool hudMoving_ = false;
    double shownAt_ = 0;
    Scheduler::Token ticker_ = 0;
    // Where the left button went down: the dim layer, or a target (with its id, if any).
    struct Press {
        bool dim = false;
        std::optional<std::string> id;
    };
    std::optional<Press> pressed_;
};

}  // namespace ovra
