#include "core/Text.h"

#include <gtest/gtest.h>
#include <unicode/locid.h>

#include "core/Regex.h"

namespace ovra {
namespace {

TEST(Text, InvalidUtf8IsRepairedWithReplacementCharacter) {
    EXPECT_EQ(text::repairUtf8("ok\xff!"), "ok\xEF\xBF\xBD!");
    EXPECT_EQ(text::repairUtf8("caf\xC3"), "caf\xEF\xBF\xBD");
    EXPECT_EQ(text::repairUtf8("café"), "café");
    EXPECT_FALSE(text::isValidUtf8("\xC0\x80"));  // overlong NUL
}

TEST(Text, TrimsWhitespaceAndNewlinesOfEveryKind) {
    EXPECT_EQ(text::trimmed("  Save \n"), "Save");
    EXPECT_EQ(text::trimmed("\u00A0\u2003Save\u2028\u0085\t"), "Save");
    EXPECT_EQ(text::trimmed("Save  me"), "Save  me");
    EXPECT_EQ(text::trimmed(" \n\t "), "");
    // Zero-width space is not white space in this set.
    EXPECT_EQ(text::trimmed("\u200BSave"), "\u200BSave");
}

TEST(Text, CaseMappingIgnoresTheDefaultLocale) {
    const icu::Locale saved = icu::Locale::getDefault();
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale("tr", "TR"), status);
    EXPECT_EQ(text::lowercased("SIGN IN"), "sign in");
    EXPECT_EQ(text::uppercased("title"), "TITLE");
    EXPECT_TRUE(Regex("sign in").search("SIGN IN"));
    icu::Locale::setDefault(saved, status);
}

TEST(Text, CountsUserPerceivedCharacters) {
    EXPECT_EQ(text::characterCount("e\u0301"), 1u);
    EXPECT_EQ(text::characterCount("👍🏽ok"), 3u);
    EXPECT_EQ(text::characterCount(""), 0u);
}

TEST(Regex, SearchesAnywhereCaseInsensitively) {
    const Regex close("\\b(close|dismiss)\\b");
    EXPECT_TRUE(close.search("Please CLOSE this"));
    EXPECT_FALSE(close.search("closed"));
    const Regex anchored("^no thanks$");
    EXPECT_TRUE(anchored.search("No Thanks"));
    EXPECT_FALSE(anchored.search("No thanks, later"));
}

TEST(Regex, CatastrophicBacktrackingTimesOutAsNoMatch) {
    const Regex evil("^(a+)+$");
    const std::string hostile = std::string(40, 'a') + "!";
    EXPECT_FALSE(evil.search(hostile));
    EXPECT_TRUE(evil.search("aaaa"));
}

TEST(RegexDeathTest, PatternThatDoesNotCompileAborts) {
    EXPECT_DEATH(Regex("(unclosed"), "does not compile");
}

}  // namespace
}  // namespace ovra
