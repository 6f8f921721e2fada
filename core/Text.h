#pragma once

// UTF-8 text helpers on ICU. Text read from other apps is untrusted: invalid UTF-8 is repaired
// with U+FFFD where it enters, and every helper is locale-independent so that a user's locale
// (Turkish dotless i, for one) never changes a rule's result.

#include <unicode/unistr.h>

#include <optional>
#include <string>
#include <string_view>

namespace ovra::text {

// Decodes UTF-8, replacing each invalid sequence with U+FFFD.
icu::UnicodeString fromUtf8(std::string_view utf8);
std::string toUtf8(const icu::UnicodeString& text);

// Repairs invalid UTF-8 (U+FFFD per bad sequence); valid input comes back unchanged.
std::string repairUtf8(std::string_view utf8);
bool isValidUtf8(std::string_view utf8);

// True for the "white space and new lines" set: Unicode Zs, Zl, Zp, U+0009...U+000D, U+0085.
bool isWhitespaceOrNewline(UChar32 c);

// Removes white space and line breaks from both ends.
std::string trimmed(std::string_view utf8);
// The same as a piece of the text itself; none when the text is not valid UTF-8 (trimmed()
// repairs it).
std::optional<std::string_view> trimmedView(std::string_view utf8);
icu::UnicodeString trimmedUnicode(const icu::UnicodeString& text);

// Lower-cases with the root locale, whatever the default locale is.
std::string lowercased(std::string_view utf8);
std::string uppercased(std::string_view utf8);

// Number of user-perceived characters (grapheme clusters).
std::size_t characterCount(std::string_view utf8);

// The most bytes of one text another app gives (a name, a description, a value): enough for any
// label a person reads, and a bound on what lays it out, logs or speaks it.
inline constexpr std::size_t kMaxForeignTextBytes = 4096;
// The text cut to at most `maxBytes` bytes, on a UTF-8 character boundary (never inside a
// multi-byte sequence); shorter text comes back unchanged.
std::string boundedUtf8(std::string_view utf8, std::size_t maxBytes = kMaxForeignTextBytes);

}  // namespace ovra::text
