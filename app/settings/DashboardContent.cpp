#include "app/settings/DashboardContent.h"

#include "app/controller/Preferences.h"
#include "core/OvraText.h"

namespace ovra::DashboardContent {

std::vector<OvraSection> sections(OvraPane pane, const PaneContext& context) {
    switch (pane) {
        case OvraPane::home:
            return home(context);
        case OvraPane::look:
            return look(context);
        case OvraPane::voice:
            return voice(context);
        case OvraPane::choices:
            return choices(context);
        case OvraPane::mac:
            return desktopAccessibility(context);
        case OvraPane::general:
            return general(context);
        case OvraPane::instructions:
            return instructions(context);
    }
    return {};
}

std::vector<std::string> rowStops(const std::vector<OvraSection>& built) {
    std::vector<std::string> ids;
    for (const auto& section : built) {
        for (const auto& row : section.rows) {
            if (row.isStop()) {
                ids.push_back(row.id);
            }
        }
    }
    return ids;
}

std::vector<std::string> stops(OvraPane pane, const PaneContext& context) {
    std::vector<std::string> ids;
    for (const OvraPane each : OvraPane::allCases()) {
        ids.push_back(each.stopID());
    }
    for (auto& id : rowStops(sections(pane, context))) {
        ids.push_back(std::move(id));
    }
    return ids;
}

std::optional<OvraRow> find(std::string_view id, const std::vector<OvraSection>& built) {
    for (const auto& section : built) {
        for (const auto& row : section.rows) {
            if (row.id == id) {
                return row;
            }
        }
    }
    return std::nullopt;
}

std::optional<OvraRow> row(std::string_view id, OvraPane pane, const PaneContext& context) {
    return find(id, sections(pane, context));
}

OvraRow multilingualRow(const PaneContext& context, std::string id) {
    Preferences& prefs = context.prefs;
    DashboardController& controller = context.controller;
    OvraRow row;
    row.id = std::move(id);
    row.title = OvraText::t("Also get Murmlark Multilingual");
    row.subtitle = OvraText::t("For pages in languages other than English. Downloaded once.");
    row.symbol = "character.bubble";
    row.kind = OvraRow::Toggle{{[&prefs] { return prefs.get(keys::downloadMultilingual); },
                                [&prefs, &controller](bool on) {
                                    const bool was = prefs.get(keys::downloadMultilingual);
                                    prefs.set(keys::downloadMultilingual, on);
                                    // Only a real change to on asks for the download.
                                    if (on && !was) {
                                        controller.fetchMultilingualIfWanted();
                                    }
                                }}};
    return row;
}

}  // namespace ovra::DashboardContent

namespace ovra {

OverrideKeyParts OverrideKeyParts::split(std::string_view key) {
    OverrideKeyParts parts;
    const std::size_t first = key.find('|');
    if (first == std::string_view::npos) {
        parts.app = std::string(key);
        return parts;
    }
    parts.app = std::string(key.substr(0, first));
    const std::size_t second = key.find('|', first + 1);
    if (second == std::string_view::npos) {
        parts.role = std::string(key.substr(first + 1));
        return parts;
    }
    parts.role = std::string(key.substr(first + 1, second - first - 1));
    parts.label = std::string(key.substr(second + 1));
    return parts;
}

}  // namespace ovra
