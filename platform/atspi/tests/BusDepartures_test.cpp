// Processes leaving the accessibility bus, watched on a private bus: one that is killed has left
// while its parent has not yet waited for it, one still connected has not, nor has a later
// process given the same pid; a bus that goes away takes nobody with it.

#include "platform/atspi/BusDepartures.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>

#include "platform/x11/ProcessIdentity.h"

extern char** environ;

namespace ovra::atspi {
namespace {

bool eventually(const std::function<bool()>& done) {
    for (int i = 0; i < 100 && !done(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return done();
}

// A message bus of the test's own.
struct PrivateBus {
    PrivateBus() {
        FILE* out =
            popen("dbus-daemon --session --fork --nopidfile --print-address=1 --print-pid=1", "r");
        char line[512] = {};
        if (out != nullptr && std::fgets(line, sizeof line, out) != nullptr) {
            address = line;
            address.erase(address.find_last_not_of('\n') + 1);
            pid = std::fgets(line, sizeof line, out) != nullptr ? std::atoi(line) : 0;
        }
        if (out != nullptr) {
            pclose(out);
        }
    }
    ~PrivateBus() { stop(); }
    void stop() {
        if (pid > 0) {
            kill(pid, SIGTERM);
        }
        pid = 0;
    }
    std::string address;
    pid_t pid = 0;
};

// A process that stays connected to the bus until it is killed.
pid_t connected(const std::string& address) {
    std::string command = "monitor", option = "--address", at = address, dest = "--dest",
                name = "org.freedesktop.DBus";
    char* argv[] = {const_cast<char*>("gdbus"),
                    command.data(),
                    option.data(),
                    at.data(),
                    dest.data(),
                    name.data(),
                    nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    posix_spawnp(&pid, argv[0], &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

TEST(BusDepartures, AKilledProcessHasLeftBeforeItIsWaitedForAndABusThatGoesTakesNobody) {
    PrivateBus bus;
    ASSERT_GT(bus.pid, 0) << "no dbus-daemon";
    const BusDepartures departures([&] { return std::optional(bus.address); });
    ASSERT_TRUE(eventually([&] { return departures.watching(); }));
    const pid_t killed = connected(bus.address), staying = connected(bus.address);
    const auto a = x11::processIdentity(killed), b = x11::processIdentity(staying);
    ASSERT_TRUE(a && b);
    ASSERT_TRUE(eventually([&] {
        return departures.present(killed, a->startTime) &&
               departures.present(staying, b->startTime);
    }));
    EXPECT_FALSE(departures.left(killed, a->startTime));

    kill(killed, SIGKILL);
    EXPECT_TRUE(eventually([&] { return departures.left(killed, a->startTime); }));
    EXPECT_FALSE(departures.left(killed, a->startTime + 1)) << "a later process of that pid";
    EXPECT_FALSE(departures.left(staying, b->startTime));
    EXPECT_EQ(waitpid(killed, nullptr, WNOHANG), killed) << "it was waited for only now";

    bus.stop();
    EXPECT_TRUE(eventually([&] { return !departures.watching(); }));
    EXPECT_FALSE(departures.left(killed, a->startTime) || departures.left(staying, b->startTime));
    kill(staying, SIGKILL);
    waitpid(staying, nullptr, 0);
}

}  // namespace
}  // namespace ovra::atspi
