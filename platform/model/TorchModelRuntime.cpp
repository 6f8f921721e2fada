// The only translation unit that includes LibTorch. It is built as a module of its own
// (ModelModule.h), opened once a model is loaded or compiled.

#include <malloc.h>  // malloc_trim
#include <stdlib.h>  // mkdtemp
#include <torch/csrc/jit/api/module.h>
#include <torch/script.h>

#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/model/ModelModule.h"

namespace ovra {

namespace {

namespace fs = std::filesystem;

// The message of a LibTorch failure without its backtrace. The TorchScript interpreter rethrows
// an operator's failure as a plain runtime_error whose text is a script traceback ending in
// the actual reason, so only the last line is kept.
std::string reason(const std::exception& e) {
    if (const auto* error = dynamic_cast<const c10::Error*>(&e)) {
        return error->what_without_backtrace();
    }
    std::string_view text = e.what();
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.remove_suffix(1);
    const auto lastLine = text.rfind('\n');
    return std::string(lastLine == std::string_view::npos ? text : text.substr(lastLine + 1));
}

// The TorchScript file of a model folder; a plain file stands for itself.
fs::path modelFile(const fs::path& model) {
    std::error_code ec;
    return fs::is_directory(model, ec) ? model / ModelFiles::kModelFile : model;
}

// A new, empty folder whose name starts with `prefix`, made atomically (no clash with another
// process compiling at the same time).
fs::path makeTemporaryFolder(const fs::path& prefix) {
    std::string pattern = prefix.string() + "XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        throw ModelError("cannot make a folder beside " + prefix.string() + ": " +
                         std::strerror(errno));
    }
    return pattern;
}

// Removes a folder when it goes out of scope, unless released.
class FolderGuard {
  public:
    explicit FolderGuard(fs::path folder) : folder_(std::move(folder)) {}
    ~FolderGuard() {
        if (folder_.empty())
            return;
        std::error_code ec;
        fs::remove_all(folder_, ec);
    }
    FolderGuard(const FolderGuard&) = delete;
    FolderGuard& operator=(const FolderGuard&) = delete;
    void release() { folder_.clear(); }

  private:
    fs::path folder_;
};

class TorchRunner final : public ModelRunner {
  public:
    explicit TorchRunner(torch::jit::Module module) : module_(std::move(module)) {}

    // A dropped model's weights are large; hand the freed pages back to the system at once.
    ~TorchRunner() override {
        module_ = torch::jit::Module();
        malloc_trim(0);
    }
    TorchRunner(const TorchRunner&) = delete;
    TorchRunner& operator=(const TorchRunner&) = delete;

    ModelOutputs predict(const ModelInput& input) const override {
        constexpr auto rows = static_cast<std::int64_t>(ModelInput::kRows);
        constexpr auto tokens = static_cast<std::int64_t>(ModelInput::kTokens);
        const std::size_t size = ModelInput::kRows * ModelInput::kTokens;
        if (input.inputIds.size() != size || input.attentionMask.size() != size) {
            throw ModelError("the model takes 24 x 128 token ids and mask values");
        }
        const std::lock_guard guard(mutex_);
        try {
            const c10::InferenceMode inference;
            const auto batch = [&](const std::vector<std::int32_t>& values) {
                torch::Tensor t = torch::empty({rows, tokens}, torch::kInt32);
                std::memcpy(t.data_ptr<std::int32_t>(), values.data(),
                            values.size() * sizeof(std::int32_t));
                return t;
            };
            std::vector<c10::IValue> arguments{batch(input.inputIds), batch(input.attentionMask)};
            return outputsOf(module_.forward(std::move(arguments)));
        } catch (const std::bad_alloc&) {
            throw ModelError("the model ran out of memory");
        } catch (const std::exception& e) {
            throw ModelError("the model failed to predict: " + reason(e));
        }
    }

  private:
    // Named tensors of a dictionary answer, as doubles. An answer of any other kind has no
    // named outputs at all, which the caller treats as outputs missing.
    static ModelOutputs outputsOf(const c10::IValue& answer) {
        ModelOutputs outputs;
        if (!answer.isGenericDict())
            return outputs;
        for (const auto& entry : answer.toGenericDict()) {
            if (!entry.key().isString() || !entry.value().isTensor())
                continue;
            const torch::Tensor t = entry.value().toTensor().to(torch::kDouble).contiguous();
            ModelArray array;
            array.shape.assign(t.sizes().begin(), t.sizes().end());
            const double* data = t.data_ptr<double>();
            array.values.assign(data, data + t.numel());
            outputs.insert_or_assign(entry.key().toStringRef(), std::move(array));
        }
        return outputs;
    }

    mutable std::mutex mutex_;
    mutable torch::jit::Module module_;
};

std::unique_ptr<ModelRunner> loadCompiled(const fs::path& folder) {
    const fs::path file = modelFile(folder);
    std::error_code ec;
    if (!fs::is_regular_file(file, ec))
        throw ModelError("no model file at " + file.string());
    try {
        torch::jit::Module module = torch::jit::load(file.string());
        module.eval();
        return std::make_unique<TorchRunner>(std::move(module));
    } catch (const std::exception& e) {
        throw ModelError("the model at " + file.string() + " cannot be loaded: " + reason(e));
    }
}

class TorchModelRuntime final : public ModelRuntime {
  public:
    std::unique_ptr<ModelRunner> load(const fs::path& model) const override {
        if (model.extension() == ModelFiles::kCompiledExtension)
            return loadCompiled(model);
        std::error_code ec;
        const fs::path scratch =
            makeTemporaryFolder(fs::temp_directory_path(ec) / "murmlark-ovra-model-");
        const FolderGuard cleanup(scratch);
        const fs::path compiled = scratch / "OvraClassifier.mlmodelc";
        compile(model, compiled);
        // Loaded into memory, the compiled files are no longer needed.
        return loadCompiled(compiled);
    }

    void compile(const fs::path& package, const fs::path& compiled) const override {
        const fs::path source = modelFile(package);
        std::error_code ec;
        if (!fs::is_regular_file(source, ec)) {
            throw ModelError("no model file at " + source.string());
        }
        // The optimised form first; optimisation may bring in operators that do not survive a
        // save and reload everywhere, so the plain frozen form is kept as the fallback.
        std::vector<torch::jit::Module> forms;
        try {
            torch::jit::Module module = torch::jit::load(source.string());
            module.eval();
            forms.push_back(torch::jit::freeze(module));
        } catch (const std::exception& e) {
            throw ModelError("the model at " + source.string() +
                             " cannot be compiled: " + reason(e));
        }
        try {
            forms.insert(forms.begin(), torch::jit::optimize_for_inference(forms.front()));
        } catch (const std::exception&) {
            // Not every model can be optimised; the frozen form still serves.
        }

        const fs::path parent = compiled.has_parent_path() ? compiled.parent_path() : ".";
        fs::create_directories(parent, ec);
        for (std::size_t i = 0; i < forms.size(); ++i) {
            try {
                install(forms[i], parent, compiled);
                return;
            } catch (const ModelError&) {
                if (i + 1 == forms.size())
                    throw;
            }
        }
    }

  private:
    // Saves one form into a new folder beside `compiled`, tests it there with a prediction of
    // filler rows, and only then puts it in place of `compiled`.
    static void install(torch::jit::Module& form, const fs::path& parent,
                        const fs::path& compiled) {
        const fs::path staging =
            makeTemporaryFolder(parent / ("." + compiled.filename().string() + ".compiling-"));
        FolderGuard cleanup(staging);
        try {
            form.save((staging / ModelFiles::kModelFile).string());
        } catch (const std::exception& e) {
            throw ModelError("the compiled model cannot be saved: " + reason(e));
        }

        const auto runner = loadCompiled(staging);
        const ModelOutputs outputs = runner->predict(ModelInterface::fillerBatch(0));
        if (const auto problem = ModelInterface::problem(outputs)) {
            throw ModelError("the compiled model cannot be used: " + *problem);
        }

        std::error_code ec;
        fs::remove_all(compiled, ec);
        fs::rename(staging, compiled, ec);
        if (ec) {
            throw ModelError("the compiled model cannot be moved to " + compiled.string() + ": " +
                             ec.message());
        }
        cleanup.release();
    }
};

}  // namespace

}  // namespace ovra

// The one symbol the module exports for the app; the app's own code in it stays hidden.
extern "C" __attribute__((visibility("default"))) void ovra_make_torch_model_runtime_v1(
    std::unique_ptr<ovra::ModelRuntime>& runtime) {
    static_assert(
        std::is_same_v<decltype(&ovra_make_torch_model_runtime_v1), ovra::modelmodule::EntryPoint>);
    runtime = std::make_unique<ovra::TorchModelRuntime>();
}
