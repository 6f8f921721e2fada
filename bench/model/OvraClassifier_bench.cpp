// What the classifier adds around the raw model call for one batch of 24 candidates: input
// texts, tokenization (warm word cache), filling the batch and reading the answers.
//
// The model is the committed test model unless OVRA_BENCH_MODEL names a package of a realistic
// size (tools/fixtures/make_model_fixture.py --encoder FOLDER writes one); the overhead share is
// only meaningful against a real encoder, whose call takes far longer than the tiny model's.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/OvraClassifier.h"
#include "core/StateText.h"
#include "platform/model/ModelRuntime.h"

namespace {

namespace fs = std::filesystem;

const fs::path kSource = fs::path(__FILE__).parent_path() / "../..";

fs::path modelPackage() {
    if (const char* chosen = std::getenv("OVRA_BENCH_MODEL"))
        return chosen;
    return kSource / "platform/model/tests/fixtures/OvraClassifier.mlpackage";
}

std::vector<ovra::UICandidate> page() {
    const char* labels[] = {"Place order",   "No thanks",   "Accept all cookies", "Reject all",
                            "Email address", "Maybe later", "Upgrade to premium", "Close"};
    std::vector<ovra::UICandidate> out;
    for (int i = 0; i < 24; ++i) {
        ovra::UICandidate c;
        c.id = "c" + std::to_string(i + 1);
        c.role = i % 3 ? "AXButton" : "AXLink";
        c.title = labels[i % 8];
        c.description = i % 4 ? "" : "Opens the offer in a new window";
        c.frame = ovra::Rect(50.0 * i, 30.0 * i, 120, 30);
        if (i % 6 == 0)
            c.context = "dialog:Newsletter";
        out.push_back(std::move(c));
    }
    return out;
}

// The classifier's own work alone: a model that answers at once.
class InstantModel final : public ovra::ModelRunner {
  public:
    ovra::ModelOutputs predict(const ovra::ModelInput&) const override { return outputs_; }

  private:
    ovra::ModelOutputs outputs_ = {
        {"category", {{24, 4}, std::vector<double>(96, 0.25)}},
        {"essential", {{24, 2}, std::vector<double>(48, 0.5)}},
        {"priority", {{24, 3}, std::vector<double>(72, 1.0 / 3)}},
    };
};

// Times the raw call and the whole classifier call on the same batch in turn, and the
// classifier's own work (the same call with a model that answers at once). overhead_pct is the
// difference of the first two, which machine noise can swamp; own_work_pct is the steadier
// figure of the same thing.
void classifierOverheadPerBatch(benchmark::State& state) {
    const auto runtime = ovra::makeTorchModelRuntime();
    const ovra::OvraClassifier classifier(runtime->load(modelPackage()),
                                          kSource / "core/tests/fixtures/tokenizer/bytelevel.json");
    const auto raw = runtime->load(modelPackage());
    const ovra::OvraClassifier instant(std::make_unique<InstantModel>(),
                                       kSource / "core/tests/fixtures/tokenizer/bytelevel.json");
    const auto candidates = page();
    const ovra::Rect window(0, 0, 1280, 800);

    ovra::ModelInput input = ovra::ModelInterface::fillerBatch(classifier.tokenizer().pad());
    for (std::size_t r = 0; r < candidates.size(); ++r) {
        const auto padded = classifier.tokenizer().encodePadded(
            ovra::StateText::build(candidates[r], "Firefox", "Checkout", window), 128);
        std::copy(padded.ids.begin(), padded.ids.end(),
                  input.inputIds.begin() + static_cast<std::ptrdiff_t>(r * 128));
        std::copy(padded.mask.begin(), padded.mask.end(),
                  input.attentionMask.begin() + static_cast<std::ptrdiff_t>(r * 128));
    }
    benchmark::DoNotOptimize(classifier.decide(candidates, "Firefox", "Checkout", window));
    benchmark::DoNotOptimize(raw->predict(input));  // both warmed up

    using Clock = std::chrono::steady_clock;
    double rawSeconds = 0;
    double classifierSeconds = 0;
    double ownSeconds = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        benchmark::DoNotOptimize(raw->predict(input));
        const auto t1 = Clock::now();
        benchmark::DoNotOptimize(classifier.decide(candidates, "Firefox", "Checkout", window));
        const auto t2 = Clock::now();
        benchmark::DoNotOptimize(instant.decide(candidates, "Firefox", "Checkout", window));
        ownSeconds += std::chrono::duration<double>(Clock::now() - t2).count();
        rawSeconds += std::chrono::duration<double>(t1 - t0).count();
        classifierSeconds += std::chrono::duration<double>(t2 - t1).count();
        state.SetIterationTime(std::chrono::duration<double>(t2 - t1).count());
    }
    const auto n = static_cast<double>(state.iterations());
    state.counters["raw_ms"] = rawSeconds / n * 1000;
    state.counters["classifier_ms"] = classifierSeconds / n * 1000;
    state.counters["overhead_pct"] = (classifierSeconds - rawSeconds) / rawSeconds * 100;
    state.counters["own_work_pct"] = ownSeconds / rawSeconds * 100;
}
BENCHMARK(classifierOverheadPerBatch)->UseManualTime()->Unit(benchmark::kMillisecond);

void classifierWorkWithoutModel(benchmark::State& state) {
    const ovra::OvraClassifier classifier(std::make_unique<InstantModel>(),
                                          kSource / "core/tests/fixtures/tokenizer/bytelevel.json");
    const auto candidates = page();
    const ovra::Rect window(0, 0, 1280, 800);
    for (auto _ : state) {
        benchmark::DoNotOptimize(classifier.decide(candidates, "Firefox", "Checkout", window));
    }
}
BENCHMARK(classifierWorkWithoutModel)->Unit(benchmark::kMicrosecond);

}  // namespace
