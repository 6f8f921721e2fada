#pragma once

// A fixture that builds a supervisor over a temporary support folder, with the hand-driven
// stand-ins of its services.

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
#include "app/model/FakeSupervisorServices.h"
#include "app/model/ModelSupervisor.h"
#include "core/WorkerLayout.h"
#include "platform/memory/FakeMemoryPressureSource.h"
#include "testing/Files.h"

namespace ovra::supervisor::testing {

namespace fs = std::filesystem;

inline const std::string kEn = "murmlark-ovra/en";
inline const std::string kMulti = "murmlark-ovra/multi";

// A supervisor's folders of its own.
struct TempFolder : ovra::testing::ScratchFolder {
    TempFolder() : ScratchFolder("supervisor") {}
};

inline void touch(const fs::path& file, const std::string& text = "x") {
    fs::create_directories(file.parent_path());
    std::ofstream(file) << text;
}

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
            s.removeRetiredLater = removeRetiredLater;
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
    bool removeRetiredLater = false;
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
