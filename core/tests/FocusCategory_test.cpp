#include "core/FocusCategory.h"

#include <gtest/gtest.h>

namespace ovra {
namespace {

TEST(FocusCategory, WireStringsRoundTripInOrder) {
    const std::vector<std::string_view> wire{"essential_form_action", "dismissal_or_exit",
                                             "distraction_or_upsell", "legal_or_passive"};
    ASSERT_EQ(FocusCategories::allCases.size(), wire.size());
    for (std::size_t i = 0; i < wire.size(); ++i) {
        const FocusCategory category = FocusCategories::allCases[i];
        EXPECT_EQ(rawValue(category), wire[i]);
        EXPECT_EQ(FocusCategories::fromRawValue(wire[i]), category);
        const Json encoded = category;
        EXPECT_EQ(encoded, Json(wire[i]));
        EXPECT_EQ(encoded.get<FocusCategory>(), category);
    }
}

TEST(FocusCategory, OtherTextsAreNoCategory) {
    for (const char* text : {"", "Essential_Form_Action", "essential_form_action ", "essential"})
        EXPECT_FALSE(FocusCategories::fromRawValue(text).has_value()) << text;
    EXPECT_THROW(Json("advert").get<FocusCategory>(), JsonError);
    EXPECT_THROW(Json(2).get<FocusCategory>(), JsonError);
    EXPECT_THROW(Json(std::string(5000, 'a')).get<FocusCategory>(), JsonError);
    EXPECT_THROW(Json::parse(R"({"c": null})").at("c").get<FocusCategory>(), JsonError);
}

}  // namespace
}  // namespace ovra
