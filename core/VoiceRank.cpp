#include "core/VoiceRank.h"

#include <unicode/normalizer2.h>

#include <algorithm>
#include <cstddef>
#include <numeric>

#include "core/Text.h"

namespace ovra::VoiceRank {

namespace {

// The canonically composed form in UTF-8: byte order of UTF-8 is code point order, so plain
// string comparison of these keys compares by code points.
std::string nameKey(std::string_view name) {
    const icu::UnicodeString text = ovra::text::fromUtf8(name);
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status) || nfc == nullptr)
        return ovra::text::toUtf8(text);
    const icu::UnicodeString normalized = nfc->normalize(text, status);
    return ovra::text::toUtf8(U_SUCCESS(status) ? normalized : text);
}

bool isLatinAmericanSpanish(std::string_view language) {
    return language == "es-MX" || language == "es-419";
}

}  // namespace

std::optional<Family> familyFromRawValue(int raw) {
    if (raw < 0 || raw > 2)
        return std::nullopt;
    return static_cast<Family>(raw);
}

Family family(std::string_view identifier) {
    if (identifier.starts_with("com.apple.eloquence."))
        return Family::eloquence;
    if (identifier.starts_with("com.apple.speech.synthesis.voice."))
        return Family::legacy;
    return Family::modern;
}

std::vector<Voice> sorted(std::vector<Voice> voices,
                          const std::optional<std::string>& systemDefault) {
    struct Key {
        int quality;
        Family family;
        bool isDefault;
        bool latinSpanish;
        std::string name;
    };
    std::vector<Key> keys;
    keys.reserve(voices.size());
    for (const Voice& v : voices)
        keys.push_back(Key{v.quality, family(v.identifier),
                           systemDefault.has_value() && v.identifier == *systemDefault,
                           isLatinAmericanSpanish(v.language), nameKey(v.name)});

    std::vector<std::size_t> order(voices.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t ia, std::size_t ib) {
        const Key& a = keys[ia];
        const Key& b = keys[ib];
        if (a.quality != b.quality)
            return a.quality > b.quality;
        if (a.family != b.family)
            return a.family > b.family;
        if (a.isDefault != b.isDefault)
            return a.isDefault;
        if (a.latinSpanish != b.latinSpanish)
            return a.latinSpanish;
        return a.name < b.name;
    });

    std::vector<Voice> result;
    result.reserve(voices.size());
    for (const std::size_t i : order)
        result.push_back(std::move(voices[i]));
    return result;
}

}  // namespace ovra::VoiceRank
