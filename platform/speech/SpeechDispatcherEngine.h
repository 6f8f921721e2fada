#pragma once

// Speech through speech-dispatcher, with libspeechd: one connection, opened when first needed
// (speech-dispatcher starts on demand) and again after it was lost. Each message has the id the
// daemon gives it; its END and CANCEL notifications arrive on libspeechd's thread and are
// posted to the main thread. Cancelling is "CANCEL SELF": a screen reader using the same
// daemon keeps talking. No libspeechd header leaks out of this file.

#include <functional>
#include <memory>

#include "platform/speech/SpeechEngine.h"

namespace ovra::speech {

class SpeechDispatcherEngine final : public SpeechEngine {
  public:
    // Runs work on the main thread (postToMainThread in the app).
    using Poster = std::function<void(std::function<void()>)>;
    // Receives one line per failure, for the log.
    using Log = std::function<void(const std::string&)>;

    SpeechDispatcherEngine(Poster post, Log log);
    ~SpeechDispatcherEngine() override;
    SpeechDispatcherEngine(const SpeechDispatcherEngine&) = delete;
    SpeechDispatcherEngine& operator=(const SpeechDispatcherEngine&) = delete;

    std::optional<MessageId> speak(const Utterance& utterance) override;
    void cancelOwn() override;
    std::vector<Voice> voices() override;

    struct Sink;

  private:
    struct Connection;
    bool connect();
    void disconnect();
    bool applyVoice(const std::optional<std::string>& voiceId);

    Poster post_;
    Log log_;
    std::unique_ptr<Connection> connection_;
    std::shared_ptr<Sink> sink_;
    std::optional<std::vector<Voice>> voices_;
    std::optional<std::string> voiceId_;  // what the connection is set to, when voiceSet_
    bool voiceSet_ = false;
    int rate_ = 0;
};

}  // namespace ovra::speech
