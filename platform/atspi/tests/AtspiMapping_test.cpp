#include "platform/atspi/AtspiMapping.h"

#include <atspi/atspi-constants.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <span>
#include <vector>

namespace ovra::atspi {
namespace {

StateSet states(std::span<const AtspiStateType> list) {
    StateSet set;
    for (auto s : list) {
        set = set.with(s);
    }
    return set;
}

StateSet states(std::initializer_list<AtspiStateType> list) {
    return states(std::span<const AtspiStateType>(list.begin(), list.size()));
}

enum Fact : unsigned {
    top = 1,
    underMenuBar = 2,
    wrapsControl = 4,
    entryChild = 8,
    underMenu = 16,
    browser = 32,
    underCell = 64,
    named = 128
};

TEST(RoleMapping, ConditionsAndFallbacksPickTheRole) {
    const auto E = ATSPI_STATE_EDITABLE, M = ATSPI_STATE_MULTI_LINE, X = ATSPI_STATE_EXPANDABLE;
    struct Case {
        std::uint32_t role;
        std::initializer_list<AtspiStateType> states;
        const char* xmlRoles;  // nullptr: no attributes
        unsigned facts;
        const char* axRole;
        const char* subrole;  // nullptr: none
    };
    const Case cases[] = {
        {ATSPI_ROLE_FRAME, {}, nullptr, top, "AXWindow", nullptr},
        {ATSPI_ROLE_FRAME, {}, nullptr, 0, "AXGroup", nullptr},
        {ATSPI_ROLE_FILLER, {}, nullptr, top, "AXWindow", nullptr},
        {ATSPI_ROLE_PANEL, {}, nullptr, 0, "AXGroup", nullptr},
        {ATSPI_ROLE_ALERT, {}, nullptr, top, "AXWindow", "AXDialog"},
        {ATSPI_ROLE_DIALOG, {}, "dialog", 0, "AXGroup", "AXApplicationDialog"},
        {ATSPI_ROLE_ALERT, {}, "alertdialog", 0, "AXGroup", "AXApplicationAlertDialog"},
        {ATSPI_ROLE_ALERT, {}, nullptr, 0, "AXGroup", "AXApplicationAlert"},
        {ATSPI_ROLE_PUSH_BUTTON, {}, nullptr, 0, "AXButton", nullptr},
        {ATSPI_ROLE_TOGGLE_BUTTON, {}, nullptr, 0, "AXCheckBox", "AXToggle"},
        {ATSPI_ROLE_TOGGLE_BUTTON, {X}, nullptr, 0, "AXDisclosureTriangle", nullptr},
        {ATSPI_ROLE_PAGE_TAB, {}, nullptr, 0, "AXRadioButton", "AXTabButton"},
        {ATSPI_ROLE_ENTRY, {E}, nullptr, 0, "AXTextField", nullptr},
        {ATSPI_ROLE_ENTRY, {E}, "searchbox", 0, "AXTextField", "AXSearchField"},
        {ATSPI_ROLE_ENTRY, {E, M}, "searchbox", 0, "AXTextArea", nullptr},
        {ATSPI_ROLE_TEXT, {E, M}, nullptr, 0, "AXTextArea", nullptr},
        {ATSPI_ROLE_TEXT, {M}, nullptr, 0, "AXStaticText", nullptr},  // read-only: a label
        {ATSPI_ROLE_PASSWORD_TEXT, {}, nullptr, 0, "AXTextField", "AXSecureTextField"},
        {ATSPI_ROLE_COMBO_BOX, {E}, nullptr, 0, "AXComboBox", nullptr},
        {ATSPI_ROLE_COMBO_BOX, {}, nullptr, entryChild, "AXComboBox", nullptr},
        {ATSPI_ROLE_COMBO_BOX, {}, nullptr, 0, "AXPopUpButton", nullptr},
        // A window's menu bar holds items to press (GTK's menus, as Qt's menu items there).
        {ATSPI_ROLE_MENU, {}, nullptr, underMenuBar, "AXMenuItem", nullptr},
        {ATSPI_ROLE_MENU_ITEM, {}, nullptr, underMenuBar, "AXMenuItem", nullptr},
        // A menu elsewhere (an open ARIA menu, a context menu) holds the items to press; one
        // inside a menu is an item that opens a submenu.
        {ATSPI_ROLE_MENU, {}, "menu", 0, "AXMenu", nullptr},
        {ATSPI_ROLE_MENU, {}, nullptr, underMenu, "AXMenuItem", nullptr},
        {ATSPI_ROLE_MENU_ITEM, {}, "menuitem", 0, "AXMenuItem", nullptr},
        {ATSPI_ROLE_POPUP_MENU, {}, nullptr, 0, "AXMenu", nullptr},
        // A browser's documents are web pages; a native app's document canvas (a PDF viewer's
        // page, a web view of a mail reader) is part of its window.
        {ATSPI_ROLE_DOCUMENT_WEB, {}, nullptr, browser, "AXWebArea", nullptr},
        {ATSPI_ROLE_DOCUMENT_FRAME, {}, nullptr, browser, "AXWebArea", nullptr},
        {ATSPI_ROLE_DOCUMENT_FRAME, {}, nullptr, 0, "AXDocument", nullptr},
        {ATSPI_ROLE_DOCUMENT_WEB, {}, nullptr, 0, "AXDocument", nullptr},
        // A named part of a native cell (a file's name beside its icon) is text the cell shows;
        // a web page's cells nest as the page nests them.
        {ATSPI_ROLE_TABLE_CELL, {}, nullptr, 0, "AXCell", nullptr},
        {ATSPI_ROLE_TABLE_CELL, {}, nullptr, underCell | named, "AXStaticText", nullptr},
        {ATSPI_ROLE_TABLE_CELL, {}, nullptr, underCell, "AXCell", nullptr},  // an icon
        {ATSPI_ROLE_TABLE_CELL, {}, nullptr, underCell | named | browser, "AXCell", nullptr},
        {ATSPI_ROLE_LABEL, {}, nullptr, 0, "AXStaticText", nullptr},
        {ATSPI_ROLE_LABEL, {}, nullptr, wrapsControl, "AXGroup", nullptr},
        {ATSPI_ROLE_LANDMARK, {}, " main extra", 0, "AXGroup", "AXLandmarkMain"},
        {ATSPI_ROLE_LANDMARK, {}, "navigation", 0, "AXGroup", "AXLandmarkNavigation"},
        {ATSPI_ROLE_LANDMARK, {}, "unheard-of", 0, "AXGroup", nullptr},
        {ATSPI_ROLE_INVALID, {}, nullptr, 0, "AXUnknown", nullptr},
        {ATSPI_ROLE_SECTION, {}, nullptr, 0, "AXGroup", nullptr},
        {100000, {}, nullptr, 0, "AXGroup", nullptr},  // past the known range
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << "AT-SPI role " << c.role << " facts " << c.facts);
        RoleFacts facts;
        facts.role = c.role;
        facts.states = states(c.states);
        if (c.xmlRoles) {
            facts.attributes = {{"xml-roles", c.xmlRoles}};
        }
        facts.isTopLevel = (c.facts & top) != 0;
        facts.parentRole = (c.facts & underMenuBar) ? ATSPI_ROLE_MENU_BAR
                           : (c.facts & underMenu)  ? ATSPI_ROLE_MENU
                           : (c.facts & underCell)  ? ATSPI_ROLE_TABLE_CELL
                                                    : ATSPI_ROLE_PANEL;
        facts.wrapsControl = (c.facts & wrapsControl) != 0;
        facts.hasEntryChild = (c.facts & entryChild) != 0;
        facts.inBrowser = (c.facts & browser) != 0;
        facts.named = (c.facts & named) != 0;
        const AXRole mapped = mapRole(facts);
        EXPECT_EQ(mapped.role, c.axRole);
        EXPECT_EQ(mapped.subrole, c.subrole ? std::optional<std::string>(c.subrole) : std::nullopt);
        // A role whose mapping looks at the parent has its parent read.
        if (c.facts & (underMenuBar | underMenu | underCell)) {
            EXPECT_EQ(roleNeedsParent(c.role),
                      c.role == ATSPI_ROLE_MENU || c.role == ATSPI_ROLE_TABLE_CELL);
        }
    }
}

TEST(States, BothWordsAndTheEitherOrRules) {
    const StateSet set = StateSet::fromWords(1U << ATSPI_STATE_FOCUSED, 1U << (43 - 32));
    EXPECT_TRUE(set.has(ATSPI_STATE_FOCUSED));
    EXPECT_TRUE(set.has(ATSPI_STATE_READ_ONLY));  // 43: in the second word
    EXPECT_FALSE(set.has(ATSPI_STATE_ENABLED));
    EXPECT_FALSE(set.has(-1));
    EXPECT_FALSE(set.has(64));
    EXPECT_EQ(set.with(70).bits(), set.bits());
    EXPECT_TRUE(isEnabled(states({ATSPI_STATE_SENSITIVE})));
    EXPECT_FALSE(isEnabled(states({ATSPI_STATE_VISIBLE, ATSPI_STATE_SHOWING})));
    // Off-screen web content is visible but not showing: it stays in the tree.
    EXPECT_FALSE(isHidden(states({ATSPI_STATE_VISIBLE})));
    EXPECT_TRUE(isHidden(states({ATSPI_STATE_ENABLED})));
    EXPECT_TRUE(isModal(states({ATSPI_STATE_MODAL, ATSPI_STATE_SHOWING})));
    EXPECT_FALSE(isModal(states({ATSPI_STATE_SHOWING})));
}

TEST(Values, TogglesFollowTheirStates) {
    const std::optional<double> none;
    const struct {
        AtspiRole role;
        AtspiStateType state;
        std::optional<double> value;
    } cases[] = {
        {ATSPI_ROLE_CHECK_BOX, ATSPI_STATE_CHECKED, 1.0},
        {ATSPI_ROLE_CHECK_BOX, ATSPI_STATE_INDETERMINATE, 2.0},
        {ATSPI_ROLE_CHECK_BOX, ATSPI_STATE_FOCUSED, 0.0},
        {ATSPI_ROLE_RADIO_BUTTON, ATSPI_STATE_INDETERMINATE, 0.0},
        {ATSPI_ROLE_TOGGLE_BUTTON, ATSPI_STATE_PRESSED, 1.0},
        {ATSPI_ROLE_PAGE_TAB, ATSPI_STATE_SELECTED, 1.0},
        {ATSPI_ROLE_PAGE_TAB, ATSPI_STATE_CHECKED, 0.0},
        {ATSPI_ROLE_PUSH_BUTTON, ATSPI_STATE_CHECKED, none},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(toggleValue(c.role, states({c.state})), c.value) << c.role << " " << c.state;
    }
}

TEST(Values, RangeValueUsesWhatCameBackAndTreatsFailedReadsAsAbsent) {
    const std::optional<double> none;
    struct Row {
        AtspiRole role;
        RangeValues values;
        std::optional<double> expected;
    };
    const Row rows[] = {
        {ATSPI_ROLE_SLIDER, {0.0, 100.0, 40.0}, 40.0},
        // A slider keeps its value when a bound could not be read (Chromium's hidden sliders).
        {ATSPI_ROLE_SLIDER, {none, 100.0, 40.0}, 40.0},
        {ATSPI_ROLE_DIAL, {0.0, 1.0, none}, none},
        {ATSPI_ROLE_SLIDER, {0.0, 100.0, NAN}, none},
        {ATSPI_ROLE_SLIDER, {0.0, 100.0, INFINITY}, none},
        {ATSPI_ROLE_SCROLL_BAR, {0.0, 200.0, 50.0}, 0.25},
        {ATSPI_ROLE_SCROLL_BAR, {0.0, 200.0, 300.0}, 1.0},  // toolkits overshoot while animating
        // A scroll bar's position needs both bounds and a finite, non-empty range.
        {ATSPI_ROLE_SCROLL_BAR, {none, 200.0, 50.0}, none},
        {ATSPI_ROLE_SCROLL_BAR, {0.0, none, 50.0}, none},
        {ATSPI_ROLE_SCROLL_BAR, {10.0, 10.0, 10.0}, none},
        {ATSPI_ROLE_SCROLL_BAR, {20.0, 10.0, 10.0}, none},
        {ATSPI_ROLE_SCROLL_BAR, {0.0, NAN, 0.0}, none},
        {ATSPI_ROLE_SCROLL_BAR, {-INFINITY, 1.0, 0.0}, none},
        {ATSPI_ROLE_SCROLL_BAR, {-1.7e308, 1.7e308, 0.0}, none},  // the range overflows
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::Message()
                     << "role " << row.role << " min " << row.values.minimum.value_or(-999)
                     << " max " << row.values.maximum.value_or(-999) << " current "
                     << row.values.current.value_or(-999));
        EXPECT_EQ(rangeValue(static_cast<std::uint32_t>(row.role), row.values), row.expected);
    }
}

TEST(Attributes, PlaceholderFromEitherName) {
    EXPECT_EQ(placeholder({{"placeholder", "Email address"}}), "Email address");
    EXPECT_EQ(placeholder({{"placeholder-text", "Search"}, {"placeholder", "Other"}}), "Search");
    EXPECT_EQ(placeholder({{"placeholder-text", ""}}), std::nullopt);
}

TEST(Actions, PressIsOfferedOnlyForRealPressesAndPerformsThePreferredOne) {
    using V = std::vector<std::string>;
    EXPECT_EQ(axActions(V{"Press", "SetFocus", "ShowMenu"}), (V{"AXPress", "AXShowMenu"}));
    EXPECT_EQ(axActions(V{"activate"}), (V{"AXPress", "AXConfirm"}));
    // Chromium's text inside links, dialog containers and context menus are not presses.
    EXPECT_EQ(axActions(V{"clickAncestor", "doDefault"}), V{});
    EXPECT_EQ(axActions(V{"showContextMenu"}), V{"AXShowMenu"});
    EXPECT_EQ(atspiActionFor("AXPress", V{"showContextMenu", "click"}), 1);
    EXPECT_EQ(atspiActionFor("AXPress", V{"activate", "press"}), 1);
    EXPECT_EQ(atspiActionFor("AXPress", V{"expand", "Toggle"}), 1);
    // GTK 2's buttons: "press" is only the button going down.
    EXPECT_EQ(atspiActionFor("AXPress", V{"click", "press", "release"}), 0);
    EXPECT_EQ(atspiActionFor("AXPress", V{"press", "release"}), std::nullopt);
    EXPECT_EQ(atspiActionFor("AXShowMenu", V{"click", "menu"}), 1);
    EXPECT_EQ(atspiActionFor("AXConfirm", V{"click"}), std::nullopt);
    EXPECT_EQ(atspiActionFor("AXRaise", V{"click"}), std::nullopt);
}

TEST(Actions, AMenuOpenersOnlyActionIsItsPressButAContextMenuNeverIs) {
    using V = std::vector<std::string>;
    const std::optional<int> none;
    const struct {
        V names;
        V offered;
        std::optional<int> press;
    } cases[] = {
        // Qt's menu bar items and buttons with a menu.
        {{"ShowMenu"}, {"AXPress", "AXShowMenu"}, 0},
        {{"ShowMenu", "SetFocus"}, {"AXPress", "AXShowMenu"}, 0},
        // A real press goes first wherever it stands.
        {{"ShowMenu", "Press"}, {"AXPress", "AXShowMenu"}, 1},
        {{"showContextMenu"}, {"AXShowMenu"}, none},
        {{"menu"}, {"AXShowMenu"}, none},
        {{"showContextMenu", "SetFocus"}, {"AXShowMenu"}, none},
        {{"SetFocus"}, {}, none},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.names));
        EXPECT_EQ(axActions(c.names), c.offered);
        EXPECT_EQ(atspiActionFor("AXPress", c.names), c.press);
    }
}

TEST(Actions, AMenuShowsByTheOpenersStatesOrAShownChild) {
    const auto S = ATSPI_STATE_SHOWING, V = ATSPI_STATE_VISIBLE;
    const struct {
        const char* what;
        // Vectors, not initializer lists: a list's array would end with the table's statement.
        std::vector<AtspiStateType> opener;
        std::vector<std::vector<AtspiStateType>> children;
        bool shows;
    } cases[] = {
        {"closed GTK menu: items visible, none showing", {S, V}, {{V}, {V}}, false},
        {"open GTK menu: its items show", {S, V, ATSPI_STATE_SELECTED}, {{V}, {S, V}}, true},
        {"Qt menu bar item with its menu shown", {S, V}, {{S, V}}, true},
        {"Qt button held down while its menu is open", {S, ATSPI_STATE_PRESSED}, {}, true},
        {"expanded menu button", {S, ATSPI_STATE_EXPANDED}, {}, true},
        {"expandable is not expanded", {S, ATSPI_STATE_EXPANDABLE}, {}, false},
        {"no children", {S, V}, {}, false},
    };
    for (const auto& c : cases) {
        std::vector<StateSet> children;
        for (const auto& child : c.children) {
            children.push_back(states(child));
        }
        EXPECT_EQ(menuShows(states(c.opener), children), c.shows) << c.what;
    }
}

TEST(Actions, AButtonWithoutActionsIsPressedThroughItsOneInnerButton) {
    using V = std::vector<std::string>;
    const std::uint32_t button = ATSPI_ROLE_PUSH_BUTTON, toggle = ATSPI_ROLE_TOGGLE_BUTTON,
                        label = ATSPI_ROLE_LABEL;
    const std::optional<std::size_t> none;
    const struct {
        const char* what;
        std::uint32_t role;
        std::vector<V> actions;
        std::vector<std::uint32_t> roles;
        std::optional<std::size_t> inner;
    } cases[] = {
        {"GTK 4's menu button", button, {{"Click"}}, {button}, 0},
        {"its open popover beside the toggle",
         button,
         {{"Click"}, {"default.activate"}},
         {toggle, ATSPI_ROLE_MENU},
         0},
        {"a label is no button", button, {{"Click"}}, {label}, none},
        {"an inner button that cannot press", button, {{"SetFocus"}}, {button}, none},
        {"two inner buttons: which is meant is unknown",
         button,
         {{"Click"}, {"Click"}},
         {button, toggle},
         none},
        {"too many parts",
         button,
         {{}, {}, {}, {}, {"Click"}},
         {label, label, label, label, button},
         none},
        {"not a button", ATSPI_ROLE_PANEL, {{"Click"}}, {button}, none},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(innerPress(c.role, c.actions, c.roles), c.inner) << c.what;
    }
}

// GTK 4's menu button shows the label of the one button inside it.
TEST(Names, AButtonWithoutANameTakesTheLabelOfItsOneNamedInnerButton) {
    const std::uint32_t button = ATSPI_ROLE_PUSH_BUTTON, toggle = ATSPI_ROLE_TOGGLE_BUTTON,
                        label = ATSPI_ROLE_LABEL;
    const std::optional<std::size_t> none;
    const struct {
        const char* what;
        std::uint32_t role;
        std::vector<std::uint32_t> roles;
        std::vector<char> named;
        std::optional<std::size_t> lender;
    } cases[] = {
        {"GTK 4's menu button", button, {toggle}, {1}, 0},
        {"beside its open popover", button, {ATSPI_ROLE_MENU, button}, {1, 1}, 1},
        {"an icon-only inner button", button, {button}, {0}, none},
        {"two inner buttons", button, {button, toggle}, {1, 1}, none},
        {"no button inside", button, {label}, {1}, none},
        {"not a button", ATSPI_ROLE_PANEL, {button}, {1}, none},
    };
    for (const auto& c : cases) {
        std::array<bool, kMostButtonParts> named{};
        std::copy(c.named.begin(), c.named.end(), named.begin());
        EXPECT_EQ(
            labellingChild(c.role, c.roles, std::span<const bool>(named.data(), c.named.size())),
            c.lender)
            << c.what;
    }
}

// What a browser tells as its window comes forward is activation and focus; whatever a page does
// to its content is a change of content.
TEST(Events, ChangesAreToldApartByWhatTheyTellOf) {
    using Kind = ax::Change::Kind;
    const std::tuple<const char*, const char*, const char*, bool, Kind> cases[] = {
        {"Window", "Activate", "", false, Kind::activation},
        {"Window", "Deactivate", "", false, Kind::activation},
        {"Object", "StateChanged", "active", true, Kind::activation},
        {"Object", "StateChanged", "focused", true, Kind::focus},
        {"Object", "StateChanged", "focused", false, Kind::activation},
        {"Focus", "Focus", "", false, Kind::focus},
        {"Object", "StateChanged", "enabled", false, Kind::content},
        {"Object", "StateChanged", "showing", true, Kind::content},
        {"Object", "PropertyChange", "accessible-name", false, Kind::content},
        {"Object", "ChildrenChanged", "add", true, Kind::content},
        {"Object", "TextChanged", "insert", true, Kind::content},
        {"Object", "VisibleDataChanged", "", false, Kind::content},
    };
    for (const auto& [kind, member, detail, gained, expected] : cases) {
        EXPECT_EQ(changeKind(kind, member, detail, gained), expected)
            << kind << ":" << member << ":" << detail << " " << gained;
        // Of these, only the object that came to show tells it shows (GTK 2's opened menu).
        EXPECT_EQ(tellsShown(kind, member, detail, gained), std::string_view(detail) == "showing")
            << kind << ":" << member << ":" << detail << " " << gained;
    }
    EXPECT_FALSE(tellsShown("Object", "StateChanged", "showing", false));
}

}  // namespace
}  // namespace ovra::atspi
