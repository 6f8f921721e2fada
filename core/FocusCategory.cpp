#include "core/FocusCategory.h"

#include <ostream>

namespace ovra {

std::string_view rawValue(FocusCategory category) {
    switch (category) {
        case FocusCategory::essentialFormAction:
            return "essential_form_action";
        case FocusCategory::dismissalOrExit:
            return "dismissal_or_exit";
        case FocusCategory::distractionOrUpsell:
            return "distraction_or_upsell";
        case FocusCategory::legalOrPassive:
            return "legal_or_passive";
    }
    return "legal_or_passive";
}

namespace FocusCategories {

std::optional<FocusCategory> fromRawValue(std::string_view wire) {
    for (const FocusCategory category : allCases) {
        if (rawValue(category) == wire)
            return category;
    }
    return std::nullopt;
}

}  // namespace FocusCategories

void to_json(Json& json, FocusCategory category) {
    json = std::string(rawValue(category));
}

void from_json(const Json& json, FocusCategory& category) {
    if (!json.is_string())
        throw JsonError("a focus category must be a string");
    const auto& wire = json.get_ref<const std::string&>();
    const auto decoded = FocusCategories::fromRawValue(wire);
    if (!decoded) {
        // The text may come from another process: quote only a short one.
        throw JsonError(wire.size() <= 40 ? "unknown focus category \"" + wire + "\""
                                          : std::string("unknown focus category"));
    }
    category = *decoded;
}

std::ostream& operator<<(std::ostream& out, FocusCategory category) {
    return out << rawValue(category);
}

std::ostream& operator<<(std::ostream& out, const Prior& prior) {
    out << "Prior{" << prior.category << ", " << prior.weight << ", \"" << prior.reason << "\"";
    if (prior.forceBeacon)
        out << ", forced";
    if (prior.plainLabel)
        out << ", plain \"" << *prior.plainLabel << "\"";
    return out << "}";
}

}  // namespace ovra
