#pragma once

// What the settings window needs of the app around it: the permission, the app a request would
// target, the hotkeys' state, the on-device model's and the updater's state and actions, speech,
// the desktop's settings, and the operations its rows run. The pane builders and row bindings
// take this and nothing else, so every pane is built and tested without a window; the app's
// controller implements it, tests use a fake. Main thread only.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/Instructions.h"
#include "core/OvraPane.h"
#include "core/Updates.h"

namespace ovra {

namespace desktop {
class DesktopSettings;
}

// The on-device model as the settings window shows it.
struct ModelState {
    enum class Install { idle, working, failed, done };

    bool ready = false;
    // One line: the install step and percentage, else the supervisor's status detail.
    std::string summary;
    Install install = Install::idle;
    double progress = 0;                   // 0…1, while the install is working
    std::optional<std::string> lastModel;  // the model id the supervisor was last started on
};

// The updater as the General pane shows it.
struct UpdateState {
    enum class Activity { idle, checking, downloading };

    Activity activity = Activity::idle;
    std::optional<std::string> status;
    std::optional<OvraUpdates::Manifest> available;
};

// One voice the speech service offers.
struct VoiceChoice {
    std::string id;
    std::string label;
};

class DashboardController {
  public:
    virtual ~DashboardController() = default;

    // Whether the desktop's accessibility support is on, so other apps can be read.
    virtual bool trusted() const = 0;
    // The name of the app a request would target; none when there is none yet.
    virtual std::optional<std::string> targetAppName() const = 0;
    // Starts a request exactly as the main hotkey does.
    virtual void trigger() = 0;
    // Opens or raises the settings window on a pane.
    virtual void showDashboard(OvraPane pane) = 0;
    // The permission guide's path: turns the desktop's accessibility support on and opens its
    // accessibility settings where the desktop has them.
    virtual void requestAccessibility() = 0;
    // Opens the desktop's settings at an accessibility feature's page.
    virtual void openAccessibilitySettings(const std::string& anchor) = 0;
    // The desktop's settings, read live (the accessibility features, the colour scheme).
    virtual desktop::DesktopSettings& desktopSettings() = 0;
    // Whether a screen reader runs, as the app's voice tells (never waits).
    virtual bool screenReaderRunning() = 0;

    // The last failed registration of the main hotkey, a notice about it, and the last failed
    // registration of the find hotkey; none when there is nothing to say.
    virtual std::optional<std::string> hotkeyError() const = 0;
    virtual std::optional<std::string> hotkeyNotice() const = 0;
    virtual std::optional<std::string> findHotkeyError() const = 0;

    virtual ModelState modelState() const = 0;
    // The model ids of the engine manifest shipped with the app, read once at start-up.
    virtual const std::vector<std::string>& shippedModelIDs() const = 0;
    // The supervisor's start with the user's worker folder, and its stop.
    virtual void startModel(const std::string& modelID) = 0;
    virtual void stopModel() = 0;
    // Starts the multilingual model's download when the user wants it.
    virtual void fetchMultilingualIfWanted() = 0;

    virtual UpdateState updateState() const = 0;
    virtual void checkForUpdates() = 0;
    virtual void installUpdate() = 0;

    // The voices offered, best first, with their labels.
    virtual std::vector<VoiceChoice> voices() const = 0;
    // Speaks a sample now, cutting off what the app itself is saying, with the voice (none:
    // the best available) at the rate factor.
    virtual void speakSample(const std::string& text, const std::optional<std::string>& voiceID,
                             double rate) = 0;
    virtual DictationSource dictationSource() const = 0;
    // Starts reading a feature's instructions aloud, or stops when it is being read.
    virtual void readInstruction(OvraFeature feature) = 0;

    // The shown name of the app a remembered choice belongs to (its key's first part).
    virtual std::string appName(const std::string& appKey) const = 0;
    // Opens a web page in the default browser.
    virtual void openWebPage(const std::string& url) = 0;
    // Asks for confirmation (the confirm dialog's modal form), then removes the app and
    // everything it downloaded.
    virtual void uninstall() = 0;
    // A look the settings window takes whatever the appearance setting says (for a snapshot of
    // it dark or light); none: the setting's.
    virtual std::optional<bool> forcedDark() const { return std::nullopt; }
};

// What the rows ask of the settings window itself: its dialogs.
class DashboardDialogs {
  public:
    virtual ~DashboardDialogs() = default;
    // Asks a yes-or-no question in the keyboard confirm dialog over the settings window, focus
    // on Cancel; `confirmed` runs only on a yes.
    virtual void confirm(const std::string& title, const std::string& message,
                         const std::string& confirmTitle, bool destructive,
                         std::function<void()> confirmed) = 0;
    // The open source credits over the settings window.
    virtual void showCredits() = 0;
};

}  // namespace ovra
