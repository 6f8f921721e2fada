#pragma once

// Fetches one URL into a file. Only an HTTP 200 reply counts; redirects are followed a bounded
// number of times and only to http or https; a file URL is copied. A download that sends no byte
// for the stall time, more bytes than allowed, or that is not done by its deadline (a server
// that drips a byte now and then never stalls) is stopped.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace ovra::download {

struct Options {
    // More bytes than this fail the download; negative for no limit.
    std::int64_t maxBytes = -1;
    std::chrono::milliseconds stallTimeout{30000};
    std::chrono::milliseconds connectTimeout{30000};
    long maxRedirects = 5;
    // The whole request, from connecting to the last byte; zero for none.
    std::chrono::milliseconds deadline{0};
};

struct Outcome {
    enum class Kind {
        ok,
        badURL,        // does not parse, or a scheme other than http, https and file
        httpStatus,    // a reply other than 200; status holds it
        networkError,  // connection refused, reset, closed early, TLS...
        stalled,
        timedOut,  // not done by the deadline
        tooLarge,
        cancelled,
        readFailed,   // a file URL that cannot be read
        writeFailed,  // the destination could not be written
    };
    Kind kind = Kind::ok;
    long status = 0;
    std::string detail;
    std::int64_t bytes = 0;

    bool ok() const { return kind == Kind::ok; }
};

// "HTTP 404", "no data for 30 s", "not done within 60 s", "more than 1000 bytes"... for log
// lines.
std::string describe(const Outcome& outcome, const Options& options);

// Called with the bytes of this download received so far, on the downloading thread.
using Progress = std::function<void(std::int64_t bytes)>;

class Downloader {
  public:
    virtual ~Downloader() = default;
    // Blocks until the download ends. The destination is created or truncated; after a failure
    // it may hold part of the data.
    virtual Outcome fetch(const std::string& url, const std::filesystem::path& destination,
                          const Options& options, const Progress& progress,
                          const std::atomic<bool>& cancel) = 0;
};

// libcurl for http and https, a plain copy for file URLs.
std::unique_ptr<Downloader> makeDownloader();

}  // namespace ovra::download
