#pragma once

// GNOME Shell's magnifier: on while the desktop's "screen-magnifier-enabled" setting is, its
// focus tracking read from its own settings, and its first zoom region moved over the session
// bus (org.gnome.Magnifier). The bus calls do not wait: a magnifier that does not answer
// leaves the app running. Main thread only.

#include <memory>

#include "platform/desktopsettings/DesktopSettings.h"
#include "platform/magnifier/Magnifier.h"

namespace ovra::magnifier {

class GnomeMagnifier final : public Magnifier {
  public:
    // `settings` must outlive the magnifier.
    explicit GnomeMagnifier(desktop::DesktopSettings& settings);
    ~GnomeMagnifier() override;

    bool isOn() override;
    bool followsFocus() override;
    void changeFocus(const Rect& rect) override;

    // Whether the desktop's magnifier is switched on in `settings` (any thread the settings
    // allow).
    static bool switchedOn(desktop::DesktopSettings& settings);

  private:
    desktop::DesktopSettings& settings_;
};

}  // namespace ovra::magnifier
