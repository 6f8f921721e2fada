#pragma once

// Fetches a missing on-device model and makes it ready to load: reads the shipped download list,
// checks free space, downloads each file (in parts when listed so) from the first base that
// serves it, checks every part and the whole file with SHA-256, unpacks it safely, prepares the
// model for this computer through the model runtime, and only then swaps it into place, so a
// working model is never lost to a failed install. Publishes a stage with a sentence for the
// user and a progress fraction; every step and failure goes to the setup log.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/model/SetupLog.h"
#include "core/EngineManifest.h"
#include "core/Observable.h"
#include "platform/download/Downloader.h"
#include "platform/paths/Paths.h"

namespace ovra {

class EngineInstaller final {
  public:
    struct Stage {
        enum class Kind { working, failed, idle, done };
        Kind kind = Kind::idle;
        std::string text;  // the step (working) or the reason (failed)

        static Stage idle() { return {Kind::idle, {}}; }
        static Stage done() { return {Kind::done, {}}; }
        static Stage working(std::string text) { return {Kind::working, std::move(text)}; }
        static Stage failed(std::string text) { return {Kind::failed, std::move(text)}; }
        friend bool operator==(const Stage&, const Stage&) = default;
    };

    // Turns the unpacked model folder's package into the compiled model and test-loads it;
    // returns an error text ("TypeName: description") on failure. Runs on the install thread.
    using CompileStep =
        std::function<std::optional<std::string>(const std::filesystem::path& modelFolder)>;
    using SpaceProbe =
        std::function<std::optional<std::uint64_t>(const std::filesystem::path& folder)>;

    struct Config {
        std::filesystem::path manifestFile;
        std::filesystem::path supportFolder;  // models/ and incoming/ live here
        std::filesystem::path logFile;
        std::vector<std::string> bases;
        std::shared_ptr<download::Downloader> downloader;
        CompileStep compile;  // unset: every install fails at the preparing step
        SpaceProbe availableSpace = paths::availableSpace;
        download::Options downloadOptions;
        std::uint64_t maxArchiveEntries = 10000;
    };

    // The built-in base on the model host; only its path "/ovra" is fixed.
    static constexpr const char* kBuiltInBase = "https://models.qeld.ai/ovra";

    // The download bases in the order tried: $OVRA_ENGINE_BASE_URL, the "engineBaseURL" setting,
    // the built-in base. Absent ones are skipped; empty ones are not.
    static std::vector<std::string> bases(const paths::Environment& env,
                                          const std::optional<std::string>& engineBaseURL);
    // Paths and bases for this user; the caller adds the downloader and the compile step.
    static Config standardConfig(const std::optional<std::string>& engineBaseURL);

    explicit EngineInstaller(Config config);
    ~EngineInstaller();  // cancels a running install and waits for it
    EngineInstaller(const EngineInstaller&) = delete;
    EngineInstaller& operator=(const EngineInstaller&) = delete;

    // The whole install, on the calling thread. True only when every requested model is
    // installed and complete at the end; false on any failure, on cancel, and at once (touching
    // nothing) while another install runs.
    bool install(const std::vector<std::string>& models);
    // The same on a worker thread; finished gets the result there and may start the next
    // install. False when one is running.
    bool start(const std::vector<std::string>& models, std::function<void(bool)> finished);
    // Stops a running install at its next step or chunk; it ends as failed.
    void cancel();
    bool isRunning() const { return running_.load(); }

    // The model folder holds both the compiled model and its tokenizer.
    bool modelInstalled(const std::string& modelID) const;
    std::filesystem::path modelFolder(const std::string& modelID) const;

    const SetupLog& log() const { return log_; }

    Observable<Stage> stage{Stage::idle()};
    // Fraction of the bytes of the current install received; never above 1, 1 when complete,
    // not reset when a new install starts.
    Observable<double> progress{0.0};

    // "2.5 GB" and "about 450 MB", as shown to the user.
    static std::string gigabytes(std::uint64_t bytes);
    static std::string megabytes(std::int64_t bytes);

  private:
    struct Failure;
    bool run(const std::vector<std::string>& models);
    bool installFile(const EngineManifest::File& file, std::int64_t& done, std::int64_t total);
    bool fetchPart(const EngineManifest::Part& part, const std::filesystem::path& to,
                   const std::string& name, std::int64_t done, std::int64_t total);
    bool failWith(const std::string& sentence, const std::string& logLine);
    bool cancelled(const std::string& name);
    std::filesystem::path incoming() const;
    void releaseWorker();

    Config config_;
    SetupLog log_;
    std::atomic<bool> running_{false};
    std::atomic<bool> cancel_{false};
    std::atomic<bool> closing_{false};
    std::mutex workerMutex_;  // guards worker_
    std::jthread worker_;
};

}  // namespace ovra
