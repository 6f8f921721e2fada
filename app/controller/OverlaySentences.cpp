#include "app/controller/OverlaySentences.h"

#include <cstdint>

#include "core/OvraText.h"

namespace ovra::OverlaySentences {

std::string opening(const OverlayModel& overlay, const FocusPlan& plan) {
    const std::optional<FocusItem> item = overlay.selectedItem();
    const std::optional<int> number = item ? overlay.number(item->id()) : std::nullopt;
    if (!number) {
        return OvraText::t("Ovra: nothing to press here. Press A to see everything.");
    }
    const auto hidden = static_cast<std::int64_t>(plan.suppressed().size());
    const auto choices = static_cast<std::int64_t>(plan.choiceCount());
    const std::string counted = OvraText::plural(choices, "%lld choice", "%lld choices");
    const std::string head =
        hidden > 0 ? OvraText::f("Ovra: %@, %@.",
                                 {counted, OvraText::plural(hidden, "1 distraction hidden",
                                                            "%lld distractions hidden")})
                   : OvraText::f("Ovra: %@.", {counted});
    return head + " " + std::to_string(*number) + ", " + item->displayLabel + ", " +
           item->candidate.roleName();
}

std::optional<std::string> selection(const OverlayModel& overlay,
                                     const std::optional<std::string>& prefix) {
    const std::optional<FocusItem> item = overlay.selectedItem();
    const std::optional<int> number = item ? overlay.number(item->id()) : std::nullopt;
    if (!number) {
        return prefix;
    }
    std::string body = OvraText::f("%lld of %lld: %@, %@",
                                   {static_cast<std::int64_t>(*number),
                                    static_cast<std::int64_t>(overlay.navigationOrder().size()),
                                    item->displayLabel, item->candidate.roleName()});
    if (item->forceBeacon) {
        body += ", " + (item->reason ? OvraText::t(*item->reason) : std::string());
    }
    return prefix ? *prefix + " " + body : body;
}

std::string scrolled(ScrollDirection direction, const FocusPlan& plan,
                     const std::optional<ScrollExtent>& extent) {
    const std::string choices = OvraText::plural(static_cast<std::int64_t>(plan.choiceCount()),
                                                 "%lld choice", "%lld choices");
    std::string text = direction == ScrollDirection::down
                           ? OvraText::f("Scrolled down. %@.", {choices})
                           : OvraText::f("Scrolled up. %@.", {choices});
    if (extent) {
        if (direction == ScrollDirection::down && !extent->moreBelow) {
            text += " " + OvraText::t("End of the page.");
        } else if (direction == ScrollDirection::up && !extent->moreAbove) {
            text += " " + OvraText::t("Top of the page.");
        }
    }
    return text;
}

std::string corrected(const std::optional<FocusOverride>& now, const std::string& label,
                      const std::string& appName) {
    if (!now) {
        return OvraText::f("Removed your choice for “%@”. Applies next time.", {label});
    }
    if (*now == FocusOverride::mute) {
        return OvraText::f("Saved: don't highlight “%@” in %@. Applies next time.",
                           {label, appName});
    }
    return OvraText::f("Saved: always highlight “%@” in %@. Applies next time.", {label, appName});
}

std::string cannotCorrectUnnamed() {
    return OvraText::t(
        "This control has no name to remember, so Ovra cannot save a choice "
        "for it.");
}

}  // namespace ovra::OverlaySentences
