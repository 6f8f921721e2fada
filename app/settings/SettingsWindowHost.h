#pragma once

// The settings window's host, owned by the app's controller: it makes the window on the first
// request to show it and keeps it for the life of the process (closing only hides it), opens
// it on a pane with the focus on that pane's sidebar entry, places it on the screen with the
// pointer, brings it to the current desktop and activates it with the triggering event's server
// time, and shows the confirm dialog and the credits over it.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "app/settings/ConfirmDialog.h"
#include "app/settings/DashboardController.h"
#include "app/settings/SettingsWindow.h"
#include "platform/announcer/Announcer.h"

namespace ovra {

class SettingsWindowHost final : public DashboardDialogs {
  public:
    struct Config {
        Preferences& prefs;
        DashboardModel& dashboard;
        DashboardController& controller;
        Scheduler& scheduler;
        LayoutSource keyboardLayout;
        bool traceKeys = false;        // "--trace-keys": lines on standard output
        std::function<void()> closed;  // the window was closed (hidden)
        std::function<int()> hour;     // for the greeting; the local clock when absent
        std::string fullName;          // the user's full name; read from the system when empty
        announcer::Announcer* announcer = nullptr;  // tests; the window's own when none
        PermissionGuide* guide = nullptr;  // on Home while access is missing; a title when none
    };

    explicit SettingsWindowHost(Config config);
    ~SettingsWindowHost() override;

    // Opens or raises the window on `pane`. `eventTime` is the X server time of the event that
    // asked (a hotkey, a click); without it the window asks with Qt's latest time.
    void showDashboard(OvraPane pane, std::optional<std::uint32_t> eventTime = std::nullopt);
    // The window, once made; absent before the first showDashboard.
    SettingsWindow* window() const { return window_.get(); }
    // The controller's state changed (permission, hotkeys, model, updater): redraw.
    void stateChanged();

    // An announcement on the settings window, such as the updater's messages (medium priority);
    // nothing before the window exists.
    void announce(std::string_view text, announcer::AnnouncementPriority priority);

    // The confirm dialog's modal form over the window (removing the app): the answer.
    bool confirmModally(ConfirmModel model);
    // The dialog confirmModally has open; none when none is.
    ConfirmDialog* modalDialog() const { return modal_; }

    void confirm(const std::string& title, const std::string& message,
                 const std::string& confirmTitle, bool destructive,
                 std::function<void()> confirmed) override;
    void showCredits() override;
    // The dialog open in its non-modal form; none when none is.
    ConfirmDialog* shownDialog() const { return shown_.get(); }

  private:
    void create();
    void place();
    void openDialog(ConfirmModel model, std::function<void()> confirmed);
    ConfirmDialog::Services dialogServices() const;
    void trace(const std::string& line) const;

    Config config_;
    std::unique_ptr<SettingsWindow> window_;
    std::unique_ptr<ConfirmDialog> shown_;
    ConfirmDialog* modal_ = nullptr;
};

}  // namespace ovra
