#include "core/FocusPlan.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace ovra {
namespace {

using V = std::vector<std::string>;

FocusItem item(std::string id, Rect frame, FocusVerdict verdict = FocusVerdict::available,
               FocusCategory category = FocusCategory::essentialFormAction) {
    FocusItem i;
    i.candidate.id = std::move(id);
    i.candidate.role = "AXButton";
    i.candidate.frame = frame;
    i.verdict = verdict;
    i.category = category;
    return i;
}

V ids(const std::vector<FocusItem>& items) {
    V out;
    for (const auto& i : items)
        out.push_back(i.id());
    return out;
}

const std::string kDecision =
    R"({"id":"c4","priority":0.5,"model_verdict":"beacon","action_classification":)"
    R"("dismissal_or_exit","classification_probabilities":{"dismissal_or_exit":0.7,)"
    R"("legal_or_passive":0.3},"is_essential":0.25,"focus_score":1.5})";

TEST(ModelDecision, DecodesAndWritesKeysInOrder) {
    const auto decoded = ModelDecision::fromJson(json::parse(kDecision).value());
    ASSERT_TRUE(decoded.ok()) << decoded.error();
    EXPECT_EQ(decoded->actionClassification, FocusCategory::dismissalOrExit);
    EXPECT_DOUBLE_EQ(decoded->classificationProbabilities.at("legal_or_passive"), 0.3);
    EXPECT_EQ(json::dump(decoded->toJson()), kDecision);
}

TEST(ModelDecision, RejectsMissingKeysAndWrongTypes) {
    const Json good = json::parse(kDecision).value();
    for (const auto& [key, value] : good.items()) {
        Json missing = good;
        missing.erase(key);
        EXPECT_FALSE(ModelDecision::fromJson(missing).ok()) << "without " << key;
    }
    const std::vector<std::pair<const char*, Json>> wrong{
        {"id", 4},
        {"priority", "high"},
        {"model_verdict", nullptr},
        {"action_classification", "essential"},
        {"action_classification", 2},
        {"classification_probabilities", Json::array({0.5})},
        {"classification_probabilities", Json{{"legal_or_passive", "0.5"}}},
        {"is_essential", true},
        {"focus_score", Json::object()},
    };
    for (const auto& [key, value] : wrong) {
        Json bad = good;
        bad[key] = value;
        EXPECT_FALSE(ModelDecision::fromJson(bad).ok()) << key << " = " << value.dump();
    }
    EXPECT_FALSE(ModelDecision::fromJson(Json::array()).ok());
    // Nor is a non-finite value ever written.
    ModelDecision d;
    d.focusScore = std::numeric_limits<double>::quiet_NaN();
    EXPECT_THROW(d.toJson(), JsonError);
}

// Rows of 24 points by the frame's middle, then the left edge; stable for equal keys; negative
// middles floor to the band above; non-finite frames sort last without breaking the order.
TEST(ReadingOrder, RowsOfTwentyFourPointsThenLeftEdge) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const auto order = [](const std::vector<FocusItem>& items) {
        return ids(FocusPlanner::readingOrder(items));
    };
    EXPECT_EQ(order({item("below", Rect(0, 60, 10, 10)), item("b", Rect(300, 30, 10, 10)),
                     item("a", Rect(100, 20, 10, 30)), item("top", Rect(900, 0, 10, 10))}),
              (V{"top", "a", "b", "below"}));
    EXPECT_EQ(order({item("first", Rect(5, 5, 10, 10)), item("second", Rect(5, 0, 10, 20))}),
              (V{"first", "second"}));
    EXPECT_EQ(order({item("right", Rect(0, 0, 10, 10)), item("above", Rect(500, -2, 10, 2))}),
              (V{"above", "right"}));
    const V withBroken =
        order({item("nan", Rect(nan, nan, 10, 10)), item("c", Rect(0, 200, 10, 10)),
               item("inf", Rect(0, inf, 10, 10)), item("a", Rect(0, 0, 10, 10)),
               item("nanx", Rect(nan, 0, 10, 10)), item("b", Rect(50, 0, 10, 10))});
    ASSERT_EQ(withBroken.size(), 6u);
    EXPECT_EQ(V(withBroken.begin(), withBroken.begin() + 4), (V{"a", "b", "nanx", "c"}));
}

FocusPlan samplePlan() {
    FocusPlan plan;
    plan.items = {
        item("b1", Rect(0, 0, 10, 10), FocusVerdict::beacon),
        item("v2", Rect(0, 100, 10, 10), FocusVerdict::suppressed,
             FocusCategory::distractionOrUpsell),
        item("a2", Rect(50, 100, 10, 10), FocusVerdict::available, FocusCategory::legalOrPassive),
        item("a1", Rect(0, 50, 10, 10), FocusVerdict::available, FocusCategory::dismissalOrExit),
        item("v1", Rect(0, 60, 10, 10), FocusVerdict::suppressed,
             FocusCategory::distractionOrUpsell),
        item("b2", Rect(0, 10, 10, 10), FocusVerdict::beacon, FocusCategory::dismissalOrExit),
    };
    plan.beaconOrder = {"b2", "b1"};
    plan.initialBeacon = 1;
    return plan;
}

TEST(FocusPlan, RevealOrderListsAndInitialSelection) {
    FocusPlan plan = samplePlan();
    plan.beaconOrder.push_back("ghost");  // no item: listed, never resolved
    EXPECT_EQ(plan.revealOrder(), (V{"b2", "b1", "ghost", "a1", "a2", "v1", "v2"}));
    EXPECT_EQ(ids(plan.beacons()), (V{"b2", "b1"}));
    EXPECT_EQ(ids(plan.available()), (V{"a2", "a1"}));
    EXPECT_EQ(ids(plan.suppressed()), (V{"v2", "v1"}));
    EXPECT_EQ(plan.item("ghost"), nullptr);

    EXPECT_EQ(plan.initialSelection(plan.revealOrder()), 1);
    EXPECT_EQ(plan.initialSelection({"x", "y", "b1", "b1"}), 2);
    EXPECT_EQ(plan.initialSelection({"x"}), 0);
    for (const int outOfRange : {5, -1}) {
        plan.initialBeacon = outOfRange;
        EXPECT_EQ(plan.initialSelection(plan.revealOrder()), 0);
    }
    EXPECT_EQ(FocusPlan{}.initialSelection({"a"}), 0);
    EXPECT_TRUE(FocusPlan{}.sections(true).empty());
}

V sectionIds(const std::vector<FocusSection>& sections) {
    V out;
    for (const auto& s : sections)
        out.push_back(s.id + ":" + std::to_string(s.items.size()));
    return out;
}

TEST(FocusPlan, SectionsFollowTheHeadingTable) {
    FocusPlan plan = samplePlan();
    plan.items.push_back(item("o1", Rect(0, 300, 10, 10), FocusVerdict::available,
                              FocusCategory::distractionOrUpsell));
    const auto all = plan.sections(true);
    EXPECT_EQ(sectionIds(all), (V{"do:1", "out:2", "also:1", "other:1", "hidden:2"}));
    EXPECT_EQ(ids(all[1].items), (V{"b2", "a1"}));

    // Only highlights without revealing; nothing hidden.
    EXPECT_EQ(sectionIds(plan.sections(false)), (V{"do:1", "out:1"}));
}

TEST(FocusPlan, OtherSectionAloneOrBeforeHiddenAndItemsListedOnce) {
    FocusPlan plan;
    plan.items = {
        item("o", Rect(0, 0, 1, 1), FocusVerdict::available, FocusCategory::distractionOrUpsell)};
    EXPECT_EQ(sectionIds(plan.sections(true)), V{"other:1"});

    plan.items.push_back(item("h", Rect(0, 0, 1, 1), FocusVerdict::suppressed));
    EXPECT_EQ(sectionIds(plan.sections(true)), (V{"other:1", "hidden:1"}));

    FocusPlan twice;
    twice.items = {item("b", Rect(0, 0, 1, 1), FocusVerdict::beacon)};
    twice.beaconOrder = {"b", "b"};
    EXPECT_EQ(sectionIds(twice.sections(false)), V{"do:1"});
}

TEST(FocusOverrides, KeysIgnoreCaseSpacingApostrophesAndTrailingMarks) {
    const auto candidate = [](std::string role, std::string title) {
        return UICandidate{.id = "c1", .role = std::move(role), .title = std::move(title)};
    };
    const std::string key = FocusOverrides::key("org.app", candidate("AXButton", "Don't save"));
    EXPECT_EQ(key, "org.app|AXButton|don't save");
    for (const char* title : {"DON'T SAVE", "Don't   save", "Don\u2019t save",
                              "Don't save:", "Don't save\u2026", "  Don't\tsave "}) {
        EXPECT_EQ(FocusOverrides::key("org.app", candidate("AXButton", title)), key) << title;
    }
    EXPECT_NE(FocusOverrides::key("org.app", candidate("AXLink", "Don't save")), key);
    // Written over a longer key, nothing of the old one is left.
    std::string reused = "org.example.other|AXPopUpButton|a much longer label than this one";
    FocusOverrides::writeKey(reused, "org.app", "AXButton", "don't save");
    EXPECT_EQ(reused, key);

    const FocusOverrides overrides({{key, FocusOverride::mute}});
    EXPECT_EQ(overrides.lookup("org.app", candidate("AXButton", "don't SAVE")),
              FocusOverride::mute);
    EXPECT_EQ(overrides.lookup("org.other", candidate("AXButton", "Don't save")), std::nullopt);
    // Stored values are exactly "pin" or "mute".
    EXPECT_EQ(Json("mute").get<FocusOverride>(), FocusOverride::mute);
    EXPECT_THROW(Json("Pin").get<FocusOverride>(), JsonError);
    EXPECT_THROW(Json(1).get<FocusOverride>(), JsonError);
}

}  // namespace
}  // namespace ovra
