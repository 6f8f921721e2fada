#pragma once

// The running app around the controller: the tray item and the home island, the launch flags'
// schedule, the quit path (the Quit item and termination signals) and the flags' exit, and the
// answer to a later start. Made on the main thread once a QApplication exists.

#include <QObject>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/shell/LaunchFlags.h"
#include "app/shell/ShellController.h"
#include "core/Rect.h"

namespace ovra {

class Scheduler;
class HomeIslandController;
namespace keyboard {
class KeyboardLayout;
}

// What a self-test started by its flag gets of the shell.
struct SelfTestShell {
    HomeIslandController& island;
    const keyboard::KeyboardLayout* layout;  // the keyboard's; none without one
    std::function<void(int code)> exit;
};

class ShellApp final {
  public:
    struct Options {
        LaunchPlan plan;
        // Writes pending settings; false when they could not be written.
        std::function<bool()> flushSettings;
        // A line of the app's log.
        std::function<void(const std::string&)> log;
        // Runs the self-test of a flag (the overlay snapshot with its path); it ends the
        // process. None: the flag says the self-test is not part of this build.
        std::function<void(ScheduledFlag, const std::string& path, const SelfTestShell&)> selfTest;
    };

    ShellApp(ShellController& controller, Scheduler& scheduler, Options options);
    ~ShellApp();
    ShellApp(const ShellApp&) = delete;
    ShellApp& operator=(const ShellApp&) = delete;

    // Shows the tray item (or says once where it would be) and schedules the flags; the
    // controller has started.
    void start();
    // Another start asked for this copy: its settings window on the Home pane.
    void showHome();
    // Where the tray item shows on the screen, when the tray tells.
    std::optional<Rect> trayIconFrame() const;
    // Another app came forward: an open island closes.
    void otherAppActivated();
    // The normal quit: the model stops, the settings are written and the event loop ends.
    void quit();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace ovra
