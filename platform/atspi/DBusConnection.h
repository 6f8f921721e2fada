#pragma once

// A thin RAII layer over libdbus for one private connection that sends many calls at once and
// collects their replies by serial number: the accessibility reader keeps hundreds of requests
// in flight instead of waiting out one round trip per attribute. Not thread-safe: one thread
// at a time drives a connection.

#include <dbus/dbus.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/Result.h"

namespace ovra::atspi {

struct MessageUnref {
    void operator()(DBusMessage* message) const { dbus_message_unref(message); }
};
using Message = std::unique_ptr<DBusMessage, MessageUnref>;

using SteadyTime = std::chrono::steady_clock::time_point;

// The outcome of one call: the reply, or an error name ("org.freedesktop.DBus.Error.NoReply"
// for a time-out or a lost connection).
struct Reply {
    Message message;     // a method return; null on error
    std::string error;   // D-Bus error name; empty on success
    std::string detail;  // the error's text
    bool ok() const { return message != nullptr; }
};

inline constexpr const char* kNoReply = "org.freedesktop.DBus.Error.NoReply";
inline constexpr const char* kDisconnected = "org.freedesktop.DBus.Error.Disconnected";

class BusConnection {
  public:
    using Handler = std::function<void(Reply)>;

    // The session bus (DBUS_SESSION_BUS_ADDRESS), privately.
    static Result<std::unique_ptr<BusConnection>> openSession();
    // A message bus at an address (the accessibility bus).
    static Result<std::unique_ptr<BusConnection>> openBus(const std::string& address);
    ~BusConnection();
    BusConnection(const BusConnection&) = delete;
    BusConnection& operator=(const BusConnection&) = delete;

    bool connected() const;
    // The connection's unique name on its bus; "" when it has none.
    std::string uniqueName() const;

    // Queues a call; `handler` runs from `pump` with the reply, an error, or a time-out once
    // `timeout` has passed without a reply. Returns false when the call could not be queued
    // (the handler then has already run with the error).
    bool send(Message call, std::chrono::microseconds timeout, Handler handler);
    // Sends a call without wanting a reply.
    void sendNoReply(Message call);

    // Reads what has arrived and runs handlers; waits up to `until` for at least one message
    // when none is pending. Returns false once the connection is gone.
    bool pump(SteadyTime until);
    // Runs handlers until `done` holds, every call is answered, or `until` passes.
    void pumpUntil(const std::function<bool()>& done, SteadyTime until);

    std::size_t inFlight() const { return pending_.size(); }

    // Subscribes to broadcast signals matching a D-Bus match rule.
    void addMatch(const std::string& rule);

    // Blocking call with its own time-out (set-up calls outside the hot path).
    Reply call(Message call, std::chrono::microseconds timeout);

    // Signals that arrived while pumping go here (may be empty).
    std::function<void(DBusMessage*)> onSignal;

  private:
    explicit BusConnection(DBusConnection* connection);
    void deliver(Message message);
    // Reads and hands out every message that has arrived, without waiting.
    void takeInArrived();
    void expire(SteadyTime now);
    void failAll(const char* error);

    struct Pending {
        SteadyTime deadline;
        Handler handler;
        std::chrono::microseconds timeout;
    };
    // Sends what was queued since the last time; a call's time-out runs from then, not from
    // when it was queued behind others.
    void flush();

    DBusConnection* connection_;
    std::unordered_map<std::uint32_t, Pending> pending_;
    std::vector<std::uint32_t> unflushed_;
    bool needsFlush_ = false;
};

// Building calls.
Message methodCall(const std::string& destination, const std::string& path, const char* interface,
                   const char* method);

// Reading replies: each returns nullopt when the reply has another signature. No string taken
// from a reply is longer than this: a text is cut on a character boundary, a longer object path
// is refused.
namespace reply {
inline constexpr std::size_t kMostStringBytes = 4096;
std::optional<std::uint32_t> u32(DBusMessage* message);
std::optional<bool> boolean(DBusMessage* message);
std::optional<std::string> string(DBusMessage* message);
std::optional<std::vector<std::uint32_t>> u32Array(DBusMessage* message);
std::optional<std::vector<std::string>> stringArray(DBusMessage* message);
struct ObjectRef {
    std::string bus;
    std::string path;

    friend bool operator==(const ObjectRef&, const ObjectRef&) = default;
};
std::optional<ObjectRef> objectRef(DBusMessage* message);
// a(so); at most `most` of them, the first ones: an app may list far more than it should.
std::optional<std::vector<ObjectRef>> objectRefs(DBusMessage* message, std::size_t most = SIZE_MAX);
std::optional<std::vector<std::pair<std::string, std::string>>> stringMap(DBusMessage* message);
std::optional<std::vector<std::int32_t>> i32Struct(DBusMessage* message);   // (iiii)
std::optional<std::vector<std::string>> actionNames(DBusMessage* message);  // a(sss)
// A variant's number (Properties.Get); integers and doubles.
std::optional<double> variantNumber(DBusMessage* message);
std::optional<bool> variantBool(DBusMessage* message);
std::optional<std::string> variantString(DBusMessage* message);
// A count an app gives (children, characters): absent unless a number and not negative; one past
// what an int holds is as many as it holds (a spreadsheet's table says 2,147,483,647 cells).
std::optional<std::int32_t> count(std::optional<double> number);

// Properties.GetAll of org.a11y.atspi.Accessible.
struct AccessibleProps {
    std::optional<std::string> name;
    std::optional<std::string> description;
    std::optional<std::int32_t> childCount;
    std::optional<ObjectRef> parent;
};
std::optional<AccessibleProps> accessibleProps(DBusMessage* message);
// GetRelationSet: the targets of the first relation of the given type.
std::optional<std::vector<ObjectRef>> relationTargets(DBusMessage* message, std::uint32_t type);
}  // namespace reply

}  // namespace ovra::atspi
