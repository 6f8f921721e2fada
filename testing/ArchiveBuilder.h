#pragma once

// Test support: writes small tar or tar.gz archives, including hostile ones, from a list of
// entries.

#include <archive.h>
#include <archive_entry.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace ovra::testing {

struct TarEntry {
    enum class Type { file, folder, symlink, hardlink, fifo, device };
    std::string path;
    Type type = Type::file;
    std::string content;  // file data, or the link target
    unsigned mode = 0644;
};

inline TarEntry file(std::string path, std::string content, unsigned mode = 0644) {
    return {std::move(path), TarEntry::Type::file, std::move(content), mode};
}
inline TarEntry folder(std::string path) {
    return {std::move(path), TarEntry::Type::folder, {}, 0755};
}

inline void writeTar(const std::filesystem::path& out, const std::vector<TarEntry>& entries,
                     bool gzip) {
    struct ::archive* a = archive_write_new();
    archive_write_set_format_pax_restricted(a);
    if (gzip)
        archive_write_add_filter_gzip(a);
    if (archive_write_open_filename(a, out.c_str()) != ARCHIVE_OK) {
        archive_write_free(a);
        throw std::runtime_error("cannot write test archive");
    }
    for (const auto& e : entries) {
        ::archive_entry* entry = archive_entry_new();
        archive_entry_set_pathname(entry, e.path.c_str());
        archive_entry_set_perm(entry, e.mode);
        switch (e.type) {
            case TarEntry::Type::file:
                archive_entry_set_filetype(entry, AE_IFREG);
                archive_entry_set_size(entry, static_cast<la_int64_t>(e.content.size()));
                break;
            case TarEntry::Type::folder:
                archive_entry_set_filetype(entry, AE_IFDIR);
                break;
            case TarEntry::Type::symlink:
                archive_entry_set_filetype(entry, AE_IFLNK);
                archive_entry_set_symlink(entry, e.content.c_str());
                break;
            case TarEntry::Type::hardlink:
                archive_entry_set_filetype(entry, AE_IFREG);
                archive_entry_set_hardlink(entry, e.content.c_str());
                break;
            case TarEntry::Type::fifo:
                archive_entry_set_filetype(entry, AE_IFIFO);
                break;
            case TarEntry::Type::device:
                archive_entry_set_filetype(entry, AE_IFCHR);
                archive_entry_set_rdev(entry, 0x0103);
                break;
        }
        archive_write_header(a, entry);
        if (e.type == TarEntry::Type::file && !e.content.empty()) {
            archive_write_data(a, e.content.data(), e.content.size());
        }
        archive_entry_free(entry);
    }
    archive_write_close(a);
    archive_write_free(a);
}

}  // namespace ovra::testing
