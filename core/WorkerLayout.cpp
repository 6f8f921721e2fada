#include "core/WorkerLayout.h"

namespace ovra::WorkerLayout {

std::string modelFolder(std::string_view modelID) {
    std::string out;
    out.reserve(modelID.size() + 4);
    for (const char c : modelID) {
        if (c == '/') {
            out += "--";
        } else {
            out += c;
        }
    }
    return out;
}

bool isSafeComponent(std::string_view name) {
    if (name.empty() || name == "." || name == "..")
        return false;
    return name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

std::vector<std::string> retired(const std::vector<std::string>& topLevel,
                                 const std::vector<std::string>& models,
                                 const std::optional<std::set<std::string>>& keep) {
    std::vector<std::string> out;
    for (const auto& name : topLevel) {
        if (name == kEngineFolder)
            out.push_back(name);
    }
    for (const auto& name : models) {
        if (name.starts_with('.'))
            continue;
        const bool product = name.starts_with(kProductPrefix);
        if (!product || (keep && !keep->contains(name))) {
            out.push_back(std::string(kModelsFolder) + "/" + name);
        }
    }
    return out;
}

}  // namespace ovra::WorkerLayout
