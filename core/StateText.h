#pragma once

// The plain English the classifier reads about one control: which window of which app the user
// is in, what the control is and is called, where it sits and whether it is inside a pop-up.
// The wording is the model's input contract and must not drift. Beside it, the rule that turns
// the classifier's raw answers for one control into a decision.

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "core/Candidate.h"
#include "core/FocusPlan.h"
#include "core/Rect.h"

namespace ovra {

namespace StateText {

// Accessibility role to the name the text uses ("AXButton" -> "button").
const std::unordered_map<std::string_view, std::string_view>& roleNames();

// Collapses every run of white space and line breaks to one space, trims both ends and keeps
// at most the first 160 Unicode scalars.
std::string clip(std::string_view text);

// "top", "middle" or "bottom", a space, then "left", "center" or "right": where the frame's
// centre lies in the window. "unknown" without a window of positive size.
std::string region(const Rect& frame, const std::optional<Rect>& window);

// The lines describing the candidate, joined by line feeds.
std::string build(const UICandidate& candidate, std::string_view app, std::string_view windowTitle,
                  const std::optional<Rect>& window);

}  // namespace StateText

namespace ModelAnswers {

using Probabilities = std::map<std::string, double, std::less<>>;

// The decision for one candidate from the chosen category label, every label's probability
// (kept as given), the essential value and the expected priority level (0...2).
ModelDecision decision(std::string id, std::string_view choice, Probabilities probabilities,
                       double essential, double score);

// Rounds to 4 decimal places, halves away from zero.
double round4(double value);

}  // namespace ModelAnswers

}  // namespace ovra
