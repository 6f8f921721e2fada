#pragma once

// Plans for the overlay's tests, one control a line: "B c1 Save" is a numbered highlight with id
// c1 labelled Save; A is reachable, S veiled. Controls stand one under the other in the order
// given; the highlights are numbered in that order.

#include <sstream>
#include <string>
#include <vector>

#include "core/FocusPlan.h"

namespace ovra::testing {

inline FocusPlan plan(const std::vector<std::string>& lines) {
    FocusPlan plan;
    for (const std::string& line : lines) {
        std::istringstream in(line);
        char verdict = 'B';
        FocusItem& item = plan.items.emplace_back();
        in >> verdict >> item.candidate.id;
        std::getline(in >> std::ws, item.displayLabel);
        item.candidate.title = item.displayLabel;
        item.candidate.role = "AXButton";
        item.candidate.frame =
            Rect(100, 40 + 60.0 * static_cast<double>(plan.items.size()), 160, 40);
        item.verdict = verdict == 'B'   ? FocusVerdict::beacon
                       : verdict == 'A' ? FocusVerdict::available
                                        : FocusVerdict::suppressed;
        if (item.verdict == FocusVerdict::beacon) {
            plan.beaconOrder.push_back(item.candidate.id);
        }
    }
    return plan;
}

}  // namespace ovra::testing
