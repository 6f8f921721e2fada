#include "core/StateText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ovra {
namespace {

UICandidate candidate(std::string role, std::string title, std::string description = "",
                      std::string value = "") {
    return UICandidate{.id = "c1",
                       .role = std::move(role),
                       .title = std::move(title),
                       .description = std::move(description),
                       .value = std::move(value),
                       .frame = Rect(900, 700, 100, 40)};
}

const Rect kWindow(0, 0, 1000, 800);

TEST(StateText, WritesEveryLineExactly) {
    UICandidate c = candidate("AXButton", "  Place\n order ", "Pays now  with the saved card");
    c.context = "dialog:  Confirm\tpurchase ";
    EXPECT_EQ(StateText::build(c, " Firefox ", "Checkout\n- Shop", kWindow),
              "The user is trying to complete their task in the window \"Checkout - Shop\" "
              "(Firefox).\n"
              "UI element: button labeled \"Place order\".\n"
              "Description: Pays now with the saved card\n"
              "Location in window: bottom right\n"
              "Inside: a pop-up dialog labeled \"Confirm purchase\"");
}

TEST(StateText, ShownNameFallsBackAndDescriptionLineOnlyWhenItAddsSomething) {
    EXPECT_EQ(StateText::build(candidate("AXLink", "", "", ""), "App", "W", kWindow),
              "The user is trying to complete their task in the window \"W\" (App).\n"
              "UI element: link labeled \"(no label)\".\n"
              "Location in window: bottom right");
    // The description is the shown name, so it is not repeated.
    EXPECT_EQ(StateText::build(candidate("AXButton", " ", "Close"), "App", "W", std::nullopt),
              "The user is trying to complete their task in the window \"W\" (App).\n"
              "UI element: button labeled \"Close\".\n"
              "Location in window: unknown");
    EXPECT_EQ(
        StateText::build(candidate("AXTextField", "", "", "me@example.com"), "", "", std::nullopt),
        "The user is trying to complete their task in the window \"\" ().\n"
        "UI element: text field labeled \"me@example.com\".\n"
        "Location in window: unknown");
}

TEST(StateText, RoleNames) {
    // One name from the table; the rest fall back to the role's words without "AX".
    const std::vector<std::pair<std::string, std::string>> table = {
        {"AXSecureTextField", "password field"},
        {"  AXDisclosure\nTriangle ", "disclosure triangle"},
        {"axButton", "axbutton"},
        {"AX", ""},
    };
    for (const auto& [role, name] : table) {
        const std::string text = StateText::build(candidate(role, "X"), "A", "W", std::nullopt);
        EXPECT_NE(text.find("\nUI element: " + name + " labeled \"X\".\n"), std::string::npos)
            << role << " -> " << text;
    }
}

TEST(StateText, ClipCollapsesWhitespaceAndKeeps160Scalars) {
    EXPECT_EQ(StateText::clip("  two   \n\t words\u00a0 "), "two words");
    EXPECT_EQ(StateText::clip(std::string(200, 'x')), std::string(160, 'x'));
    // Scalars, not bytes: 170 two-byte letters keep 160 of them.
    std::string accents;
    for (int i = 0; i < 170; ++i)
        accents += "\u00e9";
    EXPECT_EQ(StateText::clip(accents), accents.substr(0, 320));
    // The cut falls on the joining space when that is the 160th scalar.
    EXPECT_EQ(StateText::clip(std::string(159, 'a') + "   b"), std::string(159, 'a') + " ");
    // Zero-width space is not white space.
    EXPECT_EQ(StateText::clip("a\u200bb"), "a\u200bb");
    EXPECT_EQ(StateText::clip("bad\xff!"), "bad\ufffd!");
}

TEST(StateText, RegionByTheCentreOfTheFrame) {
    struct Case {
        Rect frame;
        std::optional<Rect> window;
        const char* region;
    };
    const Rect window(100, 50, 1000, 500);
    const std::vector<Case> cases = {
        {Rect(100, 50, 10, 10), window, "top left"},
        {Rect(1080, 530, 10, 10), window, "bottom right"},
        // Exactly 20 % down is not the top; exactly 33 % across is not the left.
        {Rect(420, 140, 20, 20), window, "middle center"},
        {Rect(430, 149.9, 0, 0), window, "top center"},
        {Rect(770, 450, 0, 0), window, "middle center"},
        {Rect(770.1, 450.1, 0, 0), window, "bottom right"},
        // Outside the window still reads as the nearest words.
        {Rect(-500, -500, 10, 10), window, "top left"},
        {Rect(0, 0, 10, 10), std::nullopt, "unknown"},
        {Rect(0, 0, 10, 10), Rect::null(), "unknown"},
        {Rect(0, 0, 10, 10), Rect(0, 0, std::nan(""), 500), "unknown"},
        // A negative size is standardized like any rectangle.
        {Rect(10, 10, 10, 10), Rect(1000, 500, -1000, -500), "top left"},
        // Non-finite frames still give words (no undefined conversions anywhere).
        {Rect::null(), window, "bottom right"},
        {Rect(std::nan(""), std::nan(""), 1, 1), window, "middle center"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(StateText::region(c.frame, c.window), c.region) << c.frame;
    }
}

TEST(StateText, DialogLine) {
    struct Case {
        std::optional<std::string> context;
        const char* last;
    };
    const std::vector<Case> cases = {
        {"dialog:", "Inside: a pop-up dialog"},
        {"dialog:(unnamed)", "Inside: a pop-up dialog"},
        {"dialog: (unnamed) ", "Inside: a pop-up dialog"},
        {"dialog: Newsletter ", "Inside: a pop-up dialog labeled \"Newsletter\""},
        {"sheet:Newsletter", "Location in window: unknown"},
        {"Dialog:Newsletter", "Location in window: unknown"},
        {std::nullopt, "Location in window: unknown"},
    };
    for (const Case& c : cases) {
        UICandidate x = candidate("AXButton", "OK");
        x.context = c.context;
        const std::string text = StateText::build(x, "A", "W", std::nullopt);
        EXPECT_EQ(text.substr(text.rfind('\n') + 1), c.last) << c.context.value_or("none");
    }
}

TEST(ModelAnswers, VerdictRules) {
    struct Case {
        const char* choice;
        double essential;
        double score;
        const char* verdict;
        FocusCategory category;
    };
    using enum FocusCategory;
    const std::vector<Case> cases = {
        {"distraction_or_upsell", 1.0, 2.0, "suppress", distractionOrUpsell},
        {"essential_form_action", 1.0, 0.59, "suppress", essentialFormAction},
        {"essential_form_action", 0.5, 1.1, "beacon", essentialFormAction},
        {"essential_form_action", 0.49, 1.1, "available", essentialFormAction},
        {"essential_form_action", 0.5, 1.09, "available", essentialFormAction},
        {"dismissal_or_exit", 0.5, 1.3, "beacon", dismissalOrExit},
        {"dismissal_or_exit", 0.9, 1.29, "available", dismissalOrExit},
        {"legal_or_passive", 0.9, 2.0, "available", legalOrPassive},
        {"something_else", 0.9, 2.0, "available", legalOrPassive},
        {"", 0.9, 0.6, "available", legalOrPassive},
    };
    for (const Case& c : cases) {
        const ModelDecision d = ModelAnswers::decision("c7", c.choice, {}, c.essential, c.score);
        EXPECT_EQ(d.modelVerdict, c.verdict) << c.choice << " " << c.essential << " " << c.score;
        EXPECT_EQ(d.actionClassification, c.category) << c.choice;
        EXPECT_EQ(d.id, "c7");
    }
}

TEST(ModelAnswers, PriorityIsWeightedClampedAndRounded) {
    const ModelAnswers::Probabilities probabilities = {
        {"essential_form_action", 0.6}, {"distraction_or_upsell", 0.1}, {"other", 9.0}};
    const ModelDecision d =
        ModelAnswers::decision("c1", "essential_form_action", probabilities, 0.5, 1.0);
    EXPECT_DOUBLE_EQ(d.priority, 0.49);  // 0.175 + 0.225 + 0.12 - 0.03
    EXPECT_EQ(d.classificationProbabilities, probabilities);
    EXPECT_EQ(ModelAnswers::decision("c", "legal_or_passive", {}, 1.0, 50.0).priority, 1.0);
    EXPECT_EQ(
        ModelAnswers::decision("c", "legal_or_passive", {{"distraction_or_upsell", 9.0}}, 0.2, 0.2)
            .priority,
        0.0);
    // Halves (exact in binary) round away from zero.
    const ModelDecision r = ModelAnswers::decision("c", "legal_or_passive", {}, 0.03125, -0.03125);
    EXPECT_EQ(r.isEssential, 0.0313);
    EXPECT_EQ(r.focusScore, -0.0313);
    EXPECT_EQ(ModelAnswers::round4(0.123449), 0.1234);
    EXPECT_EQ(ModelAnswers::round4(1e300), 1e300);
    EXPECT_EQ(ModelAnswers::round4(-1e300), -1e300);
}

}  // namespace
}  // namespace ovra
