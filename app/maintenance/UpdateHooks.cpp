#include "app/maintenance/UpdateHooks.h"

#include "platform/download/WebAddress.h"

#ifndef OVRA_TEST_HOOKS
#error "OVRA_TEST_HOOKS must be defined as 0 or 1"
#endif

namespace ovra::update {

bool hooksBuiltIn() {
    return OVRA_TEST_HOOKS != 0;
}

std::optional<std::string> webHost(const std::string& address) {
    // Read as the downloader will read it, so the host checked is the host connected to.
    const auto parsed = download::parseWebAddress(address);
    if (!parsed || parsed->credentials)
        return std::nullopt;
    for (const char c : parsed->host) {
        if ((c < 'a' || c > 'z') && (c < '0' || c > '9') && c != '.' && c != '-')
            return std::nullopt;
    }
    return parsed->host;
}

Hooks readHooks([[maybe_unused]] const paths::Environment& env) {
    Hooks hooks;
#if OVRA_TEST_HOOKS
    if (auto base = env("OVRA_UPDATE_BASE"); base && webHost(*base))
        hooks.base = *base;
    if (auto key = env("OVRA_UPDATE_TEST_KEY"))
        hooks.testKey = crypto::fromHex<32>(*key);
#endif
    return hooks;
}

}  // namespace ovra::update
