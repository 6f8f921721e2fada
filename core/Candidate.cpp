#include "core/Candidate.h"

#include <functional>

#include "core/OvraText.h"
#include "core/Text.h"

namespace ovra {

std::string UICandidate::label() const {
    std::string t = text::trimmed(title);
    if (!t.empty())
        return t;
    return text::trimmed(description);
}

bool UICandidate::isTextInput() const {
    if (CandidateRoles::textInputs().contains(role))
        return true;
    return subrole == "AXSecureTextField" || subrole == "AXSearchField";
}

std::string UICandidate::roleName() const {
    std::string_view english = "Control";
    if (subrole == "AXSecureTextField") {
        english = "Password field";
    } else if (subrole == "AXSearchField") {
        english = "Search field";
    } else if (subrole == "AXCloseButton") {
        english = "Close button";
    } else if (auto it = CandidateRoles::names().find(role); it != CandidateRoles::names().end()) {
        english = it->second;
    }
    return OvraText::t(english);
}

UICandidate UICandidate::withOrder(int newOrder) const {
    UICandidate copy = *this;
    copy.order = newOrder;
    return copy;
}

namespace CandidateRoles {

// Function-local statics: built once, thread-safely, on first use.
const RoleSet& interactive() {
    static const RoleSet set{"AXButton",   "AXTextField",   "AXTextArea",    "AXLink",
                             "AXCheckBox", "AXRadioButton", "AXPopUpButton", "AXMenuButton",
                             "AXComboBox", "AXMenuItem",    "AXTab",         "AXDisclosureTriangle",
                             "AXSlider",   "AXIncrementor", "AXStepper",     "AXSwitch",
                             "AXToggle",   "AXSearchField", "AXColorWell"};
    return set;
}

const RoleSet& pressableContainers() {
    static const RoleSet set{"AXGroup", "AXCell",       "AXRow",     "AXStaticText",
                             "AXImage", "AXListMarker", "AXHeading", "AXUnknown"};
    return set;
}

const RoleSet& webContent() {
    static const RoleSet set{"AXWebArea", "AXOpaqueProviderGroup"};
    return set;
}

const RoleSet& chromeContainers() {
    static const RoleSet set{"AXToolbar",
                             "AXLandmarkBanner",
                             "AXLandmarkNavigation",
                             "AXLandmarkComplementary",
                             "AXLandmarkContentInfo",
                             "AXTabGroup"};
    return set;
}

const RoleSet& structural() {
    static const RoleSet set{"AXGroup",
                             "AXScrollArea",
                             "AXSplitGroup",
                             "AXLayoutArea",
                             "AXWebArea",
                             "AXUnknown",
                             "AXTabGroup",
                             "AXList",
                             "AXSection",
                             "AXLandmarkMain",
                             "AXArticle",
                             "AXToolbar",
                             "AXTable",
                             "AXOutline",
                             "AXRow",
                             "AXCell",
                             "AXColumn",
                             "AXDocument",
                             "AXOpaqueProviderGroup"};
    return set;
}

const RoleSet& textInputs() {
    static const RoleSet set{"AXTextField", "AXTextArea", "AXComboBox"};
    return set;
}

const std::unordered_map<std::string_view, std::string_view>& names() {
    static const std::unordered_map<std::string_view, std::string_view> map{
        {"AXButton", "Button"},           {"AXTextField", "Text field"},
        {"AXTextArea", "Text area"},      {"AXLink", "Link"},
        {"AXCheckBox", "Checkbox"},       {"AXRadioButton", "Radio button"},
        {"AXPopUpButton", "Pop-up menu"}, {"AXMenuButton", "Menu button"},
        {"AXComboBox", "Combo box"},      {"OvraScroll", "Scroll"}};
    return map;
}

bool isCandidate(std::string_view role, bool canPress) {
    if (interactive().contains(role))
        return true;
    return canPress && pressableContainers().contains(role);
}

}  // namespace CandidateRoles
}  // namespace ovra

std::size_t std::hash<ovra::UICandidate>::operator()(const ovra::UICandidate& c) const noexcept {
    std::size_t seed = 0;
    auto mix = [&seed](std::size_t h) {
        seed ^= h + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
    };
    auto mixDouble = [&mix](double d) { mix(std::hash<double>{}(d == 0 ? 0.0 : d)); };
    auto mixOptional = [&mix](const std::optional<std::string>& s) {
        mix(s.has_value());
        if (s)
            mix(std::hash<std::string>{}(*s));
    };
    mix(std::hash<std::string>{}(c.id));
    mix(std::hash<std::string>{}(c.role));
    mixOptional(c.subrole);
    mix(std::hash<std::string>{}(c.title));
    mix(std::hash<std::string>{}(c.description));
    mix(std::hash<std::string>{}(c.value));
    // Hash the standardized frame so that equal frames hash alike.
    const ovra::Rect f = c.frame.standardized();
    mixDouble(f.origin.x);
    mixDouble(f.origin.y);
    mixDouble(f.size.width);
    mixDouble(f.size.height);
    mix(c.isFocused);
    mix(c.isChrome);
    mix(std::hash<int>{}(c.order));
    mixOptional(c.context);
    return seed;
}
