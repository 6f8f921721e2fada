#pragma once

// The bus side of a scripted accessible app: a private connection to the real accessibility bus,
// its announcement to the registry, and a thread that hands every method call to the app and
// sends back what it answers. The app builds its answers with the helpers below.

#include <dbus/dbus.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace ovra::testing {

class AtspiPeer {
  public:
    static constexpr const char* kRoot = "/org/a11y/atspi/accessible/root";

    // Answers one call: a reply or an error made for it, or null to leave it unanswered.
    using Answer = std::function<DBusMessage*(DBusMessage* call)>;

    AtspiPeer() {
        dbus_threads_init_default();
        DBusError error;
        dbus_error_init(&error);
        DBusConnection* session = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
        if (session != nullptr) {
            dbus_connection_set_exit_on_disconnect(session, FALSE);
            DBusMessage* call = dbus_message_new_method_call("org.a11y.Bus", "/org/a11y/bus",
                                                             "org.a11y.Bus", "GetAddress");
            DBusMessage* reply =
                dbus_connection_send_with_reply_and_block(session, call, 2000, &error);
            dbus_message_unref(call);
            const char* address = nullptr;
            if (reply != nullptr && dbus_message_get_args(reply, nullptr, DBUS_TYPE_STRING,
                                                          &address, DBUS_TYPE_INVALID)) {
                connection_ = dbus_connection_open_private(address, &error);
                if (connection_ != nullptr && !dbus_bus_register(connection_, &error)) {
                    dbus_connection_close(connection_);
                    dbus_connection_unref(connection_);
                    connection_ = nullptr;
                }
            }
            if (reply != nullptr) {
                dbus_message_unref(reply);
            }
            dbus_connection_close(session);
            dbus_connection_unref(session);
        }
        dbus_error_free(&error);
        if (connection_ != nullptr) {
            dbus_connection_set_exit_on_disconnect(connection_, FALSE);
            busName_ = dbus_bus_get_unique_name(connection_);
        }
    }

    ~AtspiPeer() {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
        if (connection_ != nullptr) {
            dbus_connection_close(connection_);
            dbus_connection_unref(connection_);
        }
    }
    AtspiPeer(const AtspiPeer&) = delete;
    AtspiPeer& operator=(const AtspiPeer&) = delete;

    bool ready() const { return !busName_.empty(); }
    const std::string& busName() const { return busName_; }

    // Starts answering and announces the app to the registry, as a toolkit bridge does.
    void start(Answer answer) {
        if (!ready()) {
            return;
        }
        answer_ = std::move(answer);
        thread_ = std::thread([this] { serve(); });
        DBusMessage* call = dbus_message_new_method_call("org.a11y.atspi.Registry", kRoot,
                                                         "org.a11y.atspi.Socket", "Embed");
        DBusMessageIter iter;
        dbus_message_iter_init_append(call, &iter);
        appendRef(&iter, kRoot);
        std::lock_guard lock(sendMutex_);
        dbus_connection_send(connection_, call, nullptr);
        dbus_connection_flush(connection_);
        dbus_message_unref(call);
    }

    // Calls answered, by member.
    int calls(const std::string& member) {
        std::lock_guard lock(mutex_);
        return counts_[member];
    }

    // --- Building answers ---

    void appendRef(DBusMessageIter* iter, const std::string& path) const {
        DBusMessageIter ref;
        dbus_message_iter_open_container(iter, DBUS_TYPE_STRUCT, nullptr, &ref);
        const char* name = busName_.c_str();
        const char* object = path.c_str();
        dbus_message_iter_append_basic(&ref, DBUS_TYPE_STRING, &name);
        dbus_message_iter_append_basic(&ref, DBUS_TYPE_OBJECT_PATH, &object);
        dbus_message_iter_close_container(iter, &ref);
    }
    static void appendVariant(DBusMessageIter* iter, const char* signature, int type,
                              const void* value) {
        DBusMessageIter variant;
        dbus_message_iter_open_container(iter, DBUS_TYPE_VARIANT, signature, &variant);
        dbus_message_iter_append_basic(&variant, type, value);
        dbus_message_iter_close_container(iter, &variant);
    }
    static void appendString(DBusMessageIter* iter, const std::string& text) {
        const char* value = text.c_str();
        dbus_message_iter_append_basic(iter, DBUS_TYPE_STRING, &value);
    }

  private:
    void serve() {
        while (!stop_) {
            if (!dbus_connection_read_write(connection_, 20)) {
                return;
            }
            while (DBusMessage* message = dbus_connection_pop_message(connection_)) {
                if (dbus_message_get_type(message) == DBUS_MESSAGE_TYPE_METHOD_CALL) {
                    {
                        std::lock_guard lock(mutex_);
                        counts_[dbus_message_get_member(message)] += 1;
                    }
                    if (DBusMessage* reply = answer_(message)) {
                        std::lock_guard lock(sendMutex_);
                        dbus_connection_send(connection_, reply, nullptr);
                        dbus_message_unref(reply);
                    }
                }
                dbus_message_unref(message);
            }
        }
    }

    DBusConnection* connection_ = nullptr;
    std::string busName_;
    Answer answer_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::mutex sendMutex_;
    std::map<std::string, int> counts_;
};

}  // namespace ovra::testing
