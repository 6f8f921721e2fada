#include "core/VoiceRank.h"

#include <gtest/gtest.h>

namespace ovra {
namespace {

using VoiceRank::Family;
using VoiceRank::Voice;

Voice voice(std::string id, std::string name, int quality, std::string language = "en-US") {
    return Voice{std::move(id), std::move(name), std::move(language), quality};
}

std::vector<std::string> ids(const std::vector<Voice>& voices) {
    std::vector<std::string> out;
    for (const Voice& v : voices)
        out.push_back(v.identifier);
    return out;
}

using V = std::vector<std::string>;

TEST(VoiceRankFamily, ByCaseSensitivePrefix) {
    EXPECT_EQ(VoiceRank::family("com.apple.eloquence.en-US.Rocko"), Family::eloquence);
    EXPECT_EQ(VoiceRank::family("com.apple.speech.synthesis.voice.Fred"), Family::legacy);
    EXPECT_EQ(VoiceRank::family("com.apple.voice.premium.en-US.Zoe"), Family::modern);
    EXPECT_EQ(VoiceRank::family("COM.APPLE.ELOQUENCE.x"), Family::modern);
    EXPECT_EQ(VoiceRank::family("com.apple.eloquence"), Family::modern);
    EXPECT_EQ(VoiceRank::familyFromRawValue(3), std::nullopt);
    EXPECT_EQ(VoiceRank::familyFromRawValue(-1), std::nullopt);
}

TEST(VoiceRankSorted, QualityDecidesBeforeFamily) {
    const auto out = VoiceRank::sorted(
        {voice("modern.default", "Ann", 1), voice("com.apple.eloquence.en.Eddy", "Eddy", 3)},
        std::nullopt);
    EXPECT_EQ(ids(out), (V{"com.apple.eloquence.en.Eddy", "modern.default"}));
}

TEST(VoiceRankSorted, FamilyOrdersEqualQuality) {
    const auto out = VoiceRank::sorted({voice("com.apple.eloquence.en.Eddy", "A", 2),
                                        voice("com.apple.speech.synthesis.voice.Fred", "A", 2),
                                        voice("com.apple.voice.enhanced.Zoe", "Z", 2)},
                                       std::nullopt);
    EXPECT_EQ(ids(out), (V{"com.apple.voice.enhanced.Zoe", "com.apple.speech.synthesis.voice.Fred",
                           "com.apple.eloquence.en.Eddy"}));
}

TEST(VoiceRankSorted, SystemDefaultFirstAmongEquals) {
    const std::vector<Voice> voices{voice("a", "Alex", 1), voice("b", "Bea", 1)};
    EXPECT_EQ(ids(VoiceRank::sorted(voices, "b")), (V{"b", "a"}));
    EXPECT_EQ(ids(VoiceRank::sorted(voices, "nobody")), (V{"a", "b"}));
    EXPECT_EQ(ids(VoiceRank::sorted(voices, std::nullopt)), (V{"a", "b"}));
    // A default of lower quality still ranks below better voices.
    EXPECT_EQ(ids(VoiceRank::sorted({voice("a", "Alex", 2), voice("b", "Bea", 1)}, "b")),
              (V{"a", "b"}));
}

TEST(VoiceRankSorted, LatinAmericanSpanishBeforeOtherLanguages) {
    const auto out =
        VoiceRank::sorted({voice("es", "Alma", 1, "es-ES"), voice("419", "Zara", 1, "es-419"),
                           voice("mx", "Yoli", 1, "es-MX"), voice("mx2", "Y", 1, "es-mx")},
                          std::nullopt);
    // "es-mx" is not exactly "es-MX", so it falls to the name rule.
    EXPECT_EQ(ids(out), (V{"mx", "419", "es", "mx2"}));
}

TEST(VoiceRankSorted, NamesByCodePointsOfComposedText) {
    // Capital Z (U+005A) comes before small a (U+0061).
    EXPECT_EQ(ids(VoiceRank::sorted({voice("a", "anna", 1), voice("z", "Zed", 1)}, std::nullopt)),
              (V{"z", "a"}));
    // "E" + combining acute composes to U+00C9, which sorts after "F" (U+0046).
    EXPECT_EQ(ids(VoiceRank::sorted({voice("decomposed", "E\u0301mile", 1), voice("f", "Fay", 1)},
                                    std::nullopt)),
              (V{"f", "decomposed"}));
    // Composed and decomposed spellings are the same name and keep their order.
    EXPECT_EQ(ids(VoiceRank::sorted({voice("d", "E\u0301mile", 1), voice("c", "\u00C9mile", 1)},
                                    std::nullopt)),
              (V{"d", "c"}));
    // A code point outside the basic plane sorts after U+FFxx, unlike UTF-16 order.
    EXPECT_EQ(ids(VoiceRank::sorted({voice("emoji", "\U0001F600", 1), voice("ff", "\uFF21", 1)},
                                    std::nullopt)),
              (V{"ff", "emoji"}));
}

TEST(VoiceRankSorted, EqualVoicesKeepIncomingOrder) {
    EXPECT_TRUE(VoiceRank::sorted({}, std::nullopt).empty());
    std::vector<Voice> voices;
    for (int i = 0; i < 20; ++i)
        voices.push_back(voice("v" + std::to_string(i), "Same", 1));
    EXPECT_EQ(VoiceRank::sorted(voices, std::nullopt), voices);
}

TEST(VoiceRankSorted, InvalidUtf8NamesDoNotBreakTheOrder) {
    const auto out = VoiceRank::sorted(
        {voice("bad", std::string("\xff\xfe", 2), 1), voice("ok", "Bob", 1)}, std::nullopt);
    EXPECT_EQ(ids(out), (V{"ok", "bad"}));
}

}  // namespace
}  // namespace ovra
