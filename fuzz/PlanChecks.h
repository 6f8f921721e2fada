#pragma once

// What every plan promises whatever the window and the classifier said: one item per control in
// control order, each highlight numbered once, a first selection among them, scores in range.

#include <algorithm>
#include <unordered_set>

#include "core/FocusPlanner.h"
#include "fuzz/FuzzSupport.h"

namespace ovra::fuzz {

inline void checkPlan(const std::vector<UICandidate>& candidates,
                      const FocusPlanner::Decisions* decisions, int maxBeacons,
                      const FocusOverrides& overrides) {
    const FocusPlan plan =
        FocusPlanner::plan(candidates, decisions, maxBeacons, overrides, "org.example.app");
    check(plan.items.size() == candidates.size(), "one item per control");
    std::size_t beacons = 0;
    for (std::size_t i = 0; i < plan.items.size(); ++i) {
        const FocusItem& item = plan.items[i];
        check(item.id() == candidates[i].id, "items keep the controls' order");
        check(item.priority >= 0 && item.priority <= 1 && item.essential >= 0 &&
                  item.essential <= 1 && item.focusScore >= 0 && item.focusScore <= 2,
              "scores stay in range");
        beacons += item.verdict == FocusVerdict::beacon ? 1 : 0;
    }
    const std::unordered_set<std::string> numbered(plan.beaconOrder.begin(),
                                                   plan.beaconOrder.end());
    check(numbered.size() == plan.beaconOrder.size() && numbered.size() == beacons,
          "every highlight is numbered exactly once");
    for (const std::string& id : plan.beaconOrder) {
        const FocusItem* item = plan.item(id);
        check(item != nullptr && item->verdict == FocusVerdict::beacon, "numbers go to highlights");
    }
    check(plan.initialBeacon >= 0 &&
              static_cast<std::size_t>(plan.initialBeacon) < std::max<std::size_t>(beacons, 1),
          "the first selection is a highlight");
    check(plan.revealOrder().size() == candidates.size(), "show-all lists every control once");
    (void)plan.sections(true);
}

}  // namespace ovra::fuzz
