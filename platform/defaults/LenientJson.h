#pragma once

// Reads a settings file's text so that one value that cannot be read costs only its own key:
// a number too large for a double ("dimLevel": 1e309) or a string that is not UTF-8 is read as
// null, and whoever reads that key falls back to its default. Any other fault of the text (bad
// syntax, a bad key) fails the whole text, with a reason a person can act on.

#include <string_view>

#include "core/Json.h"
#include "core/Result.h"

namespace ovra::LenientJson {

struct Parsed {
    Json value;
    int unreadable = 0;  // values read as null
};

Result<Parsed> parse(std::string_view text);

}  // namespace ovra::LenientJson
