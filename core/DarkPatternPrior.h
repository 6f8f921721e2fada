#pragma once

// The built-in rules: an opinion about each control from its wording and role, before (and
// without) any classifier. Also the word lists the planner consults directly: texts that must
// never be veiled, and the close and decline wording of pop-ups.

#include <unicode/unistr.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "core/Candidate.h"
#include "core/FocusCategory.h"
#include "core/Regex.h"

namespace ovra {

namespace DarkPatternPrior {

// One row of the rule table.
struct Rule {
    Prior prior;  // returned unchanged when the row fires
    Regex regex;
    std::optional<std::unordered_set<std::string>> roles;  // absent: any role
    std::optional<int> maxWords;                           // absent: no limit

    // True when the role is allowed (an empty set allows none), the word count of the
    // normalized text is within the limit, and the pattern is found in the text.
    bool matches(std::string_view normalizedText, std::string_view role) const;
};

// Lower-cases, turns the typographic apostrophe into "'", collapses white space and line
// breaks to single spaces and trims spaces, ".", "…" and ":" from both ends. Also the text
// part of the per-app override keys.
std::string normalized(std::string_view text);

// Number of pieces of the text split at white space.
std::size_t wordCount(std::string_view text);

// The rule table, tried in order; built once.
const std::vector<Rule>& rules();
// Marketing wording of an opt-in check box.
const Regex& marketingRegex();

// What one pass of cheap word tests over a normalized label finds: the rules, and the pop-up
// close words, that may apply to it. Worked out once per label, it serves both the rules and
// PopupWords::namesPopup.
struct Screening {
    std::uint32_t found = 0;  // one bit per screened word list
};
Screening screen(std::string_view normalizedLabel);

// The first applicable rule's opinion about the candidate; none when no rule applies.
std::optional<Prior> evaluate(const UICandidate& candidate);
// The same with the candidate's label() already put through normalized().
std::optional<Prior> evaluateNormalized(const UICandidate& candidate,
                                        std::string_view normalizedLabel);
// The same with that normalized label already screened.
std::optional<Prior> evaluateScreened(const UICandidate& candidate,
                                      std::string_view normalizedLabel, Screening screening);

}  // namespace DarkPatternPrior

// Texts that must stay visible however the control is classified. Each test takes the text
// unchanged, as UTF-8 or already decoded (to test one text several ways, decoding it once).
namespace ProtectedText {

bool isWarning(std::string_view text);
bool hasPrice(std::string_view text);
// Starts with a verb naming its own action and carries no advert marker.
bool isMarketingOnAction(std::string_view text);

bool isWarningUnicode(const icu::UnicodeString& text);
bool hasPriceUnicode(const icu::UnicodeString& text);
bool isMarketingOnActionUnicode(const icu::UnicodeString& text);

}  // namespace ProtectedText

// Close and decline wording of pop-ups, used to find a pop-up's way out.
namespace PopupWords {

// Close wording followed later by the name of a pop-up ("Close this dialog"); text unchanged.
bool namesPopup(std::string_view text);
// The same given the screening of the text's normalized form, which rules out most texts.
bool namesPopup(std::string_view text, DarkPatternPrior::Screening normalizedScreening);
// Starts with close wording, or is a lone close symbol; text unchanged.
bool isClose(std::string_view text);
// The whole text, trimmed, declines an offer ("No thanks", "Maybe later").
bool declinesOffer(std::string_view text);

}  // namespace PopupWords
}  // namespace ovra
