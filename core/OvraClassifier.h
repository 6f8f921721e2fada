#pragma once

// The on-device classifier: for the candidates of one window it writes each one's input text,
// tokenizes it, runs the model in fixed batches of 24 rows of 128 tokens and turns the three
// outputs into one decision per candidate.
//
// Holds no mutable state of its own (the tokenizer's cache is locked inside it); the caller
// runs `decide` on one classifier thread, so predictions never overlap.

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/Candidate.h"
#include "core/FocusPlan.h"
#include "core/ModelRunner.h"
#include "core/OvraTokenizer.h"
#include "core/Rect.h"

namespace ovra {

class OvraClassifier final {
  public:
    using Decisions = std::unordered_map<std::string, ModelDecision>;

    static constexpr std::size_t kBatchRows = ModelInput::kRows;
    static constexpr int kMaxTokens = static_cast<int>(ModelInput::kTokens);

    // Reads the tokenizer file beside the model. Throws TokenizerError when it is unreadable or
    // malformed, and what the constructor below throws.
    OvraClassifier(std::unique_ptr<ModelRunner> model, const std::filesystem::path& tokenizerFile);

    // Runs one prediction of filler rows before accepting the model, so that a model that loads
    // but cannot answer is refused here instead of failing every scan: throws ModelError when
    // that prediction fails or an output is missing or too small.
    OvraClassifier(std::unique_ptr<ModelRunner> model, std::unique_ptr<OvraTokenizer> tokenizer);

    // Decisions by candidate id. Candidates whose outputs are not all finite, and every
    // candidate of a batch whose outputs are missing or too small, get none. Throws ModelError
    // when a prediction fails (decisions of earlier batches are then dropped too).
    Decisions decide(const std::vector<UICandidate>& candidates, std::string_view appName,
                     std::string_view windowTitle, const std::optional<Rect>& window) const;

    const OvraTokenizer& tokenizer() const { return *tokenizer_; }

  private:
    std::unique_ptr<ModelRunner> model_;
    std::unique_ptr<OvraTokenizer> tokenizer_;
};

}  // namespace ovra
