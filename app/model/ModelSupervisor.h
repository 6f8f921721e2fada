#pragma once

// Keeps the on-device classifier available to the rest of the app: finds the installed model of
// the chosen id, loads it off the main thread, publishes a status, runs every classification on
// one serial thread, reloads after a failure, unloads under critical memory pressure, has the
// installer fetch a missing model (and the multilingual one when the user wants it) and prunes
// retired model files when it is created (neither in a self-test launch).
//
// Lives on the main thread: every member is called there, and every callback it makes (the
// change handler, decide's completion) runs there. The executor must outlive it.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/model/SupervisorServices.h"
#include "app/model/WorkerStatus.h"
#include "core/EngineManifest.h"
#include "core/MemoryPolicy.h"
#include "core/Result.h"
#include "platform/memory/MemoryPressureSource.h"

namespace ovra {

struct WindowSnapshot;

class ModelSupervisor final {
  public:
    struct Services {
        supervisor::Executor* executor = nullptr;                      // required
        std::unique_ptr<supervisor::ModelInstaller> installer;         // required
        supervisor::ClassifierLoader loadClassifier;                   // required
        std::unique_ptr<memory::MemoryPressureSource> pressureSource;  // optional
        // The engine manifest shipped with the app; none when missing or undecodable.
        std::function<std::optional<EngineManifest>()> manifest;
        // The user's "downloadMultilingual" setting; read, never written.
        std::function<bool()> downloadMultilingual;
        // Appends one line to the setup log.
        std::function<void(const std::string&)> log;
        // Reads an environment variable (OVRA_CLASSIFIER_DIR).
        std::function<std::optional<std::string>(const char*)> environment;
        // Gives freed memory back to the system; runs on the classifier thread after an unload.
        std::function<void()> releaseMemory;
        // The support folder ("Murmlark Ovra" in the data folder) holding models/.
        std::filesystem::path supportFolder;
        // The setup log's path as the user reads it, named in the load-failure text.
        std::string logDisplayPath = "~/.local/state/MurmlarkOvra/setup.log";
        // A self-test launch: an installed model is loaded, but nothing is downloaded and no
        // retired file is removed.
        bool selfTestLaunch = false;
        // The retired files wait for removeRetiredFiles(): a copy that does not yet know
        // whether another copy runs may be removing that copy's files.
        bool removeRetiredLater = false;
    };

    struct Located {
        std::filesystem::path model;
        std::filesystem::path tokenizer;
        friend bool operator==(const Located&, const Located&) = default;
    };

    struct DecideError {
        enum class Kind { featureUnsupported, failed };
        Kind kind = Kind::failed;
        std::string message;
    };
    using DecideResult = Result<supervisor::DecisionMap, DecideError>;
    using DecideCompletion = std::function<void(DecideResult)>;

    // Sets up the fields, starts listening to memory pressure and starts pruning.
    explicit ModelSupervisor(Services services);
    ~ModelSupervisor();
    ModelSupervisor(const ModelSupervisor&) = delete;
    ModelSupervisor& operator=(const ModelSupervisor&) = delete;

    // Resolves, locates and loads the model, or has it downloaded. directory is not used.
    void start(const std::string& directory, const std::string& model);
    // Unloads; a pending load or download result is discarded when it arrives.
    void stop();
    // Runs the classifier on the classifier thread; completion runs on the main thread. Fails
    // with featureUnsupported when no classifier is loaded. No time limit.
    void decide(const std::vector<UICandidate>& candidates, const std::string& appName,
                const std::string& windowTitle, const Rect& window, DecideCompletion completion);
    void decide(const WindowSnapshot& snapshot, DecideCompletion completion);
    // Reload after a failed classification; only while ready.
    void recoverLostWorker();
    // Removes, on the worker, what the support folder holds beyond the manifest's models and
    // the current layout; at construction unless Services::removeRetiredLater. Never in a
    // self-test launch.
    void removeRetiredFiles();
    // Background download of the multilingual model when the user wants it.
    void fetchMultilingualIfWanted();
    // At the start of a request: restarts a model paused for memory on the last model when it
    // is wanted and the pressure is no longer critical. True when it restarted.
    bool resumeAfterMemoryPause(bool modelWanted);

    const WorkerStatus& status() const { return status_; }
    // One line for the settings window: the install step and percentage, else the detail.
    std::string summary() const;
    MemoryPressure pressure() const { return pressure_; }
    bool pausedForMemory() const { return pausedForMemory_; }
    const std::optional<std::string>& lastModel() const { return lastModel_; }
    supervisor::ModelInstaller& installer() { return *services_.installer; }
    bool hasClassifier() const { return classifier_ != nullptr; }

    // Called on the main thread after the status, the installer's stage or its progress changed.
    void setChangeHandler(std::function<void()> handler) { onChange_ = std::move(handler); }

    // The installed model of id under supportFolder, else the developer model in the folder
    // named by OVRA_CLASSIFIER_DIR, else none.
    static std::optional<Located> locate(
        const std::string& id, const std::filesystem::path& supportFolder,
        const std::function<std::optional<std::string>(const char*)>& environment);

  private:
    // Why a start runs: a restart after an install may not download again.
    enum class Origin { request, afterInstall };

    void startModel(const std::string& requested, Origin origin);
    void load(const std::string& id, const Located& files);
    void loadFinished(std::uint64_t generation, const std::string& id,
                      Result<std::shared_ptr<supervisor::Classifier>> loaded);
    void download(const std::string& id);
    void installFinished(std::uint64_t generation, const std::string& id, bool ok);
    void runPendingRequest();
    void pressureChanged(MemoryPressure level);
    void unload();
    void setStatus(WorkerStatus status);
    void changed();
    std::optional<EngineManifest> manifest() const;
    bool wantsMultilingual() const;
    void log(const std::string& line) const;
    // Runs fn on the main thread later, unless the supervisor is gone by then.
    std::function<void(std::function<void(ModelSupervisor&)>)> mainHop();

    Services services_;
    WorkerStatus status_;
    std::shared_ptr<supervisor::Classifier> classifier_;
    std::optional<std::string> lastModel_;
    MemoryPressure pressure_ = MemoryPressure::normal;
    bool pausedForMemory_ = false;
    // Bumped by every start and stop: a load or install result of an older generation is stale.
    std::uint64_t generation_ = 0;
    // A start that found the installer busy; it runs when that install ends.
    std::optional<std::string> pendingRequest_;
    std::function<void()> onChange_;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace ovra
