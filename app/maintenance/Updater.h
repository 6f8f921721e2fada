#pragma once

// The app's self-updater. Checks the update manifest daily (first 20 s after start, then
// whenever the hourly tick finds a check due), says what it found through one operation that
// sets the status line, the settings window's banner and an announcement, downloads and proves
// a newer release when the user asks (or at once for a security fix), installs it when the user
// asks (a security fix when the app is not in use), and reports the last install attempt at the
// next start.
//
// An update installs only into a prefix that holds nothing but the app (InstallMarker.h). An
// install keeps the installed copy's own files in the new version, swaps the verified new prefix
// with the running one in one atomic exchange, and asks the new version to prove it starts; one
// that does not is swapped back out. It writes the receipt, starts the new executable (or the
// old one, after a failure) once this process has ended and quits. The old prefix stays beside
// the new one until the next start, which removes it. In a process launched for a self-test or
// a diagnostic the updater does nothing at all: no check, no download, no clean-up.
//
// Main thread only. The network, hashing and unpacking run on the offload's worker; timers go
// through the scheduler; everything the app around it provides (banner, announcement, overlay
// and activity state, the settings window, relaunch and quit) is injected.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/maintenance/Offload.h"
#include "app/maintenance/UpdateInstall.h"
#include "app/maintenance/UpdatePackage.h"
#include "core/Result.h"
#include "core/Updates.h"
#include "platform/crypto/Ed25519.h"
#include "platform/defaults/DefaultsDomain.h"
#include "platform/download/Downloader.h"
#include "platform/paths/FolderSwap.h"
#include "platform/paths/Paths.h"
#include "platform/scheduler/Scheduler.h"

namespace ovra {

class Updater final {
  public:
    // What the General pane shows.
    struct State {
        std::optional<std::string> status;
        bool busy = false;
        std::optional<OvraUpdates::Manifest> available;
        friend bool operator==(const State&, const State&) = default;
    };

    struct Config {
        std::string currentVersion = "0";
        std::filesystem::path prefix;  // the running install: <prefix>/bin/murmlark-ovra
        std::filesystem::path home;
        std::filesystem::path supportFolder;  // the receipt and the reopen marker
        std::optional<std::string> testBase;  // see UpdateHooks.h
        std::vector<crypto::Ed25519PublicKey> keys;
        std::string platform;
        std::shared_ptr<download::Downloader> downloader;
        double stallSeconds = 60;  // a download that sends nothing this long fails
        // Whatever a server sends, a check is done within the first, each file of an update
        // within the second.
        double checkDeadline = 60;
        double downloadDeadline = 3600;
        // How long a new version has to answer the version handshake.
        double startSeconds = 30;
        bool selfTestLaunch = false;
        std::uint64_t maxArchiveBytes = std::uint64_t{1} << 30U;

        Scheduler* scheduler = nullptr;
        DefaultsDomain* defaults = nullptr;
        std::shared_ptr<Offload> offload;
        std::function<OvraUpdates::Date()> now;  // the wall clock

        // The settings window's banner, and an announcement for the screen reader.
        std::function<void(const std::string& text, bool problem)> banner;
        std::function<void(const std::string& text)> announce;
        std::function<bool()> overlayVisible;
        std::function<bool()> appActive;
        std::function<bool()> windowOpen;  // any of the app's own windows
        std::function<void()> showGeneralSettings;

        std::vector<std::string> relaunchArguments;
        // Starts the argument vector once this process has ended.
        std::function<Result<bool>(const std::vector<std::string>& argv)> relaunch;
        std::function<void()> quit;
        paths::RenameCalls renames = paths::systemRenames();
        std::function<void(const std::string&)> log;
    };

    // Everything that comes from this build and this user: version, prefix, folders, keys and
    // (in test-hooks builds only) the developer base and test key, the downloader and the
    // relaunch. The caller adds the scheduler, defaults, offload, clock and the app's functions.
    static Config standardConfig(const paths::Environment& env = paths::processEnvironment);

    explicit Updater(Config config);
    ~Updater();
    Updater(const Updater&) = delete;
    Updater& operator=(const Updater&) = delete;

    // Once, first thing at start: reports the last install attempt, removes what earlier
    // downloads and installs left, and starts the schedule.
    void start();
    // The settings row "gen.checkupdate" passes true; the schedule false.
    void check(bool userAsked);
    // The settings row "gen.installupdate", shown while an update is available.
    void installAvailable();

    const State& state() const { return state_; }
    // Called after every change of the state.
    void setObserver(std::function<void()> observer) { observer_ = std::move(observer); }
    // The version downloaded, verified and waiting to be installed.
    std::optional<std::string> stagedVersion() const;

    static constexpr const char* kLastCheckKey = "lastUpdateCheck";
    static constexpr const char* kFailedVersionKey = "failedUpdateVersion";
    static constexpr const char* kReceiptFile = "last-update.txt";
    static constexpr const char* kReopenMarker = "reopen-after-update";
    static constexpr double kFirstCheckDelay = 20;
    static constexpr double kDueCheckInterval = 3600;
    static constexpr double kIdlePollInterval = 30;
    static constexpr double kQuitDelay = 0.3;

  private:
    void reportLastAttempt();
    void checkIfDue();
    void checked(const std::optional<OvraUpdates::Manifest>& manifest, bool userAsked);
    void say(const std::string& text, bool problem);
    void prepare(const OvraUpdates::Manifest& manifest, bool userAsked,
                 std::function<void(bool)> done);
    std::optional<std::string> downloadURL(const std::string& address) const;
    void installWhenIdle();
    bool idle() const;
    void install(bool reopen);
    void installed(const update::Installed& result);
    void writeReceipt(const OvraUpdates::Receipt& receipt);
    void dropStaged();
    std::string manifestAddress() const;
    // Runs work on the offload and `then` on the main thread, unless the updater is gone.
    void offload(std::function<void()> work, std::function<void()> then);

    void setStatus(std::optional<std::string> status);
    void setBusy(bool busy);
    void setAvailable(std::optional<OvraUpdates::Manifest> available);
    void changed();
    void log(const std::string& line) const;

    Config config_;
    State state_;
    std::function<void()> observer_;
    std::optional<update::Staged> staged_;
    bool downloading_ = false;  // busy with a download rather than a check
    bool installing_ = false;   // the swap and the handshake run
    Scheduler::Token timer_ = 0;
    Scheduler::Token idleWait_ = 0;
    Scheduler::Token firstCheck_ = 0;
    std::shared_ptr<std::atomic<bool>> cancel_ = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace ovra
