#include "platform/archive/SafeExtract.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/io/Uninterrupted.h"

namespace ovra::archive {

namespace {

struct ReadFree {
    void operator()(struct archive* a) const { archive_read_free(a); }
};

using Kind = ExtractError::Kind;

ExtractError error(Kind kind, std::string detail) {
    return {kind, std::move(detail)};
}

// The entry's path with "" and "." components dropped; nullopt when it is absolute or climbs.
std::optional<std::string> cleanPath(const char* raw) {
    if (raw == nullptr)
        return std::nullopt;
    const std::string_view path(raw);
    if (path.starts_with('/'))
        return std::nullopt;
    std::string out;
    std::size_t at = 0;
    while (at <= path.size()) {
        std::size_t end = path.find('/', at);
        if (end == std::string_view::npos)
            end = path.size();
        const std::string_view part = path.substr(at, end - at);
        at = end + 1;
        if (part.empty() || part == ".")
            continue;
        if (part == "..")
            return std::nullopt;
        if (!out.empty())
            out += '/';
        out += part;
    }
    return out;
}

class OutputFile {
  public:
    explicit OutputFile(int fd) : fd_(fd) {}
    ~OutputFile() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    bool write(const void* data, std::size_t size) { return io::writeAll(fd_, data, size); }
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

  private:
    int fd_;
};

// Makes `folder` and its missing parents with mode 0755 whatever the umask, so an unpacked
// folder is never writable by others. False when something else stands in the way.
bool makeFolders(const std::filesystem::path& folder) {
    std::error_code ec;
    // Entries never make links, so a link here was there before (a support folder kept on
    // another disk, say) and is followed.
    if (const auto status = std::filesystem::status(folder, ec);
        !ec && std::filesystem::exists(status))
        return std::filesystem::is_directory(status);
    // Top down, one step at a time: an entry may name far more nested folders than a path can
    // hold, and making them stops at the first one the system refuses.
    std::filesystem::path made;
    for (const auto& step : folder) {
        made /= step;
        const auto status = std::filesystem::status(made, ec);
        if (!ec && std::filesystem::exists(status)) {
            if (!std::filesystem::is_directory(status))
                return false;
            continue;
        }
        if (::mkdir(made.c_str(), 0755) != 0) {
            if (errno != EEXIST || !std::filesystem::is_directory(made, ec))
                return false;
        } else if (::chmod(made.c_str(), 0755) != 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

Compression compressionFor(const std::string& fileName) {
    return fileName.ends_with(".gz") ? Compression::gzip : Compression::none;
}

std::optional<ExtractError> extract(const std::filesystem::path& archivePath,
                                    const std::filesystem::path& destination,
                                    Compression compression, const Limits& limits,
                                    const std::atomic<bool>* cancel) {
    std::unique_ptr<struct archive, ReadFree> reader(archive_read_new());
    if (!reader)
        return error(Kind::unreadable, "out of memory");
    archive_read_support_format_tar(reader.get());
    if (compression == Compression::gzip)
        archive_read_support_filter_gzip(reader.get());
    if (archive_read_open_filename(reader.get(), archivePath.c_str(), 64U * 1024U) != ARCHIVE_OK) {
        return error(Kind::unreadable, archive_error_string(reader.get())
                                           ? archive_error_string(reader.get())
                                           : "cannot open");
    }

    std::uint64_t entries = 0;
    std::uint64_t total = 0;
    std::vector<char> buffer(256U * 1024U);
    for (;;) {
        if (cancel && cancel->load())
            return error(Kind::cancelled, "cancelled");
        archive_entry* entry = nullptr;
        const int r = archive_read_next_header(reader.get(), &entry);
        if (r == ARCHIVE_EOF)
            break;
        if (r != ARCHIVE_OK && r != ARCHIVE_WARN) {
            const char* why = archive_error_string(reader.get());
            return error(Kind::unreadable, why ? why : "damaged archive");
        }
        const char* raw = archive_entry_pathname(entry);
        const std::string shown = raw ? raw : "(no name)";
        if (++entries > limits.maxEntries) {
            return error(Kind::tooManyEntries,
                         "more than " + std::to_string(limits.maxEntries) + " entries");
        }
        const auto clean = cleanPath(raw);
        if (!clean)
            return error(Kind::unsafeEntry, shown + ": absolute or climbing path");
        if (archive_entry_hardlink(entry) != nullptr) {
            return error(Kind::unsafeEntry, shown + ": hard link");
        }
        const auto type = archive_entry_filetype(entry);
        if (type != AE_IFREG && type != AE_IFDIR) {
            return error(Kind::unsafeEntry, shown + ": link, device, FIFO or socket");
        }
        if (clean->empty()) {
            // "./" names the destination itself: only a folder entry may say so.
            if (type == AE_IFDIR)
                continue;
            return error(Kind::unsafeEntry, shown + ": names the destination itself");
        }
        const auto target = destination / *clean;
        if (type == AE_IFDIR) {
            if (!makeFolders(target))
                return error(Kind::writeFailed, *clean + ": cannot create folder");
            continue;
        }
        if (archive_entry_size_is_set(entry) && archive_entry_size(entry) > 0) {
            const auto declared = static_cast<std::uint64_t>(archive_entry_size(entry));
            if (declared > limits.maxTotalBytes - total) {
                return error(Kind::tooLarge,
                             "more than " + std::to_string(limits.maxTotalBytes) + " bytes");
            }
        }
        if (!makeFolders(target.parent_path()))
            return error(Kind::writeFailed, *clean + ": cannot create folder");
        const bool executable = (archive_entry_perm(entry) & 0111U) != 0;
        const int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC,
                              executable ? 0755 : 0644);
        if (fd < 0)
            return error(Kind::writeFailed, *clean + ": " + std::strerror(errno));
        OutputFile out(fd);
        for (;;) {
            if (cancel && cancel->load())
                return error(Kind::cancelled, "cancelled");
            const la_ssize_t n = archive_read_data(reader.get(), buffer.data(), buffer.size());
            if (n == 0)
                break;
            if (n < 0) {
                const char* why = archive_error_string(reader.get());
                return error(Kind::unreadable, shown + ": " + (why ? why : "damaged data"));
            }
            const auto got = static_cast<std::uint64_t>(n);
            if (got > limits.maxTotalBytes - total) {
                return error(Kind::tooLarge,
                             "more than " + std::to_string(limits.maxTotalBytes) + " bytes");
            }
            total += got;
            if (!out.write(buffer.data(), static_cast<std::size_t>(n))) {
                return error(Kind::writeFailed, *clean + ": " + std::strerror(errno));
            }
        }
        if (!out.close())
            return error(Kind::writeFailed, *clean + ": " + std::strerror(errno));
    }
    return std::nullopt;
}

std::string describe(const ExtractError& e) {
    switch (e.kind) {
        case Kind::unreadable:
            return "unreadable archive: " + e.detail;
        case Kind::unsafeEntry:
            return "unsafe entry " + e.detail;
        case Kind::tooManyEntries:
            return "too many entries: " + e.detail;
        case Kind::tooLarge:
            return "unpacks too large: " + e.detail;
        case Kind::writeFailed:
            return "could not write " + e.detail;
        case Kind::cancelled:
            return "cancelled";
    }
    return e.detail;
}

}  // namespace ovra::archive
