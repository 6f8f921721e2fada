#include "core/OvraTokenizer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unicode/regex.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/Json.h"
#include "testing/Files.h"

namespace ovra {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Ids = std::vector<std::int32_t>;

std::string fixture(const std::string& name) {
    const char* root = std::getenv("OVRA_SOURCE_DIR");
    const std::string path =
        std::string(root ? root : ".") + "/core/tests/fixtures/tokenizer/" + name;
    const std::string text = testing::readText(path);
    EXPECT_FALSE(text.empty()) << "missing fixture " << path;
    return text;
}

// A tokenizer.json with the given model parts (JSON text) and the rest of the file optional.
std::string tokenizerJson(const std::string& vocab, const std::string& merges,
                          const std::string& extra = "") {
    return R"({"model": {"type": "BPE", "vocab": )" + vocab + R"(, "merges": )" + merges + "}" +
           (extra.empty() ? "" : ", " + extra) + "}";
}

const std::string kMetaspace = R"("pre_tokenizer": {"type": "Metaspace"})";

// The expected ids of each fixture come from the fixture generator's own reference encoder.
void expectFixtureCases(const std::string& name, OvraTokenizer::Mode mode) {
    const OvraTokenizer tokenizer(fixture(name + ".json"));
    EXPECT_EQ(tokenizer.mode(), mode);
    const auto cases = json::parse(fixture(name + ".expected.json"));
    ASSERT_TRUE(cases.ok());
    ASSERT_GE(cases->size(), 10u);
    for (const Json& c : *cases) {
        const auto text = c["text"].get<std::string>();
        const int maxLength = c["max_length"].get<int>();
        const auto expected = c["ids"].get<Ids>();
        EXPECT_EQ(tokenizer.encode(text, maxLength), expected) << name << ": " << c.dump();
        // Encoding again comes from the word cache and must not differ.
        EXPECT_EQ(tokenizer.encode(text, maxLength), expected) << name << " (cached)";

        Ids ids = expected, mask(expected.size(), 1);
        ids.resize(static_cast<std::size_t>(maxLength), tokenizer.pad());
        mask.resize(static_cast<std::size_t>(maxLength), 0);
        const auto padded = tokenizer.encodePadded(text, maxLength);
        EXPECT_EQ(padded.ids, ids);
        EXPECT_EQ(padded.mask, mask);
    }
}

TEST(OvraTokenizer, ByteLevelFixtureEncodesAsTheReference) {
    expectFixtureCases("bytelevel", OvraTokenizer::Mode::byteLevel);
    // The vocabulary says 900 for "[CLS]"; the added token's id 1 replaces it.
    EXPECT_EQ(OvraTokenizer(fixture("bytelevel.json")).cls(), 1);
}

TEST(OvraTokenizer, MetaspaceFixtureEncodesAsTheReference) {
    expectFixtureCases("metaspace", OvraTokenizer::Mode::metaspace);
}

// Pieces of the expression as a regular expression engine finds them, for comparison.
std::vector<std::string> regexSplit(const std::string& text) {
    static const std::unique_ptr<icu::RegexPattern> pattern = [] {
        UErrorCode status = U_ZERO_ERROR;
        UParseError error{};
        return std::unique_ptr<icu::RegexPattern>(icu::RegexPattern::compile(
            icu::UnicodeString::fromUTF8(
                R"('s|'t|'re|'ve|'m|'ll|'d| ?\p{L}+| ?\p{N}+| ?[^\s\p{L}\p{N}]+|\s+(?!\S)|\s+)"),
            0, error, status));
    }();
    UErrorCode status = U_ZERO_ERROR;
    const icu::UnicodeString u = icu::UnicodeString::fromUTF8(text);
    std::unique_ptr<icu::RegexMatcher> m(pattern->matcher(u, status));
    std::vector<std::string> out;
    while (m->find(status)) {
        std::string piece;
        u.tempSubStringBetween(m->start(status), m->end(status)).toUTF8String(piece);
        out.push_back(piece);
    }
    return out;
}

TEST(OvraTokenizer, PreSplitAgreesWithTheExpressionItStandsFor) {
    // Letters, numbers of all three kinds, every kind of white space and some that only look
    // like it, apostrophes with and without contractions, marks, symbols and emoji.
    const std::vector<std::string> alphabet = {
        "a",  "Z",    "é",  "ß",  "日", "7", "٣",  "Ⅻ", "½",   " ", " ", "  ", "\t",
        "\n", "\r\n", "\v", "", " ",  " ", "　", " ", "​", "", "'", "'",  "s",
        "t",  "re",   "ve", "m",  "ll", "d", "S",  "!", "-",   ".", "́",  "😀",  "—"};
    std::mt19937 rng(20261206);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::uniform_int_distribution<int> length(0, 24);
    for (int round = 0; round < 5000; ++round) {
        std::string text;
        for (int i = length(rng); i > 0; --i)
            text += alphabet[pick(rng)];
        const auto words = OvraTokenizer::splitWords(text);
        ASSERT_EQ(std::vector<std::string>(words.begin(), words.end()), regexSplit(text))
            << "text: " << json::dump(Json(text));
    }
}

TEST(OvraTokenizer, ByteLevelMergesByRankAndDropsUnknownSymbols) {
    // "Ġ" (U+0120) stands for the space byte.
    const OvraTokenizer t(tokenizerJson(
        R"({"[CLS]": 101, "[SEP]": 102, "[PAD]": 100, "h": 10, "i": 11, "Ġ": 12, "hi": 13,
            "Ġhi": 14, "!": 15})",
        R"(["h i", ["Ġ", "hi"]])"));
    EXPECT_EQ(t.mode(), OvraTokenizer::Mode::byteLevel);
    EXPECT_THAT(t.encode("hi hi!", 16), ElementsAre(101, 13, 14, 15, 102));
    // "x" has no token and is dropped rather than mapped to an unknown id.
    EXPECT_THAT(t.encode("hix", 16), ElementsAre(101, 13, 102));
    EXPECT_THAT(t.encode("", 16), ElementsAre(101, 102));
}

TEST(OvraTokenizer, MergeRebuildsLeftToRightAndLaterDuplicatesWin) {
    const std::string vocab = R"({"a": 1, "b": 2, "c": 3, "aa": 4, "ab": 5, "bc": 6})";
    // Overlapping pairs: the pass merges the leftmost pair and steps over it.
    EXPECT_THAT(OvraTokenizer(tokenizerJson(vocab, R"(["a a"])")).encode("aaa", 8),
                ElementsAre(0, 4, 1, 0));
    // "b c" occurs twice and keeps its later rank 2, so "a b" (rank 1) merges first.
    EXPECT_THAT(OvraTokenizer(tokenizerJson(vocab, R"(["b c", "a b", "b c"])")).encode("abc", 8),
                ElementsAre(0, 5, 3, 0));
    EXPECT_THAT(OvraTokenizer(tokenizerJson(vocab, R"(["b c", "a b"])")).encode("abc", 8),
                ElementsAre(0, 1, 6, 0));
}

TEST(OvraTokenizer, MetaspaceFallsBackToUppercaseByteTokens) {
    // "é" is C3 A9 in UTF-8; "<0xA9>" is missing, so that byte is silently dropped.
    const OvraTokenizer t(
        tokenizerJson(R"({"▁": 5, "c": 6, "a": 7, "f": 8, "<0xC3>": 9, "<0xa9>": 10, "▁c": 11})",
                      R"(["▁ c"])", kMetaspace));
    EXPECT_EQ(t.mode(), OvraTokenizer::Mode::metaspace);
    EXPECT_THAT(t.encode("café", 16), ElementsAre(2, 11, 7, 8, 9, 1));
}

TEST(OvraTokenizer, MetaspaceWordsAndAddedWhitespaceTokens) {
    const std::string vocab = R"({"▁": 5, "a": 6, "b": 7, "▁a": 8, "▁b": 9})";
    const std::string merges = R"(["▁ a", "▁ b"])";
    const OvraTokenizer plain(tokenizerJson(vocab, merges, kMetaspace));
    // "  a b " reads "▁▁a▁b▁": words "▁", "▁a", "▁b", "▁".
    EXPECT_THAT(plain.encode("  a b ", 16), ElementsAre(2, 5, 8, 9, 5, 1));
    // No normalisation and no second mark in front of a piece that starts with a space.
    EXPECT_THAT(plain.encode(" a", 16), ElementsAre(2, 8, 1));

    const OvraTokenizer t(tokenizerJson(vocab, merges, kMetaspace + R"(, "added_tokens": [
        {"id": 20, "content": "  "}, {"id": 21, "content": "   "}, {"id": 22, "content": "\n"},
        {"id": 23, "content": "x"}, {"id": 24, "content": ""}])"));
    // The longest added white-space token wins.
    EXPECT_THAT(t.encode("a   b", 16), ElementsAre(2, 8, 21, 9, 1));
    EXPECT_THAT(t.encode("a    b", 16), ElementsAre(2, 8, 21, 9, 1));  // 3 + the space of " b"
    EXPECT_THAT(t.encode("a  \nb", 16), ElementsAre(2, 8, 20, 22, 9, 1));
    // A single space matches no added token and stays inside the piece.
    EXPECT_THAT(t.encode("a b", 16), ElementsAre(2, 8, 9, 1));
    // The walk stops once the budget is reached.
    EXPECT_THAT(t.encode("a  a  a  a", 5), ElementsAre(2, 8, 20, 8, 1));
    EXPECT_THAT(t.encode("a  a  a  a", 4), ElementsAre(2, 8, 20, 1));
}

TEST(OvraTokenizer, LengthsBelowTwoGiveNoIdsWithoutFailing) {
    for (const char* file : {"bytelevel.json", "metaspace.json"}) {
        const OvraTokenizer t(fixture(file));
        for (const int length : {1, 0, -1, -1000}) {
            EXPECT_TRUE(t.encode("Close", length).empty()) << file << " " << length;
        }
        EXPECT_THAT(t.encodePadded("Close", 1).ids, ElementsAre(t.pad()));
        EXPECT_THAT(t.encodePadded("Close", 1).mask, ElementsAre(0));
        EXPECT_TRUE(t.encodePadded("Close", 0).ids.empty());
        EXPECT_TRUE(t.encodePadded("Close", -5).mask.empty());
    }
}

TEST(OvraTokenizer, SpecialIdsFallBackPerMode) {
    const OvraTokenizer byteLevel(tokenizerJson(R"({"a": 4})", "[]"));
    EXPECT_EQ(byteLevel.cls(), 0);
    EXPECT_EQ(byteLevel.sep(), 0);
    EXPECT_EQ(byteLevel.pad(), 0);
    const OvraTokenizer metaspace(tokenizerJson(R"({"<eos>": 9})", "[]", kMetaspace));
    EXPECT_EQ(metaspace.cls(), 2);
    EXPECT_EQ(metaspace.sep(), 9);
    EXPECT_EQ(metaspace.pad(), 0);
    // Only the exact type "Metaspace" selects that mode.
    for (const char* other :
         {R"("pre_tokenizer": null)", R"("pre_tokenizer": {"type": "metaspace"})",
          R"("pre_tokenizer": {"type": 3})", R"("pre_tokenizer": "Metaspace")"}) {
        EXPECT_EQ(OvraTokenizer(tokenizerJson("{}", "[]", other)).mode(),
                  OvraTokenizer::Mode::byteLevel)
            << other;
    }
}

TEST(OvraTokenizer, VocabularyNumbersThatAreNoIdAreLeftOut) {
    const OvraTokenizer t(tokenizerJson(
        R"({"a": 2147483648, "b": -2147483649, "c": 1e300, "d": 7.9, "e": -3, "f": true,
            "g": "5", "h": null, "[CLS]": 2147483647, "[SEP]": -2147483648})",
        "[]"));
    EXPECT_EQ(t.cls(), 2147483647);
    EXPECT_EQ(t.sep(), -2147483648);
    EXPECT_THAT(t.encode("abcdefgh", 16), ElementsAre(2147483647, 7, -3, -2147483648));
}

TEST(OvraTokenizer, AddedTokensReplaceVocabularyEntriesAndOddOnesAreSkipped) {
    const OvraTokenizer t(tokenizerJson(R"({"[CLS]": 5, "a": 6})", "[]", R"("added_tokens": [
        {"id": 1, "content": "[CLS]"}, {"id": 3.0, "content": "a"}, {"id": 1.5, "content": "[SEP]"},
        {"content": "[PAD]"}, {"id": 4, "content": 7}, "junk"])"));
    EXPECT_EQ(t.cls(), 1);
    EXPECT_EQ(t.sep(), 0);
    EXPECT_THAT(t.encode("a", 8), ElementsAre(1, 3, 0));
    EXPECT_NO_THROW(OvraTokenizer(tokenizerJson("{}", "[]", R"("added_tokens": {"a": 1})")));
}

TEST(OvraTokenizer, UnusableFilesFailWithAClearError) {
    struct Case {
        std::string json;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"{\"model\": ", "not valid JSON"},
        {"[1, 2]", "top level is not an object"},
        {R"({"added_tokens": []})", "\"model\" is missing"},
        {R"({"model": []})", "\"model\" is missing or not an object"},
        {R"({"model": {"merges": []}})", "\"vocab\" is missing"},
        {R"({"model": {"vocab": [["a", 0.5]], "merges": []}})", "\"vocab\" is missing"},
        {R"({"model": {"vocab": {}}})", "\"merges\" is missing"},
        {R"({"model": {"vocab": {}, "merges": {}}})", "\"merges\" is missing"},
        {R"({"model": {"type": "Unigram", "vocab": [["a", -1.0]], "unk_id": 0}})", "Unigram model"},
        {tokenizerJson("{}", "[]", R"("added_tokens": [{"id": 4294967296, "content": "x"}])"),
         "outside the 32-bit range"},
        {tokenizerJson("{}", "[]", R"("added_tokens": [{"id": -2147483649, "content": "x"}])"),
         "outside the 32-bit range"},
    };
    for (const Case& c : cases) {
        EXPECT_THAT([&] { OvraTokenizer{c.json}; },
                    ::testing::ThrowsMessage<TokenizerError>(
                        ::testing::AllOf(HasSubstr(c.message), HasSubstr("tokenizer.json"))))
            << c.json;
    }
}

TEST(OvraTokenizer, WordCacheHoldsEachWordOnceUpToItsLimit) {
    const OvraTokenizer t(fixture("bytelevel.json"));
    EXPECT_EQ(t.cachedWordCount(), 0u);
    t.encode("Close close Close", 128);  // "Close", " close", " Close"
    EXPECT_EQ(t.cachedWordCount(), 3u);
    t.encode("Close close", 128);
    EXPECT_EQ(t.cachedWordCount(), 3u);

    for (int i = 0; i < 21000; ++i)
        t.encode("w" + std::to_string(i), 128);
    EXPECT_EQ(t.cachedWordCount(), OvraTokenizer::kCacheLimit);
    // Past the limit words are still encoded, just not remembered.
    const OvraTokenizer fresh(fixture("bytelevel.json"));
    EXPECT_EQ(t.encode("never seen before", 128), fresh.encode("never seen before", 128));
    EXPECT_EQ(t.encode("never seen before", 128), fresh.encode("never seen before", 128));
    EXPECT_EQ(t.cachedWordCount(), OvraTokenizer::kCacheLimit);
}

}  // namespace
}  // namespace ovra
