#include "platform/crypto/Ed25519.h"

#include <gtest/gtest.h>

namespace ovra::crypto {
namespace {

// RFC 8032, section 7.1, test 1 (the empty message).
constexpr std::string_view kRfcKey =
    "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a";
constexpr std::string_view kRfcSignature =
    "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e065224901555fb8821590a33bacc61e39701cf9"
    "b46bd25bf5f0595bbe24655141438e7a100b";

TEST(Ed25519, VerifiesTheStandardVectorAndNothingElse) {
    const auto key = fromHex<32>(kRfcKey).value();
    const auto signature = fromHex<64>(kRfcSignature).value();
    EXPECT_TRUE(verifyEd25519(key, "", signature));
    EXPECT_FALSE(verifyEd25519(key, "x", signature));
    auto flipped = signature;
    flipped[10] ^= 1U;
    EXPECT_FALSE(verifyEd25519(key, "", flipped));
    EXPECT_FALSE(verifyEd25519(Ed25519PublicKey{}, "", signature));
    EXPECT_EQ(toHex(key), kRfcKey);
    EXPECT_FALSE(fromHex<32>(kRfcKey.substr(1)));
    EXPECT_FALSE(fromHex<32>(std::string(64, 'g')));
}

}  // namespace
}  // namespace ovra::crypto
