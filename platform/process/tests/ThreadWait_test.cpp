#include "platform/process/ThreadWait.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>

namespace ovra::process {
namespace {

// What a thread running `hold` sleeps in once it sleeps (within a bound generous for a loaded
// machine); `release` then lets it go.
std::optional<ThreadWait> heldIn(const std::function<void()>& hold,
                                 const std::function<void()>& release) {
    std::atomic<int> id{0};
    std::thread thread([&] {
        id = currentThreadId();
        hold();
    });
    std::optional<ThreadWait> wait;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!wait && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        wait = id ? waitOf(id) : std::nullopt;
    }
    release();
    thread.join();
    return wait;
}

// A socket listening at `path`, and one connected to it.
struct SocketPair {
    int server = -1;
    int client = -1;
    explicit SocketPair(const std::filesystem::path& path) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
        server = socket(AF_UNIX, SOCK_STREAM, 0);
        client = socket(AF_UNIX, SOCK_STREAM, 0);
        EXPECT_EQ(bind(server, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
        EXPECT_EQ(listen(server, 1), 0);
        EXPECT_EQ(connect(client, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    }
    ~SocketPair() {
        close(client);
        close(server);
    }
};

// A thread is named by the call it sleeps in and what that waits on: a pipe, a bus's socket,
// the display server's (told apart), a condition waited for in our own code.
TEST(ThreadWait, NamesTheCallAThreadSleepsInAndWhatItWaitsOn) {
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    char byte = 0;
    auto read = heldIn([&] { (void)::read(pipeEnds[0], &byte, 1); },
                       [&] { (void)::write(pipeEnds[1], "x", 1); });
    ASSERT_TRUE(read);
    EXPECT_EQ(read->call, "read");
    EXPECT_TRUE(read->on.starts_with("pipe:")) << read->on;
    EXPECT_FALSE(read->display);
    close(pipeEnds[0]);
    close(pipeEnds[1]);

    const auto folder =
        std::filesystem::temp_directory_path() / ("ovra-thread-wait-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder / ".X11-unix");
    for (const auto& [name, display] : {std::pair{"bus", false}, {".X11-unix/X7", true}}) {
        SocketPair sockets(folder / name);
        pollfd polled{sockets.client, POLLIN, 0};
        auto poll = heldIn([&] { (void)::poll(&polled, 1, 20'000); },
                           [&] { (void)::shutdown(sockets.client, SHUT_RDWR); });
        ASSERT_TRUE(poll) << name;
        EXPECT_EQ(poll->call, "poll");
        EXPECT_EQ(poll->on, "socket to " + (folder / name).string());
        EXPECT_EQ(poll->display, display) << name;
        EXPECT_EQ(describe(*poll), "poll on socket to " + (folder / name).string());
    }
    std::filesystem::remove_all(folder);

    std::mutex mutex;
    std::condition_variable condition;
    bool go = false;
    auto futex = heldIn(
        [&] {
            std::unique_lock lock(mutex);
            condition.wait(lock, [&] { return go; });
        },
        [&] {
            std::lock_guard lock(mutex);
            go = true;
            condition.notify_all();
        });
    ASSERT_TRUE(futex);
    EXPECT_EQ(futex->call, "futex");
    EXPECT_NE(futex->on.find("ThreadWait_test"), std::string::npos) << futex->on;
    EXPECT_FALSE(futex->display);
}

}  // namespace
}  // namespace ovra::process
