#pragma once

// The keys that explain a choice and correct it: one shows (and hides again) why the selected
// control was chosen; the others pin it or mute it in its app, kept under the app's process name
// and applied from the next plan on. A correction is said, and shown as the overlay's notice.

#include <functional>
#include <string>

#include "app/controller/Preferences.h"
#include "app/controller/ShownReading.h"
#include "app/overlay/OverlayModel.h"

namespace ovra {

class Corrections final {
  public:
    Corrections(OverlayModel& overlay, const ShownReading& shown, Preferences& prefs,
                std::function<void()> beep, std::function<void(const std::string&)> announce);

    void explain();
    // Pins or mutes the selected control; the same again takes the correction back.
    void toggle(FocusOverride override);

  private:
    OverlayModel& overlay_;
    const ShownReading& shown_;
    Preferences& prefs_;
    std::function<void()> beep_;
    std::function<void(const std::string&)> announce_;
};

}  // namespace ovra
