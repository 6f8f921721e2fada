// Downloaded archives are unpacked in process: whatever the bytes, unpacking ends with an
// error or a tree of plain files and folders inside the destination, and nothing beside it.
// Each input is unpacked into a fresh folder that is removed afterwards. Bytes that start like
// gzip are read as tar.gz, others as plain tar.

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "fuzz/FuzzSupport.h"
#include "platform/archive/SafeExtract.h"

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using ovra::fuzz::check;
    static const fs::path root =
        fs::temp_directory_path() / ("ovra-fuzz-extract-" + std::to_string(::getpid()));
    const fs::path archive = root / "archive";
    const fs::path out = root / "out";
    fs::remove_all(root);
    fs::create_directories(out);
    std::ofstream(archive, std::ios::binary)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

    const bool gzip = size >= 2 && data[0] == 0x1f && data[1] == 0x8b;
    // Small bounds, so that a little input cannot unpack into a full disk.
    const ovra::archive::Limits limits{.maxEntries = 64, .maxTotalBytes = 1U << 20U};
    const auto error = ovra::archive::extract(
        archive, out, gzip ? ovra::archive::Compression::gzip : ovra::archive::Compression::none,
        limits);
    if (error)
        (void)ovra::archive::describe(*error);

    std::size_t beside = 0;
    for (const auto& entry : fs::directory_iterator(root))
        beside += entry.path() != archive && entry.path() != out ? 1 : 0;
    check(beside == 0, "nothing is written beside the destination");
    std::uint64_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(out)) {
        const auto type = entry.symlink_status().type();
        check(type == fs::file_type::regular || type == fs::file_type::directory,
              "only plain files and folders are unpacked");
        check((entry.symlink_status().permissions() & (fs::perms::set_uid | fs::perms::set_gid |
                                                       fs::perms::sticky_bit)) == fs::perms::none,
              "no special permission bits");
        files += type == fs::file_type::regular ? 1 : 0;
    }
    check(files <= limits.maxEntries, "the entry bound holds");
    fs::remove_all(root);
    return 0;
}
