#pragma once

// The supervisor's services on this computer: the engine installer with the user's folders, the
// downloader and the model runtime's compile step, the classifier loader, the memory-pressure
// source, the shipped manifest and the setup log.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/model/EngineInstaller.h"
#include "app/model/ModelSupervisor.h"
#include "platform/model/ModelRuntime.h"

namespace ovra::supervisor {

// Prepares an unpacked model folder: compiles its package into the compiled model through
// runtime (which test-loads it), then deletes the package. Gives "ModelError: reason" when that
// fails.
EngineInstaller::CompileStep compileStep(std::shared_ptr<const ModelRuntime> runtime);

// downloadMultilingual reads the user's setting; engineBaseURL is the "engineBaseURL" setting.
ModelSupervisor::Services standardServices(Executor& executor,
                                           std::shared_ptr<const ModelRuntime> runtime,
                                           std::function<bool()> downloadMultilingual,
                                           const std::optional<std::string>& engineBaseURL);

}  // namespace ovra::supervisor
