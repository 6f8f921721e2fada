// Opens the LibTorch backend's module when a model is first loaded or compiled.

#include "platform/model/ModelModule.h"

#include <dlfcn.h>

#include <algorithm>
#include <mutex>
#include <string>
#include <utility>

namespace ovra {

namespace modelmodule {

namespace {

namespace fs = std::filesystem;

// The module's failures as this side's ModelError, whatever type they have inside the module.
template <typename Call>
auto translated(Call&& call) -> decltype(call()) {
    try {
        return call();
    } catch (const std::exception& error) {
        throw ModelError(error.what());
    } catch (...) {
        throw ModelError("the model runtime failed");
    }
}

// A dlopen handle. RTLD_NODELETE: LibTorch leaves threads and exit handlers behind, so its code
// stays mapped for the life of the process even once the handle is closed.
class Library {
  public:
    explicit Library(const fs::path& file)
        : handle_(dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE)) {
        if (handle_ == nullptr) {
            throw ModelError("the model runtime cannot be opened: " + lastError());
        }
    }
    ~Library() { dlclose(handle_); }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    void* symbol(const char* name) const { return dlsym(handle_, name); }

    static std::string lastError() {
        const char* error = dlerror();
        return error != nullptr ? error : "unknown error";
    }

  private:
    void* handle_;
};

// The opened module and the backend it made; the backend goes before its code.
struct Module {
    explicit Module(const fs::path& file) : library(file) {}

    Library library;
    std::unique_ptr<ModelRuntime> runtime;
};

std::shared_ptr<const Module> open(const std::vector<fs::path>& candidates) {
    const auto file = std::find_if(candidates.begin(), candidates.end(), [](const fs::path& f) {
        std::error_code ec;
        return fs::is_regular_file(f, ec);
    });
    if (file == candidates.end()) {
        throw ModelError(
            "the model runtime is not installed (no " +
            (candidates.empty() ? std::string(kFileName) : candidates.front().string()) + ")");
    }
    auto module = std::make_shared<Module>(*file);
    dlerror();
    const auto entry = reinterpret_cast<EntryPoint>(module->library.symbol(kEntryPoint));
    if (entry == nullptr) {
        throw ModelError("the model runtime at " + file->string() +
                         " does not fit this app: " + Library::lastError());
    }
    translated([&] { entry(module->runtime); });
    if (!module->runtime) {
        throw ModelError("the model runtime at " + file->string() + " made no backend");
    }
    return module;
}

// A runner of the module, which keeps the module open while it lives.
class ModuleRunner final : public ModelRunner {
  public:
    ModuleRunner(std::shared_ptr<const Module> module, std::unique_ptr<ModelRunner> runner)
        : module_(std::move(module)), runner_(std::move(runner)) {}

    ModelOutputs predict(const ModelInput& input) const override {
        return translated([&] { return runner_->predict(input); });
    }

  private:
    std::shared_ptr<const Module> module_;  // declared first: outlives the runner
    std::unique_ptr<ModelRunner> runner_;
};

class ModuleRuntime final : public ModelRuntime {
  public:
    explicit ModuleRuntime(std::vector<fs::path> candidates) : candidates_(std::move(candidates)) {}

    std::unique_ptr<ModelRunner> load(const fs::path& model) const override {
        auto module = opened();
        auto runner = translated([&] { return module->runtime->load(model); });
        return std::make_unique<ModuleRunner>(std::move(module), std::move(runner));
    }

    void compile(const fs::path& package, const fs::path& compiled) const override {
        const auto module = opened();
        translated([&] { module->runtime->compile(package, compiled); });
    }

  private:
    // Loads and compiles run on workers, possibly at the same time.
    std::shared_ptr<const Module> opened() const {
        const std::lock_guard guard(mutex_);
        if (!module_)
            module_ = open(candidates_);
        return module_;
    }

    const std::vector<fs::path> candidates_;
    mutable std::mutex mutex_;
    mutable std::shared_ptr<const Module> module_;
};

// Where the module is: <prefix>/lib/murmlark-ovra beside <prefix>/bin, and for the programs of
// the build tree (tests, benchmarks) the module built there.
std::vector<fs::path> standardCandidates() {
    std::error_code ec;
    const fs::path executable = fs::read_symlink("/proc/self/exe", ec);
    if (ec)
        return {};
    std::vector<fs::path> candidates{executable.parent_path().parent_path() / "lib" /
                                     "murmlark-ovra" / kFileName};
    const fs::path inBuild = executable.lexically_relative(OVRA_BINARY_DIR);
    if (!inBuild.empty() && *inBuild.begin() != "..")
        candidates.emplace_back(OVRA_MODEL_MODULE_IN_BUILD);
    return candidates;
}

}  // namespace

std::unique_ptr<ModelRuntime> openOnFirstUse(std::vector<fs::path> candidates) {
    return std::make_unique<ModuleRuntime>(std::move(candidates));
}

}  // namespace modelmodule

std::unique_ptr<ModelRuntime> makeTorchModelRuntime() {
    return modelmodule::openOnFirstUse(modelmodule::standardCandidates());
}

}  // namespace ovra
