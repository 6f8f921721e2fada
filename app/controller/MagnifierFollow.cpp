#include "app/controller/MagnifierFollow.h"

#include "core/Geometry.h"
#include "core/OvraText.h"

namespace ovra {

namespace {

// The selection rests once the overlay has not changed for this long.
constexpr double kRestDelay = 0.04;

}  // namespace

MagnifierFollow::MagnifierFollow(Scheduler& scheduler, const OverlayModel& overlay,
                                 std::function<bool()> overlayShown)
    : scheduler_(scheduler), overlay_(overlay), overlayShown_(std::move(overlayShown)) {}

MagnifierFollow::~MagnifierFollow() {
    scheduler_.cancel(work_);
}

void MagnifierFollow::overlayChanging() {
    // Told before the write: the new value is read on the next turn.
    scheduler_.cancel(work_);
    work_ = scheduler_.after(kRestDelay, [this] {
        work_ = 0;
        follow();
    });
}

void MagnifierFollow::follow() {
    if (!magnifier_ || !overlayShown_() || !magnifier_->isOn()) {
        return;
    }
    const std::optional<FocusItem> item = overlay_.selectedItem();
    if (!item || item->id() == shownID_) {
        return;
    }
    const std::optional<Rect> rect = ZoomFocus::rect(item->candidate.frame);
    if (!rect) {
        return;
    }
    shownID_ = item->id();
    magnifier_->changeFocus(*rect);
}

std::optional<std::string> MagnifierFollow::tip() {
    if (tipShown_ || !magnifier_ || !magnifier_->isOn() || magnifier_->followsFocus()) {
        return std::nullopt;
    }
    tipShown_ = true;
    return OvraText::t(
        "The magnifier is on but does not follow the keyboard focus. To have it go to each ovra "
        "you choose, turn on its focus tracking: gsettings set org.gnome.desktop.a11y.magnifier "
        "focus-tracking proportional");
}

}  // namespace ovra
