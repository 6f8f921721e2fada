// The walk's own cost on a generated 4,000-node window, with a backend that answers at once.

#include <benchmark/benchmark.h>

#include "app/accessibility/AXExtractor.h"
#include "app/accessibility/AXWalk.h"
#include "platform/accessibility/FakeAccessibilityBackend.h"

namespace {

using ovra::Json;

// A web page in a scroll area: 100 sections of a group holding three links with their text, three
// buttons and 30 pieces of static text; 4,000 nodes in all, all of them on screen.
Json generatedWindow() {
    Json sections = Json::array();
    int id = 0;
    for (int s = 0; s < 100; ++s) {
        const double y = 60 + (s % 19) * 40.0;  // every section on screen: nothing pruned
        Json children = Json::array();
        for (int k = 0; k < 6; ++k) {
            const double x = 20 + k * 150.0;
            Json link = {{"role", "AXLink"},
                         {"frame", {x, y, 120, 20}},
                         {"children", Json::array({{{"role", "AXStaticText"},
                                                    {"value", "Read more " + std::to_string(id)},
                                                    {"frame", {x, y, 120, 20}}}})}};
            children.push_back(k % 2 == 0 ? link
                                          : Json{{"role", "AXButton"},
                                                 {"title", "Action " + std::to_string(id)},
                                                 {"frame", {x, y, 120, 20}}});
            ++id;
        }
        for (int k = 0; k < 30; ++k) {
            children.push_back(
                {{"role", "AXStaticText"}, {"value", "Words"}, {"frame", {20, y, 10, 10}}});
        }
        sections.push_back(
            {{"role", "AXGroup"}, {"frame", {0, y, 1200, 40}}, {"children", children}});
    }
    Json web = {{"role", "AXWebArea"}, {"frame", {0, 50, 1200, 4100}}, {"children", sections}};
    Json scroll = {
        {"role", "AXScrollArea"}, {"frame", {0, 50, 1200, 800}}, {"children", Json::array({web})}};
    return {{"screens", Json::array({{0, 0, 1440, 900}})},
            {"app", {{"pid", 7}, {"name", "Bench"}}},
            {"window",
             {{"role", "AXWindow"},
              {"frame", {0, 0, 1200, 850}},
              {"children", Json::array({scroll})}}}};
}

std::unique_ptr<ovra::ax::FakeAccessibilityBackend> makeFake() {
    auto fake = ovra::ax::FakeAccessibilityBackend::fromJson(generatedWindow());
    if (!fake) {
        std::abort();
    }
    return std::move(fake).value();
}

void BM_Walk4000(benchmark::State& state) {
    auto fake = makeFake();
    const auto window = fake->element("n1");
    for (auto _ : state) {
        ovra::BoundedReader reader(*fake, fake->clock(), {}, {.deadlineSeconds = 1e9});
        auto result = ovra::walk(reader, window, {0, 0, 1200, 850},
                                 {.maxDepth = 6, .maxRawDepth = 48, .nodeBudget = 4000});
        benchmark::DoNotOptimize(result);
        state.counters["nodes"] = result.nodesRead;
    }
}
BENCHMARK(BM_Walk4000)->Unit(benchmark::kMillisecond);

// The backend's share of the walk: the same batch and children reads with no walk logic.
void BM_FakeReadsOnly(benchmark::State& state) {
    auto fake = makeFake();
    const auto window = fake->element("n1");
    const auto names = ovra::nodeAttributeNames();
    for (auto _ : state) {
        std::vector<ovra::ax::Element> queue{window};
        for (std::size_t i = 0; i < queue.size() && i < 4000; ++i) {
            benchmark::DoNotOptimize(fake->attributes(queue[i], names));
            auto kids = fake->children(queue[i], 4000 - queue.size());
            if (kids) {
                queue.insert(queue.end(), kids.value().begin(), kids.value().end());
            }
        }
        benchmark::DoNotOptimize(queue);
    }
}
BENCHMARK(BM_FakeReadsOnly)->Unit(benchmark::kMillisecond);

void BM_Snapshot4000(benchmark::State& state) {
    auto fake = makeFake();
    const ovra::AXExtractor extractor{
        .maxDepth = 6, .maxCandidates = 14, .maxRawDepth = 48, .nodeBudget = 4000};
    const ovra::ax::RunningApp app{.pid = 7, .localizedName = "Bench"};
    for (auto _ : state) {
        auto snapshot = extractor.snapshot(app, *fake, fake->clock(), {}, {.deadlineSeconds = 1e9});
        benchmark::DoNotOptimize(snapshot);
    }
}
BENCHMARK(BM_Snapshot4000)->Unit(benchmark::kMillisecond);

}  // namespace
