#include "app/preferences/PreferencesFile.h"

#include <cmath>
#include <fstream>
#include <limits>

#include "core/Json.h"

namespace ovra {

std::string_view modelID(VornModel model) {
    return model == VornModel::multilingual ? "murmlark-ovra/multi" : "murmlark-ovra/en";
}

PreferencesReading PreferencesReading::parse(std::string_view text) {
    PreferencesReading reading;
    auto parsed = json::parse(text);
    if (!parsed || !parsed->is_object()) {
        return reading;
    }
    const Json& object = *parsed;
    if (auto depth = object.find("depth"); depth != object.end() && depth->is_number()) {
        // Only a number that converts to an int exactly: 6.0 does, 6.5, 1e30 and NaN do not.
        const double number = depth->get<double>();
        if (std::isfinite(number) && std::trunc(number) == number &&
            number >= static_cast<double>(std::numeric_limits<int>::min()) &&
            number <= static_cast<double>(std::numeric_limits<int>::max())) {
            reading.traversalDepth = static_cast<int>(number);
        }
    }
    if (auto model = object.find("model"); model != object.end() && model->is_string()) {
        if (model->get<std::string>() == modelID(VornModel::multilingual)) {
            reading.model = VornModel::multilingual;
        }
    }
    return reading;
}

namespace PreferencesFile {

std::optional<std::filesystem::path> configHome(const Environment& environment) {
    if (auto config = environment("XDG_CONFIG_HOME"); config && !config->empty()) {
        const std::filesystem::path folder(*config);
        if (folder.is_absolute()) {
            return folder;
        }
    }
    if (auto home = environment("HOME"); home && !home->empty()) {
        return std::filesystem::path(*home) / ".config";
    }
    return std::nullopt;
}

std::optional<std::filesystem::path> path(const Environment& environment) {
    auto home = configHome(environment);
    if (!home) {
        return std::nullopt;
    }
    return *home / "murmlark-ovra" / (std::string(kDomain) + ".json");
}

PreferencesReading read(const Environment& environment) {
    const auto file = path(environment);
    if (!file) {
        return {};
    }
    std::error_code error;
    if (!std::filesystem::is_regular_file(*file, error)) {
        return {};
    }
    const auto size = std::filesystem::file_size(*file, error);
    if (error || size > kMaxBytes) {
        return {};
    }
    std::ifstream in(*file, std::ios::binary);
    if (!in) {
        return {};
    }
    std::string text(static_cast<std::size_t>(size), '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return PreferencesReading::parse(text);
}

}  // namespace PreferencesFile

}  // namespace ovra
