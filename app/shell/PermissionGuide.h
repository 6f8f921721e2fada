#pragma once

// The permission guide's state: whether other apps can be read (the session's accessibility
// support is on and its bus answers), polled every second; the button that turns accessibility
// on and opens the desktop's accessibility settings; and the line that says how that went. The
// settings window shows the guide at the top of its Home pane while access is missing.
//
// Plain C++ on the main thread; the bus, the switch, the settings app and the clock come in
// through the services, so tests drive them by hand.

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/controller/ChangeListeners.h"
#include "platform/desktopsettings/AccessibilitySwitch.h"
#include "platform/desktopsettings/SettingsOpener.h"
#include "platform/scheduler/Scheduler.h"

namespace ovra {

class PermissionGuide final {
  public:
    struct Services {
        Scheduler& scheduler;
        // Whether other apps can be read now.
        std::function<bool()> readTrust;
        desktop::AccessibilitySwitch& accessibility;
        desktop::SettingsOpener& settings;
        // Sends the app's visible windows behind all others.
        std::function<void()> sendWindowsBack;
        // A spoken status line, posted on the settings window with high priority.
        std::function<void(const std::string&)> announce;
        // Access has just arrived: the settings window shows `text` as its banner, on Home.
        std::function<void(const std::string& text)> granted;
        // The main hotkey as a person types it ("Alt+Space").
        std::function<std::string()> hotkeyLabel;
        // "--pretend-untrusted": access reads as missing whatever the desktop says.
        bool pretendUntrusted = false;
    };

    // The texts the guide shows; `byHand` names the command for this desktop.
    struct Texts {
        std::string title;
        std::string subtitle;
        std::string reason;
        std::array<std::string, 3> steps;
        std::string button;
        std::string byHand;
    };

    static constexpr double kPollInterval = 1.0;
    // The desktop settings' page of accessibility (GNOME's panel name; other desktops open
    // their own accessibility module).
    static constexpr const char* kSettingsPage = "universal-access";

    // Reads whether access is there.
    explicit PermissionGuide(Services services);
    ~PermissionGuide();
    PermissionGuide(const PermissionGuide&) = delete;
    PermissionGuide& operator=(const PermissionGuide&) = delete;

    // Reads again, then every second: each change is stored, and access arriving is announced
    // (also when it comes back after it was lost).
    void start();
    // One reading of the poll.
    void poll();
    bool trusted() const { return trusted_; }

    // The guide's button: turns accessibility on, then, once the switch answers, opens the
    // desktop's accessibility settings. Only when the settings app started do the app's windows
    // step back; otherwise the guide shows and announces that it could not be opened and how to
    // turn accessibility on by hand.
    void turnOn();
    // What the last press did; none before the first and once access is there.
    const std::optional<std::string>& status() const { return status_; }
    bool statusIsProblem() const { return statusIsProblem_; }

    Texts texts() const;

    // Told after `trusted` or the status changed (the view, the controller).
    using ListenerId = ChangeListeners<int>::Id;
    ListenerId onChange(std::function<void()> listener);
    void removeListener(ListenerId id) { listeners_.remove(id); }

  private:
    bool read() const;
    void changed();
    void switched(const std::optional<std::string>& notSwitched);

    Services services_;
    bool trusted_ = false;
    // Access was there and went (the accessibility service stopped or restarted): apps that
    // were open join a restarted service only when they start again.
    bool lost_ = false;
    std::optional<std::string> status_;
    bool statusIsProblem_ = false;
    Scheduler::Token poll_ = 0;
    ChangeListeners<int> listeners_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace ovra
