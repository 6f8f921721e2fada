#include "app/maintenance/UpdateHooks.h"

#ifndef OVRA_TEST_HOOKS
#error "OVRA_TEST_HOOKS must be defined as 0 or 1"
#endif

namespace ovra::update {

bool hooksBuiltIn() {
    return OVRA_TEST_HOOKS != 0;
}

std::optional<std::string> webHost(const std::string& address) {
    std::string_view rest(address);
    if (rest.starts_with("https://"))
        rest.remove_prefix(8);
    else if (rest.starts_with("http://"))
        rest.remove_prefix(7);
    else
        return std::nullopt;
    const std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
    const std::string_view host = authority.substr(0, authority.rfind(':'));
    if (host.empty())
        return std::nullopt;
    std::string out;
    for (const char c : host) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-';
        const bool upper = c >= 'A' && c <= 'Z';
        if (!ok && !upper)
            return std::nullopt;
        out += upper ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return out;
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
