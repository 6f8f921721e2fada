#include "platform/download/Downloader.h"

namespace ovra::download {

namespace {

std::string duration(std::chrono::milliseconds time) {
    const auto ms = time.count();
    return ms % 1000 == 0 ? std::to_string(ms / 1000) + " s" : std::to_string(ms) + " ms";
}

}  // namespace

std::string describe(const Outcome& o, const Options& options) {
    using Kind = Outcome::Kind;
    switch (o.kind) {
        case Kind::ok:
            return "ok";
        case Kind::badURL:
            return "not a usable URL" + (o.detail.empty() ? "" : ": " + o.detail);
        case Kind::httpStatus:
            return "HTTP " + std::to_string(o.status);
        case Kind::networkError:
            return "network error: " + o.detail;
        case Kind::stalled:
            return "no data for " + duration(options.stallTimeout);
        case Kind::timedOut:
            return "not done within " + duration(options.deadline);
        case Kind::tooLarge:
            return "more than " + std::to_string(options.maxBytes) + " bytes";
        case Kind::cancelled:
            return "cancelled";
        case Kind::readFailed:
            return "could not read: " + o.detail;
        case Kind::writeFailed:
            return "could not write: " + o.detail;
    }
    return o.detail;
}

}  // namespace ovra::download
