#include <benchmark/benchmark.h>

#include <random>

#include "core/CandidateSelector.h"

namespace {

// A busy web page: rows of links and buttons, a fifth of them wrapped in pressable groups,
// some below the fold and some duplicated by a second tree node.
std::vector<ovra::UICandidate> busyPage(int count) {
    std::mt19937 rng(42);
    std::uniform_real_distribution<double> x(0, 1800);
    std::uniform_real_distribution<double> y(0, 3000);
    std::vector<ovra::UICandidate> out;
    out.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const bool group = i % 5 == 0;
        const ovra::Rect frame(x(rng), y(rng), group ? 160 : 120, group ? 40 : 28);
        out.push_back(ovra::UICandidate{.id = "c" + std::to_string(i + 1),
                                        .role = group ? "AXGroup" : (i % 2 ? "AXLink" : "AXButton"),
                                        .title = "Item " + std::to_string(i % 900),
                                        .frame = frame,
                                        .isChrome = i < 40,
                                        .order = i + 1});
    }
    return out;
}

void selectFourThousand(benchmark::State& state) {
    const auto page = busyPage(4000);
    const ovra::Rect viewport(0, 0, 1920, 1080);
    for (auto _ : state) {
        benchmark::DoNotOptimize(ovra::CandidateSelector::select(page, viewport, {}, 150, true));
    }
}
BENCHMARK(selectFourThousand)->Unit(benchmark::kMillisecond);

}  // namespace
