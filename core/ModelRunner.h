#pragma once

// The classifier model as the logic library sees it: one prediction over a fixed batch of 24
// token sequences of 128 ids, answered by named multi-arrays. The runtime that really runs a
// model lives in the platform layer; tests use a scripted stand-in.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ovra {

// The model cannot be loaded or cannot answer.
struct ModelError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The batch the model takes: "input_ids" and "attention_mask", Int32, kRows x kTokens each,
// row-major.
struct ModelInput {
    static constexpr std::size_t kRows = 24;
    static constexpr std::size_t kTokens = 128;

    std::vector<std::int32_t> inputIds;
    std::vector<std::int32_t> attentionMask;
};

// One output multi-array, row-major, its values read as doubles.
struct ModelArray {
    std::vector<std::int64_t> shape;
    std::vector<double> values;

    // Element [row, column] of a two-dimensional array; the caller has checked the shape.
    double at(std::size_t row, std::size_t column) const {
        return values[row * static_cast<std::size_t>(shape[1]) + column];
    }
};

using ModelOutputs = std::map<std::string, ModelArray, std::less<>>;

class ModelRunner {
  public:
    virtual ~ModelRunner() = default;
    // One prediction. Throws ModelError when the model fails; outputs the model does not give
    // are simply absent from the answer, for the caller to judge.
    virtual ModelOutputs predict(const ModelInput& input) const = 0;
};

namespace ModelInterface {

struct Output {
    std::string_view name;
    std::size_t columns;  // values needed per row
};

// "category" (4 per row, in category order), "essential" (2), "priority" (3).
inline constexpr Output kOutputs[] = {{"category", 4}, {"essential", 2}, {"priority", 3}};

// None when every output is present, two-dimensional, at least kRows x its columns, and holds
// as many values as its shape says; otherwise a sentence naming the first fault.
std::optional<std::string> problem(const ModelOutputs& outputs);

// A batch of filler rows only: every id `pad`, every mask value 1.
ModelInput fillerBatch(std::int32_t pad);

}  // namespace ModelInterface

}  // namespace ovra
