#pragma once

// A short conversation with speech-dispatcher in its own protocol (SSIP) over a socket of the
// app's own, beside libspeechd: every answer is awaited within a deadline, and what the daemon
// sends is read within bounds. It asks what needs no libspeechd connection: whether a daemon
// answers at all, and which voices it has (libspeechd reads that long list a byte at a time and
// parses it in quadratic time, which takes seconds for espeak-ng's thousands of voices).

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/speech/SpeechEngine.h"

namespace ovra::speech {

class SsipSession final {
  public:
    using Clock = std::chrono::steady_clock;
    enum class Opened { yes, nobodyListens, full };

    SsipSession() = default;
    ~SsipSession();
    SsipSession(const SsipSession&) = delete;
    SsipSession& operator=(const SsipSession&) = delete;

    // Connects to the daemon's unix socket at `address` without waiting.
    Opened open(const std::string& address);
    // The text of each line of the answer to `command` (after its code); none when the answer
    // is no success, has not come by `until`, or is too long.
    std::optional<std::vector<std::string>> ask(std::string_view command, Clock::time_point until);

    // Whether a daemon listening at `address` answers within `bound`; none when nobody listens.
    static std::optional<bool> answers(const std::string& address, std::chrono::milliseconds bound);

    struct Listing {
        std::vector<Voice> voices;
        std::string problem;  // why there are none
        bool nobodyListens = false;
    };
    // The voices of every output module, within `bound`.
    static Listing listVoices(const std::string& address, std::chrono::milliseconds bound);

  private:
    int socket_ = -1;
    std::string buffer_;
};

}  // namespace ovra::speech
