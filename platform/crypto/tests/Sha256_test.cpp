#include "platform/crypto/Sha256.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "testing/Files.h"

namespace ovra::crypto {
namespace {

std::string digestOf(const std::string& text) {
    Sha256 h;
    h.update(text.data(), text.size());
    return h.hexDigest();
}

TEST(Sha256, KnownVectors) {
    EXPECT_EQ(digestOf(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(digestOf("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
}

TEST(Sha256, FileDigestSpansChunksAndMissingFileIsAFailure) {
    const ovra::testing::ScratchFolder dir("sha");
    // More than two 4 MiB chunks: the streamed digest must equal the one-shot one.
    const std::string data((9U << 20U) + 5U, 'q');
    std::ofstream(dir / "big", std::ios::binary) << data;
    EXPECT_EQ(sha256OfFile(dir / "big").value(), digestOf(data));

    const auto missing = sha256OfFile(dir / "missing");
    ASSERT_FALSE(missing.ok());
    EXPECT_NE(missing.error().find("could not open"), std::string::npos);

    std::atomic<bool> cancel{true};
    EXPECT_FALSE(sha256OfFile(dir / "big", &cancel).ok());
}

}  // namespace
}  // namespace ovra::crypto
