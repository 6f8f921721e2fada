#pragma once

// Makes a release of Murmlark Ovra from an installed layout (what `cmake --install --prefix DIR`
// puts in DIR): the archive, its signature file and the update manifest that names them.

#include <filesystem>
#include <optional>
#include <string>

#include "app/maintenance/ReleaseStatement.h"
#include "core/Result.h"
#include "platform/crypto/Ed25519.h"

namespace ovra::release {

// Packs the layout as a tar.gz archive: regular files and folders only, in name order, with
// neutral owners and times; the install marker is written so the release can update itself,
// with the listing of the release's files. What `cmake --install` wrote for the layout's own
// prefix (InstallListing::kInstallSpecific) is left out. Fails for links and special files, and
// for a layout without the executable.
Result<bool> packLayout(const std::filesystem::path& layout, const std::filesystem::path& archive);

// The signature file of an archive for `version` on `platform`.
Result<std::string> signArchive(const std::filesystem::path& archive, const std::string& version,
                                const std::string& platform, const crypto::Ed25519PrivateKey& key);

struct PackRequest {
    std::filesystem::path layout;
    std::string version;
    std::string platform = thisPlatform();
    std::filesystem::path outFolder;
    std::string baseURL;  // where the archive will be served, such as https://qeld.ai/ovra
    std::optional<std::string> notes;
    bool critical = false;
};

struct Packed {
    std::filesystem::path archive;
    std::filesystem::path signature;
    std::filesystem::path manifest;  // version.json
};

Result<Packed> packRelease(const PackRequest& request, const crypto::Ed25519PrivateKey& key);

}  // namespace ovra::release
