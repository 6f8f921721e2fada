#include "app/shell/HomeItems.h"

#include "app/controller/Preferences.h"
#include "core/OvraText.h"

namespace ovra {

std::vector<HomeItem> buildHomeItems(ShellController& controller, const HomeItemActions& actions) {
    using OvraText::t;
    ShellController* app = &controller;
    const auto show = [app](OvraPane pane) { return [app, pane] { app->showDashboard(pane); }; };
    std::vector<HomeItem> items;
    if (!controller.trusted()) {
        items.push_back({"permission", t("Turn on Accessibility access"),
                         t("Ovra needs this once to see buttons in other apps"), "lock.open",
                         show(OvraPane::home)});
    }
    const auto target = controller.targetAppName();
    items.push_back({"ovras", target ? t("Simplify ") + *target : t("Simplify this screen"),
                     t("Highlights the main buttons. Or press ") +
                         controller.prefs().hotkey().label + t(" anytime"),
                     "circle.dashed", [app] { app->trigger(); }});
    items.push_back({"settings", t("Settings"), t("Colors, text size, voice, your choices"),
                     "gearshape.fill", show(OvraPane::home)});
    items.push_back({"instructions", t("How to use Ovra"), t("Every feature and its keys"), "book",
                     show(OvraPane::instructions)});
    items.push_back({"mac", t("Desktop accessibility features"),
                     t("Screen reader, magnifier, reduced motion and more, in one place"),
                     "accessibility", show(OvraPane::mac)});
    items.push_back({"support", t("Accessibility & support"),
                     t("Help, accessibility statement, contact us"), "questionmark.circle",
                     actions.openSupport});
    items.push_back({"quit", t("Quit Murmlark Ovra"), t("You can start it again from your apps"),
                     "power", actions.quit});
    return items;
}

std::vector<std::string> buildHomeStatus(const ShellController& controller) {
    using OvraText::t;
    std::vector<std::string> lines;
    lines.push_back(controller.trusted() ? t("Accessibility access on")
                                         : t("Accessibility access needed"));
    lines.push_back(controller.modelStatusLabel());
    if (auto notice = controller.hotkeyNotice()) {
        lines.push_back(*notice);
    } else if (auto error = controller.hotkeyError()) {
        lines.push_back(*error);
    }
    return lines;
}

}  // namespace ovra
