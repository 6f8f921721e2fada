#pragma once

// A speech engine for tests: records what it is asked to say, gives ids in order, and ends
// utterances when the test says so, in any order and as often as asked (late and repeated
// callbacks are part of what real engines do). Its voices are listed at once.

#include <vector>

#include "platform/speech/SpeechEngine.h"

namespace ovra::speech {

class FakeSpeechEngine final : public SpeechEngine {
  public:
    MessageId speak(const Utterance& utterance) override {
        spoken.push_back(utterance);
        return nextId++;
    }
    void cancelOwn() override { ++cancels; }
    std::vector<Voice> voices() override { return installed; }

    // Reports the end of an utterance, as the engine's callback would (on the main thread).
    void end(MessageId id, SpeechEnd how = SpeechEnd::finished) const { ended(id, how); }
    // Reports that the voices were listed.
    void listed() const { voicesArrived(); }

    MessageId nextId = 1;
    int cancels = 0;
    std::vector<Utterance> spoken;
    std::vector<Voice> installed;
};

}  // namespace ovra::speech
