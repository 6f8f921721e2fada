#pragma once

// What a release's signature vouches for. Linux has no code-signing trust of its own, so each
// update archive comes with a signature file ("<archive>.sig"): a short statement of the app
// id, version, platform, archive size and SHA-256, and an Ed25519 signature of that statement
// by the publisher's key. The updater checks the statement before it downloads the archive and
// the archive against the statement before it unpacks a byte. The release tool writes it.
//
// The file is seven lines, each ending in a line feed; the signature covers the first six
// exactly as they stand:
//
//   murmlark-ovra release
//   app=ai.qeld.murmlark-ovra
//   version=1.5.0
//   platform=linux-x86_64
//   size=48213077
//   sha256=<64 lowercase hexadecimal digits>
//   signature=<128 lowercase hexadecimal digits>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/Result.h"
#include "platform/crypto/Ed25519.h"

namespace ovra::release {

inline constexpr std::size_t kMaxSignatureFileBytes = 2048;

struct Statement {
    std::string app;
    std::string version;
    std::string platform;
    std::uint64_t size = 0;
    std::string sha256;

    // The signed lines.
    std::string text() const;
    friend bool operator==(const Statement&, const Statement&) = default;
};

struct SignedStatement {
    Statement statement;
    crypto::Ed25519Signature signature{};
};

std::string signatureFile(const Statement& statement, const crypto::Ed25519Signature& signature);
// Fails, saying what is wrong, for anything but the exact form above.
Result<SignedStatement> parseSignatureFile(std::string_view text);
// Whether one of `keys` signed the statement.
bool signedByAny(const SignedStatement& signedStatement,
                 const std::vector<crypto::Ed25519PublicKey>& keys);

// "linux-x86_64", "linux-aarch64": the machine this build runs on.
std::string thisPlatform();
// "murmlark-ovra-1.5.0-linux-x86_64.tar.gz".
std::string archiveName(std::string_view version, std::string_view platform);
// Where the signature file of an archive is served: beside it, ".sig" added.
std::string signatureURL(std::string_view archiveURL);

}  // namespace ovra::release
