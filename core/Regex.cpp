#include "core/Regex.h"

#include <unicode/regex.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/Text.h"

namespace ovra {

struct Regex::Impl {
    std::unique_ptr<icu::RegexPattern> pattern;
};

Regex::Regex(std::string_view pattern) : impl_(std::make_unique<Impl>()) {
    UErrorCode status = U_ZERO_ERROR;
    UParseError parseError{};
    impl_->pattern.reset(icu::RegexPattern::compile(text::fromUtf8(pattern),
                                                    UREGEX_CASE_INSENSITIVE, parseError, status));
    if (U_FAILURE(status) || !impl_->pattern) {
        std::fprintf(stderr,
                     "murmlark: regular expression does not compile (%s at offset %d): %.*s\n",
                     u_errorName(status), parseError.offset, static_cast<int>(pattern.size()),
                     pattern.data());
        std::abort();
    }
}

Regex::~Regex() = default;
Regex::Regex(Regex&&) noexcept = default;
Regex& Regex::operator=(Regex&&) noexcept = default;

bool Regex::search(std::string_view utf8) const {
    return searchUnicode(text::fromUtf8(utf8));
}

bool Regex::searchUnicode(const icu::UnicodeString& text) const {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> matcher(impl_->pattern->matcher(text, status));
    if (U_FAILURE(status) || !matcher)
        return false;
    matcher->setTimeLimit(kTimeLimit, status);
    const bool found = matcher->find(status);
    // A time-out (U_REGEX_TIME_OUT) or stack overflow counts as no match.
    return U_SUCCESS(status) && found;
}

}  // namespace ovra
