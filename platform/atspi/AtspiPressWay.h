#pragma once

// How a native control (one outside web content) is pressed: by the way that does what a click
// on it does, and what a press the app gave no answer to means. Pure functions over facts read
// off the bus, so each toolkit's quirk has a test.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/accessibility/AccessibilityBackend.h"

namespace ovra::atspi {

enum class PressWay : std::uint8_t {
    action,  // its own press action
    menu,    // its own action, followed until its menu shows (see pressOpensMenu)
    click,   // a click at its painted point: none of its actions does what a click does
};

struct PressFacts {
    std::uint32_t role = 0;            // AtspiRole
    std::vector<std::string> actions;  // its AT-SPI action names, in order
    bool qt = false;                   // the app speaks through Qt's bridge
    // The list, tree or table the element is a row of (a cell's row's, for a cell in a row).
    std::optional<std::uint32_t> containerRole;
    std::optional<std::uint32_t> parentRole;  // AtspiRole of its parent, when read
};

// The way that works:
// - a row of a list or tree is clicked, as a person chooses it (where no click can be made, the
//   caller chooses it through its container's selection: see selectRow). Its own actions do
//   something else or nothing: Qt's "Toggle" flips the selection of whichever row its index maps
//   to (in nested trees another row), GTK 3's cell "activate" is ignored by many apps, and
//   choosing it through the selection alone leaves out what the app does on a click (Thunar opens
//   the place). A row with a real press ("press", "click") keeps it;
// - a control without any press action (GTK 4's menu bar items) is clicked;
// - a Qt button whose only action is "ShowMenu" is clicked: Qt's tool buttons that open their
//   menu at once (InstantPopup) do nothing on that action;
// - a Qt toolbar's checkable button (a check box to AT-SPI) is clicked: its "Toggle" only flips
//   the checked state, while the app acts on the click (a password manager's "Settings" opens
//   its page only then);
// - a menu opener is followed until its menu shows; anything else presses by its own action.
PressWay pressWay(const PressFacts& facts);

// A row of a list, tree or table, and what holds such rows.
bool isRowRole(std::uint32_t role);
bool isRowContainerRole(std::uint32_t role);

// A process's state as the third field of /proc/<pid>/stat tells it.
enum class ProcessState : std::uint8_t { running, stopped, ended, unknown };
ProcessState processStateFromStat(std::string_view stat);

// What an app that gave a press action no answer in time was found doing afterwards.
struct AfterUnanswered {
    ProcessState process = ProcessState::unknown;
    bool leftBus = false;     // a call to it now says it is gone
    bool answersNow = false;  // it answers a call sent after the action
    bool toldSince = false;   // it told of a change since the action went out
};
// The app that left is gone (appGone). One that was stopped with the action in its queue acts on
// it once it resumes, and one that told of a change but does not answer may have acted on it:
// what became of the press cannot be told (unconfirmed). One that answers a later call has taken
// the action and is running it (it handles its calls in order; a Qt button's handler that opens
// a dialog answers only once the dialog closes): nothing. Only an app that did nothing at all and
// still does not answer is not responding (timeout).
std::optional<ax::AXError> unansweredVerdict(const AfterUnanswered& after);

}  // namespace ovra::atspi
