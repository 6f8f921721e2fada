#pragma once

// A model runtime for tests of what loads and compiles models: loading hands back whatever
// runner the test's loader makes, compiling copies the package's model file, and either can be
// made to fail. Every call is recorded.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/model/ModelRuntime.h"

namespace ovra {

class FakeModelRuntime final : public ModelRuntime {
  public:
    using Loader = std::function<std::unique_ptr<ModelRunner>(const std::filesystem::path&)>;

    explicit FakeModelRuntime(Loader loader) : loader_(std::move(loader)) {}

    std::unique_ptr<ModelRunner> load(const std::filesystem::path& model) const override {
        loads.push_back(model);
        if (loadFailure)
            throw ModelError(*loadFailure);
        return loader_(model);
    }

    void compile(const std::filesystem::path& package,
                 const std::filesystem::path& compiled) const override {
        compiles.emplace_back(package, compiled);
        if (compileFailure)
            throw ModelError(*compileFailure);
        namespace fs = std::filesystem;
        const fs::path source = package / ModelFiles::kModelFile;
        if (!fs::exists(source))
            throw ModelError("no model file in " + package.string());
        fs::remove_all(compiled);
        fs::create_directories(compiled);
        fs::copy_file(source, compiled / ModelFiles::kModelFile);
    }

    std::optional<std::string> loadFailure;
    std::optional<std::string> compileFailure;
    mutable std::vector<std::filesystem::path> loads;
    mutable std::vector<std::pair<std::filesystem::path, std::filesystem::path>> compiles;

  private:
    Loader loader_;
};

}  // namespace ovra
