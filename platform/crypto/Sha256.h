#pragma once

// Streaming SHA-256 with lowercase hexadecimal digests.

#include <atomic>
#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>

#include "core/Result.h"

namespace ovra::crypto {

class Sha256 final {
  public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void update(const void* data, std::size_t size);
    // 64 lowercase hexadecimal characters. Ends the computation: call once.
    std::string hexDigest();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The digest of a whole file, read in 4 MiB chunks. A file that cannot be opened or read is a
// failure with the reason, never the digest of what happened to be read; so is a cancel.
Result<std::string> sha256OfFile(const std::filesystem::path& file,
                                 const std::atomic<bool>* cancel = nullptr);

}  // namespace ovra::crypto
