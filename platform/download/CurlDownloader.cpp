#include <curl/curl.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/download/Downloader.h"
#include "platform/download/FileUrl.h"
#include "platform/io/Uninterrupted.h"

namespace ovra::download {

namespace {

using Clock = std::chrono::steady_clock;
using Kind = Outcome::Kind;

void initialiseOnce() {
    static const bool done = [] { return curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; }();
    (void)done;
}

struct EasyFree {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};
struct MultiFree {
    void operator()(CURLM* m) const { curl_multi_cleanup(m); }
};

// State shared with libcurl's callbacks for one transfer.
struct Transfer {
    CURL* easy = nullptr;
    int fd = -1;
    const Options* options = nullptr;
    const Progress* progress = nullptr;
    std::int64_t bytes = 0;
    std::optional<Outcome> stop;  // why a callback ended the transfer
    Clock::time_point lastData = Clock::now();
};

std::size_t onData(char* data, std::size_t size, std::size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const std::size_t n = size * count;
    long status = 0;
    curl_easy_getinfo(t->easy, CURLINFO_RESPONSE_CODE, &status);
    if (status != 200) {
        // Only the body of a 200 reply is ever written; redirect bodies do not reach here.
        t->stop = Outcome{Kind::httpStatus, status, {}, t->bytes};
        return CURL_WRITEFUNC_ERROR;
    }
    const auto signedN = static_cast<std::int64_t>(n);
    if (t->options->maxBytes >= 0 && signedN > t->options->maxBytes - t->bytes) {
        t->stop = Outcome{Kind::tooLarge, status, {}, t->bytes};
        return CURL_WRITEFUNC_ERROR;
    }
    if (!io::writeAll(t->fd, data, n)) {
        t->stop = Outcome{Kind::writeFailed, status, std::strerror(errno), t->bytes};
        return CURL_WRITEFUNC_ERROR;
    }
    t->bytes += signedN;
    t->lastData = Clock::now();
    if (*t->progress)
        (*t->progress)(t->bytes);
    return n;
}

class CurlDownloader final : public Downloader {
  public:
    Outcome fetch(const std::string& url, const std::filesystem::path& destination,
                  const Options& options, const Progress& progress,
                  const std::atomic<bool>& cancel) override {
        if (filePath(url) || url.starts_with("file:") || url.starts_with("FILE:")) {
            return copyFile(url, destination, options, progress, cancel);
        }
        initialiseOnce();
        std::unique_ptr<CURL, EasyFree> easy(curl_easy_init());
        std::unique_ptr<CURLM, MultiFree> multi(curl_multi_init());
        if (!easy || !multi)
            return {Kind::networkError, 0, "libcurl unavailable", 0};

        CURL* e = easy.get();
        if (curl_easy_setopt(e, CURLOPT_URL, url.c_str()) != CURLE_OK ||
            curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https") != CURLE_OK) {
            return {Kind::badURL, 0, url, 0};
        }
        const int fd = ::open(destination.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) {
            return {Kind::writeFailed, 0, destination.string() + ": " + std::strerror(errno), 0};
        }
        Transfer t;
        t.easy = e;
        t.fd = fd;
        t.options = &options;
        t.progress = &progress;

        curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
        curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(e, CURLOPT_MAXREDIRS, options.maxRedirects);
        curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS,
                         static_cast<long>(options.connectTimeout.count()));
        curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(e, CURLOPT_NOPROXY, "localhost,127.0.0.1,::1");
        curl_easy_setopt(e, CURLOPT_USERAGENT, "MurmlarkOvra");
        curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &onData);
        curl_easy_setopt(e, CURLOPT_WRITEDATA, &t);
        char errorText[CURL_ERROR_SIZE] = {};
        curl_easy_setopt(e, CURLOPT_ERRORBUFFER, errorText);

        curl_multi_add_handle(multi.get(), e);
        const auto started = Clock::now();
        const bool hasDeadline = options.deadline.count() > 0;
        const std::int64_t quarter =
            std::min(options.stallTimeout.count(),
                     hasDeadline ? options.deadline.count() : options.stallTimeout.count()) /
            4;
        const auto pollMs = static_cast<int>(std::clamp<std::int64_t>(quarter, 10, 250));
        CURLcode result = CURLE_OK;
        bool finished = false;
        while (!finished) {
            int running = 0;
            if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
                result = CURLE_FAILED_INIT;
                break;
            }
            int queued = 0;
            while (CURLMsg* m = curl_multi_info_read(multi.get(), &queued)) {
                if (m->msg == CURLMSG_DONE) {
                    result = m->data.result;
                    finished = true;
                }
            }
            if (finished || t.stop)
                break;
            if (cancel.load()) {
                t.stop = Outcome{Kind::cancelled, 0, {}, t.bytes};
                break;
            }
            if (Clock::now() - t.lastData > options.stallTimeout) {
                t.stop = Outcome{Kind::stalled, 0, {}, t.bytes};
                break;
            }
            if (hasDeadline && Clock::now() - started > options.deadline) {
                t.stop = Outcome{Kind::timedOut, 0, {}, t.bytes};
                break;
            }
            curl_multi_poll(multi.get(), nullptr, 0, pollMs, nullptr);
        }
        curl_multi_remove_handle(multi.get(), e);
        const bool closed = ::close(fd) == 0;

        if (t.stop)
            return *t.stop;
        long status = 0;
        curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status);
        if (result == CURLE_URL_MALFORMAT || result == CURLE_UNSUPPORTED_PROTOCOL) {
            return {Kind::badURL, status, errorText[0] ? errorText : curl_easy_strerror(result),
                    t.bytes};
        }
        if (result != CURLE_OK) {
            return {Kind::networkError, status,
                    errorText[0] ? errorText : curl_easy_strerror(result), t.bytes};
        }
        // A reply without a body never reached the write callback.
        if (status != 200)
            return {Kind::httpStatus, status, {}, t.bytes};
        if (!closed)
            return {Kind::writeFailed, status, std::strerror(errno), t.bytes};
        return {Kind::ok, status, {}, t.bytes};
    }
};

}  // namespace

std::unique_ptr<Downloader> makeDownloader() {
    return std::make_unique<CurlDownloader>();
}

}  // namespace ovra::download
