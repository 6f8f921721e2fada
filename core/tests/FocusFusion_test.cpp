#include "core/FocusFusion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

#include "core/DarkPatternPrior.h"

namespace ovra {
namespace {

using FocusPlanner::fuse;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

UICandidate control(std::string title, std::string role = "AXButton",
                    std::function<void(UICandidate&)> change = {}) {
    UICandidate c{.id = "c1",
                  .role = std::move(role),
                  .title = std::move(title),
                  .frame = Rect(10, 10, 80, 24)};
    if (change)
        change(c);
    return c;
}

ModelDecision decision(std::map<std::string, double, std::less<>> probabilities,
                       double essential = 0, double focus = 0) {
    return ModelDecision{.id = "c1",
                         .modelVerdict = "beacon",
                         .priority = 0.5,
                         .actionClassification = FocusCategory::essentialFormAction,
                         .classificationProbabilities = std::move(probabilities),
                         .isEssential = essential,
                         .focusScore = focus};
}

const std::string kNotHighlighted = " Not highlighted, but still reachable with A.";
const std::string kGuessed = "Guessed from the kind of control; the on-device model wasn't used.";
const std::string kRule = "A built-in rule says this is probably ";

TEST(Fusion, RulesModelAndProtectionDecideOneControl) {
    using enum FocusCategory;
    using V = FocusVerdict;
    const auto distraction = decision({{"distraction_or_upsell", 0.8}, {"legal_or_passive", 0.2}});
    struct Case {
        UICandidate control;
        std::optional<ModelDecision> model;
        FocusCategory category;
        FocusVerdict verdict;
        double priority;  // NaN: not checked
        std::string explanation;
    };
    const Case cases[] = {
        {control("Edit"), {}, essentialFormAction, V::beacon, 0.7975, kGuessed},
        {control("Edit", "AXButton", [](auto& c) { c.isFocused = true; }),
         {},
         essentialFormAction,
         V::beacon,
         0.8475,
         kGuessed},
        {control("Photos", "AXLink"),
         {},
         legalOrPassive,
         V::available,
         0.21,
         kGuessed + kNotHighlighted},
        {control("Cancel"),
         {},
         dismissalOrExit,
         V::available,
         0.3525,
         kRule + "a way out or back (exit)." + kNotHighlighted},
        {control("No thanks, I'd rather pay full price"),
         {},
         dismissalOrExit,
         V::beacon,
         kNaN,
         "Always shown, because it's your choice to make (pressuring wording)."},
        // A price does not rescue what a rule calls an advert.
        {control("Go premium for $5"),
         {},
         distractionOrUpsell,
         V::suppressed,
         kNaN,
         kRule + "an advert, upsell or survey (advert). Press A to see it."},
        // The rule's weight (0.65 for an exit) moves the category mass; the model's essential
        // and focus values take the remaining 35%.
        {control("Cancel"), decision({{"essential_form_action", 1.0}}, 1.0, 2.0), dismissalOrExit,
         V::available, 0.35 * 0.545 + 0.225 * 1.415 + 0.2 * 0.35,
         kRule +
             "a way out or back (exit). The on-device model is 65% sure it's a way out or "
             "back." +
             kNotHighlighted},
        // A weak model distraction falls back to the best other category.
        {control("Photos"),
         decision({{"distraction_or_upsell", 0.7},
                   {"legal_or_passive", 0.2},
                   {"dismissal_or_exit", 0.1}},
                  0.1, 0.5),
         legalOrPassive, V::available, kNaN,
         "The on-device model is 20% sure it's background information." + kNotHighlighted},
        {control("Photos"), decision({}), essentialFormAction, V::available, kNaN,
         "The on-device model is 0% sure it's a main action or field." + kNotHighlighted},
        // Texts that must stay visible are kept from a model distraction.
        {control("$5 a month"), distraction, legalOrPassive, V::available, kNaN,
         "Kept visible: shows a price."},
        {control("Payment failed"), distraction, legalOrPassive, V::available, kNaN,
         "Kept visible: looks like an error or warning."},
        {control("Join the club"), distraction, legalOrPassive, V::available, kNaN,
         "Kept visible: it names its own action, which may be what you came for."},
        {control("Shiny things"), distraction, distractionOrUpsell, V::suppressed, kNaN, ""},
        // A ticked marketing box is forced by its rule; the model's out-of-range distraction
        // score still wins the category.
        {control("Send me the newsletter", "AXCheckBox", [](auto& c) { c.value = "checked"; }),
         decision({{"distraction_or_upsell", 10.0}}), distractionOrUpsell, V::beacon, kNaN, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.control.title + (c.model ? " with the model" : ""));
        const FocusItem item = fuse(c.control, c.model ? &*c.model : nullptr);
        EXPECT_EQ(item.category, c.category);
        EXPECT_EQ(item.verdict, c.verdict);
        EXPECT_EQ(item.source, c.model ? DecisionSource::vorn : DecisionSource::heuristic);
        if (!std::isnan(c.priority)) {
            EXPECT_NEAR(item.priority, c.priority, 1e-12);
        }
        if (!c.explanation.empty()) {
            EXPECT_EQ(item.explanation, c.explanation);
        }
        EXPECT_GE(item.priority, 0);
        EXPECT_LE(item.priority, 1);
    }
    const FocusItem forced = fuse(cases[4].control, nullptr);
    EXPECT_TRUE(forced.forceBeacon);
    EXPECT_EQ(forced.displayLabel, "Decline offer");
    EXPECT_FALSE(fuse(cases[0].control, nullptr).forceBeacon);
    EXPECT_EQ(
        fuse(control("", "AXTextField", [](auto& c) { c.subrole = "AXSecureTextField"; }), nullptr)
            .displayLabel,
        "Unlabelled password field");
}

TEST(Fusion, ModelGarbageIsBoundedEverywhere) {
    struct Case {
        std::map<std::string, double, std::less<>> probabilities;
        double essential;
        double focus;
        FocusCategory category;
        const char* percent;
    };
    const Case cases[] = {
        {{{"essential_form_action", 7.5}}, 1, 2, FocusCategory::essentialFormAction, "100%"},
        {{{"essential_form_action", kNaN}, {"legal_or_passive", 0.2}},
         kNaN,
         kInf,
         FocusCategory::legalOrPassive,
         "20%"},
        {{{"essential_form_action", kInf}, {"dismissal_or_exit", 0.3}},
         -kInf,
         -3,
         FocusCategory::dismissalOrExit,
         "30%"},
        {{{"essential_form_action", -0.5},
          {"dismissal_or_exit", -0.6},
          {"distraction_or_upsell", -0.7},
          {"legal_or_passive", -0.8}},
         9,
         9,
         FocusCategory::essentialFormAction,
         "0%"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.percent);
        const auto d = decision(c.probabilities, c.essential, c.focus);
        const FocusItem item = fuse(control("Photos"), &d);
        EXPECT_EQ(item.category, c.category);
        EXPECT_NE(item.explanation.find(std::string(" ") + c.percent + " sure"), std::string::npos)
            << item.explanation;
        EXPECT_TRUE(item.priority >= 0 && item.priority <= 1) << item.priority;
        EXPECT_TRUE(item.essential >= 0 && item.essential <= 1) << item.essential;
        EXPECT_TRUE(item.focusScore >= 0 && item.focusScore <= 2) << item.focusScore;
    }
}

// Controls that read alike but differ in what the rules or the score look at, and labels made
// up from the title or the description, with white space around them or needing repair: the
// shared memo must give what fusing alone gives.
TEST(Fusion, SharedMemoGivesTheSameItemsAsFusingAlone) {
    std::vector<UICandidate> window;
    for (const char* title : {"Sponsored", "  Sponsored\n", "", " ", "Sponsored\xff", "\xff",
                              "Get started \xe2\x80\x94 $5", "Error: try again", "Edit"}) {
        for (const char* description : {"", "Sponsored", "  Sponsored \xff", "Close"}) {
            for (const char* role : {"AXButton", "AXLink", "AXCheckBox", "AXTextField"})
                window.push_back(
                    control(title, role, [&](auto& c) { c.description = description; }));
        }
    }
    for (const char* value : {"checked", "unchecked", "empty"}) {
        window.push_back(
            control("Send me the newsletter", "AXCheckBox", [&](auto& c) { c.value = value; }));
        window.push_back(control("", "AXTextField", [&](auto& c) { c.value = value; }));
    }
    window.push_back(control("Send me the newsletter", "AXButton",
                             [](auto& c) { c.subrole = "AXCloseButton"; }));
    window.push_back(control("", "AXTextField", [](auto& c) { c.subrole = "AXSecureTextField"; }));
    window.push_back(control("Edit", "AXButton", [](auto& c) { c.isFocused = true; }));

    const auto d1 = decision({{"legal_or_passive", 0.9}}, 0.2, 0.4);
    const auto d2 = decision({{"distraction_or_upsell", 0.9}}, 0.1, 0.2);
    FocusPlanner::FusionMemo memo;
    for (const UICandidate& c : window) {
        SCOPED_TRACE(c.role + " \"" + c.title + "\" \"" + c.description + "\" " + c.value);
        const FocusPlanner::LabelFacts& facts = memo.facts(c);
        EXPECT_EQ(facts.label, c.label());
        EXPECT_EQ(facts.normalized, DarkPatternPrior::normalized(c.label()));
        for (const ModelDecision* d : {static_cast<const ModelDecision*>(nullptr), &d1, &d2})
            EXPECT_EQ(fuse(c, d, memo), fuse(c, d));
    }
}

}  // namespace
}  // namespace ovra
