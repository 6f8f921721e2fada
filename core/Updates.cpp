#include "core/Updates.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "core/Text.h"

namespace ovra::OvraUpdates {

namespace {

// A version piece: an optional sign, then decimal digits only; anything else, or a value
// beyond 64 bits, reads as 0.
std::int64_t pieceValue(std::string_view piece) {
    if (piece.starts_with('+')) {
        piece.remove_prefix(1);
        if (piece.starts_with('-') || piece.starts_with('+'))
            return 0;
    }
    std::int64_t value = 0;
    const char* end = piece.data() + piece.size();
    const auto [ptr, ec] = std::from_chars(piece.data(), end, value, 10);
    if (ec != std::errc() || ptr != end)
        return 0;
    return value;
}

std::vector<std::int64_t> versionNumbers(std::string_view version) {
    std::vector<std::int64_t> numbers;
    std::size_t start = 0;
    while (start <= version.size()) {
        std::size_t dot = version.find('.', start);
        if (dot == std::string_view::npos)
            dot = version.size();
        const std::string_view piece = version.substr(start, dot - start);
        if (!piece.empty())
            numbers.push_back(pieceValue(piece));
        start = dot + 1;
    }
    return numbers;
}

bool hasControlCharacter(std::string_view text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            return true;
    }
    return false;
}

bool isHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

std::string asciiLowercased(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

}  // namespace

const std::string& manifestURL() {
    static const std::string url = [] {
        std::string text = "https://" + std::string(webDomain) + "/ovra/version.json";
        if (!trustedDownload(text))
            std::abort();  // a programming error in the constants above
        return text;
    }();
    return url;
}

// ---- manifest ----

Result<Manifest> Manifest::fromJson(const Json& json) {
    try {
        if (!json.is_object())
            throw JsonError("expected a JSON object");
        Manifest m;
        m.version = json::requireString(json, "version");
        m.url = json::requireString(json, "url");
        if (const auto it = json.find("notes"); it != json.end() && !it->is_null())
            m.notes = json::asString(*it, "\"notes\"");
        if (const auto it = json.find("critical"); it != json.end() && !it->is_null()) {
            if (!it->is_boolean())
                throw JsonError("\"critical\" must be true or false");
            m.critical = it->get<bool>();
        }
        if (!isValidVersion(m.version))
            throw JsonError("\"version\" must be numbers joined by dots, such as 1.4.2");
        if (hasControlCharacter(m.url))
            throw JsonError("\"url\" holds a control character");
        return m;
    } catch (const JsonError& e) {
        return fail(std::string("The update manifest is not valid: ") + e.what() + ".");
    }
}

Result<Manifest> Manifest::decode(std::string_view jsonText) {
    auto parsed = json::parse(jsonText);
    if (!parsed)
        return fail("The update manifest is not valid: " + parsed.error() + ".");
    return fromJson(parsed.value());
}

// ---- receipt ----

std::string Receipt::text() const {
    return status + "\n" + version + "\n" + detail;
}

Result<Receipt> Receipt::parse(std::string_view raw) {
    const std::string text = ovra::text::repairUtf8(raw);
    const std::size_t first = text.find('\n');
    if (first == std::string::npos)
        return fail(std::string("The update receipt has no version line."));
    Receipt r;
    r.status = text.substr(0, first);
    const std::size_t second = text.find('\n', first + 1);
    r.version = text.substr(first + 1,
                            second == std::string::npos ? std::string::npos : second - first - 1);
    if (r.status.empty())
        return fail(std::string("The update receipt's status line is empty."));
    if (r.version.empty())
        return fail(std::string("The update receipt's version line is empty."));
    if (second != std::string::npos)
        r.detail = ovra::text::trimmed(std::string_view(text).substr(second + 1));
    return r;
}

// ---- rules ----

bool isValidVersion(std::string_view version) {
    constexpr std::size_t kMaxParts = 5;
    constexpr std::size_t kMaxDigits = 9;
    std::size_t parts = 0;
    std::size_t digits = 0;
    for (const char c : version) {
        if (c == '.') {
            if (digits == 0)
                return false;
            digits = 0;
            continue;
        }
        if (c < '0' || c > '9')
            return false;
        if (digits++ == 0 && ++parts > kMaxParts)
            return false;
        if (digits > kMaxDigits)
            return false;
    }
    return digits > 0;
}

bool isNewer(std::string_view candidate, std::string_view current) {
    const std::vector<std::int64_t> a = versionNumbers(candidate);
    const std::vector<std::int64_t> b = versionNumbers(current);
    const std::size_t n = std::max(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const std::int64_t x = i < a.size() ? a[i] : 0;
        const std::int64_t y = i < b.size() ? b[i] : 0;
        if (x != y)
            return x > y;
    }
    return false;
}

std::optional<std::string> trustedDownload(std::string_view address) {
    // Printable ASCII only: white space, controls, backslashes and raw non-ASCII are where URL
    // parsers disagree, and a download address never needs them.
    for (const char c : address) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte >= 0x7F || c == '\\')
            return std::nullopt;
    }
    constexpr std::string_view kPrefix = "https://";
    if (!address.starts_with(kPrefix))
        return std::nullopt;
    const std::string_view afterScheme = address.substr(kPrefix.size());
    const std::size_t authorityEnd = afterScheme.find_first_of("/?#");
    const std::string_view authority = afterScheme.substr(0, authorityEnd);
    const std::string_view rest = authorityEnd == std::string_view::npos
                                      ? std::string_view()
                                      : afterScheme.substr(authorityEnd);

    // "https://qeld.ai@evil.net" is a user name on another host.
    if (authority.find('@') != std::string_view::npos)
        return std::nullopt;
    std::string_view host = authority;
    bool explicitPort = false;
    if (const std::size_t colon = authority.rfind(':'); colon != std::string_view::npos) {
        const std::string_view port = authority.substr(colon + 1);
        if (port != "443")
            return std::nullopt;
        host = authority.substr(0, colon);
        explicitPort = true;
    }
    const std::string lowerHost = asciiLowercased(host);
    const std::string www = "www." + std::string(webDomain);
    if (lowerHost != webDomain && lowerHost != www)
        return std::nullopt;

    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] != '%')
            continue;
        if (i + 2 >= rest.size() || !isHexDigit(rest[i + 1]) || !isHexDigit(rest[i + 2]))
            return std::nullopt;
    }
    return std::string(kPrefix) + lowerHost + (explicitPort ? ":443" : "") + std::string(rest);
}

bool shouldCheck(std::optional<Date> last, Date now) {
    if (!last || !std::isfinite(last->time_since_epoch().count()))
        return true;
    const double elapsed = (now - *last).count();
    if (elapsed >= checkInterval)
        return true;
    return now < *last;
}

bool mayInstall(bool userAsked, bool critical, bool overlayOpen, bool ovraActive) {
    if (userAsked)
        return true;
    return critical && !overlayOpen && !ovraActive;
}

bool installLocationIsCorrect(std::string_view bundlePath, std::string_view home) {
    if (bundlePath.find("/AppTranslocation/") != std::string_view::npos)
        return false;
    if (bundlePath.starts_with("/Applications/"))
        return true;
    return bundlePath.starts_with(std::string(home) + "/Applications/");
}

Outcome outcome(const std::optional<Receipt>& receipt, std::string_view running) {
    if (!receipt)
        return Outcome::nothing();
    if (receipt->status == "ok")
        return receipt->version == running ? Outcome::updated(std::string(running))
                                           : Outcome::nothing();
    if (isNewer(receipt->version, running))
        return Outcome::failed(receipt->version, receipt->detail);
    return Outcome::nothing();
}

}  // namespace ovra::OvraUpdates
