#include "core/FocusPlanner.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <tuple>
#include <utility>

#include "core/DarkPatternPrior.h"
#include "core/OvraText.h"

namespace ovra::FocusPlanner {

namespace {

constexpr std::string_view kCookieDecline = "Cookie choice: decline";
constexpr std::string_view kCookieAccept = "Cookie choice: accept";
constexpr std::string_view kCookieSettings = "Cookie settings";

constexpr std::array<std::string_view, 4> kGroupRoles{"AXRadioButton", "AXCheckBox",
                                                      "AXPopUpButton", "AXLink"};

// A frame coordinate in 8-point bands, truncated towards zero; none when the value is not
// finite or too large to be written as an exact integer.
std::optional<std::int64_t> band(double value) {
    const double scaled = std::trunc(value * 0.125);
    if (!std::isfinite(scaled) || std::fabs(scaled) > 9.0e15)
        return std::nullopt;
    return static_cast<std::int64_t>(scaled);
}

bool hasReason(const FocusItem& item, std::string_view reason) {
    return item.reason && *item.reason == reason;
}

// What modelProbabilities gives for the one category, without looking up the others.
double dismissalProbability(const ModelDecision& decision) {
    const auto found =
        decision.classificationProbabilities.find(rawValue(FocusCategory::dismissalOrExit));
    if (found == decision.classificationProbabilities.end() || !std::isfinite(found->second))
        return 0.0;
    return found->second;
}

// Whether the label names a pop-up it closes, or declines an offer; tested once per label.
bool leavesPopup(LabelFacts& facts) {
    if (!facts.leavesPopup) {
        facts.leavesPopup = PopupWords::namesPopup(facts.label, facts.screening) ||
                            PopupWords::declinesOffer(facts.label);
    }
    return *facts.leavesPopup;
}

bool isWayOut(const FocusItem& item, LabelFacts& facts, const ModelDecision* decision) {
    if (hasReason(item, kCookieDecline))
        return true;
    // Looked up only when it decides: most controls are neither in a pop-up nor ways out.
    const auto p = [decision] { return decision ? dismissalProbability(*decision) : 0.0; };
    const bool dismissal = item.category == FocusCategory::dismissalOrExit;
    if (item.candidate.context)
        return dismissal || p() >= 0.4;
    if (leavesPopup(facts))
        return true;
    return dismissal && p() >= 0.6 && PopupWords::isClose(facts.label);
}

int fillRank(FocusCategory category) {
    switch (category) {
        case FocusCategory::essentialFormAction:
            return 0;
        case FocusCategory::dismissalOrExit:
            return 1;
        case FocusCategory::legalOrPassive:
            return 2;
        case FocusCategory::distractionOrUpsell:
            return 3;
    }
    return 3;
}

}  // namespace

const std::unordered_set<std::string_view>& groupRoles() {
    static const std::unordered_set<std::string_view> roles(kGroupRoles.begin(), kGroupRoles.end());
    return roles;
}

std::vector<OptionGroup> optionGroups(const std::vector<FocusItem>& items) {
    // Row or column, band of the edge, band of the height, role: the group a control joins.
    // Sorting the memberships by group and position lines up each group's members in order.
    // The role goes in by its place in a fixed list, which sorts faster than its name; the
    // groups come out the same, since they are put in their own order at the end.
    using Key = std::tuple<bool, std::int64_t, std::int64_t, std::size_t>;
    std::vector<std::pair<Key, std::size_t>> memberships;
    for (std::size_t position = 0; position < items.size(); ++position) {
        const FocusItem& item = items[position];
        if (item.verdict == FocusVerdict::suppressed)
            continue;
        const auto role = std::find(kGroupRoles.begin(), kGroupRoles.end(), item.candidate.role);
        if (role == kGroupRoles.end())
            continue;
        const Rect& frame = item.candidate.frame;
        const auto h = band(frame.height());
        const auto x = band(frame.minX());
        const auto y = band(frame.minY());
        if (!h || !x || !y)
            continue;
        const auto roleIndex = static_cast<std::size_t>(role - kGroupRoles.begin());
        memberships.emplace_back(Key{true, *x, *h, roleIndex}, position);
        memberships.emplace_back(Key{false, *y, *h, roleIndex}, position);
    }
    std::sort(memberships.begin(), memberships.end());
    std::vector<OptionGroup> groups;
    for (auto first = memberships.begin(); first != memberships.end();) {
        const auto last = std::find_if(first, memberships.end(),
                                       [&](const auto& m) { return m.first != first->first; });
        const auto size = static_cast<std::size_t>(last - first);
        if (size >= 2 && size <= 9) {
            OptionGroup& group = groups.emplace_back();
            group.reserve(size);
            for (auto m = first; m != last; ++m)
                group.push_back(m->second);
        }
        first = last;
    }
    std::sort(groups.begin(), groups.end());
    return groups;
}

void raiseOptionGroups(std::vector<FocusItem>& items, std::vector<OptionGroup> groups,
                       const std::vector<bool>& overridden) {
    std::sort(groups.begin(), groups.end());
    for (const OptionGroup& group : groups) {
        const bool lit = std::any_of(group.begin(), group.end(), [&](std::size_t p) {
            return items[p].verdict == FocusVerdict::beacon;
        });
        if (!lit)
            continue;
        for (std::size_t p : group) {
            FocusItem& member = items[p];
            if (overridden[p] || member.verdict == FocusVerdict::suppressed)
                continue;
            member.verdict = FocusVerdict::beacon;
            member.forceBeacon = true;
        }
    }
}

FocusPlan plan(const std::vector<UICandidate>& candidates, const Decisions* decisions,
               int maxBeacons, const FocusOverrides& overrides, std::string_view app) {
    const std::size_t n = candidates.size();
    const int limit = std::max(maxBeacons, 1);

    // 1. Fusion.
    FusionMemo memo(n);
    std::vector<FocusItem> items;
    std::vector<const ModelDecision*> decisionOf(n, nullptr);
    std::vector<LabelFacts*> facts(n, nullptr);
    items.reserve(n);
    for (std::size_t i = 0; i < n; ++i) {
        if (decisions) {
            const auto found = decisions->find(candidates[i].id);
            if (found != decisions->end())
                decisionOf[i] = &found->second;
        }
        facts[i] = &memo.facts(candidates[i]);
        items.push_back(fuse(candidates[i], decisionOf[i], memo, *facts[i]));
    }
    std::vector<FocusVerdict> fused(n);
    for (std::size_t i = 0; i < n; ++i)
        fused[i] = items[i].verdict;

    // 2. Pins and mutes.
    std::vector<bool> overridden(n, false);
    if (!overrides.entries.empty()) {
        std::string key;
        for (std::size_t i = 0; i < n; ++i) {
            FocusOverrides::writeKey(key, app, candidates[i].role, facts[i]->normalized);
            const auto found = overrides.entries.find(key);
            if (found == overrides.entries.end())
                continue;
            const FocusOverride* entry = &found->second;
            overridden[i] = true;
            FocusItem& item = items[i];
            if (*entry == FocusOverride::pin) {
                item.verdict = FocusVerdict::beacon;
                item.forceBeacon = true;
                item.explanation = OvraText::t("You chose to always highlight this.");
            } else {
                item.verdict = FocusVerdict::available;
                item.forceBeacon = false;
                item.explanation = OvraText::t("You chose not to highlight this.");
            }
        }
    }

    // 3. Option groups. They change only when a veiled control is unveiled below.
    std::vector<OptionGroup> groups = optionGroups(items);
    raiseOptionGroups(items, groups, overridden);

    // 4. Unlabelled containers.
    std::vector<bool> unlabelledContainer(n, false);
    for (std::size_t i = 0; i < n; ++i) {
        const UICandidate& c = candidates[i];
        unlabelledContainer[i] = facts[i]->label.empty() && !c.isTextInput() &&
                                 CandidateRoles::pressableContainers().contains(c.role);
        FocusItem& item = items[i];
        if (unlabelledContainer[i] && !overridden[i] && item.verdict == FocusVerdict::beacon) {
            item.verdict = FocusVerdict::available;
            item.forceBeacon = false;
        }
    }

    // 5, 6. Way outs, with the cookie settings of a banner that offers no decline.
    std::vector<bool> wayOut(n, false);
    bool anyWayOut = false;
    bool cookieAccept = false;
    bool cookieDecline = false;
    for (std::size_t i = 0; i < n; ++i) {
        cookieAccept = cookieAccept || hasReason(items[i], kCookieAccept);
        cookieDecline = cookieDecline || hasReason(items[i], kCookieDecline);
        if (!overridden[i] && isWayOut(items[i], *facts[i], decisionOf[i]))
            wayOut[i] = true;
    }
    if (cookieAccept && !cookieDecline) {
        for (std::size_t i = 0; i < n; ++i) {
            if (!overridden[i] && hasReason(items[i], kCookieSettings))
                wayOut[i] = true;
        }
    }

    // 7. Every way out is numbered, first.
    const std::string wayOutLead = OvraText::t("A way out of the pop-up, offered first.");
    bool unveiled = false;
    for (std::size_t i = 0; i < n; ++i) {
        if (!wayOut[i])
            continue;
        anyWayOut = true;
        FocusItem& item = items[i];
        unveiled = unveiled || item.verdict == FocusVerdict::suppressed;
        item.verdict = FocusVerdict::beacon;
        item.forceBeacon = true;
        item.explanation = wayOutLead + " " + item.explanation;
    }

    // 8. Cap: forced highlights are not counted, the best unforced one always survives.
    std::vector<std::size_t> unforced;
    for (std::size_t i = 0; i < n; ++i) {
        if (items[i].verdict == FocusVerdict::beacon && !items[i].forceBeacon)
            unforced.push_back(i);
    }
    std::stable_sort(unforced.begin(), unforced.end(), [&](std::size_t a, std::size_t b) {
        return items[a].priority > items[b].priority;
    });
    for (std::size_t place = static_cast<std::size_t>(limit); place < unforced.size(); ++place) {
        items[unforced[place]].verdict = FocusVerdict::available;
    }

    // 9. Fill up to the limit, taking option groups whole.
    std::size_t reachable = 0;
    std::size_t count = 0;
    for (const FocusItem& item : items) {
        if (item.verdict != FocusVerdict::suppressed)
            ++reachable;
        if (item.verdict == FocusVerdict::beacon)
            ++count;
    }
    const std::size_t target = std::min(reachable, static_cast<std::size_t>(limit));
    if (count < target) {
        std::vector<std::size_t> pool;
        for (std::size_t i = 0; i < n; ++i) {
            if (items[i].verdict == FocusVerdict::available && !overridden[i] &&
                !unlabelledContainer[i]) {
                pool.push_back(i);
            }
        }
        std::stable_sort(pool.begin(), pool.end(), [&](std::size_t a, std::size_t b) {
            const int ra = fillRank(items[a].category);
            const int rb = fillRank(items[b].category);
            if (ra != rb)
                return ra < rb;
            return items[a].priority > items[b].priority;
        });
        if (unveiled)
            groups = optionGroups(items);
        // A position in two groups takes the first in the groups' fixed order.
        constexpr std::size_t kNoGroup = std::numeric_limits<std::size_t>::max();
        std::vector<std::size_t> groupOf(n, kNoGroup);
        for (std::size_t g = 0; g < groups.size(); ++g) {
            for (std::size_t p : groups[g]) {
                if (groupOf[p] == kNoGroup)
                    groupOf[p] = g;
            }
        }
        for (std::size_t entry : pool) {
            if (count >= target)
                break;
            if (items[entry].verdict != FocusVerdict::available)
                continue;
            const OptionGroup alone{entry};
            const OptionGroup& members =
                groupOf[entry] == kNoGroup ? alone : groups[groupOf[entry]];
            for (std::size_t p : members) {
                if (items[p].verdict != FocusVerdict::available || overridden[p])
                    continue;
                items[p].verdict = FocusVerdict::beacon;
                items[p].forceBeacon = members.size() > 1;
                ++count;
            }
        }
    }

    // What W says follows the verdict the plan ends with; pins and mutes say why themselves.
    for (std::size_t i = 0; i < n; ++i) {
        if (!overridden[i])
            items[i].explanation =
                restated(std::move(items[i].explanation), fused[i], items[i].verdict);
    }

    // 10. Numbering: way outs first, each part in reading order.
    std::vector<std::size_t> first;
    std::vector<std::size_t> rest;
    for (std::size_t i = 0; i < n; ++i) {
        if (items[i].verdict != FocusVerdict::beacon)
            continue;
        (anyWayOut && wayOut[i] ? first : rest).push_back(i);
    }
    std::vector<std::size_t> numbered = readingOrder(items, first);
    for (std::size_t p : readingOrder(items, rest))
        numbered.push_back(p);

    FocusPlan out;
    out.beaconOrder.reserve(numbered.size());
    for (std::size_t p : numbered)
        out.beaconOrder.push_back(items[p].candidate.id);

    // 11. First selection.
    out.initialBeacon = 0;
    if (!anyWayOut) {
        std::optional<std::size_t> emptyField;
        std::optional<std::size_t> best;
        for (std::size_t k = 0; k < numbered.size(); ++k) {
            const FocusItem& item = items[numbered[k]];
            if (!emptyField && item.candidate.isTextInput() && item.candidate.value == "empty") {
                emptyField = k;
            }
            if (!item.forceBeacon && (!best || item.priority > items[numbered[*best]].priority)) {
                best = k;
            }
        }
        if (emptyField) {
            out.initialBeacon = static_cast<int>(*emptyField);
        } else if (best) {
            out.initialBeacon = static_cast<int>(*best);
        }
    }

    // 12. Result.
    out.items = std::move(items);
    out.source = decisions ? DecisionSource::vorn : DecisionSource::heuristic;
    return out;
}

}  // namespace ovra::FocusPlanner
