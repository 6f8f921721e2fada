#include "core/Regex.h"

#include <unicode/regex.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "core/Text.h"

namespace ovra {

namespace {

using Matcher = std::unique_ptr<icu::RegexMatcher>;

// Enough for every thread that searches at once; a matcher beyond it is simply freed.
constexpr std::size_t kMaxIdleMatchers = 16;

}  // namespace

// Making a matcher costs more than most searches of a short label, so idle matchers are kept
// for reuse. Each one serves a single search at a time: it is taken out of the pool under the
// lock and put back when the search is over.
struct Regex::Impl {
    std::unique_ptr<icu::RegexPattern> pattern;
    std::mutex mutex;
    std::vector<Matcher> idle;

    Matcher take() {
        {
            const std::lock_guard lock(mutex);
            if (!idle.empty()) {
                Matcher matcher = std::move(idle.back());
                idle.pop_back();
                return matcher;
            }
        }
        UErrorCode status = U_ZERO_ERROR;
        Matcher matcher(pattern->matcher(status));
        if (U_FAILURE(status) || !matcher)
            return nullptr;
        matcher->setTimeLimit(kTimeLimit, status);
        return U_SUCCESS(status) ? std::move(matcher) : nullptr;
    }

    void giveBack(Matcher matcher) {
        const std::lock_guard lock(mutex);
        if (idle.size() < kMaxIdleMatchers)
            idle.push_back(std::move(matcher));
    }
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
    Matcher matcher = impl_->take();
    if (!matcher)
        return false;
    // Resetting starts the search and its time limit afresh.
    matcher->reset(text);
    UErrorCode status = U_ZERO_ERROR;
    const bool found = matcher->find(status);
    // A time-out (U_REGEX_TIME_OUT) or stack overflow counts as no match; such a matcher is not
    // reused, so no state of a failed search can reach the next one.
    if (U_FAILURE(status))
        return false;
    impl_->giveBack(std::move(matcher));
    return found;
}

}  // namespace ovra
