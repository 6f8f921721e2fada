#pragma once

// The slow half of an install, run away from the main thread: an install into a prefix that
// holds anything the install did not list changes nothing. Otherwise the new version keeps the
// installed copy's own files (what the install wrote for this machine and prefix) and gets its
// listing, is swapped in place of the running prefix, and must prove it starts (the version
// handshake) before the swap is final; when it does not, the old version is put back.

#include <chrono>
#include <filesystem>
#include <string>

#include "app/maintenance/UpdatePackage.h"
#include "core/Updates.h"
#include "platform/paths/FolderSwap.h"

namespace ovra::update {

struct InstallRequest {
    Staged staged;
    std::filesystem::path prefix;  // the running install
    std::string runningVersion;
    paths::RenameCalls renames = paths::systemRenames();
    std::chrono::milliseconds startTimeout{30000};
};

struct Installed {
    // "ok"; "blocked" when nothing changed; "restored" when the old version is back (or, when
    // it could not go back, where the detail says).
    OvraUpdates::Receipt receipt;
    std::filesystem::path program;  // the version to start next, where it now is
};

Installed installStaged(const InstallRequest& request);

}  // namespace ovra::update
