#pragma once

// The launch flags' actions once the controller has started: each flag of the plan is
// scheduled after its delay, in the plan's order, and runs on the main thread. The self-tests
// the shell runs itself (snapshot, Settings command, key test, trigger test, credits) print
// their lines and end the process here; the others hand over to their own entry points.
//
// Plain C++: the controller, the windows and the process's exit come in through interfaces, so
// tests drive every flag against fakes and a manual clock.

#include <optional>
#include <string>
#include <vector>

#include "app/shell/LaunchFlags.h"
#include "app/shell/ShellController.h"
#include "core/Rect.h"
#include "platform/scheduler/Scheduler.h"

namespace ovra {

// How writing the settings window's picture went.
struct SettingsSnapshot {
    enum class Status { written, noWindow, cannotWrite };
    Status status = Status::noWindow;
    Size window;   // the window's frame
    Size content;  // the content's bounds
    Size fitting;  // the size the content asks for
};

// One visible window of the app, as the self-tests report it.
struct WindowReport {
    std::string title;
    Rect frame;
    Size fitting;
    bool hasContent = true;
    bool takesFirstClick = true;
};

// The process and the windows, as the flags' actions reach them.
class LaunchHost {
  public:
    virtual ~LaunchHost() = default;

    // A line on standard output, flushed at once.
    virtual void print(const std::string& line) = 0;
    // A line of the app's log (standard error).
    virtual void log(const std::string& line) = 0;
    // Ends the process with `code` once output and settings are written, without running the
    // quit handler or any destructor.
    virtual void exit(int code) = 0;

    // The home island on the primary screen.
    virtual void openHome() = 0;
    // The settings window's Instructions pane shows this taught feature.
    virtual void showFeature(const std::string& feature) = 0;
    // The app's windows in the dark (true) or light (false) appearance, or the desktop's (none).
    virtual void setAppearance(std::optional<bool> dark) = 0;
    // Writes the settings window's content as a PNG file at `path`.
    virtual SettingsSnapshot writeSettingsSnapshot(const std::string& path) = 0;
    // Hides every visible window of the app wider than 100 pixels.
    virtual void hideWideWindows() = 0;
    // Presses the Settings command (Ctrl+,) of the app's windows; its title, none without one.
    virtual std::optional<std::string> pressSettingsCommand() = 0;
    virtual std::vector<WindowReport> visibleWindows() = 0;
    virtual bool modalWindowOpen() = 0;
    virtual void showCredits() = 0;
    // Presses and releases each key (by key code) as the keyboard would.
    virtual void postKeys(const std::vector<int>& keyCodes) = 0;

    // The diagnostics' self-tests; each ends the process itself.
    virtual void overlaySnapshot(const std::string& path) = 0;
    virtual void findTest() = 0;
    virtual void keyboardTest() = 0;
    virtual void scrollTest() = 0;
};

class LaunchSequence final {
  public:
    // The taught features the snapshot flag can show.
    static const std::vector<std::string>& features();

    LaunchSequence(LaunchPlan plan, ShellController& controller, LaunchHost& host,
                   Scheduler& scheduler);
    ~LaunchSequence();
    LaunchSequence(const LaunchSequence&) = delete;
    LaunchSequence& operator=(const LaunchSequence&) = delete;

    // Schedules every flag's action, counting from now (the controller has started).
    void scheduleFlags();

    // "(900.0, 640.0)": a size as the snapshot line writes it.
    static std::string sizeText(Size size);

  private:
    void run(ScheduledFlag flag);
    void snapshotPrepare();
    void snapshotWrite();
    void settingsScene();
    void keyTest();
    void triggerTest();
    void creditsTest();
    void later(double seconds, std::function<void()> work);
    void end(int code);

    LaunchPlan plan_;
    ShellController& controller_;
    LaunchHost& host_;
    Scheduler& scheduler_;
    std::vector<Scheduler::Token> pending_;
    bool ended_ = false;
    // The key test's change to the sidebar setting, put back before the process ends.
    std::optional<bool> sidebarBefore_;
};

}  // namespace ovra
