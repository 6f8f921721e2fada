#include "core/Candidate.h"

#include <gtest/gtest.h>

#include <unordered_set>

namespace ovra {
namespace {

UICandidate make(std::string role, std::string title, std::string description = "",
                 std::optional<std::string> subrole = std::nullopt) {
    return UICandidate{.id = "c1",
                       .role = std::move(role),
                       .subrole = std::move(subrole),
                       .title = std::move(title),
                       .description = std::move(description),
                       .frame = Rect(0, 0, 10, 10),
                       .order = 1};
}

TEST(UICandidate, LabelTextInputAndCandidateRoles) {
    EXPECT_EQ(make("AXButton", "   ", "Save").label(), "Save");
    EXPECT_EQ(make("AXButton", "  Save \n").label(), "Save");
    EXPECT_EQ(make("AXCheckBox", "", "  Remember me ").label(), "Remember me");
    EXPECT_EQ(make("AXCheckBox", "Agree", "to the terms").label(), "Agree");

    EXPECT_TRUE(make("AXTextField", "", "", "AXSecureTextField").isTextInput());
    EXPECT_TRUE(make("AXGroup", "", "", "AXSearchField").isTextInput());
    EXPECT_FALSE(make("AXSearchField", "").isTextInput());
    EXPECT_TRUE(make("AXComboBox", "").isTextInput());

    // Containers count only when pressable.
    EXPECT_FALSE(CandidateRoles::isCandidate("AXGroup", false));
    EXPECT_TRUE(CandidateRoles::isCandidate("AXGroup", true));
    EXPECT_FALSE(CandidateRoles::isCandidate("AXWindow", true));
}

TEST(UICandidate, EqualityIsWholeRecordAndHashFollowsIt) {
    const auto a = make("AXButton", "Save");
    const auto b = a.withOrder(7);
    EXPECT_NE(a, b);
    EXPECT_EQ(b.withOrder(1), a);
    auto negative = a;
    negative.frame = Rect(10, 10, -10, -10);
    EXPECT_EQ(negative, a);
    EXPECT_EQ(std::hash<UICandidate>{}(negative), std::hash<UICandidate>{}(a));
    EXPECT_EQ((std::unordered_set<UICandidate>{a, b, negative}.size()), 2u);
    auto withContext = a;
    withContext.context = "";
    EXPECT_NE(withContext, a);
}

}  // namespace
}  // namespace ovra
