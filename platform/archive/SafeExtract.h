#pragma once

// Unpacks a downloaded tar archive into a folder we own, refusing anything that could write
// outside it or surprise whoever reads the result: absolute names, "..", links of either kind,
// devices, FIFOs and sockets. Entry count and total size are bounded; permissions are reduced to
// plain read/write/execute.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace ovra::archive {

enum class Compression { none, gzip };

struct Limits {
    std::uint64_t maxEntries = 10000;
    std::uint64_t maxTotalBytes = std::uint64_t{8} << 30U;
};

struct ExtractError {
    enum class Kind {
        unreadable,   // not a tar archive (of the compression asked), or damaged
        unsafeEntry,  // an entry that may not be unpacked
        tooManyEntries,
        tooLarge,
        writeFailed,
        cancelled,
    };
    Kind kind;
    std::string detail;
};

// Compression::gzip for names ending in ".gz".
Compression compressionFor(const std::string& fileName);

// Unpacks archive into destination (an existing folder). On failure, whatever was unpacked so
// far stays in destination for the caller to delete.
std::optional<ExtractError> extract(const std::filesystem::path& archive,
                                    const std::filesystem::path& destination,
                                    Compression compression, const Limits& limits = {},
                                    const std::atomic<bool>* cancel = nullptr);

// "unsafe entry ../x: ..." and the like, for log lines.
std::string describe(const ExtractError& error);

}  // namespace ovra::archive
