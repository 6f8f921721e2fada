#include "platform/atspi/AtspiMapping.h"

#include <atspi/atspi-constants.h>
#include <gtest/gtest.h>

#include <cmath>

namespace ovra::atspi {
namespace {

StateSet states(std::initializer_list<AtspiStateType> list) {
    StateSet set;
    for (auto s : list) {
        set = set.with(s);
    }
    return set;
}

struct RoleRow {
    AtspiRole role;
    std::initializer_list<AtspiStateType> states;
    ObjectAttributes attributes;
    bool top;
    std::optional<AtspiRole> parent;
    const char* axRole;
    const char* axSubrole;  // nullptr: none
    bool wrapsControl = false;
};

TEST(RoleMapping, FollowsTheTable) {
    const RoleRow rows[] = {
        {ATSPI_ROLE_FRAME, {}, {}, true, ATSPI_ROLE_APPLICATION, "AXWindow", nullptr},
        {ATSPI_ROLE_WINDOW, {}, {}, true, ATSPI_ROLE_APPLICATION, "AXWindow", nullptr},
        {ATSPI_ROLE_FRAME, {}, {}, false, ATSPI_ROLE_PANEL, "AXGroup", nullptr},
        {ATSPI_ROLE_DIALOG, {}, {}, true, ATSPI_ROLE_APPLICATION, "AXWindow", "AXDialog"},
        {ATSPI_ROLE_FILE_CHOOSER, {}, {}, true, ATSPI_ROLE_APPLICATION, "AXWindow", "AXDialog"},
        {ATSPI_ROLE_ALERT, {}, {}, true, ATSPI_ROLE_APPLICATION, "AXWindow", "AXDialog"},
        {ATSPI_ROLE_DIALOG,
         {},
         {{"xml-roles", "dialog"}},
         false,
         std::nullopt,
         "AXGroup",
         "AXApplicationDialog"},
        {ATSPI_ROLE_ALERT,
         {},
         {{"xml-roles", "alertdialog"}},
         false,
         std::nullopt,
         "AXGroup",
         "AXApplicationAlertDialog"},
        {ATSPI_ROLE_ALERT, {}, {}, false, std::nullopt, "AXGroup", "AXApplicationAlert"},
        {ATSPI_ROLE_PUSH_BUTTON, {}, {}, false, std::nullopt, "AXButton", nullptr},
        {ATSPI_ROLE_PUSH_BUTTON_MENU, {}, {}, false, std::nullopt, "AXMenuButton", nullptr},
        {ATSPI_ROLE_TOGGLE_BUTTON, {}, {}, false, std::nullopt, "AXCheckBox", "AXToggle"},
        {ATSPI_ROLE_TOGGLE_BUTTON,
         {ATSPI_STATE_EXPANDABLE},
         {},
         false,
         std::nullopt,
         "AXDisclosureTriangle",
         nullptr},
        {ATSPI_ROLE_CHECK_BOX, {}, {}, false, std::nullopt, "AXCheckBox", nullptr},
        {ATSPI_ROLE_RADIO_BUTTON, {}, {}, false, std::nullopt, "AXRadioButton", nullptr},
        {ATSPI_ROLE_PAGE_TAB, {}, {}, false, std::nullopt, "AXRadioButton", "AXTabButton"},
        {ATSPI_ROLE_PAGE_TAB_LIST, {}, {}, false, std::nullopt, "AXTabGroup", nullptr},
        {ATSPI_ROLE_ENTRY, {ATSPI_STATE_EDITABLE}, {}, false, std::nullopt, "AXTextField", nullptr},
        {ATSPI_ROLE_ENTRY,
         {ATSPI_STATE_EDITABLE},
         {{"xml-roles", "searchbox"}},
         false,
         std::nullopt,
         "AXTextField",
         "AXSearchField"},
        {ATSPI_ROLE_ENTRY,
         {ATSPI_STATE_EDITABLE, ATSPI_STATE_MULTI_LINE},
         {},
         false,
         std::nullopt,
         "AXTextArea",
         nullptr},
        {ATSPI_ROLE_TEXT,
         {ATSPI_STATE_EDITABLE, ATSPI_STATE_MULTI_LINE},
         {},
         false,
         std::nullopt,
         "AXTextArea",
         nullptr},
        {ATSPI_ROLE_TEXT, {}, {}, false, std::nullopt, "AXStaticText", nullptr},
        {ATSPI_ROLE_TERMINAL, {}, {}, false, std::nullopt, "AXTextArea", nullptr},
        {ATSPI_ROLE_PASSWORD_TEXT, {}, {}, false, std::nullopt, "AXTextField", "AXSecureTextField"},
        {ATSPI_ROLE_COMBO_BOX,
         {ATSPI_STATE_EDITABLE},
         {},
         false,
         std::nullopt,
         "AXComboBox",
         nullptr},
        {ATSPI_ROLE_COMBO_BOX, {}, {}, false, std::nullopt, "AXPopUpButton", nullptr},
        {ATSPI_ROLE_LINK, {}, {}, false, std::nullopt, "AXLink", nullptr},
        {ATSPI_ROLE_CHECK_MENU_ITEM, {}, {}, false, std::nullopt, "AXMenuItem", nullptr},
        {ATSPI_ROLE_MENU, {}, {}, false, ATSPI_ROLE_MENU_BAR, "AXMenuBarItem", nullptr},
        {ATSPI_ROLE_MENU, {}, {}, false, ATSPI_ROLE_POPUP_MENU, "AXMenuItem", nullptr},
        {ATSPI_ROLE_MENU_BAR, {}, {}, false, std::nullopt, "AXMenuBar", nullptr},
        {ATSPI_ROLE_POPUP_MENU, {}, {}, false, std::nullopt, "AXMenu", nullptr},
        {ATSPI_ROLE_DIAL, {}, {}, false, std::nullopt, "AXSlider", nullptr},
        {ATSPI_ROLE_SPIN_BUTTON, {}, {}, false, std::nullopt, "AXIncrementor", nullptr},
        {ATSPI_ROLE_SCROLL_PANE, {}, {}, false, std::nullopt, "AXScrollArea", nullptr},
        {ATSPI_ROLE_SCROLL_BAR, {}, {}, false, std::nullopt, "AXScrollBar", nullptr},
        {ATSPI_ROLE_VIEWPORT, {}, {}, false, std::nullopt, "AXGroup", nullptr},
        {ATSPI_ROLE_SPLIT_PANE, {}, {}, false, std::nullopt, "AXSplitGroup", nullptr},
        {ATSPI_ROLE_TOOL_BAR, {}, {}, false, std::nullopt, "AXToolbar", nullptr},
        {ATSPI_ROLE_DOCUMENT_WEB, {}, {}, false, std::nullopt, "AXWebArea", nullptr},
        {ATSPI_ROLE_DOCUMENT_FRAME, {}, {}, false, std::nullopt, "AXWebArea", nullptr},
        {ATSPI_ROLE_DOCUMENT_SPREADSHEET, {}, {}, false, std::nullopt, "AXDocument", nullptr},
        {ATSPI_ROLE_STATIC, {}, {}, false, std::nullopt, "AXStaticText", nullptr},
        {ATSPI_ROLE_LABEL, {}, {}, false, std::nullopt, "AXStaticText", nullptr},
        {ATSPI_ROLE_LABEL, {}, {}, false, std::nullopt, "AXGroup", nullptr, true},
        {ATSPI_ROLE_FILLER, {}, {}, true, ATSPI_ROLE_APPLICATION, "AXWindow", nullptr},
        {ATSPI_ROLE_HEADING, {}, {}, false, std::nullopt, "AXHeading", nullptr},
        {ATSPI_ROLE_ICON, {}, {}, false, std::nullopt, "AXImage", nullptr},
        {ATSPI_ROLE_LIST_BOX, {}, {}, false, std::nullopt, "AXList", nullptr},
        {ATSPI_ROLE_LIST_ITEM, {}, {}, false, std::nullopt, "AXGroup", nullptr},
        {ATSPI_ROLE_TABLE, {}, {}, false, std::nullopt, "AXTable", nullptr},
        {ATSPI_ROLE_TREE_TABLE, {}, {}, false, std::nullopt, "AXOutline", nullptr},
        {ATSPI_ROLE_TREE_ITEM, {}, {}, false, std::nullopt, "AXRow", nullptr},
        {ATSPI_ROLE_COLUMN_HEADER, {}, {}, false, std::nullopt, "AXCell", nullptr},
        {ATSPI_ROLE_LANDMARK,
         {},
         {{"xml-roles", "banner"}},
         false,
         std::nullopt,
         "AXGroup",
         "AXLandmarkBanner"},
        {ATSPI_ROLE_LANDMARK,
         {},
         {{"xml-roles", "navigation"}},
         false,
         std::nullopt,
         "AXGroup",
         "AXLandmarkNavigation"},
        {ATSPI_ROLE_LANDMARK,
         {},
         {{"xml-roles", " main extra"}},
         false,
         std::nullopt,
         "AXGroup",
         "AXLandmarkMain"},
        {ATSPI_ROLE_LANDMARK,
         {},
         {{"xml-roles", "unheard-of"}},
         false,
         std::nullopt,
         "AXGroup",
         nullptr},
        {ATSPI_ROLE_SECTION, {}, {}, false, std::nullopt, "AXGroup", nullptr},
        {ATSPI_ROLE_PANEL, {}, {}, false, std::nullopt, "AXGroup", nullptr},
        {ATSPI_ROLE_APPLICATION, {}, {}, false, std::nullopt, "AXApplication", nullptr},
        {ATSPI_ROLE_UNKNOWN, {}, {}, false, std::nullopt, "AXUnknown", nullptr},
        {ATSPI_ROLE_INVALID, {}, {}, false, std::nullopt, "AXUnknown", nullptr},
    };
    for (const auto& row : rows) {
        RoleFacts facts;
        facts.role = static_cast<std::uint32_t>(row.role);
        facts.states = states(row.states);
        facts.attributes = row.attributes;
        facts.isTopLevel = row.top;
        facts.wrapsControl = row.wrapsControl;
        if (row.parent) {
            facts.parentRole = static_cast<std::uint32_t>(*row.parent);
        }
        const AXRole mapped = mapRole(facts);
        SCOPED_TRACE("AT-SPI role " + std::to_string(row.role));
        EXPECT_EQ(mapped.role, row.axRole);
        EXPECT_EQ(mapped.subrole,
                  row.axSubrole ? std::optional<std::string>(row.axSubrole) : std::nullopt);
    }
}

TEST(RoleMapping, ComboBoxWithAnEntryInsideIsEditable) {
    RoleFacts facts;
    facts.role = ATSPI_ROLE_COMBO_BOX;
    facts.hasEntryChild = true;
    EXPECT_EQ(mapRole(facts).role, "AXComboBox");
}

TEST(RoleMapping, RolesPastTheKnownRangeAreGenericContainers) {
    RoleFacts facts;
    facts.role = 100000;
    EXPECT_EQ(mapRole(facts), (AXRole{"AXGroup", std::nullopt}));
}

TEST(StateSet, ReadsBothWordsAndIgnoresOutOfRangeStates) {
    const StateSet set = StateSet::fromWords(1U << ATSPI_STATE_FOCUSED, 1U << (43 - 32));
    EXPECT_TRUE(set.has(ATSPI_STATE_FOCUSED));
    EXPECT_TRUE(set.has(ATSPI_STATE_READ_ONLY));  // 43: in the second word
    EXPECT_FALSE(set.has(ATSPI_STATE_ENABLED));
    EXPECT_FALSE(set.has(-1));
    EXPECT_FALSE(set.has(64));
    EXPECT_EQ(set.with(70).bits(), set.bits());
}

TEST(States, EnabledHiddenAndFocused) {
    EXPECT_TRUE(isEnabled(states({ATSPI_STATE_ENABLED})));
    EXPECT_TRUE(isEnabled(states({ATSPI_STATE_SENSITIVE})));
    EXPECT_FALSE(isEnabled(states({ATSPI_STATE_VISIBLE, ATSPI_STATE_SHOWING})));
    // Off-screen web content is visible but not showing: it stays in the tree.
    EXPECT_FALSE(isHidden(states({ATSPI_STATE_VISIBLE})));
    EXPECT_FALSE(isHidden(states({ATSPI_STATE_SHOWING})));
    EXPECT_TRUE(isHidden(states({ATSPI_STATE_ENABLED})));
    EXPECT_TRUE(isFocused(states({ATSPI_STATE_FOCUSED})));
    EXPECT_FALSE(isFocused(states({ATSPI_STATE_FOCUSABLE})));
}

TEST(Values, TogglesFollowTheirStates) {
    EXPECT_EQ(toggleValue(ATSPI_ROLE_CHECK_BOX, states({ATSPI_STATE_CHECKED})), 1.0);
    EXPECT_EQ(toggleValue(ATSPI_ROLE_CHECK_BOX, states({ATSPI_STATE_INDETERMINATE})), 2.0);
    EXPECT_EQ(toggleValue(ATSPI_ROLE_CHECK_BOX, states({})), 0.0);
    EXPECT_EQ(toggleValue(ATSPI_ROLE_RADIO_BUTTON, states({ATSPI_STATE_CHECKED})), 1.0);
    EXPECT_EQ(toggleValue(ATSPI_ROLE_RADIO_BUTTON, states({ATSPI_STATE_INDETERMINATE})), 0.0);
    EXPECT_EQ(toggleValue(ATSPI_ROLE_TOGGLE_BUTTON, states({ATSPI_STATE_PRESSED})), 1.0);
    EXPECT_EQ(toggleValue(ATSPI_ROLE_PAGE_TAB, states({ATSPI_STATE_SELECTED})), 1.0);
    EXPECT_EQ(toggleValue(ATSPI_ROLE_PAGE_TAB, states({ATSPI_STATE_CHECKED})), 0.0);
    EXPECT_EQ(toggleValue(ATSPI_ROLE_PUSH_BUTTON, states({ATSPI_STATE_CHECKED})), std::nullopt);
}

TEST(Values, ScrollBarPositionIsNormalisedAndGuarded) {
    EXPECT_EQ(scrollBarValue(0, 0, 200), 0.0);
    EXPECT_EQ(scrollBarValue(50, 0, 200), 0.25);
    EXPECT_EQ(scrollBarValue(200, 0, 200), 1.0);
    EXPECT_EQ(scrollBarValue(300, 0, 200), 1.0);  // toolkits overshoot while animating
    EXPECT_EQ(scrollBarValue(10, 10, 10), std::nullopt);
    EXPECT_EQ(scrollBarValue(10, 20, 10), std::nullopt);
    EXPECT_EQ(scrollBarValue(NAN, 0, 1), std::nullopt);
    EXPECT_EQ(scrollBarValue(0, -INFINITY, 1), std::nullopt);
    EXPECT_EQ(scrollBarValue(0, -1.7e308, 1.7e308), std::nullopt);  // range overflows
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
        {ATSPI_ROLE_SPIN_BUTTON, {none, none, -3.0}, -3.0},
        {ATSPI_ROLE_DIAL, {0.0, 1.0, none}, none},
        {ATSPI_ROLE_SLIDER, {0.0, 100.0, NAN}, none},
        {ATSPI_ROLE_SLIDER, {0.0, 100.0, INFINITY}, none},
        {ATSPI_ROLE_SCROLL_BAR, {0.0, 200.0, 50.0}, 0.25},
        // A scroll bar's position needs both bounds.
        {ATSPI_ROLE_SCROLL_BAR, {none, 200.0, 50.0}, none},
        {ATSPI_ROLE_SCROLL_BAR, {0.0, none, 50.0}, none},
        {ATSPI_ROLE_SCROLL_BAR, {0.0, 0.0, 0.0}, none},
        {ATSPI_ROLE_SCROLL_BAR, {0.0, NAN, 0.0}, none},
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
    EXPECT_EQ(placeholder({{"tag", "input"}}), std::nullopt);
}

TEST(Actions, PressIsOfferedOnlyForRealPresses) {
    using V = std::vector<std::string>;
    EXPECT_EQ(axActions(V{"click"}), V{"AXPress"});
    EXPECT_EQ(axActions(V{"Press", "SetFocus", "ShowMenu"}), (V{"AXPress", "AXShowMenu"}));
    EXPECT_EQ(axActions(V{"activate"}), (V{"AXPress", "AXConfirm"}));
    // Chromium's text inside links, dialog containers and context menus are not presses.
    EXPECT_EQ(axActions(V{"clickAncestor"}), V{});
    EXPECT_EQ(axActions(V{"doDefault"}), V{});
    EXPECT_EQ(axActions(V{"showContextMenu"}), V{"AXShowMenu"});
    EXPECT_EQ(axActions(V{}), V{});
}

TEST(Actions, PressPerformsThePreferredAction) {
    using V = std::vector<std::string>;
    EXPECT_EQ(atspiActionFor("AXPress", V{"showContextMenu", "click"}), 1);
    EXPECT_EQ(atspiActionFor("AXPress", V{"activate", "press"}), 1);
    EXPECT_EQ(atspiActionFor("AXPress", V{"expand", "Toggle"}), 1);
    EXPECT_EQ(atspiActionFor("AXPress", V{"clickAncestor"}), std::nullopt);
    EXPECT_EQ(atspiActionFor("AXShowMenu", V{"click", "menu"}), 1);
    EXPECT_EQ(atspiActionFor("AXConfirm", V{"click"}), std::nullopt);
    EXPECT_EQ(atspiActionFor("AXRaise", V{"click"}), std::nullopt);
}

}  // namespace
}  // namespace ovra::atspi
