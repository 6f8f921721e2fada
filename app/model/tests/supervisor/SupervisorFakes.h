#pragma once

// Hand-driven stand-ins for the supervisor's services, and a fixture that builds a supervisor
// over a temporary support folder.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "app/model/Executors.h"
#include "app/model/ModelSupervisor.h"
#include "core/WorkerLayout.h"
#include "platform/memory/FakeMemoryPressureSource.h"

namespace ovra::supervisor::testing {

namespace fs = std::filesystem;

inline const std::string kEn = "murmlark-ovra/en";
inline const std::string kMulti = "murmlark-ovra/multi";

class TempFolder {
  public:
    TempFolder() {
        std::random_device random;
        path_ = fs::temp_directory_path() / ("ovra-supervisor-" + std::to_string(random()));
        fs::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }

  private:
    fs::path path_;
};

inline void touch(const fs::path& file, const std::string& text = "x") {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
}

struct FakeClassifier final : Classifier {
    std::string name;
    bool throws = false;

    explicit FakeClassifier(std::string n) : name(std::move(n)) {}

    DecisionMap decide(const std::vector<UICandidate>& candidates, const std::string&,
                       const std::string&, const Rect&) override {
        if (throws)
            throw std::runtime_error("prediction failed");
        DecisionMap out;
        for (const auto& c : candidates) {
            ModelDecision d;
            d.id = c.id;
            d.modelVerdict = name;
            out[c.id] = d;
        }
        return out;
    }
};

struct LoadError : std::runtime_error {
    LoadError() : std::runtime_error("cannot load") {}
};

// Loads FakeClassifiers named after the model file's folder, or throws while failing is set.
struct FakeLoader {
    struct State {
        bool failing = false;
        std::vector<fs::path> models;
        std::vector<std::shared_ptr<FakeClassifier>> made;
    };
    std::shared_ptr<State> state = std::make_shared<State>();

    ClassifierLoader loader() const {
        return
            [state = state](const fs::path& model, const fs::path&) -> std::shared_ptr<Classifier> {
                state->models.push_back(model);
                if (state->failing)
                    throw LoadError();
                auto c = std::make_shared<FakeClassifier>(model.parent_path().filename().string());
                state->made.push_back(c);
                return c;
            };
    }
};

class FakeInstaller final : public ModelInstaller {
  public:
    Stage stage() const override { return stage_; }
    double progress() const override { return progress_; }
    bool busy() const override { return static_cast<bool>(finished_); }
    bool start(const std::vector<std::string>& models,
               std::function<void(bool)> finished) override {
        if (finished_)
            return false;
        requests.push_back(models);
        finished_ = std::move(finished);
        setStage(Stage::working("Downloading"));
        return true;
    }
    void setChangeHandler(std::function<void()> handler) override { handler_ = std::move(handler); }

    // Ends the running install. On success, onSuccess (when set) puts files in place first.
    void finish(bool ok, const std::string& failure = "It broke.") {
        ASSERT_TRUE(finished_) << "no install is running";
        if (ok && onSuccess)
            onSuccess(requests.back());
        setStage(ok ? Stage::done() : Stage::failed(failure));
        auto finished = std::move(finished_);
        finished_ = nullptr;
        finished(ok);
    }
    // Ends the running install with false but no failed stage (cancelled, say).
    void finishQuietly() {
        auto finished = std::move(finished_);
        finished_ = nullptr;
        setStage(Stage::idle());
        finished(false);
    }
    void setStage(Stage s) {
        stage_ = std::move(s);
        if (handler_)
            handler_();
    }
    void setProgress(double p) {
        progress_ = p;
        if (handler_)
            handler_();
    }

    std::vector<std::vector<std::string>> requests;
    std::function<void(const std::vector<std::string>&)> onSuccess;

  private:
    Stage stage_ = Stage::idle();
    double progress_ = 0;
    std::function<void(bool)> finished_;
    std::function<void()> handler_;
};

inline EngineManifest twoModelManifest() {
    auto m = EngineManifest::decode(R"({"version": 1, "files": [
        {"name": "en.tar.gz", "kind": "model", "model": "murmlark-ovra/en", "bytes": 1,
         "sha256": "00"},
        {"name": "multi.tar.gz", "kind": "model", "model": "murmlark-ovra/multi", "bytes": 1,
         "sha256": "00"}]})");
    if (!m.ok())
        throw std::runtime_error(m.error());
    return m.value();
}

class SupervisorTest : public ::testing::Test {
  protected:
    fs::path support() const { return temp_.path() / "Murmlark Ovra"; }
    fs::path modelFolder(const std::string& folderName) const {
        return support() / "models" / folderName;
    }
    void installModel(const std::string& id) {
        const auto folder = modelFolder(WorkerLayout::modelFolder(id));
        touch(folder / "OvraClassifier.mlmodelc" / "model.pt");
        touch(folder / "tokenizer.json", "{}");
    }

    ModelSupervisor& supervisor() {
        if (!supervisor_) {
            ModelSupervisor::Services s;
            s.executor = &executor;
            auto installer = std::make_unique<FakeInstaller>();
            installer_ = installer.get();
            s.installer = std::move(installer);
            s.loadClassifier = loader.loader();
            auto source = std::make_unique<memory::FakeMemoryPressureSource>();
            pressure_ = source.get();
            s.pressureSource = std::move(source);
            s.manifest = [this] { return manifest; };
            s.downloadMultilingual = [this] { return multilingual; };
            s.log = [this](const std::string& line) { logLines.push_back(line); };
            s.environment = [this](const char* name) -> std::optional<std::string> {
                const auto it = environment.find(name);
                if (it == environment.end())
                    return std::nullopt;
                return it->second;
            };
            s.releaseMemory = [this] { ++releases; };
            s.supportFolder = support();
            s.logDisplayPath = "~/log";
            s.selfTestLaunch = selfTestLaunch;
            supervisor_ = std::make_unique<ModelSupervisor>(std::move(s));
            supervisor_->setChangeHandler([this] { ++changes; });
        }
        return *supervisor_;
    }
    FakeInstaller& installer() {
        supervisor();
        return *installer_;
    }
    memory::FakeMemoryPressureSource& pressure() {
        supervisor();
        return *pressure_;
    }
    void destroySupervisor() { supervisor_.reset(); }

    // Starts on id and lets the load finish.
    void startReady(const std::string& id = kEn) {
        installModel(id);
        supervisor().start("", id);
        executor.runAll();
        ASSERT_TRUE(supervisor().status().isReady()) << supervisor().status().detail();
    }

    TempFolder temp_;
    ManualExecutor executor;
    FakeLoader loader;
    std::optional<EngineManifest> manifest = twoModelManifest();
    bool multilingual = false;
    bool selfTestLaunch = false;
    std::map<std::string, std::string> environment;
    std::vector<std::string> logLines;
    int releases = 0;
    int changes = 0;

  private:
    std::unique_ptr<ModelSupervisor> supervisor_;
    FakeInstaller* installer_ = nullptr;
    memory::FakeMemoryPressureSource* pressure_ = nullptr;
};

}  // namespace ovra::supervisor::testing
