// The interface language: the first of the user's languages the app has texts in.

#include "app/controller/InterfaceLanguage.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "testing/Files.h"

namespace ovra::InterfaceLanguage {
namespace {

TEST(InterfaceLanguage, PrimarySubtagOfTheFirstLocalization) {
    for (const auto& [first, expected] : std::map<std::string, std::string>{
             {"pt_BR.UTF-8", "pt"}, {"fil_PH", "fil"}, {"zh-Hant-TW", "zh"}, {"DE", "de"}}) {
        EXPECT_EQ(code(std::vector{first, std::string("en")}), expected);
    }
    EXPECT_EQ(code(std::vector<std::string>{}), "en");
}

TEST(InterfaceLanguage, UserLanguagesWithTextsThenEnglish) {
    const testing::ScratchFolder catalogues("language");
    for (const char* language : {"fr", "fil", "pt_BR"}) {
        testing::writeText(catalogues / language / "LC_MESSAGES" / "murmlark-ovra.mo", "mo");
    }
    const struct {
        std::map<std::string, std::string> env;
        std::vector<std::string> expected;
    } cases[] = {
        {{{"LANG", "de_DE.UTF-8"}, {"LANGUAGE", "de:fr:en"}}, {"fr", "en", "en"}},
        {{{"LANG", "fil_PH.UTF-8"}}, {"fil_PH.UTF-8", "en"}},
        {{{"LC_ALL", "pt_BR.UTF-8"}, {"LANG", "fr_FR"}}, {"pt_BR.UTF-8", "en"}},
        {{{"LANG", "C.UTF-8"}, {"LANGUAGE", "fr"}}, {"en"}},  // C ignores LANGUAGE
        {{{"LANG", "ja_JP.UTF-8"}}, {"en"}},                  // no Japanese texts
        {{}, {"en"}},
    };
    for (const auto& c : cases) {
        const Environment env = [&](const char* name) -> std::optional<std::string> {
            const auto it = c.env.find(name);
            return it == c.env.end() ? std::nullopt : std::optional(it->second);
        };
        EXPECT_EQ(preferredLocalizations(env, catalogues.path()), c.expected);
    }
}

}  // namespace
}  // namespace ovra::InterfaceLanguage
