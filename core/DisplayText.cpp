#include "core/DisplayText.h"

#include <unicode/uchar.h>

#include "core/Text.h"

namespace ovra::text {
namespace {

bool reorders(UChar32 c) {
    return (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

bool isCombining(UChar32 c) {
    return (U_GET_GC_MASK(c) & U_GC_M_MASK) != 0;
}

// Plain printable ASCII with single inner spaces comes back as it is: most labels.
bool alreadyClean(std::string_view s) {
    if (s.empty()) {
        return true;
    }
    if (s.front() == ' ' || s.back() == ' ') {
        return false;
    }
    char last = 0;
    for (const char c : s) {
        if (c < 0x20 || c > 0x7E || (c == ' ' && last == ' ')) {
            return false;
        }
        last = c;
    }
    return true;
}

}  // namespace

std::string forDisplay(std::string_view utf8) {
    if (alreadyClean(utf8)) {
        return std::string(utf8);
    }
    const icu::UnicodeString in = fromUtf8(utf8);
    icu::UnicodeString out;
    bool pendingSpace = false;
    int marks = 0;
    for (int32_t i = 0; i < in.length(); i = in.moveIndex32(i, 1)) {
        const UChar32 c = in.char32At(i);
        if (isWhitespaceOrNewline(c)) {
            pendingSpace = !out.isEmpty();
            marks = 0;
            continue;
        }
        if (u_charType(c) == U_CONTROL_CHAR || reorders(c) || U_IS_UNICODE_NONCHAR(c)) {
            continue;
        }
        if (isCombining(c)) {
            if (++marks > kMaxCombiningMarks) {
                continue;
            }
        } else {
            marks = 0;
        }
        if (pendingSpace) {
            out.append(u' ');
            pendingSpace = false;
        }
        out.append(c);
    }
    return toUtf8(out);
}

}  // namespace ovra::text
