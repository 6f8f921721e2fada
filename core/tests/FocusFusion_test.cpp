#include "core/FocusFusion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/DarkPatternPrior.h"

namespace ovra {
namespace {

using FocusPlanner::fuse;

UICandidate control(std::string title, std::string role = "AXButton") {
    return UICandidate{.id = "c1",
                       .role = std::move(role),
                       .title = std::move(title),
                       .frame = Rect(10, 10, 80, 24)};
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

const std::string kNotHighlighted = "Not highlighted, but still reachable with A.";
const std::string kGuessed = "Guessed from the kind of control; the on-device model wasn't used.";

TEST(Fusion, PlainButtonWithoutModelOrRule) {
    auto edit = control("Edit");
    const FocusItem item = fuse(edit, nullptr);
    EXPECT_EQ(item.category, FocusCategory::essentialFormAction);
    EXPECT_DOUBLE_EQ(item.essential, 0.85);
    EXPECT_DOUBLE_EQ(item.focusScore, 1.8);
    EXPECT_NEAR(item.priority, 0.7975, 1e-12);
    EXPECT_EQ(item.verdict, FocusVerdict::beacon);
    EXPECT_FALSE(item.forceBeacon);
    EXPECT_EQ(item.source, DecisionSource::heuristic);
    EXPECT_EQ(item.displayLabel, "Edit");
    EXPECT_EQ(item.reason, std::nullopt);
    EXPECT_EQ(item.explanation, kGuessed);

    edit.isFocused = true;
    EXPECT_NEAR(fuse(edit, nullptr).priority, 0.8475, 1e-12);
}

TEST(Fusion, PlainLinkIsBackgroundAndReachable) {
    const FocusItem item = fuse(control("Photos", "AXLink"), nullptr);
    EXPECT_EQ(item.category, FocusCategory::legalOrPassive);
    EXPECT_NEAR(item.priority, 0.21, 1e-12);
    EXPECT_EQ(item.verdict, FocusVerdict::available);
    EXPECT_EQ(item.explanation, kGuessed + " " + kNotHighlighted);
}

TEST(Fusion, RuleAloneDecidesWithoutTheModel) {
    const FocusItem item = fuse(control("Cancel"), nullptr);
    EXPECT_EQ(item.category, FocusCategory::dismissalOrExit);
    EXPECT_NEAR(item.priority, 0.3525, 1e-12);
    EXPECT_EQ(item.verdict, FocusVerdict::available);
    EXPECT_EQ(item.reason, "Exit");
    EXPECT_EQ(item.explanation,
              "A built-in rule says this is probably a way out or back (exit). " + kNotHighlighted);
}

TEST(Fusion, ForcedRuleShowsPlainLabelAndItsOwnSentence) {
    const FocusItem item = fuse(control("No thanks, I'd rather pay full price"), nullptr);
    EXPECT_EQ(item.verdict, FocusVerdict::beacon);
    EXPECT_TRUE(item.forceBeacon);
    EXPECT_EQ(item.displayLabel, "Decline offer");
    EXPECT_EQ(item.explanation,
              "Always shown, because it's your choice to make (pressuring wording).");
}

TEST(Fusion, WeakModelDistractionFallsBackToTheBestOtherCategory) {
    const auto d = decision(
        {{"distraction_or_upsell", 0.7}, {"legal_or_passive", 0.2}, {"dismissal_or_exit", 0.1}},
        0.1, 0.5);
    const FocusItem item = fuse(control("Photos"), &d);
    EXPECT_EQ(item.category, FocusCategory::legalOrPassive);
    EXPECT_NE(item.verdict, FocusVerdict::suppressed);
    EXPECT_EQ(item.reason, std::nullopt);
    EXPECT_EQ(item.source, DecisionSource::vorn);
    EXPECT_EQ(item.explanation,
              "The on-device model is 20% sure it's background information. " + kNotHighlighted);
}

TEST(Fusion, ProtectionOfModelDistractions) {
    const auto d = decision({{"distraction_or_upsell", 0.8}, {"legal_or_passive", 0.2}});
    struct Case {
        const char* label;
        FocusCategory category;
        std::optional<std::string> reason;
    };
    const Case cases[] = {
        {"$5 a month", FocusCategory::legalOrPassive, "Kept visible: shows a price"},
        {"Payment failed", FocusCategory::legalOrPassive,
         "Kept visible: looks like an error or warning"},
        {"Join the club", FocusCategory::legalOrPassive,
         "Kept visible: it names its own action, which may be what you came for"},
        {"Shiny things", FocusCategory::distractionOrUpsell, std::nullopt},
    };
    for (const Case& c : cases) {
        const FocusItem item = fuse(control(c.label), &d);
        EXPECT_EQ(item.category, c.category) << c.label;
        EXPECT_EQ(item.reason, c.reason) << c.label;
        if (c.reason) {
            EXPECT_EQ(item.explanation, *c.reason + ".") << c.label;
            EXPECT_NE(item.verdict, FocusVerdict::suppressed) << c.label;
        } else {
            EXPECT_EQ(item.verdict, FocusVerdict::suppressed) << c.label;
        }
    }
}

TEST(Fusion, RuleDistractionIsNotRescuedByAPrice) {
    const FocusItem item = fuse(control("Go premium for $5"), nullptr);
    EXPECT_EQ(item.category, FocusCategory::distractionOrUpsell);
    EXPECT_EQ(item.verdict, FocusVerdict::suppressed);
    EXPECT_EQ(item.reason, "Advert");
    EXPECT_EQ(item.explanation,
              "A built-in rule says this is probably an advert, upsell or survey (advert). Press A "
              "to see it.");
}

TEST(Fusion, UnlabelledControlsNameTheirKind) {
    auto password = control("", "AXTextField");
    password.subrole = "AXSecureTextField";
    EXPECT_EQ(fuse(password, nullptr).displayLabel, "Unlabelled password field");
}

TEST(Fusion, EmptyProbabilityMapPicksTheFirstCategoryAtZeroPercent) {
    const auto d = decision({});
    const FocusItem item = fuse(control("Photos"), &d);
    EXPECT_EQ(item.category, FocusCategory::essentialFormAction);
    EXPECT_EQ(item.explanation,
              "The on-device model is 0% sure it's a main action or field. " + kNotHighlighted);
}

TEST(Fusion, ModelGarbageIsBoundedEverywhere) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        std::map<std::string, double, std::less<>> probabilities;
        double essential;
        double focus;
        FocusCategory category;
        const char* percent;
    };
    const Case cases[] = {
        {{{"essential_form_action", 7.5}}, 1, 2, FocusCategory::essentialFormAction, "100%"},
        {{{"essential_form_action", nan}, {"legal_or_passive", 0.2}},
         nan,
         inf,
         FocusCategory::legalOrPassive,
         "20%"},
        {{{"essential_form_action", inf}, {"dismissal_or_exit", 0.3}},
         -inf,
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
        const auto d = decision(c.probabilities, c.essential, c.focus);
        const FocusItem item = fuse(control("Photos"), &d);
        EXPECT_EQ(item.category, c.category) << c.percent;
        EXPECT_NE(item.explanation.find(std::string(" ") + c.percent + " sure"), std::string::npos)
            << item.explanation;
        EXPECT_GE(item.priority, 0);
        EXPECT_LE(item.priority, 1);
        EXPECT_GE(item.essential, 0);
        EXPECT_LE(item.essential, 1);
        EXPECT_GE(item.focusScore, 0);
        EXPECT_LE(item.focusScore, 2);
    }
}

TEST(Fusion, ForcedRuleHighlightsEvenAModelDistraction) {
    // A ticked marketing box is forced by its rule; the model's out-of-range distraction
    // score still wins the category.
    auto box = control("Send me the newsletter", "AXCheckBox");
    box.value = "checked";
    const auto d = decision({{"distraction_or_upsell", 10.0}});
    const FocusItem item = fuse(box, &d);
    EXPECT_EQ(item.category, FocusCategory::distractionOrUpsell);
    EXPECT_EQ(item.verdict, FocusVerdict::beacon);
    EXPECT_TRUE(item.forceBeacon);
    EXPECT_LE(item.priority, 1);
    EXPECT_GE(item.priority, 0);
}

TEST(Fusion, ModelProbabilitiesAndTables) {
    const auto d = decision({{"dismissal_or_exit", 0.4}, {"bogus", 0.9}});
    const auto p = FocusPlanner::modelProbabilities(d);
    EXPECT_EQ(p.values, (std::array<double, 4>{0, 0.4, 0, 0}));
    EXPECT_EQ(FocusPlanner::categoryWords(FocusCategory::legalOrPassive), "background information");
    EXPECT_DOUBLE_EQ(FocusPlanner::essentialByCategory(FocusCategory::dismissalOrExit), 0.3);
    EXPECT_DOUBLE_EQ(FocusPlanner::scoreByCategory(FocusCategory::distractionOrUpsell), 0.1);
}

TEST(Fusion, ModelBlendsWithRuleWeight) {
    // "Cancel" has the Exit rule (weight 0.65): category mass moves onto dismissal, and the
    // model's essential and focus values take the remaining 35%.
    const auto d = decision({{"essential_form_action", 1.0}}, 1.0, 2.0);
    const FocusItem item = fuse(control("Cancel"), &d);
    EXPECT_EQ(item.category, FocusCategory::dismissalOrExit);
    EXPECT_NEAR(item.essential, 0.3 * 0.65 + 0.35, 1e-12);
    EXPECT_NEAR(item.focusScore, 1.1 * 0.65 + 0.7, 1e-12);
    EXPECT_NEAR(item.priority, 0.35 * 0.545 + 0.225 * 1.415 + 0.2 * 0.35, 1e-12);
    EXPECT_EQ(item.explanation,
              "A built-in rule says this is probably a way out or back (exit). The on-device "
              "model is 65% sure it's a way out or back. " +
                  kNotHighlighted);
}

}  // namespace
}  // namespace ovra

namespace ovra {
namespace {

TEST(Fusion, SharedMemoGivesTheSameItemsAsFusingAlone) {
    // Controls that read alike but differ in what the rules or the score look at.
    std::vector<UICandidate> window;
    for (const char* value : {"", "checked", "unchecked"}) {
        auto box = control("Send me the newsletter", "AXCheckBox");
        box.value = value;
        window.push_back(box);
    }
    auto closeButton = control("Send me the newsletter");
    closeButton.subrole = "AXCloseButton";
    window.push_back(closeButton);
    window.push_back(control("Send me the newsletter"));
    auto focused = control("Edit");
    focused.isFocused = true;
    window.push_back(focused);
    window.push_back(control("Edit"));
    window.push_back(control("", "AXTextField"));
    auto password = control("", "AXTextField");
    password.subrole = "AXSecureTextField";
    window.push_back(password);
    auto field = control("", "AXTextField");
    field.value = "empty";
    window.push_back(field);
    window.push_back(control("", "AXTextField"));
    window.push_back(control("Edit", "AXLink"));
    window.push_back(UICandidate{.id = "c9", .role = "AXButton", .description = "Edit"});

    const auto d1 = decision({{"legal_or_passive", 0.9}}, 0.2, 0.4);
    const auto d2 = decision({{"legal_or_passive", 0.3}}, 0.2, 0.4);
    FocusPlanner::FusionMemo memo;
    for (const UICandidate& c : window) {
        for (const ModelDecision* d : {static_cast<const ModelDecision*>(nullptr), &d1, &d2}) {
            EXPECT_EQ(fuse(c, d, memo), fuse(c, d))
                << c.role << " " << c.title << " " << c.value << " " << (d ? "model" : "rules");
        }
    }
}

}  // namespace
}  // namespace ovra

namespace ovra {
namespace {

// Controls share what their label says, however the label is made up: from the title or the
// description, with white space around it, or from text that needs repairing first.
TEST(Fusion, SharedMemoGoesByTheLabel) {
    std::vector<UICandidate> window;
    for (const char* title : {"Sponsored", "  Sponsored\n", "", " ", "Sponsored\xff", "\xff",
                              "Get started \xe2\x80\x94 $5", "Error: try again"}) {
        for (const char* description : {"", "Sponsored", "  Sponsored \xff", "Close"}) {
            for (const char* role : {"AXButton", "AXLink", "AXCheckBox"}) {
                auto c = control(title, role);
                c.description = description;
                window.push_back(c);
            }
        }
    }
    const auto distraction = decision({{"distraction_or_upsell", 0.9}}, 0.1, 0.2);
    FocusPlanner::FusionMemo memo;
    for (const UICandidate& c : window) {
        SCOPED_TRACE(c.role + " \"" + c.title + "\" \"" + c.description + "\"");
        const FocusPlanner::LabelFacts& facts = memo.facts(c);
        EXPECT_EQ(facts.label, c.label());
        EXPECT_EQ(facts.normalized, DarkPatternPrior::normalized(c.label()));
        for (const ModelDecision* d : {static_cast<const ModelDecision*>(nullptr), &distraction})
            EXPECT_EQ(fuse(c, d, memo), fuse(c, d));
    }
}

}  // namespace
}  // namespace ovra
