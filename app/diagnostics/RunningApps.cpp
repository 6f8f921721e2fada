#include "app/diagnostics/RunningApps.h"

#include <algorithm>
#include <charconv>
#include <fstream>

namespace ovra {
namespace {

std::optional<std::int64_t> pidOf(const std::string& folderName) {
    std::int64_t pid = 0;
    const char* first = folderName.data();
    const char* last = first + folderName.size();
    const auto [end, error] = std::from_chars(first, last, pid);
    if (error != std::errc() || end != last || pid <= 0) {
        return std::nullopt;
    }
    return pid;
}

std::string firstLine(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// Errors that say the element belongs to no live app; any other answer (a value, a missing
// attribute, a slow reply) comes from the app itself.
bool answers(ax::AccessibilityBackend& backend, const ax::Element& element) {
    if (element.isNull()) {
        return false;
    }
    auto role = backend.attribute(element, "AXRole");
    return role.ok() ||
           (role.error() != ax::AXError::appGone && role.error() != ax::AXError::cannotComplete);
}

}  // namespace

bool ProcessEntry::isNamed(std::string_view identifier) const {
    return !identifier.empty() && (name == identifier || executable == identifier);
}

namespace RunningApps {

std::vector<ProcessEntry> processes(const std::filesystem::path& proc) {
    std::vector<ProcessEntry> out;
    std::error_code error;
    std::filesystem::directory_iterator it(proc, error);
    if (error) {
        return out;
    }
    for (const auto& entry : it) {
        const auto pid = pidOf(entry.path().filename().string());
        if (!pid) {
            continue;
        }
        ProcessEntry process;
        process.pid = *pid;
        process.name = firstLine(entry.path() / "comm");
        std::error_code linkError;
        const auto exe = std::filesystem::read_symlink(entry.path() / "exe", linkError);
        if (!linkError) {
            process.executable = exe.filename().string();
        }
        out.push_back(std::move(process));
    }
    std::sort(out.begin(), out.end(),
              [](const ProcessEntry& a, const ProcessEntry& b) { return a.pid < b.pid; });
    return out;
}

std::optional<ax::RunningApp> find(std::string_view identifier,
                                   const std::vector<ProcessEntry>& processes,
                                   ax::AccessibilityBackend& backend) {
    for (const auto& process : processes) {
        if (!process.isNamed(identifier)) {
            continue;
        }
        ax::RunningApp app{process.pid, std::nullopt};
        const ax::Element element = backend.applicationElement(app);
        if (!answers(backend, element)) {
            continue;
        }
        if (auto title = backend.attribute(element, "AXTitle"); title.ok()) {
            if (const std::string* text = ax::asString(title.value()); text && !text->empty()) {
                app.localizedName = *text;
            }
        }
        if (!app.localizedName && !process.name.empty()) {
            app.localizedName = process.name;
        }
        return app;
    }
    return std::nullopt;
}

}  // namespace RunningApps

}  // namespace ovra
