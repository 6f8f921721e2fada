#include "core/OvraClassifier.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "core/StateText.h"
#include "testing/FakeModelRunner.h"
#include "testing/Files.h"

namespace ovra {
namespace {

using testing::FakeModelRunner;
using testing::fakeOutputs;
using testing::FakeRow;
using ::testing::HasSubstr;

std::filesystem::path fixture(const std::string& name) {
    const char* root = std::getenv("OVRA_SOURCE_DIR");
    return std::filesystem::path(root ? root : ".") / "core/tests/fixtures/tokenizer" / name;
}

std::unique_ptr<OvraTokenizer> tokenizer() {
    return std::make_unique<OvraTokenizer>(ovra::testing::readText(fixture("bytelevel.json")));
}

std::vector<UICandidate> candidates(int count) {
    std::vector<UICandidate> out;
    for (int i = 0; i < count; ++i) {
        out.push_back({.id = "c" + std::to_string(i + 1),
                       .role = i % 2 ? "AXLink" : "AXButton",
                       .title = "Control " + std::to_string(i + 1),
                       .frame = Rect(10.0 * i, 20, 80, 30),
                       .order = i + 1});
    }
    return out;
}

const Rect kWindow(0, 0, 800, 600);

struct Classifier {
    std::shared_ptr<std::vector<ModelInput>> batches;
    std::unique_ptr<OvraClassifier> classifier;
};

Classifier make(FakeModelRunner::Script script) {
    auto runner = std::make_unique<FakeModelRunner>(std::move(script));
    auto batches = runner->batches();
    return {batches, std::make_unique<OvraClassifier>(std::move(runner), tokenizer())};
}

// Row r of prediction n answers an essential probability of 0.nnrr, so a test can tell which
// batch and row each decision came from.
ModelOutputs rowsByIndex(const ModelInput&, std::size_t call) {
    std::vector<FakeRow> rows(ModelInput::kRows);
    for (std::size_t r = 0; r < rows.size(); ++r) {
        rows[r].essential[1] = static_cast<double>(call * 100 + r) / 10000;
    }
    return fakeOutputs(rows);
}

// 25 candidates make two predictions: 24 rows of tokenized text, then one real row and 23
// filler rows that are all padding with a mask of ones.
TEST(OvraClassifier, RowsHoldTheTokenizedTextInBatchesOf24WithFillerRows) {
    auto c = make(rowsByIndex);
    const auto list = candidates(25);
    const auto decisions = c.classifier->decide(list, "Firefox", "Checkout", kWindow);
    ASSERT_EQ(c.batches->size(), 3u);  // load check + two batches
    const OvraTokenizer& t = c.classifier->tokenizer();
    for (std::size_t r = 0; r < 48; ++r) {
        const ModelInput& batch = c.batches->at(1 + r / 24);
        ASSERT_EQ(batch.inputIds.size(), 24u * 128u);
        ASSERT_EQ(batch.attentionMask.size(), 24u * 128u);
        const auto row = static_cast<long>((r % 24) * 128);
        const auto slice = [row](const std::vector<std::int32_t>& v) {
            return std::vector<std::int32_t>(v.begin() + row, v.begin() + row + 128);
        };
        const auto ids = slice(batch.inputIds), mask = slice(batch.attentionMask);
        if (r < list.size()) {
            const auto expected =
                t.encodePadded(StateText::build(list[r], "Firefox", "Checkout", kWindow), 128);
            EXPECT_EQ(ids, expected.ids) << r;
            EXPECT_EQ(mask, expected.mask) << r;
        } else {
            EXPECT_EQ(ids, std::vector<std::int32_t>(128, t.pad())) << r;
            EXPECT_EQ(mask, std::vector<std::int32_t>(128, 1)) << r;
        }
    }
    ASSERT_EQ(decisions.size(), 25u);
    for (int i = 0; i < 25; ++i) {
        const ModelDecision& d = decisions.at("c" + std::to_string(i + 1));
        const double expected = i < 24 ? (100 + i) / 10000.0 : 200 / 10000.0;
        EXPECT_DOUBLE_EQ(d.isEssential, expected) << i;
    }
}

TEST(OvraClassifier, DecisionFollowsTheAnswerRule) {
    auto c = make([](const ModelInput&, std::size_t) {
        FakeRow row;
        row.category = {0.1, 0.71234567, 0.15, 0.03};
        row.essential = {0.2, 0.8};
        row.priority = {0.1, 0.2, 0.7};
        return fakeOutputs({row});
    });
    // Essential 0.8 and level 1.6 make a highlight; the priority is 0.28 + 0.36 + 0.02 - 0.045.
    const auto decisions = c.classifier->decide(candidates(1), "App", "Window", kWindow);
    EXPECT_EQ(decisions.at("c1"),
              (ModelDecision{.id = "c1",
                             .modelVerdict = "beacon",
                             .priority = 0.615,
                             .actionClassification = FocusCategory::dismissalOrExit,
                             .classificationProbabilities = {{"essential_form_action", 0.1},
                                                             {"dismissal_or_exit", 0.7123},
                                                             {"distraction_or_upsell", 0.15},
                                                             {"legal_or_passive", 0.03}},
                             .isEssential = 0.8,
                             .focusScore = 1.6}));
}

TEST(OvraClassifier, TiesGoToTheLowerCategory) {
    using enum FocusCategory;
    struct Case {
        std::array<double, 4> values;
        FocusCategory choice;
    };
    const std::vector<Case> cases = {
        {{0.4, 0.4, 0.1, 0.1}, essentialFormAction}, {{0.1, 0.4, 0.4, 0.1}, dismissalOrExit},
        {{0.0, 0.0, 0.0, 0.0}, essentialFormAction}, {{-3, -2, -1, -1}, distractionOrUpsell},
        {{0.1, 0.2, 0.3, 0.30001}, legalOrPassive},
    };
    std::vector<FakeRow> rows;
    for (const Case& k : cases)
        rows.push_back(FakeRow{.category = k.values});
    auto c = make([rows](const ModelInput&, std::size_t) { return fakeOutputs(rows); });
    const auto decisions = c.classifier->decide(candidates(5), "App", "Window", kWindow);
    ASSERT_EQ(decisions.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(decisions.at("c" + std::to_string(i + 1)).actionClassification, cases[i].choice)
            << i;
    }
}

// A broken row drops only its candidate, a broken batch only its candidates, a failed
// prediction the whole call.
TEST(OvraClassifier, OutputFaults) {
    const auto decided = [](FakeModelRunner::Script script, int count) {
        std::set<std::string> ids;
        for (const auto& [id, d] :
             make(std::move(script))
                 .classifier->decide(candidates(count), "App", "Window", kWindow))
            ids.insert(id);
        return ids;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    std::vector<FakeRow> rows(8);
    rows[1].category[2] = nan;
    rows[2].essential[0] = inf;  // even the value the rule never reads
    rows[3].priority[0] = -inf;
    rows[4].priority[2] = nan;
    rows[5].essential[1] = nan;
    rows[6].priority = {0, 1e308, 1e308};  // finite, but the expected level overflows
    EXPECT_EQ(decided([rows](const ModelInput&, std::size_t) { return fakeOutputs(rows); }, 8),
              (std::set<std::string>{"c1", "c8"}));

    // Fine at load, then the second batch lacks "priority" and the third is too small.
    const auto batches = decided(
        [](const ModelInput&, std::size_t call) {
            ModelOutputs out = fakeOutputs(std::vector<FakeRow>(24));
            if (call == 2)
                out.erase("priority");
            if (call == 3)
                out["essential"] = ModelArray{{24, 1}, std::vector<double>(24, 0.5)};
            return out;
        },
        60);
    EXPECT_EQ(batches.size(), 24u);
    EXPECT_TRUE(batches.contains("c24"));
    const auto failing = [](const ModelInput&, std::size_t call) {
        if (call == 2)
            throw ModelError("out of memory");
        return fakeOutputs(std::vector<FakeRow>(24));
    };
    EXPECT_THROW(decided(failing, 30), ModelError);
}

// An empty list needs no prediction; a later candidate with the same id replaces the earlier.
TEST(OvraClassifier, EmptyListAndRepeatedIds) {
    auto c = make(rowsByIndex);
    ASSERT_EQ(c.batches->size(), 1u);  // the check at load
    EXPECT_TRUE(c.classifier->decide({}, "App", "Window", kWindow).empty());
    EXPECT_EQ(c.batches->size(), 1u);
    auto list = candidates(3);
    list[2].id = "c1";
    const auto decisions = c.classifier->decide(list, "App", "Window", kWindow);
    ASSERT_EQ(decisions.size(), 2u);
    EXPECT_DOUBLE_EQ(decisions.at("c1").isEssential, 0.0102);
}

// A model or tokenizer that cannot answer is refused at load, saying why.
TEST(OvraClassifier, LoadFaults) {
    // The outputs with one of them replaced, or left out when none is given.
    const auto replaced = [](const char* name, std::optional<ModelArray> array = std::nullopt) {
        return [name, array](const ModelInput&, std::size_t) {
            ModelOutputs out = fakeOutputs({});
            out.erase(name);
            if (array)
                out.emplace(name, *array);
            return out;
        };
    };
    const auto fine = replaced("none");
    const std::vector<std::tuple<FakeModelRunner::Script, const char*, const char*>> cases = {
        {replaced("priority"), "", "no output \"priority\""},
        {replaced("category", ModelArray{{24, 3}, std::vector<double>(72)}), "", "24 x 3"},
        {replaced("priority", ModelArray{{72}, std::vector<double>(72)}), "",
         "not two-dimensional"},
        {replaced("priority", ModelArray{{24, 3}, std::vector<double>(10)}), "", "holds 10 values"},
        {replaced("priority", ModelArray{{1LL << 40, 1LL << 40}, std::vector<double>(72)}), "",
         "holds 72 values"},
        {[](const ModelInput&, std::size_t) -> ModelOutputs { throw ModelError("broken graph"); },
         "", "broken graph"},
        {fine, "missing.json", "cannot be read"},
        {fine, "bytelevel.expected.json", "top level is not an object"},
    };
    for (const auto& [script, tokenizerFile, message] : cases) {
        const auto load = [&] {
            auto runner = std::make_unique<FakeModelRunner>(script);
            if (*tokenizerFile)
                OvraClassifier(std::move(runner), fixture(tokenizerFile));
            else
                OvraClassifier(std::move(runner), tokenizer());
        };
        EXPECT_THAT(load, ::testing::Throws<std::runtime_error>(
                              ::testing::Property(&std::runtime_error::what, HasSubstr(message))));
    }
    // Wider and taller outputs than needed are fine.
    EXPECT_NO_THROW(OvraClassifier(std::make_unique<FakeModelRunner>(replaced(
                                       "category", ModelArray{{30, 6}, std::vector<double>(180)})),
                                   tokenizer()));
}

}  // namespace
}  // namespace ovra
