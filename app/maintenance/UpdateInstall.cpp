#include "app/maintenance/UpdateInstall.h"

#include "app/maintenance/InstallListing.h"
#include "app/maintenance/InstallMarker.h"
#include "app/maintenance/VersionHandshake.h"

namespace ovra::update {

namespace fs = std::filesystem;

Installed installStaged(const InstallRequest& request) {
    const Staged& staged = request.staged;
    Installed out{{"ok", staged.version, ""}, InstallMarker::executable(request.prefix)};
    const auto stranded = [&](const fs::path& old) {
        out.receipt.detail += "; Ovra " + request.runningVersion + " is now in " + old.string();
        out.program = InstallMarker::executable(old);
    };
    // The prefix was the app's alone when the download began; another program may have been
    // put in it since (a security fix waits for the app to be idle), and a swap would carry
    // that program away with the old version.
    if (!InstallListing::holdsOnlyListed(request.prefix)) {
        out.receipt = {"blocked", staged.version,
                       request.prefix.string() + " now holds files the install did not put there"};
        return out;
    }
    auto kept = InstallListing::keepInstallSpecific(request.prefix, staged.root);
    if (kept)
        kept = InstallListing::writeFor(staged.root);
    if (!kept) {
        out.receipt = {"blocked", staged.version, kept.error()};
        return out;
    }

    // Whatever happens, the staging folder (then holding the old version, or the new one that
    // did not go in) is removed by the next start.
    const auto swap =
        paths::swapFolders(staged.root, request.prefix, staged.work / "previous", request.renames);
    switch (swap.kind) {
        case paths::FolderSwap::Kind::swapped:
            break;
        case paths::FolderSwap::Kind::blocked:
            out.receipt = {"blocked", staged.version, swap.detail};
            return out;
        case paths::FolderSwap::Kind::restored:
            out.receipt = {"restored", staged.version, swap.detail};
            return out;
        case paths::FolderSwap::Kind::stranded:
            // The old version could not go back in place; it still runs from where it is.
            out.receipt = {"restored", staged.version, swap.detail};
            stranded(swap.old);
            return out;
    }

    const auto failure = startFailure(out.program, staged.version, request.startTimeout);
    if (!failure)
        return out;
    const auto back =
        paths::swapFolders(swap.old, request.prefix, staged.work / "failed", request.renames);
    out.receipt = {"restored", staged.version, *failure};
    if (back.kind != paths::FolderSwap::Kind::swapped) {
        out.receipt.detail += "; " + back.detail;
        stranded(swap.old);
    }
    return out;
}

}  // namespace ovra::update
