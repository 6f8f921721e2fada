// The General pane: the two global shortcuts, the panel icon, pressing, advanced options (the
// on-device model and its upkeep, counters), updates, help and removal.

#include "app/controller/Preferences.h"
#include "app/settings/DashboardContent.h"
#include "app/settings/SettingsFormats.h"
#include "app/settings/panes/RowMaking.h"
#include "core/OvraText.h"

#ifndef OVRA_VERSION
#define OVRA_VERSION ""
#endif

namespace ovra::DashboardContent {

namespace {

std::string webPage(std::string_view path) {
    return "https://" + std::string(OvraUpdates::webDomain) + std::string(path);
}

// The model the user chose, as the supervisor is started on it.
std::string chosenModelID(const Preferences& prefs) {
    return std::string(prefs.get(keys::model).rawValue());
}

std::vector<VornModel> availableModels(const std::vector<std::string>& shipped) {
    std::vector<VornModel> models;
    for (const VornModel model : VornModel::allCases()) {
        for (const auto& id : shipped) {
            if (id == model.rawValue()) {
                models.push_back(model);
                break;
            }
        }
    }
    return models;
}

std::string modelLabel(VornModel model) {
    return OvraText::t(model == VornModel::multilingual ? "Murmlark Multilingual"
                                                        : "Murmlark Large, English");
}

OvraSection shortcuts(const PaneContext& context) {
    Preferences& prefs = context.prefs;
    DashboardController& controller = context.controller;
    std::vector<std::string> ids;
    std::vector<std::string> labels;
    for (auto& preset : HotkeyPreset::all()) {
        ids.push_back(std::move(preset.id));
        labels.push_back(std::move(preset.label));
    }
    OvraRow hotkey = rows::make(
        "gen.hotkey", OvraText::t("Simplify with"), "keyboard",
        rows::choiceOver<std::string>(
            std::move(ids), std::move(labels), [&prefs] { return prefs.get(keys::hotkeyID); },
            [&prefs](std::string id) { prefs.set(keys::hotkeyID, id); }, 0));
    hotkey.subtitle =
        controller.hotkeyError() ? controller.hotkeyError() : controller.hotkeyNotice();
    OvraRow find = rows::make(
        "gen.findkey", OvraText::t("Super Shift / opens Ovra ready to find"), "magnifyingglass",
        rows::toggle([&prefs] { return prefs.get(keys::findShortcut); },
                     [&prefs](bool on) { prefs.set(keys::findShortcut, on); }));
    find.subtitle = controller.findHotkeyError()
                        ? controller.findHotkeyError()
                        : std::optional(OvraText::t("Type a name, then Return."));
    return {"gen.shortcut", OvraText::t("Shortcut"), {hotkey, find}};
}

OvraSection panelIcon(const PaneContext& context) {
    Preferences& prefs = context.prefs;
    OvraRow click = rows::make(
        "gen.birdclick", OvraText::t("When you click the bird"), "bird",
        OvraRow::Choice{
            rows::labels({"Simplify", "Open Ovra's home"}),
            {[&prefs] { return prefs.get(keys::birdClick) == BirdClickSetting::home ? 1 : 0; },
             [&prefs](int index) {
                 prefs.set(keys::birdClick,
                           index == 0 ? BirdClickSetting::simplify : BirdClickSetting::home);
             }}});
    click.subtitle = OvraText::t(prefs.get(keys::birdClick) == BirdClickSetting::simplify
                                     ? "Right-click the bird for Ovra's home and settings"
                                     : "Right-click the bird for the standard menu");
    OvraRow name = rows::withSubtitle(
        rows::make("gen.birdname", OvraText::t("Show \u201COvra\u201D beside the bird"),
                   "textformat",
                   rows::toggle([&prefs] { return prefs.get(keys::menuBarName); },
                                [&prefs](bool on) { prefs.set(keys::menuBarName, on); })),
        OvraText::t("A bigger target in the panel. Off shows the bird alone."));
    return {"gen.bird", OvraText::t("Panel icon"), {click, name}};
}

OvraSection pressing(const PaneContext& context) {
    Preferences& prefs = context.prefs;
    OvraRow confirm = rows::make(
        "gen.confirm", OvraText::t("Ask again before pay, send or delete"), "checkmark.shield",
        rows::toggle([&prefs] { return prefs.get(keys::confirmConsequential); },
                     [&prefs](bool on) { prefs.set(keys::confirmConsequential, on); }));
    OvraRow autoScan = rows::withSubtitle(
        rows::make("gen.autoscan", OvraText::t("Auto-scan"), "arrow.triangle.2.circlepath",
                   rows::toggle([&prefs] { return prefs.get(keys::autoScan); },
                                [&prefs](bool on) { prefs.set(keys::autoScan, on); })),
        OvraText::t("Moves the selection by itself, for switch users"));
    OvraRow speed = rows::make(
        "gen.scanspeed", OvraText::t("Auto-scan speed"), "timer",
        OvraRow::Slider{
            {[&prefs] { return prefs.get(keys::scanInterval); },
             [&prefs](double s) { prefs.set(keys::scanInterval, s); }},
            0.5,
            10.0,
            0.5,
            [](double s) { return OvraText::f("every %@ s", {SettingsFormats::decimal(s, 1)}); }},
        prefs.get(keys::autoScan));
    return {"gen.pressing", OvraText::t("Pressing"), {confirm, autoScan, speed}};
}

OvraSection advanced(const PaneContext& context) {
    Preferences& prefs = context.prefs;
    DashboardController& controller = context.controller;
    const ModelState model = controller.modelState();
    OvraSection section{"gen.adv", OvraText::t("Advanced"), {}};

    section.rows.push_back(rows::make(
        "gen.maxovras", OvraText::t("Most ovras at once"), "number",
        OvraRow::Slider{{[&prefs] { return static_cast<double>(prefs.get(keys::maxBeacons)); },
                         [&prefs](double v) { prefs.set(keys::maxBeacons, static_cast<int>(v)); }},
                        1.0,
                        9.0,
                        1.0,
                        [](double v) { return std::to_string(static_cast<long long>(v)); }}));
    OvraRow useModel = rows::make("gen.usemodel", OvraText::t("Use the on-device model"), "cpu",
                                  rows::toggle([&prefs] { return prefs.get(keys::useModel); },
                                               [&prefs, &controller](bool on) {
                                                   const bool was = prefs.get(keys::useModel);
                                                   prefs.set(keys::useModel, on);
                                                   // Writing the same value again must not restart
                                                   // the model.
                                                   if (on == was) {
                                                       return;
                                                   }
                                                   if (on) {
                                                       controller.startModel(chosenModelID(prefs));
                                                   } else {
                                                       controller.stopModel();
                                                   }
                                               }));
    useModel.subtitle = model.summary;
    section.rows.push_back(std::move(useModel));
    const auto& shipped = controller.shippedModelIDs();
    if (shipped.size() > 1) {
        section.rows.push_back(multilingualRow(context, "gen.multilingual"));
    }
    const std::vector<VornModel> models = availableModels(shipped);
    if (models.size() >= 2) {
        std::vector<std::string> labels;
        for (const VornModel m : models) {
            labels.push_back(modelLabel(m));
        }
        section.rows.push_back(
            rows::make("gen.model", OvraText::t("Model"), "globe",
                       rows::choiceOver<VornModel>(
                           models, std::move(labels), [&prefs] { return prefs.get(keys::model); },
                           [&prefs](VornModel m) { prefs.set(keys::model, m); }, 0),
                       prefs.get(keys::useModel)));
    }
    const bool failed = model.install == ModelState::Install::failed;
    section.rows.push_back(rows::make(
        "gen.restart", OvraText::t(failed ? "Try the download again" : "Restart the model"),
        "arrow.clockwise", rows::action([&prefs, &controller] {
            const ModelState now = controller.modelState();
            if (now.install == ModelState::Install::failed) {
                if (now.lastModel) {
                    controller.startModel(*now.lastModel);
                }
                return;
            }
            controller.stopModel();
            controller.startModel(chosenModelID(prefs));
        })));
    OvraRow reset =
        rows::make("gen.reset", OvraText::t("Reset counts"), "gobackward", rows::action([&prefs] {
                       prefs.set(keys::stepsSaved, 0);
                       prefs.set(keys::ovrasPressed, 0);
                   }));
    reset.subtitle = OvraText::f(
        "%@ · %@",
        {OvraText::plural(prefs.get(keys::stepsSaved), "%lld step saved", "%lld steps saved"),
         OvraText::plural(prefs.get(keys::ovrasPressed), "%lld ovra pressed",
                          "%lld ovras pressed")});
    section.rows.push_back(std::move(reset));
    return section;
}

OvraSection updates(const PaneContext& context) {
    DashboardController& controller = context.controller;
    const UpdateState state = controller.updateState();
    using Activity = UpdateState::Activity;
    OvraSection section{"gen.updates", OvraText::t("Updates"), {}};

    const char* checkTitle = state.activity == Activity::checking      ? "Checking\u2026"
                             : state.activity == Activity::downloading ? "Downloading\u2026"
                                                                       : "Check for updates now";
    OvraRow check = rows::make("gen.checkupdate", OvraText::t(checkTitle),
                               "arrow.triangle.2.circlepath", rows::action([&controller] {
                                   // One check or download at a time.
                                   if (controller.updateState().activity == Activity::idle) {
                                       controller.checkForUpdates();
                                   }
                               }));
    check.subtitle = state.status;
    section.rows.push_back(std::move(check));
    if (state.available) {
        // Also while a download runs: the updater then says so again.
        OvraRow install = rows::make(
            "gen.installupdate",
            OvraText::f("Install Ovra %@ and relaunch", {state.available->version}),
            "arrow.down.circle", rows::action([&controller] { controller.installUpdate(); }));
        install.subtitle = state.available->notes;
        section.rows.push_back(std::move(install));
    }
    const auto failed = context.prefs.defaults().object("failedUpdateVersion");
    if (failed && failed->is_string()) {
        section.rows.push_back(rows::make(
            "gen.downloadsite",
            OvraText::f("Download Ovra from %@", {std::string(OvraUpdates::webDomain)}), "safari",
            rows::action([&controller] { controller.openWebPage(webPage("/download/ovra")); })));
    }
    return section;
}

OvraSection help(const PaneContext& context) {
    DashboardController& controller = context.controller;
    DashboardDialogs& dialogs = context.dialogs;
    OvraRow credits =
        rows::withSubtitle(rows::make("gen.credits", OvraText::t("Open source credits"), "heart",
                                      rows::action([&dialogs] { dialogs.showCredits(); })),
                           OvraText::t("The work Ovra is built on"));
    return {"gen.help",
            OvraText::t("Help"),
            {rows::make("gen.support", OvraText::t("Accessibility & support"),
                        "questionmark.circle", rows::action([&controller] {
                            controller.openWebPage(webPage("/ovra/accessibility/"));
                        })),
             credits,
             rows::note("gen.version",
                        OvraText::f("Murmlark Ovra %@ · a Qeld product · Everything runs on this "
                                    "computer. Ovra goes online only to download its model and "
                                    "to look for updates, which sends nothing about you. Never "
                                    "your name or your screen. No accounts, no telemetry.",
                                    {std::string(OVRA_VERSION)}))}};
}

}  // namespace

std::vector<OvraSection> general(const PaneContext& context) {
    DashboardController& controller = context.controller;
    OvraRow uninstall = rows::withSubtitle(
        rows::make("gen.uninstall",
                   OvraText::t("Remove Murmlark Ovra and everything it downloaded"), "trash",
                   rows::action([&controller] { controller.uninstall(); })),
        OvraText::t("Includes the on-device model (about 1.5 GB). Murmlark is not affected."));
    uninstall.destructive = true;
    return {shortcuts(context),
            panelIcon(context),
            pressing(context),
            advanced(context),
            updates(context),
            help(context),
            {"gen.remove", OvraText::t("Remove Murmlark Ovra"), {uninstall}}};
}

}  // namespace ovra::DashboardContent
