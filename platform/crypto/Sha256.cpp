#include "platform/crypto/Sha256.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "platform/io/Uninterrupted.h"

namespace ovra::crypto {

struct Sha256::Impl {
    struct Free {
        void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
    };
    std::unique_ptr<EVP_MD_CTX, Free> ctx{EVP_MD_CTX_new()};
};

Sha256::Sha256() : impl_(std::make_unique<Impl>()) {
    if (!impl_->ctx || EVP_DigestInit_ex(impl_->ctx.get(), EVP_sha256(), nullptr) != 1) {
        throw std::runtime_error("SHA-256 is not available");
    }
}

Sha256::~Sha256() = default;

void Sha256::update(const void* data, std::size_t size) {
    if (size > 0)
        EVP_DigestUpdate(impl_->ctx.get(), data, size);
}

std::string Sha256::hexDigest() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(impl_->ctx.get(), digest, &length);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(length * 2U);
    for (unsigned int i = 0; i < length; ++i) {
        out += kHex[digest[i] >> 4U];
        out += kHex[digest[i] & 0xFU];
    }
    return out;
}

Result<std::string> sha256OfFile(const std::filesystem::path& file,
                                 const std::atomic<bool>* cancel) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return fail("could not open " + file.string() + ": " + std::strerror(errno));
    constexpr std::size_t kChunk = 4U << 20U;
    std::vector<unsigned char> buffer(kChunk);
    Sha256 hash;
    for (;;) {
        if (cancel && cancel->load()) {
            ::close(fd);
            return fail(std::string("cancelled"));
        }
        const ssize_t n = io::readSome(fd, buffer.data(), buffer.size());
        if (n < 0) {
            const std::string reason = std::strerror(errno);
            ::close(fd);
            return fail("could not read " + file.string() + ": " + reason);
        }
        if (n == 0)
            break;
        hash.update(buffer.data(), static_cast<std::size_t>(n));
    }
    ::close(fd);
    return hash.hexDigest();
}

}  // namespace ovra::crypto
