#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/OvraTokenizer.h"

namespace {

std::string readFixture(const char* name) {
    const auto path = std::filesystem::path(__FILE__).parent_path() / "../../core/tests/fixtures" /
                      "tokenizer" / name;
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Texts shaped like the classifier's input: a few lines about one control of a busy window.
std::vector<std::string> labelTexts() {
    const char* labels[] = {"Place order",          "No thanks",      "Accept all cookies",
                            "Reject all",           "Send me offers", "Email address",
                            "Upgrade to premium",   "Maybe later",    "Close",
                            "Continue to checkout", "Sign in",        "Manage settings"};
    const char* roles[] = {"button", "link", "checkbox", "text field"};
    const char* places[] = {"top left", "middle center", "bottom right"};
    std::vector<std::string> out;
    for (int i = 0; i < 48; ++i) {
        std::string text =
            "The user is trying to complete their task in the window \"Checkout\" (Firefox).\n";
        text +=
            std::string("UI element: ") + roles[i % 4] + " labeled \"" + labels[i % 12] + "\".\n";
        if (i % 3 == 0)
            text += "Description: marketing e-mails and special offers\n";
        text += std::string("Location in window: ") + places[i % 3];
        if (i % 5 == 0)
            text += "\nInside: a pop-up dialog labeled \"Newsletter\"";
        out.push_back(std::move(text));
    }
    return out;
}

void encodeWarm(benchmark::State& state, const char* fixture) {
    const ovra::OvraTokenizer tokenizer(readFixture(fixture));
    const auto texts = labelTexts();
    std::size_t bytes = 0;
    for (const auto& text : texts) {
        bytes += text.size();
        tokenizer.encodePadded(text, 128);  // warms the word cache
    }
    for (auto _ : state) {
        for (const auto& text : texts)
            benchmark::DoNotOptimize(tokenizer.encodePadded(text, 128));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(bytes));
}

void byteLevelWarmCache(benchmark::State& state) {
    encodeWarm(state, "bytelevel.json");
}
void metaspaceWarmCache(benchmark::State& state) {
    encodeWarm(state, "metaspace.json");
}
BENCHMARK(byteLevelWarmCache);
BENCHMARK(metaspaceWarmCache);

}  // namespace
