#include "core/WorkerLayout.h"

#include "core/OvraText.h"

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

std::string appendingPathComponent(std::string_view base, std::string_view component) {
    while (base.size() > 1 && base.back() == '/')
        base.remove_suffix(1);
    while (!component.empty() && component.front() == '/')
        component.remove_prefix(1);
    if (base.empty())
        return std::string(component);
    if (component.empty())
        return std::string(base);
    std::string out(base);
    if (out.back() != '/')
        out += '/';
    out += component;
    return out;
}

WorkerPlan plan(const WorkerPlanInput& in) {
    if (!in.canRunModel)
        return WorkerPlan::rulesOnly(OvraText::t(intelReason));
    const auto isExecutable = [&](const std::string& path) {
        return in.isExecutable && in.isExecutable(path);
    };
    const auto exists = [&](const std::string& path) { return in.exists && in.exists(path); };

    const std::string python = appendingPathComponent(in.support, "engine/python/bin/python3");
    const std::string modelDirectory = appendingPathComponent(
        appendingPathComponent(in.support, kModelsFolder), modelFolder(in.model));
    if (in.resources) {
        const std::string script =
            appendingPathComponent(*in.resources, "worker/murmlark_worker.py");
        if (exists(script)) {
            if (isExecutable(python) &&
                exists(appendingPathComponent(modelDirectory, "model.safetensors")))
                return WorkerPlan::launching({python, script, in.support, modelDirectory});
            return WorkerPlan::needsDownload();
        }
    }
    if (in.developmentDirectory.empty())
        return WorkerPlan::needsDownload();
    std::string dev = in.developmentDirectory;
    if (dev == "~" || dev.starts_with("~/"))
        dev = appendingPathComponent(in.home, std::string_view(dev).substr(1));
    const std::string devPython = appendingPathComponent(dev, ".venv/bin/python");
    const std::string devScript = appendingPathComponent(dev, "murmlark_worker.py");
    if (isExecutable(devPython) && exists(devScript))
        return WorkerPlan::launching({devPython, devScript, dev, std::nullopt});
    return WorkerPlan::needsDownload();
}

}  // namespace ovra::WorkerLayout
