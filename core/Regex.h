#pragma once

// Case-insensitive ICU regular expressions, searched anywhere in a text (so "^" and "$" anchor
// at the two ends of the whole text). A pattern is compiled once and may be shared between
// threads; every search makes its own matcher, since matchers are not thread-safe.
//
// Labels come from other apps, so each search runs under a step limit: a search that runs out
// of time counts as no match instead of hanging the caller.

#include <unicode/unistr.h>

#include <memory>
#include <string_view>

namespace ovra {

class Regex final {
  public:
    // Aborts with a message when the pattern does not compile: a pattern in the source that
    // fails to compile is a programming error.
    explicit Regex(std::string_view pattern);
    ~Regex();
    Regex(Regex&&) noexcept;
    Regex& operator=(Regex&&) noexcept;
    Regex(const Regex&) = delete;
    Regex& operator=(const Regex&) = delete;

    bool search(std::string_view utf8) const;
    bool searchUnicode(const icu::UnicodeString& text) const;

    // The search time limit, in ICU's match steps (each roughly a millisecond's worth of work).
    static constexpr int32_t kTimeLimit = 50;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace ovra
