#include "platform/atspi/AtspiMapping.h"

#include <atspi/atspi-constants.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace ovra::atspi {

namespace {

constexpr std::uint32_t r(AtspiRole role) {
    return static_cast<std::uint32_t>(role);
}

bool oneOf(std::uint32_t role, std::initializer_list<AtspiRole> roles) {
    return std::any_of(roles.begin(), roles.end(),
                       [&](AtspiRole candidate) { return r(candidate) == role; });
}

// The first token of "xml-roles" (Chromium and Firefox put the ARIA role there).
std::string xmlRole(const ObjectAttributes& attributes) {
    auto it = attributes.find("xml-roles");
    if (it == attributes.end()) {
        return {};
    }
    std::string_view text = it->second;
    const auto start = text.find_first_not_of(' ');
    if (start == std::string_view::npos) {
        return {};
    }
    text.remove_prefix(start);
    return std::string(text.substr(0, text.find(' ')));
}

std::optional<std::string> landmarkSubrole(const std::string& xml) {
    static const std::array<std::pair<std::string_view, std::string_view>, 8> table{{
        {"banner", "AXLandmarkBanner"},
        {"navigation", "AXLandmarkNavigation"},
        {"main", "AXLandmarkMain"},
        {"complementary", "AXLandmarkComplementary"},
        {"contentinfo", "AXLandmarkContentInfo"},
        {"search", "AXLandmarkSearch"},
        {"region", "AXLandmarkRegion"},
        {"form", "AXLandmarkForm"},
    }};
    for (const auto& [aria, subrole] : table) {
        if (xml == aria) {
            return std::string(subrole);
        }
    }
    return std::nullopt;
}

AXRole plain(std::string role) {
    return {std::move(role), std::nullopt};
}

AXRole with(std::string role, std::string subrole) {
    return {std::move(role), std::move(subrole)};
}

}  // namespace

AXRole mapRole(const RoleFacts& facts) {
    const std::uint32_t role = facts.role;
    const StateSet states = facts.states;
    if (oneOf(role, {ATSPI_ROLE_FRAME, ATSPI_ROLE_WINDOW})) {
        return facts.isTopLevel ? plain("AXWindow") : plain("AXGroup");
    }
    if (oneOf(role, {ATSPI_ROLE_FILLER, ATSPI_ROLE_PANEL}) && facts.isTopLevel) {
        return plain("AXWindow");  // Qt's top-level dialogs
    }
    if (oneOf(role, {ATSPI_ROLE_DIALOG, ATSPI_ROLE_FILE_CHOOSER, ATSPI_ROLE_ALERT,
                     ATSPI_ROLE_COLOR_CHOOSER, ATSPI_ROLE_FONT_CHOOSER}) &&
        facts.isTopLevel) {
        return with("AXWindow", "AXDialog");
    }
    if (role == r(ATSPI_ROLE_DIALOG)) {
        return with("AXGroup", "AXApplicationDialog");
    }
    if (role == r(ATSPI_ROLE_ALERT)) {
        return xmlRole(facts.attributes) == "alertdialog"
                   ? with("AXGroup", "AXApplicationAlertDialog")
                   : with("AXGroup", "AXApplicationAlert");
    }
    if (role == r(ATSPI_ROLE_PUSH_BUTTON)) {
        return plain("AXButton");
    }
    if (role == r(ATSPI_ROLE_PUSH_BUTTON_MENU)) {
        return plain("AXMenuButton");
    }
    if (role == r(ATSPI_ROLE_TOGGLE_BUTTON)) {
        return states.has(ATSPI_STATE_EXPANDABLE) ? plain("AXDisclosureTriangle")
                                                  : with("AXCheckBox", "AXToggle");
    }
    if (role == r(ATSPI_ROLE_CHECK_BOX)) {
        return plain("AXCheckBox");
    }
    if (role == r(ATSPI_ROLE_RADIO_BUTTON)) {
        return plain("AXRadioButton");
    }
    if (role == r(ATSPI_ROLE_PAGE_TAB)) {
        return with("AXRadioButton", "AXTabButton");
    }
    if (role == r(ATSPI_ROLE_PAGE_TAB_LIST)) {
        return plain("AXTabGroup");
    }
    if (role == r(ATSPI_ROLE_PASSWORD_TEXT)) {
        return with("AXTextField", "AXSecureTextField");
    }
    if (role == r(ATSPI_ROLE_TEXT) && !states.has(ATSPI_STATE_EDITABLE)) {
        // Read-only TEXT is how some toolkits expose plain labels: not a field to type into.
        return plain("AXStaticText");
    }
    if (oneOf(role, {ATSPI_ROLE_ENTRY, ATSPI_ROLE_TEXT, ATSPI_ROLE_EDITBAR})) {
        if (states.has(ATSPI_STATE_MULTI_LINE)) {
            return plain("AXTextArea");
        }
        if (xmlRole(facts.attributes) == "searchbox") {
            return with("AXTextField", "AXSearchField");
        }
        return plain("AXTextField");
    }
    if (role == r(ATSPI_ROLE_TERMINAL)) {
        return plain("AXTextArea");
    }
    if (role == r(ATSPI_ROLE_COMBO_BOX)) {
        return states.has(ATSPI_STATE_EDITABLE) || facts.hasEntryChild ? plain("AXComboBox")
                                                                       : plain("AXPopUpButton");
    }
    if (role == r(ATSPI_ROLE_LINK)) {
        return plain("AXLink");
    }
    if (oneOf(role, {ATSPI_ROLE_MENU_ITEM, ATSPI_ROLE_CHECK_MENU_ITEM, ATSPI_ROLE_RADIO_MENU_ITEM,
                     ATSPI_ROLE_TEAROFF_MENU_ITEM})) {
        return plain("AXMenuItem");
    }
    if (role == r(ATSPI_ROLE_MENU)) {
        return facts.parentRole == r(ATSPI_ROLE_MENU_BAR) ? plain("AXMenuBarItem")
                                                          : plain("AXMenuItem");
    }
    if (role == r(ATSPI_ROLE_MENU_BAR)) {
        return plain("AXMenuBar");
    }
    if (role == r(ATSPI_ROLE_POPUP_MENU)) {
        return plain("AXMenu");
    }
    if (oneOf(role, {ATSPI_ROLE_SLIDER, ATSPI_ROLE_DIAL})) {
        return plain("AXSlider");
    }
    if (role == r(ATSPI_ROLE_SPIN_BUTTON)) {
        return plain("AXIncrementor");
    }
    if (role == r(ATSPI_ROLE_SCROLL_PANE)) {
        return plain("AXScrollArea");
    }
    if (role == r(ATSPI_ROLE_SCROLL_BAR)) {
        return plain("AXScrollBar");
    }
    if (role == r(ATSPI_ROLE_SPLIT_PANE)) {
        return plain("AXSplitGroup");
    }
    if (role == r(ATSPI_ROLE_TOOL_BAR)) {
        return plain("AXToolbar");
    }
    if (oneOf(role,
              {ATSPI_ROLE_DOCUMENT_WEB, ATSPI_ROLE_DOCUMENT_FRAME, ATSPI_ROLE_HTML_CONTAINER})) {
        return plain("AXWebArea");
    }
    if (oneOf(role, {ATSPI_ROLE_DOCUMENT_TEXT, ATSPI_ROLE_DOCUMENT_SPREADSHEET,
                     ATSPI_ROLE_DOCUMENT_PRESENTATION, ATSPI_ROLE_DOCUMENT_EMAIL})) {
        return plain("AXDocument");
    }
    if (oneOf(role, {ATSPI_ROLE_LABEL, ATSPI_ROLE_STATIC, ATSPI_ROLE_CAPTION,
                     ATSPI_ROLE_ACCELERATOR_LABEL})) {
        // Text is a leaf of the walk, so a label holding a control is a group it enters.
        return facts.wrapsControl ? plain("AXGroup") : plain("AXStaticText");
    }
    if (role == r(ATSPI_ROLE_HEADING)) {
        return plain("AXHeading");
    }
    if (oneOf(role,
              {ATSPI_ROLE_IMAGE, ATSPI_ROLE_ICON, ATSPI_ROLE_IMAGE_MAP, ATSPI_ROLE_ANIMATION})) {
        return plain("AXImage");
    }
    if (oneOf(role, {ATSPI_ROLE_LIST, ATSPI_ROLE_LIST_BOX})) {
        return plain("AXList");
    }
    if (role == r(ATSPI_ROLE_TABLE)) {
        return plain("AXTable");
    }
    if (oneOf(role, {ATSPI_ROLE_TREE, ATSPI_ROLE_TREE_TABLE})) {
        return plain("AXOutline");
    }
    if (oneOf(role, {ATSPI_ROLE_TABLE_ROW, ATSPI_ROLE_TREE_ITEM})) {
        return plain("AXRow");
    }
    if (oneOf(role, {ATSPI_ROLE_TABLE_CELL, ATSPI_ROLE_COLUMN_HEADER, ATSPI_ROLE_ROW_HEADER,
                     ATSPI_ROLE_TABLE_COLUMN_HEADER, ATSPI_ROLE_TABLE_ROW_HEADER})) {
        return plain("AXCell");
    }
    if (role == r(ATSPI_ROLE_LANDMARK)) {
        // Landmarks are subroles: as roles they would count as chrome and drop a page's header.
        auto subrole = landmarkSubrole(xmlRole(facts.attributes));
        return subrole ? with("AXGroup", *subrole) : plain("AXGroup");
    }
    if (role == r(ATSPI_ROLE_APPLICATION)) {
        return plain("AXApplication");
    }
    if (oneOf(role, {ATSPI_ROLE_UNKNOWN, ATSPI_ROLE_INVALID, ATSPI_ROLE_EXTENDED})) {
        return plain("AXUnknown");
    }
    // Generic containers stay structural so deep toolkit nesting does not exhaust the depth.
    return plain("AXGroup");
}

bool roleNeedsAttributes(std::uint32_t role) {
    return oneOf(role, {ATSPI_ROLE_DIALOG, ATSPI_ROLE_ALERT, ATSPI_ROLE_LANDMARK, ATSPI_ROLE_ENTRY,
                        ATSPI_ROLE_TEXT, ATSPI_ROLE_EDITBAR, ATSPI_ROLE_PASSWORD_TEXT,
                        ATSPI_ROLE_COMBO_BOX});
}

bool isTextInputRole(std::uint32_t role) {
    return oneOf(role, {ATSPI_ROLE_ENTRY, ATSPI_ROLE_TEXT, ATSPI_ROLE_EDITBAR,
                        ATSPI_ROLE_PASSWORD_TEXT, ATSPI_ROLE_TERMINAL, ATSPI_ROLE_COMBO_BOX});
}

bool isRangeRole(std::uint32_t role) {
    return oneOf(
        role, {ATSPI_ROLE_SLIDER, ATSPI_ROLE_DIAL, ATSPI_ROLE_SPIN_BUTTON, ATSPI_ROLE_SCROLL_BAR});
}

bool isStaticTextRole(std::uint32_t role) {
    return oneOf(role, {ATSPI_ROLE_LABEL, ATSPI_ROLE_STATIC, ATSPI_ROLE_CAPTION,
                        ATSPI_ROLE_ACCELERATOR_LABEL});
}

bool isScrollBarRole(std::uint32_t role) {
    return role == r(ATSPI_ROLE_SCROLL_BAR);
}

bool isApplicationRole(std::uint32_t role) {
    return role == r(ATSPI_ROLE_APPLICATION);
}

bool isControlRole(std::uint32_t role) {
    return oneOf(role, {ATSPI_ROLE_CHECK_BOX, ATSPI_ROLE_RADIO_BUTTON, ATSPI_ROLE_TOGGLE_BUTTON,
                        ATSPI_ROLE_PUSH_BUTTON, ATSPI_ROLE_ENTRY, ATSPI_ROLE_PASSWORD_TEXT,
                        ATSPI_ROLE_COMBO_BOX, ATSPI_ROLE_SPIN_BUTTON, ATSPI_ROLE_SLIDER,
                        ATSPI_ROLE_LIST_BOX});
}

bool isWebDocumentRole(std::uint32_t role) {
    return oneOf(role, {ATSPI_ROLE_DOCUMENT_WEB, ATSPI_ROLE_DOCUMENT_FRAME});
}

bool isEnabled(StateSet states) {
    return states.has(ATSPI_STATE_ENABLED) || states.has(ATSPI_STATE_SENSITIVE);
}

bool isHidden(StateSet states) {
    return !states.has(ATSPI_STATE_VISIBLE) && !states.has(ATSPI_STATE_SHOWING);
}

bool isFocused(StateSet states) {
    return states.has(ATSPI_STATE_FOCUSED);
}

bool isActiveWindow(StateSet states) {
    return states.has(ATSPI_STATE_ACTIVE);
}

bool isShowing(StateSet states) {
    return states.has(ATSPI_STATE_SHOWING);
}

std::optional<double> toggleValue(std::uint32_t role, StateSet states) {
    if (role == r(ATSPI_ROLE_CHECK_BOX) || role == r(ATSPI_ROLE_CHECK_MENU_ITEM)) {
        if (states.has(ATSPI_STATE_CHECKED)) {
            return 1.0;
        }
        return states.has(ATSPI_STATE_INDETERMINATE) ? 2.0 : 0.0;
    }
    if (role == r(ATSPI_ROLE_RADIO_BUTTON) || role == r(ATSPI_ROLE_RADIO_MENU_ITEM)) {
        return states.has(ATSPI_STATE_CHECKED) ? 1.0 : 0.0;
    }
    if (role == r(ATSPI_ROLE_TOGGLE_BUTTON)) {
        return states.has(ATSPI_STATE_CHECKED) || states.has(ATSPI_STATE_PRESSED) ? 1.0 : 0.0;
    }
    if (role == r(ATSPI_ROLE_PAGE_TAB)) {
        return states.has(ATSPI_STATE_SELECTED) ? 1.0 : 0.0;
    }
    return std::nullopt;
}

std::optional<double> scrollBarValue(double current, double minimum, double maximum) {
    if (!std::isfinite(current) || !std::isfinite(minimum) || !std::isfinite(maximum)) {
        return std::nullopt;
    }
    const double range = maximum - minimum;
    if (!(range > 0.0) || !std::isfinite(range)) {
        return std::nullopt;
    }
    return std::clamp((current - minimum) / range, 0.0, 1.0);
}

std::optional<double> rangeValue(std::uint32_t role, const RangeValues& values) {
    if (!values.current || !std::isfinite(*values.current)) {
        return std::nullopt;
    }
    if (isScrollBarRole(role)) {
        if (!values.minimum || !values.maximum) {
            return std::nullopt;
        }
        return scrollBarValue(*values.current, *values.minimum, *values.maximum);
    }
    return values.current;
}

std::optional<std::string> placeholder(const ObjectAttributes& attributes) {
    for (std::string_view key : {"placeholder-text", "placeholder"}) {
        auto it = attributes.find(key);
        if (it != attributes.end() && !it->second.empty()) {
            return it->second;
        }
    }
    return std::nullopt;
}

namespace {

std::string lower(std::string_view name) {
    std::string result(name);
    std::transform(result.begin(), result.end(), result.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return result;
}

// In order of preference for performing a press.
constexpr std::array<std::string_view, 12> pressNames{"press",  "click",  "jump",     "activate",
                                                      "toggle", "check",  "uncheck",  "open",
                                                      "switch", "expand", "collapse", "select"};

}  // namespace

std::vector<std::string> axActions(const std::vector<std::string>& atspiActions) {
    std::vector<std::string> result;
    auto add = [&](std::string name) {
        if (std::find(result.begin(), result.end(), name) == result.end()) {
            result.push_back(std::move(name));
        }
    };
    for (const auto& action : atspiActions) {
        if (atspiActionFor("AXPress", {action}).has_value()) {
            add("AXPress");
        }
        if (atspiActionFor("AXShowMenu", {action}).has_value()) {
            add("AXShowMenu");
        }
        if (atspiActionFor("AXConfirm", {action}).has_value()) {
            add("AXConfirm");
        }
    }
    return result;
}

std::optional<int> atspiActionFor(std::string_view axAction,
                                  const std::vector<std::string>& atspiActions) {
    std::vector<std::string> names;
    names.reserve(atspiActions.size());
    for (const auto& action : atspiActions) {
        names.push_back(lower(action));
    }
    auto indexOf = [&](std::string_view wanted) -> std::optional<int> {
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (names[i] == wanted) {
                return static_cast<int>(i);
            }
        }
        return std::nullopt;
    };
    if (axAction == "AXPress") {
        // clickAncestor (text inside links), doDefault (dialog containers) and showContextMenu
        // are not presses: each would make every such node a pressable container.
        for (auto name : pressNames) {
            if (auto index = indexOf(name)) {
                return index;
            }
        }
        return std::nullopt;
    }
    if (axAction == "AXShowMenu") {
        for (std::string_view name : {"showcontextmenu", "showmenu", "menu"}) {
            if (auto index = indexOf(name)) {
                return index;
            }
        }
        return std::nullopt;
    }
    if (axAction == "AXConfirm") {
        for (std::string_view name : {"confirm", "activate"}) {
            if (auto index = indexOf(name)) {
                return index;
            }
        }
        return std::nullopt;
    }
    return std::nullopt;
}

EventReach eventReach(std::string_view kind, std::string_view member, std::string_view detail) {
    // Focus and activation change states alone; a state that decides what is on screen, or
    // whether the object still exists, comes with changes of layout or of the tree that apps do
    // not always tell as well.
    if (kind == "Object" && member == "StateChanged") {
        const bool layout = detail == "showing" || detail == "visible" || detail == "defunct" ||
                            detail == "expanded" || detail == "collapsed" || detail == "iconified";
        return layout ? EventReach::wholeApp : EventReach::senderStates;
    }
    const bool activation =
        (kind == "Window" && (member == "Activate" || member == "Deactivate")) ||
        (kind == "Focus" && member == "Focus");
    return activation ? EventReach::senderStates : EventReach::wholeApp;
}

}  // namespace ovra::atspi
