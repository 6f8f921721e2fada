#include "app/settings/HomeHeaderModel.h"

#include <sstream>

#include "app/settings/SettingsFormats.h"
#include "core/OvraText.h"

namespace ovra::HomeHeaderModel {

std::string greeting(int hour, std::string_view fullName) {
    std::istringstream words{std::string(fullName)};
    std::string first;
    words >> first;
    const bool evening = hour < 5 || hour >= 18;
    const bool morning = !evening && hour < 12;
    if (first.empty()) {
        return OvraText::t(evening ? "Good evening" : morning ? "Good morning" : "Good afternoon");
    }
    return OvraText::f(evening   ? "Good evening, %@"
                       : morning ? "Good morning, %@"
                                 : "Good afternoon, %@",
                       {first});
}

Hero hero(std::int64_t stepsSaved, std::int64_t ovrasPressed, std::string_view hotkeyLabel) {
    Hero out;
    if (stepsSaved >= 1) {
        out.kicker = OvraText::t("So far");
        out.count = OvraText::plural(stepsSaved, "%lld step", "%lld steps");
        out.headline = OvraText::f("You've saved %@ with Ovra", {*out.count});
    } else {
        out.kicker = OvraText::t("Ready");
        out.headline = OvraText::t("Ready when you are");
    }
    if (ovrasPressed == 1) {
        out.detail = OvraText::t("Across 1 ovra pressed. Counted on this computer only.");
    } else if (ovrasPressed >= 2) {
        out.detail = OvraText::f("Across %lld ovras pressed. Counted on this computer only.",
                                 {ovrasPressed});
    } else {
        out.detail = OvraText::f("Press %@ in any app to light up what matters.",
                                 {std::string(hotkeyLabel)});
    }
    return out;
}

std::array<Tile, 3> tiles(bool trusted, const ModelState& model, std::string_view hotkeyLabel,
                          bool hotkeyFailed) {
    std::string smart;
    if (model.ready) {
        smart = OvraText::t("On-device model ready");
    } else if (model.install == ModelState::Install::working) {
        smart = OvraText::f("Downloading, %@", {SettingsFormats::percent(model.progress)});
    } else {
        smart = OvraText::t("Built-in rules");
    }
    return {{
        {OvraText::t("Accessibility access"), "lock.open.fill",
         OvraText::t(trusted ? "On" : "Needed"), trusted,
         trusted ? std::nullopt : std::optional(OvraPane(OvraPane::home))},
        {OvraText::t("Smart highlighting"), "cpu", smart, true,
         model.ready ? std::nullopt : std::optional(OvraPane(OvraPane::general))},
        {OvraText::t("Shortcut"), "keyboard", std::string(hotkeyLabel), !hotkeyFailed,
         std::nullopt},
    }};
}

}  // namespace ovra::HomeHeaderModel
