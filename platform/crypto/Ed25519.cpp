#include "platform/crypto/Ed25519.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <stdexcept>

#include "core/Hex.h"

namespace ovra::crypto {

namespace {

struct KeyFree {
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct ContextFree {
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};
struct BioFree {
    void operator()(BIO* b) const { BIO_free(b); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Context = std::unique_ptr<EVP_MD_CTX, ContextFree>;

const unsigned char* bytesOf(std::string_view text) {
    return reinterpret_cast<const unsigned char*>(text.data());
}

}  // namespace

struct Ed25519PrivateKey::Impl {
    Key key;
};

bool verifyEd25519(const Ed25519PublicKey& key, std::string_view message,
                   const Ed25519Signature& signature) {
    const Key pkey(EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, key.data(), key.size()));
    const Context ctx(EVP_MD_CTX_new());
    if (!pkey || !ctx)
        return false;
    // Ed25519 hashes internally: the digest is given as none and the message in one piece.
    if (EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, pkey.get()) != 1)
        return false;
    return EVP_DigestVerify(ctx.get(), signature.data(), signature.size(), bytesOf(message),
                            message.size()) == 1;
}

Ed25519PrivateKey::Ed25519PrivateKey(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Ed25519PrivateKey::Ed25519PrivateKey(Ed25519PrivateKey&&) noexcept = default;
Ed25519PrivateKey& Ed25519PrivateKey::operator=(Ed25519PrivateKey&&) noexcept = default;
Ed25519PrivateKey::~Ed25519PrivateKey() = default;

Ed25519PrivateKey Ed25519PrivateKey::generate() {
    Key key(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"));
    if (!key)
        throw std::runtime_error("Ed25519 key generation is not available");
    return Ed25519PrivateKey(std::make_unique<Impl>(Impl{std::move(key)}));
}

Result<Ed25519PrivateKey> Ed25519PrivateKey::fromPem(std::string_view pem) {
    const std::unique_ptr<BIO, BioFree> bio(
        BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    if (!bio)
        return fail(std::string("out of memory"));
    Key key(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
    if (!key)
        return fail(std::string("not a PEM private key"));
    if (EVP_PKEY_get_id(key.get()) != EVP_PKEY_ED25519)
        return fail(std::string("not an Ed25519 key"));
    return Ed25519PrivateKey(std::make_unique<Impl>(Impl{std::move(key)}));
}

std::string Ed25519PrivateKey::pem() const {
    const std::unique_ptr<BIO, BioFree> bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_PrivateKey(bio.get(), impl_->key.get(), nullptr, nullptr, 0, nullptr,
                                         nullptr) != 1) {
        throw std::runtime_error("could not write the key");
    }
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<std::size_t>(size));
}

Ed25519PublicKey Ed25519PrivateKey::publicKey() const {
    Ed25519PublicKey out{};
    std::size_t size = out.size();
    if (EVP_PKEY_get_raw_public_key(impl_->key.get(), out.data(), &size) != 1 ||
        size != out.size()) {
        throw std::runtime_error("could not read the public key");
    }
    return out;
}

Ed25519Signature Ed25519PrivateKey::sign(std::string_view message) const {
    Ed25519Signature out{};
    std::size_t size = out.size();
    const Context ctx(EVP_MD_CTX_new());
    if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, impl_->key.get()) != 1 ||
        EVP_DigestSign(ctx.get(), out.data(), &size, bytesOf(message), message.size()) != 1 ||
        size != out.size()) {
        throw std::runtime_error("could not sign");
    }
    return out;
}

std::string toHex(std::span<const std::uint8_t> bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const std::uint8_t b : bytes) {
        out += kHex[b >> 4U];
        out += kHex[b & 0xFU];
    }
    return out;
}

template <std::size_t N>
std::optional<std::array<std::uint8_t, N>> fromHex(std::string_view hex) {
    if (hex.size() != N * 2)
        return std::nullopt;
    std::array<std::uint8_t, N> out{};
    for (std::size_t i = 0; i < N; ++i) {
        const int high = hexValue(hex[2 * i]);
        const int low = hexValue(hex[2 * i + 1]);
        if (high < 0 || low < 0)
            return std::nullopt;
        out[i] = static_cast<std::uint8_t>(high * 16 + low);
    }
    return out;
}

template std::optional<std::array<std::uint8_t, 32>> fromHex<32>(std::string_view);
template std::optional<std::array<std::uint8_t, 64>> fromHex<64>(std::string_view);

}  // namespace ovra::crypto
