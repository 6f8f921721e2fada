#pragma once

// Ed25519 signatures over OpenSSL's EVP interface: verification with a pinned raw public key,
// and, for the release tool and tests, key generation, PEM keys and signing.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "core/Result.h"

namespace ovra::crypto {

using Ed25519PublicKey = std::array<std::uint8_t, 32>;
using Ed25519Signature = std::array<std::uint8_t, 64>;

// True only when `signature` is a valid signature of `message` by `key`.
bool verifyEd25519(const Ed25519PublicKey& key, std::string_view message,
                   const Ed25519Signature& signature);

class Ed25519PrivateKey final {
  public:
    static Ed25519PrivateKey generate();
    // A PKCS #8 PEM key, as `openssl genpkey -algorithm ed25519` writes it.
    static Result<Ed25519PrivateKey> fromPem(std::string_view pem);

    Ed25519PrivateKey(Ed25519PrivateKey&&) noexcept;
    Ed25519PrivateKey& operator=(Ed25519PrivateKey&&) noexcept;
    ~Ed25519PrivateKey();

    std::string pem() const;
    Ed25519PublicKey publicKey() const;
    Ed25519Signature sign(std::string_view message) const;

  private:
    struct Impl;
    explicit Ed25519PrivateKey(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

// Lowercase hexadecimal.
std::string toHex(std::span<const std::uint8_t> bytes);
// Exactly N bytes from 2N hexadecimal digits (either case); nullopt otherwise.
template <std::size_t N>
std::optional<std::array<std::uint8_t, N>> fromHex(std::string_view hex);

}  // namespace ovra::crypto
