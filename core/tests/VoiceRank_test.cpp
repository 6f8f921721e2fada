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
}

TEST(VoiceRankSorted, QualityThenFamilyThenDefaultThenLanguageThenName) {
    const std::string eddy = "com.apple.eloquence.en.Eddy";
    const std::string fred = "com.apple.speech.synthesis.voice.Fred";
    const std::string zoe = "com.apple.voice.enhanced.Zoe";
    const std::vector<Voice> alexBea{voice("a", "Alex", 1), voice("b", "Bea", 1)};
    struct Case {
        const char* what;
        std::vector<Voice> voices;
        std::optional<std::string> systemDefault;
        V expected;
    };
    const Case cases[] = {
        {"quality before family",
         {voice("modern.default", "Ann", 1), voice(eddy, "Eddy", 3)},
         std::nullopt,
         {eddy, "modern.default"}},
        {"family among equal quality",
         {voice(eddy, "A", 2), voice(fred, "A", 2), voice(zoe, "Z", 2)},
         std::nullopt,
         {zoe, fred, eddy}},
        {"system default first among equals", alexBea, "b", {"b", "a"}},
        {"unknown default", alexBea, "nobody", {"a", "b"}},
        {"better voices above a worse default",
         {voice("a", "Alex", 2), voice("b", "Bea", 1)},
         "b",
         {"a", "b"}},
        // "es-mx" is not exactly "es-MX", so it falls to the name rule.
        {"Latin American Spanish first",
         {voice("es", "Alma", 1, "es-ES"), voice("419", "Zara", 1, "es-419"),
          voice("mx", "Yoli", 1, "es-MX"), voice("mx2", "Y", 1, "es-mx")},
         std::nullopt,
         {"mx", "419", "es", "mx2"}},
        // Names compare by code points of composed text.
        {"capital Z before small a",
         {voice("a", "anna", 1), voice("z", "Zed", 1)},
         std::nullopt,
         {"z", "a"}},
        {"E + acute composes to U+00C9, after F",
         {voice("decomposed", "E\u0301mile", 1), voice("f", "Fay", 1)},
         std::nullopt,
         {"f", "decomposed"}},
        {"composed and decomposed are one name",
         {voice("d", "E\u0301mile", 1), voice("c", "\u00C9mile", 1)},
         std::nullopt,
         {"d", "c"}},
        {"outside the basic plane after U+FFxx, unlike UTF-16",
         {voice("emoji", "\U0001F600", 1), voice("ff", "\uFF21", 1)},
         std::nullopt,
         {"ff", "emoji"}},
        {"invalid UTF-8 names",
         {voice("bad", std::string("\xff\xfe", 2), 1), voice("ok", "Bob", 1)},
         std::nullopt,
         {"ok", "bad"}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ids(VoiceRank::sorted(c.voices, c.systemDefault)), c.expected) << c.what;
}

TEST(VoiceRankSorted, EqualVoicesKeepIncomingOrder) {
    EXPECT_TRUE(VoiceRank::sorted({}, std::nullopt).empty());
    std::vector<Voice> voices;
    for (int i = 0; i < 20; ++i)
        voices.push_back(voice("v" + std::to_string(i), "Same", 1));
    EXPECT_EQ(VoiceRank::sorted(voices, std::nullopt), voices);
}

}  // namespace
}  // namespace ovra
