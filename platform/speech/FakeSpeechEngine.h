#pragma once

// A speech engine for tests: records what it is asked to say, gives ids in order, and ends
// utterances when the test says so, in any order and as often as asked (late and repeated
// callbacks are part of what real engines do).

#include <vector>

#include "platform/speech/SpeechEngine.h"

namespace ovra::speech {

class FakeSpeechEngine final : public SpeechEngine {
  public:
    std::optional<MessageId> speak(const Utterance& utterance) override {
        if (refusing) {
            return std::nullopt;
        }
        spoken.push_back(utterance);
        return nextId++;
    }
    void cancelOwn() override { ++cancels; }
    std::vector<Voice> voices() override { return installed; }

    // Reports the end of an utterance, as the engine's callback would (on the main thread).
    void end(MessageId id, SpeechEnd how = SpeechEnd::finished) const { ended(id, how); }

    bool refusing = false;
    MessageId nextId = 1;
    int cancels = 0;
    std::vector<Utterance> spoken;
    std::vector<Voice> installed;
};

}  // namespace ovra::speech
