#pragma once

// The values in which the planner states its decision about one window: the classifier's
// answer per control, the planner's verdict per control, the whole plan with the orders the
// overlay walks, the sidebar headings, and the user's per-app corrections.

#include <cstddef>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Candidate.h"
#include "core/FindAndScroll.h"
#include "core/FocusCategory.h"
#include "core/Json.h"
#include "core/Rect.h"
#include "core/Result.h"

namespace ovra {

enum class FocusVerdict {
    beacon,     // gets a numbered highlight ring
    available,  // not highlighted, but reachable (show-all, sidebar, find)
    suppressed  // judged a distraction: veiled
};

std::string_view rawValue(FocusVerdict verdict);
std::optional<FocusVerdict> focusVerdictFromRaw(std::string_view raw);

enum class DecisionSource {
    vorn,      // classifier decisions were given
    heuristic  // built-in rules only
};

std::string_view rawValue(DecisionSource source);
std::optional<DecisionSource> decisionSourceFromRaw(std::string_view raw);

// The classifier's answer for one candidate.
struct ModelDecision {
    std::string id;            // the candidate's id
    std::string modelVerdict;  // the classifier's own word; diagnostics only
    double priority = 0;       // 0...1; not read by the planner
    FocusCategory actionClassification = FocusCategory::essentialFormAction;
    // Keyed by category wire string; a missing category counts as 0.
    std::map<std::string, double, std::less<>> classificationProbabilities;
    double isEssential = 0;  // 0...1
    double focusScore = 0;   // 0...2

    // Keys in the order "id", "priority", "model_verdict", "action_classification",
    // "classification_probabilities", "is_essential", "focus_score". Throws JsonError when a
    // number is not finite (JSON cannot carry it).
    Json toJson() const;
    // Every key is required and must have its type; anything else is a failure.
    static Result<ModelDecision> fromJson(const Json& json);

    friend bool operator==(const ModelDecision&, const ModelDecision&) = default;
};

// The planner's decision for one control.
struct FocusItem {
    UICandidate candidate;
    FocusCategory category = FocusCategory::essentialFormAction;
    FocusVerdict verdict = FocusVerdict::available;
    double priority = 0;    // fused score 0...1: the planner's ranking key
    double essential = 0;   // 0...1
    double focusScore = 0;  // 0...2
    std::optional<std::string> reason;
    DecisionSource source = DecisionSource::heuristic;
    std::string displayLabel;
    bool forceBeacon = false;  // numbered regardless of the cap on highlights
    std::string explanation;   // the "why this?" text

    const std::string& id() const { return candidate.id; }
    friend bool operator==(const FocusItem&, const FocusItem&) = default;
};

// One heading of the sidebar list.
struct FocusSection {
    std::string id;
    std::string title;  // localized
    std::vector<FocusItem> items;

    friend bool operator==(const FocusSection&, const FocusSection&) = default;
};

// The planner's result for one window.
struct FocusPlan {
    std::vector<FocusItem> items;          // candidate order; scroll items last when added
    std::vector<std::string> beaconOrder;  // numbering order; scroll ids last when present
    int initialBeacon = 0;                 // index into beaconOrder selected at first
    DecisionSource source = DecisionSource::heuristic;

    // The first item with this id; null when there is none. Valid while the plan lives.
    const FocusItem* item(std::string_view id) const;
    // Items of beaconOrder in order; ids without an item are skipped.
    std::vector<FocusItem> beacons() const;
    std::vector<FocusItem> available() const;
    std::vector<FocusItem> suppressed() const;
    // Numbered highlights, then reachable and veiled items in reading order, then scroll ids.
    std::vector<std::string> revealOrder() const;
    // Position of the initial highlight's id within ids; 0 when out of range or absent.
    int initialSelection(const std::vector<std::string>& ids) const;
    // Sidebar headings: "do", "out", "also", "other", "hidden", then "scroll".
    std::vector<FocusSection> sections(bool revealingHidden) const;

    // Scroll items (defined with the scroll logic).
    // Ids of beaconOrder that are not scroll ids, counted.
    int choiceCount() const;
    // Ids of beaconOrder that are scroll ids, in order.
    std::vector<std::string> scrollOrder() const;
    // The plan with old scroll items replaced by those the extent calls for, placed last.
    FocusPlan addingScrollItems(const ScrollExtent& extent, const Rect& visible,
                                const Size& size) const;

    friend bool operator==(const FocusPlan&, const FocusPlan&) = default;
};

enum class FocusOverride { pin, mute };

std::string_view rawValue(FocusOverride override);
std::optional<FocusOverride> focusOverrideFromRaw(std::string_view raw);
// JSON form: the raw string alone. Decoding any other value throws JsonError.
void to_json(Json& json, FocusOverride override);
void from_json(const Json& json, FocusOverride& override);

// The user's per-app corrections, keyed by app, role and normalized label.
struct FocusOverrides {
    std::map<std::string, FocusOverride, std::less<>> entries;

    FocusOverrides() = default;
    explicit FocusOverrides(std::map<std::string, FocusOverride, std::less<>> e)
        : entries(std::move(e)) {}

    // app, "|", role, "|", normalized label.
    static std::string key(std::string_view app, const UICandidate& candidate);
    // The same from a role and a label already put through DarkPatternPrior::normalized.
    static std::string key(std::string_view app, std::string_view role,
                           std::string_view normalizedLabel);
    // The same written over `out`, so that a caller making many keys reuses one string's room.
    static void writeKey(std::string& out, std::string_view app, std::string_view role,
                         std::string_view normalizedLabel);
    std::optional<FocusOverride> lookup(std::string_view app, const UICandidate& candidate) const;
};

namespace FocusPlanner {

// The highlight limit that caps nothing.
inline constexpr int noCap = std::numeric_limits<int>::max();

// Rows of 24 points by the vertical middle, top to bottom, then left edge; stable. Frames
// that are not finite sort after every finite one.
std::vector<FocusItem> readingOrder(const std::vector<FocusItem>& items);
// The same order over positions (indices into items).
std::vector<std::size_t> readingOrder(const std::vector<FocusItem>& items,
                                      const std::vector<std::size_t>& positions);

}  // namespace FocusPlanner
}  // namespace ovra
