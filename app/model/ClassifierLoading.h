#pragma once

// How the app loads its classifier: the model through the model runtime, the tokenizer beside
// it, behind the supervisor's classifier interface. Also reads the shipped engine manifest.

#include <filesystem>
#include <memory>
#include <optional>

#include "app/model/SupervisorServices.h"
#include "core/EngineManifest.h"
#include "platform/model/ModelRuntime.h"

namespace ovra::supervisor {

// Loads an OvraClassifier with runtime; the runtime must outlive every load.
ClassifierLoader ovraClassifierLoader(std::shared_ptr<const ModelRuntime> runtime);

// The engine manifest in file, or none when it is missing, too large or does not decode.
std::optional<EngineManifest> readManifest(const std::filesystem::path& file);

}  // namespace ovra::supervisor
