#pragma once

// The controller over this desktop's own services: the accessibility bus read on its worker
// thread, XTest for clicks and wheel turns, the window manager for the target window, the model
// supervisor, the app's voice, the overlay panel, the global hotkeys, the magnifier, clicks
// anywhere on the desktop, the colour scheme and the updater. It is what the app shell asks of
// the request controller. Made on the main thread once a QApplication exists.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/controller/AppController.h"
#include "app/shell/ShellController.h"
#include "core/Result.h"
#include "platform/defaults/DefaultsDomain.h"

namespace ovra {

namespace atspi {
class AtspiBackend;
}
class AccessibilityWorkerThread;
class DashboardModel;

class DesktopController final : public ShellController {
  public:
    struct Settings {
        Preferences& prefs;
        DefaultsDomain& defaults;  // the app's domain, for the keys outside the store
        Scheduler& scheduler;      // the app's scheduler on the main thread
    };
    struct Options {
        bool pretendUntrusted = false;
        bool simulateNotch = false;
        bool traceKeys = false;  // "--trace-keys": the settings window's key lines
        // A self-test launch: nothing is checked for updates, downloaded or cleaned up.
        bool selfTest = false;
        // Runs its work once this copy knows it is the session's only one (at once when
        // absent): the removal of the model's retired files, the updater, the hotkeys and the
        // model's start wait for it (AppStartup::Hooks).
        std::function<void(std::function<void()> work)> whenSole;
    };

    // Fails when this is no X11 session. The settings must outlive the controller.
    static Result<std::unique_ptr<DesktopController>> open(Settings settings, Options options);
    ~DesktopController() override;
    DesktopController(const DesktopController&) = delete;
    DesktopController& operator=(const DesktopController&) = delete;

    // What start-up takes from the app shell.
    struct StartOptions {
        bool noDashboard = false;
        std::function<void()> installHome;        // the tray item and its island
        std::function<void()> otherAppActivated;  // the island closes
        std::function<void()> quit;               // after an install, or the app's removal
        std::function<void()> freezeSettings;     // the app is being removed
        // Where the tray item shows, when the tray tells: the button's flight lands there.
        std::function<std::optional<Rect>()> trayIconFrame;
    };
    // Once, when the app has launched (see AppController::start).
    void start(StartOptions options);

    AppController& controller();
    // The settings window's state, which outlives the window.
    DashboardModel& dashboard();
    // A problem with the settings file (set aside as corrupt, changes not saved): the settings
    // window's banner, the notice of the next overlay and an announcement.
    void showSettingsProblem(const std::string& text);

    // What the shell asks.
    void trigger() override { controller().trigger(); }
    void birdSimplify() override { controller().birdSimplify(); }
    void ovraButtonPressed() override { controller().ovraButtonPressed(); }
    void dismiss() override { controller().dismiss(); }
    bool overlayVisible() const override;
    void showDashboard(OvraPane pane) override;
    void showFeature(const std::string& feature) override;
    void showCredits() override;
    void setAppearance(std::optional<bool> dark) override;
    std::optional<std::string> targetAppName() const override;
    bool trusted() const override;
    std::optional<std::string> hotkeyNotice() const override;
    std::optional<std::string> hotkeyError() const override;
    std::string modelStatusLabel() const override;
    std::string modelStatusDetail() const override;
    void stopModel() override;
    void logKeyState(const std::string& label) override;
    bool reduceMotion() override;
    Preferences& prefs() override;

    // For benchmarks: the accessibility backend and the worker thread that owns it.
    atspi::AtspiBackend& backend();
    AccessibilityWorkerThread& worker();

    // Whether the app's windows look dark: the appearance setting, else the desktop's scheme.
    bool dark() const;

  private:
    struct Impl;
    explicit DesktopController(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace ovra
