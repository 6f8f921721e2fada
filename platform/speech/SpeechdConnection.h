#pragma once

// One connection to speech-dispatcher through libspeechd, used by one thread: every call waits
// for the daemon's answer; when nobody listens, opening starts a daemon. The END and CANCEL
// notifications arrive on libspeechd's own thread. `interrupt` cuts the socket from any other
// thread, so that a call waiting for an answer fails at once. No libspeechd header leaks out of
// this file.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/Result.h"
#include "platform/speech/SpeechEngine.h"

namespace ovra::speech {

class SpeechdConnection final {
  public:
    // Runs on libspeechd's thread with the daemon's message id.
    using Notify = std::function<void(MessageId daemonId, SpeechEnd end)>;

    // The unix socket libspeechd would use (SPEECHD_ADDRESS, else the user's runtime folder);
    // empty for an inet address, which is not probed.
    static std::string unixAddress();

    // Opens a connection (starting a daemon when none listens); why not, when it failed.
    static Result<std::unique_ptr<SpeechdConnection>> open(Notify notify);
    ~SpeechdConnection();
    SpeechdConnection(const SpeechdConnection&) = delete;
    SpeechdConnection& operator=(const SpeechdConnection&) = delete;

    // The socket, for `interrupt`.
    int socket() const;
    // Says the text with this voice and rate; the daemon's message id, or none when it did not
    // take it.
    std::optional<MessageId> say(const Utterance& utterance);
    // Cancels this connection's own messages ("CANCEL SELF"); false when the daemon refused.
    bool cancel();
    // The voices of every output module; empty when they could not be listed. (Slow: see
    // SsipSession, which lists them over a local socket.)
    std::vector<Voice> voices();
    // The daemon closed the connection or went away (also after `interrupt`).
    bool broken() const;
    // Why the last call failed, for the log.
    const std::string& lastProblem() const { return problem_; }

    // Cuts `socket` when it is still the socket with inode `inode` (a closed and reused
    // descriptor is left alone). Any thread.
    static void interrupt(int socket, unsigned long inode);
    // The inode of an open socket, 0 when it cannot be read.
    static unsigned long inodeOf(int socket);
    // Whether the daemon has closed its end of `socket` (or the descriptor no longer is the
    // socket with inode `inode`), looked at without reading.
    static bool peerGone(int socket, unsigned long inode);

  private:
    struct Handle;
    explicit SpeechdConnection(std::unique_ptr<Handle> handle);
    bool applyVoice(const std::optional<std::string>& voiceId);

    std::unique_ptr<Handle> handle_;
    std::optional<std::string> voiceId_;  // what the connection is set to, when voiceSet_
    bool voiceSet_ = false;
    int rate_ = 0;
    std::string problem_;
};

}  // namespace ovra::speech
