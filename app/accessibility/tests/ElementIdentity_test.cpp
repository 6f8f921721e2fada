#include "app/accessibility/ElementIdentity.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <tuple>
#include <vector>

#include "platform/accessibility/FakeAccessibilityBackend.h"

namespace ovra {
namespace {

// A mail's "Archive" button in its row, under the inbox list.
Sighting archive(const std::string& sender, const std::string& subject,
                 const std::string& when = "5 min ago", const std::string& list = "inbox") {
    return {"AXButton", "Archive",
            ElementSetting{
                {"AXStaticText " + sender, "AXStaticText " + subject, "AXStaticText " + when, "*"},
                {"AXGroup ", "AXList " + list}}};
}

// Each row pins one condition of "is this the control the user saw": without that condition,
// its row gives the other answer.
TEST(ElementIdentity, TheControlSeenHasItsRoleLabelAndSettingAndNoTwin) {
    const Sighting seen = archive("alice", "lunch on friday");
    const Sighting bob = archive("bob", "the report");
    Sighting deleting = seen;
    deleting.label = "Delete";
    Sighting linked = seen;
    linked.role = "AXLink";
    Sighting unread = seen;
    unread.setting.reset();
    Sighting itself = seen;
    itself.chosenElement = true;
    Sighting bobInIt = bob;
    bobInIt.chosenElement = true;
    using Sightings = std::vector<Sighting>;
    const std::tuple<const char*, Sightings, Sightings, std::size_t, bool> cases[] = {
        // name, the other controls of its role and label the user saw, the elements now, which
        // of them, whether it is the control seen
        {"left alone", {bob}, {seen, bob}, 0, true},
        {"a redraw: drawn anew with every other row, moved down", {bob}, {bob, seen}, 1, true},
        {"only a value ticking in its row",
         {bob},
         {archive("alice", "lunch on friday", "6 min ago"), bob},
         0,
         true},
        {"a reuse: its element now shows the next mail", {bob}, {bob}, 0, false},
        {"the same row with another subject", {}, {archive("alice", "lunch moved")}, 0, false},
        {"in another list",
         {},
         {archive("alice", "lunch on friday", "5 min ago", "sent")},
         0,
         false},
        {"another label", {}, {deleting}, 0, false},
        {"another role", {}, {linked}, 0, false},
        {"its row cannot be read", {}, {unread}, 0, false},
        {"a twin elsewhere", {}, {seen, seen}, 1, false},
        {"identical rows seen", {seen}, {seen}, 0, false},
        {"identical rows seen, the chosen element itself", {seen}, {itself}, 0, true},
        {"a reuse, seen in the chosen element itself", {bob}, {bobInIt}, 0, false},
    };
    for (const auto& [name, seenAlso, now, which, expected] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(ElementIdentity::isTheControlSeen(seen, seenAlso, now, which), expected);
    }
    // Rows told apart only by their numbers: those numbers are no ticking values there.
    const Sighting invoice = archive("invoice 101", "due");
    const Sightings next = {archive("invoice 102", "due")};
    EXPECT_TRUE(ElementIdentity::isTheControlSeen(invoice, next, {next[0], invoice}, 1));
    EXPECT_FALSE(ElementIdentity::isTheControlSeen(invoice, next, next, 0));
}

// A reading a person is shown notes where its controls stand, in its order, but never waits on
// a slow app past its bound: the rest are left unnoted (nothing may stand in for them).
TEST(ElementIdentity, SettingsAreNotedInTheReadingsOrderWithinTheirBound) {
    for (const double cost : {0.0, 0.01}) {
        SCOPED_TRACE(cost);
        nlohmann::json rows = nlohmann::json::array();
        WindowSnapshot reading;
        for (int n = 0; n < 20; ++n) {
            const std::string id = "b" + std::to_string(n);
            const std::string row = "r" + std::to_string(n);
            const nlohmann::json in = {{"AXParent", {{"ref", row}}}};
            rows.push_back({{"id", row},
                            {"role", "AXGroup"},
                            {"frame", {0, 40 * n, 400, 40}},
                            {"attrs", {{"AXParent", {{"ref", "win"}}}}},
                            {"children",
                             {{{"id", id},
                               {"role", "AXButton"},
                               {"title", "Watch"},
                               {"frame", {300, 40 * n, 80, 40}},
                               {"attrs", in}},
                              {{"role", "AXStaticText"},
                               {"value", "Stock " + std::to_string(n)},
                               {"frame", {0, 40 * n, 200, 40}},
                               {"attrs", in}}}}});
            reading.candidates.push_back({.id = id, .role = "AXButton", .title = "Watch"});
        }
        auto fake =
            ax::FakeAccessibilityBackend::fromJson({{"app", {{"pid", 9}, {"callCost", cost}}},
                                                    {"window",
                                                     {{"id", "win"},
                                                      {"role", "AXWindow"},
                                                      {"frame", {0, 0, 400, 800}},
                                                      {"children", rows}}}})
                .value();
        for (const UICandidate& c : reading.candidates) {
            reading.elements.emplace(c.id, fake->element(c.id));
        }
        ElementIdentity::noteSettings(*fake, reading, fake->clock());
        EXPECT_TRUE(reading.settings.contains("b0"));
        if (cost == 0) {
            EXPECT_EQ(reading.settings.size(), 20u);
            EXPECT_EQ(reading.settings.at("b3").row,
                      (std::vector<std::string>{"*", "AXStaticText stock 3"}));
            // A toolkit that leaves the rows' boxes out and folds their words into a box: each
            // control's row is still what lies on its line, words included.
            nlohmann::json flat = nlohmann::json::array();
            for (int n = 0; n < 4; ++n) {
                const nlohmann::json in = {{"AXParent", {{"ref", "list"}}}};
                flat.push_back({{"role", "AXGroup"},
                                {"frame", {0, 40 * n, 200, 40}},
                                {"attrs",
                                 {{"AXParent", {{"ref", "list"}}},
                                  {"AXText", "Stock " + std::to_string(n)}}}});
                flat.push_back({{"id", "f" + std::to_string(n)},
                                {"role", "AXButton"},
                                {"title", "Watch"},
                                {"frame", {300, 40 * n, 80, 40}},
                                {"attrs", in}});
            }
            auto folded = ax::FakeAccessibilityBackend::fromJson({{"app", {{"pid", 9}}},
                                                                  {"window",
                                                                   {{"id", "list"},
                                                                    {"role", "AXWindow"},
                                                                    {"frame", {0, 0, 400, 800}},
                                                                    {"children", flat}}}})
                              .value();
            const auto row = ElementIdentity::setting(*folded, folded->element("f2"));
            ASSERT_TRUE(row);
            EXPECT_EQ(row->row, (std::vector<std::string>{"AXGroup stock 2", "*"}));
        } else {
            EXPECT_LT(reading.settings.size(), 20u);
            EXPECT_LE(fake->clock().now(), ElementIdentity::kNoteLongest + 0.2);
        }
    }
}

}  // namespace
}  // namespace ovra
