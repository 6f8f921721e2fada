#pragma once

// Removes the app at the user's request: its settings and remembered choices, its logs and
// caches, its on-device model files (with the two cached model folders in the model-hub cache,
// but nothing another cached model links to), the desktop entries the install made, and finally
// the app itself, which goes to the Trash so that the user can put it back. It asks first, in
// the keyboard-driven confirm dialog, saying how much disk space it frees; only a confirmed
// answer removes anything. The dialog opens at once: the space is counted on workers meanwhile
// (see UninstallerSurvey) and the question is told again as the counts come in.
//
// Nothing is removed in a process started for a self-test, nor while the dry run is on: the
// keyboard self-test drives the dialog and only the answer is printed. Once removal starts,
// nothing writes a setting or a log line again, so no file comes back. Whatever could not be
// removed is listed in one final message; a complete removal ends silently.
//
// The main thread never waits on the removal, nor on anything of the disk before it: a model
// download asked to stop is looked at again on the scheduler until it has ended (within a bound),
// and the files go on a worker thread (a folder or the Trash may be on another file system). A
// mount that stops answering can hold that worker for ever, so the app quits kQuitBound after
// asking for the files and the Trash move, whatever the worker does by then. Main thread only.

#include <chrono>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "app/maintenance/UninstallerSurvey.h"
#include "app/maintenance/UninstallerText.h"
#include "core/Updates.h"
#include "platform/paths/Paths.h"
#include "platform/scheduler/Scheduler.h"

namespace ovra {

class Uninstaller final {
  public:
    // Where the app's things are.
    struct Places {
        // HOME and the XDG folders (data, state, cache, config, runtime).
        paths::Environment env = paths::processEnvironment;
        // Names the cache folder; checked (see isValidAppID) before any path is made from it.
        std::string appID = std::string(OvraUpdates::bundleID);
        // The install prefix of the copy to remove, the folder above bin/ (empty for none).
        std::filesystem::path prefix = runningPrefix();
        // Files the install made outside the prefix (the desktop file): removed as files, never
        // as folders. None: the install's own list, read when it is needed (on a worker).
        std::optional<std::vector<std::filesystem::path>> desktopFiles;
    };

    // How long a model download that was asked to stop is waited for; removal goes on after it.
    static constexpr double kModelStopBound = 10;
    // How long after the files and the Trash move are asked for the app quits at the latest.
    static constexpr double kQuitBound = 3;

    struct Services {
        // Unloads the classifier and asks a model download under way to stop.
        std::function<void()> stopModel;
        // Whether nothing writes into the data folder any more (no download under way). Looked at
        // again every 20 ms on `scheduler` until it holds or kModelStopBound has passed; without
        // a scheduler it is not waited for.
        std::function<bool()> modelStopped;
        Scheduler* scheduler = nullptr;
        // Runs `work` on a worker thread, then `then` on the main thread; none: both at once,
        // here. With a scheduler as well, `then` is dropped once kQuitBound has passed.
        std::function<void(std::function<void()> work, std::function<void()> then)> offload;
        std::function<void()> freezeSettings;  // the settings store never writes again
        // Asks modally; true when the user confirmed.
        std::function<bool(const UninstallerText::Question&)> confirm;
        // Tells the question `confirm` has open again, as more of the space is counted.
        std::function<void(const UninstallerText::Question&)> update;
        // Shows the final message modally.
        std::function<void(const UninstallerText::Message&)> showFailure;
        std::function<void()> quit;
        std::function<std::chrono::system_clock::time_point()> now = [] {
            return std::chrono::system_clock::now();
        };
        std::ostream* out = nullptr;  // the dry run's answer line; standard output when null
        // A line for the log (the setup log is frozen by then); the app's log when absent.
        std::function<void(const std::string&)> log;
    };

    // One thing to delete: a folder with everything in it, or a single file.
    struct Location {
        std::filesystem::path path;
        bool folder = true;
        friend bool operator==(const Location&, const Location&) = default;
    };

    Uninstaller(Places places, Services services, bool launchedForSelfTest);

    // The prefix of the running executable: the folder above the one that holds it.
    static std::filesystem::path runningPrefix();
    // What the install at `prefix` wrote outside it, from share/murmlark-ovra/installed-outside
    // (one absolute path a line): only the files an install of ours writes, in the XDG data
    // folders it writes them to, count, whatever else the list says.
    static std::vector<std::filesystem::path> installedOutside(const std::filesystem::path& prefix,
                                                               const paths::Environment& env);
    // Whether the launch arguments hold a self-test or press-test flag.
    static bool isSelfTestLaunch(const std::vector<std::string>& arguments);
    // Not empty, no "/", no "..": a name that stays one entry of the folder it is put in.
    static bool isValidAppID(std::string_view id);

    void setDryRun(bool on) { dryRun_ = on; }
    bool dryRun() const { return dryRun_; }
    // Removal refuses outright: the dry run is on or the process was started for a self-test.
    bool refuses() const { return dryRun_ || selfTestLaunch_; }

    // The two cached model folders of the model-hub cache, under ~/.cache/huggingface/hub.
    std::vector<std::filesystem::path> modelLocations() const;
    // Everything to delete, in order: the data folder, the state folder (the setup log), the
    // cache folder, the settings folder, the worker socket, the desktop files (but those inside
    // a prefix that goes to the Trash whole) and the model folders.
    std::vector<Location> locations() const;
    // Blobs that links in our model folders lead to and that no other cached model uses.
    std::vector<std::filesystem::path> exclusiveModelBlobs() const;
    // What goes to the Trash: the prefix itself when the whole prefix is the app's (it holds
    // nothing but what the install listed); the app's own files (bin/murmlark-ovra, the folders
    // share/murmlark-ovra and lib/murmlark-ovra, the other files the install listed) in a prefix
    // it shares with other software; nothing for a build tree, a package manager's folder, a
    // folder the user cannot change, or a prefix without our install marker.
    std::vector<std::filesystem::path> appItems() const;

    // The places whose space the question counts, each looked at by a job of its own: the
    // folders and files to delete, the install's own items (which also say whether the app goes
    // to the Trash) and the model blobs.
    std::vector<UninstallerSurvey::Place> surveyPlaces() const;
    // The question with the space to be freed, counted here and now (on a worker).
    UninstallerText::Question question() const;
    // Asks at once, counting the space on the offload meanwhile; on a confirmed answer starts
    // removing everything (see removeEverything). True when it went on to remove; false on
    // Cancel, during a dry run and in a self-test process, where it prints the answer instead.
    bool confirmAndRemove();
    using Removed = std::function<void(const std::vector<UninstallerText::Remaining>&)>;
    // Stops the model, removes everything, shows what is left when anything is, and quits;
    // `done` then gets what is left. With a scheduler or an offload this ends on a later turn
    // of the main thread. A removal still under way kQuitBound after its files were handed to
    // the offload quits without showing anything, and `done` never runs. Nothing at all
    // happens when removal refuses.
    void removeEverything(Removed done = {});

  private:
    std::string shown(const std::filesystem::path& path) const;
    // What is deleted whatever the install holds: the data, log, cache and settings folders and
    // the worker socket. Made of the environment alone: nothing is read.
    std::vector<Location> ownLocations() const;
    // The install's desktop files that are deleted one by one: those outside `app`, which goes
    // to the Trash whole.
    std::vector<Location> desktopLocations(const std::vector<std::filesystem::path>& app) const;
    // Once the model has stopped, or the wait for it ended.
    void removeFiles(Removed done) const;
    void log(const std::string& line) const;

    Places places_;
    Services services_;
    bool selfTestLaunch_;
    bool dryRun_ = false;
};

}  // namespace ovra
