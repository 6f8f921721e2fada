// Built twice: against the hooks compiled with and without OVRA_TEST_HOOKS (OVRA_EXPECT_HOOKS
// says which), so every build proves that a release build ignores them.

#include "app/maintenance/UpdateHooks.h"

#include <gtest/gtest.h>

#include <string_view>

namespace ovra::update {
namespace {

TEST(UpdateHooks, HonouredOnlyInTestHookBuilds) {
    const std::string base = "http://127.0.0.1:8080";
    const std::string key(64, 'a');
    const paths::Environment env = [&](const char* name) -> std::optional<std::string> {
        const std::string_view n(name);
        return n == "OVRA_UPDATE_BASE" ? base : n == "OVRA_UPDATE_TEST_KEY" ? key : "";
    };
    const bool on = OVRA_EXPECT_HOOKS == 1;
    EXPECT_EQ(hooksBuiltIn(), on);
    EXPECT_EQ(readHooks(env).base, on ? std::optional(base) : std::nullopt);
    EXPECT_EQ(readHooks(env).testKey, on ? crypto::fromHex<32>(key) : std::nullopt);
}

TEST(UpdateHooks, TheHostIsTheOneCurlConnectsTo) {
    const std::pair<const char*, std::optional<std::string>> rows[] = {
        {"http://127.0.0.1:80@evil.example/ovra/a.tar.gz", std::nullopt},
        {"http://evil.example#@127.0.0.1/", "evil.example"},
        {"https://QELD.ai:443/ovra/version.json", "qeld.ai"},
        {"http://127.0.0.1:8080", "127.0.0.1"},
        {"ftp://127.0.0.1/x", std::nullopt},
        {"127.0.0.1/x", std::nullopt}};
    for (const auto& [address, host] : rows)
        EXPECT_EQ(webHost(address), host) << address;
}

}  // namespace
}  // namespace ovra::update
