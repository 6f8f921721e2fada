#include "app/model/StandardServices.h"

#include "app/model/ClassifierLoading.h"
#include "core/WorkerLayout.h"
#include "platform/memory/LinuxMemoryPressureSource.h"
#include "platform/paths/Paths.h"

namespace ovra::supervisor {

EngineInstaller::CompileStep compileStep(std::shared_ptr<const ModelRuntime> runtime) {
    return [runtime](const std::filesystem::path& folder) -> std::optional<std::string> {
        const auto package = folder / std::string(WorkerLayout::kModelPackage);
        try {
            runtime->compile(package, folder / std::string(WorkerLayout::kCompiledModel));
        } catch (const std::exception& error) {
            return errorTypeName(error) + ": " + error.what();
        }
        std::error_code ignored;
        std::filesystem::remove_all(package, ignored);
        return std::nullopt;
    };
}

ModelSupervisor::Services standardServices(Executor& executor,
                                           std::shared_ptr<const ModelRuntime> runtime,
                                           std::function<bool()> downloadMultilingual,
                                           const std::optional<std::string>& engineBaseURL) {
    EngineInstaller::Config config = EngineInstaller::standardConfig(engineBaseURL);
    config.downloader = download::makeDownloader();
    config.compile = compileStep(runtime);
    const auto manifestFile = config.manifestFile;
    auto log = std::make_shared<SetupLog>(config.logFile);

    ModelSupervisor::Services s;
    s.executor = &executor;
    s.installer = std::make_unique<EngineInstallerFacade>(
        std::make_unique<EngineInstaller>(std::move(config)));
    s.loadClassifier = ovraClassifierLoader(std::move(runtime));
    s.pressureSource = std::make_unique<memory::LinuxMemoryPressureSource>();
    s.manifest = [manifestFile] { return readManifest(manifestFile); };
    s.downloadMultilingual = std::move(downloadMultilingual);
    s.log = [log](const std::string& line) { log->write(line); };
    s.supportFolder = paths::supportFolder();
    s.logDisplayPath = paths::displayPath(paths::setupLog());
    return s;
}

}  // namespace ovra::supervisor
