#include "core/Text.h"

#include <unicode/brkiter.h>
#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <cstdint>
#include <memory>

namespace ovra::text {

icu::UnicodeString fromUtf8(std::string_view utf8) {
    // fromUTF8 substitutes U+FFFD for every ill-formed subsequence.
    return icu::UnicodeString::fromUTF8(
        icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
}

std::string toUtf8(const icu::UnicodeString& text) {
    std::string out;
    text.toUTF8String(out);
    return out;
}

bool isValidUtf8(std::string_view utf8) {
    const auto* s = reinterpret_cast<const uint8_t*>(utf8.data());
    const auto length = static_cast<int32_t>(utf8.size());
    int32_t i = 0;
    while (i < length) {
        UChar32 c;
        U8_NEXT(s, i, length, c);
        if (c < 0)
            return false;
    }
    return true;
}

std::string repairUtf8(std::string_view utf8) {
    if (isValidUtf8(utf8))
        return std::string(utf8);
    return toUtf8(fromUtf8(utf8));
}

bool isWhitespaceOrNewline(UChar32 c) {
    if (c >= 0x09 && c <= 0x0D)
        return true;
    if (c < 0x80)
        return c == u' ';  // the only ASCII space separator
    if (c == 0x85)
        return true;
    const auto type = static_cast<UCharCategory>(u_charType(c));
    return type == U_SPACE_SEPARATOR || type == U_LINE_SEPARATOR || type == U_PARAGRAPH_SEPARATOR;
}

icu::UnicodeString trimmedUnicode(const icu::UnicodeString& text) {
    int32_t start = 0;
    int32_t end = text.length();
    while (start < end) {
        const UChar32 c = text.char32At(start);
        if (!isWhitespaceOrNewline(c))
            break;
        start += U16_LENGTH(c);
    }
    while (end > start) {
        const int32_t last = text.moveIndex32(end, -1);
        if (!isWhitespaceOrNewline(text.char32At(last)))
            break;
        end = last;
    }
    return icu::UnicodeString(text, start, end - start);
}

std::optional<std::string_view> trimmedView(std::string_view utf8) {
    if (utf8.size() > static_cast<std::size_t>(INT32_MAX) || !isValidUtf8(utf8))
        return std::nullopt;
    // Valid text converts to itself, so its ends are trimmed in place, without converting.
    const auto* s = reinterpret_cast<const uint8_t*>(utf8.data());
    int32_t start = 0;
    int32_t end = static_cast<int32_t>(utf8.size());
    while (start < end) {
        int32_t next = start;
        UChar32 c;
        U8_NEXT(s, next, end, c);
        if (!isWhitespaceOrNewline(c))
            break;
        start = next;
    }
    while (end > start) {
        int32_t last = end - 1;
        while (last > start && U8_IS_TRAIL(s[last]))
            --last;
        int32_t next = last;
        UChar32 c;
        U8_NEXT(s, next, end, c);
        if (!isWhitespaceOrNewline(c))
            break;
        end = last;
    }
    return utf8.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start));
}

std::string trimmed(std::string_view utf8) {
    if (const auto view = trimmedView(utf8))
        return std::string(*view);
    return toUtf8(trimmedUnicode(fromUtf8(utf8)));
}

std::string lowercased(std::string_view utf8) {
    icu::UnicodeString s = fromUtf8(utf8);
    s.toLower(icu::Locale::getRoot());
    return toUtf8(s);
}

std::string uppercased(std::string_view utf8) {
    icu::UnicodeString s = fromUtf8(utf8);
    s.toUpper(icu::Locale::getRoot());
    return toUtf8(s);
}

std::size_t characterCount(std::string_view utf8) {
    const icu::UnicodeString s = fromUtf8(utf8);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> it(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status) || !it)
        return static_cast<std::size_t>(s.countChar32());
    it->setText(s);
    std::size_t count = 0;
    for (int32_t p = it->next(); p != icu::BreakIterator::DONE; p = it->next())
        ++count;
    return count;
}

std::string boundedUtf8(std::string_view utf8, std::size_t maxBytes) {
    if (utf8.size() <= maxBytes) {
        return std::string(utf8);
    }
    // Back off the continuation bytes of a character that would be cut in two.
    std::size_t end = maxBytes;
    while (end > 0 && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80) {
        --end;
    }
    return std::string(utf8.substr(0, end));
}

}  // namespace ovra::text
