#pragma once

// The key hints at the foot of the overlay's information panel: which hints each state shows,
// and the flow layout that sets hints in centred lines, moving only whole hints to the next
// line. Pure functions: the painter measures the hints and draws them where these say.

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "core/Rect.h"

namespace ovra {

class OverlayModel;

// A key chip and what the key does: ("Esc", "close").
struct KeyHint {
    std::string chip;
    std::string label;
    friend bool operator==(const KeyHint&, const KeyHint&) = default;
};

using KeyHintRow = std::vector<KeyHint>;

namespace KeyHints {

// The rows of hints for the model's state, top row first; each row wraps on its own. Chips name
// the keys a Linux keyboard shows; labels (and "1 to 9") are localized.
std::vector<KeyHintRow> rows(const OverlayModel& model);

}  // namespace KeyHints

// Lays hints out in lines no wider than a width, each line centred, items centred vertically on
// their line.
struct HintFlow {
    double spacing = 0;      // between hints on a line
    double lineSpacing = 0;  // between lines

    // Indices of `sizes` per line. A line takes at least one item, so an item wider than `width`
    // stands alone; an empty list gives one empty line.
    std::vector<std::vector<std::size_t>> lines(const std::vector<Size>& sizes, double width) const;
    // The size the hints need when offered `proposedWidth`; with none, everything on one line.
    Size sizeThatFits(const std::vector<Size>& sizes, std::optional<double> proposedWidth) const;
    // The top-left corner of each item, laid out inside `bounds`.
    std::vector<Point> place(const std::vector<Size>& sizes, const Rect& bounds) const;
};

}  // namespace ovra
