// The Your choices pane (the per-app corrections the user saved from the overlay, each undone
// on its own or all at once after a question) and the desktop accessibility pane (the desktop's
// own features with their live state, each opening its place in the desktop's settings).

#include "app/accessibility/AccessibilityFeatures.h"
#include "app/controller/Preferences.h"
#include "app/settings/DashboardContent.h"
#include "app/settings/panes/RowMaking.h"
#include "core/OvraText.h"

namespace ovra::DashboardContent {

namespace {

OvraRow choiceRow(const PaneContext& context, const std::string& key, const std::string& value) {
    Preferences& prefs = context.prefs;
    const OverrideKeyParts parts = OverrideKeyParts::split(key);
    const std::string label = parts.label.empty() ? OvraText::t("Unlabelled control") : parts.label;
    const std::string app = context.controller.appName(parts.app);
    std::string subtitle;
    std::optional<std::string> symbol;
    if (value == "pin") {
        subtitle = OvraText::f("Always highlight · %@ · Return to remove", {app});
        symbol = "pin.fill";
    } else if (value == "mute") {
        subtitle = OvraText::f("Don't highlight · %@ · Return to remove", {app});
        symbol = "eye.slash";
    } else {
        // Listed anyway, so that it can be removed.
        subtitle = OvraText::f("Unknown choice · %@ · Return to remove", {app});
        symbol = "questionmark.circle";
    }
    OvraRow row = rows::make("choice." + key, OvraText::f("\u201C%@\u201D", {label}), symbol,
                             rows::action([&prefs, key] {
                                 OverrideMap remaining = prefs.get(keys::overrides);
                                 remaining.erase(key);
                                 prefs.set(keys::overrides, std::move(remaining));
                             }));
    row.subtitle = std::move(subtitle);
    return row;
}

}  // namespace

std::vector<OvraSection> choices(const PaneContext& context) {
    Preferences& prefs = context.prefs;
    DashboardDialogs& dialogs = context.dialogs;
    const OverrideMap& entries = prefs.get(keys::overrides);  // ordered by key

    OvraSection intro{"choices.intro",
                      std::nullopt,
                      {rows::note("choices.note",
                                  OvraText::t("While ovras are showing, press W to hear why, P to "
                                              "always highlight, or D to stop highlighting. "
                                              "Choices stay on this computer and apply the next "
                                              "time."))}};
    if (entries.empty()) {
        intro.rows.push_back(rows::emptyText(
            "choices.empty", OvraText::t("Nothing here yet. Choices you make with P or D appear "
                                         "here, and you can undo them any time.")));
        return {intro};
    }
    OvraSection list{"choices.list",
                     entries.size() == 1 ? OvraText::t("1 remembered choice")
                                         : OvraText::f("%lld remembered choices",
                                                       {static_cast<std::int64_t>(entries.size())}),
                     {}};
    for (const auto& [key, value] : entries) {
        list.rows.push_back(choiceRow(context, key, value));
    }
    // One key would erase every choice: ask first.
    OvraRow clear = rows::make(
        "choices.clear", OvraText::t("Forget all choices"), "trash",
        rows::action([&prefs, &dialogs] {
            dialogs.confirm(OvraText::t("Forget all choices?"),
                            OvraText::t("Ovra will highlight every app the way it does for new "
                                        "apps. This cannot be undone."),
                            OvraText::t("Forget all"), true,
                            [&prefs] { prefs.set(keys::overrides, OverrideMap{}); });
        }));
    clear.destructive = true;
    list.rows.push_back(std::move(clear));
    return {intro, list};
}

std::vector<OvraSection> desktopAccessibility(const PaneContext& context) {
    DashboardController& controller = context.controller;
    desktop::DesktopSettings& settings = controller.desktopSettings();
    OvraSection section{"mac", OvraText::t("Your desktop's accessibility features"), {}};
    // The same test the app's voice keeps quiet for.
    const bool screenReaderRuns = controller.screenReaderRunning();
    for (const AccessibilityFeature& feature : DesktopAccessibility::features()) {
        const std::optional<bool> on =
            DesktopAccessibility::state(feature, settings, screenReaderRuns);
        std::string subtitle = on ? OvraText::t(*on ? "On" : "Off") : OvraText::t("See settings");
        if (feature.shortcut) {
            subtitle += " \u00B7 " + *feature.shortcut;
        }
        subtitle += " \u00B7 " + feature.summary;
        if (on.value_or(false) && feature.focusNote) {
            subtitle += " \u00B7 " + *feature.focusNote;
        }
        OvraRow row = rows::make("mac." + feature.id, feature.name, "gearshape",
                                 rows::action([&controller, anchor = feature.anchor] {
                                     controller.openAccessibilitySettings(anchor);
                                 }));
        row.subtitle = std::move(subtitle);
        section.rows.push_back(std::move(row));
    }
    return {section};
}

}  // namespace ovra::DashboardContent
