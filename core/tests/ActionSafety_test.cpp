#include "core/ActionSafety.h"

#include <gtest/gtest.h>

#include <string>

namespace ovra {
namespace {

UICandidate control(std::string role, std::string title, std::string description = "",
                    std::optional<std::string> subrole = std::nullopt) {
    return UICandidate{.id = "c1",
                       .role = std::move(role),
                       .subrole = std::move(subrole),
                       .title = std::move(title),
                       .description = std::move(description),
                       .order = 1};
}

TEST(ActionSafety, ConsequentialWordingNeedsConfirmation) {
    for (const char* label :
         {"Delete",         "Move to Trash",   "Buy now",        "Place your order", "Place order",
          "Check out",      "Checkout",        "Sign out",       "Log out",          "Logout",
          "Don't save",     "DELETE ACCOUNT",  "Yes, delete it", "Pay £20",          "Send",
          "Transfer money", "Discard changes", "Submit payment", "Confirm purchase", "Erase disk",
          "Remove"}) {
        EXPECT_TRUE(ActionSafety::needsConfirmation(control("AXButton", label))) << label;
    }
}

TEST(ActionSafety, HarmlessWordingDoesNot) {
    for (const char* label :
         {"Cancel", "Save", "Next", "Deleted items", "Sender", "Payment history", "Buyer's guide",
          "Signed out pages", "Confirm", "", "   "}) {
        EXPECT_FALSE(ActionSafety::needsConfirmation(control("AXButton", label))) << label;
    }
}

TEST(ActionSafety, TypographicApostrophesCountAsPlainOnes) {
    EXPECT_TRUE(ActionSafety::needsConfirmation(control("AXButton", "Don\u2019t Save")));
    EXPECT_TRUE(ActionSafety::needsConfirmation(control("AXButton", "Don\u2018t save")));
    EXPECT_TRUE(ActionSafety::needsConfirmation(control("AXButton", "Dont Save")));
    EXPECT_FALSE(ActionSafety::needsConfirmation(control("AXButton", "Don\u2019t show again")));
}

TEST(ActionSafety, FieldsAndCheckBoxesAreExemptWhateverTheirLabel) {
    EXPECT_FALSE(ActionSafety::needsConfirmation(control("AXCheckBox", "Send me offers")));
    EXPECT_FALSE(ActionSafety::needsConfirmation(control("AXTextField", "Search")));
    EXPECT_FALSE(ActionSafety::needsConfirmation(control("AXTextField", "Send to")));
    EXPECT_FALSE(ActionSafety::needsConfirmation(control("AXTextArea", "Delete reason")));
    EXPECT_FALSE(ActionSafety::needsConfirmation(control("AXComboBox", "Transfer to")));
    EXPECT_FALSE(
        ActionSafety::needsConfirmation(control("AXButton", "Pay", "", "AXSecureTextField")));
    EXPECT_FALSE(
        ActionSafety::needsConfirmation(control("AXGroup", "Delete", "", "AXSearchField")));
    // Only those roles are exempt.
    EXPECT_TRUE(ActionSafety::needsConfirmation(control("AXLink", "Unsubscribe")));
    EXPECT_TRUE(ActionSafety::needsConfirmation(control("AXMenuItem", "Unsubscribe")));
    EXPECT_TRUE(ActionSafety::needsConfirmation(control("AXSearchField", "Delete history")));
}

TEST(ActionSafety, LabelFallsBackToTheDescription) {
    EXPECT_TRUE(ActionSafety::needsConfirmation(control("AXButton", "", "Remove item")));
    EXPECT_TRUE(ActionSafety::needsConfirmation(control("AXButton", " \n", "Remove item")));
    // A title wins over the description.
    EXPECT_FALSE(ActionSafety::needsConfirmation(control("AXButton", "Edit", "Remove item")));
}

TEST(ActionSafety, OddLabelsAreHandled) {
    EXPECT_TRUE(ActionSafety::needsConfirmation(control("AXButton", "Delete \xff")));
    EXPECT_FALSE(ActionSafety::needsConfirmation(control("AXButton", std::string(50000, 'x'))));
}

}  // namespace
}  // namespace ovra
