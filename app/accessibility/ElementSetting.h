#pragma once

// Where a control stands in its page, as the toolkit shows it: what else its row holds and the
// labels above it. With its role and label, it is what a person sees of a control: two elements
// with the same three are the same control as far as anything the app shows can tell.

#include <string>
#include <vector>

namespace ovra {

struct ElementSetting {
    std::vector<std::string> row;        // the row's parts in order, "role text"; "*": itself
    std::vector<std::string> ancestors;  // "role label" of each ancestor, nearest first

    friend bool operator==(const ElementSetting&, const ElementSetting&) = default;
};

}  // namespace ovra
