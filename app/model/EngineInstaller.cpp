#include "app/model/EngineInstaller.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>

#include "core/OvraText.h"
#include "core/WorkerLayout.h"
#include "platform/archive/SafeExtract.h"
#include "platform/crypto/Sha256.h"
#include "platform/io/Uninterrupted.h"

namespace ovra {

namespace fs = std::filesystem;

namespace {

constexpr std::uintmax_t kMaxManifestBytes = 1U << 20U;

// Unpacked data may be larger than the archive; anything past this is a decompression bomb.
std::uint64_t unpackLimit(std::int64_t archiveBytes) {
    const auto bytes = static_cast<std::uint64_t>(std::max<std::int64_t>(archiveBytes, 0));
    constexpr std::uint64_t kFloor = std::uint64_t{256} << 20U;
    constexpr std::uint64_t kCeiling = std::uint64_t{64} << 30U;
    if (bytes > kCeiling / 8)
        return kCeiling;
    return std::max(kFloor, bytes * 8);
}

std::int64_t saturatingAdd(std::int64_t a, std::int64_t b) {
    if (b > std::numeric_limits<std::int64_t>::max() - a) {
        return std::numeric_limits<std::int64_t>::max();
    }
    return a + b;
}

// Appends source to the end of target in 4 MiB chunks; the reason on failure.
std::optional<std::string> append(const fs::path& source, const fs::path& target) {
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return "could not open " + source.string() + ": " + std::strerror(errno);
    const int out = ::open(target.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (out < 0) {
        const std::string why = std::strerror(errno);
        ::close(in);
        return "could not open " + target.string() + ": " + why;
    }
    std::vector<char> buffer(4U << 20U);
    std::optional<std::string> failure;
    while (!failure) {
        const ssize_t n = io::readSome(in, buffer.data(), buffer.size());
        if (n < 0) {
            failure = "could not read " + source.string() + ": " + std::strerror(errno);
            break;
        }
        if (n == 0)
            break;
        if (!io::writeAll(out, buffer.data(), static_cast<std::size_t>(n)))
            failure = "could not write " + target.string() + ": " + std::strerror(errno);
    }
    ::close(in);
    if (::close(out) != 0 && !failure) {
        failure = "could not write " + target.string() + ": " + std::strerror(errno);
    }
    return failure;
}

}  // namespace

std::vector<std::string> EngineInstaller::bases(const paths::Environment& env,
                                                const std::optional<std::string>& engineBaseURL) {
    std::vector<std::string> out;
    if (auto fromEnv = env("OVRA_ENGINE_BASE_URL"))
        out.push_back(*fromEnv);
    if (engineBaseURL)
        out.push_back(*engineBaseURL);
    out.emplace_back(kBuiltInBase);
    return out;
}

EngineInstaller::Config EngineInstaller::standardConfig(
    const std::optional<std::string>& engineBaseURL) {
    Config c;
    c.manifestFile = paths::resourceFolder() / "engine-manifest.json";
    c.supportFolder = paths::supportFolder();
    c.logFile = paths::setupLog();
    c.bases = bases(paths::processEnvironment, engineBaseURL);
    return c;
}

EngineInstaller::EngineInstaller(Config config)
    : config_(std::move(config)), log_(config_.logFile) {}

void EngineInstaller::releaseWorker() {
    if (!worker_.joinable())
        return;
    // From inside `finished` the worker is the calling thread: it ends right after the call and
    // touches nothing of this installer any more, so it is let go instead of joined.
    if (worker_.get_id() == std::this_thread::get_id()) {
        worker_.detach();
    } else {
        worker_.join();
    }
}

EngineInstaller::~EngineInstaller() {
    closing_ = true;
    cancel();
    std::lock_guard lock(workerMutex_);
    cancel();  // again: a `finished` that was starting the next install has reset the flag
    releaseWorker();
}

bool EngineInstaller::install(const std::vector<std::string>& models) {
    if (running_.exchange(true))
        return false;
    cancel_ = false;
    const bool ok = run(models);
    running_ = false;
    return ok;
}

bool EngineInstaller::start(const std::vector<std::string>& models,
                            std::function<void(bool)> finished) {
    // Never waits: a start that meets the destructor, or another start, is simply refused.
    std::unique_lock lock(workerMutex_, std::try_to_lock);
    if (!lock.owns_lock() || closing_)
        return false;
    if (running_.exchange(true))
        return false;
    cancel_ = false;
    releaseWorker();  // the previous install has ended, or is ending in its `finished`
    worker_ = std::jthread([this, models, finished = std::move(finished)] {
        const bool ok = run(models);
        running_ = false;
        if (finished)
            finished(ok);
    });
    return true;
}

void EngineInstaller::cancel() {
    cancel_ = true;
}

fs::path EngineInstaller::modelFolder(const std::string& modelID) const {
    return config_.supportFolder / WorkerLayout::kModelsFolder / WorkerLayout::modelFolder(modelID);
}

bool EngineInstaller::modelInstalled(const std::string& modelID) const {
    const fs::path folder = modelFolder(modelID);
    std::error_code ec;
    return fs::exists(folder / WorkerLayout::kCompiledModel, ec) &&
           fs::is_regular_file(folder / WorkerLayout::kTokenizer, ec);
}

fs::path EngineInstaller::incoming() const {
    return config_.supportFolder / WorkerLayout::kIncomingFolder;
}

std::string EngineInstaller::gigabytes(std::uint64_t bytes) {
    char text[64];
    std::snprintf(text, sizeof text, "%.1f GB", static_cast<double>(bytes) / 1e9);
    return text;
}

std::string EngineInstaller::megabytes(std::int64_t bytes) {
    const auto mb = static_cast<std::int64_t>(std::round(static_cast<double>(bytes) / 1e6));
    return OvraText::f("about %lld MB", {mb});
}

bool EngineInstaller::failWith(const std::string& sentence, const std::string& logLine) {
    std::error_code ec;
    fs::remove_all(incoming(), ec);
    stage.set(Stage::failed(sentence));
    log_.write(logLine);
    return false;
}

bool EngineInstaller::cancelled(const std::string& name) {
    return failWith(OvraText::f("Installing %@ was cancelled.", {name}),
                    "install of " + name + " cancelled");
}

bool EngineInstaller::run(const std::vector<std::string>& models) {
    // The download list.
    std::error_code ec;
    const auto manifestSize = fs::file_size(config_.manifestFile, ec);
    std::optional<EngineManifest> manifest;
    std::string whyNot = "no engine-manifest.json in the app";
    if (!ec && manifestSize <= kMaxManifestBytes) {
        std::ifstream in(config_.manifestFile, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        if (in) {
            auto decoded = EngineManifest::decode(text.str());
            if (decoded) {
                manifest = *decoded;
            } else {
                whyNot = "engine-manifest.json does not decode: " + decoded.error();
            }
        }
    } else if (!ec) {
        whyNot = "engine-manifest.json is too large";
    }
    if (!manifest) {
        stage.set(Stage::failed(
            OvraText::t("This copy of Ovra is missing its download list. Please reinstall Ovra.")));
        log_.write(whyNot);
        return false;
    }

    // A requested model that is neither installed nor listed can never be installed.
    for (const auto& id : models) {
        if (!modelInstalled(id) && !manifest->model(id)) {
            stage.set(Stage::failed(
                OvraText::f("This copy of Ovra has no download for %@. Please reinstall Ovra.",
                            {EngineManifest::displayName(id)})));
            log_.write("no download for " + id + " in engine-manifest.json");
            return false;
        }
    }

    const auto files = manifest->toFetch(
        true, models, [this](const std::string& id) { return modelInstalled(id); });
    if (files.empty()) {
        stage.set(Stage::done());
        return true;
    }

    // Room for the archive, its parts and the unpacked model at once.
    std::int64_t total = 0;
    for (const auto& f : files)
        total = saturatingAdd(total, f.bytes);
    const auto totalBytes = static_cast<std::uint64_t>(total);
    const std::uint64_t needed = totalBytes > std::numeric_limits<std::uint64_t>::max() / 5U * 2U
                                     ? std::numeric_limits<std::uint64_t>::max()
                                     : totalBytes / 2U * 5U + totalBytes % 2U * 5U / 2U;
    const fs::path supportParent = config_.supportFolder.parent_path();
    if (const auto available =
            config_.availableSpace ? config_.availableSpace(supportParent) : std::nullopt;
        available && *available < needed) {
        stage.set(Stage::failed(OvraText::f(
            "Ovra needs about %@ of free space to download its on-device model. Free some space, "
            "then try again.",
            {gigabytes(needed)})));
        log_.write("not enough space: " + std::to_string(*available) + " free, " +
                   std::to_string(needed) + " needed");
        return false;
    }

    fs::create_directories(config_.supportFolder / WorkerLayout::kModelsFolder, ec);
    std::int64_t done = 0;
    for (const auto& file : files) {
        if (!installFile(file, done, total))
            return false;
    }
    progress.set(1.0);
    stage.set(Stage::done());
    return true;
}

bool EngineInstaller::fetchPart(const EngineManifest::Part& part, const fs::path& to,
                                const std::string& name, std::int64_t done, std::int64_t total) {
    download::Options options = config_.downloadOptions;
    options.maxBytes = part.bytes;
    const double denominator = static_cast<double>(std::max<std::int64_t>(total, 1));
    const download::Progress onBytes = [this, done, denominator](std::int64_t bytes) {
        const double fraction = static_cast<double>(saturatingAdd(done, bytes)) / denominator;
        progress.set(std::clamp(fraction, 0.0, 1.0));
    };
    std::string tried;
    for (const auto& base : config_.bases) {
        if (!tried.empty())
            tried += ", ";
        tried += base;
        if (!config_.downloader)
            continue;
        // Plain concatenation: a base ending in "/" gives a double slash, as configured.
        const auto outcome =
            config_.downloader->fetch(base + "/" + part.name, to, options, onBytes, cancel_);
        if (outcome.ok())
            return true;
        if (outcome.kind == download::Outcome::Kind::cancelled)
            return cancelled(name);
        log_.write("download error from " + base + ": " + download::describe(outcome, options));
    }
    if (cancel_)
        return cancelled(name);
    return failWith(OvraText::f("Ovra could not download %@. Check the internet connection, then "
                                "try again. Ovra keeps working on its built-in rules meanwhile.",
                                {name}),
                    "download failed for " + part.name + " from " + tried);
}

bool EngineInstaller::installFile(const EngineManifest::File& file, std::int64_t& done,
                                  std::int64_t total) {
    const std::string name = EngineManifest::displayName(file.model);
    const std::string damaged =
        OvraText::f("The download of %@ was damaged. Please try again.", {name});
    const std::string unsaved = OvraText::f(
        "Ovra could not save %@. Check that the disk has free space and can be written, then try "
        "again.",
        {name});
    std::error_code ec;
    stage.set(Stage::working(
        OvraText::f("Downloading %@ (one time, %@)", {name, megabytes(file.bytes)})));

    // Downloads and unpacked entries live apart, so no archive entry can overwrite the archive.
    const fs::path downloads = incoming() / "download";
    const fs::path partsFolder = incoming() / "parts";  // a part can never be the archive
    const fs::path unpackFolder = incoming() / "unpacked";
    fs::remove_all(incoming(), ec);
    fs::create_directories(downloads, ec);
    fs::create_directories(partsFolder, ec);
    fs::create_directories(unpackFolder, ec);
    const fs::path archivePath = downloads / file.name;
    if (const int fd = ::open(archivePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        fd >= 0) {
        ::close(fd);
    } else {
        return failWith(unsaved,
                        "write failed for " + archivePath.string() + ": " + std::strerror(errno));
    }

    for (const auto& part : file.downloads()) {
        const fs::path partPath = partsFolder / (part.name + ".download");
        if (!fetchPart(part, partPath, name, done, total))
            return false;
        done = saturatingAdd(done, part.bytes);
        const auto digest = crypto::sha256OfFile(partPath, &cancel_);
        if (cancel_)
            return cancelled(name);
        if (!digest)
            return failWith(unsaved, "read failed for " + part.name + ": " + digest.error());
        if (*digest != part.sha256)
            return failWith(damaged, "checksum mismatch for " + part.name);
        if (auto why = append(partPath, archivePath)) {
            return failWith(unsaved, "write failed for " + file.name + ": " + *why);
        }
        fs::remove(partPath, ec);
    }

    stage.set(Stage::working(OvraText::f("Checking %@", {name})));
    const auto digest = crypto::sha256OfFile(archivePath, &cancel_);
    if (cancel_)
        return cancelled(name);
    if (!digest)
        return failWith(unsaved, "read failed for " + file.name + ": " + digest.error());
    if (*digest != file.sha256)
        return failWith(damaged, "checksum mismatch for " + file.name);

    stage.set(Stage::working(OvraText::f("Unpacking %@", {name})));
    const auto unpackError = archive::extract(
        archivePath, unpackFolder, archive::compressionFor(file.name),
        archive::Limits{config_.maxArchiveEntries, unpackLimit(file.bytes)}, &cancel_);
    if (unpackError) {
        using Kind = archive::ExtractError::Kind;
        const std::string what = archive::describe(*unpackError);
        switch (unpackError->kind) {
            case Kind::cancelled:
                return cancelled(name);
            case Kind::writeFailed:
                return failWith(unsaved, "unpack failed for " + file.name + ": " + what);
            case Kind::unreadable:
                return failWith(OvraText::f("Ovra could not unpack %@. Please try again.", {name}),
                                "unpack failed for " + file.name + ": " + what);
            case Kind::unsafeEntry:
            case Kind::tooManyEntries:
            case Kind::tooLarge:
                return failWith(
                    OvraText::f("Ovra refused to unpack %@ because it holds files that are not "
                                "allowed. Ovra keeps working on its built-in rules meanwhile.",
                                {name}),
                    "unsafe archive " + file.name + ": " + what);
        }
    }
    fs::remove(archivePath, ec);

    const std::string folderName = WorkerLayout::modelFolder(file.model.value_or(""));
    const fs::path unpacked = unpackFolder / folderName;
    const fs::path target = config_.supportFolder / WorkerLayout::kModelsFolder / folderName;
    const std::string unfinished = OvraText::f("Ovra could not finish installing %@.", {name});
    if (!file.model || !fs::is_directory(fs::symlink_status(unpacked, ec))) {
        return failWith(unfinished, "move failed: " + file.name + " holds no folder " + folderName);
    }

    // Prepared beside the working model, which stays in use until the new one is complete.
    stage.set(Stage::working(OvraText::f("Preparing %@ for this computer", {name})));
    std::optional<std::string> compileError =
        config_.compile ? config_.compile(unpacked)
                        : std::optional<std::string>("no model runtime is available");
    if (cancel_)
        return cancelled(name);
    const std::string wontLoad =
        OvraText::f("The on-device model was downloaded but will not load. Details are in %@.",
                    {paths::displayPath(config_.logFile)});
    if (compileError)
        return failWith(wontLoad, "model will not compile or load: " + *compileError);
    for (const auto required : {WorkerLayout::kCompiledModel, WorkerLayout::kTokenizer}) {
        if (!fs::exists(unpacked / required, ec)) {
            return failWith(wontLoad, "model will not compile or load: " + file.name + " has no " +
                                          std::string(required));
        }
    }

    if (const auto moved = paths::replaceFolder(unpacked, target); !moved) {
        return failWith(unfinished, "move failed: " + moved.error());
    }
    fs::remove_all(incoming(), ec);
    log_.write("installed " + file.name);
    return true;
}

}  // namespace ovra
