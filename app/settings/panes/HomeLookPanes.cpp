// The Home pane's rows (the way to turn access on, or the two things a user comes for) and the
// Look pane: window appearance, ring colour, dimming, text size, pulse, the sidebar list and the
// on-screen button.

#include "app/controller/Preferences.h"
#include "app/settings/DashboardContent.h"
#include "app/settings/SettingsFormats.h"
#include "app/settings/panes/RowMaking.h"
#include "core/OvraText.h"

namespace ovra::DashboardContent {

std::vector<OvraSection> home(const PaneContext& context) {
    DashboardController& controller = context.controller;
    if (controller.trusted()) {
        const auto target = controller.targetAppName();
        OvraRow simplify = rows::make(
            "home.simplify",
            target ? OvraText::f("Simplify %@", {*target}) : OvraText::t("Simplify this screen"),
            "circle.dashed", rows::action([&controller] { controller.trigger(); }),
            controller.trusted());
        simplify.subtitle = OvraText::f("Highlights the main buttons. Or press %@ anytime",
                                        {context.prefs.hotkey().label});
        OvraRow instructions = rows::make(
            "home.instructions", OvraText::t("How to use Ovra"), "book",
            rows::action([&controller] { controller.showDashboard(OvraPane::instructions); }));
        instructions.subtitle = OvraText::t("Every feature and its keys");
        return {{"home.actions", OvraText::t("Start"), {simplify, instructions}}};
    }
    OvraRow access =
        rows::make("home.openSettings", OvraText::t("Turn on accessibility access"), "lock.open",
                   rows::action([&controller] { controller.requestAccessibility(); }));
    access.subtitle = OvraText::t(
        "Switches on the desktop's accessibility support, so Ovra can read other apps' "
        "windows, and opens the desktop's accessibility settings");
    std::vector<OvraSection> sections{{"home.permission", std::nullopt, {access}}};
    if (controller.shippedModelIDs().size() > 1) {
        sections.push_back({"home.model",
                            OvraText::t("On-device model"),
                            {multilingualRow(context, "home.multilingual")}});
    }
    return sections;
}

namespace {

std::string darknessText(double level) {
    return level < 0.05 ? OvraText::t("Subtle") : SettingsFormats::percent(level);
}

template <class Type, std::size_t N>
std::vector<Type> casesOf(const std::array<Type, N>& cases) {
    return {cases.begin(), cases.end()};
}

template <class Type, std::size_t N>
std::vector<std::string> caseLabels(const std::array<Type, N>& cases) {
    std::vector<std::string> out;
    for (const Type& each : cases) {
        out.push_back(each.label());
    }
    return out;
}

}  // namespace

std::vector<OvraSection> look(const PaneContext& context) {
    Preferences& prefs = context.prefs;
    using rows::choiceOver;

    OvraRow appearance =
        rows::make("look.appearance", OvraText::t("Window appearance"), "circle.lefthalf.filled",
                   choiceOver<OvraAppearance>(
                       casesOf(OvraAppearance::allCases()),
                       rows::labels({"Follow the desktop", "Light", "Dark"}),
                       [&prefs] { return prefs.get(keys::appearance); },
                       [&prefs](OvraAppearance a) { prefs.set(keys::appearance, a); }, 0));
    OvraRow theme =
        rows::make("look.theme", OvraText::t("Color"), "paintpalette",
                   choiceOver<BeaconTheme>(
                       casesOf(BeaconTheme::allCases()),
                       rows::labels({"Ember (the Murmlark accent)", "Ovra (white with a blue glow)",
                                     "Cyan", "White (no glow)", "Magenta"}),
                       [&prefs] { return prefs.get(keys::theme); },
                       [&prefs](BeaconTheme t) { prefs.set(keys::theme, t); }, 0));
    OvraRow dim = rows::withSubtitle(
        rows::make("look.dim", OvraText::t("Darkness"), "circle.lefthalf.filled",
                   OvraRow::Slider{{[&prefs] { return prefs.get(keys::dimLevel); },
                                    [&prefs](double v) { prefs.set(keys::dimLevel, v); }},
                                   0.0,
                                   0.95,
                                   0.05,
                                   darknessText}),
        OvraText::t("All the way down is subtle mode: only numbers and outlines"));
    OvraRow textSize = rows::make("look.textsize", OvraText::t("Text size"), "textformat.size",
                                  choiceOver<double>(
                                      {1.0, 1.5, 2.0}, rows::labels({"Large", "Larger", "Largest"}),
                                      [&prefs] { return prefs.get(keys::textScale); },
                                      [&prefs](double s) { prefs.set(keys::textScale, s); }, 0));
    OvraRow pulse = rows::withSubtitle(
        rows::make("look.pulse", OvraText::t("Gently pulse the selected ovra"), "sparkle",
                   rows::toggle([&prefs] { return prefs.get(keys::pulse); },
                                [&prefs](bool on) { prefs.set(keys::pulse, on); })),
        OvraText::t("Off by default; never runs when the desktop reduces animations"));
    OvraRow sidebar = rows::withSubtitle(
        rows::make("look.sidebarOn", OvraText::t("List the actions down the side of the screen"),
                   "sidebar.leading",
                   rows::toggle([&prefs] { return prefs.get(keys::sidebar); },
                                [&prefs](bool on) { prefs.set(keys::sidebar, on); })),
        OvraText::t("One place to look instead of hunting the page. Shows every choice, not "
                    "just the first few. Press S to switch while Ovra is open"));
    OvraRow bubble = rows::withSubtitle(
        rows::make("look.bubble", OvraText::t("Show the Ovra button on screen"), "circle.circle",
                   rows::toggle([&prefs] { return prefs.get(keys::showBubble); },
                                [&prefs](bool on) { prefs.set(keys::showBubble, on); })),
        OvraText::t("One click shows the ovras, another hides them. A bigger target than the "
                    "icon in the panel"));
    const bool buttonShown = prefs.get(keys::showBubble);
    OvraRow size =
        rows::make("look.bubblesize", OvraText::t("Size"), "circle.circle.fill",
                   choiceOver<OvraButtonSize>(
                       casesOf(OvraButtonSize::allCases()), caseLabels(OvraButtonSize::allCases()),
                       [&prefs] { return prefs.get(keys::bubbleSize); },
                       [&prefs](OvraButtonSize s) { prefs.set(keys::bubbleSize, s); }, 1),
                   buttonShown);
    OvraRow place = rows::make(
        "look.corner", OvraText::t("Position"), "rectangle.righthalf.inset.filled",
        choiceOver<OvraButtonPlace>(
            casesOf(OvraButtonPlace::allCases()), caseLabels(OvraButtonPlace::allCases()),
            [&prefs] { return prefs.get(keys::bubblePlace); },
            [&prefs](OvraButtonPlace p) { prefs.set(keys::bubblePlace, p); }, 0),
        buttonShown);
    OvraRow trail = rows::withSubtitle(
        rows::make("look.trail", OvraText::t("Show me where the settings are, the first time"),
                   "bird",
                   rows::toggle([&prefs] { return prefs.get(keys::flightTrail); },
                                [&prefs](bool on) { prefs.set(keys::flightTrail, on); }),
                   buttonShown),
        OvraText::t("On the first press, the Murmlark flies once to its icon in the panel, "
                    "where the settings live. Nothing stays on screen"));

    return {
        {"look.appearance",
         OvraText::t("Appearance"),
         {appearance, rows::note("look.appearance.note",
                                 OvraText::t("Ovra's windows follow your desktop unless you "
                                             "choose Light or Dark. The ovras themselves always "
                                             "dim the screen, so they stay dark."))}},
        {"look.color",
         OvraText::t("Ovra color"),
         {theme, rows::note("look.theme.note",
                            OvraText::t("Every color keeps at least 3:1 contrast on light and "
                                        "dark buttons, and the selected ovra is always shown by "
                                        "a filled number, not color alone."))}},
        {"look.bg", OvraText::t("Background"), {dim}},
        {"look.size", OvraText::t("Size and motion"), {textSize, pulse}},
        {"look.sidebar", OvraText::t("Sidebar Streamline"), {sidebar}},
        {"look.button", OvraText::t("Ovra button"), {bubble, size, place, trail}},
    };
}

}  // namespace ovra::DashboardContent
