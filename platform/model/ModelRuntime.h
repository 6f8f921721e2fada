#pragma once

// Loads and compiles the classifier model. Models are TorchScript files run by LibTorch; the
// folder names stay those of the model layout ("OvraClassifier.mlpackage" as delivered,
// "OvraClassifier.mlmodelc" once compiled), each holding one TorchScript file.
//
// Nothing here includes LibTorch: the backend lives in one source file behind this interface,
// built as a module that is opened only once a model is loaded or compiled.

#include <filesystem>
#include <memory>
#include <string_view>

#include "core/ModelRunner.h"

namespace ovra {

namespace ModelFiles {

// The TorchScript file inside a package or compiled model folder.
inline constexpr std::string_view kModelFile = "model.pt";
inline constexpr std::string_view kCompiledExtension = ".mlmodelc";

}  // namespace ModelFiles

class ModelRuntime {
  public:
    virtual ~ModelRuntime() = default;

    // A compiled model folder (name ending ".mlmodelc") is loaded as it is; anything else is
    // taken for a package and compiled into a temporary folder first, then loaded. Throws
    // ModelError with a readable reason.
    virtual std::unique_ptr<ModelRunner> load(const std::filesystem::path& model) const = 0;

    // Prepares a package for fast loading: load, evaluation mode, freeze, save into a new
    // folder beside `compiled`, test-load that with one prediction whose outputs must fit,
    // then put it in place of `compiled`. Throws ModelError; on failure `compiled` is left as
    // it was and nothing else remains.
    virtual void compile(const std::filesystem::path& package,
                         const std::filesystem::path& compiled) const = 0;
};

// The LibTorch backend. Making it opens nothing: its module is opened by the first load or
// compile, and when the module is missing or broken that load or compile throws ModelError.
std::unique_ptr<ModelRuntime> makeTorchModelRuntime();

}  // namespace ovra
