#include "core/EngineManifest.h"

#include <algorithm>

#include "core/OvraText.h"
#include "core/WorkerLayout.h"

namespace ovra {

namespace {

std::string safeName(const Json& object, std::string_view key) {
    std::string name = json::requireString(object, key);
    if (!WorkerLayout::isSafeComponent(name)) {
        throw JsonError("\"" + std::string(key) + "\" is not a plain file name: \"" + name + "\"");
    }
    return name;
}

std::int64_t size(const Json& object) {
    const std::int64_t bytes = json::requireInt(object, "bytes");
    if (bytes < 0)
        throw JsonError("\"bytes\" is negative");
    return bytes;
}

EngineManifest::Part decodePart(const Json& j) {
    if (!j.is_object())
        throw JsonError("a part is not an object");
    return {safeName(j, "name"), size(j), json::requireString(j, "sha256")};
}

EngineManifest::File decodeFile(const Json& j) {
    if (!j.is_object())
        throw JsonError("a file is not an object");
    EngineManifest::File f;
    f.name = safeName(j, "name");
    f.kind = json::requireString(j, "kind");
    f.bytes = size(j);
    f.sha256 = json::requireString(j, "sha256");
    if (j.contains("model")) {
        f.model = json::requireString(j, "model");
        if (!WorkerLayout::isSafeComponent(WorkerLayout::modelFolder(*f.model))) {
            throw JsonError("model id \"" + *f.model + "\" does not make a folder name");
        }
    }
    if (j.contains("parts")) {
        std::vector<EngineManifest::Part> parts;
        for (const auto& p : json::requireArray(j, "parts"))
            parts.push_back(decodePart(p));
        f.parts = std::move(parts);
    }
    return f;
}

}  // namespace

std::vector<EngineManifest::Part> EngineManifest::File::downloads() const {
    if (parts)
        return *parts;
    return {Part{name, bytes, sha256}};
}

Result<EngineManifest> EngineManifest::decode(std::string_view text) {
    auto parsed = json::parse(text);
    if (!parsed)
        return fail(parsed.error());
    const Json& root = *parsed;
    try {
        if (!root.is_object())
            throw JsonError("the manifest is not an object");
        EngineManifest m;
        m.version = json::requireInt(root, "version");
        for (const auto& f : json::requireArray(root, "files"))
            m.files.push_back(decodeFile(f));
        return m;
    } catch (const JsonError& e) {
        return fail(std::string(e.what()));
    }
}

Json EngineManifest::encode() const {
    Json root = Json::object();
    root["version"] = version;
    Json files_ = Json::array();
    for (const auto& f : files) {
        Json o = Json::object();
        o["name"] = f.name;
        o["kind"] = f.kind;
        o["bytes"] = f.bytes;
        o["sha256"] = f.sha256;
        if (f.model)
            o["model"] = *f.model;
        if (f.parts) {
            Json parts = Json::array();
            for (const auto& p : *f.parts) {
                parts.push_back(Json{{"name", p.name}, {"bytes", p.bytes}, {"sha256", p.sha256}});
            }
            o["parts"] = std::move(parts);
        }
        files_.push_back(std::move(o));
    }
    root["files"] = std::move(files_);
    return root;
}

std::optional<EngineManifest::File> EngineManifest::engine() const {
    for (const auto& f : files) {
        if (f.kind == "engine")
            return f;
    }
    return std::nullopt;
}

std::optional<EngineManifest::File> EngineManifest::model(std::string_view id) const {
    for (const auto& f : files) {
        if (f.kind == "model" && f.model && *f.model == id)
            return f;
    }
    return std::nullopt;
}

std::vector<std::string> EngineManifest::modelIDs() const {
    std::vector<std::string> ids;
    for (const auto& f : files) {
        if (f.kind == "model" && f.model)
            ids.push_back(*f.model);
    }
    return ids;
}

std::string EngineManifest::usableModel(const std::string& wanted) const {
    if (model(wanted))
        return wanted;
    const auto ids = modelIDs();
    return ids.empty() ? wanted : ids.front();
}

std::vector<EngineManifest::File> EngineManifest::toFetch(
    bool engineInstalled, const std::vector<std::string>& models,
    const std::function<bool(const std::string&)>& installed) const {
    std::vector<File> out;
    if (!engineInstalled) {
        if (auto e = engine())
            out.push_back(*e);
    }
    for (const auto& id : models) {
        if (installed && installed(id))
            continue;
        auto f = model(id);
        if (!f || std::find(out.begin(), out.end(), *f) != out.end())
            continue;
        out.push_back(*f);
    }
    return out;
}

std::string EngineManifest::displayName(const std::optional<std::string>& modelID) {
    if (modelID == "murmlark-ovra/en")
        return OvraText::t("Murmlark Large, English");
    if (modelID == "murmlark-ovra/multi")
        return "Murmlark Multilingual";
    return OvraText::t("a model");
}

}  // namespace ovra
