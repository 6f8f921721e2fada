#include "tools/release/ReleasePack.h"

#include <archive.h>
#include <archive_entry.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <vector>

#include "app/maintenance/InstallListing.h"
#include "app/maintenance/InstallMarker.h"
#include "core/Json.h"
#include "core/Updates.h"
#include "platform/crypto/Sha256.h"

namespace ovra::release {

namespace fs = std::filesystem;

namespace {

struct WriteFree {
    void operator()(struct archive* a) const { archive_write_free(a); }
};
struct EntryFree {
    void operator()(archive_entry* e) const { archive_entry_free(e); }
};

std::string readAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool writeFile(const fs::path& file, const std::string& text) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << text;
    return static_cast<bool>(out.flush());
}

bool addEntry(struct archive* a, const std::string& name, bool folder, bool executable,
              const std::string& content) {
    const std::unique_ptr<archive_entry, EntryFree> e(archive_entry_new());
    archive_entry_set_pathname(e.get(), name.c_str());
    archive_entry_set_filetype(e.get(), folder ? AE_IFDIR : AE_IFREG);
    archive_entry_set_perm(e.get(), folder || executable ? 0755 : 0644);
    archive_entry_set_size(e.get(), folder ? 0 : static_cast<la_int64_t>(content.size()));
    archive_entry_set_mtime(e.get(), 0, 0);
    if (archive_write_header(a, e.get()) != ARCHIVE_OK)
        return false;
    return content.empty() || archive_write_data(a, content.data(), content.size()) ==
                                  static_cast<la_ssize_t>(content.size());
}

}  // namespace

Result<bool> packLayout(const fs::path& layout, const fs::path& archivePath) {
    struct stat st {};
    const fs::path exe = InstallMarker::executable(layout);
    if (::stat(exe.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || (st.st_mode & S_IXUSR) == 0)
        return fail(layout.string() + " holds no executable " +
                    std::string(InstallMarker::kExecutable));
    std::vector<fs::path> entries;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(layout, ec), end; !ec && it != end; it.increment(ec)) {
        const auto type = it->symlink_status().type();
        if (type != fs::file_type::regular && type != fs::file_type::directory)
            return fail(it->path().string() + " is neither a file nor a folder");
        entries.push_back(it->path().lexically_relative(layout));
    }
    if (ec)
        return fail("cannot read " + layout.string() + ": " + ec.message());
    // The marker and the listing are written below for the release; what the install wrote for
    // its own machine (the desktop file naming the layout's path) is never shipped.
    const fs::path marker = InstallMarker::file(".").lexically_normal();
    std::erase_if(entries, [&](const fs::path& entry) {
        const auto& own = InstallListing::kInstallSpecific;
        return entry == marker || entry == InstallListing::relativeFile() ||
               std::find(own.begin(), own.end(), entry.string()) != own.end();
    });
    std::vector<fs::path> listed{marker};
    std::set<fs::path> needed;  // folders on the way to a file
    for (const auto& entry : entries) {
        if (fs::is_directory(fs::symlink_status(layout / entry)))
            continue;
        listed.push_back(entry);
        for (fs::path folder = entry.parent_path(); !folder.empty(); folder = folder.parent_path())
            needed.insert(folder);
    }
    std::erase_if(entries, [&](const fs::path& entry) {
        return fs::is_directory(fs::symlink_status(layout / entry)) && !needed.contains(entry);
    });
    std::sort(entries.begin(), entries.end());

    const std::unique_ptr<struct archive, WriteFree> a(archive_write_new());
    archive_write_set_format_pax_restricted(a.get());
    archive_write_add_filter_gzip(a.get());
    if (archive_write_open_filename(a.get(), archivePath.c_str()) != ARCHIVE_OK)
        return fail("cannot write " + archivePath.string());
    for (const auto& name : entries) {
        const fs::path full = layout / name;
        const bool folder = fs::is_directory(fs::symlink_status(full));
        const bool executable =
            !folder && (fs::status(full).permissions() & fs::perms::owner_exec) != fs::perms::none;
        if (!addEntry(a.get(), name.string(), folder, executable, folder ? "" : readAll(full)))
            return fail("cannot write " + archivePath.string() + ": " +
                        archive_error_string(a.get()));
    }
    if (!addEntry(a.get(), marker.string(), false, false, InstallMarker::text(true)) ||
        !addEntry(a.get(), InstallListing::relativeFile().string(), false, false,
                  InstallListing::text(listed)) ||
        archive_write_close(a.get()) != ARCHIVE_OK) {
        return fail("cannot write " + archivePath.string());
    }
    return true;
}

Result<std::string> signArchive(const fs::path& archivePath, const std::string& version,
                                const std::string& platform, const crypto::Ed25519PrivateKey& key) {
    std::error_code ec;
    const auto size = fs::file_size(archivePath, ec);
    const auto digest = crypto::sha256OfFile(archivePath);
    if (ec || !digest)
        return fail("cannot read " + archivePath.string());
    const Statement statement{std::string(OvraUpdates::bundleID), version, platform, size, *digest};
    return signatureFile(statement, key.sign(statement.text()));
}

Result<Packed> packRelease(const PackRequest& request, const crypto::Ed25519PrivateKey& key) {
    if (!OvraUpdates::isValidVersion(request.version))
        return fail("the version must be numbers joined by dots, such as 1.4.2");
    if (!request.baseURL.starts_with("https://") && !request.baseURL.starts_with("http://"))
        return fail("the base address must be an https address");
    std::error_code ec;
    fs::create_directories(request.outFolder, ec);
    const std::string name = archiveName(request.version, request.platform);
    const Packed out{request.outFolder / name, request.outFolder / (name + ".sig"),
                     request.outFolder / "version.json"};
    if (auto packed = packLayout(request.layout, out.archive); !packed)
        return fail(packed.error());
    const auto signature = signArchive(out.archive, request.version, request.platform, key);
    if (!signature)
        return fail(signature.error());
    Json manifest = {{"version", request.version}, {"url", request.baseURL + "/" + name}};
    if (request.notes)
        manifest["notes"] = *request.notes;
    if (request.critical)
        manifest["critical"] = true;
    if (!writeFile(out.signature, *signature) ||
        !writeFile(out.manifest, json::dump(manifest, 2) + "\n")) {
        return fail("cannot write into " + request.outFolder.string());
    }
    return out;
}

}  // namespace ovra::release
