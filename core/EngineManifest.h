#pragma once

// The download list of the on-device model, shipped with the app as engine-manifest.json: every
// file that can be fetched, with its size, SHA-256 digest and, for large files, its parts.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Json.h"
#include "core/Result.h"

namespace ovra {

struct EngineManifest {
    struct Part {
        std::string name;
        std::int64_t bytes = 0;
        std::string sha256;  // lowercase hex; compared as an exact string

        friend bool operator==(const Part&, const Part&) = default;
    };

    struct File {
        std::string name;  // name on the download endpoint and in the scratch folder
        std::string kind;  // "engine" or "model"
        std::int64_t bytes = 0;
        std::string sha256;
        std::optional<std::string> model;
        std::optional<std::vector<Part>> parts;

        // The parts when given (possibly none), else one part made of the file itself.
        std::vector<Part> downloads() const;

        friend bool operator==(const File&, const File&) = default;
    };

    std::int64_t version = 0;
    std::vector<File> files;

    friend bool operator==(const EngineManifest&, const EngineManifest&) = default;

    // Decodes the whole manifest or nothing. Beyond the JSON shape, every file and part name
    // must be a single safe path component, every model id must give a safe folder name and no
    // size may be negative: these names and sizes become paths and download limits.
    static Result<EngineManifest> decode(std::string_view text);
    // "model" and "parts" are left out when absent.
    Json encode() const;

    // The first file of kind "engine".
    std::optional<File> engine() const;
    // The first file of kind "model" for the id.
    std::optional<File> model(std::string_view id) const;
    // The model ids of the files of kind "model", in manifest order, duplicates kept.
    std::vector<std::string> modelIDs() const;
    // The wanted id when listed, else the first listed id, else the wanted id.
    std::string usableModel(const std::string& wanted) const;
    // What still has to be fetched: the engine first (when not installed), then each listed
    // model not yet installed, in the order asked, each file once.
    std::vector<File> toFetch(bool engineInstalled, const std::vector<std::string>& models,
                              const std::function<bool(const std::string&)>& installed) const;

    // The localized name of a model shown in progress and failure texts.
    static std::string displayName(const std::optional<std::string>& modelID);
};

}  // namespace ovra
