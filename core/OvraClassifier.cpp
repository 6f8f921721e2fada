#include "core/OvraClassifier.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "core/FocusCategory.h"
#include "core/StateText.h"

namespace ovra {

namespace {

std::unique_ptr<OvraTokenizer> readTokenizer(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        throw TokenizerError("tokenizer.json cannot be read at " + file.string() + ": " +
                             std::strerror(errno));
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    if (in.bad())
        throw TokenizerError("tokenizer.json cannot be read at " + file.string());
    return std::make_unique<OvraTokenizer>(bytes.str());
}

}  // namespace

OvraClassifier::OvraClassifier(std::unique_ptr<ModelRunner> model,
                               const std::filesystem::path& tokenizerFile)
    : OvraClassifier(std::move(model), readTokenizer(tokenizerFile)) {}

OvraClassifier::OvraClassifier(std::unique_ptr<ModelRunner> model,
                               std::unique_ptr<OvraTokenizer> tokenizer)
    : model_(std::move(model)), tokenizer_(std::move(tokenizer)) {
    if (!model_)
        throw ModelError("no model was given");
    if (!tokenizer_)
        throw TokenizerError("no tokenizer was given");
    const ModelOutputs outputs = model_->predict(ModelInterface::fillerBatch(tokenizer_->pad()));
    if (const auto problem = ModelInterface::problem(outputs)) {
        throw ModelError("the model cannot be used: " + *problem);
    }
}

OvraClassifier::Decisions OvraClassifier::decide(const std::vector<UICandidate>& candidates,
                                                 std::string_view appName,
                                                 std::string_view windowTitle,
                                                 const std::optional<Rect>& window) const {
    Decisions result;
    const auto& labels = FocusCategories::allCases;
    for (std::size_t start = 0; start < candidates.size(); start += kBatchRows) {
        const std::size_t count = std::min(kBatchRows, candidates.size() - start);

        // Rows without a candidate are all padding with a mask of ones, so that the model
        // always sees one input shape.
        ModelInput input = ModelInterface::fillerBatch(tokenizer_->pad());
        for (std::size_t r = 0; r < count; ++r) {
            const std::string text =
                StateText::build(candidates[start + r], appName, windowTitle, window);
            const auto padded = tokenizer_->encodePadded(text, kMaxTokens);
            const auto offset = static_cast<std::ptrdiff_t>(r * ModelInput::kTokens);
            std::copy(padded.ids.begin(), padded.ids.end(), input.inputIds.begin() + offset);
            std::copy(padded.mask.begin(), padded.mask.end(), input.attentionMask.begin() + offset);
        }

        const ModelOutputs outputs = model_->predict(input);
        if (ModelInterface::problem(outputs))
            continue;
        const ModelArray& category = outputs.find("category")->second;
        const ModelArray& essential = outputs.find("essential")->second;
        const ModelArray& priority = outputs.find("priority")->second;

        for (std::size_t r = 0; r < count; ++r) {
            std::array<double, 4> values{};
            for (std::size_t k = 0; k < values.size(); ++k)
                values[k] = category.at(r, k);
            const std::array<double, 2> essentialRow{essential.at(r, 0), essential.at(r, 1)};
            const std::array<double, 3> priorityRow{priority.at(r, 0), priority.at(r, 1),
                                                    priority.at(r, 2)};
            const auto finite = [](double v) { return std::isfinite(v); };
            // A non-finite value anywhere in the row means the model did not really answer.
            if (!std::all_of(values.begin(), values.end(), finite) ||
                !std::all_of(essentialRow.begin(), essentialRow.end(), finite) ||
                !std::all_of(priorityRow.begin(), priorityRow.end(), finite)) {
                continue;
            }

            std::size_t choice = 0;
            for (std::size_t k = 1; k < values.size(); ++k) {
                if (values[k] > values[choice])
                    choice = k;  // ties keep the lower index
            }
            const double level = 0 * priorityRow[0] + 1 * priorityRow[1] + 2 * priorityRow[2];
            if (!std::isfinite(level))
                continue;  // huge values can still overflow the sum

            ModelAnswers::Probabilities probabilities;
            for (std::size_t k = 0; k < values.size(); ++k) {
                probabilities.emplace(rawValue(labels[k]), ModelAnswers::round4(values[k]));
            }
            const UICandidate& candidate = candidates[start + r];
            result.insert_or_assign(
                candidate.id,
                ModelAnswers::decision(candidate.id, rawValue(labels[choice]),
                                       std::move(probabilities), essentialRow[1], level));
        }
    }
    return result;
}

}  // namespace ovra
