// Processes leaving the accessibility bus, watched on a private bus: one that is killed has left
// while its parent has not yet waited for it, one still connected has not, nor has a later
// process given the same pid; a bus that goes away takes nobody with it.

#include "platform/atspi/BusDepartures.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <cstdio>

#include "platform/x11/ProcessIdentity.h"
#include "testing/desktop/LaunchedApp.h"

namespace ovra::atspi {
namespace {

using testing::eventually;

TEST(BusDepartures, AKilledProcessHasLeftBeforeItIsWaitedForAndABusThatGoesTakesNobody) {
    // A message bus of the test's own, and two processes connected to it until they end.
    FILE* out =
        popen("dbus-daemon --session --fork --nopidfile --print-address=1 --print-pid=1", "r");
    char address[512] = {}, daemon[32] = {};
    ASSERT_TRUE(out && std::fgets(address, sizeof address, out) && std::fgets(daemon, 32, out));
    pclose(out);
    const std::string bus = std::string(address).substr(0, std::string(address).find('\n'));
    const BusDepartures departures([&] { return std::optional(bus); });
    ASSERT_TRUE(eventually([&] { return departures.watching(); }, 5));
    const auto connected = [&] {
        return testing::LaunchedApp::start(
            {"gdbus", "monitor", "--address", bus, "--dest", "org.freedesktop.DBus"});
    };
    testing::LaunchedApp killed = connected(), staying = connected();
    const auto a = x11::processIdentity(killed.pid()), b = x11::processIdentity(staying.pid());
    ASSERT_TRUE(a && b);
    ASSERT_TRUE(eventually(
        [&] {
            return departures.present(killed.pid(), a->startTime) &&
                   departures.present(staying.pid(), b->startTime);
        },
        5));
    EXPECT_FALSE(departures.left(killed.pid(), a->startTime));

    killed.signal(SIGKILL);
    EXPECT_TRUE(eventually([&] { return departures.left(killed.pid(), a->startTime); }, 5));
    EXPECT_FALSE(departures.left(killed.pid(), a->startTime + 1)) << "a later process, same pid";
    EXPECT_FALSE(departures.left(staying.pid(), b->startTime));
    // Its connection closes as it ends, a moment before it has ended.
    EXPECT_TRUE(eventually([&] { return !killed.running(); }, 5));
    EXPECT_EQ(killed.exitCode(1), 128 + SIGKILL) << "waited for only now";

    kill(std::atoi(daemon), SIGTERM);
    EXPECT_TRUE(eventually([&] { return !departures.watching(); }, 5));
    EXPECT_FALSE(departures.left(killed.pid(), a->startTime) ||
                 departures.left(staying.pid(), b->startTime));
}

}  // namespace
}  // namespace ovra::atspi
