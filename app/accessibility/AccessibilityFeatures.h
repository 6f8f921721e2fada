#pragma once

// The desktop's own accessibility features: a fixed catalogue with what each does, how this app
// behaves with it on and where its settings live; the live on/off state of each, polled once a
// second; and opening the desktop's settings app at a feature's page.

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/Observable.h"
#include "platform/desktopsettings/DesktopSettings.h"
#include "platform/desktopsettings/SettingsOpener.h"
#include "platform/scheduler/Scheduler.h"

namespace ovra {

struct AccessibilityFeature {
    std::string id;       // stable key, also the key of the status map
    std::string name;     // localized display name
    std::string summary;  // localized one-line description
    // The present state read from the desktop's settings; absent when it cannot be read.
    std::function<std::optional<bool>(desktop::DesktopSettings&)> isOn;
    std::string anchor;                    // the settings page that holds the feature
    std::optional<std::string> shortcut;   // the desktop's keyboard shortcut for it
    std::optional<std::string> focusNote;  // localized: how this app behaves with it on
};

// The controller's way into the desktop's settings app: opens a page, and once it has opened
// sends this app's windows behind the others so that the settings are seen.
class SystemSettings final {
  public:
    SystemSettings(desktop::SettingsOpener& opener, std::function<void()> sendOwnWindowsBack);
    // Nothing happens for an absent page. The error is the sentence to show.
    std::optional<std::string> openSystemSettings(const std::optional<std::string>& page);

  private:
    desktop::SettingsOpener& opener_;
    std::function<void()> sendOwnWindowsBack_;
};

namespace DesktopAccessibility {

// The settings page holding the accessibility features.
inline constexpr std::string_view kAccessibilityPage = "universal-access";

// Built once, on first use, with the texts localized at that moment.
const std::vector<AccessibilityFeature>& features();
// A feature's state as the app tells it: the desktop's setting, except that the screen reader is
// on whenever `screenReaderRuns` (Orca started by hand leaves the desktop's switch off).
std::optional<bool> state(const AccessibilityFeature& feature, desktop::DesktopSettings& settings,
                          bool screenReaderRuns);
// Opens the settings app at a feature's anchor (the accessibility page when the anchor is not a
// plain page name). The error is the sentence to show.
std::optional<std::string> open(const std::string& anchor, SystemSettings& settings);

}  // namespace DesktopAccessibility

// The live states of the catalogue's features, read once a second while started.
class DesktopAccessibilityStatus final {
  public:
    using States = std::map<std::string, std::optional<bool>>;

    static constexpr double kPollSeconds = 1.0;

    // `screenReader`, when given, is the app's own test for a running screen reader: the
    // screen reader reads on when it says so, whatever the desktop's setting.
    DesktopAccessibilityStatus(desktop::DesktopSettings& settings, Scheduler& later,
                               std::function<bool()> screenReader = {});
    ~DesktopAccessibilityStatus();
    DesktopAccessibilityStatus(const DesktopAccessibilityStatus&) = delete;
    DesktopAccessibilityStatus& operator=(const DesktopAccessibilityStatus&) = delete;

    // Reads the states at once and polls every second; a second start replaces the polling.
    void start();
    // Stops polling (the pane went away).
    void stop();
    bool isPolling() const { return timer_.has_value(); }

    // Starts empty; listeners hear only real changes.
    Observable<States>& states() { return states_; }

  private:
    void refresh();
    void schedule();

    desktop::DesktopSettings& settings_;
    std::function<bool()> screenReader_;
    Scheduler& later_;
    Observable<States> states_{States{}};
    std::optional<Scheduler::Token> timer_;
};

}  // namespace ovra
