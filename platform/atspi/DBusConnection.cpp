#include "platform/atspi/DBusConnection.h"

#include <poll.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string_view>

namespace ovra::atspi {

namespace {

class ScopedError {
  public:
    ScopedError() { dbus_error_init(&error_); }
    ~ScopedError() { dbus_error_free(&error_); }
    ScopedError(const ScopedError&) = delete;
    ScopedError& operator=(const ScopedError&) = delete;
    DBusError* get() { return &error_; }
    bool isSet() const { return dbus_error_is_set(&error_) != 0; }
    std::string text() const {
        return isSet() ? std::string(error_.name) + ": " + (error_.message ? error_.message : "")
                       : std::string();
    }

  private:
    DBusError error_;
};

void ensureThreads() {
    static const bool initialised = dbus_threads_init_default() != 0;
    (void)initialised;
}

// Reads of what has arrived before time-outs are judged, at most: a few megabytes.
constexpr int kMostReadsAtOnce = 2048;

// At most `reply::kMostStringBytes` of `text`, cut on a character's first byte.
std::string boundedText(std::string_view text) {
    if (text.size() <= reply::kMostStringBytes) {
        return std::string(text);
    }
    std::size_t end = reply::kMostStringBytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        --end;
    }
    return std::string(text.substr(0, end));
}

int millisecondsUntil(SteadyTime until) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          until - std::chrono::steady_clock::now())
                          .count();
    return static_cast<int>(std::clamp<long long>(left, 0, 60'000));
}

}  // namespace

Result<std::unique_ptr<BusConnection>> BusConnection::openSession() {
    ensureThreads();
    ScopedError error;
    DBusConnection* connection = dbus_bus_get_private(DBUS_BUS_SESSION, error.get());
    if (connection == nullptr) {
        return fail("cannot reach the session bus (" + error.text() + ")");
    }
    dbus_connection_set_exit_on_disconnect(connection, FALSE);
    return std::unique_ptr<BusConnection>(new BusConnection(connection));
}

Result<std::unique_ptr<BusConnection>> BusConnection::openBus(const std::string& address) {
    ensureThreads();
    ScopedError error;
    DBusConnection* connection = dbus_connection_open_private(address.c_str(), error.get());
    if (connection == nullptr) {
        return fail("cannot open " + address + " (" + error.text() + ")");
    }
    dbus_connection_set_exit_on_disconnect(connection, FALSE);
    auto result = std::unique_ptr<BusConnection>(new BusConnection(connection));
    if (!dbus_bus_register(connection, error.get())) {
        return fail("cannot register on " + address + " (" + error.text() + ")");
    }
    return result;
}

BusConnection::BusConnection(DBusConnection* connection) : connection_(connection) {}

BusConnection::~BusConnection() {
    failAll(kDisconnected);
    dbus_connection_close(connection_);
    dbus_connection_unref(connection_);
}

bool BusConnection::connected() const {
    return dbus_connection_get_is_connected(connection_) != 0;
}

std::string BusConnection::uniqueName() const {
    const char* name = dbus_bus_get_unique_name(connection_);
    return name != nullptr ? name : "";
}

bool BusConnection::send(Message call, std::chrono::microseconds timeout, Handler handler) {
    std::uint32_t serial = 0;
    if (!call || !connected() || !dbus_connection_send(connection_, call.get(), &serial)) {
        handler(Reply{nullptr, kDisconnected, "not connected"});
        return false;
    }
    pending_.emplace(
        serial, Pending{std::chrono::steady_clock::now() + timeout, std::move(handler), timeout});
    unflushed_.push_back(serial);
    needsFlush_ = true;
    return true;
}

void BusConnection::sendNoReply(Message call) {
    if (!call || !connected()) {
        return;
    }
    dbus_message_set_no_reply(call.get(), TRUE);
    dbus_connection_send(connection_, call.get(), nullptr);
    needsFlush_ = true;
}

void BusConnection::addMatch(const std::string& rule) {
    if (connected()) {
        dbus_bus_add_match(connection_, rule.c_str(), nullptr);  // no error wanted: no round trip
        needsFlush_ = true;
    }
}

void BusConnection::deliver(Message message) {
    const int type = dbus_message_get_type(message.get());
    if (type == DBUS_MESSAGE_TYPE_SIGNAL) {
        if (dbus_message_is_signal(message.get(), DBUS_INTERFACE_LOCAL, "Disconnected")) {
            failAll(kDisconnected);
        } else if (onSignal) {
            onSignal(message.get());
        }
        return;
    }
    if (type != DBUS_MESSAGE_TYPE_METHOD_RETURN && type != DBUS_MESSAGE_TYPE_ERROR) {
        return;
    }
    auto it = pending_.find(dbus_message_get_reply_serial(message.get()));
    if (it == pending_.end()) {
        return;  // a late reply to a call that already timed out
    }
    Handler handler = std::move(it->second.handler);
    pending_.erase(it);
    if (type == DBUS_MESSAGE_TYPE_ERROR) {
        const char* name = dbus_message_get_error_name(message.get());
        const char* text = nullptr;
        dbus_message_get_args(message.get(), nullptr, DBUS_TYPE_STRING, &text, DBUS_TYPE_INVALID);
        handler(Reply{nullptr, boundedText(name ? name : "org.freedesktop.DBus.Error.Failed"),
                      boundedText(text ? text : "")});
        return;
    }
    handler(Reply{std::move(message), {}, {}});
}

void BusConnection::expire(SteadyTime now) {
    std::vector<Handler> expired;
    for (auto it = pending_.begin(); it != pending_.end();) {
        if (it->second.deadline <= now) {
            expired.push_back(std::move(it->second.handler));
            it = pending_.erase(it);
        } else {
            ++it;
        }
    }
    for (auto& handler : expired) {
        handler(Reply{nullptr, kNoReply, "no answer within the time-out"});
    }
}

void BusConnection::failAll(const char* error) {
    auto pending = std::move(pending_);
    pending_.clear();
    for (auto& [serial, entry] : pending) {
        entry.handler(Reply{nullptr, error, "connection closed"});
    }
}

void BusConnection::flush() {
    if (!needsFlush_) {
        return;
    }
    dbus_connection_flush(connection_);
    needsFlush_ = false;
    const SteadyTime now = std::chrono::steady_clock::now();
    for (const std::uint32_t serial : unflushed_) {
        if (auto it = pending_.find(serial); it != pending_.end()) {
            it->second.deadline = now + it->second.timeout;
        }
    }
    unflushed_.clear();
}

bool BusConnection::pump(SteadyTime until) {
    flush();
    bool any = false;
    while (DBusMessage* raw = dbus_connection_pop_message(connection_)) {
        deliver(Message(raw));
        any = true;
    }
    if (!any) {
        SteadyTime wakeUp = until;
        for (const auto& [serial, entry] : pending_) {
            wakeUp = std::min(wakeUp, entry.deadline);
        }
        if (!dbus_connection_read_write(connection_, millisecondsUntil(wakeUp))) {
            failAll(kDisconnected);
            return false;
        }
        while (DBusMessage* raw = dbus_connection_pop_message(connection_)) {
            deliver(Message(raw));
        }
    }
    // A reply that came in while the handlers ran is an answer in time, not a time-out: take in
    // whatever has arrived before judging what has not.
    const SteadyTime now = std::chrono::steady_clock::now();
    if (std::any_of(pending_.begin(), pending_.end(),
                    [&](const auto& entry) { return entry.second.deadline <= now; })) {
        takeInArrived();
    }
    expire(now);
    if (!connected()) {
        failAll(kDisconnected);
        return false;
    }
    return true;
}

void BusConnection::takeInArrived() {
    // libdbus reads a socket a couple of kilobytes at a time: read until nothing is left.
    int fd = -1;
    const bool polled = dbus_connection_get_unix_fd(connection_, &fd) && fd >= 0;
    for (int read = 0; read < kMostReadsAtOnce; ++read) {
        pollfd waiting{fd, POLLIN, 0};
        if ((polled && (poll(&waiting, 1, 0) <= 0 || (waiting.revents & POLLIN) == 0)) ||
            !dbus_connection_read_write(connection_, 0)) {
            break;
        }
        while (DBusMessage* raw = dbus_connection_pop_message(connection_)) {
            deliver(Message(raw));
        }
        if (!polled) {
            break;
        }
    }
}

void BusConnection::pumpUntil(const std::function<bool()>& done, SteadyTime until) {
    while (!done()) {
        if (std::chrono::steady_clock::now() >= until && !pending_.empty()) {
            // Give the handlers of this round their time-outs before giving up.
            expire(std::chrono::steady_clock::now());
            if (done()) {
                return;
            }
        }
        if (std::chrono::steady_clock::now() >= until) {
            return;
        }
        if (!pump(until)) {
            return;
        }
    }
}

Reply BusConnection::call(Message message, std::chrono::microseconds timeout) {
    // Shared, not on the stack: a reply may still come after we stopped waiting.
    auto result = std::make_shared<std::optional<Reply>>();
    send(std::move(message), timeout, [result](Reply reply) { *result = std::move(reply); });
    pumpUntil([&] { return result->has_value(); },
              std::chrono::steady_clock::now() + timeout + std::chrono::milliseconds(50));
    if (!result->has_value()) {
        return Reply{nullptr, kNoReply, "no answer within the time-out"};
    }
    return std::move(**result);
}

Message methodCall(const std::string& destination, const std::string& path, const char* interface,
                   const char* method) {
    if (destination.empty() || path.empty() || !dbus_validate_path(path.c_str(), nullptr) ||
        !dbus_validate_bus_name(destination.c_str(), nullptr)) {
        return nullptr;
    }
    return Message(
        dbus_message_new_method_call(destination.c_str(), path.c_str(), interface, method));
}

namespace reply {

namespace {

bool begin(DBusMessage* message, DBusMessageIter* iter) {
    return message != nullptr && dbus_message_iter_init(message, iter) != 0;
}

std::optional<std::string> basicString(DBusMessageIter* iter) {
    const int type = dbus_message_iter_get_arg_type(iter);
    if (type != DBUS_TYPE_STRING && type != DBUS_TYPE_OBJECT_PATH) {
        return std::nullopt;
    }
    const char* text = nullptr;
    dbus_message_iter_get_basic(iter, &text);
    const std::string_view view = text ? text : "";
    // A path cut short would name another object.
    if (type == DBUS_TYPE_OBJECT_PATH && view.size() > kMostStringBytes) {
        return std::nullopt;
    }
    return boundedText(view);
}

std::optional<double> basicNumber(DBusMessageIter* iter) {
    switch (dbus_message_iter_get_arg_type(iter)) {
        case DBUS_TYPE_DOUBLE: {
            double value = 0;
            dbus_message_iter_get_basic(iter, &value);
            return value;
        }
        case DBUS_TYPE_INT32: {
            dbus_int32_t value = 0;
            dbus_message_iter_get_basic(iter, &value);
            return static_cast<double>(value);
        }
        case DBUS_TYPE_UINT32: {
            dbus_uint32_t value = 0;
            dbus_message_iter_get_basic(iter, &value);
            return static_cast<double>(value);
        }
        case DBUS_TYPE_INT64: {
            dbus_int64_t value = 0;
            dbus_message_iter_get_basic(iter, &value);
            return static_cast<double>(value);
        }
        case DBUS_TYPE_UINT64: {
            dbus_uint64_t value = 0;
            dbus_message_iter_get_basic(iter, &value);
            return static_cast<double>(value);
        }
        case DBUS_TYPE_INT16: {
            dbus_int16_t value = 0;
            dbus_message_iter_get_basic(iter, &value);
            return static_cast<double>(value);
        }
        case DBUS_TYPE_UINT16: {
            dbus_uint16_t value = 0;
            dbus_message_iter_get_basic(iter, &value);
            return static_cast<double>(value);
        }
        case DBUS_TYPE_BYTE: {
            unsigned char value = 0;
            dbus_message_iter_get_basic(iter, &value);
            return static_cast<double>(value);
        }
        default:
            return std::nullopt;
    }
}

// (so) at the iterator.
std::optional<ObjectRef> objectRefAt(DBusMessageIter* iter) {
    if (dbus_message_iter_get_arg_type(iter) != DBUS_TYPE_STRUCT) {
        return std::nullopt;
    }
    DBusMessageIter inner;
    dbus_message_iter_recurse(iter, &inner);
    auto bus = basicString(&inner);
    if (!bus || !dbus_message_iter_next(&inner)) {
        return std::nullopt;
    }
    auto path = basicString(&inner);
    if (!path) {
        return std::nullopt;
    }
    return ObjectRef{*bus, *path};
}

bool enterArray(DBusMessageIter* iter, int elementType, DBusMessageIter* inner) {
    if (dbus_message_iter_get_arg_type(iter) != DBUS_TYPE_ARRAY ||
        dbus_message_iter_get_element_type(iter) != elementType) {
        return false;
    }
    dbus_message_iter_recurse(iter, inner);
    return true;
}

bool enterVariant(DBusMessage* message, DBusMessageIter* inner) {
    DBusMessageIter iter;
    if (!begin(message, &iter) || dbus_message_iter_get_arg_type(&iter) != DBUS_TYPE_VARIANT) {
        return false;
    }
    dbus_message_iter_recurse(&iter, inner);
    return true;
}

// Calls `each(key, valueIter)` for every entry of an a{sv} at the iterator.
template <class F>
bool forEachProperty(DBusMessageIter* iter, F each) {
    DBusMessageIter array;
    if (!enterArray(iter, DBUS_TYPE_DICT_ENTRY, &array)) {
        return false;
    }
    while (dbus_message_iter_get_arg_type(&array) == DBUS_TYPE_DICT_ENTRY) {
        DBusMessageIter entry;
        dbus_message_iter_recurse(&array, &entry);
        auto key = basicString(&entry);
        if (key && dbus_message_iter_next(&entry) &&
            dbus_message_iter_get_arg_type(&entry) == DBUS_TYPE_VARIANT) {
            DBusMessageIter value;
            dbus_message_iter_recurse(&entry, &value);
            each(*key, &value);
        }
        dbus_message_iter_next(&array);
    }
    return true;
}

}  // namespace

std::optional<std::uint32_t> u32(DBusMessage* message) {
    DBusMessageIter iter;
    if (!begin(message, &iter) || dbus_message_iter_get_arg_type(&iter) != DBUS_TYPE_UINT32) {
        return std::nullopt;
    }
    dbus_uint32_t value = 0;
    dbus_message_iter_get_basic(&iter, &value);
    return value;
}

std::optional<bool> boolean(DBusMessage* message) {
    DBusMessageIter iter;
    if (!begin(message, &iter) || dbus_message_iter_get_arg_type(&iter) != DBUS_TYPE_BOOLEAN) {
        return std::nullopt;
    }
    dbus_bool_t value = 0;
    dbus_message_iter_get_basic(&iter, &value);
    return value != 0;
}

std::optional<std::string> string(DBusMessage* message) {
    DBusMessageIter iter;
    if (!begin(message, &iter)) {
        return std::nullopt;
    }
    return basicString(&iter);
}

std::optional<std::vector<std::uint32_t>> u32Array(DBusMessage* message) {
    DBusMessageIter iter, array;
    if (!begin(message, &iter) || !enterArray(&iter, DBUS_TYPE_UINT32, &array)) {
        return std::nullopt;
    }
    std::vector<std::uint32_t> values;
    while (dbus_message_iter_get_arg_type(&array) == DBUS_TYPE_UINT32) {
        dbus_uint32_t value = 0;
        dbus_message_iter_get_basic(&array, &value);
        values.push_back(value);
        dbus_message_iter_next(&array);
    }
    return values;
}

std::optional<std::vector<std::string>> stringArray(DBusMessage* message) {
    DBusMessageIter iter, array;
    if (!begin(message, &iter) || !enterArray(&iter, DBUS_TYPE_STRING, &array)) {
        return std::nullopt;
    }
    std::vector<std::string> values;
    while (auto value = basicString(&array)) {
        values.push_back(std::move(*value));
        if (!dbus_message_iter_next(&array)) {
            break;
        }
    }
    return values;
}

std::optional<ObjectRef> objectRef(DBusMessage* message) {
    DBusMessageIter iter;
    if (!begin(message, &iter)) {
        return std::nullopt;
    }
    if (dbus_message_iter_get_arg_type(&iter) == DBUS_TYPE_VARIANT) {
        DBusMessageIter inner;
        dbus_message_iter_recurse(&iter, &inner);
        return objectRefAt(&inner);
    }
    return objectRefAt(&iter);
}

std::optional<std::vector<ObjectRef>> objectRefs(DBusMessage* message, std::size_t most) {
    DBusMessageIter iter, array;
    if (!begin(message, &iter) || !enterArray(&iter, DBUS_TYPE_STRUCT, &array)) {
        return std::nullopt;
    }
    std::vector<ObjectRef> refs;
    while (refs.size() < most && dbus_message_iter_get_arg_type(&array) == DBUS_TYPE_STRUCT) {
        if (auto ref = objectRefAt(&array)) {
            refs.push_back(std::move(*ref));
        }
        dbus_message_iter_next(&array);
    }
    return refs;
}

std::optional<std::vector<std::pair<std::string, std::string>>> stringMap(DBusMessage* message) {
    DBusMessageIter iter, array;
    if (!begin(message, &iter) || !enterArray(&iter, DBUS_TYPE_DICT_ENTRY, &array)) {
        return std::nullopt;
    }
    std::vector<std::pair<std::string, std::string>> entries;
    while (dbus_message_iter_get_arg_type(&array) == DBUS_TYPE_DICT_ENTRY) {
        DBusMessageIter entry;
        dbus_message_iter_recurse(&array, &entry);
        auto key = basicString(&entry);
        if (key && dbus_message_iter_next(&entry)) {
            if (auto value = basicString(&entry)) {
                entries.emplace_back(std::move(*key), std::move(*value));
            }
        }
        dbus_message_iter_next(&array);
    }
    return entries;
}

std::optional<std::vector<std::int32_t>> i32Struct(DBusMessage* message) {
    DBusMessageIter iter;
    if (!begin(message, &iter) || dbus_message_iter_get_arg_type(&iter) != DBUS_TYPE_STRUCT) {
        return std::nullopt;
    }
    DBusMessageIter inner;
    dbus_message_iter_recurse(&iter, &inner);
    std::vector<std::int32_t> values;
    while (dbus_message_iter_get_arg_type(&inner) == DBUS_TYPE_INT32) {
        dbus_int32_t value = 0;
        dbus_message_iter_get_basic(&inner, &value);
        values.push_back(value);
        dbus_message_iter_next(&inner);
    }
    return values;
}

std::optional<std::vector<std::string>> actionNames(DBusMessage* message) {
    DBusMessageIter iter, array;
    if (!begin(message, &iter) || !enterArray(&iter, DBUS_TYPE_STRUCT, &array)) {
        return std::nullopt;
    }
    std::vector<std::string> names;
    while (dbus_message_iter_get_arg_type(&array) == DBUS_TYPE_STRUCT) {
        DBusMessageIter entry;
        dbus_message_iter_recurse(&array, &entry);
        auto name = basicString(&entry);
        names.push_back(name.value_or(""));
        dbus_message_iter_next(&array);
    }
    return names;
}

std::optional<double> variantNumber(DBusMessage* message) {
    DBusMessageIter inner;
    if (!enterVariant(message, &inner)) {
        return std::nullopt;
    }
    return basicNumber(&inner);
}

std::optional<bool> variantBool(DBusMessage* message) {
    DBusMessageIter inner;
    if (!enterVariant(message, &inner) ||
        dbus_message_iter_get_arg_type(&inner) != DBUS_TYPE_BOOLEAN) {
        return std::nullopt;
    }
    dbus_bool_t value = 0;
    dbus_message_iter_get_basic(&inner, &value);
    return value != 0;
}

std::optional<std::string> variantString(DBusMessage* message) {
    DBusMessageIter inner;
    if (!enterVariant(message, &inner)) {
        return std::nullopt;
    }
    return basicString(&inner);
}

std::optional<std::int32_t> count(std::optional<double> number) {
    if (!number || !(*number >= 0)) {
        return std::nullopt;
    }
    constexpr double kMost = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(std::min(std::floor(*number), kMost));
}

std::optional<AccessibleProps> accessibleProps(DBusMessage* message) {
    DBusMessageIter iter;
    if (!begin(message, &iter)) {
        return std::nullopt;
    }
    AccessibleProps props;
    const bool ok = forEachProperty(&iter, [&](const std::string& key, DBusMessageIter* value) {
        if (key == "Name") {
            props.name = basicString(value);
        } else if (key == "Description") {
            props.description = basicString(value);
        } else if (key == "ChildCount") {
            props.childCount = count(basicNumber(value));
        } else if (key == "Parent") {
            props.parent = objectRefAt(value);
        }
    });
    if (!ok) {
        return std::nullopt;
    }
    return props;
}

std::optional<std::vector<ObjectRef>> relationTargets(DBusMessage* message, std::uint32_t type) {
    DBusMessageIter iter, array;
    if (!begin(message, &iter) || !enterArray(&iter, DBUS_TYPE_STRUCT, &array)) {
        return std::nullopt;
    }
    while (dbus_message_iter_get_arg_type(&array) == DBUS_TYPE_STRUCT) {
        DBusMessageIter relation;
        dbus_message_iter_recurse(&array, &relation);
        if (dbus_message_iter_get_arg_type(&relation) == DBUS_TYPE_UINT32) {
            dbus_uint32_t relationType = 0;
            dbus_message_iter_get_basic(&relation, &relationType);
            DBusMessageIter targets;
            if (relationType == type && dbus_message_iter_next(&relation) &&
                enterArray(&relation, DBUS_TYPE_STRUCT, &targets)) {
                std::vector<ObjectRef> refs;
                while (dbus_message_iter_get_arg_type(&targets) == DBUS_TYPE_STRUCT) {
                    if (auto ref = objectRefAt(&targets)) {
                        refs.push_back(std::move(*ref));
                    }
                    dbus_message_iter_next(&targets);
                }
                return refs;
            }
        }
        dbus_message_iter_next(&array);
    }
    return std::vector<ObjectRef>{};
}

}  // namespace reply

}  // namespace ovra::atspi
