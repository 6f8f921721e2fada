#pragma once

// Speech output: utterances with their own ids, the end of each (finished or cancelled)
// reported on the main thread, and cancelling that stops this app's own speech only, never a
// screen reader's or another program's.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ovra::speech {

// One voice of one output module (speech synthesizer). Names are unique only within a module,
// so the id combines both: "espeak-ng/English (Great Britain)".
struct Voice {
    std::string module;
    std::string name;
    std::string language;  // as the module gives it, such as "en-gb"
    std::string variant;   // a flavour of a voice ("croak"); empty or "none" for the voice itself

    std::string id() const { return module + "/" + name; }
    friend bool operator==(const Voice&, const Voice&) = default;
};

// The module and the name in a voice id; none when it has no "/" or an empty part.
std::optional<std::pair<std::string, std::string>> splitVoiceId(std::string_view id);

using MessageId = std::int64_t;

enum class SpeechEnd { finished, cancelled };

struct Utterance {
    std::string text;
    std::optional<std::string> voiceId;  // none: the engine's default voice
    int rate = 0;                        // -100 (slowest) to 100 (fastest), 0 the default
};

class SpeechEngine {
  public:
    using EndHandler = std::function<void(MessageId, SpeechEnd)>;

    virtual ~SpeechEngine() = default;

    // Queues an utterance after this app's earlier ones and returns its id at once, without
    // waiting for the speech service. Every utterance ends exactly once, reported on a later turn
    // of the main thread: finished, or cancelled when it was stopped or could not be spoken.
    virtual MessageId speak(const Utterance& utterance) = 0;
    // Stops and drops every utterance of this app; other programs' speech goes on.
    virtual void cancelOwn() = 0;
    // The voices of every output module, once the speech service has listed them; empty until
    // then. The first call asks for them, and the voices handler runs when they arrive.
    virtual std::vector<Voice> voices() = 0;

    // Called on the main thread when an utterance ends, once per utterance.
    void setEndHandler(EndHandler handler) { endHandler_ = std::move(handler); }
    // Called on the main thread when the list of voices has arrived.
    void setVoicesHandler(std::function<void()> handler) { voicesHandler_ = std::move(handler); }

  protected:
    void ended(MessageId id, SpeechEnd end) const {
        if (endHandler_) {
            endHandler_(id, end);
        }
    }
    void voicesArrived() const {
        if (voicesHandler_) {
            voicesHandler_();
        }
    }

  private:
    EndHandler endHandler_;
    std::function<void()> voicesHandler_;
};

}  // namespace ovra::speech
