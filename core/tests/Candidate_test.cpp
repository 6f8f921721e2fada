#include "core/Candidate.h"

#include <gtest/gtest.h>

#include <unordered_set>

namespace ovra {
namespace {

UICandidate make(std::string role, std::string title, std::string description = "") {
    return UICandidate{.id = "c1",
                       .role = std::move(role),
                       .title = std::move(title),
                       .description = std::move(description),
                       .frame = Rect(0, 0, 10, 10),
                       .order = 1};
}

TEST(UICandidate, LabelIsTrimmedTitleElseTrimmedDescription) {
    EXPECT_EQ(make("AXButton", "   ", "Save").label(), "Save");
    EXPECT_EQ(make("AXButton", "  Save \n").label(), "Save");
    EXPECT_EQ(make("AXButton", "", "").label(), "");
    EXPECT_EQ(make("AXCheckBox", "", "  Remember me ").label(), "Remember me");
    EXPECT_EQ(make("AXCheckBox", "Agree", "to the terms").label(), "Agree");
}

TEST(UICandidate, TextInputByRoleOrSubrole) {
    auto secure = make("AXTextField", "");
    secure.subrole = "AXSecureTextField";
    EXPECT_TRUE(secure.isTextInput());
    auto search = make("AXGroup", "");
    search.subrole = "AXSearchField";
    EXPECT_TRUE(search.isTextInput());
    EXPECT_FALSE(make("AXSearchField", "").isTextInput());
    EXPECT_TRUE(make("AXComboBox", "").isTextInput());
}

TEST(UICandidate, RoleNameSubroleFirstThenRoleThenControl) {
    auto close = make("AXButton", "");
    close.subrole = "AXCloseButton";
    EXPECT_EQ(close.roleName(), "Close button");
    EXPECT_EQ(make("AXPopUpButton", "").roleName(), "Pop-up menu");
    EXPECT_EQ(make("AXSlider", "").roleName(), "Control");
}

TEST(UICandidate, EqualityIsWholeRecordAndHashFollowsIt) {
    const auto a = make("AXButton", "Save");
    const auto b = a.withOrder(7);
    EXPECT_NE(a, b);
    EXPECT_EQ(a.id, b.id);
    EXPECT_EQ(b.order, 7);
    EXPECT_EQ(b.withOrder(1), a);
    auto negative = a;
    negative.frame = Rect(10, 10, -10, -10);
    EXPECT_EQ(negative, a);
    EXPECT_EQ(std::hash<UICandidate>{}(negative), std::hash<UICandidate>{}(a));
    std::unordered_set<UICandidate> set{a, b, negative};
    EXPECT_EQ(set.size(), 2u);
    auto withContext = a;
    withContext.context = "";
    EXPECT_NE(withContext, a);
}

TEST(CandidateRoles, ContainersCountOnlyWhenPressable) {
    EXPECT_FALSE(CandidateRoles::isCandidate("AXGroup", false));
    EXPECT_TRUE(CandidateRoles::isCandidate("AXGroup", true));
    EXPECT_TRUE(CandidateRoles::isCandidate("AXButton", false));
    EXPECT_FALSE(CandidateRoles::isCandidate("AXWindow", true));
}

}  // namespace
}  // namespace ovra
