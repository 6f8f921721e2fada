#pragma once

// The line protocol between the app and an external model worker process: one JSON object per
// line in each direction over a Unix-domain socket. Only the message types and their encoders
// and decoder live here; classification runs in-process and nothing opens the socket.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/Candidate.h"
#include "core/FocusPlan.h"
#include "core/Json.h"
#include "core/Rect.h"

namespace ovra::WorkerProtocol {

inline constexpr std::string_view socketPath = "/tmp/murmlark_ovra.sock";

// A response line longer than this is refused before it is parsed.
inline constexpr std::size_t maxResponseBytes = 8 * 1024 * 1024;

struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    static Rect from(const ovra::Rect& frame);
    // Throws JsonError for a non-finite coordinate.
    Json toJson() const;
};

// One control to judge. The candidate's subrole, focus, chrome flag and order are not sent.
struct Candidate {
    std::string id;
    std::string role;
    std::string title;
    std::string description;
    std::string value;
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    std::optional<std::string> context;  // left out of the JSON when absent

    static Candidate from(const UICandidate& candidate);
    Json toJson() const;
};

struct DecideRequest {
    std::int64_t id = 0;
    std::string app;
    std::string window;
    Rect windowFrame;
    std::vector<Candidate> candidates;

    Json toJson() const;
};

struct PingRequest {
    std::int64_t id = 0;

    Json toJson() const;
};

struct Response {
    std::optional<std::int64_t> id;
    bool ok = false;
    std::optional<std::string> error;
    std::optional<bool> ready;
    std::optional<std::string> model;
    std::optional<double> latencyMs;
    std::optional<std::vector<ModelDecision>> decisions;
};

// The request as compact JSON followed by one line feed. Throws JsonError when it cannot be
// encoded (a non-finite number).
template <class Request>
std::string line(const Request& request) {
    return json::dump(request.toJson()) + '\n';
}

// One "decide" line. Throws JsonError when a frame has a non-finite coordinate.
std::string decideLine(std::int64_t id, const std::string& app, const std::string& window,
                       const ovra::Rect& windowFrame, const std::vector<UICandidate>& candidates);

std::string pingLine(std::int64_t id);

// Decodes one response line; surrounding white space (the line feed) is allowed. "ok" is
// required; optional keys may be absent or null; unknown keys are ignored. Throws JsonError
// for malformed JSON, a missing "ok", a value of the wrong type or an oversized line.
Response decode(std::string_view line);

}  // namespace ovra::WorkerProtocol
