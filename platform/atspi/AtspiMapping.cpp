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

// When a row of the role table applies, beyond its AT-SPI role.
enum class When : std::uint8_t {
    always,
    topLevel,         // a direct child of the application
    expandable,       // EXPANDABLE state
    notEditable,      // no EDITABLE state
    multiLine,        // MULTI_LINE state
    editableOrEntry,  // EDITABLE state, or an editable entry inside
    parentIsMenuBar,  // the parent is a menu bar
    parentIsMenu,     // the parent is a menu
    wrapsControl,     // a label with a control inside
    xmlRole,          // the first token of "xml-roles" is the row's `xml`
    inBrowser,        // the app is a web browser
    partOfCell,       // a named part of a table cell, in a native app
};

struct RoleRow {
    AtspiRole atspi;
    When when;
    std::string_view xml;  // with When::xmlRole
    std::string_view role;
    std::string_view subrole;  // empty: none
};

// The first row that applies wins; a role no row takes is a generic container (AXGroup), so
// deep toolkit nesting stays structural and does not exhaust the walk's depth.
constexpr RoleRow roleTable[] = {
    {ATSPI_ROLE_FRAME, When::topLevel, {}, "AXWindow", {}},
    {ATSPI_ROLE_WINDOW, When::topLevel, {}, "AXWindow", {}},
    {ATSPI_ROLE_FILLER, When::topLevel, {}, "AXWindow", {}},  // Qt's top-level dialogs
    {ATSPI_ROLE_PANEL, When::topLevel, {}, "AXWindow", {}},
    {ATSPI_ROLE_DIALOG, When::topLevel, {}, "AXWindow", "AXDialog"},
    {ATSPI_ROLE_FILE_CHOOSER, When::topLevel, {}, "AXWindow", "AXDialog"},
    {ATSPI_ROLE_ALERT, When::topLevel, {}, "AXWindow", "AXDialog"},
    {ATSPI_ROLE_COLOR_CHOOSER, When::topLevel, {}, "AXWindow", "AXDialog"},
    {ATSPI_ROLE_FONT_CHOOSER, When::topLevel, {}, "AXWindow", "AXDialog"},
    {ATSPI_ROLE_DIALOG, When::always, {}, "AXGroup", "AXApplicationDialog"},
    {ATSPI_ROLE_ALERT, When::xmlRole, "alertdialog", "AXGroup", "AXApplicationAlertDialog"},
    {ATSPI_ROLE_ALERT, When::always, {}, "AXGroup", "AXApplicationAlert"},
    {ATSPI_ROLE_PUSH_BUTTON, When::always, {}, "AXButton", {}},
    {ATSPI_ROLE_PUSH_BUTTON_MENU, When::always, {}, "AXMenuButton", {}},
    {ATSPI_ROLE_TOGGLE_BUTTON, When::expandable, {}, "AXDisclosureTriangle", {}},
    {ATSPI_ROLE_TOGGLE_BUTTON, When::always, {}, "AXCheckBox", "AXToggle"},
    {ATSPI_ROLE_CHECK_BOX, When::always, {}, "AXCheckBox", {}},
    {ATSPI_ROLE_RADIO_BUTTON, When::always, {}, "AXRadioButton", {}},
    {ATSPI_ROLE_PAGE_TAB, When::always, {}, "AXRadioButton", "AXTabButton"},
    {ATSPI_ROLE_PAGE_TAB_LIST, When::always, {}, "AXTabGroup", {}},
    {ATSPI_ROLE_PASSWORD_TEXT, When::always, {}, "AXTextField", "AXSecureTextField"},
    // Read-only TEXT is how some toolkits expose plain labels: not a field to type into.
    {ATSPI_ROLE_TEXT, When::notEditable, {}, "AXStaticText", {}},
    {ATSPI_ROLE_ENTRY, When::multiLine, {}, "AXTextArea", {}},
    {ATSPI_ROLE_TEXT, When::multiLine, {}, "AXTextArea", {}},
    {ATSPI_ROLE_EDITBAR, When::multiLine, {}, "AXTextArea", {}},
    {ATSPI_ROLE_ENTRY, When::xmlRole, "searchbox", "AXTextField", "AXSearchField"},
    {ATSPI_ROLE_TEXT, When::xmlRole, "searchbox", "AXTextField", "AXSearchField"},
    {ATSPI_ROLE_EDITBAR, When::xmlRole, "searchbox", "AXTextField", "AXSearchField"},
    {ATSPI_ROLE_ENTRY, When::always, {}, "AXTextField", {}},
    {ATSPI_ROLE_TEXT, When::always, {}, "AXTextField", {}},
    {ATSPI_ROLE_EDITBAR, When::always, {}, "AXTextField", {}},
    {ATSPI_ROLE_TERMINAL, When::always, {}, "AXTextArea", {}},
    {ATSPI_ROLE_COMBO_BOX, When::editableOrEntry, {}, "AXComboBox", {}},
    {ATSPI_ROLE_COMBO_BOX, When::always, {}, "AXPopUpButton", {}},
    {ATSPI_ROLE_LINK, When::always, {}, "AXLink", {}},
    {ATSPI_ROLE_MENU_ITEM, When::always, {}, "AXMenuItem", {}},
    {ATSPI_ROLE_CHECK_MENU_ITEM, When::always, {}, "AXMenuItem", {}},
    {ATSPI_ROLE_RADIO_MENU_ITEM, When::always, {}, "AXMenuItem", {}},
    {ATSPI_ROLE_TEAROFF_MENU_ITEM, When::always, {}, "AXMenuItem", {}},
    // MENU is both a menu bar's menu, a menu item that opens a submenu (GTK's, inside its
    // menu) and a menu that holds items (an open ARIA menu, a context menu): the last is a
    // container, whose items are what can be pressed. A window's menu bar lies in the window
    // (unlike the Mac's): its menus are items a person presses, as Qt's menu bar items are.
    {ATSPI_ROLE_MENU, When::parentIsMenuBar, {}, "AXMenuItem", {}},
    {ATSPI_ROLE_MENU, When::parentIsMenu, {}, "AXMenuItem", {}},
    {ATSPI_ROLE_MENU, When::always, {}, "AXMenu", {}},
    {ATSPI_ROLE_MENU_BAR, When::always, {}, "AXMenuBar", {}},
    {ATSPI_ROLE_POPUP_MENU, When::always, {}, "AXMenu", {}},
    {ATSPI_ROLE_SLIDER, When::always, {}, "AXSlider", {}},
    {ATSPI_ROLE_DIAL, When::always, {}, "AXSlider", {}},
    {ATSPI_ROLE_SPIN_BUTTON, When::always, {}, "AXIncrementor", {}},
    {ATSPI_ROLE_SCROLL_PANE, When::always, {}, "AXScrollArea", {}},
    {ATSPI_ROLE_SCROLL_BAR, When::always, {}, "AXScrollBar", {}},
    {ATSPI_ROLE_SPLIT_PANE, When::always, {}, "AXSplitGroup", {}},
    {ATSPI_ROLE_TOOL_BAR, When::always, {}, "AXToolbar", {}},
    // Only a browser's documents are web pages: a native app's document canvas (a PDF
    // viewer's page) is an ordinary part of its window, its toolbars the app's own.
    {ATSPI_ROLE_DOCUMENT_WEB, When::inBrowser, {}, "AXWebArea", {}},
    {ATSPI_ROLE_DOCUMENT_FRAME, When::inBrowser, {}, "AXWebArea", {}},
    {ATSPI_ROLE_HTML_CONTAINER, When::inBrowser, {}, "AXWebArea", {}},
    {ATSPI_ROLE_DOCUMENT_WEB, When::always, {}, "AXDocument", {}},
    {ATSPI_ROLE_DOCUMENT_FRAME, When::always, {}, "AXDocument", {}},
    {ATSPI_ROLE_HTML_CONTAINER, When::always, {}, "AXDocument", {}},
    {ATSPI_ROLE_DOCUMENT_TEXT, When::always, {}, "AXDocument", {}},
    {ATSPI_ROLE_DOCUMENT_SPREADSHEET, When::always, {}, "AXDocument", {}},
    {ATSPI_ROLE_DOCUMENT_PRESENTATION, When::always, {}, "AXDocument", {}},
    {ATSPI_ROLE_DOCUMENT_EMAIL, When::always, {}, "AXDocument", {}},
    // Text is a leaf of the walk, so a label holding a control is a group it enters.
    {ATSPI_ROLE_LABEL, When::wrapsControl, {}, "AXGroup", {}},
    {ATSPI_ROLE_STATIC, When::wrapsControl, {}, "AXGroup", {}},
    {ATSPI_ROLE_CAPTION, When::wrapsControl, {}, "AXGroup", {}},
    {ATSPI_ROLE_ACCELERATOR_LABEL, When::wrapsControl, {}, "AXGroup", {}},
    {ATSPI_ROLE_LABEL, When::always, {}, "AXStaticText", {}},
    {ATSPI_ROLE_STATIC, When::always, {}, "AXStaticText", {}},
    {ATSPI_ROLE_CAPTION, When::always, {}, "AXStaticText", {}},
    {ATSPI_ROLE_ACCELERATOR_LABEL, When::always, {}, "AXStaticText", {}},
    {ATSPI_ROLE_HEADING, When::always, {}, "AXHeading", {}},
    {ATSPI_ROLE_IMAGE, When::always, {}, "AXImage", {}},
    {ATSPI_ROLE_ICON, When::always, {}, "AXImage", {}},
    {ATSPI_ROLE_IMAGE_MAP, When::always, {}, "AXImage", {}},
    {ATSPI_ROLE_ANIMATION, When::always, {}, "AXImage", {}},
    {ATSPI_ROLE_LIST, When::always, {}, "AXList", {}},
    {ATSPI_ROLE_LIST_BOX, When::always, {}, "AXList", {}},
    {ATSPI_ROLE_TABLE, When::always, {}, "AXTable", {}},
    {ATSPI_ROLE_TREE, When::always, {}, "AXOutline", {}},
    {ATSPI_ROLE_TREE_TABLE, When::always, {}, "AXOutline", {}},
    {ATSPI_ROLE_TABLE_ROW, When::always, {}, "AXRow", {}},
    {ATSPI_ROLE_TREE_ITEM, When::always, {}, "AXRow", {}},
    // A native cell drawn in parts (GTK's icon and name of a file) holds them as cells: a part
    // with a name is text the cell shows, and lends the cell that name.
    {ATSPI_ROLE_TABLE_CELL, When::partOfCell, {}, "AXStaticText", {}},
    {ATSPI_ROLE_TABLE_CELL, When::always, {}, "AXCell", {}},
    {ATSPI_ROLE_COLUMN_HEADER, When::always, {}, "AXCell", {}},
    {ATSPI_ROLE_ROW_HEADER, When::always, {}, "AXCell", {}},
    {ATSPI_ROLE_TABLE_COLUMN_HEADER, When::always, {}, "AXCell", {}},
    {ATSPI_ROLE_TABLE_ROW_HEADER, When::always, {}, "AXCell", {}},
    // Landmarks are subroles: as roles they would count as chrome and drop a page's header.
    {ATSPI_ROLE_LANDMARK, When::xmlRole, "banner", "AXGroup", "AXLandmarkBanner"},
    {ATSPI_ROLE_LANDMARK, When::xmlRole, "navigation", "AXGroup", "AXLandmarkNavigation"},
    {ATSPI_ROLE_LANDMARK, When::xmlRole, "main", "AXGroup", "AXLandmarkMain"},
    {ATSPI_ROLE_LANDMARK, When::xmlRole, "complementary", "AXGroup", "AXLandmarkComplementary"},
    {ATSPI_ROLE_LANDMARK, When::xmlRole, "contentinfo", "AXGroup", "AXLandmarkContentInfo"},
    {ATSPI_ROLE_LANDMARK, When::xmlRole, "search", "AXGroup", "AXLandmarkSearch"},
    {ATSPI_ROLE_LANDMARK, When::xmlRole, "region", "AXGroup", "AXLandmarkRegion"},
    {ATSPI_ROLE_LANDMARK, When::xmlRole, "form", "AXGroup", "AXLandmarkForm"},
    {ATSPI_ROLE_APPLICATION, When::always, {}, "AXApplication", {}},
    {ATSPI_ROLE_UNKNOWN, When::always, {}, "AXUnknown", {}},
    {ATSPI_ROLE_INVALID, When::always, {}, "AXUnknown", {}},
    {ATSPI_ROLE_EXTENDED, When::always, {}, "AXUnknown", {}},
};

bool applies(const RoleRow& row, const RoleFacts& facts, std::string_view xml) {
    switch (row.when) {
        case When::always:
            return true;
        case When::topLevel:
            return facts.isTopLevel;
        case When::expandable:
            return facts.states.has(ATSPI_STATE_EXPANDABLE);
        case When::notEditable:
            return !facts.states.has(ATSPI_STATE_EDITABLE);
        case When::multiLine:
            return facts.states.has(ATSPI_STATE_MULTI_LINE);
        case When::editableOrEntry:
            return facts.states.has(ATSPI_STATE_EDITABLE) || facts.hasEntryChild;
        case When::parentIsMenuBar:
            return facts.parentRole == r(ATSPI_ROLE_MENU_BAR);
        case When::parentIsMenu:
            return facts.parentRole == r(ATSPI_ROLE_MENU) ||
                   facts.parentRole == r(ATSPI_ROLE_POPUP_MENU);
        case When::wrapsControl:
            return facts.wrapsControl;
        case When::xmlRole:
            return xml == row.xml;
        case When::inBrowser:
            return facts.inBrowser;
        case When::partOfCell:
            return !facts.inBrowser && facts.named && facts.parentRole == r(ATSPI_ROLE_TABLE_CELL);
    }
    return false;
}

}  // namespace

AXRole mapRole(const RoleFacts& facts) {
    std::optional<std::string> xml;  // read once, and only for a row that asks
    for (const RoleRow& row : roleTable) {
        if (r(row.atspi) != facts.role) {
            continue;
        }
        if (row.when == When::xmlRole && !xml) {
            xml = xmlRole(facts.attributes);
        }
        if (applies(row, facts, xml ? std::string_view(*xml) : std::string_view())) {
            AXRole mapped{std::string(row.role), std::nullopt};
            if (!row.subrole.empty()) {
                mapped.subrole = std::string(row.subrole);
            }
            return mapped;
        }
    }
    return {"AXGroup", std::nullopt};
}

bool roleNeedsAttributes(std::uint32_t role) {
    return oneOf(role, {ATSPI_ROLE_DIALOG, ATSPI_ROLE_ALERT, ATSPI_ROLE_LANDMARK, ATSPI_ROLE_ENTRY,
                        ATSPI_ROLE_TEXT, ATSPI_ROLE_EDITBAR, ATSPI_ROLE_PASSWORD_TEXT,
                        ATSPI_ROLE_COMBO_BOX});
}

bool roleNeedsParent(std::uint32_t role) {
    return std::any_of(std::begin(roleTable), std::end(roleTable), [&](const RoleRow& row) {
        return r(row.atspi) == role &&
               (row.when == When::parentIsMenuBar || row.when == When::parentIsMenu ||
                row.when == When::partOfCell);
    });
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

bool isModal(StateSet states) {
    return states.has(ATSPI_STATE_MODAL);
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
// Qt's menu openers (a menu bar's items, a button with a menu) offer only this: opening their
// menu is their press. A context menu ("showContextMenu", "menu") never is one.
constexpr std::string_view kShowMenu = "showmenu";

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
        // are not presses: each would make every such node a pressable container. A "press"
        // beside a "release" is only the button going down (GTK 2's buttons): nothing happens
        // until it comes up, and the button stays held.
        const bool halfPress = indexOf("release").has_value();
        for (auto name : pressNames) {
            if (halfPress && name == "press") {
                continue;
            }
            if (auto index = indexOf(name)) {
                return index;
            }
        }
        return indexOf(kShowMenu);
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

bool pressOpensMenu(std::uint32_t role, std::string_view atspiAction) {
    return lower(atspiAction) == kShowMenu ||
           oneOf(role, {ATSPI_ROLE_MENU, ATSPI_ROLE_PUSH_BUTTON_MENU});
}

bool menuShows(StateSet opener, std::span<const StateSet> children) {
    return opener.has(ATSPI_STATE_EXPANDED) || opener.has(ATSPI_STATE_PRESSED) ||
           std::any_of(children.begin(), children.end(),
                       [](StateSet child) { return child.has(ATSPI_STATE_SHOWING); });
}

std::optional<std::size_t> innerPress(std::uint32_t role,
                                      std::span<const std::vector<std::string>> childActions,
                                      std::span<const std::uint32_t> childRoles) {
    if (!oneOf(role,
               {ATSPI_ROLE_PUSH_BUTTON, ATSPI_ROLE_TOGGLE_BUTTON, ATSPI_ROLE_PUSH_BUTTON_MENU}) ||
        childActions.size() != childRoles.size() || childRoles.size() > kMostButtonParts) {
        return std::nullopt;
    }
    std::optional<std::size_t> found;
    for (std::size_t i = 0; i < childRoles.size(); ++i) {
        const bool button = oneOf(childRoles[i], {ATSPI_ROLE_PUSH_BUTTON, ATSPI_ROLE_TOGGLE_BUTTON,
                                                  ATSPI_ROLE_PUSH_BUTTON_MENU});
        if (button && atspiActionFor("AXPress", childActions[i])) {
            if (found) {
                return std::nullopt;  // two buttons inside: which one is meant cannot be told
            }
            found = i;
        }
    }
    return found;
}

std::optional<std::size_t> labellingChild(std::uint32_t role,
                                          std::span<const std::uint32_t> childRoles,
                                          std::span<const bool> childNamed) {
    const auto button = [](std::uint32_t r) {
        return oneOf(
            r, {ATSPI_ROLE_PUSH_BUTTON, ATSPI_ROLE_TOGGLE_BUTTON, ATSPI_ROLE_PUSH_BUTTON_MENU});
    };
    if (!button(role) || childRoles.size() != childNamed.size() ||
        childRoles.size() > kMostButtonParts) {
        return std::nullopt;
    }
    std::optional<std::size_t> found;
    for (std::size_t i = 0; i < childRoles.size(); ++i) {
        if (button(childRoles[i])) {
            if (found || !childNamed[i]) {
                return std::nullopt;  // two buttons inside, or one that shows no label
            }
            found = i;
        }
    }
    return found;
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
    // A name that changes (a counter, a clock, a live title) changes nothing else.
    if (kind == "Object" && member == "PropertyChange" &&
        (detail == "accessible-name" || detail == "accessible-description")) {
        return EventReach::senderName;
    }
    const bool activation =
        (kind == "Window" && (member == "Activate" || member == "Deactivate")) ||
        (kind == "Focus" && member == "Focus");
    return activation ? EventReach::senderStates : EventReach::wholeApp;
}

ax::Change::Kind changeKind(std::string_view kind, std::string_view member, std::string_view detail,
                            bool gained) {
    using Kind = ax::Change::Kind;
    if (kind == "Window" || (kind == "Object" && member == "StateChanged" && detail == "active")) {
        return Kind::activation;
    }
    if (kind == "Focus" && member == "Focus") {
        return Kind::focus;
    }
    if (kind == "Object" && member == "StateChanged" && detail == "focused") {
        return gained ? Kind::focus : Kind::activation;
    }
    return Kind::content;
}

bool tellsShown(std::string_view kind, std::string_view member, std::string_view detail,
                bool gained) {
    return gained && kind == "Object" && member == "StateChanged" && detail == "showing";
}

}  // namespace ovra::atspi
