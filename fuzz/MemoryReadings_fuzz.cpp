// The kernel's memory files are read as text and parsed with no trust in their shape. Input: a
// set of files, each a line "== <path>" followed by its text. A file asked for by a path that is
// not given is looked up by its last path component, so any cgroup path finds cgroup files.

#include <cmath>
#include <map>

#include "fuzz/FuzzSupport.h"
#include "platform/memory/MemoryReadings.h"

namespace {

using Files = std::map<std::string, std::string, std::less<>>;

Files filesOf(std::string_view input) {
    Files files;
    constexpr std::string_view kHeader = "== ";
    std::string path = "/proc/meminfo";  // text before any header
    while (!input.empty()) {
        if (input.starts_with(kHeader)) {
            const std::size_t lineEnd = input.find('\n');
            path = std::string(input.substr(kHeader.size(), lineEnd == std::string_view::npos
                                                                ? lineEnd
                                                                : lineEnd - kHeader.size()));
            input.remove_prefix(lineEnd == std::string_view::npos ? input.size() : lineEnd + 1);
            files[path];  // an empty file until text follows
            continue;
        }
        const std::size_t next = input.find("\n== ");
        const std::size_t end = next == std::string_view::npos ? input.size() : next + 1;
        files[path] = std::string(input.substr(0, end));
        input.remove_prefix(end);
    }
    return files;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using ovra::fuzz::check;
    namespace memory = ovra::memory;
    const Files files = filesOf(ovra::fuzz::text(data, size));
    const memory::FileReader read =
        [&files](const std::string& path) -> std::optional<std::string> {
        if (const auto it = files.find(path); it != files.end())
            return it->second;
        if (const auto it = files.find(std::string_view(path).substr(path.rfind('/') + 1));
            it != files.end())
            return it->second;
        return std::nullopt;
    };

    const memory::MemoryReading reading = memory::readMemory(read);
    if (reading.meminfo) {
        check(reading.meminfo->totalKiB > 0 &&
                  reading.meminfo->availableKiB <= reading.meminfo->totalKiB,
              "available memory is within a non-zero total");
    }
    if (reading.psi) {
        check(std::isfinite(reading.psi->someAvg10) && reading.psi->someAvg10 >= 0 &&
                  std::isfinite(reading.psi->fullAvg10.value_or(0)) &&
                  reading.psi->fullAvg10.value_or(0) >= 0,
              "pressure averages are finite and not negative");
    }
    if (reading.cgroupFraction) {
        check(std::isfinite(*reading.cgroupFraction) && *reading.cgroupFraction >= 0,
              "the cgroup share is finite and not negative");
    }
    memory::PressureTracker tracker;
    (void)tracker.update(reading);
    (void)tracker.update(reading);
    (void)memory::classify(reading, true);

    for (const auto& [path, text] : files) {
        const auto membership = memory::parseCgroupMembership(text);
        check(membership.unified.value_or("/").starts_with('/') &&
                  membership.v1Memory.value_or("/").starts_with('/'),
              "cgroup paths are absolute");
        (void)memory::parseLimit(text);
        (void)memory::parseKeyedCount(text, path);
    }
    return 0;
}
