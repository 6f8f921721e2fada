#pragma once

// The settings window's keyboard, as a pure function: from where the focus is and one key, to
// where it goes, which row operation runs and whether the new focus is announced. One focus walks
// a flat list of stops (the pane's sidebar entry, then the pane's rows); the arrows adjust the
// focused row in place; Ctrl with a digit picks a pane. The window only wires it: it applies the
// outcome, runs the operation, and repairs a focus the operation or a rebuild left on no stop.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/settings/OvraRow.h"
#include "core/Instructions.h"
#include "core/OvraPane.h"

namespace ovra {

// One key press as the settings window reads it.
struct DashboardKey {
    int keyCode = -1;          // the shared key-code vocabulary (36 Return, 53 Escape, 125 Down…)
    std::string characters;    // what it types with Shift alone, whatever else is held
    std::optional<int> digit;  // the digit the key types plain or with Shift (AZERTY needs Shift)
    bool shift = false;
    bool command = false;        // Ctrl
    bool otherModifier = false;  // Alt or Super
    bool isRepeat = false;
};

namespace DashboardKeyCode {
inline constexpr int returnKey = 36, tab = 48, space = 49, escape = 53, enter = 76, left = 123,
                     right = 124, down = 125, up = 126;
}

// Where the focus is: the pane shown, the focused stop, the Instructions feature shown.
struct DashboardFocus {
    OvraPane pane = OvraPane::home;
    std::optional<std::string> focusID;
    OvraFeature feature = OvraFeature::ovras;
    friend bool operator==(const DashboardFocus&, const DashboardFocus&) = default;
};

// A pane's rows as the keys see them, in display order.
struct PaneRows {
    struct Row {
        std::string id;
        bool stop = false;        // enabled and not a note
        bool adjustable = false;  // adjust would take a step
    };
    std::vector<Row> rows;

    static PaneRows of(const std::vector<OvraSection>& sections);
    std::vector<std::string> stops() const;
    const Row* find(const std::string& id) const;
};
using PaneLookup = std::function<PaneRows(OvraPane)>;

struct RowOperation {
    enum class Kind { adjust, activate };
    Kind kind = Kind::activate;
    std::string rowID;
    int delta = 0;
    friend bool operator==(const RowOperation&, const RowOperation&) = default;
};

struct KeyOutcome {
    bool handled = false;  // false: the key goes on to the window
    DashboardFocus next;
    std::optional<RowOperation> operation;
    bool announce = false;
    bool close = false;
};

namespace DashboardKeys {

KeyOutcome handle(const DashboardFocus& now, const DashboardKey& key, const PaneLookup& panes);

// After a row operation or a rebuild: a focus that was a row stop and no longer is moves to the
// stop now at its place (else the last stop, else the pane's sidebar entry). Any other focus
// stays.
std::optional<std::string> repairedFocus(OvraPane pane, const std::optional<std::string>& focus,
                                         const std::vector<std::string>& stopsBefore,
                                         const std::vector<std::string>& stopsNow);

// What is said for the focus: a sidebar entry's title and ", section"; the feature list's
// feature, its place and its sentence; a row's title and value. None for a row that is gone.
std::optional<std::string> announcement(const DashboardFocus& focus,
                                        const std::optional<OvraRow>& focusedRow,
                                        const DictationSource& dictation);

// The "--trace-keys" line: "focus:", the pane, the focus (or "nil"), the focused row's value and
// the feature on the Instructions pane, separated by single blanks.
std::string traceLine(const DashboardFocus& focus, const std::optional<OvraRow>& focusedRow);

}  // namespace DashboardKeys

}  // namespace ovra
