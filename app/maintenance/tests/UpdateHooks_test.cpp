// Built twice: against the hooks compiled with and without OVRA_TEST_HOOKS (OVRA_EXPECT_HOOKS
// says which), so every build proves that a release build ignores them.

#include "app/maintenance/UpdateHooks.h"

#include <gtest/gtest.h>

#include <map>

namespace ovra::update {
namespace {

TEST(UpdateHooks, HonouredOnlyInTestHookBuilds) {
    const std::string key(64, 'a');
    std::map<std::string, std::string> vars = {{"OVRA_UPDATE_BASE", "http://127.0.0.1:8080"},
                                               {"OVRA_UPDATE_TEST_KEY", key}};
    const paths::Environment env = [&](const char* name) -> std::optional<std::string> {
        if (auto it = vars.find(name); it != vars.end())
            return it->second;
        return std::nullopt;
    };
    const Hooks hooks = readHooks(env);
    EXPECT_EQ(hooksBuiltIn(), OVRA_EXPECT_HOOKS == 1);
    if (OVRA_EXPECT_HOOKS == 1) {
        EXPECT_EQ(hooks.base, "http://127.0.0.1:8080");
        EXPECT_EQ(hooks.testKey, crypto::fromHex<32>(key));
    } else {
        EXPECT_EQ(hooks.base, std::nullopt);
        EXPECT_EQ(hooks.testKey, std::nullopt);
    }
    vars = {{"OVRA_UPDATE_BASE", "file:///tmp"}, {"OVRA_UPDATE_TEST_KEY", "12"}};
    EXPECT_EQ(readHooks(env).base, std::nullopt);
    EXPECT_EQ(readHooks(env).testKey, std::nullopt);
}

}  // namespace
}  // namespace ovra::update
