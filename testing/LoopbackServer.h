#pragma once

// Test support: a small HTTP/1.1 server on 127.0.0.1 with scripted replies, including broken
// ones: any status, a redirect, a body cut short, a body that stalls, a body longer than said,
// a body dripped a byte at a time.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace ovra::testing {

struct Reply {
    int status = 200;
    std::string body;
    std::string location;           // sent as Location when not empty
    long long declaredLength = -1;  // Content-Length to claim; -1 for the body's size
    long long stallAfter = -1;      // send this many body bytes, then hold the line open
    int dripMs = -1;                // send the body a byte at a time, this many ms apart
};

class LoopbackServer {
  public:
    LoopbackServer() {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        if (listener_ < 0 ||
            ::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
            ::listen(listener_, 16) != 0) {
            throw std::runtime_error("cannot listen on 127.0.0.1");
        }
        socklen_t len = sizeof addr;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        acceptor_ = std::thread([this] { acceptLoop(); });
    }
    ~LoopbackServer() {
        stop_ = true;
        acceptor_.join();
        for (auto& t : workers_)
            t.join();
        ::close(listener_);
    }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    std::string base() const { return "http://127.0.0.1:" + std::to_string(port_); }
    void route(const std::string& path, Reply reply) {
        std::lock_guard lock(mutex_);
        routes_[path] = std::move(reply);
    }
    std::vector<std::string> requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }

  private:
    void acceptLoop() {
        while (!stop_) {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0)
                continue;
            workers_.emplace_back([this, client] {
                serve(client);
                ::close(client);
            });
        }
    }

    // Waits until the peer hangs up or the server stops.
    void hold(int client) {
        while (!stop_) {
            pollfd p{client, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0) {
                char c;
                if (::recv(client, &c, 1, 0) <= 0)
                    return;
            }
        }
    }

    // False when the peer has hung up.
    bool send(int client, const std::string& data) {
        std::size_t done = 0;
        while (done < data.size()) {
            const ssize_t n = ::send(client, data.data() + done, data.size() - done, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

    void serve(int client) {
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos && !stop_) {
            pollfd p{client, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0)
                continue;
            const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
            if (n <= 0)
                return;
            request.append(buffer, static_cast<std::size_t>(n));
        }
        const auto first = request.find(' ');
        const auto second = request.find(' ', first + 1);
        if (first == std::string::npos || second == std::string::npos)
            return;
        const std::string path = request.substr(first + 1, second - first - 1);
        Reply reply;
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(path);
            auto it = routes_.find(path);
            if (it == routes_.end()) {
                reply = Reply{404, "not found"};
            } else {
                reply = it->second;
            }
        }
        const long long length = reply.declaredLength >= 0
                                     ? reply.declaredLength
                                     : static_cast<long long>(reply.body.size());
        std::string head = "HTTP/1.1 " + std::to_string(reply.status) + " Reply\r\n" +
                           "Content-Length: " + std::to_string(length) + "\r\n" +
                           "Connection: close\r\n";
        if (!reply.location.empty())
            head += "Location: " + reply.location + "\r\n";
        send(client, head + "\r\n");
        if (reply.stallAfter >= 0) {
            send(client, reply.body.substr(0, static_cast<std::size_t>(reply.stallAfter)));
            hold(client);
            return;
        }
        if (reply.dripMs >= 0) {
            for (std::size_t i = 0; i < reply.body.size() && !stop_; ++i) {
                if (!send(client, reply.body.substr(i, 1)))
                    return;
                std::this_thread::sleep_for(std::chrono::milliseconds(reply.dripMs));
            }
        } else {
            send(client, reply.body);
        }
        ::shutdown(client, SHUT_WR);
        hold(client);
    }

    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread acceptor_;
    std::vector<std::thread> workers_;  // used by the acceptor thread only, joined after it
    mutable std::mutex mutex_;
    std::map<std::string, Reply> routes_;
    std::vector<std::string> requests_;
};

}  // namespace ovra::testing
