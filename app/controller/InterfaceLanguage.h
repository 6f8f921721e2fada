#pragma once

// The language the app's interface runs in, which decides the voices offered: the first of the
// user's languages that the app has texts in, else English (the language the texts are written
// in).

#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace ovra::InterfaceLanguage {

// Reads an environment variable; absent when unset.
using Environment = std::function<std::optional<std::string>(const char*)>;

// The primary language subtag of the first localization, lower-cased ("pt_BR.UTF-8" → "pt",
// "fil_PH" → "fil"); "en" when there is none.
std::string code(std::span<const std::string> preferredLocalizations);

// The user's languages as gettext takes them (LANGUAGE when the locale is not C, else LC_ALL,
// LC_MESSAGES, LANG), kept when `catalogues` holds the app's translation for them or they are
// English; English last.
std::vector<std::string> preferredLocalizations(const Environment& environment,
                                                const std::filesystem::path& catalogues);

// `code` of this process's preferred localizations, with the catalogues the texts are read from.
std::string code();

}  // namespace ovra::InterfaceLanguage
