#include "core/Text.h"

#include <gtest/gtest.h>
#include <unicode/locid.h>

#include <atomic>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "core/Regex.h"

namespace ovra {
namespace {

TEST(Text, RepairsUtf8AndTrimsWhiteSpaceOfEveryKind) {
    EXPECT_EQ(text::repairUtf8("caf\xC3"), "caf\xEF\xBF\xBD");
    EXPECT_EQ(text::repairUtf8("café"), "café");
    EXPECT_FALSE(text::isValidUtf8("\xC0\x80"));  // overlong NUL
    EXPECT_EQ(text::trimmed("  Save \n"), "Save");
    EXPECT_EQ(text::trimmed("\u00A0\u2003Save\u2028\u0085\t"), "Save");
    EXPECT_EQ(text::trimmed("Save  me"), "Save  me");
    // Zero-width space is not white space in this set.
    EXPECT_EQ(text::trimmed("\u200BSave"), "\u200BSave");
}

// Valid text is trimmed in place; what comes out must be what decoding, trimming and encoding
// again gives, for every kind of white space at either end and for invalid bytes.
TEST(Text, TrimmingInPlaceGivesWhatDecodingGives) {
    const std::vector<std::string> pieces = {
        " ",      "\t", "\n", "\u00A0",     "\u2028", "\u0085", "\u3000",
        "\u200B", "a",  "é",  "\U0001F600", "\xff",   "\xC3",   std::string(1, '\0'),
        "x y"};
    std::mt19937 rng(3);
    for (int i = 0; i < 3000; ++i) {
        std::string s;
        for (auto n = rng() % 6; n > 0; --n)
            s += pieces[rng() % pieces.size()];
        SCOPED_TRACE("\"" + s + "\"");
        ASSERT_EQ(text::trimmed(s), text::toUtf8(text::trimmedUnicode(text::fromUtf8(s))));
    }
}

TEST(Text, CaseMappingIgnoresTheDefaultLocale) {
    const icu::Locale saved = icu::Locale::getDefault();
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale::setDefault(icu::Locale("tr", "TR"), status);
    EXPECT_EQ(text::lowercased("SIGN IN"), "sign in");
    EXPECT_EQ(text::uppercased("title"), "TITLE");
    EXPECT_EQ(text::characterCount("👍🏽e\u0301"), 2u);  // user-perceived characters
    EXPECT_TRUE(Regex("sign in").search("SIGN IN"));
    icu::Locale::setDefault(saved, status);
}

TEST(Regex, SearchesAnywhereCaseInsensitively) {
    const Regex close("\\b(close|dismiss)\\b");
    EXPECT_TRUE(close.search("Please CLOSE this"));
    EXPECT_FALSE(close.search("closed"));
    const Regex anchored("^no thanks$");
    EXPECT_TRUE(anchored.search("No Thanks"));
    EXPECT_FALSE(anchored.search("No thanks, later"));
}

// Matchers are reused between searches and threads; no search may see another's text.
TEST(Regex, OnePatternSearchedFromManyThreadsAtOnce) {
    const Regex close("^(close|dismiss)\\b");
    std::atomic<int> wrong = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&close, &wrong, t] {
            for (int i = 0; i < 2000; ++i) {
                const bool closing = (i + t) % 2 == 0;
                const std::string label = closing ? "Close " + std::to_string(i) : "Open";
                if (close.search(label) != closing)
                    ++wrong;
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(wrong, 0);
}

// A hostile text times out as no match, and the next search starts afresh.
TEST(Regex, CatastrophicBacktrackingTimesOutAsNoMatch) {
    const Regex evil("^(a+)+$");
    const std::string hostile = std::string(40, 'a') + "!";
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(evil.search(hostile));
        EXPECT_TRUE(evil.search("aaaa"));
        EXPECT_FALSE(evil.search("aab"));
    }
}

TEST(RegexDeathTest, PatternThatDoesNotCompileAborts) {
    EXPECT_DEATH(Regex("(unclosed"), "does not compile");
}

}  // namespace
}  // namespace ovra
