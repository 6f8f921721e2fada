#include "platform/atspi/AtspiPressWay.h"

#include <atspi/atspi-constants.h>

#include <algorithm>
#include <initializer_list>

#include "platform/atspi/AtspiMapping.h"

namespace ovra::atspi {

namespace {

bool oneOf(std::uint32_t role, std::initializer_list<AtspiRole> roles) {
    return std::any_of(roles.begin(), roles.end(), [&](AtspiRole candidate) {
        return static_cast<std::uint32_t>(candidate) == role;
    });
}

bool named(std::string_view action, std::string_view wanted) {
    return action.size() == wanted.size() &&
           std::equal(action.begin(), action.end(), wanted.begin(), [](char a, char b) {
               const char lower = a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a;
               return lower == b;
           });
}

bool hasAction(const std::vector<std::string>& actions,
               std::initializer_list<std::string_view> any) {
    return std::any_of(actions.begin(), actions.end(), [&](const std::string& action) {
        return std::any_of(any.begin(), any.end(),
                           [&](std::string_view wanted) { return named(action, wanted); });
    });
}

}  // namespace

bool isRowRole(std::uint32_t role) {
    return oneOf(role, {ATSPI_ROLE_TABLE_CELL, ATSPI_ROLE_TREE_ITEM, ATSPI_ROLE_LIST_ITEM,
                        ATSPI_ROLE_TABLE_ROW});
}

bool isRowContainerRole(std::uint32_t role) {
    return oneOf(role, {ATSPI_ROLE_LIST, ATSPI_ROLE_LIST_BOX, ATSPI_ROLE_TREE,
                        ATSPI_ROLE_TREE_TABLE, ATSPI_ROLE_TABLE});
}

PressWay pressWay(const PressFacts& facts) {
    if (isRowRole(facts.role) && facts.containerRole && isRowContainerRole(*facts.containerRole) &&
        !hasAction(facts.actions, {"press", "click"})) {
        return PressWay::click;
    }
    const auto index = atspiActionFor("AXPress", facts.actions);
    if (!index) {
        return PressWay::click;
    }
    const std::string& action = facts.actions[static_cast<std::size_t>(*index)];
    const bool button = oneOf(facts.role, {ATSPI_ROLE_PUSH_BUTTON, ATSPI_ROLE_PUSH_BUTTON_MENU,
                                           ATSPI_ROLE_TOGGLE_BUTTON});
    if (facts.qt && button && facts.actions.size() == 1 && named(action, "showmenu")) {
        return PressWay::click;
    }
    if (facts.qt && named(action, "toggle") &&
        facts.parentRole == static_cast<std::uint32_t>(ATSPI_ROLE_TOOL_BAR) &&
        (button || oneOf(facts.role, {ATSPI_ROLE_CHECK_BOX}))) {
        return PressWay::click;
    }
    return pressOpensMenu(facts.role, action) ? PressWay::menu : PressWay::action;
}

ProcessState processStateFromStat(std::string_view stat) {
    // "pid (name) S ...": the name may hold spaces and parentheses, so the state follows the
    // last ')'.
    const auto close = stat.rfind(')');
    if (close == std::string_view::npos || close + 2 >= stat.size() || stat[close + 1] != ' ') {
        return ProcessState::unknown;
    }
    switch (stat[close + 2]) {
        case 'T':
        case 't':
            return ProcessState::stopped;
        case 'Z':
        case 'X':
        case 'x':
            return ProcessState::ended;
        case 'R':
        case 'S':
        case 'D':
        case 'I':
        case 'W':
        case 'P':
            return ProcessState::running;
        default:
            return ProcessState::unknown;
    }
}

std::optional<ax::AXError> unansweredVerdict(const AfterUnanswered& after) {
    if (after.leftBus || after.process == ProcessState::ended) {
        return ax::AXError::appGone;
    }
    if (after.process == ProcessState::stopped) {
        return ax::AXError::unconfirmed;
    }
    if (after.answersNow) {
        return std::nullopt;
    }
    return after.toldSince ? ax::AXError::unconfirmed : ax::AXError::timeout;
}

}  // namespace ovra::atspi
