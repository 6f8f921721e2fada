#pragma once

// One actionable control read from a window's accessibility tree, and the fixed tables of
// accessibility roles that decide which elements can be candidates at all.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "core/Rect.h"

namespace ovra {

struct UICandidate {
    std::string id;  // "c" and the number in document order; unique within one snapshot
    std::string role;
    std::optional<std::string> subrole;
    std::string title;
    std::string description;
    std::string value;
    Rect frame;  // accessibility space: points, top-left origin, y down
    bool isFocused = false;
    bool isChrome = false;
    int order = 0;
    std::optional<std::string> context;  // "dialog:" and the dialog's title

    // The trimmed title, else the trimmed description, else "".
    std::string label() const;
    bool isTextInput() const;
    // The localized spoken kind of control ("Button", "Password field", "Control"...).
    std::string roleName() const;
    UICandidate withOrder(int newOrder) const;

    friend bool operator==(const UICandidate&, const UICandidate&) = default;
};

namespace CandidateRoles {

using RoleSet = std::unordered_set<std::string_view>;

const RoleSet& interactive();
const RoleSet& pressableContainers();
const RoleSet& webContent();
const RoleSet& chromeContainers();
const RoleSet& structural();
const RoleSet& textInputs();
// Role to English spoken name.
const std::unordered_map<std::string_view, std::string_view>& names();

bool isCandidate(std::string_view role, bool canPress);

}  // namespace CandidateRoles
}  // namespace ovra

template <>
struct std::hash<ovra::UICandidate> {
    std::size_t operator()(const ovra::UICandidate& c) const noexcept;
};
