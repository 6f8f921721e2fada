#pragma once

// The publisher's Ed25519 public key that every update must be signed with. Its private half is
// kept by the maintainers, never in this repository (tools/release/README.md says how a release
// is signed and how this key is replaced).

#include <string_view>

namespace ovra::update {

inline constexpr std::string_view kReleasePublicKey =
    "5af6e757ae686ec9f3a4603eec8e15b7c05a969ec3db0fe6ba59460ac2e515f3";

}  // namespace ovra::update
