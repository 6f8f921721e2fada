#pragma once

// An http or https address read by libcurl's own URL parser, so that what the app checks about
// an address (its host above all) is what the downloader will connect to: a hand-written parser
// reads "http://127.0.0.1:80@evil.example/" as a local address, curl as one on evil.example.

#include <optional>
#include <string>

namespace ovra::download {

struct WebAddress {
    std::string scheme;        // "http" or "https"
    std::string host;          // lower case
    bool credentials = false;  // a user name or password is given
};

// None for anything libcurl does not read as an http or https address with a host.
std::optional<WebAddress> parseWebAddress(const std::string& address);

}  // namespace ovra::download
