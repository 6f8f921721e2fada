#pragma once

// The slow half of an update, run away from the main thread: fetches a release's signature
// file and archive, proves them (signature by a pinned key, statement fields equal to what the
// manifest announced, exact size, SHA-256) before unpacking a byte, then unpacks the archive
// safely into a staging folder beside the install prefix, where one rename can put it in place.
// Nothing is left behind on failure.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/Result.h"
#include "core/Updates.h"
#include "platform/crypto/Ed25519.h"
#include "platform/download/Downloader.h"

namespace ovra::update {

// Time-outs and no redirects for every request of the updater: the update host answers
// directly, so a redirect is a fault (and could lead off https). `stallSeconds` without a byte,
// or `deadlineSeconds` for the whole request, end it.
download::Options networkOptions(std::int64_t maxBytes, double stallSeconds,
                                 double deadlineSeconds);

struct PackageRequest {
    std::string archiveURL;
    std::string version;  // as the manifest announced it
    std::filesystem::path prefix;
    std::vector<crypto::Ed25519PublicKey> keys;
    std::string platform;
    std::shared_ptr<download::Downloader> downloader;
    double stallSeconds = 60;
    double deadlineSeconds = 3600;  // for each of the signature and the archive
    std::uint64_t maxArchiveBytes = std::uint64_t{1} << 30U;
};

struct Staged {
    std::filesystem::path work;  // the staging folder, removed once it is no longer needed
    std::filesystem::path root;  // inside it: the verified new prefix
    std::string version;
};

// Fails with the reason, for the log; the user is told only that the download failed.
Result<Staged> downloadAndVerify(const PackageRequest& request, const std::atomic<bool>& cancel);

// The manifest at `url`, or the reason it could not be had.
Result<OvraUpdates::Manifest> fetchManifest(download::Downloader& downloader,
                                            const std::string& url, double deadlineSeconds,
                                            const std::atomic<bool>& cancel);

// Staging folders of `prefix` live beside it and are named ".<prefix name>.update-XXXXXX".
bool isStagingFolderOf(const std::filesystem::path& folder, const std::filesystem::path& prefix);
// Removes every staging folder of `prefix`: downloads cut short and the previous version kept
// until this one started. Errors are ignored.
void sweepStagingFolders(const std::filesystem::path& prefix);

}  // namespace ovra::update
