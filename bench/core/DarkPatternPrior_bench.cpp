#include <benchmark/benchmark.h>

#include <array>
#include <random>
#include <string>
#include <vector>

#include "core/DarkPatternPrior.h"

namespace {

struct Sample {
    const char* role;
    const char* label;
};

// What a busy shopping or news page offers: navigation, article links, form controls, a
// cookie banner, adverts and a footer. Most labels match no rule, as on real pages.
constexpr std::array<Sample, 48> kSamples{{
    {"AXLink", "Home"},
    {"AXLink", "Products"},
    {"AXLink", "Women's running shoes"},
    {"AXLink", "Read more about the new climate report"},
    {"AXLink", "Opinion: why cities need more trees"},
    {"AXLink", "Next page"},
    {"AXLink", "Page 3"},
    {"AXButton", "Add to basket"},
    {"AXButton", "Continue"},
    {"AXButton", "Show filters"},
    {"AXButton", "Sort by: price, low to high"},
    {"AXButton", "Reject all"},
    {"AXButton", "Accept all cookies"},
    {"AXButton", "Manage preferences"},
    {"AXStaticText", "We use cookies to personalise content and ads"},
    {"AXLink", "Cookie policy"},
    {"AXLink", "Sponsored"},
    {"AXButton", "Upgrade to Premium"},
    {"AXButton", "Get 30% off your first order"},
    {"AXButton", "No thanks, I'd rather pay full price"},
    {"AXButton", "Take our 2-minute survey"},
    {"AXLink", "Terms and conditions"},
    {"AXLink", "Privacy notice"},
    {"AXStaticText", "© 2026 Example Retail Ltd. All rights reserved."},
    {"AXLink", "Careers"},
    {"AXButton", "Close"},
    {"AXButton", "×"},
    {"AXButton", "Maybe later"},
    {"AXTextField", "Search"},
    {"AXTextField", "Email address"},
    {"AXTextField", ""},
    {"AXTextArea", "Write a comment…"},
    {"AXCheckBox", "Send me the newsletter"},
    {"AXCheckBox", "Remember me"},
    {"AXCheckBox", "I accept the terms"},
    {"AXRadioButton", "Standard delivery (3–5 working days)"},
    {"AXPopUpButton", "Size: 42"},
    {"AXMenuButton", "Account"},
    {"AXButton", "Sign in"},
    {"AXLink", "Forgot your password?"},
    {"AXImage", "Product photo 2 of 7"},
    {"AXButton", "Like"},
    {"AXButton", "Share"},
    {"AXLink", "Über uns"},
    {"AXButton", "Alle akzeptieren"},
    {"AXLink", "Mentions légales"},
    {"AXGroup", "Customers also bought these lightweight trail shoes in blue and grey"},
    {"AXButton", ""},
}};

std::vector<ovra::UICandidate> page(int count) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<std::size_t> pick(0, kSamples.size() - 1);
    std::vector<ovra::UICandidate> out;
    out.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const Sample& s = kSamples[pick(rng)];
        std::string label = s.label;
        // Vary the text the way long lists do, without changing what a rule would say.
        if (std::string_view(s.role) == "AXLink" && i % 3 == 0)
            label += " " + std::to_string(i);
        out.push_back(ovra::UICandidate{.id = "c" + std::to_string(i + 1),
                                        .role = s.role,
                                        .title = std::move(label),
                                        .value = i % 11 == 0 ? "checked" : "",
                                        .order = i + 1});
    }
    return out;
}

void evaluateFourThousand(benchmark::State& state) {
    const auto candidates = page(4000);
    (void)ovra::DarkPatternPrior::evaluate(candidates.front());  // build the tables first
    for (auto _ : state) {
        for (const auto& candidate : candidates)
            benchmark::DoNotOptimize(ovra::DarkPatternPrior::evaluate(candidate));
    }
}
BENCHMARK(evaluateFourThousand)->Unit(benchmark::kMillisecond);

}  // namespace
