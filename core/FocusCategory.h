#pragma once

// The four classes a control can fall into, and a built-in rule's opinion about one control.
// Both travel to the planner, the classifier and the worker protocol, so the category's wire
// strings are fixed.

#include <array>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

#include "core/Json.h"

namespace ovra {

enum class FocusCategory : std::uint8_t {
    essentialFormAction,  // "essential_form_action"
    dismissalOrExit,      // "dismissal_or_exit"
    distractionOrUpsell,  // "distraction_or_upsell"
    legalOrPassive,       // "legal_or_passive"
};

namespace FocusCategories {

// Every category, in wire order.
inline constexpr std::array<FocusCategory, 4> allCases{
    FocusCategory::essentialFormAction, FocusCategory::dismissalOrExit,
    FocusCategory::distractionOrUpsell, FocusCategory::legalOrPassive};

// The category with exactly this wire string; none for any other text.
std::optional<FocusCategory> fromRawValue(std::string_view wire);

}  // namespace FocusCategories

// The wire string.
std::string_view rawValue(FocusCategory category);

// JSON form: the wire string alone. Decoding any other value throws JsonError.
void to_json(Json& json, FocusCategory category);
void from_json(const Json& json, FocusCategory& category);
std::ostream& operator<<(std::ostream& out, FocusCategory category);

struct Prior {
    FocusCategory category = FocusCategory::legalOrPassive;
    double weight = 0;         // 0...1: the share of probability mass fusion moves onto `category`
    std::string reason;        // English; the planner recognises some reasons by their exact text
    bool forceBeacon = false;  // highlight whatever the score
    std::optional<std::string> plainLabel;  // a plainer wording for the control

    friend bool operator==(const Prior&, const Prior&) = default;
};

std::ostream& operator<<(std::ostream& out, const Prior& prior);

}  // namespace ovra
