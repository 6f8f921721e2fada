#pragma once

// The desktop's display preferences that the app's own drawing follows: reduce motion (GNOME's
// animations switched off), increased contrast (GNOME's high contrast) and reduce transparency
// (no desktop here has such a setting, so it is always off). Each is read from the desktop's
// settings at the moment it is asked, a local read that never waits on another process; a
// desktop without the keys reads all off.

#include <cstddef>
#include <functional>
#include <map>
#include <memory>

#include "platform/desktopsettings/DesktopSettings.h"

namespace ovra::desktop {
class SettingsWatch;
}

namespace ovra::desktopstatus {

struct DisplayPreferences {
    bool reduceMotion = false;
    bool increaseContrast = false;
    bool reduceTransparency = false;
    friend bool operator==(const DisplayPreferences&, const DisplayPreferences&) = default;
};

DisplayPreferences readDisplayPreferences(desktop::DesktopSettings& settings);

// The preferences, and their changes as they happen: made on the main thread, whose event loop
// delivers the changes.
class DisplayPreferencesSource final {
  public:
    using Listener = std::function<void(const DisplayPreferences&)>;

    // `settings` must outlive the source.
    explicit DisplayPreferencesSource(desktop::DesktopSettings& settings);
    ~DisplayPreferencesSource();
    DisplayPreferencesSource(const DisplayPreferencesSource&) = delete;
    DisplayPreferencesSource& operator=(const DisplayPreferencesSource&) = delete;

    DisplayPreferences current() { return readDisplayPreferences(settings_); }
    // `listener` hears of every change while subscribed; the id unsubscribes.
    std::size_t subscribe(Listener listener);
    void unsubscribe(std::size_t id);

  private:
    void changed();

    desktop::DesktopSettings& settings_;
    std::map<std::size_t, Listener> listeners_;
    std::size_t lastID_ = 0;
    DisplayPreferences told_;
    std::unique_ptr<desktop::SettingsWatch> watch_;
};

}  // namespace ovra::desktopstatus
