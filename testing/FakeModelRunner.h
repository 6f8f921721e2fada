#pragma once

// A scripted stand-in for the classifier model: answers each prediction with whatever the
// test's script returns and keeps every batch it was given.

#include <array>
#include <cstddef>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "core/ModelRunner.h"

namespace ovra::testing {

// The nine values the model gives for one row.
struct FakeRow {
    std::array<double, 4> category{0.7, 0.1, 0.1, 0.1};
    std::array<double, 2> essential{0.3, 0.7};
    std::array<double, 3> priority{0.1, 0.2, 0.7};
};

// The three outputs, 24 rows each; rows past `rows` are all zero.
inline ModelOutputs fakeOutputs(const std::vector<FakeRow>& rows) {
    const auto array = [&rows](std::size_t columns, auto pick) {
        ModelArray out{
            {static_cast<std::int64_t>(ModelInput::kRows), static_cast<std::int64_t>(columns)},
            std::vector<double>(ModelInput::kRows * columns, 0.0)};
        for (std::size_t r = 0; r < rows.size() && r < ModelInput::kRows; ++r) {
            const auto& values = pick(rows[r]);
            for (std::size_t k = 0; k < columns; ++k)
                out.values[r * columns + k] = values[k];
        }
        return out;
    };
    return {{"category", array(4, [](const FakeRow& r) { return r.category; })},
            {"essential", array(2, [](const FakeRow& r) { return r.essential; })},
            {"priority", array(3, [](const FakeRow& r) { return r.priority; })}};
}

class FakeModelRunner final : public ModelRunner {
  public:
    // Gets the batch and its number (0 is the load's check); returns the outputs or throws.
    using Script = std::function<ModelOutputs(const ModelInput&, std::size_t call)>;

    explicit FakeModelRunner(Script script) : script_(std::move(script)) {}

    // Every row answered with the default row.
    FakeModelRunner()
        : FakeModelRunner([](const ModelInput&, std::size_t) {
              return fakeOutputs(std::vector<FakeRow>(ModelInput::kRows));
          }) {}

    ModelOutputs predict(const ModelInput& input) const override {
        batches_->push_back(input);
        return script_(input, batches_->size() - 1);
    }

    // Shared so that a test can still read it after the classifier took the runner.
    std::shared_ptr<std::vector<ModelInput>> batches() const { return batches_; }

  private:
    Script script_;
    std::shared_ptr<std::vector<ModelInput>> batches_ = std::make_shared<std::vector<ModelInput>>();
};

}  // namespace ovra::testing
