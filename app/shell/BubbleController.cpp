#include "app/shell/BubbleController.h"

#include <algorithm>
#include <chrono>

#include "app/controller/Preferences.h"
#include "app/shell/FlightTrail.h"
#include "platform/defaults/DefaultsDates.h"

namespace ovra {
namespace {

constexpr double kSizeWithoutSettings = 80;

// Flips a rectangle between y-down and y-up space (its own inverse).
Rect flipped(const Rect& r) {
    return Rect(r.minX(), -r.maxY(), r.width(), r.height());
}

}  // namespace

BubbleController::BubbleController(Services services) : services_(std::move(services)) {}

BubbleController::~BubbleController() {
    services_.scheduler.cancel(trailHide_);
    services_.scheduler.cancel(switchRefresh_);
}

void BubbleController::install(Preferences& prefs,
                               std::function<std::optional<Point>(const Rect&)> landing,
                               std::function<void()> onClick) {
    prefs_ = &prefs;
    landing_ = std::move(landing);
    onClick_ = std::move(onClick);
    // The one writer of the date: it is never overwritten.
    if (!prefs.firstLaunch()) {
        DefaultsDates::write(prefs.defaults(), "firstLaunch", std::chrono::system_clock::now());
    }
    if (services_.watchDesktop) {
        std::weak_ptr<BubbleController*> weak = self_;
        desktopWatch_ = services_.watchDesktop(
            [weak] {
                if (auto self = weak.lock()) {
                    (*self)->refresh();
                }
            },
            [weak] {
                auto self = weak.lock();
                if (!self) {
                    return;
                }
                BubbleController& controller = **self;
                controller.services_.scheduler.cancel(controller.switchRefresh_);
                controller.switchRefresh_ =
                    controller.services_.scheduler.after(kDesktopSwitchDelay, [weak] {
                        if (auto again = weak.lock()) {
                            (*again)->switchRefresh_ = 0;
                            (*again)->refresh();
                        }
                    });
            });
    }
    refresh();
}

Rect BubbleController::bubbleFrame(const IslandScreen& screen, OvraButtonPlace place) const {
    const double drawn = prefs_ ? prefs_->get(keys::bubbleSize).points() : kSizeWithoutSettings;
    // The place's rule is written for y-up screens: flip the free area in and the frame back.
    return flipped(place.hitFrame(flipped(screen.visibleFrame), drawn));
}

void BubbleController::refresh() {
    if (prefs_ == nullptr) {
        return;
    }
    const auto screens = services_.screens ? services_.screens() : std::vector<IslandScreen>{};
    if (!prefs_->get(keys::showBubble) || screens.empty()) {
        if (bubble_) {
            bubble_->orderOut();
        }
        if (rope_) {
            rope_->orderOut();
        }
        return;
    }
    const OvraButtonPlace place = prefs_->get(keys::bubblePlace);
    const Rect frame = bubbleFrame(screens.front(), place);
    if (!bubble_) {
        std::weak_ptr<BubbleController*> weak = self_;
        bubble_ = services_.makeButton([weak] {
            auto self = weak.lock();
            if (self && (*self)->onClick_) {
                (*self)->onClick_();
            }
        });
    }
    bubble_->present(frame, prefs_->get(keys::bubbleSize).points(), place.onLeft());
}

void BubbleController::fly() {
    if (!bubble_ || !bubble_->isVisible()) {
        return;
    }
    const auto screens = services_.screens ? services_.screens() : std::vector<IslandScreen>{};
    if (screens.empty() || !landing_) {
        return;
    }
    const Rect button = bubble_->frame();
    const auto on = std::find_if(screens.begin(), screens.end(), [&button](const IslandScreen& s) {
        return s.frame.intersects(button);
    });
    const Rect screen = (on != screens.end() ? *on : screens.front()).frame;
    const std::optional<Point> landing = landing_(button);
    if (!landing) {
        return;
    }
    services_.scheduler.cancel(trailHide_);
    trailHide_ = 0;
    if (!rope_) {
        rope_ = services_.makeTrail();
    }
    // From the middle of the button window's top edge, inside the screen.
    const Point from{button.midX() - screen.minX(), button.minY() - screen.minY()};
    const Point to{landing->x - screen.minX(), landing->y - screen.minY()};
    rope_->play(screen, from, to, services_.reduceMotion && services_.reduceMotion());
    bubble_->raise();
    std::weak_ptr<BubbleController*> weak = self_;
    trailHide_ = services_.scheduler.after(FlightTrail::kDuration, [weak] {
        if (auto self = weak.lock()) {
            (*self)->trailHide_ = 0;
            if ((*self)->rope_) {
                (*self)->rope_->orderOut();
            }
        }
    });
}

}  // namespace ovra
