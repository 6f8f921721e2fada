#pragma once

// The handshake by which a new version proves it starts before an update is final:
// `murmlark-ovra --version` prints "murmlark-ovra <version>" and exits 0 before anything else of
// the app runs. A build for a newer system, with a library missing, fails it (the loader ends
// it with exit status 127) without harming anything.

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace ovra::update {

inline constexpr std::string_view kVersionFlag = "--version";

// "murmlark-ovra <version>".
std::string versionLine(std::string_view version);
// This build's line.
std::string thisVersionLine();

// Why the program at `executable` did not answer the handshake as `version` by the time-out;
// none when it did. Blocks: run it on a worker.
std::optional<std::string> startFailure(const std::filesystem::path& executable,
                                        const std::string& version,
                                        std::chrono::milliseconds timeout);

}  // namespace ovra::update
