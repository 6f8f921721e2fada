#include "core/FocusPlanner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

#include "core/DarkPatternPrior.h"
#include "core/FocusFusion.h"

namespace ovra {
namespace {

using FocusPlanner::Decisions;
using FocusPlanner::noCap;
using FocusPlanner::plan;
using V = std::vector<std::string>;
using enum FocusCategory;

const std::string kApp = "org.example.shop";
const std::string kWayOut = "A way out of the pop-up, offered first.";

UICandidate control(std::string id, std::string title, Rect frame, std::string role = "AXButton") {
    return UICandidate{
        .id = std::move(id), .role = std::move(role), .title = std::move(title), .frame = frame};
}

// A plain button at (x, y); with no rule for its label it fuses to a highlight of 0.7975.
UICandidate button(std::string id, double x, double y, std::string title = "") {
    if (title.empty())
        title = "Item " + id;
    return control(std::move(id), std::move(title), Rect(x, y, 80, 24));
}

ModelDecision decision(std::string id, FocusCategory category, double probability, double essential,
                       double focus) {
    return ModelDecision{
        .id = std::move(id),
        .modelVerdict = "m",
        .priority = 0,
        .actionClassification = category,
        .classificationProbabilities = {{std::string(rawValue(category)), probability}},
        .isEssential = essential,
        .focusScore = focus};
}

Decisions byId(std::vector<ModelDecision> list) {
    Decisions out;
    for (auto& d : list)
        out.emplace(d.id, std::move(d));
    return out;
}

FocusVerdict verdictOf(const FocusPlan& p, std::string_view id) {
    return p.item(id) ? p.item(id)->verdict : FocusVerdict::available;
}

TEST(FocusPlanner, EmptyWindowAndSource) {
    const Decisions none;
    const FocusPlan rules = plan({}, nullptr, 5, {}, kApp);
    EXPECT_TRUE(rules.items.empty());
    EXPECT_TRUE(rules.beaconOrder.empty());
    EXPECT_EQ(rules.initialBeacon, 0);
    EXPECT_EQ(rules.source, DecisionSource::heuristic);
    EXPECT_EQ(plan({}, &none, 5, {}, kApp).source, DecisionSource::vorn);

    // A decision for another control is ignored; the item keeps its heuristic source.
    const Decisions stray = byId({decision("zz", legalOrPassive, 1, 0, 0)});
    const FocusPlan p = plan({button("c1", 0, 0)}, &stray, 5, {}, kApp);
    EXPECT_EQ(p.source, DecisionSource::vorn);
    EXPECT_EQ(p.items[0].source, DecisionSource::heuristic);
}

TEST(FocusPlanner, CapPinsMutesAndWhatIsNeverNumbered) {
    std::vector<UICandidate> window{button("c1", 0, 0), button("c2", 100, 0), button("c3", 200, 0)};
    auto focused = window;
    focused[1].isFocused = true;  // the best priority
    for (int limit : {0, -7, 1}) {
        const FocusPlan p = plan(focused, nullptr, limit, {}, kApp);
        EXPECT_EQ(p.beaconOrder, V{"c2"}) << limit;
        EXPECT_EQ(verdictOf(p, "c1"), FocusVerdict::available);
    }
    // Equal priorities: the earliest survives.
    EXPECT_EQ(plan(window, nullptr, 2, {}, kApp).beaconOrder, (V{"c1", "c2"}));

    // A pin is numbered beyond the cap; a mute keeps a control out, even of the fill-up.
    window.push_back(button("c4", 0, 100, "Tea"));
    const FocusOverrides overrides({{FocusOverrides::key(kApp, window[3]), FocusOverride::pin},
                                    {FocusOverrides::key(kApp, window[0]), FocusOverride::mute}});
    focused = window;
    focused[2].isFocused = true;
    const FocusPlan p = plan(focused, nullptr, 1, overrides, kApp);
    EXPECT_EQ(p.beaconOrder, (V{"c3", "c4"}));
    EXPECT_EQ(p.item("c4")->explanation, "You chose to always highlight this.");
    EXPECT_TRUE(p.item("c4")->forceBeacon);
    EXPECT_EQ(p.item("c1")->verdict, FocusVerdict::available);
    EXPECT_EQ(p.item("c1")->explanation, "You chose not to highlight this.");
    const FocusPlan all = plan(window, nullptr, noCap, overrides, kApp);
    EXPECT_EQ(verdictOf(all, "c1"), FocusVerdict::available);
    EXPECT_EQ(all.beaconOrder, (V{"c2", "c3", "c4"}));

    // With no cap everything reachable is numbered, except distractions and unlabelled
    // containers, however sure the model is of them.
    const std::vector<UICandidate> page{
        control("g", "", Rect(0, 0, 200, 100), "AXGroup"), button("c1", 0, 200),
        control("l1", "Photos", Rect(0, 240, 80, 20), "AXLink"), button("c2", 0, 280, "Cancel"),
        button("ad", 0, 320, "Go premium today")};
    const Decisions sure = byId({decision("g", essentialFormAction, 1, 1, 2)});
    const FocusPlan everything = plan(page, &sure, noCap, {}, kApp);
    EXPECT_EQ(everything.beaconOrder, (V{"c1", "l1", "c2"}));
    EXPECT_EQ(verdictOf(everything, "ad"), FocusVerdict::suppressed);
    EXPECT_FALSE(everything.item("l1")->forceBeacon);
    for (int limit : {1, 5})
        EXPECT_EQ(plan(page, &sure, limit, {}, kApp).beaconOrder.front(), "c1") << limit;
}

TEST(FocusPlanner, OptionGroupsAreNumberedWhole) {
    // Three radio buttons in a row: only the first looks important to the model.
    std::vector<UICandidate> window;
    for (int i = 0; i < 3; ++i) {
        window.push_back(control("r" + std::to_string(i), "Size " + std::to_string(i),
                                 Rect(10 + 100 * i, 300, 80, 20), "AXRadioButton"));
    }
    window.push_back(button("c9", 0, 0));
    const Decisions decisions =
        byId({decision("r0", essentialFormAction, 1, 1, 2), decision("r1", legalOrPassive, 1, 0, 0),
              decision("r2", legalOrPassive, 1, 0, 0),
              decision("c9", essentialFormAction, 1, 0.9, 1.9)});
    const FocusPlan p = plan(window, &decisions, 1, {}, kApp);
    EXPECT_EQ(p.beaconOrder, (V{"c9", "r0", "r1", "r2"}));
    for (const char* id : {"r0", "r1", "r2"})
        EXPECT_TRUE(p.item(id)->forceBeacon) << id;

    // A mute keeps one radio out; a pin on another raises the whole row.
    const FocusOverrides overrides({{FocusOverrides::key(kApp, window[1]), FocusOverride::mute}});
    const FocusPlan muted = plan(window, &decisions, 1, overrides, kApp);
    EXPECT_EQ(verdictOf(muted, "r1"), FocusVerdict::available);
    EXPECT_EQ(verdictOf(muted, "r2"), FocusVerdict::beacon);

    const Decisions quiet =
        byId({decision("r0", legalOrPassive, 1, 0, 0), decision("r1", legalOrPassive, 1, 0, 0),
              decision("r2", legalOrPassive, 1, 0, 0)});
    const FocusOverrides pin({{FocusOverrides::key(kApp, window[2]), FocusOverride::pin}});
    const FocusPlan pinned = plan(window, &quiet, 1, pin, kApp);
    for (const char* id : {"r0", "r1", "r2"}) {
        EXPECT_EQ(verdictOf(pinned, id), FocusVerdict::beacon) << id;
    }
}

std::vector<FocusPlanner::OptionGroup> groupsOf(const std::vector<UICandidate>& controls,
                                                std::size_t suppressed = SIZE_MAX) {
    std::vector<FocusItem> items(controls.size());
    for (std::size_t i = 0; i < controls.size(); ++i)
        items[i].candidate = controls[i];
    if (suppressed < items.size())
        items[suppressed].verdict = FocusVerdict::suppressed;
    return FocusPlanner::optionGroups(items);
}

TEST(FocusPlanner, OptionGroupBandsAndLimits) {
    std::vector<UICandidate> column;
    for (int i = 0; i < 10; ++i)
        column.push_back(
            control("b" + std::to_string(i), "Box", Rect(20, 40.0 * i, 16, 16), "AXCheckBox"));
    EXPECT_TRUE(groupsOf(column).empty());  // ten in one column
    column.pop_back();
    ASSERT_EQ(groupsOf(column).size(), 1u);
    EXPECT_EQ(groupsOf(column)[0].size(), 9u);
    // Same column band (x 16..23), different height band, another role, suppressed.
    EXPECT_TRUE(groupsOf({control("a", "A", Rect(16, 0, 16, 16), "AXCheckBox"),
                          control("b", "B", Rect(23.9, 50, 16, 24), "AXCheckBox"),
                          control("c", "C", Rect(20, 90, 16, 16), "AXRadioButton"),
                          control("d", "D", Rect(20, 130, 16, 16), "AXCheckBox")},
                         3)
                    .empty());
    // Negative edges truncate towards zero: -7.9 and 7.9 share band 0.
    EXPECT_EQ(groupsOf({control("n", "N", Rect(-7.9, 0, 16, 16), "AXLink"),
                        control("p", "P", Rect(7.9, 50, 16, 16), "AXLink")}),
              (std::vector<FocusPlanner::OptionGroup>{{0, 1}}));
    // Non-finite frames join no group and still get numbers.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<UICandidate> broken{
        control("r0", "One", Rect(0, 0, 16, 16), "AXRadioButton"),
        control("r1", "Two", Rect(nan, 0, 16, 16), "AXRadioButton"),
        control("r2", "Three", Rect(0, std::numeric_limits<double>::infinity(), 16, 16),
                "AXRadioButton"),
        control("r3", "Four", Rect(0, 40, 16, nan), "AXRadioButton"),
        control("r4", "Five", Rect(1e300, 0, 16, 16), "AXRadioButton")};
    EXPECT_TRUE(groupsOf(broken).empty());
    const FocusPlan p = plan(broken, nullptr, noCap, {}, kApp);
    EXPECT_EQ(p.beaconOrder.size(), 5u);
    EXPECT_EQ(p.beaconOrder.front(), "r0");
}

TEST(FocusPlanner, GroupsAreCheckedInOneOrderWhateverTheirDiscovery) {
    // Two groups that share a member: raising {0,1} first lights {1,2} too; the other way
    // round it would not. Every discovery order must give the same items.
    std::vector<FocusItem> items(3);
    for (std::size_t i = 0; i < 3; ++i)
        items[i].candidate.id = "r" + std::to_string(i);
    items[0].verdict = FocusVerdict::beacon;
    std::vector<FocusPlanner::OptionGroup> groups{{0, 1}, {1, 2}};
    const std::vector<bool> overridden(3, false);

    std::vector<FocusItem> expected = items;
    FocusPlanner::raiseOptionGroups(expected, groups, overridden);
    for (const auto& i : expected)
        EXPECT_EQ(i.verdict, FocusVerdict::beacon) << i.id();

    std::sort(groups.begin(), groups.end(), std::greater<>());
    do {
        std::vector<FocusItem> shuffled = items;
        FocusPlanner::raiseOptionGroups(shuffled, groups, overridden);
        EXPECT_EQ(shuffled, expected);
    } while (std::prev_permutation(groups.begin(), groups.end()));
}

bool offeredAsWayOut(const FocusPlan& p, std::string_view id) {
    return p.item(id)->explanation.rfind(kWayOut + " ", 0) == 0;
}

TEST(FocusPlanner, WaysOutComeFirst) {
    // Cookie settings is the way out of a banner without a decline; with one, the decline is.
    std::vector<UICandidate> banner{button("c1", 0, 0, "Accept all cookies"),
                                    button("c2", 100, 0, "Cookie settings"), button("c3", 200, 0)};
    const FocusPlan settings = plan(banner, nullptr, 3, {}, kApp);
    EXPECT_EQ(settings.beaconOrder.front(), "c2");
    EXPECT_EQ(settings.initialBeacon, 0);
    EXPECT_TRUE(offeredAsWayOut(settings, "c2"));
    banner.push_back(button("c4", 300, 0, "Reject all"));
    const FocusPlan decline = plan(banner, nullptr, 3, {}, kApp);
    EXPECT_EQ(decline.beaconOrder.front(), "c4");
    EXPECT_FALSE(offeredAsWayOut(decline, "c2"));

    // Decline wording outside a dialog is a way out even when the model would veil it.
    const std::vector<UICandidate> offer{button("c1", 0, 0), button("c2", 100, 0, "Not now")};
    const Decisions veiled = byId({decision("c2", distractionOrUpsell, 5, 0, 0)});
    const FocusPlan p = plan(offer, &veiled, 1, {}, kApp);
    EXPECT_EQ(p.beaconOrder, (V{"c2", "c1"}));
    EXPECT_TRUE(p.item("c2")->forceBeacon);
    EXPECT_EQ(p.initialBeacon, 0);
    const Decisions essential = byId({decision("c2", essentialFormAction, 5, 1, 2)});
    EXPECT_EQ(plan(offer, &essential, 1, {}, kApp).beaconOrder.front(), "c2");

    // Inside a dialog only exits are ways out, or what the model is sure is one; outside it
    // closing words make a way out too.
    std::vector<UICandidate> dialog{button("c1", 0, 0, "Close this pop-up"),
                                    button("c2", 100, 0, "Cancel"), button("c3", 200, 0)};
    const auto firstTwo = [](const FocusPlan& plan) {
        return V(plan.beaconOrder.begin(), plan.beaconOrder.begin() + 2);
    };
    const FocusPlan outside = plan(dialog, nullptr, 3, {}, kApp);
    EXPECT_EQ(firstTwo(outside), (V{"c1", "c2"}));
    for (auto& c : dialog)
        c.context = "dialog:Save changes?";
    const FocusPlan inside = plan(dialog, nullptr, 3, {}, kApp);
    EXPECT_EQ(inside.beaconOrder.front(), "c2");
    EXPECT_FALSE(offeredAsWayOut(inside, "c1"));
    const Decisions sure = byId({decision("c3", dismissalOrExit, 0.4, 0, 0)});
    EXPECT_EQ(firstTwo(plan(dialog, &sure, 3, {}, kApp)), (V{"c2", "c3"}));

    // The fill-up prefers a way out to background information.
    const std::vector<UICandidate> page{button("c1", 0, 0), button("legal", 0, 100, "Alpha"),
                                        button("exit", 0, 200, "Beta")};
    const Decisions decisions = byId({decision("legal", legalOrPassive, 1, 1, 2),
                                      decision("exit", dismissalOrExit, 1, 0, 0.8889)});
    const FocusPlan filled = plan(page, &decisions, 2, {}, kApp);
    EXPECT_NEAR(filled.item("legal")->priority, 0.8, 1e-9);
    EXPECT_NEAR(filled.item("exit")->priority, 0.2, 1e-3);
    EXPECT_EQ(filled.beaconOrder, (V{"c1", "exit"}));
    // What W says follows the plan: the filled-up exit is highlighted, the other is not; a
    // way out the model would veil is not "seen with A" either.
    EXPECT_EQ(filled.item("exit")->explanation.find("Not highlighted"), std::string::npos);
    EXPECT_NE(filled.item("legal")->explanation.find("Not highlighted"), std::string::npos);
    EXPECT_EQ(p.item("c2")->explanation.find("Press A"), std::string::npos);
}

TEST(FocusPlanner, EmptyTextFieldIsSelectedFirst) {
    auto field = control("f", "Name", Rect(0, 100, 200, 24), "AXTextField");
    field.value = "empty";
    const std::vector<UICandidate> window{button("c1", 0, 0), field};
    const Decisions decisions = byId({decision("c1", essentialFormAction, 1, 1, 2)});
    const FocusPlan p = plan(window, &decisions, 5, {}, kApp);
    EXPECT_EQ(p.beaconOrder, (V{"c1", "f"}));
    EXPECT_EQ(p.initialBeacon, 1);

    field.value = "Ada";
    const FocusPlan filled = plan({button("c1", 0, 0), field}, &decisions, 5, {}, kApp);
    EXPECT_EQ(filled.initialBeacon, 0);  // the best unforced highlight
}

using FocusPlanner::fuse;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// A control with the given label, changed as the test needs.
UICandidate labelled(std::string title, std::string role = "AXButton",
                     std::function<void(UICandidate&)> change = {}) {
    UICandidate c{.id = "c1",
                  .role = std::move(role),
                  .title = std::move(title),
                  .frame = Rect(10, 10, 80, 24)};
    if (change)
        change(c);
    return c;
}

ModelDecision modelSays(std::map<std::string, double, std::less<>> probabilities,
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
    using FV = FocusVerdict;
    const auto distraction = modelSays({{"distraction_or_upsell", 0.8}, {"legal_or_passive", 0.2}});
    struct Case {
        UICandidate control;
        std::optional<ModelDecision> model;
        FocusCategory category;
        FocusVerdict verdict;
        double priority;  // NaN: not checked
        std::string explanation;
    };
    const Case cases[] = {
        {labelled("Edit"), {}, essentialFormAction, FV::beacon, 0.7975, kGuessed},
        {labelled("Edit", "AXButton", [](auto& c) { c.isFocused = true; }),
         {},
         essentialFormAction,
         FV::beacon,
         0.8475,
         kGuessed},
        {labelled("Photos", "AXLink"),
         {},
         legalOrPassive,
         FV::available,
         0.21,
         kGuessed + kNotHighlighted},
        {labelled("Cancel"),
         {},
         dismissalOrExit,
         FV::available,
         0.3525,
         kRule + "a way out or back (exit)." + kNotHighlighted},
        {labelled("No thanks, I'd rather pay full price"),
         {},
         dismissalOrExit,
         FV::beacon,
         kNaN,
         "Always shown, because it's your choice to make (pressuring wording)."},
        // A price does not rescue what a rule calls an advert.
        {labelled("Go premium for $5"),
         {},
         distractionOrUpsell,
         FV::suppressed,
         kNaN,
         kRule + "an advert, upsell or survey (advert). Press A to see it."},
        // The rule's weight (0.65 for an exit) moves the category mass; the model's essential
        // and focus values take the remaining 35%.
        {labelled("Cancel"), modelSays({{"essential_form_action", 1.0}}, 1.0, 2.0), dismissalOrExit,
         FV::available, 0.35 * 0.545 + 0.225 * 1.415 + 0.2 * 0.35,
         kRule +
             "a way out or back (exit). The on-device model is 65% sure it's a way out or "
             "back." +
             kNotHighlighted},
        // A weak model distraction falls back to the best other category.
        {labelled("Photos"),
         modelSays({{"distraction_or_upsell", 0.7},
                    {"legal_or_passive", 0.2},
                    {"dismissal_or_exit", 0.1}},
                   0.1, 0.5),
         legalOrPassive, FV::available, kNaN,
         "The on-device model is 20% sure it's background information." + kNotHighlighted},
        {labelled("Photos"), modelSays({}), essentialFormAction, FV::available, kNaN,
         "The on-device model is 0% sure it's a main action or field." + kNotHighlighted},
        // Texts that must stay visible are kept from a model distraction.
        {labelled("$5 a month"), distraction, legalOrPassive, FV::available, kNaN,
         "Kept visible: shows a price."},
        {labelled("Payment failed"), distraction, legalOrPassive, FV::available, kNaN,
         "Kept visible: looks like an error or warning."},
        {labelled("Join the club"), distraction, legalOrPassive, FV::available, kNaN,
         "Kept visible: it names its own action, which may be what you came for."},
        {labelled("Shiny things"), distraction, distractionOrUpsell, FV::suppressed, kNaN, ""},
        // A ticked marketing box is forced by its rule; the model's out-of-range distraction
        // score still wins the category.
        {labelled("Send me the newsletter", "AXCheckBox", [](auto& c) { c.value = "checked"; }),
         modelSays({{"distraction_or_upsell", 10.0}}), distractionOrUpsell, FV::beacon, kNaN, ""},
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
        fuse(labelled("", "AXTextField", [](auto& c) { c.subrole = "AXSecureTextField"; }), nullptr)
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
        const auto d = modelSays(c.probabilities, c.essential, c.focus);
        const FocusItem item = fuse(labelled("Photos"), &d);
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
                    labelled(title, role, [&](auto& c) { c.description = description; }));
        }
    }
    for (const char* value : {"checked", "unchecked", "empty"}) {
        window.push_back(
            labelled("Send me the newsletter", "AXCheckBox", [&](auto& c) { c.value = value; }));
        window.push_back(labelled("", "AXTextField", [&](auto& c) { c.value = value; }));
    }
    window.push_back(labelled("Send me the newsletter", "AXButton",
                              [](auto& c) { c.subrole = "AXCloseButton"; }));
    window.push_back(labelled("", "AXTextField", [](auto& c) { c.subrole = "AXSecureTextField"; }));
    window.push_back(labelled("Edit", "AXButton", [](auto& c) { c.isFocused = true; }));

    const auto d1 = modelSays({{"legal_or_passive", 0.9}}, 0.2, 0.4);
    const auto d2 = modelSays({{"distraction_or_upsell", 0.9}}, 0.1, 0.2);
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
