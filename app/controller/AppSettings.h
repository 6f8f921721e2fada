#pragma once

// The app's settings: its one defaults domain, the JSON file
// $XDG_CONFIG_HOME/murmlark-ovra/ai.qeld.murmlark-ovra.json, and the preferences store over it.
// The shell makes one at start-up and hands references to whoever needs them: Preferences for
// the store's 30 properties, DefaultsDomain for the keys of the same file that live outside it
// ("hotkeyChosen", "ovraButtonTipShown", "birdHintShown", "failedUpdateVersion", "firstLaunch",
// "lastUpdateCheck", "engineBaseURL"; dates through DefaultsDates). Main thread only.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/controller/Preferences.h"
#include "platform/defaults/JsonFileDefaults.h"
#include "platform/desktopsettings/DesktopSettings.h"
#include "platform/paths/Paths.h"
#include "platform/scheduler/Scheduler.h"

namespace ovra {

class AppSettings final {
  public:
    using Report = JsonFileDefaults::Report;

    // Reads the app's settings file. Changes are written on the next turn of `scheduler`'s
    // event loop; the dock's side is read from `desktop` only while loading. `scheduler` must
    // outlive the settings. Every problem with the file goes to `report` (the log).
    AppSettings(Scheduler& scheduler, desktop::DesktopSettings& desktop, Report report,
                const paths::Environment& env = paths::processEnvironment);
    // For the command-line dumps: reads the file and never writes or moves it.
    static std::unique_ptr<AppSettings> readOnly(
        Report report, const paths::Environment& env = paths::processEnvironment);
    // Writes what is pending.
    ~AppSettings();
    AppSettings(const AppSettings&) = delete;
    AppSettings& operator=(const AppSettings&) = delete;

    DefaultsDomain& defaults() { return *defaults_; }
    Preferences& preferences() { return preferences_; }

    // Writes pending changes now: at quit, and before a launch flag ends the process (which
    // skips every destructor). False when they could not be written (already reported).
    bool flush() { return defaults_->flush(); }
    // The file is never written again (the app is being removed).
    void freeze() { defaults_->freeze(); }
    // Nothing is written until releaseWrites(): another running copy may own the file.
    void holdWrites() { defaults_->holdWrites(); }
    void releaseWrites() { defaults_->releaseWrites(); }
    // Hands every problem with the file to `show` as well, those met before this call (while
    // loading, before there was anything to show them in) at once and later ones as they come.
    void showProblemsWith(Report show);

    // Reports as a warning of the settings' log category (standard error, in the app).
    static Report standardErrorReport();
    // The worker folder set when the app was built (OVRA_WORKER_DIRECTORY); "" by default.
    static std::string_view builtInWorkerDirectory();

  private:
    struct Problems {
        Report log;
        Report show;
        std::vector<std::string> unshown;
    };
    AppSettings(std::shared_ptr<Problems> problems, Scheduler& scheduler,
                desktop::DesktopSettings& desktop, const paths::Environment& env);
    AppSettings(std::shared_ptr<Problems> problems, std::unique_ptr<JsonFileDefaults> defaults,
                const Preferences::Sources& sources);
    static Report reportTo(const std::shared_ptr<Problems>& problems);

    std::shared_ptr<Problems> problems_;
    std::unique_ptr<JsonFileDefaults> defaults_;
    Preferences preferences_;
};

}  // namespace ovra
