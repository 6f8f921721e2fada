#pragma once

// Developer hooks of the updater, honoured only in builds configured with -DOVRA_TEST_HOOKS=ON:
// OVRA_UPDATE_BASE, an http or https address that stands in for the update host (its
// "ovra/version.json" is the manifest, and archives on its host are fetched even over plain
// http), and OVRA_UPDATE_TEST_KEY, 64 hexadecimal digits of an Ed25519 public key accepted
// beside the built-in one. Any other build ignores both.

#include <optional>
#include <string>

#include "platform/crypto/Ed25519.h"
#include "platform/paths/Paths.h"

namespace ovra::update {

struct Hooks {
    std::optional<std::string> base;
    std::optional<crypto::Ed25519PublicKey> testKey;
};

// Whether this build honours the hooks.
bool hooksBuiltIn();
Hooks readHooks(const paths::Environment& env);

// The host libcurl connects to for an http or https address, lowercased; none for anything
// else (user names and odd characters included).
std::optional<std::string> webHost(const std::string& address);

}  // namespace ovra::update
