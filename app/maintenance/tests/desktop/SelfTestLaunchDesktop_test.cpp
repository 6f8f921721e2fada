// Every self-test flag and the press test, launched from an installed copy on the virtual
// desktop: none of them reaches the network (every request of the app goes through a proxy on
// 127.0.0.1, which hears nothing), takes the update staged beside the prefix or the last
// install's receipt, or tidies the settings folder. An ordinary start of the same copy then does
// all three, which shows that each probe would notice.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "testing/Files.h"
#include "testing/LoopbackServer.h"
#include "testing/desktop/Commands.h"
#include "testing/desktop/LaunchedApp.h"

namespace ovra {
namespace {

namespace fs = std::filesystem;

TEST(SelfTestLaunchDesktop, NoSelfTestReachesTheNetworkOrRemovesAnything) {
    testing::ScratchFolder scratch("selftest-launch");
    const fs::path root = scratch.path(), prefix = root / "opt" / "murmlark-ovra";
    for (const char* name :
         {"HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME", "XDG_CONFIG_HOME"}) {
        ::setenv(name, (root / name).c_str(), 1);
    }
    const std::string install =
        CMAKE_COMMAND " --install " OVRA_BUILD_DIR " --prefix '" + prefix.string() + "' >/dev/null";
    ASSERT_EQ(std::system(install.c_str()), 0);

    const fs::path staged = root / "opt" / ".murmlark-ovra.update-Ab12Cd" / "murmlark-ovra";
    const fs::path receipt = root / "XDG_DATA_HOME" / "Murmlark Ovra" / "last-update.txt";
    const fs::path settings = root / "XDG_CONFIG_HOME" / "murmlark-ovra";
    const fs::path leftover = settings / ".ai.qeld.murmlark-ovra.json.Ab12Cd";
    testing::writeText(staged, "staged");
    testing::writeText(receipt, "ok\n9.9\n");
    testing::writeText(settings / "ai.qeld.murmlark-ovra.json", R"({"theme": "cyan"})");
    testing::writeText(leftover, "{");
    fs::last_write_time(leftover, fs::file_time_type::clock::now() - std::chrono::hours(2));
    const auto untouched = [&] {
        return fs::exists(staged) && testing::readText(receipt) == "ok\n9.9\n" &&
               fs::exists(leftover);
    };

    testing::LoopbackServer proxy;
    for (const char* name : {"http_proxy", "https_proxy", "HTTPS_PROXY", "ALL_PROXY"}) {
        ::setenv(name, proxy.base().c_str(), 1);
    }
    ::unsetenv("no_proxy");
    ::unsetenv("NO_PROXY");

    const std::string app = "'" + (prefix / "bin" / "murmlark-ovra").string() + "'";
    const std::string launches[] = {"--find-test", "--scroll-test", "--keyboard-test",
                                    "--overlay-snapshot '" + (root / "overlay.png").string() + "'",
                                    "--press-test Go"};
    for (const std::string& flags : launches) {
        SCOPED_TRACE(flags);
        const auto run = testing::run("timeout 400 " + app + " " + flags + " >/dev/null 2>&1");
        EXPECT_NE(run.exitCode, 124) << "it did not end";
        EXPECT_THAT(proxy.requests(), ::testing::IsEmpty());
        EXPECT_TRUE(untouched());
    }

    // An ordinary start: it fetches the on-device model and tidies up after the last update.
    auto ordinary = testing::LaunchedApp::start(
        {(prefix / "bin" / "murmlark-ovra").string(), "--no-dashboard"});
    EXPECT_TRUE(testing::eventually([&] { return !proxy.requests().empty(); }));
    EXPECT_TRUE(testing::eventually(
        [&] { return !fs::exists(staged) && !fs::exists(receipt) && !fs::exists(leftover); }));
}

}  // namespace
}  // namespace ovra
