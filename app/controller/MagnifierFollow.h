#pragma once

// The desktop's magnifier follows the overlay's selection: once the overlay's changes rest for a
// moment, the selected control is brought into the magnified view, once per control. When the
// magnifier is on but does not follow the keyboard focus itself, a tip says how, once.

#include <functional>
#include <optional>
#include <string>

#include "app/overlay/OverlayModel.h"
#include "platform/magnifier/Magnifier.h"
#include "platform/scheduler/Scheduler.h"

namespace ovra {

class MagnifierFollow final {
  public:
    // `overlayShown`: whether the overlay is on screen, when the changes have rested.
    MagnifierFollow(Scheduler& scheduler, const OverlayModel& overlay,
                    std::function<bool()> overlayShown);
    ~MagnifierFollow();
    MagnifierFollow(const MagnifierFollow&) = delete;
    MagnifierFollow& operator=(const MagnifierFollow&) = delete;

    // None: nothing to follow.
    void setMagnifier(magnifier::Magnifier* magnifier) { magnifier_ = magnifier; }
    // The overlay is about to change: its selection is followed once the changes rest.
    void overlayChanging();
    // The overlay closed or shows the page anew: its next selection is followed, even the same.
    void forget() { shownID_.reset(); }
    // The tip, the first time the magnifier needs it; none after.
    std::optional<std::string> tip();

  private:
    void follow();

    Scheduler& scheduler_;
    const OverlayModel& overlay_;
    std::function<bool()> overlayShown_;
    magnifier::Magnifier* magnifier_ = nullptr;
    Scheduler::Token work_ = 0;
    std::optional<std::string> shownID_;
    bool tipShown_ = false;
};

}  // namespace ovra
