#include "platform/x11/ProcessIdentity.h"

#include <charconv>
#include <fstream>

namespace ovra::x11 {

namespace {

constexpr std::size_t kMaxStatBytes = 4096;
// Fields after the name's closing parenthesis: the state is field 3, the start time field 22.
constexpr int kStartTimeField = 22 - 3;

std::optional<std::string> readSmallFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string text(kMaxStatBytes, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return text;
}

}  // namespace

std::optional<ProcessIdentity> parseStat(std::string_view stat) {
    const auto open = stat.find('(');
    const auto close = stat.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open) {
        return std::nullopt;
    }
    ProcessIdentity identity;
    identity.name = std::string(stat.substr(open + 1, close - open - 1));
    std::string_view rest = stat.substr(close + 1);
    for (int field = 0;; ++field) {
        const auto start = rest.find_first_not_of(' ');
        if (start == std::string_view::npos) {
            return std::nullopt;
        }
        rest.remove_prefix(start);
        const auto end = std::min(rest.find(' '), rest.size());
        if (field == 0) {
            if (end != 1) {
                return std::nullopt;
            }
            identity.state = rest.front();
        }
        if (field == kStartTimeField) {
            const std::string_view number = rest.substr(0, end);
            const auto parsed =
                std::from_chars(number.data(), number.data() + number.size(), identity.startTime);
            if (parsed.ec != std::errc() || parsed.ptr != number.data() + number.size()) {
                return std::nullopt;
            }
            return identity;
        }
        rest.remove_prefix(end);
    }
}

std::optional<ProcessIdentity> processIdentity(std::int64_t pid,
                                               const std::filesystem::path& proc) {
    if (pid <= 0) {
        return std::nullopt;
    }
    const auto stat = readSmallFile(proc / std::to_string(pid) / "stat");
    auto identity = stat ? parseStat(*stat) : std::nullopt;
    if (identity && identity->ended()) {
        return std::nullopt;
    }
    return identity;
}

}  // namespace ovra::x11
