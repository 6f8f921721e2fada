#include "app/maintenance/Uninstaller.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <fstream>
#include <iostream>
#include <memory>
#include <utility>

#include "app/maintenance/InstallListing.h"
#include "app/maintenance/InstallMarker.h"
#include "app/maintenance/UninstallerFiles.h"
#include "app/model/SetupLog.h"
#include "core/OvraText.h"
#include "core/WorkerProtocol.h"
#include "platform/defaults/JsonFileDefaults.h"
#include "platform/log/Log.h"
#include "platform/trash/Trash.h"

namespace ovra {

namespace fs = std::filesystem;

namespace {

constexpr std::array<std::string_view, 2> kModelFolders = {
    "models--f03b9d2--vorn-mlx", "models--f03b9d2--vorn-multilingual-mlx"};

// More lines than an install ever writes outside its prefix.
constexpr std::size_t kMaxListed = 16;
constexpr std::uintmax_t kMaxListBytes = 64 * 1024;

// What an install of ours writes outside its prefix, relative to the XDG data folder.
constexpr std::array<std::string_view, 2> kWrittenOutside = {
    "applications/murmlark-ovra.desktop", "icons/hicolor/256x256/apps/murmlark-ovra.png"};

// Flags that run a self-test or the press test beside the app.
constexpr std::array<std::string_view, 5> kSelfTestFlags = {
    "--find-test", "--scroll-test", "--overlay-snapshot", "--keyboard-test", "--press-test"};

bool isThere(const fs::path& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

bool isFolder(const fs::path& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Deletes a folder entry by entry, deepest first, going on past what cannot be deleted; a
// link is deleted, never followed.
void removeTree(const fs::path& folder) {
    std::vector<fs::path> entries;
    std::error_code error;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied,
                                        error);
    for (const fs::recursive_directory_iterator end; !error && it != end; it.increment(error)) {
        entries.push_back(it->path());
    }
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        if (isFolder(*entry)) {
            ::rmdir(entry->c_str());
        } else {
            ::unlink(entry->c_str());
        }
    }
    ::rmdir(folder.c_str());
}

void remove(const Uninstaller::Location& location) {
    if (!isFolder(location.path)) {
        ::unlink(location.path.c_str());
    } else if (location.folder) {
        removeTree(location.path);
    }
}

}  // namespace

Uninstaller::Uninstaller(Places places, Services services, bool launchedForSelfTest)
    : places_(std::move(places)),
      services_(std::move(services)),
      selfTestLaunch_(launchedForSelfTest) {}

fs::path Uninstaller::runningPrefix() {
    std::error_code error;
    const fs::path executable = fs::read_symlink("/proc/self/exe", error);
    return error ? fs::path() : executable.parent_path().parent_path();
}

std::vector<fs::path> Uninstaller::installedOutside(const fs::path& prefix,
                                                    const paths::Environment& env) {
    std::vector<fs::path> files;
    const fs::path listed = InstallListing::outsideFile(prefix);
    std::error_code error;
    if (fs::file_size(listed, error) > kMaxListBytes || error) {
        return files;
    }
    // The data folder as it is now, and as it is when XDG_DATA_HOME is not set.
    const fs::path dataHomes[] = {paths::dataHome(env), paths::home(env) / ".local" / "share"};
    std::ifstream list(listed);
    for (std::string line; files.size() < kMaxListed && std::getline(list, line);) {
        const fs::path file = fs::path(line).lexically_normal();
        for (const auto& data : dataHomes) {
            const bool written = std::any_of(
                kWrittenOutside.begin(), kWrittenOutside.end(),
                [&](std::string_view name) { return file == (data / name).lexically_normal(); });
            if (written && file.is_absolute()) {
                files.push_back(file);
                break;
            }
        }
    }
    return files;
}

bool Uninstaller::isSelfTestLaunch(const std::vector<std::string>& arguments) {
    return std::any_of(arguments.begin(), arguments.end(), [](const std::string& argument) {
        return std::find(kSelfTestFlags.begin(), kSelfTestFlags.end(), argument) !=
               kSelfTestFlags.end();
    });
}

bool Uninstaller::isValidAppID(std::string_view id) {
    return !id.empty() && id != "." && id.find('/') == std::string_view::npos &&
           id.find("..") == std::string_view::npos && id.find('\0') == std::string_view::npos;
}

std::vector<fs::path> Uninstaller::modelLocations() const {
    const fs::path hub = paths::home(places_.env) / ".cache" / "huggingface" / "hub";
    return {hub / kModelFolders[0], hub / kModelFolders[1]};
}

std::vector<fs::path> Uninstaller::appItems() const {
    const fs::path& prefix = places_.prefix;
    if (prefix.empty() || !InstallMarker::read(prefix)) {
        return {};
    }
    using Refusal = InstallMarker::Refusal;
    const auto refusal = InstallMarker::selfUpdateRefusal(prefix, paths::home(places_.env));
    if (!refusal) {
        return {prefix.lexically_normal()};
    }
    if (*refusal != Refusal::notOwnPrefix && *refusal != Refusal::sharedFolder &&
        *refusal != Refusal::sharedWithOthers) {
        return {};
    }
    // A prefix shared with other software ("~/.local", "/opt"): only our own entries in it that
    // the user may move, and nothing at all when the prefix is the root folder.
    if (prefix.lexically_normal() == prefix.root_path()) {
        return {};
    }
    // The folders named after the app are its own whole; other listed files go one by one.
    const fs::path share = InstallMarker::file(prefix).parent_path().lexically_normal();
    const fs::path lib = (prefix / "lib" / share.filename()).lexically_normal();
    std::vector<fs::path> own = {InstallMarker::executable(prefix).lexically_normal(), share, lib};
    for (const auto& listed : InstallListing::read(prefix).value_or(std::vector<fs::path>{})) {
        const fs::path file = (prefix / listed).lexically_normal();
        if (!UninstallerFiles::isInside(file, share) && !UninstallerFiles::isInside(file, lib) &&
            std::find(own.begin(), own.end(), file) == own.end()) {
            own.push_back(file);
        }
    }
    std::vector<fs::path> items;
    for (const auto& entry : own) {
        if (isThere(entry) && ::access(entry.parent_path().c_str(), W_OK) == 0) {
            items.push_back(entry);
        }
    }
    return items;
}

std::vector<Uninstaller::Location> Uninstaller::ownLocations() const {
    const auto& env = places_.env;
    std::vector<Location> out = {{paths::supportFolder(env)}, {paths::setupLog(env).parent_path()}};
    if (isValidAppID(places_.appID)) {
        out.push_back({paths::cacheHome(env) / places_.appID});
    }
    out.push_back({DefaultsFiles::file(DefaultsFiles::kAppDomain, env).parent_path()});
    if (auto runtime = env("XDG_RUNTIME_DIR"); runtime && runtime->starts_with('/')) {
        out.push_back(
            {fs::path(*runtime) / fs::path(WorkerProtocol::socketPath).filename(), false});
    }
    return out;
}

std::vector<Uninstaller::Location> Uninstaller::desktopLocations(
    const std::vector<fs::path>& app) const {
    std::vector<Location> out;
    const auto files = places_.desktopFiles ? *places_.desktopFiles
                                            : installedOutside(places_.prefix, places_.env);
    for (const auto& file : files) {
        const bool trashedWithApp = std::any_of(app.begin(), app.end(), [&](const fs::path& item) {
            return UninstallerFiles::isInside(file, item);
        });
        if (file.is_absolute() && !trashedWithApp) {
            out.push_back({file.lexically_normal(), false});
        }
    }
    return out;
}

std::vector<Uninstaller::Location> Uninstaller::locations() const {
    std::vector<Location> out = ownLocations();
    for (auto& file : desktopLocations(appItems())) {
        out.push_back(std::move(file));
    }
    for (const auto& folder : modelLocations()) {
        out.push_back({folder});
    }
    return out;
}

std::vector<fs::path> Uninstaller::exclusiveModelBlobs() const {
    const auto models = modelLocations();
    return UninstallerFiles::exclusiveModelBlobs(models.front().parent_path(), models);
}

std::vector<UninstallerSurvey::Place> Uninstaller::surveyPlaces() const {
    using Found = UninstallerSurvey::Found;
    std::vector<UninstallerSurvey::Place> places;
    const auto folder = [&](const fs::path& path, bool model) {
        places.push_back({shown(path), [path, model] {
                              return Found{UninstallerFiles::usage({path}), model, std::nullopt};
                          }});
    };
    for (const auto& location : ownLocations()) {
        folder(location.path, false);
    }
    const auto self = std::make_shared<const Uninstaller>(*this);
    // The install's own items: they live in the prefix, which a network home may hold too.
    places.push_back({shown(places_.prefix), [self] {
                          const auto app = self->appItems();
                          std::vector<fs::path> files;
                          for (const auto& location : self->desktopLocations(app)) {
                              files.push_back(location.path);
                          }
                          return Found{UninstallerFiles::usage(files), false, !app.empty()};
                      }});
    for (const auto& model : modelLocations()) {
        folder(model, true);
    }
    // The blobs are found through the links in the model folders, in the model-hub cache.
    places.push_back(
        {shown(modelLocations().front().parent_path()), [self] {
             return Found{UninstallerFiles::usage(self->exclusiveModelBlobs()), true, std::nullopt};
         }});
    return places;
}

UninstallerText::Question Uninstaller::question() const {
    return UninstallerText::question(UninstallerSurvey(surveyPlaces(), {}, nullptr).known());
}

bool Uninstaller::confirmAndRemove() {
    UninstallerSurvey survey(surveyPlaces(), services_.offload, services_.scheduler);
    survey.onChange([update = services_.update](const UninstallerText::Known& known) {
        if (update) {
            update(UninstallerText::question(known));
        }
    });
    const bool confirmed =
        services_.confirm && services_.confirm(UninstallerText::question(survey.known()));
    if (refuses()) {
        std::ostream& out = services_.out != nullptr ? *services_.out : std::cout;
        out << "uninstall dialog answered: "
            << (confirmed ? "Remove Everything (dry run, nothing removed)" : "Cancel") << "\n"
            << std::flush;
        return false;
    }
    if (!confirmed) {
        return false;
    }
    removeEverything();
    return true;
}

void Uninstaller::removeEverything(Removed done) {
    if (refuses()) {
        return;
    }
    // From here on nothing writes a setting or a log line, also while the model stops.
    if (services_.freezeSettings) {
        services_.freezeSettings();
    }
    SetupLog::freezeAll();
    if (services_.stopModel) {
        services_.stopModel();
    }
    const auto stopped = services_.modelStopped;
    if (!stopped || stopped() || services_.scheduler == nullptr) {
        if (stopped && !stopped()) {
            log("the model download has not stopped; the app is removed anyway");
        }
        removeFiles(std::move(done));
        return;
    }
    // A download stops at its next step: looked at again until it has, never waited for here.
    Scheduler& scheduler = *services_.scheduler;
    const auto self = std::make_shared<const Uninstaller>(*this);
    const auto token = std::make_shared<Scheduler::Token>(0);
    const double until = scheduler.now() + kModelStopBound;
    *token = scheduler.every(0.02, [self, token, until, &scheduler, done = std::move(done)] {
        const bool hasStopped = self->services_.modelStopped();
        if (!hasStopped && scheduler.now() < until) {
            return;
        }
        scheduler.cancel(*token);
        if (!hasStopped) {
            self->log("the model download did not stop in time; the app is removed anyway");
        }
        self->removeFiles(done);
    });
}

void Uninstaller::removeFiles(Removed done) const {
    const auto self = std::make_shared<const Uninstaller>(*this);
    const auto remaining = std::make_shared<std::vector<UninstallerText::Remaining>>();
    auto work = [self, remaining] {
        // The links inside the model folders name the blobs: read them before anything goes.
        const auto blobs = self->exclusiveModelBlobs();
        const auto targets = self->locations();
        const auto app = self->appItems();
        for (const auto& location : targets) {
            remove(location);
        }
        for (const auto& blob : blobs) {
            ::unlink(blob.c_str());
        }
        std::vector<fs::path> left;
        for (const auto& location : targets) {
            left.push_back(location.path);
        }
        left.insert(left.end(), blobs.begin(), blobs.end());
        for (const auto& path : left) {
            if (isThere(path)) {
                remaining->push_back({self->shown(path), ""});
            }
        }
        for (const auto& item : app) {
            auto moved = trash::moveToTrash(item, self->services_.now(), self->places_.env);
            if (!moved) {
                remaining->push_back(
                    {self->shown(item),
                     OvraText::f("it could not be moved to the Trash: %@", {moved.error()})});
            }
        }
    };
    auto then = [self, remaining, done = std::move(done)] {
        if (!remaining->empty() && self->services_.showFailure) {
            self->services_.showFailure(UninstallerText::failure(*remaining));
        }
        if (self->services_.quit) {
            self->services_.quit();
        }
        if (done) {
            done(*remaining);
        }
    };
    if (services_.offload) {
        // Whichever comes first, the worker's end or the bound, ends the removal; the other
        // then does nothing (a message shown after the quit would hold the app up).
        const auto ended = std::make_shared<bool>(false);
        Scheduler* scheduler = services_.scheduler;
        const auto bound = std::make_shared<Scheduler::Token>(0);
        if (scheduler != nullptr) {
            *bound = scheduler->after(kQuitBound, [self, ended] {
                if (std::exchange(*ended, true)) {
                    return;
                }
                self->log(
                    "the files are still being removed or moved to the Trash; the app "
                    "quits anyway");
                if (self->services_.quit) {
                    self->services_.quit();
                }
            });
        }
        services_.offload(std::move(work), [ended, bound, scheduler, then = std::move(then)] {
            if (std::exchange(*ended, true)) {
                return;
            }
            if (scheduler != nullptr) {
                scheduler->cancel(*bound);
            }
            then();
        });
    } else {
        work();
        then();
    }
}

void Uninstaller::log(const std::string& line) const {
    if (services_.log) {
        services_.log(line);
    } else {
        logs::info(logs::Category::maintenance, line);
    }
}

std::string Uninstaller::shown(const fs::path& path) const {
    return paths::displayPath(path, places_.env);
}

}  // namespace ovra
