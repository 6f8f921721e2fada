#include "platform/atspi/BusDepartures.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>

#include "platform/atspi/DBusConnection.h"
#include "platform/x11/ProcessIdentity.h"

namespace ovra::atspi {

namespace {

using std::chrono::milliseconds;

// How long the watcher sleeps in the bus between looks at whether it should stop.
constexpr milliseconds kPump{100};
constexpr milliseconds kRetry{1000};
constexpr milliseconds kCallTimeout{500};
// Bounds against a bus that hands out endless connections.
constexpr std::size_t kMostConnections = 4096;
constexpr std::size_t kMostDepartures = 256;

using Identity = std::pair<std::int64_t, std::uint64_t>;  // pid, start time

std::optional<std::string> accessibilityBus() {
    auto session = BusConnection::openSession();
    if (!session) {
        return std::nullopt;
    }
    const Reply reply = session.value()->call(
        methodCall("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress"), kCallTimeout);
    auto address = reply.ok() ? reply::string(reply.message.get()) : std::nullopt;
    if (!address || address->empty()) {
        return std::nullopt;
    }
    return address;
}

Message toBus(const char* method) {
    return methodCall("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                      method);
}

}  // namespace

struct BusDepartures::Impl {
    Address address;
    mutable std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    bool listed = false;
    // The connections on the bus now, by unique name, and how many each process holds.
    std::unordered_map<std::string, Identity> connections;
    std::map<Identity, int> held;
    // Processes whose last connection left, oldest first.
    std::deque<Identity> departed;
    std::thread thread;

    void run();
    void watch(BusConnection& bus);
    void joined(BusConnection& bus, const std::string& name);
    void went(const std::string& name);
    bool stopped() const {
        std::lock_guard lock(mutex);
        return stopping;
    }
};

BusDepartures::BusDepartures(Address address) : impl_(std::make_unique<Impl>()) {
    impl_->address = std::move(address);
    impl_->thread = std::thread([impl = impl_.get()] { impl->run(); });
}

BusDepartures::~BusDepartures() {
    {
        std::lock_guard lock(impl_->mutex);
        impl_->stopping = true;
    }
    impl_->wake.notify_all();
    impl_->thread.join();
}

bool BusDepartures::left(std::int64_t pid, std::uint64_t startTime) const {
    const Identity who{pid, startTime};
    std::lock_guard lock(impl_->mutex);
    const auto& departed = impl_->departed;
    return !impl_->held.contains(who) &&
           std::find(departed.begin(), departed.end(), who) != departed.end();
}

bool BusDepartures::present(std::int64_t pid, std::uint64_t startTime) const {
    std::lock_guard lock(impl_->mutex);
    return impl_->held.contains({pid, startTime});
}

bool BusDepartures::watching() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->listed;
}

void BusDepartures::Impl::run() {
    while (!stopped()) {
        const auto where = address ? address() : accessibilityBus();
        if (where) {
            if (auto bus = BusConnection::openBus(*where)) {
                watch(*bus.value());
            }
        }
        std::unique_lock lock(mutex);
        // Apps that were on a bus that went did not end with it.
        listed = false;
        connections.clear();
        held.clear();
        departed.clear();
        wake.wait_for(lock, kRetry, [this] { return stopping; });
    }
}

void BusDepartures::Impl::watch(BusConnection& bus) {
    bus.onSignal = [this, &bus](DBusMessage* signal) {
        const char* name = nullptr;
        const char* before = nullptr;
        const char* now = nullptr;
        if (!dbus_message_is_signal(signal, "org.freedesktop.DBus", "NameOwnerChanged") ||
            !dbus_message_get_args(signal, nullptr, DBUS_TYPE_STRING, &name, DBUS_TYPE_STRING,
                                   &before, DBUS_TYPE_STRING, &now, DBUS_TYPE_INVALID)) {
            return;
        }
        // A unique name (":1.42") is a connection; well-known names only change hands.
        if (name[0] != ':') {
            return;
        }
        if (now[0] != '\0') {
            joined(bus, name);
        } else {
            went(name);
        }
    };
    bus.addMatch(
        "type='signal',sender='org.freedesktop.DBus',interface='org.freedesktop.DBus',"
        "member='NameOwnerChanged'");
    bus.send(toBus("ListNames"), kCallTimeout, [this, &bus](Reply reply) {
        const auto names = reply.ok() ? reply::stringArray(reply.message.get()) : std::nullopt;
        for (const std::string& name : names.value_or(std::vector<std::string>{})) {
            if (name.starts_with(':')) {
                joined(bus, name);
            }
        }
        std::lock_guard lock(mutex);
        listed = names.has_value();
    });
    while (!stopped() && bus.pump(std::chrono::steady_clock::now() + kPump)) {
    }
}

void BusDepartures::Impl::joined(BusConnection& bus, const std::string& name) {
    Message call = toBus("GetConnectionUnixProcessID");
    const char* text = name.c_str();
    dbus_message_append_args(call.get(), DBUS_TYPE_STRING, &text, DBUS_TYPE_INVALID);
    // A connection that leaves before this is answered was never known: it gets an error.
    bus.send(std::move(call), kCallTimeout, [this, name](Reply reply) {
        const auto pid = reply.ok() ? reply::u32(reply.message.get()) : std::nullopt;
        const auto process = pid ? x11::processIdentity(*pid) : std::nullopt;
        if (!process) {
            return;
        }
        const Identity who{*pid, process->startTime};
        std::lock_guard lock(mutex);
        if (connections.size() >= kMostConnections || !connections.emplace(name, who).second) {
            return;
        }
        ++held[who];
        std::erase(departed, who);
    });
}

void BusDepartures::Impl::went(const std::string& name) {
    std::lock_guard lock(mutex);
    const auto found = connections.find(name);
    if (found == connections.end()) {
        return;
    }
    const Identity who = found->second;
    connections.erase(found);
    if (--held[who] > 0) {
        return;
    }
    held.erase(who);
    departed.push_back(who);
    if (departed.size() > kMostDepartures) {
        departed.pop_front();
    }
}

}  // namespace ovra::atspi
