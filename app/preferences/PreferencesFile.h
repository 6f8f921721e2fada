#pragma once

// Read-only access to the few settings the command-line dumps need, from the app's settings file
// $XDG_CONFIG_HOME/murmlark-ovra/ai.qeld.murmlark-ovra.json (one JSON object of keys and
// values). Nothing is ever written here; a missing or unusable value reads as its default.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace ovra {

// Which classifier model the user chose.
enum class VornModel { english, multilingual };

// "murmlark-ovra/en" or "murmlark-ovra/multi".
std::string_view modelID(VornModel model);

struct PreferencesReading {
    int traversalDepth = 6;                // "depth": depth limit of the accessibility reader
    VornModel model = VornModel::english;  // "model"

    // The values stored in `text`: an integer "depth" that fits an int exactly, and "model"
    // equal (case and all) to "murmlark-ovra/multi" for the multilingual model. Anything else,
    // including text that is not a JSON object, gives the defaults.
    static PreferencesReading parse(std::string_view text);

    friend bool operator==(const PreferencesReading&, const PreferencesReading&) = default;
};

namespace PreferencesFile {

using Environment = std::function<std::optional<std::string>(const char*)>;

// The defaults domain the settings file is named after.
inline constexpr std::string_view kDomain = "ai.qeld.murmlark-ovra";
// Settings files larger than this are not ours and are not read.
inline constexpr std::uintmax_t kMaxBytes = 1024 * 1024;

// $XDG_CONFIG_HOME when it is an absolute path, else $HOME/.config; none without either.
std::optional<std::filesystem::path> configHome(const Environment& environment);
// configHome/murmlark-ovra/<domain>.json.
std::optional<std::filesystem::path> path(const Environment& environment);
// The stored settings; the defaults when the file is missing, unreadable or too large.
PreferencesReading read(const Environment& environment);

}  // namespace PreferencesFile

}  // namespace ovra
