#pragma once

// Keeps the walk's candidate list short and useful: folds wrappers around real controls,
// drops browser chrome, slivers, off-screen and duplicate controls, and orders the rest by how
// visible and how close to the user's focus they are.

#include <optional>
#include <vector>

#include "core/Candidate.h"
#include "core/Rect.h"

namespace ovra {

namespace CandidateSelector {

// The candidates worth judging, best first, at most `limit` of them; each record unchanged.
// `focus` is the reference point for distance (the viewport's centre when absent).
std::vector<UICandidate> select(const std::vector<UICandidate>& candidates, const Rect& viewport,
                                std::optional<Point> focus, int limit, bool inBrowser);

// The input, in order, without the pressable containers that wrap a real control.
std::vector<UICandidate> collapseContainers(const std::vector<UICandidate>& candidates);

}  // namespace CandidateSelector

namespace OffscreenPruning {

// True when an element inside a scroll area lies wholly outside the visible area.
bool skip(const Rect& frame, const Rect& viewport, bool insideScrollArea);

}  // namespace OffscreenPruning
}  // namespace ovra
