#include "platform/speech/SsipSession.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace ovra::speech {

namespace {

constexpr std::size_t kMaxAnswer = 16 * 1024 * 1024;
constexpr std::size_t kMaxVoices = 100000;
constexpr std::string_view kHello = "SET SELF CLIENT_NAME \"ovra:murmlark-ovra:probe\"";

std::vector<std::string> fields(std::string_view line) {
    std::vector<std::string> out;
    for (std::size_t start = 0;;) {
        const std::size_t tab = line.find('\t', start);
        out.emplace_back(line.substr(start, tab - start));
        if (tab == std::string_view::npos) {
            return out;
        }
        start = tab + 1;
    }
}

bool plain(std::string_view text) {
    return !text.empty() && std::none_of(text.begin(), text.end(),
                                         [](unsigned char c) { return c < ' ' || c == 0x7f; });
}

}  // namespace

SsipSession::~SsipSession() {
    if (socket_ >= 0) {
        ::close(socket_);
    }
}

SsipSession::Opened SsipSession::open(const std::string& address) {
    sockaddr_un where{};
    where.sun_family = AF_UNIX;
    if (address.empty() || address.size() >= sizeof(where.sun_path)) {
        return Opened::nobodyListens;
    }
    std::memcpy(where.sun_path, address.data(), address.size());
    socket_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (socket_ >= 0 &&
        ::connect(socket_, reinterpret_cast<const sockaddr*>(&where), sizeof(where)) == 0) {
        return Opened::yes;
    }
    // A full backlog is a daemon that takes no one; no socket or a refusal is no daemon.
    return errno == EAGAIN ? Opened::full : Opened::nobodyListens;
}

std::optional<std::vector<std::string>> SsipSession::ask(std::string_view command,
                                                         Clock::time_point until) {
    const std::string line = std::string(command) + "\r\n";
    if (socket_ < 0 || ::send(socket_, line.data(), line.size(), MSG_NOSIGNAL) !=
                           static_cast<ssize_t>(line.size())) {
        return std::nullopt;
    }
    std::vector<std::string> lines;
    for (std::size_t start = 0;;) {
        const std::size_t end = buffer_.find("\r\n", start);
        if (end == std::string::npos) {
            buffer_.erase(0, start);
            start = 0;
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
            pollfd ready{socket_, POLLIN, 0};
            char chunk[65536];
            if (left.count() <= 0 || buffer_.size() > kMaxAnswer ||
                ::poll(&ready, 1, static_cast<int>(left.count())) != 1) {
                return std::nullopt;
            }
            const ssize_t got = ::recv(socket_, chunk, sizeof(chunk), 0);
            if (got <= 0) {
                return std::nullopt;
            }
            buffer_.append(chunk, static_cast<std::size_t>(got));
            continue;
        }
        const std::string_view reply(buffer_.data() + start, end - start);
        start = end + 2;
        if (reply.size() < 4) {
            return std::nullopt;
        }
        if (reply[3] == '-') {
            lines.emplace_back(reply.substr(4));
            continue;
        }
        const bool success = reply[0] == '2';
        buffer_.erase(0, start);
        return success ? std::optional(std::move(lines)) : std::nullopt;
    }
}

std::optional<bool> SsipSession::answers(const std::string& address,
                                         std::chrono::milliseconds bound) {
    SsipSession session;
    switch (session.open(address)) {
        case Opened::nobodyListens:
            return std::nullopt;
        case Opened::full:
            return false;
        case Opened::yes:
            break;
    }
    return session.ask(kHello, Clock::now() + bound).has_value();
}

SsipSession::Listing SsipSession::listVoices(const std::string& address,
                                             std::chrono::milliseconds bound) {
    const Clock::time_point until = Clock::now() + bound;
    SsipSession session;
    Listing listing;
    if (session.open(address) != Opened::yes) {
        listing.nobodyListens = true;
        listing.problem = "speech-dispatcher does not listen at " + address;
        return listing;
    }
    const auto modules =
        session.ask(kHello, until) ? session.ask("LIST OUTPUT_MODULES", until) : std::nullopt;
    if (!modules) {
        listing.problem = "speech-dispatcher did not list its output modules";
        return listing;
    }
    for (const std::string& module : *modules) {
        // A module name goes back into a command: one line of plain text, no more.
        if (!plain(module) || module.find(' ') != std::string::npos ||
            !session.ask("SET SELF OUTPUT_MODULE " + module, until)) {
            continue;
        }
        const auto voices = session.ask("LIST SYNTHESIS_VOICES", until);
        for (const std::string& line : voices.value_or(std::vector<std::string>{})) {
            const auto parts = fields(line);
            if (parts.size() == 3 && plain(parts[0]) && listing.voices.size() < kMaxVoices) {
                listing.voices.push_back({module, parts[0], parts[1], parts[2]});
            }
        }
    }
    if (listing.voices.empty()) {
        listing.problem = "speech-dispatcher listed no voices";
    }
    return listing;
}

}  // namespace ovra::speech
