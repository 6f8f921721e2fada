#include "app/settings/DashboardKeys.h"

#include <algorithm>

#include "core/OvraText.h"

namespace ovra {

PaneRows PaneRows::of(const std::vector<OvraSection>& sections) {
    PaneRows out;
    for (const auto& section : sections) {
        for (const auto& row : section.rows) {
            out.rows.push_back({row.id, row.isStop(), row.isAdjustable()});
        }
    }
    return out;
}

std::vector<std::string> PaneRows::stops() const {
    std::vector<std::string> ids;
    for (const Row& row : rows) {
        if (row.stop) {
            ids.push_back(row.id);
        }
    }
    return ids;
}

const PaneRows::Row* PaneRows::find(const std::string& id) const {
    for (const Row& row : rows) {
        if (row.id == id) {
            return &row;
        }
    }
    return nullptr;
}

namespace DashboardKeys {

namespace {

namespace Code = DashboardKeyCode;

std::optional<std::size_t> indexOf(const std::vector<std::string>& list,
                                   const std::optional<std::string>& id) {
    if (!id) {
        return std::nullopt;
    }
    const auto it = std::find(list.begin(), list.end(), *id);
    return it == list.end() ? std::nullopt
                            : std::optional<std::size_t>(
                                  static_cast<std::size_t>(std::distance(list.begin(), it)));
}

bool onSidebar(const std::optional<std::string>& focus) {
    return !focus || focus->rfind(OvraPane::kStopPrefix, 0) == 0;
}

// The outcome so far: handled, focus where it was.
struct Step {
    KeyOutcome outcome;
    explicit Step(const DashboardFocus& now) {
        outcome.handled = true;
        outcome.next = now;
    }
    KeyOutcome moveTo(std::optional<std::string> id) {
        outcome.next.focusID = std::move(id);
        outcome.announce = true;
        return outcome;
    }
    KeyOutcome nothing() { return outcome; }
};

KeyOutcome unhandled(const DashboardFocus& now) {
    KeyOutcome outcome;
    outcome.next = now;
    return outcome;
}

// Shows a pane with the focus on its first row, or on its sidebar entry.
KeyOutcome select(const DashboardFocus& now, OvraPane pane, bool intoRows,
                  const PaneLookup& panes) {
    Step step(now);
    step.outcome.next.pane = pane;
    const auto stops = intoRows ? panes(pane).stops() : std::vector<std::string>{};
    return step.moveTo(stops.empty() ? pane.stopID() : stops.front());
}

// Up and Down on the feature list, which walks the features before it leaves the list.
KeyOutcome featureListStep(const DashboardFocus& now, int delta,
                           const std::vector<std::string>& rowStops) {
    Step step(now);
    const auto& features = OvraFeature::allCases();
    const auto at = std::find(features.begin(), features.end(), now.feature);
    const long index = at == features.end() ? 0 : std::distance(features.begin(), at);
    const long next = index + delta;
    if (next < 0) {
        return step.moveTo(OvraPane(OvraPane::instructions).stopID());
    }
    if (next < static_cast<long>(features.size())) {
        step.outcome.next.feature = features[static_cast<std::size_t>(next)];
        step.outcome.announce = true;
        return step.outcome;
    }
    // Past the last feature: the stop right after the list, wherever it is.
    const auto list = indexOf(rowStops, std::string("instr.list"));
    if (list && *list + 1 < rowStops.size()) {
        return step.moveTo(rowStops[*list + 1]);
    }
    return step.nothing();
}

KeyOutcome rowStep(const DashboardFocus& now, int delta, const PaneRows& rows) {
    Step step(now);
    const std::vector<std::string> stops = rows.stops();
    const std::string sidebar = now.pane.stopID();
    if (const auto at = indexOf(stops, now.focusID)) {
        const long next = static_cast<long>(*at) + delta;
        if (next < 0) {
            return step.moveTo(sidebar);
        }
        return step.moveTo(stops[std::min(static_cast<std::size_t>(next), stops.size() - 1)]);
    }
    // A row that is no stop (a disabled row that was clicked): the nearest stop past it.
    if (const PaneRows::Row* row = rows.find(*now.focusID)) {
        const auto at = static_cast<std::size_t>(row - rows.rows.data());
        if (delta > 0) {
            for (std::size_t i = at + 1; i < rows.rows.size(); ++i) {
                if (rows.rows[i].stop) {
                    return step.moveTo(rows.rows[i].id);
                }
            }
            return step.nothing();
        }
        for (std::size_t i = at; i-- > 0;) {
            if (rows.rows[i].stop) {
                return step.moveTo(rows.rows[i].id);
            }
        }
        return step.moveTo(sidebar);
    }
    // A focus on no row of the pane counts as the first place.
    if (delta < 0) {
        return step.moveTo(sidebar);
    }
    if (stops.empty()) {
        return step.nothing();
    }
    return step.moveTo(stops[std::min<std::size_t>(1, stops.size() - 1)]);
}

}  // namespace

KeyOutcome handle(const DashboardFocus& now, const DashboardKey& key, const PaneLookup& panes) {
    const auto& allPanes = OvraPane::allCases();
    if (key.command) {
        if (key.digit && *key.digit >= 1 && *key.digit <= static_cast<int>(allPanes.size())) {
            return select(now, allPanes[static_cast<std::size_t>(*key.digit - 1)], true, panes);
        }
        return unhandled(now);  // the window's own shortcuts keep working
    }

    const PaneRows rows = panes(now.pane);
    const std::vector<std::string> rowStops = rows.stops();
    const std::string sidebar = now.pane.stopID();
    const bool sidebarFocus = onSidebar(now.focusID);
    const int code = key.keyCode;
    const int vertical = code == Code::down ? 1 : code == Code::up ? -1 : 0;
    Step step(now);

    if (now.pane == OvraPane::instructions && now.focusID == "instr.list") {
        if (vertical != 0) {
            return featureListStep(now, vertical, rowStops);
        }
        const auto count = static_cast<int>(OvraFeature::allCases().size());
        if (key.digit && *key.digit >= 1 && *key.digit <= count) {
            step.outcome.next.feature =
                OvraFeature::allCases()[static_cast<std::size_t>(*key.digit - 1)];
            step.outcome.announce = true;
            return step.outcome;
        }
    }

    switch (code) {
        case Code::tab: {
            std::vector<std::string> list{sidebar};
            list.insert(list.end(), rowStops.begin(), rowStops.end());
            const auto n = static_cast<long>(list.size());
            const long at = static_cast<long>(indexOf(list, now.focusID).value_or(0));
            return step.moveTo(
                list[static_cast<std::size_t>(((at + (key.shift ? -1 : 1)) % n + n) % n)]);
        }
        case Code::left:
        case Code::right: {
            const int delta = code == Code::right ? 1 : -1;
            if (sidebarFocus) {
                if (delta > 0 && !rowStops.empty()) {
                    return step.moveTo(rowStops.front());
                }
                return step.nothing();
            }
            const PaneRows::Row* row = rows.find(*now.focusID);
            if (row != nullptr && row->adjustable) {
                step.outcome.operation = RowOperation{RowOperation::Kind::adjust, row->id, delta};
                step.outcome.announce = true;
                return step.outcome;
            }
            return delta > 0 ? step.nothing() : step.moveTo(sidebar);
        }
        case Code::returnKey:
        case Code::space:
        case Code::enter: {
            if (key.isRepeat || !now.focusID) {
                return step.nothing();
            }
            if (sidebarFocus) {
                return select(now, now.pane, true, panes);
            }
            if (rows.find(*now.focusID) == nullptr) {
                return step.nothing();
            }
            step.outcome.operation = RowOperation{RowOperation::Kind::activate, *now.focusID, 0};
            step.outcome.announce = true;
            return step.outcome;
        }
        case Code::escape:
            step.outcome.close = true;
            return step.outcome;
        case Code::down:
        case Code::up:
            if (sidebarFocus) {
                const auto n = static_cast<long>(allPanes.size());
                const long at = std::distance(
                    allPanes.begin(), std::find(allPanes.begin(), allPanes.end(), now.pane));
                return select(now, allPanes[static_cast<std::size_t>((at + vertical + n) % n)],
                              false, panes);
            }
            return rowStep(now, vertical, rows);
        default:
            return unhandled(now);
    }
}

std::optional<std::string> repairedFocus(OvraPane pane, const std::optional<std::string>& focus,
                                         const std::vector<std::string>& stopsBefore,
                                         const std::vector<std::string>& stopsNow) {
    if (onSidebar(focus) || indexOf(stopsNow, focus)) {
        return focus;
    }
    const auto was = indexOf(stopsBefore, focus);
    if (!was) {
        return focus;
    }
    if (*was < stopsNow.size()) {
        return stopsNow[*was];
    }
    return stopsNow.empty() ? pane.stopID() : stopsNow.back();
}

std::optional<std::string> announcement(const DashboardFocus& focus,
                                        const std::optional<OvraRow>& focusedRow,
                                        const DictationSource& dictation) {
    if (!focus.focusID) {
        return std::nullopt;
    }
    const std::string& id = *focus.focusID;
    if (onSidebar(focus.focusID)) {
        const auto pane = OvraPane::fromStopID(id);
        const std::string title = pane ? pane->title() : id.substr(OvraPane::kStopPrefix.size());
        return OvraText::f("%@, section", {title});
    }
    if (id == "instr.list") {
        const auto& features = OvraFeature::allCases();
        const auto at = std::find(features.begin(), features.end(), focus.feature);
        return OvraText::f(
            "%@, %lld of %lld. %@",
            {focus.feature.title(),
             static_cast<std::int64_t>(std::distance(features.begin(), at) + 1),
             static_cast<std::int64_t>(features.size()), focus.feature.sentence(dictation)});
    }
    if (!focusedRow) {
        return std::nullopt;
    }
    const auto value = focusedRow->valueText();
    return value ? focusedRow->title + ", " + *value : focusedRow->title;
}

std::string traceLine(const DashboardFocus& focus, const std::optional<OvraRow>& focusedRow) {
    std::string line =
        "focus: " + std::string(focus.pane.rawValue()) + " " + focus.focusID.value_or("nil") + " ";
    if (focusedRow) {
        line += focusedRow->valueText().value_or("");
    }
    line += " ";
    if (focus.pane == OvraPane::instructions) {
        line += "feature=" + std::string(focus.feature.rawValue());
    }
    return line;
}

}  // namespace DashboardKeys

}  // namespace ovra
