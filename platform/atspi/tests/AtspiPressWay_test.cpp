#include "platform/atspi/AtspiPressWay.h"

#include <atspi/atspi-constants.h>
#include <gtest/gtest.h>

namespace ovra::atspi {
namespace {

using ax::AXError;

// Each control pressed by the way that does what a click does, as the toolkits were found to
// offer them.
TEST(PressWay, EachNativeControlGetsTheWayThatWorks) {
    const std::uint32_t cell = ATSPI_ROLE_TABLE_CELL, button = ATSPI_ROLE_PUSH_BUTTON,
                        tree = ATSPI_ROLE_TREE_TABLE, list = ATSPI_ROLE_LIST;
    const std::optional<std::uint32_t> alone;
    const struct {
        const char* what;
        std::uint32_t role;
        std::vector<std::string> actions;
        bool qt;
        std::optional<std::uint32_t> container;
        PressWay way;
        std::optional<std::uint32_t> parent = std::nullopt;
    } cases[] = {
        {"GTK 3 tree cell ignoring activate",
         cell,
         {"expand or contract", "edit", "activate"},
         false,
         tree,
         PressWay::click},
        {"Qt tree cell offering only Toggle",
         cell,
         {"Toggle"},
         true,
         ATSPI_ROLE_TREE,
         PressWay::click},
        {"GTK list box row without actions",
         ATSPI_ROLE_LIST_ITEM,
         {},
         false,
         list,
         PressWay::click},
        {"a row with a press of its own keeps it",
         ATSPI_ROLE_LIST_ITEM,
         {"click"},
         false,
         list,
         PressWay::action},
        {"a cell outside any list is no row", cell, {"activate"}, false, alone, PressWay::action},
        {"GTK 4 menu bar item without actions",
         ATSPI_ROLE_MENU_ITEM,
         {},
         false,
         alone,
         PressWay::click},
        {"Qt tool button opening its menu at once",
         button,
         {"ShowMenu"},
         true,
         alone,
         PressWay::click},
        {"Qt button with a menu and the focus",
         button,
         {"ShowMenu", "SetFocus"},
         true,
         alone,
         PressWay::menu},
        {"Qt menu bar item", ATSPI_ROLE_MENU_ITEM, {"ShowMenu"}, true, alone, PressWay::menu},
        {"GTK menu", ATSPI_ROLE_MENU, {"click"}, false, alone, PressWay::menu},
        {"plain button", button, {"Press", "SetFocus"}, true, alone, PressWay::action},
        {"Qt toolbar's checkable button",
         ATSPI_ROLE_CHECK_BOX,
         {"Toggle"},
         true,
         alone,
         PressWay::click,
         ATSPI_ROLE_TOOL_BAR},
        {"Qt check box in a form",
         ATSPI_ROLE_CHECK_BOX,
         {"Toggle"},
         true,
         alone,
         PressWay::action,
         ATSPI_ROLE_FILLER},
        {"GTK toolbar's toggle button",
         ATSPI_ROLE_TOGGLE_BUTTON,
         {"click"},
         false,
         alone,
         PressWay::action,
         ATSPI_ROLE_TOOL_BAR},
        {"GTK 2 toolbox's toggle button",
         ATSPI_ROLE_TOGGLE_BUTTON,
         {"click", "press", "release"},
         false,
         alone,
         PressWay::action},
        {"a button offering only its halves",
         button,
         {"press", "release"},
         false,
         alone,
         PressWay::click},
    };
    for (const auto& c : cases) {
        const PressFacts facts{c.role, c.actions, c.qt, c.container, c.parent};
        EXPECT_EQ(pressWay(facts), c.way) << c.what;
    }
}

TEST(PressWay, ProcessStateComesAfterTheName) {
    EXPECT_EQ(processStateFromStat("42 (menus) T 1 42"), ProcessState::stopped);
    EXPECT_EQ(processStateFromStat("42 (a) b (c)) t 1"), ProcessState::stopped);
    EXPECT_EQ(processStateFromStat("42 (menus) S 1 42"), ProcessState::running);
    EXPECT_EQ(processStateFromStat("42 (menus) Z 1 42"), ProcessState::ended);
    EXPECT_EQ(processStateFromStat("42 (menus)"), ProcessState::unknown);
    EXPECT_EQ(processStateFromStat(""), ProcessState::unknown);
}

// Only an app that did nothing and still does not answer is "not responding"; one that answers
// a later call has taken the press.
TEST(PressWay, AnUnansweredPressIsJudgedByWhatTheAppDidAfter) {
    using P = ProcessState;
    const struct {
        const char* what;
        AfterUnanswered after;
        std::optional<AXError> verdict;
    } cases[] = {
        {"hung, silent", {P::running, false, false, false}, AXError::timeout},
        {"state unknown, silent", {P::unknown, false, false, false}, AXError::timeout},
        {"stopped with the press queued", {P::stopped, false, false, false}, AXError::unconfirmed},
        {"running the press, answers a later call", {P::running, false, true, false}, std::nullopt},
        {"told a change, then hung", {P::running, false, false, true}, AXError::unconfirmed},
        {"quit", {P::ended, false, false, false}, AXError::appGone},
        {"left the bus", {P::running, true, false, true}, AXError::appGone},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(unansweredVerdict(c.after), c.verdict) << c.what;
    }
}

}  // namespace
}  // namespace ovra::atspi
