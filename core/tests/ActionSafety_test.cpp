#include "core/ActionSafety.h"

#include <gtest/gtest.h>

#include <string>

namespace ovra {
namespace {

bool needsConfirmation(std::string role, std::string title, std::string description = "",
                       std::optional<std::string> subrole = std::nullopt) {
    return ActionSafety::needsConfirmation(UICandidate{.id = "c1",
                                                       .role = std::move(role),
                                                       .subrole = std::move(subrole),
                                                       .title = std::move(title),
                                                       .description = std::move(description),
                                                       .order = 1});
}

TEST(ActionSafety, ConsequentialWordingNeedsConfirmation) {
    for (const char* label : {"Delete",           "Move to Trash",   "Buy now",
                              "Place your order", "Place order",     "Check out",
                              "Checkout",         "Sign out",        "Log out",
                              "Logout",           "Don't save",      "DELETE ACCOUNT",
                              "Yes, delete it",   "Pay £20",         "Send",
                              "Transfer money",   "Discard changes", "Submit payment",
                              "Confirm purchase", "Erase disk",      "Remove",
                              "Don\u2019t Save",  "Don\u2018t save", "Dont Save",
                              "Delete \xff"})
        EXPECT_TRUE(needsConfirmation("AXButton", label)) << label;
    for (const std::string& label :
         std::vector<std::string>{"Cancel", "Save", "Next", "Deleted items", "Sender",
                                  "Payment history", "Buyer's guide", "Signed out pages", "Confirm",
                                  "", "   ", "Don\u2019t show again", std::string(50000, 'x')})
        EXPECT_FALSE(needsConfirmation("AXButton", label)) << label;
}

TEST(ActionSafety, FieldsAndCheckBoxesAreExemptAndTheLabelFallsBackToTheDescription) {
    EXPECT_FALSE(needsConfirmation("AXCheckBox", "Send me offers"));
    EXPECT_FALSE(needsConfirmation("AXTextField", "Send to"));
    EXPECT_FALSE(needsConfirmation("AXTextArea", "Delete reason"));
    EXPECT_FALSE(needsConfirmation("AXComboBox", "Transfer to"));
    EXPECT_FALSE(needsConfirmation("AXButton", "Pay", "", "AXSecureTextField"));
    EXPECT_FALSE(needsConfirmation("AXGroup", "Delete", "", "AXSearchField"));
    // Only those roles are exempt.
    EXPECT_TRUE(needsConfirmation("AXLink", "Unsubscribe"));
    EXPECT_TRUE(needsConfirmation("AXMenuItem", "Unsubscribe"));
    EXPECT_TRUE(needsConfirmation("AXSearchField", "Delete history"));

    EXPECT_TRUE(needsConfirmation("AXButton", " \n", "Remove item"));
    EXPECT_FALSE(needsConfirmation("AXButton", "Edit", "Remove item"));  // the title wins
}

}  // namespace
}  // namespace ovra
