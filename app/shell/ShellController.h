#pragma once

// What the app shell (the entry, the launch flags, the tray item and the home island) asks of
// the request controller. The controller implements it; tests drive the shell with a fake.
// Main thread only.

#include <optional>
#include <string>

#include "core/OvraPane.h"

namespace ovra {

class Preferences;

class ShellController {
  public:
    virtual ~ShellController() = default;

    // A fresh request for the window in front.
    virtual void trigger() = 0;
    // The bird's "simplify" click: leaves its one-time tip, then toggles the overlay.
    virtual void birdSimplify() = 0;
    // The on-screen button's click (also the key test's "button").
    virtual void ovraButtonPressed() = 0;
    // Closes the overlay.
    virtual void dismiss() = 0;
    virtual bool overlayVisible() const = 0;
    // Opens the settings window on a pane.
    virtual void showDashboard(OvraPane pane) = 0;
    // The settings window's Instructions pane on one feature (its raw value: "ovras", "find"…).
    virtual void showFeature(const std::string& feature) = 0;
    // The open source credits over the settings window.
    virtual void showCredits() = 0;
    // The settings window dark, light, or (none) as the setting and the desktop say.
    virtual void setAppearance(std::optional<bool> dark) = 0;

    // The name of the app a request would read: the app in front when it is not this one, else
    // the last other app while it runs; none when there is none.
    virtual std::optional<std::string> targetAppName() const = 0;
    // Whether the accessibility bus can be read.
    virtual bool trusted() const = 0;
    // Why the main hotkey is another than the chosen one, or why it could not be had.
    virtual std::optional<std::string> hotkeyNotice() const = 0;
    virtual std::optional<std::string> hotkeyError() const = 0;
    // The on-device model's status as one line, short (`label`) and with its reason (`detail`).
    virtual std::string modelStatusLabel() const = 0;
    virtual std::string modelStatusDetail() const = 0;
    // The app is quitting: the model's load is cancelled and the classifier released.
    virtual void stopModel() = 0;
    // A self-test's line about the overlay's keyboard state.
    virtual void logKeyState(const std::string& label) = 0;
    // The desktop's Reduce Motion setting, as it stands now.
    virtual bool reduceMotion() = 0;

    virtual Preferences& prefs() = 0;
};

}  // namespace ovra
