// The session's accessibility switch answers within its bound even when the session bus never
// answers: here a socket that takes the connection and says nothing, as a stopped bus daemon.

#include "platform/desktopsettings/AccessibilitySwitch.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>

#include "testing/Files.h"

namespace ovra::desktop {
namespace {

TEST(SessionAccessibilitySwitch, ASessionBusThatNeverAnswersIsAnsweredAllTheSame) {
    const testing::ScratchFolder folder("silent-bus");
    const std::string path = (folder.path() / "bus").string();
    const int silent = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof(address.sun_path));
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    ASSERT_EQ(::bind(silent, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    ASSERT_EQ(::listen(silent, 4), 0);
    ::setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + path).c_str(), 1);
    ::setenv("GSETTINGS_BACKEND", "memory", 1);

    // What the switch posts to the "main thread", run here.
    std::mutex mutex;
    std::condition_variable posted;
    std::deque<std::function<void()>> work;
    SessionAccessibilitySwitch accessibility([&](std::function<void()> w) {
        std::lock_guard lock(mutex);
        work.push_back(std::move(w));
        posted.notify_all();
    });
    std::vector<std::optional<std::string>> answers;
    accessibility.turnOn([&](std::optional<std::string> problem) { answers.push_back(problem); });

    std::unique_lock lock(mutex);
    ASSERT_TRUE(posted.wait_for(lock, std::chrono::seconds(10), [&] { return !work.empty(); }));
    // The bus's thread never gets further: no second answer comes.
    posted.wait_for(lock, std::chrono::milliseconds(500), [&] { return work.size() > 1; });
    EXPECT_EQ(work.size(), 1U);
    work.front()();
    EXPECT_EQ(
        answers,
        (std::vector<std::optional<std::string>>{"the session bus did not answer within 1500 ms"}));
    // The socket stays open: the bus's thread stays where it is, and writes no setting.
}

}  // namespace
}  // namespace ovra::desktop
