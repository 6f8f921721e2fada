#include "app/overlay/OverlayView.h"

#include <QGraphicsOpacityEffect>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "app/overlay/FindField.h"
#include "app/overlay/Motion.h"
#include "app/overlay/OverlayModelSignals.h"

namespace ovra {

namespace {

constexpr double kFrame = 1.0 / 60;

bool insideCapsule(const Rect& r, QPointF p) {
    const double radius = std::min(r.width(), r.height()) / 2;
    const double x = std::clamp(p.x(), r.minX() + radius, r.maxX() - radius);
    const double y = std::clamp(p.y(), r.minY() + radius, r.maxY() - radius);
    return std::hypot(p.x() - x, p.y() - y) <= radius;
}

QRect toQRect(const Rect& r) {
    return QRectF(r.minX(), r.minY(), r.width(), r.height()).toAlignedRect();
}

}  // namespace

OverlayView::OverlayView(OverlayModel& model, Scheduler& scheduler, PointerIntent& pointer,
                         ActivateHandler onActivate, std::function<void()> onDismiss,
                         QWidget* parent)
    : QWidget(parent),
      model_(model),
      scheduler_(scheduler),
      onActivate_(std::move(onActivate)),
      onDismiss_(std::move(onDismiss)),
      signals_(new OverlayModelSignals(model, this)),
      sidebar_(new SidebarView(
          model, scheduler, pointer,
          [this](const std::string& id) {
              if (onActivate_) {
                  onActivate_(id);
              }
          },
          this)) {
    installOverlayAccessibility();
    setFocusPolicy(Qt::NoFocus);
    setMouseTracking(false);
    openTarget_ = model.islandOpen();
    open_ = {openTarget_ ? 1.0 : 0.0, openTarget_ ? 1.0 : 0.0, 0, false};
    sidebar_->hide();
    connect(signals_, &OverlayModelSignals::changed, this, &OverlayView::modelChanged);
    connect(sidebar_, &SidebarView::selectedRowMoved, this, &OverlayView::relayout);
}

OverlayView::~OverlayView() {
    scheduler_.cancel(ticker_);
}

FindField* OverlayView::findField() const {
    return sidebar_->findField();
}

void OverlayView::setEnvironment(const OverlayEnvironment& environment) {
    environment_ = environment;
    sidebar_->setReduceTransparency(environment.reduceTransparency);
    relayout();
}

void OverlayView::setBackdrop(QImage backdrop) {
    backdrop_ = std::move(backdrop);
    update();
}

void OverlayView::modelChanged() {
    if (model_.islandOpen() != openTarget_) {
        openTarget_ = model_.islandOpen();
        open_ = {openness(), openTarget_ ? 1.0 : 0.0, scheduler_.now(), true};
    }
    if (model_.sidebar() && sidebar_->isVisible()) {
        // The relayout below takes in where the selected row went: once is enough.
        relayingOut_ = true;
        sidebar_->sync();
        relayingOut_ = false;
    }
    relayout();
}

void OverlayView::relayout() {
    if (relayingOut_) {
        return;
    }
    relayingOut_ = true;
    const Size screen{static_cast<double>(width()), static_cast<double>(height())};
    const double sidebarWidth = OverlayLayout::sidebarWidth(screen.width, model_.textScale);
    const int top = static_cast<int>(std::lround(model_.topInset));
    sidebar_->setGeometry(0, top, static_cast<int>(std::lround(sidebarWidth)),
                          std::max(0, height() - top));
    sidebar_->setVisible(model_.sidebar() && openness() > 0);
    applySidebarOpacity();

    const double hudWidth = OverlayLayout::hudWidth(model_, screen);
    const HudContent hud = OverlayLayout::hudContent(model_);
    const double hudScale = OverlayPainter::hudTextScale(
        hud, hudWidth, model_.textScale,
        OverlayLayout::hudRoom(OverlayLayout::hudArea(model_, screen).size, model_.topInset));
    OverlayLayoutInput input{screen, environment_,
                             OverlayPainter::hudHeight(hud, hudWidth, hudScale), std::nullopt,
                             hudScale};
    if (const auto row = sidebar_->selectedRowFrame(this)) {
        input.selectedRowFrame = Rect(row->x(), row->y(), row->width(), row->height());
    }
    const std::optional<Point> shownHud = hudOrigin();
    OverlayScene next = OverlayLayout::layout(model_, input);
    if (const double clear = next.hudPlacement.roomClearOfChosen;
        clear > 0 && clear < input.hudHeight) {
        // Over the chosen control wherever it stands: the panel's text shrinks to fit beside it.
        const double smaller = OverlayPainter::hudTextScale(hud, hudWidth, hudScale, clear);
        input.hudTextScale = smaller;
        input.hudHeight = OverlayPainter::hudHeight(hud, hudWidth, smaller);
        next = OverlayLayout::layout(model_, input);
    }
    next.generation = ++generation_;
    const Point target = next.hudPlacement.frame.origin;
    if (laidOut_ && shownHud && !(*shownHud == target) && isVisible() &&
        !environment_.reduceMotion && openness() > 0) {
        hudFrom_ = *shownHud;
        hudStart_ = scheduler_.now();
        hudMoving_ = true;
    } else if (environment_.reduceMotion) {
        hudMoving_ = false;
    }
    scene_ = std::move(next);
    elements_.clear();
    if (!scene_.panelSentence.empty()) {
        // Read as text where a screen reader's review looks, before the controls.
        elements_.push_back({"panel-sentence", QString::fromStdString(scene_.panelSentence),
                             toQRect(scene_.hudPlacement.frame), QAccessible::StaticText, false,
                             false});
    }
    for (const AccessibleControl& control : scene_.controls) {
        elements_.push_back({control.id, QString::fromStdString(control.name),
                             toQRect(control.rect), QAccessible::Button, false, false});
    }
    laidOut_ = true;
    relayingOut_ = false;
    notifyAccessibleElementsChanged(this, toldElements_);
    ensureTicking();
    update();
}

double OverlayView::openness() const {
    if (!open_.running) {
        return open_.to;
    }
    const double t = scheduler_.now() - open_.start;
    const double progress = environment_.reduceMotion
                                ? Motion::easeOut(std::min(1.0, t / Motion::reducedOpenDuration))
                                : Motion::openSpring.value(t);
    return open_.from + (open_.to - open_.from) * progress;
}

std::optional<Point> OverlayView::hudOrigin() const {
    if (!laidOut_) {
        return std::nullopt;
    }
    const Point target = scene_.hudPlacement.frame.origin;
    if (!hudMoving_) {
        return target;
    }
    const double p = Motion::hudSpring.value(scheduler_.now() - hudStart_);
    return Point{hudFrom_.x + (target.x - hudFrom_.x) * p,
                 hudFrom_.y + (target.y - hudFrom_.y) * p};
}

OverlayMotionState OverlayView::motionState() const {
    OverlayMotionState motion;
    motion.openness = openness();
    motion.pulse = Motion::pulseOpacity(scheduler_.now() - shownAt_);
    motion.hudAt = hudOrigin();
    motion.spinnerTurn = std::fmod(std::max(0.0, scheduler_.now() - shownAt_), 1.0);
    motion.reduceMotion = environment_.reduceMotion;
    return motion;
}

bool OverlayView::animating() const {
    if (open_.running || hudMoving_) {
        return true;
    }
    if (!isVisible() || openness() <= 0) {
        return false;
    }
    const bool pulsing = std::any_of(scene_.rings.begin(), scene_.rings.end(),
                                     [](const Ring& ring) { return ring.pulses; });
    return pulsing || scene_.hud.kind == HudContent::Kind::loading;
}

void OverlayView::tick() {
    const double now = scheduler_.now();
    const bool opening = open_.running;
    if (opening) {
        const double t = now - open_.start;
        const double duration = environment_.reduceMotion ? Motion::reducedOpenDuration
                                                          : Motion::openSpring.settleTime();
        if (t >= duration) {
            open_ = {open_.to, open_.to, 0, false};
            sidebar_->setVisible(model_.sidebar() && open_.to > 0);
        }
        applySidebarOpacity();
    }
    const bool wasMoving = hudMoving_;
    if (hudMoving_ && now - hudStart_ >= Motion::hudSpring.settleTime()) {
        hudMoving_ = false;
    }
    if (wasMoving || opening) {
        update();
    } else {
        update(animatedRegion());
    }
    if (!animating()) {
        scheduler_.cancel(ticker_);
        ticker_ = 0;
    }
}

QRegion OverlayView::animatedRegion() const {
    QRegion region;
    for (const Ring& ring : scene_.rings) {
        if (ring.pulses) {
            const double margin = ring.lineWidth + 2;
            region += toQRect(ring.rect.insetBy(-margin, -margin));
            if (ring.badge) {
                region += toQRect(ring.badge->frame.insetBy(-2, -2));
            }
        }
    }
    if (scene_.hud.kind == HudContent::Kind::loading) {
        region += toQRect(scene_.hudPlacement.frame.insetBy(-2, -2));
    }
    return region;
}

void OverlayView::ensureTicking() {
    if (ticker_ == 0 && animating()) {
        ticker_ = scheduler_.every(kFrame, [this] { tick(); });
    }
}

void OverlayView::applySidebarOpacity() {
    const double opacity = std::clamp(openness(), 0.0, 1.0);
    if (opacity >= 1) {
        if (sidebarFade_) {
            sidebar_->setGraphicsEffect(nullptr);  // deletes the effect
            sidebarFade_ = nullptr;
        }
        return;
    }
    if (!sidebarFade_) {
        sidebarFade_ = new QGraphicsOpacityEffect(sidebar_);
        sidebar_->setGraphicsEffect(sidebarFade_);
    }
    sidebarFade_->setOpacity(opacity);
}

void OverlayView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    OverlayPainter::paint(painter, scene_, motionState(), backdrop_.isNull() ? nullptr : &backdrop_,
                          &cache_);
}

std::optional<std::optional<std::string>> OverlayView::hitAt(QPointF point) const {
    for (const HitArea& hit : scene_.hits) {
        const bool inside = hit.capsule ? insideCapsule(hit.rect, point)
                                        : hit.rect.contains({point.x(), point.y()});
        if (inside) {
            return hit.id;
        }
    }
    return std::nullopt;
}

void OverlayView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    const auto hit = hitAt(event->position());
    pressed_ = hit ? Press{false, *hit} : Press{true, std::nullopt};
}

// A click acts where it began and ended on the same target.
void OverlayView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !pressed_) {
        return;
    }
    const Press press = *pressed_;
    pressed_.reset();
    const auto hit = hitAt(event->position());
    if (!hit && press.dim) {
        if (onDismiss_) {
            onDismiss_();
        }
    } else if (hit && !press.dim && press.id && *hit == press.id && onActivate_) {
        onActivate_(*press.id);
    }
}

void OverlayView::resizeEvent(QResizeEvent*) {
    relayout();
}

void OverlayView::showEvent(QShowEvent*) {
    shownAt_ = scheduler_.now();
    relayout();
}

void OverlayView::hideEvent(QHideEvent*) {
    scheduler_.cancel(ticker_);
    ticker_ = 0;
}

const std::vector<AccessibleElement>& OverlayView::accessibleElements() const {
    static const std::vector<AccessibleElement> none;
    // The controls are in the scene only while the plan shows; the panel's sentence always.
    return openness() > 0 ? elements_ : none;
}

void OverlayView::pressAccessibleElement(const std::string& key) {
    if (onActivate_) {
        onActivate_(key);
    }
}

}  // namespace ovra
