#include "platform/download/WebAddress.h"

#include <curl/curl.h>

#include <memory>

namespace ovra::download {

namespace {

struct UrlFree {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

std::optional<std::string> part(CURLU* url, CURLUPart which) {
    char* text = nullptr;
    if (curl_url_get(url, which, &text, 0) != CURLUE_OK || text == nullptr)
        return std::nullopt;
    std::string out(text);
    curl_free(text);
    return out;
}

}  // namespace

std::optional<WebAddress> parseWebAddress(const std::string& address) {
    const std::unique_ptr<CURLU, UrlFree> url(curl_url());
    if (!url || curl_url_set(url.get(), CURLUPART_URL, address.c_str(), 0) != CURLUE_OK)
        return std::nullopt;
    auto scheme = part(url.get(), CURLUPART_SCHEME);
    auto host = part(url.get(), CURLUPART_HOST);
    if (!scheme || (*scheme != "http" && *scheme != "https") || !host || host->empty())
        return std::nullopt;
    for (char& c : *host) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    const bool credentials = part(url.get(), CURLUPART_USER).has_value() ||
                             part(url.get(), CURLUPART_PASSWORD).has_value();
    return WebAddress{std::move(*scheme), std::move(*host), credentials};
}

}  // namespace ovra::download
