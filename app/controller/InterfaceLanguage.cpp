#include "app/controller/InterfaceLanguage.h"

#include <libintl.h>

#include <cctype>
#include <cstdlib>
#include <system_error>

#include "core/OvraText.h"
#include "platform/paths/Paths.h"

namespace ovra::InterfaceLanguage {

namespace {

std::string primarySubtag(std::string_view localization) {
    const auto end = localization.find_first_of("_-.@");
    std::string subtag(localization.substr(0, end));
    for (char& c : subtag) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return subtag;
}

bool hasCatalogue(const std::filesystem::path& catalogues, std::string_view language) {
    std::error_code ignored;
    const std::string file = std::string(OvraText::kDomain) + ".mo";
    // gettext tries "pt_BR" before "pt"; the encoding and modifier never name a folder here.
    const std::string withRegion(language.substr(0, language.find_first_of(".@")));
    for (const std::string& folder : {withRegion, primarySubtag(language)}) {
        if (std::filesystem::is_regular_file(catalogues / folder / "LC_MESSAGES" / file, ignored)) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::string code(std::span<const std::string> preferredLocalizations) {
    for (const std::string& localization : preferredLocalizations) {
        std::string subtag = primarySubtag(localization);
        if (!subtag.empty()) {
            return subtag;
        }
    }
    return "en";
}

std::vector<std::string> preferredLocalizations(const Environment& environment,
                                                const std::filesystem::path& catalogues) {
    const auto set = [&](const char* name) -> std::optional<std::string> {
        auto value = environment(name);
        if (value && value->empty()) {
            return std::nullopt;
        }
        return value;
    };
    auto locale = set("LC_ALL");
    if (!locale) {
        locale = set("LC_MESSAGES");
    }
    if (!locale) {
        locale = set("LANG");
    }
    std::vector<std::string> wanted;
    const bool plainC =
        !locale || *locale == "C" || *locale == "POSIX" || locale->rfind("C.", 0) == 0;
    if (!plainC) {
        if (const auto list = set("LANGUAGE")) {
            std::size_t start = 0;
            while (start <= list->size()) {
                const auto end = std::min(list->find(':', start), list->size());
                if (end > start) {
                    wanted.push_back(list->substr(start, end - start));
                }
                start = end + 1;
            }
        } else {
            wanted.push_back(*locale);
        }
    }
    std::vector<std::string> kept;
    for (const std::string& language : wanted) {
        if (primarySubtag(language) == "en" || hasCatalogue(catalogues, language)) {
            kept.push_back(language);
        }
    }
    kept.emplace_back("en");
    return kept;
}

std::string code() {
    const char* bound = bindtextdomain(OvraText::kDomain, nullptr);
    const auto localizations = preferredLocalizations(paths::processEnvironment,
                                                      bound ? std::filesystem::path(bound) : "");
    return code(localizations);
}

}  // namespace ovra::InterfaceLanguage
