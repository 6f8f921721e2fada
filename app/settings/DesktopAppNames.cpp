#include "app/settings/DesktopAppNames.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <sstream>

#include "core/DisplayText.h"

namespace ovra {

namespace {

// A desktop entry is a small text file; anything larger is not read.
constexpr std::size_t kMaxFileBytes = 256 * 1024;

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t\r");
    return std::string(text.substr(first, last - first + 1));
}

std::vector<std::string> split(const std::string& list) {
    std::vector<std::string> parts;
    std::stringstream in(list);
    for (std::string part; std::getline(in, part, ':');) {
        if (!part.empty()) {
            parts.push_back(part);
        }
    }
    return parts;
}

// A key that names a file in a folder and nothing else.
bool plainFileName(const std::string& key) {
    return !key.empty() && key.size() <= 200 && key.find('/') == std::string::npos && key != "." &&
           key != ".." && key.find('\0') == std::string::npos;
}

}  // namespace

DesktopAppNames::DesktopAppNames(Environment environment) : environment_(std::move(environment)) {}

std::string DesktopAppNames::name(const std::string& key) {
    return find(key).value_or(key);
}

std::optional<std::string> DesktopAppNames::find(const std::string& key) {
    if (const auto it = known_.find(key); it != known_.end()) {
        return it->second;
    }
    std::optional<std::string> shown = lookUp(key);
    known_.emplace(key, shown);
    return shown;
}

std::string DesktopAppNames::shown(const std::string& windowClass, const std::string& processName) {
    std::string lower = windowClass;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const std::string& id : {windowClass, lower, processName}) {
        if (id.empty()) {
            continue;
        }
        if (const auto name = find(id)) {
            if (std::string clean = text::forDisplay(*name); !clean.empty()) {
                return clean;
            }
        }
    }
    const std::string fallback = text::forDisplay(windowClass);
    return fallback.empty() ? text::forDisplay(processName) : fallback;
}

std::vector<std::string> DesktopAppNames::languagesOf(std::string_view locale) {
    std::string text(locale);
    std::string modifier;
    if (const auto at = text.find('@'); at != std::string::npos) {
        modifier = text.substr(at);
        text.erase(at);
    }
    if (const auto dot = text.find('.'); dot != std::string::npos) {
        text.erase(dot);
    }
    if (text.empty() || text == "C" || text == "POSIX") {
        return {};
    }
    std::vector<std::string> out;
    const auto underscore = text.find('_');
    const std::string lang = text.substr(0, underscore);
    if (underscore != std::string::npos) {
        if (!modifier.empty()) {
            out.push_back(text + modifier);
        }
        out.push_back(text);
    }
    if (!modifier.empty()) {
        out.push_back(lang + modifier);
    }
    out.push_back(lang);
    return out;
}

std::optional<std::string> DesktopAppNames::nameIn(std::string_view desktopFile,
                                                   const std::vector<std::string>& languages) {
    std::istringstream in{std::string(desktopFile)};
    bool inEntry = false;
    std::optional<std::string> plain;
    std::map<std::string, std::string> localized;
    for (std::string line; std::getline(in, line);) {
        const std::string text = trimmed(line);
        if (text.empty() || text[0] == '#') {
            continue;
        }
        if (text[0] == '[') {
            inEntry = text == "[Desktop Entry]";
            continue;
        }
        const auto equals = text.find('=');
        if (!inEntry || equals == std::string::npos) {
            continue;
        }
        const std::string key = trimmed(std::string_view(text).substr(0, equals));
        const std::string value = trimmed(std::string_view(text).substr(equals + 1));
        if (value.empty()) {
            continue;
        }
        if (key == "Name") {
            plain = value;
        } else if (key.size() > 6 && key.rfind("Name[", 0) == 0 && key.back() == ']') {
            localized.emplace(key.substr(5, key.size() - 6), value);
        }
    }
    for (const auto& language : languages) {
        if (const auto it = localized.find(language); it != localized.end()) {
            return it->second;
        }
    }
    return plain;
}

std::optional<std::string> DesktopAppNames::lookUp(const std::string& key) const {
    if (!plainFileName(key)) {
        return std::nullopt;
    }
    const auto env = [this](const char* name) -> std::string {
        auto value = environment_ ? environment_(name) : std::nullopt;
        return value.value_or("");
    };
    std::vector<std::string> folders;
    if (const std::string dataHome = env("XDG_DATA_HOME"); !dataHome.empty()) {
        folders.push_back(dataHome);
    } else if (const std::string home = env("HOME"); !home.empty()) {
        folders.push_back(home + "/.local/share");
    }
    const std::string dataDirs = env("XDG_DATA_DIRS");
    for (auto& dir : split(dataDirs.empty() ? "/usr/local/share:/usr/share" : dataDirs)) {
        folders.push_back(std::move(dir));
    }
    std::string locale = env("LC_ALL");
    if (locale.empty()) {
        locale = env("LC_MESSAGES");
    }
    if (locale.empty()) {
        locale = env("LANG");
    }
    const std::vector<std::string> languages = languagesOf(locale);
    for (const auto& folder : folders) {
        std::ifstream file(folder + "/applications/" + key + ".desktop", std::ios::binary);
        if (!file) {
            continue;
        }
        std::string text(kMaxFileBytes, '\0');
        file.read(text.data(), static_cast<std::streamsize>(text.size()));
        text.resize(static_cast<std::size_t>(file.gcount()));
        if (auto shown = nameIn(text, languages)) {
            return shown;
        }
    }
    return std::nullopt;
}

}  // namespace ovra
