#pragma once

// A settings window's surroundings for tests: preferences over an in-memory domain, the
// dashboard model, and the recording controller and dialogs.

#include <string>
#include <vector>

#include "app/controller/Preferences.h"
#include "app/settings/DashboardContent.h"
#include "app/settings/DashboardModel.h"
#include "app/settings/FakeDashboardServices.h"
#include "platform/defaults/DefaultsDomain.h"
#include "platform/desktopsettings/DesktopSettings.h"

namespace ovra::testing {

// Everything a pane builder takes, over settings given as JSON.
struct FakeDashboard {
    explicit FakeDashboard(Json stored = Json::object())
        : defaults(std::move(stored)), prefs(defaults) {}

    PaneContext context() { return {prefs, controller, dashboard, dialogs}; }
    std::vector<OvraSection> sections(OvraPane pane) {
        return DashboardContent::sections(pane, context());
    }
    OvraRow row(const std::string& id, OvraPane pane) {
        auto found = DashboardContent::row(id, pane, context());
        EXPECT_TRUE(found.has_value()) << id;
        return found.value_or(OvraRow{});
    }
    // The stored JSON value of a key, as the settings file holds it.
    Json stored(const std::string& key) const { return defaults.object(key).value_or(Json()); }

    InMemoryDefaults defaults;
    Preferences prefs;
    DashboardModel dashboard;
    FakeController controller;
    FakeDialogs dialogs;
};

}  // namespace ovra::testing
