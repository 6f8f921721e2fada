#pragma once

// What the settings window asks of the app, over the desktop's own services: the controller's
// permission, hotkeys and requests, the model supervisor and the shipped models, the updater,
// the app's voice with the instructions read aloud, the desktop's settings and its settings
// app, the permission guide, app names, web pages and the uninstaller. It owns the settings
// window's host and the permission guide. Main thread only.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/controller/AppController.h"
#include "app/settings/DashboardController.h"
#include "app/settings/DashboardModel.h"
#include "app/settings/DesktopAppNames.h"
#include "app/settings/SettingsKeyInput.h"
#include "app/settings/instructions/InstructionReader.h"
#include "app/shell/PermissionGuide.h"
#include "platform/desktopsettings/AccessibilitySwitch.h"
#include "platform/desktopsettings/SettingsOpener.h"
#include "platform/qt/MainThread.h"

namespace ovra {

class ModelSupervisor;
class SettingsWindowHost;
class Updater;

class DesktopDashboard final : public DashboardController {
  public:
    struct Services {
        AppController& controller;
        ModelSupervisor& supervisor;
        FocusVoice& voice;
        Preferences& prefs;
        Scheduler& scheduler;
        desktop::DesktopSettings& desktopSettings;
        LayoutSource keyboardLayout;
        bool traceKeys = false;
        bool pretendUntrusted = false;
        // Puts the app's own windows behind all others (the desktop's settings come up).
        std::function<void()> sendWindowsBack;
        // Unloads the model and asks a download under way to end before the app's files are
        // removed; whether it has ended (looked at again, never waited for).
        std::function<void()> stopModelForRemoval;
        std::function<bool()> modelStoppedForRemoval;
        std::function<void(const std::string&)> log;
        // The voice's own test: the Desktop accessibility pane says the same.
        std::function<bool()> screenReaderRunning;
    };

    explicit DesktopDashboard(Services services);
    ~DesktopDashboard() override;
    DesktopDashboard(const DesktopDashboard&) = delete;
    DesktopDashboard& operator=(const DesktopDashboard&) = delete;

    // The updater, once start-up made it.
    void setUpdater(Updater* updater) { updater_ = updater; }
    // How the app ends once removed: its settings file writes nothing more, and it quits.
    void setRemoval(std::function<void()> quit, std::function<void()> freezeSettings) {
        quit_ = std::move(quit);
        freezeSettings_ = std::move(freezeSettings);
    }
    SettingsWindowHost& host() { return *host_; }
    // The settings window's state, which outlives the window.
    DashboardModel& model() { return model_; }
    PermissionGuide& guide() { return *guide_; }
    // The permission, the hotkeys, the model, the updater or the look changed: redraw.
    void stateChanged();
    // The settings window dark or light whatever the setting says; none: the setting's.
    void forceDark(std::optional<bool> dark) {
        forcedDark_ = dark;
        stateChanged();
    }
    std::optional<bool> forcedDark() const override { return forcedDark_; }

    bool trusted() const override;
    std::optional<std::string> targetAppName() const override;
    void trigger() override;
    void showDashboard(OvraPane pane) override;
    void requestAccessibility() override;
    void openAccessibilitySettings(const std::string& anchor) override;
    desktop::DesktopSettings& desktopSettings() override { return services_.desktopSettings; }
    bool screenReaderRunning() override {
        return services_.screenReaderRunning && services_.screenReaderRunning();
    }
    std::optional<std::string> hotkeyError() const override;
    std::optional<std::string> hotkeyNotice() const override;
    std::optional<std::string> findHotkeyError() const override;
    ModelState modelState() const override;
    const std::vector<std::string>& shippedModelIDs() const override { return shippedModels_; }
    void startModel(const std::string& modelID) override;
    void stopModel() override;
    void fetchMultilingualIfWanted() override;
    UpdateState updateState() const override;
    void checkForUpdates() override;
    void installUpdate() override;
    std::vector<VoiceChoice> voices() const override;
    void speakSample(const std::string& text, const std::optional<std::string>& voiceID,
                     double rate) override;
    DictationSource dictationSource() const override { return DictationSource::desktop(); }
    void readInstruction(OvraFeature feature) override;
    std::string appName(const std::string& appKey) const override;
    void openWebPage(const std::string& url) override;
    void uninstall() override;

  private:
    Services services_;
    DashboardModel model_;
    InstructionReader reader_;
    desktop::SessionAccessibilitySwitch accessibilitySwitch_{postToMainThread};
    desktop::DesktopSettingsOpener opener_;
    std::unique_ptr<PermissionGuide> guide_;
    std::unique_ptr<SettingsWindowHost> host_;
    std::vector<std::string> shippedModels_;
    mutable DesktopAppNames appNames_;
    Updater* updater_ = nullptr;
    std::optional<bool> forcedDark_;
    std::function<void()> quit_;
    std::function<void()> freezeSettings_;
    bool removing_ = false;  // the app's removal is under way
    // Held by the settings app's watch, which may outlive the dashboard.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);

    // The settings app could not be started, or ended with a failure: said on our window,
    // which comes forward again, with how to get there by hand.
    void settingsNotOpened(const std::string& why);
};

}  // namespace ovra
