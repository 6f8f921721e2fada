#pragma once

// The one place that turns the preferences store and the controller's state into the settings
// window's panes: each pane's sections of rows, the keyboard stops of the window while a pane is
// shown, and the lookup of one row. Every call builds fresh rows whose bindings capture the
// context's objects, so a row's texts, enabled state and presence always follow the latest state.
// Main thread only.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/settings/DashboardController.h"
#include "app/settings/OvraRow.h"
#include "core/OvraPane.h"

namespace ovra {

class Preferences;
class DashboardModel;

// What the builders read and what the rows act on; everything must outlive the rows.
struct PaneContext {
    Preferences& prefs;
    DashboardController& controller;
    DashboardModel& dashboard;
    DashboardDialogs& dialogs;
};

namespace DashboardContent {

std::vector<OvraSection> sections(OvraPane pane, const PaneContext& context);
// The seven pane stops ("pane." + raw value) in sidebar order, then the pane's rows that are
// enabled and not notes, section by section.
std::vector<std::string> stops(OvraPane pane, const PaneContext& context);
// The pane's row stops alone, in order.
std::vector<std::string> rowStops(const std::vector<OvraSection>& sections);
// The pane's row with that id (disabled rows and notes included); none when there is none.
std::optional<OvraRow> row(std::string_view id, OvraPane pane, const PaneContext& context);
std::optional<OvraRow> find(std::string_view id, const std::vector<OvraSection>& sections);

// The toggle for the multilingual model that the Home and General panes share.
OvraRow multilingualRow(const PaneContext& context, std::string id);

std::vector<OvraSection> home(const PaneContext& context);
std::vector<OvraSection> look(const PaneContext& context);
std::vector<OvraSection> voice(const PaneContext& context);
std::vector<OvraSection> choices(const PaneContext& context);
std::vector<OvraSection> desktopAccessibility(const PaneContext& context);
std::vector<OvraSection> general(const PaneContext& context);
// The Instructions pane's keyboard rows: the feature list and reading it aloud.
std::vector<OvraSection> instructions(const PaneContext& context);

// The sample "Try it" speaks.
std::string voiceSample();

}  // namespace DashboardContent

// A remembered choice's key split at its first two "|" only: the app, the role and the label,
// each possibly empty; the label keeps every further "|".
struct OverrideKeyParts {
    std::string app;
    std::string role;
    std::string label;
    static OverrideKeyParts split(std::string_view key);
};

}  // namespace ovra
