#pragma once

// The whole decision for one window: every candidate fused, then the user's pins and mutes,
// option groups, unlabelled containers, a pop-up's way out, the cap on highlights, the
// fill-up, the numbering in reading order and the first selection.

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/Candidate.h"
#include "core/FocusFusion.h"
#include "core/FocusPlan.h"

namespace ovra::FocusPlanner {

// Classifier answers by candidate id.
using Decisions = std::unordered_map<std::string, ModelDecision>;
// Two to nine positions (indices into the items), in item order.
using OptionGroup = std::vector<std::size_t>;

// Roles whose controls can form option groups.
const std::unordered_set<std::string_view>& groupRoles();

// `decisions` is null when the model did not run (the plan's source is then heuristic).
// `maxBeacons` below 1 acts as 1; noCap numbers every reachable control. Never fails.
FocusPlan plan(const std::vector<UICandidate>& candidates, const Decisions* decisions,
               int maxBeacons, const FocusOverrides& overrides, std::string_view app);

// Controls of one role in one row or column (8-point bands of edge and height), in a fixed
// order: sorted by their positions. Controls that are suppressed or whose frame is not finite
// belong to no group.
std::vector<OptionGroup> optionGroups(const std::vector<FocusItem>& items);

// Raises the groups that hold a highlight: every member not overridden and not suppressed
// becomes a forced highlight. Groups are checked once each, in sorted order whatever order
// they come in, so one window always gets one result. `overridden` has one flag per item.
void raiseOptionGroups(std::vector<FocusItem>& items, std::vector<OptionGroup> groups,
                       const std::vector<bool>& overridden);

}  // namespace ovra::FocusPlanner
