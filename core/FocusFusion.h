#pragma once

// Fusion of one candidate: the guess from the kind of control, the built-in rules and the
// classifier's answer merged into a category, a verdict, a ranking score, a display label and
// the "why this?" text. Texts that must stay visible (warnings, a control naming its own
// action, prices) are kept from being veiled as distractions.

#include <array>
#include <cstddef>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/Candidate.h"
#include "core/DarkPatternPrior.h"
#include "core/FocusCategory.h"
#include "core/FocusPlan.h"

namespace ovra::FocusPlanner {

// One real number per category, in declaration order; a category never set counts as 0.
struct Probabilities {
    std::array<double, 4> values{};

    double operator[](FocusCategory c) const { return values[static_cast<std::size_t>(c)]; }
    double& operator[](FocusCategory c) { return values[static_cast<std::size_t>(c)]; }
    friend bool operator==(const Probabilities&, const Probabilities&) = default;
};

// The English words naming a category in explanations ("a way out or back"...).
std::string_view categoryWords(FocusCategory category);
// Essential value (0...1) and focus level (0...2) a category implies.
double essentialByCategory(FocusCategory category);
double scoreByCategory(FocusCategory category);

// The decision's probability per category, by wire string; missing or non-finite entries
// count as 0. Finite values are taken unchanged.
Probabilities modelProbabilities(const ModelDecision& decision);

// The item for one candidate; `model` is null when the classifier gave no decision for it.
FocusItem fuse(const UICandidate& candidate, const ModelDecision* model);

// What one label says, worked out once for every control that carries it.
struct LabelFacts {
    std::string_view label;                 // UICandidate::label(), kept by the memo
    std::string normalized;                 // DarkPatternPrior::normalized(label)
    DarkPatternPrior::Screening screening;  // DarkPatternPrior::screen(normalized)

    // The first kind of text that must stay visible the label is; on first use.
    enum class Kept { nothing, warning, ownAction, price };
    std::optional<Kept> keptVisible;
    std::optional<bool> leavesPopup;  // the planner's pop-up wording; on first use

    // The rules' opinion of a control with this label, by the other fields the rules read.
    struct RuleOpinion {
        std::string role;
        std::optional<std::string> subrole;
        std::string value;
        std::optional<Prior> prior;
    };
    // The first opinion formed, held here since most labels are only ever read with one role,
    // then the others in a list, so that an opinion stays where it is while others are added.
    std::optional<RuleOpinion> firstOpinion;
    std::list<RuleOpinion> otherOpinions;
};

// Caches for the fusion of one window's candidates: controls that read alike (long pages
// repeat "Reply", "Share", "More"...) share one label, one rule evaluation and one
// explanation. One per plan; not to be shared between threads.
class FusionMemo {
  public:
    // With room made for the labels of that many controls up front, so that a big window's
    // labels go in without the table growing step by step.
    explicit FusionMemo(std::size_t controls = 0);
    ~FusionMemo();
    FusionMemo(const FusionMemo&) = delete;
    FusionMemo& operator=(const FusionMemo&) = delete;

    // Controls with the same label share its facts. Valid while the memo lives.
    LabelFacts& facts(const UICandidate& candidate);
    // `facts` are the candidate's own.
    const std::optional<Prior>& prior(const UICandidate& candidate, LabelFacts& facts);
    const std::string& explanation(FocusCategory category, FocusVerdict verdict, const Prior* prior,
                                   const ModelDecision* model, const Probabilities& probs,
                                   const std::optional<std::string>& protectedReason);

  private:
    struct Tables;
    std::unique_ptr<Tables> tables_;
};

FocusItem fuse(const UICandidate& candidate, const ModelDecision* model, FusionMemo& memo);
// The same with the facts of the candidate's label already looked up in the memo.
FocusItem fuse(const UICandidate& candidate, const ModelDecision* model, FusionMemo& memo,
               LabelFacts& facts);

// The "why this?" text: a protection reason alone, else what the rule and the model said
// and whether the control is reachable.
std::string explain(FocusCategory category, FocusVerdict verdict, const Prior* prior,
                    const ModelDecision* model, const Probabilities& probs,
                    const std::optional<std::string>& protectedReason);

// An explanation whose closing sentence on reachability ("Not highlighted…", "Press A…") fits
// the verdict `now` instead of `was`: a plan that raises or lowers a control after fusion must
// not leave W saying the opposite of what the screen shows.
std::string restated(std::string explanation, FocusVerdict was, FocusVerdict now);

}  // namespace ovra::FocusPlanner
