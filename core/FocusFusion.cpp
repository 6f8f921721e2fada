#include "core/FocusFusion.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <unordered_map>

#include "core/DarkPatternPrior.h"
#include "core/DisplayText.h"
#include "core/OvraText.h"
#include "core/Text.h"

namespace ovra::FocusPlanner {

namespace {

constexpr FocusCategory kEssential = FocusCategory::essentialFormAction;
constexpr FocusCategory kDismissal = FocusCategory::dismissalOrExit;
constexpr FocusCategory kDistraction = FocusCategory::distractionOrUpsell;
constexpr FocusCategory kLegal = FocusCategory::legalOrPassive;

struct CategoryRow {
    std::string_view words;
    double essential;
    double score;
};

const CategoryRow& row(FocusCategory category) {
    static constexpr std::array<CategoryRow, 4> rows{{
        {OvraText::mark("a main action or field"), 0.85, 1.8},
        {OvraText::mark("a way out or back"), 0.3, 1.1},
        {OvraText::mark("an advert, upsell or survey"), 0.05, 0.1},
        {OvraText::mark("background information"), 0.1, 0.6},
    }};
    return rows[static_cast<std::size_t>(category)];
}

// Into [low, high]; NaN becomes low so it never reaches a comparison.
double clamped(double value, double low, double high) {
    if (std::isnan(value))
        return low;
    return std::clamp(value, low, high);
}

Probabilities defaultProbabilities(const UICandidate& candidate) {
    Probabilities p;
    if (candidate.role == "AXLink") {
        p.values = {0.35, 0.05, 0.1, 0.5};
    } else {
        p.values = {0.55, 0.1, 0.05, 0.3};
    }
    return p;
}

// The first category, in the given order, with the strictly largest value.
template <std::size_t N>
FocusCategory firstLargest(const Probabilities& p, const std::array<FocusCategory, N>& order) {
    FocusCategory best = order[0];
    for (FocusCategory c : order) {
        if (p[c] > p[best])
            best = c;
    }
    return best;
}

// Garbage from the model must not reach the text: NaN counts as 0, and the percentage stays
// within 0...100.
std::int64_t percentOf(const Probabilities& probs, FocusCategory category) {
    return static_cast<std::int64_t>(clamped(std::round(probs[category] * 100), 0, 100));
}

// Which text that must stay visible the label is, tested once per label and in this order.
LabelFacts::Kept keptVisible(LabelFacts& facts) {
    if (!facts.keptVisible) {
        const icu::UnicodeString text = text::fromUtf8(facts.label);
        if (ProtectedText::isWarningUnicode(text)) {
            facts.keptVisible = LabelFacts::Kept::warning;
        } else if (ProtectedText::isMarketingOnActionUnicode(text)) {
            facts.keptVisible = LabelFacts::Kept::ownAction;
        } else if (ProtectedText::hasPriceUnicode(text)) {
            facts.keptVisible = LabelFacts::Kept::price;
        } else {
            facts.keptVisible = LabelFacts::Kept::nothing;
        }
    }
    return *facts.keptVisible;
}

const std::string kReasonWarning = "Kept visible: looks like an error or warning";
const std::string kReasonOwnAction =
    "Kept visible: it names its own action, which may be what you came for";
const std::string kReasonPrice = "Kept visible: shows a price";

}  // namespace

std::string_view categoryWords(FocusCategory category) {
    return row(category).words;
}
double essentialByCategory(FocusCategory category) {
    return row(category).essential;
}
double scoreByCategory(FocusCategory category) {
    return row(category).score;
}

Probabilities modelProbabilities(const ModelDecision& decision) {
    // One walk over the entries: the wire strings mostly differ in length, so comparing each
    // entry with them costs less than looking each of them up.
    Probabilities p;
    for (const auto& [key, value] : decision.classificationProbabilities) {
        if (!std::isfinite(value))
            continue;
        for (FocusCategory c : FocusCategories::allCases) {
            if (rawValue(c) == key) {
                p[c] = value;
                break;
            }
        }
    }
    return p;
}

namespace {

// UICandidate::label(), as a piece of the title or description when neither needs repair.
std::string_view labelOf(const UICandidate& c, std::string& repaired) {
    const auto title = text::trimmedView(c.title);
    if (title && !title->empty())
        return *title;
    const auto description = text::trimmedView(c.description);
    if (title && description)
        return *description;
    repaired = c.label();
    return repaired;
}

// Looks strings up by their text, so that a lookup needs no string of its own.
struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const {
        return std::hash<std::string_view>{}(text);
    }
};

}  // namespace

struct FusionMemo::Tables {
    // Keyed by the label; the facts' label is the key.
    std::unordered_map<std::string, LabelFacts, TextHash, std::equal_to<>> labels;
    std::unordered_map<std::string, std::string> explanations;
    // Explanation keys are built here, so that a hit allocates nothing.
    std::string key;
};

FusionMemo::FusionMemo(std::size_t controls) : tables_(std::make_unique<Tables>()) {
    tables_->labels.reserve(controls);
}
FusionMemo::~FusionMemo() = default;

LabelFacts& FusionMemo::facts(const UICandidate& c) {
    std::string repaired;
    const std::string_view label = labelOf(c, repaired);
    auto found = tables_->labels.find(label);
    if (found == tables_->labels.end()) {
        found = tables_->labels.emplace(label, LabelFacts{}).first;
        found->second.label = found->first;
        found->second.normalized = DarkPatternPrior::normalized(label);
        found->second.screening = DarkPatternPrior::screen(found->second.normalized);
    }
    return found->second;
}

const std::optional<Prior>& FusionMemo::prior(const UICandidate& c, LabelFacts& facts) {
    const auto formedFor = [&c](const LabelFacts::RuleOpinion& opinion) {
        return opinion.role == c.role && opinion.subrole == c.subrole && opinion.value == c.value;
    };
    if (facts.firstOpinion && formedFor(*facts.firstOpinion))
        return facts.firstOpinion->prior;
    for (const LabelFacts::RuleOpinion& opinion : facts.otherOpinions) {
        if (formedFor(opinion))
            return opinion.prior;
    }
    LabelFacts::RuleOpinion opinion{
        .role = c.role,
        .subrole = c.subrole,
        .value = c.value,
        .prior = DarkPatternPrior::evaluateScreened(c, facts.normalized, facts.screening)};
    if (!facts.firstOpinion)
        return facts.firstOpinion.emplace(std::move(opinion)).prior;
    return facts.otherOpinions.emplace_back(std::move(opinion)).prior;
}

const std::string& FusionMemo::explanation(FocusCategory category, FocusVerdict verdict,
                                           const Prior* prior, const ModelDecision* model,
                                           const Probabilities& probs,
                                           const std::optional<std::string>& protectedReason) {
    std::string& key = tables_->key;
    key.clear();
    key += static_cast<char>('0' + static_cast<int>(category));
    key += static_cast<char>('0' + static_cast<int>(verdict));
    if (model) {
        key += std::to_string(percentOf(probs, category));
    } else {
        key += '-';
    }
    key += '\x1f';
    if (prior) {
        key += prior->forceBeacon ? 'F' : 'R';
        key += prior->reason;
    }
    key += '\x1f';
    if (protectedReason)
        key += *protectedReason;
    auto found = tables_->explanations.find(key);
    if (found == tables_->explanations.end()) {
        found = tables_->explanations
                    .emplace(key, explain(category, verdict, prior, model, probs, protectedReason))
                    .first;
    }
    return found->second;
}

FocusItem fuse(const UICandidate& candidate, const ModelDecision* model) {
    FusionMemo memo;
    return fuse(candidate, model, memo);
}

FocusItem fuse(const UICandidate& candidate, const ModelDecision* model, FusionMemo& memo) {
    return fuse(candidate, model, memo, memo.facts(candidate));
}

FocusItem fuse(const UICandidate& candidate, const ModelDecision* model, FusionMemo& memo,
               LabelFacts& facts) {
    const std::optional<Prior>& prior = memo.prior(candidate, facts);
    const std::string_view label = facts.label;
    const Prior* rule = prior ? &*prior : nullptr;

    Probabilities p = model ? modelProbabilities(*model) : defaultProbabilities(candidate);
    if (rule) {
        const double w = model ? clamped(rule->weight, 0, 1) : 1.0;
        for (FocusCategory c : FocusCategories::allCases) {
            p[c] = (c == rule->category ? w : 0.0) + (1 - w) * p[c];
        }
    }

    FocusCategory category = firstLargest(p, FocusCategories::allCases);
    std::optional<std::string> protectedReason;
    const bool ruleSaysDistraction = rule && rule->category == kDistraction;
    if (category == kDistraction) {
        if (ruleSaysDistraction || p[kDistraction] >= 0.75) {
            switch (keptVisible(facts)) {
                case LabelFacts::Kept::warning:
                    category = kLegal;
                    protectedReason = kReasonWarning;
                    break;
                case LabelFacts::Kept::ownAction:
                    category = kLegal;
                    protectedReason = kReasonOwnAction;
                    break;
                case LabelFacts::Kept::price:
                    // A rule's distraction verdict yields only to a warning or an own action.
                    if (!ruleSaysDistraction) {
                        category = kLegal;
                        protectedReason = kReasonPrice;
                    }
                    break;
                case LabelFacts::Kept::nothing:
                    break;
            }
        } else {
            category = firstLargest(p, std::array{kEssential, kDismissal, kLegal});
        }
    }

    double e = essentialByCategory(category);
    double s = scoreByCategory(category);
    if (model) {
        const double w2 = rule ? clamped(rule->weight, 0, 1) : 0.0;
        e = e * w2 + clamped(model->isEssential, 0, 1) * (1 - w2);
        s = s * w2 + clamped(model->focusScore, 0, 2) * (1 - w2);
    }

    double score = 0.35 * e + 0.45 * (s * 0.5) + 0.2 * p[kEssential] - 0.3 * p[kDistraction];
    if (candidate.isFocused)
        score += 0.05;
    if (candidate.isTextInput() && candidate.value == "empty")
        score += 0.04;
    score = clamped(score, 0, 1);

    FocusVerdict verdict = FocusVerdict::available;
    bool forceBeacon = false;
    if (rule && rule->forceBeacon) {
        verdict = FocusVerdict::beacon;
        forceBeacon = true;
    } else if (category == kDistraction) {
        verdict = FocusVerdict::suppressed;
    } else if (category == kEssential && score >= 0.45) {
        verdict = FocusVerdict::beacon;
    }

    std::string displayLabel =
        rule && rule->plainLabel ? OvraText::t(*rule->plainLabel) : text::forDisplay(label);
    if (displayLabel.empty()) {
        displayLabel = OvraText::f("Unlabelled %@", {text::lowercased(candidate.roleName())});
    }

    return FocusItem{
        .candidate = candidate,
        .category = category,
        .verdict = verdict,
        .priority = score,
        .essential = e,
        .focusScore = s,
        .reason =
            protectedReason ? protectedReason : (rule ? std::optional(rule->reason) : std::nullopt),
        .source = model ? DecisionSource::vorn : DecisionSource::heuristic,
        .displayLabel = std::move(displayLabel),
        .forceBeacon = forceBeacon,
        .explanation = memo.explanation(category, verdict, rule, model, p, protectedReason)};
}

std::string explain(FocusCategory category, FocusVerdict verdict, const Prior* prior,
                    const ModelDecision* model, const Probabilities& probs,
                    const std::optional<std::string>& protectedReason) {
    if (protectedReason)
        return OvraText::t(*protectedReason) + ".";

    std::string out;
    const auto add = [&out](const std::string& sentence) {
        if (!out.empty())
            out += ' ';
        out += sentence;
    };
    const std::string word = OvraText::t(categoryWords(category));
    if (prior) {
        const std::string reason = text::lowercased(OvraText::t(prior->reason));
        if (prior->forceBeacon) {
            add(OvraText::f("Always shown, because it's your choice to make (%@).", {reason}));
        } else {
            add(OvraText::f("A built-in rule says this is probably %@ (%@).", {word, reason}));
        }
    }
    if (model) {
        add(OvraText::f("The on-device model is %lld%% sure it's %@.",
                        {percentOf(probs, category), word}));
    } else if (!prior) {
        add(OvraText::t("Guessed from the kind of control; the on-device model wasn't used."));
    }
    if (verdict == FocusVerdict::available && !(prior && prior->forceBeacon)) {
        add(OvraText::t("Not highlighted, but still reachable with A."));
    } else if (verdict == FocusVerdict::suppressed) {
        add(OvraText::t("Press A to see it."));
    }
    return out;
}

namespace {

std::string reachability(FocusVerdict verdict) {
    switch (verdict) {
        case FocusVerdict::available:
            return OvraText::t("Not highlighted, but still reachable with A.");
        case FocusVerdict::suppressed:
            return OvraText::t("Press A to see it.");
        case FocusVerdict::beacon:
            break;
    }
    return {};
}

}  // namespace

std::string restated(std::string explanation, FocusVerdict was, FocusVerdict now) {
    if (was == now) {
        return explanation;
    }
    const std::string old = reachability(was);
    if (!old.empty() && explanation.size() >= old.size() &&
        explanation.compare(explanation.size() - old.size(), old.size(), old) == 0) {
        explanation.resize(explanation.size() - old.size());
        while (!explanation.empty() && explanation.back() == ' ')
            explanation.pop_back();
    }
    const std::string fits = reachability(now);
    if (!fits.empty())
        explanation += (explanation.empty() ? "" : " ") + fits;
    return explanation;
}

}  // namespace ovra::FocusPlanner
