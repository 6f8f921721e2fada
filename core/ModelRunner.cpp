#include "core/ModelRunner.h"

#include <limits>

namespace ovra::ModelInterface {

std::optional<std::string> problem(const ModelOutputs& outputs) {
    for (const Output& expected : kOutputs) {
        const std::string name(expected.name);
        const auto it = outputs.find(expected.name);
        if (it == outputs.end())
            return "the model has no output \"" + name + "\"";
        const ModelArray& array = it->second;
        if (array.shape.size() != 2) {
            return "the model's output \"" + name + "\" is not two-dimensional";
        }
        const std::int64_t rows = array.shape[0];
        const std::int64_t columns = array.shape[1];
        if (rows < static_cast<std::int64_t>(ModelInput::kRows) ||
            columns < static_cast<std::int64_t>(expected.columns)) {
            return "the model's output \"" + name + "\" is " + std::to_string(rows) + " x " +
                   std::to_string(columns) + ", smaller than " + std::to_string(ModelInput::kRows) +
                   " x " + std::to_string(expected.columns);
        }
        // Both sides are positive and checked against overflow before multiplying.
        const auto r = static_cast<std::uint64_t>(rows);
        const auto c = static_cast<std::uint64_t>(columns);
        if (r > std::numeric_limits<std::uint64_t>::max() / c || array.values.size() != r * c) {
            return "the model's output \"" + name + "\" holds " +
                   std::to_string(array.values.size()) + " values for its shape";
        }
    }
    return std::nullopt;
}

ModelInput fillerBatch(std::int32_t pad) {
    const std::size_t size = ModelInput::kRows * ModelInput::kTokens;
    return ModelInput{std::vector<std::int32_t>(size, pad), std::vector<std::int32_t>(size, 1)};
}

}  // namespace ovra::ModelInterface
