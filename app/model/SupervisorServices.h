#pragma once

// What the model supervisor needs of the rest of the app, as small interfaces so that it can be
// driven by hand in tests: where work runs, how a classifier is loaded and asked, and the
// engine installer.

#include <exception>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/model/EngineInstaller.h"
#include "core/Candidate.h"
#include "core/FocusPlan.h"
#include "core/Rect.h"

namespace ovra::supervisor {

// Where the supervisor's work runs. The supervisor itself lives on the main thread; loading and
// pruning go to a worker, every classification to one serial classifier thread.
class Executor {
  public:
    using Task = std::function<void()>;
    virtual ~Executor() = default;
    // Safe to call from any thread.
    virtual void postToMain(Task task) = 0;
    virtual void postToWorker(Task task) = 0;
    // Tasks run one at a time, in the order posted.
    virtual void postToClassifier(Task task) = 0;
};

// Candidate id to decision.
using DecisionMap = std::map<std::string, ModelDecision, std::less<>>;

// A loaded classifier. decide blocks and throws when the model fails; it is only ever called
// from the classifier thread.
class Classifier {
  public:
    virtual ~Classifier() = default;
    virtual DecisionMap decide(const std::vector<UICandidate>& candidates,
                               const std::string& appName, const std::string& windowTitle,
                               const Rect& window) = 0;
};

// Loads a classifier from its model and tokenizer; throws on failure. Runs on a worker thread.
using ClassifierLoader = std::function<std::shared_ptr<Classifier>(
    const std::filesystem::path& model, const std::filesystem::path& tokenizer)>;

// The class name of an exception without namespaces, as the setup log names failures.
std::string errorTypeName(const std::exception& error);

// The engine installer as the supervisor uses it.
class ModelInstaller {
  public:
    using Stage = EngineInstaller::Stage;
    virtual ~ModelInstaller() = default;

    virtual Stage stage() const = 0;
    virtual double progress() const = 0;
    // Whether an install is under way (its stage may not say "working" yet).
    virtual bool busy() const = 0;
    // Starts installing models; finished gets the result on any thread. False, without a call
    // of finished, when an install is already running.
    virtual bool start(const std::vector<std::string>& models,
                       std::function<void(bool)> finished) = 0;
    // Called on any thread whenever the stage or the progress changes.
    virtual void setChangeHandler(std::function<void()> handler) = 0;
};

// The real installer behind the supervisor's interface.
class EngineInstallerFacade final : public ModelInstaller {
  public:
    explicit EngineInstallerFacade(std::unique_ptr<EngineInstaller> installer);
    ~EngineInstallerFacade() override;

    Stage stage() const override { return installer_->stage.get(); }
    double progress() const override { return installer_->progress.get(); }
    bool busy() const override { return installer_->isRunning(); }
    bool start(const std::vector<std::string>& models,
               std::function<void(bool)> finished) override {
        return installer_->start(models, std::move(finished));
    }
    void setChangeHandler(std::function<void()> handler) override;

  private:
    struct HandlerCell;
    std::unique_ptr<EngineInstaller> installer_;
    std::shared_ptr<HandlerCell> handler_;
    std::size_t stageSubscription_ = 0;
    std::size_t progressSubscription_ = 0;
};

}  // namespace ovra::supervisor
