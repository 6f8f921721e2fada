#include <benchmark/benchmark.h>

#include <random>
#include <string>
#include <vector>

#include "core/FindAndScroll.h"
#include "core/FocusPlanner.h"

namespace {

// A long, busy page spread over 3,000 points: buttons, links, rows of radio buttons and check
// boxes, text fields, unlabelled groups, adverts and a cookie banner. `uniquePercent` of the
// controls carry a text of their own (headlines, product names); the rest repeat the action
// words a feed or a shop repeats on every entry.
std::vector<ovra::UICandidate> busyWindow(int count, int uniquePercent) {
    static const char* const repeated[] = {"Add to cart",
                                           "Product details",
                                           "Reviews",
                                           "Sponsored",
                                           "Go premium",
                                           "Privacy policy",
                                           "Cancel",
                                           "Accept all cookies",
                                           "Cookie settings",
                                           "Size M",
                                           "Subscribe to our newsletter",
                                           "Free shipping on orders over $50",
                                           "Share",
                                           "Help",
                                           "Close this pop-up",
                                           "Not now",
                                           "Search",
                                           "Sign in",
                                           "Wish list",
                                           "Compare"};
    static const char* const topics[] = {"garden",   "chair",  "weather", "election", "recipe",
                                         "football", "laptop", "holiday", "concert",  "museum"};
    static const char* const roles[] = {"AXButton",   "AXLink",   "AXLink",      "AXRadioButton",
                                        "AXCheckBox", "AXButton", "AXTextField", "AXGroup"};
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> x(0, 1800);
    std::uniform_real_distribution<double> y(0, 3000);
    std::uniform_int_distribution<int> percent(0, 99);
    std::vector<ovra::UICandidate> out;
    out.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const auto n = static_cast<std::size_t>(i);
        ovra::UICandidate c;
        c.id = "c" + std::to_string(i + 1);
        c.role = roles[n % std::size(roles)];
        if (c.role == "AXGroup") {
            c.title = "";
        } else if (percent(rng) < uniquePercent) {
            c.title = "Story " + std::to_string(i) + ": the " + topics[n % std::size(topics)] +
                      " everyone is talking about";
        } else {
            c.title = repeated[(n * 7) % std::size(repeated)];
        }
        if (c.role == "AXTextField")
            c.value = "empty";
        // Every fourth control sits in a tidy column so that option groups form.
        c.frame = i % 4 == 0 ? ovra::Rect(40, 30.0 * (i % 40), 120, 20)
                             : ovra::Rect(x(rng), y(rng), 120, 24);
        c.order = i + 1;
        out.push_back(std::move(c));
    }
    return out;
}

// Args: classifier decisions given (0 or 1), share of controls with a text of their own.
void planFourThousand(benchmark::State& state) {
    const auto window = busyWindow(4000, static_cast<int>(state.range(1)));
    ovra::FocusPlanner::Decisions decisions;
    if (state.range(0) != 0) {
        for (const auto& c : window) {
            decisions.emplace(
                c.id,
                ovra::ModelDecision{.id = c.id,
                                    .modelVerdict = "beacon",
                                    .priority = 0.5,
                                    .classificationProbabilities = {{"essential_form_action", 0.4},
                                                                    {"dismissal_or_exit", 0.2},
                                                                    {"distraction_or_upsell", 0.1},
                                                                    {"legal_or_passive", 0.3}},
                                    .isEssential = 0.6,
                                    .focusScore = 1.2});
        }
    }
    const ovra::FocusOverrides overrides(
        {{ovra::FocusOverrides::key("org.example.shop", window[5]), ovra::FocusOverride::pin}});
    for (auto _ : state) {
        benchmark::DoNotOptimize(ovra::FocusPlanner::plan(
            window, state.range(0) != 0 ? &decisions : nullptr, 9, overrides, "org.example.shop"));
    }
}
BENCHMARK(planFourThousand)
    ->ArgsProduct({{0, 1}, {0, 25, 100}})
    ->ArgNames({"model", "unique%"})
    ->Unit(benchmark::kMillisecond);

}  // namespace

namespace {

// What the overlay does with a big plan on every change of view and every typed letter.
void sidebarAndFind(benchmark::State& state) {
    const auto plan = ovra::FocusPlanner::plan(busyWindow(4000, 25), nullptr,
                                               ovra::FocusPlanner::noCap, {}, "org.example.shop");
    for (auto _ : state) {
        benchmark::DoNotOptimize(plan.sections(true));
        benchmark::DoNotOptimize(ovra::FindMatcher::matches("garden", plan));
    }
}
BENCHMARK(sidebarAndFind)->Unit(benchmark::kMillisecond);

}  // namespace
