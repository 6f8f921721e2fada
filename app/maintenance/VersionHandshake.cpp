#include "app/maintenance/VersionHandshake.h"

#include "platform/process/RunProgram.h"

#ifndef OVRA_VERSION
#error "OVRA_VERSION must name the version of this build"
#endif

namespace ovra::update {

std::string versionLine(std::string_view version) {
    return "murmlark-ovra " + std::string(version);
}

std::string thisVersionLine() {
    return versionLine(OVRA_VERSION);
}

std::optional<std::string> startFailure(const std::filesystem::path& executable,
                                        const std::string& version,
                                        std::chrono::milliseconds timeout) {
    const auto run = process::runToEnd({executable.string(), std::string(kVersionFlag)}, timeout);
    if (!run)
        return run.error();
    const std::string prefix = "Ovra " + version + " does not start: ";
    if (run->timedOut)
        return prefix + "it did not answer within " + std::to_string(timeout.count() / 1000) + " s";
    if (run->signal != 0)
        return prefix + "it ended on signal " + std::to_string(run->signal);
    if (run->exitStatus != 0)
        return prefix + "it ended with exit status " + std::to_string(run->exitStatus);
    const std::string& out = run->output;
    if (out.substr(0, out.find('\n')) != versionLine(version))
        return prefix + "it answered as another version";
    return std::nullopt;
}

}  // namespace ovra::update
