#pragma once

// Auto-scan: with the overlay open, the selection steps through the choices by itself, one step
// every interval of the settings (the first half an interval later), until a key stops it or it
// has gone three times round the list.

#include <functional>

#include "app/controller/Preferences.h"
#include "app/overlay/OverlayModel.h"
#include "platform/scheduler/Scheduler.h"

namespace ovra {

class AutoScan final {
  public:
    // `stepped` runs after every step (to say the new selection).
    AutoScan(Scheduler& scheduler, const Preferences& prefs, OverlayModel& overlay,
             std::function<void()> stepped);
    ~AutoScan();
    AutoScan(const AutoScan&) = delete;
    AutoScan& operator=(const AutoScan&) = delete;

    void start();
    void stop();

  private:
    // The interval held to the settings row's range: a zero one would step without pause.
    double interval() const;
    void firstStep();
    void step();

    Scheduler& scheduler_;
    const Preferences& prefs_;
    OverlayModel& overlay_;
    std::function<void()> stepped_;
    Scheduler::Token timer_ = 0;
    int steps_ = 0;
};

}  // namespace ovra
