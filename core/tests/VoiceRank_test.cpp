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
        V expected;
        std::optional<std::string> systemDefault = std::nullopt;
    };
    const Case cases[] = {
        {"quality", {voice("default", "Ann", 1), voice(eddy, "Eddy", 3)}, {eddy, "default"}},
        {"family",
         {voice(eddy, "A", 2), voice(fred, "A", 2), voice(zoe, "Z", 2)},
         {zoe, fred, eddy}},
        {"system default first among equals", alexBea, {"b", "a"}, "b"},
        {"unknown default", alexBea, {"a", "b"}, "nobody"},
        {"quality over default", {voice("a", "Alex", 2), voice("b", "Bea", 1)}, {"a", "b"}, "b"},
        // "es-mx" is not exactly "es-MX", so it falls to the name rule.
        {"Latin American Spanish first",
         {voice("es", "Alma", 1, "es-ES"), voice("419", "Zara", 1, "es-419"),
          voice("mx", "Yoli", 1, "es-MX"), voice("mx2", "Y", 1, "es-mx")},
         {"mx", "419", "es", "mx2"}},
        // Names compare by code points of composed text, whatever the encoding.
        {"Z before a", {voice("a", "anna", 1), voice("z", "Zed", 1)}, {"z", "a"}},
        {"É after F", {voice("e", "E\u0301mile", 1), voice("f", "Fay", 1)}, {"f", "e"}},
        {"composed is decomposed",
         {voice("d", "E\u0301mile", 1), voice("c", "\u00C9mile", 1)},
         {"d", "c"}},
        {"U+1F600 after U+FF21",
         {voice("emoji", "\U0001F600", 1), voice("ff", "\uFF21", 1)},
         {"ff", "emoji"}},
        {"invalid UTF-8",
         {voice("bad", std::string("\xff\xfe", 2), 1), voice("ok", "Bob", 1)},
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
