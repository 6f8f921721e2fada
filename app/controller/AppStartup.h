#pragma once

// What the controller sets going once the app has launched, and follows while it runs: the
// updater, the tray item, the on-screen button and its one-time tips, the global hotkeys and the
// keyboard layout, the model, the permission poll and what a grant shows and says, the settings
// window on Home, the clicks away from the app's windows and their look; and the settings that
// change any of these.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/controller/ControllerServices.h"
#include "app/controller/GlobalHotkeys.h"
#include "app/controller/Preferences.h"
#include "app/controller/TrustPoll.h"
#include "core/OvraPane.h"
#include "platform/magnifier/Magnifier.h"
#include "platform/scheduler/Scheduler.h"

namespace ovra {

class AppStartup final {
  public:
    // What start() takes over, installs and hands out. Each hook may be absent (tests, a
    // desktop without the service).
    struct Hooks {
        hotkeys::HotkeyGrabber* hotkeys = nullptr;  // none: no global hotkeys on this display
        HotkeyManager::SlashKeyCode slashKeyCode;
        HotkeyManager::LetterKeyCode letterKeyCode;
        magnifier::Magnifier* magnifier = nullptr;
        OwnWindows* windows = nullptr;
        std::function<void()> startUpdater;
        // The tray item with its home island.
        std::function<void()> installHome;
        // The on-screen button: the landing point of its flight above a button frame, and its
        // click; then its refresh when its settings change, and its flight.
        std::function<void(std::function<std::optional<Point>(const Rect&)> landing,
                           std::function<void()> onClick)>
            installBubble;
        std::function<void()> refreshBubble;
        std::function<void()> flyBubble;
        std::function<std::optional<Point>(const Rect&)> menuBarLanding;
        // Calls `changed` at every change of the keyboard layout.
        std::function<void(std::function<void()> changed)> watchLayout;
        // Calls `pressed` with the pointer's place at every left or right button press anywhere.
        std::function<void(std::function<void(Point)> pressed)> watchClicks;
        // Another app came forward (the tray island closes).
        std::function<void()> otherAppActivated;
        // Whether the session's accessibility is on, so other apps can be read; the answer may
        // come later, on the main thread. None: the permission stays as it was made.
        std::function<void(std::function<void(bool)> answer)> checkTrust;
        bool showDashboard = true;  // false with "--no-dashboard"
        bool pretendUntrusted = false;
        // Runs `work` once this copy knows it is the session's only one; absent: at once. The
        // updater, the global hotkeys and the model write and delete files (and take keys)
        // that another running copy owns, so they wait for it; `work` may never run.
        std::function<void(std::function<void()> work)> whenSole;
    };

    // A one-time tip shown as the notice of the next fresh plan.
    struct Tip {
        std::string text;
        std::function<void()> markShown;
    };

    // What start-up asks of the controller it runs in.
    class Host {
      public:
        virtual ~Host() = default;
        // The main hotkey, the find hotkey and a click on the on-screen button.
        virtual void toggle() = 0;
        virtual void findShortcutPressed() = 0;
        virtual void ovraButtonPressed() = 0;
        // The permission or a hotkey changed: the settings window shows it.
        virtual void stateChanged() = 0;
    };

    struct Services {
        Preferences& prefs;
        Scheduler& scheduler;
        DecisionModel& model;
        std::function<void(OvraPane)> showDashboard;
        std::function<void(const std::string&)> showPermissionNote;
    };

    // `trusted`: whether the accessibility bus can be read.
    AppStartup(Host& host, Services services, bool trusted);
    ~AppStartup();
    AppStartup(const AppStartup&) = delete;
    AppStartup& operator=(const AppStartup&) = delete;

    bool started() const { return started_; }
    // Once; later calls do nothing.
    void start(Hooks hooks);
    const Hooks& hooks() const { return hooks_; }

    TrustPoll& trust() { return trust_; }
    const TrustPoll& trust() const { return trust_; }
    const GlobalHotkeys& hotkeys() const { return hotkeys_; }

    // The user turned to another app: the settings window steps back behind it.
    void otherAppCameForward();

    // The on-screen button and the tray bird's "simplify" leave their one-time tips for the next
    // overlay (the button flies to the tray the first time), unless an overlay shows.
    void buttonPressed(bool overlayShown);
    void birdSimplify(bool overlayShown);
    void setTip(Tip tip) { tip_ = std::move(tip); }
    // The tip for the overlay opening now, marked as shown; none when there is none.
    std::optional<std::string> takeTip();

  private:
    void preferenceChanged(Preference preference);
    // What waits for whenSole: the updater, the hotkeys and the model.
    void startWriters();
    void startModel();
    void permissionGranted();
    void clickedAt(Point point);
    void applyAppearance();
    // Runs `work` on the next turn, unless start-up is gone by then.
    void soon(std::function<void()> work);

    Host& host_;
    Services services_;
    TrustPoll trust_;
    GlobalHotkeys hotkeys_;
    bool started_ = false;
    bool writers_ = false;  // startWriters has run
    // Access was had in this run, and lost since (the accessibility bus went).
    bool hadAccess_ = false;
    bool accessLost_ = false;
    Hooks hooks_;
    std::optional<Tip> tip_;
    std::optional<Preferences::ListenerId> prefsWatch_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace ovra
