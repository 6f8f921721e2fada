#include "app/maintenance/ReleaseStatement.h"

#include <array>
#include <charconv>

#include "core/Updates.h"

namespace ovra::release {

namespace {

constexpr std::string_view kHeading = "murmlark-ovra release";
constexpr std::array<std::string_view, 6> kKeys = {"app",  "version", "platform",
                                                   "size", "sha256",  "signature"};
constexpr std::size_t kMaxNameLength = 64;

bool isName(std::string_view text) {
    if (text.empty() || text.size() > kMaxNameLength)
        return false;
    for (const char c : text) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        if (!ok)
            return false;
    }
    return true;
}

bool isLowerHex(std::string_view text, std::size_t length) {
    if (text.size() != length)
        return false;
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

}  // namespace

std::string Statement::text() const {
    return std::string(kHeading) + "\napp=" + app + "\nversion=" + version +
           "\nplatform=" + platform + "\nsize=" + std::to_string(size) + "\nsha256=" + sha256 +
           "\n";
}

std::string signatureFile(const Statement& statement, const crypto::Ed25519Signature& signature) {
    return statement.text() + "signature=" + crypto::toHex(signature) + "\n";
}

Result<SignedStatement> parseSignatureFile(std::string_view text) {
    if (text.size() > kMaxSignatureFileBytes || !text.ends_with('\n'))
        return fail(std::string("the signature file is not complete"));
    std::vector<std::string_view> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    if (lines.size() != kKeys.size() + 1 || lines[0] != kHeading)
        return fail(std::string("the signature file has the wrong form"));
    std::array<std::string_view, kKeys.size()> values;
    for (std::size_t i = 0; i < kKeys.size(); ++i) {
        const std::string_view line = lines[i + 1];
        if (!line.starts_with(kKeys[i]) || line.substr(kKeys[i].size(), 1) != "=")
            return fail("the signature file lacks \"" + std::string(kKeys[i]) + "\"");
        values[i] = line.substr(kKeys[i].size() + 1);
    }
    SignedStatement out;
    Statement& s = out.statement;
    s.app = values[0];
    s.version = values[1];
    s.platform = values[2];
    s.sha256 = values[4];
    const std::string_view size = values[3];
    const auto [end, ec] = std::from_chars(size.data(), size.data() + size.size(), s.size);
    if (!isName(s.app) || !isName(s.platform) || !OvraUpdates::isValidVersion(s.version) ||
        ec != std::errc() || end != size.data() + size.size() || size.size() > 15 ||
        size.starts_with('0') || !isLowerHex(s.sha256, 64) || !isLowerHex(values[5], 128)) {
        return fail(std::string("the signature file holds a malformed value"));
    }
    out.signature = crypto::fromHex<64>(values[5]).value();
    return out;
}

bool signedByAny(const SignedStatement& signedStatement,
                 const std::vector<crypto::Ed25519PublicKey>& keys) {
    const std::string message = signedStatement.statement.text();
    for (const auto& key : keys) {
        if (crypto::verifyEd25519(key, message, signedStatement.signature))
            return true;
    }
    return false;
}

std::string thisPlatform() {
#if defined(__x86_64__)
    return "linux-x86_64";
#elif defined(__aarch64__)
    return "linux-aarch64";
#elif defined(__i386__)
    return "linux-i386";
#elif defined(__arm__)
    return "linux-armhf";
#else
    return "linux-other";
#endif
}

std::string archiveName(std::string_view version, std::string_view platform) {
    return "murmlark-ovra-" + std::string(version) + "-" + std::string(platform) + ".tar.gz";
}

std::string signatureURL(std::string_view archiveURL) {
    return std::string(archiveURL) + ".sig";
}

}  // namespace ovra::release
