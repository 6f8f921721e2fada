#include "app/maintenance/UpdatePackage.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "app/maintenance/InstallMarker.h"
#include "app/maintenance/ReleaseStatement.h"
#include "platform/archive/SafeExtract.h"
#include "platform/crypto/Sha256.h"

namespace ovra::update {

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMaxManifestBytes = 64 * 1024;
constexpr double kManifestSeconds = 15;
constexpr std::uint64_t kMaxEntries = 20000;

std::string stagingStem(const fs::path& prefix) {
    return "." + prefix.filename().string() + ".update-";
}

// At most `limit` bytes of the file: the downloads read here were capped already.
std::string readUpTo(const fs::path& file, std::size_t limit) {
    std::ifstream in(file, std::ios::binary);
    std::string text(limit, '\0');
    in.read(text.data(), static_cast<std::streamsize>(limit));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return text;
}

// Unpacked data may be larger than the archive, but not without bound.
std::uint64_t unpackLimit(std::uint64_t archiveBytes) {
    constexpr std::uint64_t kFloor = std::uint64_t{256} << 20U;
    constexpr std::uint64_t kCeiling = std::uint64_t{8} << 30U;
    return std::clamp(archiveBytes > kCeiling / 16 ? kCeiling : archiveBytes * 16, kFloor,
                      kCeiling);
}

// Removes the staging folder when the download does not end in a staged update.
class StagingGuard {
  public:
    explicit StagingGuard(fs::path work) : work_(std::move(work)) {}
    ~StagingGuard() {
        if (!kept_) {
            std::error_code ec;
            fs::remove_all(work_, ec);
        }
    }
    StagingGuard(const StagingGuard&) = delete;
    StagingGuard& operator=(const StagingGuard&) = delete;
    void keep() { kept_ = true; }

  private:
    fs::path work_;
    bool kept_ = false;
};

}  // namespace

download::Options networkOptions(std::int64_t maxBytes, double stallSeconds,
                                 double deadlineSeconds) {
    const auto ms = [](double seconds) {
        return std::chrono::milliseconds(static_cast<std::int64_t>(seconds * 1000));
    };
    download::Options o;
    o.maxBytes = maxBytes;
    o.stallTimeout = ms(stallSeconds);
    o.connectTimeout = o.stallTimeout;
    o.deadline = ms(deadlineSeconds);
    o.maxRedirects = 0;
    return o;
}

Result<OvraUpdates::Manifest> fetchManifest(download::Downloader& downloader,
                                            const std::string& url, double deadlineSeconds,
                                            const std::atomic<bool>& cancel) {
    std::error_code ec;
    fs::path folder = fs::temp_directory_path(ec);
    if (ec)
        folder = "/tmp";
    std::string name = (folder / "ovra-manifest-XXXXXX").string();
    const int fd = ::mkstemp(name.data());
    if (fd < 0)
        return fail(std::string("cannot make a temporary file: ") + std::strerror(errno));
    ::close(fd);
    const auto options = networkOptions(static_cast<std::int64_t>(kMaxManifestBytes),
                                        kManifestSeconds, deadlineSeconds);
    const auto outcome = downloader.fetch(url, name, options, {}, cancel);
    const std::string text = outcome.ok() ? readUpTo(name, kMaxManifestBytes) : std::string();
    ::unlink(name.c_str());
    if (!outcome.ok())
        return fail(url + ": " + download::describe(outcome, options));
    return OvraUpdates::Manifest::decode(text);
}

Result<Staged> downloadAndVerify(const PackageRequest& request, const std::atomic<bool>& cancel) {
    std::string name =
        (request.prefix.parent_path() / (stagingStem(request.prefix) + "XXXXXX")).string();
    if (::mkdtemp(name.data()) == nullptr)
        return fail("cannot make a staging folder: " + std::string(std::strerror(errno)));
    const fs::path work = name;
    StagingGuard guard(work);

    // The statement first: it is small, and it says how many bytes the archive may have.
    const fs::path signatureFile = work / "signature";
    const std::string sigURL = release::signatureURL(request.archiveURL);
    auto options = networkOptions(release::kMaxSignatureFileBytes, request.stallSeconds,
                                  request.deadlineSeconds);
    auto outcome = request.downloader->fetch(sigURL, signatureFile, options, {}, cancel);
    if (!outcome.ok())
        return fail(sigURL + ": " + download::describe(outcome, options));
    const auto parsed =
        release::parseSignatureFile(readUpTo(signatureFile, release::kMaxSignatureFileBytes));
    if (!parsed)
        return fail(sigURL + ": " + parsed.error());
    if (!release::signedByAny(*parsed, request.keys))
        return fail(sigURL + ": not signed by a trusted key");
    const release::Statement& s = parsed->statement;
    if (s.app != OvraUpdates::bundleID || s.version != request.version ||
        s.platform != request.platform) {
        return fail(sigURL + ": signed for " + s.app + " " + s.version + " on " + s.platform +
                    ", not for " + std::string(OvraUpdates::bundleID) + " " + request.version +
                    " on " + request.platform);
    }
    if (s.size > request.maxArchiveBytes)
        return fail(sigURL + ": the archive is too large (" + std::to_string(s.size) + " bytes)");

    // The archive: never more bytes than were signed, and exactly those bytes.
    const fs::path archiveFile = work / "update.tar.gz";
    options = networkOptions(static_cast<std::int64_t>(s.size), request.stallSeconds,
                             request.deadlineSeconds);
    outcome = request.downloader->fetch(request.archiveURL, archiveFile, options, {}, cancel);
    if (!outcome.ok())
        return fail(request.archiveURL + ": " + download::describe(outcome, options));
    std::error_code ec;
    if (fs::file_size(archiveFile, ec) != s.size || ec)
        return fail(request.archiveURL + ": not the signed size");
    const auto digest = crypto::sha256OfFile(archiveFile, &cancel);
    if (!digest)
        return fail(digest.error());
    if (*digest != s.sha256)
        return fail(request.archiveURL + ": not the signed SHA-256");

    // Only now is the archive read, by the safe extractor.
    const fs::path root = work / "root";
    fs::create_directory(root, ec);
    const archive::Limits limits{kMaxEntries, unpackLimit(s.size)};
    if (const auto error =
            archive::extract(archiveFile, root, archive::Compression::gzip, limits, &cancel)) {
        return fail("unpacking: " + archive::describe(*error));
    }
    fs::remove(archiveFile, ec);
    fs::remove(signatureFile, ec);

    struct stat st {};
    const fs::path exe = InstallMarker::executable(root);
    if (::lstat(exe.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || (st.st_mode & S_IXUSR) == 0)
        return fail("the archive holds no " + std::string(InstallMarker::kExecutable));
    const auto marker = InstallMarker::read(root);
    if (!marker || !marker->selfUpdate)
        return fail("the archive holds no install marker that lets it update itself");
    // The new prefix takes the old one's permissions, not the private ones of the staging.
    const auto old = fs::status(request.prefix, ec);
    fs::permissions(root, ec ? fs::perms(0755) : old.permissions() & fs::perms::all, ec);

    guard.keep();
    return Staged{work, root, request.version};
}

bool isStagingFolderOf(const fs::path& folder, const fs::path& prefix) {
    const std::string stem = stagingStem(prefix);
    const std::string name = folder.filename().string();
    return folder.parent_path() == prefix.parent_path() && name.size() == stem.size() + 6 &&
           name.starts_with(stem);
}

void sweepStagingFolders(const fs::path& prefix) {
    std::error_code ec;
    for (fs::directory_iterator it(prefix.parent_path(), ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code statError;
        if (isStagingFolderOf(it->path(), prefix) &&
            fs::symlink_status(it->path(), statError).type() == fs::file_type::directory) {
            std::error_code removeError;
            fs::remove_all(it->path(), removeError);
        }
    }
}

}  // namespace ovra::update
