#pragma once

// Speech through speech-dispatcher on a thread of its own, the one owner of the libspeechd
// connection: speaking, cancelling and listing the voices are messages to it, and the main
// thread never waits for an answer. The connection is opened when first needed and again after
// it was lost. When no daemon runs, opening starts one, and only one opening at a time does: the
// voice listing's own connection waits for the daemon the first utterance starts, and the other
// way round. A call the daemon does not answer within half a second cuts the connection; the
// next utterance opens a new one, after asking the daemon whether it answers at all. Utterances
// that cannot be spoken end as cancelled. Cancelling is "CANCEL SELF": a screen reader using the
// same daemon keeps talking.

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/speech/SpeechEngine.h"

namespace ovra::speech {

// How long the engine waits for speech-dispatcher, and how many threads it leaves waiting.
struct SpeechBounds {
    // A daemon's answer to one call (speak, cancel, the voice and rate before them).
    std::chrono::milliseconds answer{500};
    // Opening a connection, once the daemon answered (or, when none listened, libspeechd
    // starting one and waiting for it).
    std::chrono::milliseconds start{5000};
    // Listing the voices of every output module (on a connection of its own).
    std::chrono::milliseconds listing{10000};
    // Threads left waiting inside libspeechd (a daemon that stopped while a connection was
    // being opened) before utterances are dropped without trying again.
    std::size_t stuckThreads = 3;
};

class SpeechDispatcherEngine final : public SpeechEngine {
  public:
    // Runs work on the main thread (postToMainThread in the app).
    using Poster = std::function<void(std::function<void()>)>;
    // Receives one line per failure, for the log, on the main thread.
    using Log = std::function<void(const std::string&)>;

    using Bounds = SpeechBounds;

    SpeechDispatcherEngine(Poster post, Log log, Bounds bounds = {});
    ~SpeechDispatcherEngine() override;
    SpeechDispatcherEngine(const SpeechDispatcherEngine&) = delete;
    SpeechDispatcherEngine& operator=(const SpeechDispatcherEngine&) = delete;

    MessageId speak(const Utterance& utterance) override;
    void cancelOwn() override;
    std::vector<Voice> voices() override;

    struct Worker;

  private:
    struct Outbox;
    Worker* worker();
    Outbox outbox();
    void deliver(MessageId id, SpeechEnd end);
    void workerStuck(const Worker* worker);

    Poster post_;
    Log log_;
    Bounds bounds_;
    // Taken by the worker that starts a daemon, so that the others wait for it to listen.
    std::shared_ptr<std::timed_mutex> daemonStart_ = std::make_shared<std::timed_mutex>();
    std::shared_ptr<Worker> current_;
    std::vector<std::shared_ptr<Worker>> stuck_;  // abandoned, still waiting inside libspeechd
    std::map<MessageId, const Worker*> outstanding_;
    MessageId next_ = 1;
    std::optional<std::vector<Voice>> voices_;
    bool voicesAsked_ = false;
    std::chrono::steady_clock::time_point voicesRetry_;
    bool refusedLogged_ = false;
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace ovra::speech
