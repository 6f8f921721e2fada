#pragma once

// Lookup of the interface texts. The English wording is the key: a text without a
// translation comes back in English. Translations are gettext catalogues of the domain
// "murmlark-ovra".

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

namespace ovra {

// One argument of a formatted text: "%@" takes text, "%d"/"%lld" whole numbers, "%f" numbers.
using FormatArg = std::variant<std::string, std::int64_t, double>;

namespace OvraText {

inline constexpr const char* kDomain = "murmlark-ovra";

// Points the lookup at a folder of <language>/LC_MESSAGES/murmlark-ovra.mo catalogues.
void setCatalogueFolder(const std::string& folder);

// The translation of key, or key itself (always for a key holding a NUL); an empty key gives an
// empty text.
std::string t(std::string_view key);

// Marks an English literal as translatable where it is only stored; never translates.
constexpr std::string_view mark(std::string_view key) {
    return key;
}

// Looks key up as t does and formats the result with args in order. A translation whose
// placeholders differ from the key's is not used: the English key formats instead.
std::string f(std::string_view key, std::initializer_list<FormatArg> args);

// The text for a count: `one` where n takes the singular by the plural rules of the language
// the text is shown in, else `other`; looked up as t does and formatted with n ("%lld").
std::string plural(std::int64_t n, std::string_view one, std::string_view other);

// printf-like formatting of "%@", "%d", "%i", "%u", "%ld", "%lld", "%f", "%.Nf", "%%" and
// positional "%N$…" forms. Never fails: a missing argument formats as nothing.
std::string format(std::string_view format, std::initializer_list<FormatArg> args);

// Whether two formats take the same arguments (position by position, by kind).
bool samePlaceholders(std::string_view a, std::string_view b);

}  // namespace OvraText
}  // namespace ovra
