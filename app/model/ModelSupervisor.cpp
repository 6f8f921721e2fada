#include "app/model/ModelSupervisor.h"

#include <cxxabi.h>
#include <malloc.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>
#include <system_error>
#include <typeinfo>

#include "app/accessibility/WindowSnapshot.h"
#include "app/model/RetiredFiles.h"
#include "core/OvraText.h"
#include "core/WorkerLayout.h"
#include "platform/paths/Paths.h"

namespace ovra {

namespace supervisor {

std::string errorTypeName(const std::exception& error) {
    const char* mangled = typeid(error).name();
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(
        abi::__cxa_demangle(mangled, nullptr, nullptr, &status), std::free);
    std::string name = status == 0 && demangled ? demangled.get() : mangled;
    const auto scopeEnd = name.find('<');
    const auto lastScope = name.rfind("::", scopeEnd);
    if (lastScope != std::string::npos)
        name.erase(0, lastScope + 2);
    return name;
}

}  // namespace supervisor

namespace {

constexpr const char* kEnglish = "murmlark-ovra/en";
constexpr const char* kMultilingual = "murmlark-ovra/multi";

bool fileExists(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

}  // namespace

ModelSupervisor::ModelSupervisor(Services services)
    : services_(std::move(services)), status_(WorkerStatus::offline(OvraText::t("not started"))) {
    if (!services_.releaseMemory)
        services_.releaseMemory = [] { ::malloc_trim(0); };
    if (!services_.environment)
        services_.environment = paths::processEnvironment;

    // The installer reports from its own thread; views watching the supervisor redraw on the
    // main thread.
    auto hop = mainHop();
    services_.installer->setChangeHandler([hop] { hop([](ModelSupervisor& s) { s.changed(); }); });

    if (services_.pressureSource) {
        services_.pressureSource->start([hop](MemoryPressure level) {
            hop([level](ModelSupervisor& s) { s.pressureChanged(level); });
        });
    }

    if (!services_.removeRetiredLater)
        removeRetiredFiles();
}

ModelSupervisor::~ModelSupervisor() {
    // Late results posted to the main thread find the supervisor gone and are dropped.
    alive_.reset();
    if (services_.pressureSource)
        services_.pressureSource->stop();
    services_.installer->setChangeHandler(nullptr);
}

std::function<void(std::function<void(ModelSupervisor&)>)> ModelSupervisor::mainHop() {
    std::weak_ptr<int> alive = alive_;
    supervisor::Executor* executor = services_.executor;
    return [alive, executor, self = this](std::function<void(ModelSupervisor&)> fn) {
        executor->postToMain([alive, self, fn = std::move(fn)] {
            if (alive.lock())
                fn(*self);
        });
    };
}

// ---- start, load, download ----

void ModelSupervisor::start(const std::string& /*directory*/, const std::string& model) {
    startModel(model, Origin::request);
}

void ModelSupervisor::startModel(const std::string& requested, Origin origin) {
    std::string id = requested;
    if (const auto m = manifest())
        id = m->usableModel(id);

    lastModel_ = id;
    ++generation_;  // whatever was loading or downloading for an earlier start is now stale
    pendingRequest_.reset();
    pausedForMemory_ = false;

    if (const auto files = locate(id, services_.supportFolder, services_.environment)) {
        load(id, *files);
        return;
    }
    if (origin == Origin::afterInstall) {
        // The install said it succeeded, yet the files are not there: downloading again would
        // only repeat that.
        log("model still missing after install: " + id);
        setStatus(WorkerStatus::offline(
            OvraText::f("the on-device model was installed but cannot be found. Details are in %@",
                        {services_.logDisplayPath})));
        return;
    }
    download(id);
}

void ModelSupervisor::load(const std::string& id, const Located& files) {
    setStatus(WorkerStatus::loading());
    const std::uint64_t generation = generation_;
    auto hop = mainHop();
    auto loader = services_.loadClassifier;
    services_.executor->postToWorker([hop, loader, files, generation, id] {
        Result<std::shared_ptr<supervisor::Classifier>> loaded = fail(std::string("unknown error"));
        try {
            auto classifier = loader(files.model, files.tokenizer);
            if (classifier)
                loaded = std::move(classifier);
            else
                loaded = fail(std::string("no classifier"));
        } catch (const std::exception& error) {
            loaded = fail(supervisor::errorTypeName(error));
        } catch (...) {
        }
        hop([generation, id, loaded = std::move(loaded)](ModelSupervisor& s) mutable {
            s.loadFinished(generation, id, std::move(loaded));
        });
    });
}

void ModelSupervisor::loadFinished(std::uint64_t generation, const std::string& id,
                                   Result<std::shared_ptr<supervisor::Classifier>> loaded) {
    if (generation != generation_)
        return;  // stopped or restarted meanwhile
    if (!loaded) {
        log("classifier would not load: " + loaded.error());
        setStatus(WorkerStatus::offline(OvraText::f(
            "the on-device model would not load. Details are in %@", {services_.logDisplayPath})));
        return;
    }
    classifier_ = loaded.value();
    setStatus(WorkerStatus::ready(id));
    // A model that arrives while memory is already critically short is paused at once: the
    // source reports changes only, so no later event would do it.
    if (ModelMemoryPolicy::onPressure(pressure_, true) == ModelMemoryPolicy::Action::pause) {
        pressureChanged(pressure_);
        return;
    }
    fetchMultilingualIfWanted();
}

void ModelSupervisor::download(const std::string& id) {
    if (services_.selfTestLaunch) {
        setStatus(WorkerStatus::offline(OvraText::t("the on-device model is not installed")));
        return;
    }
    auto& installer = *services_.installer;
    if (installer.busy()) {
        // Kept, not dropped: it runs when the running install ends.
        pendingRequest_ = id;
        return;
    }

    std::vector<std::string> models{id};
    if (wantsMultilingual()) {
        const auto m = manifest();
        const std::vector<std::string> ids = m ? m->modelIDs() : std::vector<std::string>{kEnglish};
        if (ids.size() > 1 &&
            std::find(models.begin(), models.end(), kMultilingual) == models.end())
            models.emplace_back(kMultilingual);
    }

    const std::uint64_t generation = generation_;
    auto hop = mainHop();
    const bool started = installer.start(models, [hop, generation, id](bool ok) {
        hop([generation, id, ok](ModelSupervisor& s) { s.installFinished(generation, id, ok); });
    });
    if (!started) {
        pendingRequest_ = id;
        return;
    }
    setStatus(WorkerStatus::offline(OvraText::t(
        "Downloading the on-device model. Ovra uses its built-in rules until it is ready.")));
}

void ModelSupervisor::installFinished(std::uint64_t generation, const std::string& id, bool ok) {
    if (generation != generation_) {
        // Stopped or another model chosen meanwhile: this result is stale.
        runPendingRequest();
        return;
    }
    if (pendingRequest_) {
        runPendingRequest();
        return;
    }
    if (ok) {
        startModel(id, Origin::afterInstall);
        return;
    }
    const auto stage = services_.installer->stage();
    if (stage.kind == supervisor::ModelInstaller::Stage::Kind::failed)
        setStatus(WorkerStatus::offline(stage.text));
}

void ModelSupervisor::runPendingRequest() {
    if (!pendingRequest_)
        return;
    const std::string id = *pendingRequest_;
    pendingRequest_.reset();
    startModel(id, Origin::request);
}

void ModelSupervisor::fetchMultilingualIfWanted() {
    if (!wantsMultilingual() || services_.selfTestLaunch)
        return;
    const auto m = manifest();
    if (!m || !m->model(kMultilingual))
        return;
    if (locate(kMultilingual, services_.supportFolder, services_.environment))
        return;
    auto& installer = *services_.installer;
    if (installer.busy())
        return;
    auto hop = mainHop();
    installer.start({kMultilingual}, [hop](bool) {
        // The result is not shown; a start that waited for this install runs now.
        hop([](ModelSupervisor& s) { s.runPendingRequest(); });
    });
}

// ---- stop, recovery, memory ----

void ModelSupervisor::stop() {
    ++generation_;
    pendingRequest_.reset();
    pausedForMemory_ = false;
    unload();
    setStatus(WorkerStatus::offline(OvraText::t("stopped")));
}

void ModelSupervisor::unload() {
    if (!classifier_)
        return;
    classifier_.reset();
    // Classifications already queued hold their own reference and finish first; the memory is
    // given back after them.
    services_.executor->postToClassifier(services_.releaseMemory);
}

void ModelSupervisor::recoverLostWorker() {
    if (!status_.isReady() || !lastModel_)
        return;
    setStatus(WorkerStatus::offline(OvraText::t("the on-device model stopped; reloading it")));
    unload();
    startModel(*lastModel_, Origin::request);
}

void ModelSupervisor::pressureChanged(MemoryPressure level) {
    pressure_ = level;
    if (ModelMemoryPolicy::onPressure(level, classifier_ != nullptr) !=
        ModelMemoryPolicy::Action::pause)
        return;
    stop();
    setStatus(WorkerStatus::offline(OvraText::t(ModelMemoryPolicy::pausedReason)));
    pausedForMemory_ = true;
}

bool ModelSupervisor::resumeAfterMemoryPause(bool modelWanted) {
    if (ModelMemoryPolicy::onPress(pressure_, pausedForMemory_, modelWanted) !=
            ModelMemoryPolicy::Action::resume ||
        !lastModel_)
        return false;
    pausedForMemory_ = false;
    startModel(*lastModel_, Origin::request);
    return true;
}

// ---- classification ----

void ModelSupervisor::decide(const std::vector<UICandidate>& candidates, const std::string& appName,
                             const std::string& windowTitle, const Rect& window,
                             DecideCompletion completion) {
    auto hop = mainHop();
    if (!classifier_) {
        hop([completion = std::move(completion)](ModelSupervisor&) {
            completion(fail(DecideError{DecideError::Kind::featureUnsupported,
                                        "no on-device model is loaded"}));
        });
        return;
    }
    // The request keeps its own reference: it finishes even if the model is unloaded meanwhile.
    services_.executor->postToClassifier([hop, classifier = classifier_, candidates, appName,
                                          windowTitle, window,
                                          completion = std::move(completion)]() mutable {
        DecideResult result = fail(DecideError{DecideError::Kind::failed, "unknown error"});
        try {
            result = classifier->decide(candidates, appName, windowTitle, window);
        } catch (const std::exception& error) {
            result = fail(DecideError{DecideError::Kind::failed,
                                      supervisor::errorTypeName(error) + ": " + error.what()});
        } catch (...) {
        }
        classifier.reset();
        hop([result = std::move(result), completion = std::move(completion)](
                ModelSupervisor&) mutable { completion(std::move(result)); });
    });
}

void ModelSupervisor::decide(const WindowSnapshot& snapshot, DecideCompletion completion) {
    decide(snapshot.candidates, snapshot.appName, snapshot.windowTitle, snapshot.windowFrame,
           std::move(completion));
}

// ---- status ----

std::string ModelSupervisor::summary() const {
    const auto stage = services_.installer->stage();
    if (stage.kind == supervisor::ModelInstaller::Stage::Kind::working) {
        double progress = services_.installer->progress();
        if (!std::isfinite(progress))
            progress = 0;
        const auto percent =
            static_cast<std::int64_t>(std::lround(std::clamp(progress, 0.0, 1.0) * 100));
        return stage.text + ", " + OvraText::f("%lld%%", {percent});
    }
    return status_.detail();
}

void ModelSupervisor::setStatus(WorkerStatus status) {
    if (status == status_)
        return;
    status_ = std::move(status);
    changed();
}

void ModelSupervisor::changed() {
    if (onChange_)
        onChange_();
}

// ---- files ----

std::optional<ModelSupervisor::Located> ModelSupervisor::locate(
    const std::string& id, const std::filesystem::path& supportFolder,
    const std::function<std::optional<std::string>(const char*)>& environment) {
    const std::string folderName = WorkerLayout::modelFolder(id);
    if (WorkerLayout::isSafeComponent(folderName)) {
        const auto folder = supportFolder / std::string(WorkerLayout::kModelsFolder) / folderName;
        Located installed{folder / std::string(WorkerLayout::kCompiledModel),
                          folder / std::string(WorkerLayout::kTokenizer)};
        if (fileExists(installed.model) && fileExists(installed.tokenizer))
            return installed;
    }
    if (const auto dev = environment ? environment("OVRA_CLASSIFIER_DIR") : std::nullopt;
        dev && !dev->empty()) {
        const std::filesystem::path folder(*dev);
        Located developer{folder / std::string(WorkerLayout::kModelPackage),
                          folder / std::string(WorkerLayout::kTokenizer)};
        if (fileExists(developer.model) && fileExists(developer.tokenizer))
            return developer;
    }
    return std::nullopt;
}

void ModelSupervisor::removeRetiredFiles() {
    if (services_.selfTestLaunch)
        return;
    std::optional<std::set<std::string>> keep;
    if (const auto m = manifest()) {
        keep.emplace();
        for (const auto& id : m->modelIDs())
            keep->insert(WorkerLayout::modelFolder(id));
    }
    auto hop = mainHop();
    services_.executor->postToWorker([hop, base = services_.supportFolder, keep] {
        auto lines = supervisor::removeRetiredEntries(base, keep);
        if (lines.empty())
            return;
        hop([lines = std::move(lines)](ModelSupervisor& s) {
            for (const auto& line : lines)
                s.log(line);
        });
    });
}

std::optional<EngineManifest> ModelSupervisor::manifest() const {
    return services_.manifest ? services_.manifest() : std::nullopt;
}

bool ModelSupervisor::wantsMultilingual() const {
    return services_.downloadMultilingual && services_.downloadMultilingual();
}

void ModelSupervisor::log(const std::string& line) const {
    if (services_.log)
        services_.log(line);
}

}  // namespace ovra
