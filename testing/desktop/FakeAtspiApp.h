#pragma once

// A tiny accessible app on the real accessibility bus, served from its own thread and
// connection: a window holding a button, a list with a huge child count, a child whose
// reference names a bus that cannot exist and a slider. It tells no toolkit and, like Qt, dies
// when asked for all Accessible properties at once; it can stop answering, to test the reader
// against a hung app. Like Chromium, it dies when asked for all of its slider's Value
// properties at once, and cannot give the slider's minimum.

#include <dbus/dbus.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ovra::testing {

class FakeAtspiApp {
  public:
    static constexpr std::int32_t kHugeListSize = 1'000'000;

    // A sleepy app shows an empty window until a client asks for object attributes, as
    // Chromium does before it turns on its full tree. With `nameAtLeast`, it takes the first
    // unique bus name numbered at least that (":1.N"), holding spare connections meanwhile.
    explicit FakeAtspiApp(bool sleepy = false, int nameAtLeast = 0) : awake_(!sleepy) {
        dbus_threads_init_default();
        DBusError error;
        dbus_error_init(&error);
        DBusConnection* session = dbus_bus_get_private(DBUS_BUS_SESSION, &error);
        if (session == nullptr) {
            dbus_error_free(&error);
            return;
        }
        dbus_connection_set_exit_on_disconnect(session, FALSE);
        DBusMessage* call = dbus_message_new_method_call("org.a11y.Bus", "/org/a11y/bus",
                                                         "org.a11y.Bus", "GetAddress");
        DBusMessage* reply = dbus_connection_send_with_reply_and_block(session, call, 2000, &error);
        dbus_message_unref(call);
        const char* address = nullptr;
        if (reply != nullptr) {
            dbus_message_get_args(reply, nullptr, DBUS_TYPE_STRING, &address, DBUS_TYPE_INVALID);
        }
        for (int tries = 0; address != nullptr && tries < 64 && connection_ == nullptr; ++tries) {
            DBusConnection* bus = dbus_connection_open_private(address, &error);
            if (bus == nullptr || !dbus_bus_register(bus, &error)) {
                break;
            }
            dbus_connection_set_exit_on_disconnect(bus, FALSE);
            const bool far =
                std::atoi(std::strrchr(dbus_bus_get_unique_name(bus), '.') + 1) >= nameAtLeast;
            (far ? connection_ : spare_.emplace_back()) = bus;
        }
        if (reply != nullptr) {
            dbus_message_unref(reply);
        }
        dbus_connection_close(session);
        dbus_connection_unref(session);
        dbus_error_free(&error);
        if (connection_ == nullptr) {
            return;
        }
        busName_ = dbus_bus_get_unique_name(connection_);
        thread_ = std::thread([this] { serve(); });
        embed();
    }

    ~FakeAtspiApp() {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
        spare_.push_back(connection_);
        for (DBusConnection* bus : spare_) {
            if (bus != nullptr) {
                dbus_connection_close(bus);
                dbus_connection_unref(bus);
            }
        }
    }

    bool ready() const { return !busName_.empty(); }
    const std::string& busName() const { return busName_; }
    void hang(bool hung) { hung_ = hung; }
    // Whether a call has made it stop for good, as Chromium aborts.
    bool crashed() const { return crashed_; }
    // Calls of a member, of a member on an interface's properties, or on an object path.
    int calls(const std::string& member) {
        std::lock_guard lock(mutex_);
        return counts_[member];
    }

  private:
    // Announces the app to the registry, as a toolkit bridge does at start.
    void embed() {
        DBusMessage* call = dbus_message_new_method_call("org.a11y.atspi.Registry",
                                                         "/org/a11y/atspi/accessible/root",
                                                         "org.a11y.atspi.Socket", "Embed");
        DBusMessageIter iter;
        dbus_message_iter_init_append(call, &iter);
        appendRef(&iter, "/org/a11y/atspi/accessible/root");
        std::lock_guard lock(sendMutex_);
        dbus_connection_send(connection_, call, nullptr);
        dbus_connection_flush(connection_);
        dbus_message_unref(call);
    }

    void appendRef(DBusMessageIter* iter, const char* path, const char* bus = nullptr) {
        DBusMessageIter ref;
        dbus_message_iter_open_container(iter, DBUS_TYPE_STRUCT, nullptr, &ref);
        const char* name = bus ? bus : busName_.c_str();
        dbus_message_iter_append_basic(&ref, DBUS_TYPE_STRING, &name);
        dbus_message_iter_append_basic(&ref, DBUS_TYPE_OBJECT_PATH, &path);
        dbus_message_iter_close_container(iter, &ref);
    }

    struct Object {
        std::uint32_t role;
        std::string name;
        std::vector<std::int32_t> extents;  // empty: no Component
        std::vector<std::string> children;  // paths
        std::int32_t childCount;
        std::uint32_t states;
    };

    static const std::map<std::string, Object>& objects() {
        // Roles and states by their AT-SPI numbers: application 75, frame 23, push button
        // 43, list 31, list item 32, text 61, slider 51; states active 1, enabled 8, sensitive 24,
        // showing 25, visible 30.
        constexpr std::uint32_t shown = (1U << 8) | (1U << 24) | (1U << 25) | (1U << 30);
        static const std::map<std::string, Object> table{
            {"/org/a11y/atspi/accessible/root", {75, "Fake", {}, {"/w"}, 1, 0}},
            {"/w",
             {23,
              "Fake window",
              {100, 100, 800, 600},
              {"/w/b", "/w/l", "/w/ghost", "/w/n", "/w/s"},
              5,
              shown | 2U}},
            {"/w/b", {43, "Press me", {120, 140, 100, 30}, {}, 0, shown}},
            {"/w/l", {31, "Rows", {120, 200, 300, 400}, {}, kHugeListSize, shown}},
            // A nameless button labelled by a read-only text (role 61) inside it.
            {"/w/n", {43, "", {240, 140, 100, 30}, {"/w/n/t"}, 1, shown}},
            {"/w/n/t", {61, "", {245, 145, 90, 20}, {}, 0, shown}},
            {"/w/s", {51, "Volume", {360, 140, 200, 20}, {}, 0, shown}},
        };
        return table;
    }

    void serve() {
        while (!stop_) {
            if (!dbus_connection_read_write(connection_, 20)) {
                return;
            }
            while (DBusMessage* message = dbus_connection_pop_message(connection_)) {
                if (dbus_message_get_type(message) == DBUS_MESSAGE_TYPE_METHOD_CALL && !hung_ &&
                    !crashed_) {
                    answer(message);
                }
                dbus_message_unref(message);
            }
        }
    }

    // A variant holding one basic value.
    static void appendVariant(DBusMessageIter* iter, const char* signature, int type,
                              const void* value) {
        DBusMessageIter variant;
        dbus_message_iter_open_container(iter, DBUS_TYPE_VARIANT, signature, &variant);
        dbus_message_iter_append_basic(&variant, type, value);
        dbus_message_iter_close_container(iter, &variant);
    }

    void answer(DBusMessage* call) {
        const std::string member = dbus_message_get_member(call);
        const std::string interface =
            dbus_message_get_interface(call) ? dbus_message_get_interface(call) : "";
        const std::string path = dbus_message_get_path(call);
        // A Properties call's interface and property name (its arguments).
        const char* about = nullptr;
        const char* property = nullptr;
        if (interface == "org.freedesktop.DBus.Properties" &&
            !dbus_message_get_args(call, nullptr, DBUS_TYPE_STRING, &about, DBUS_TYPE_STRING,
                                   &property, DBUS_TYPE_INVALID)) {
            dbus_message_get_args(call, nullptr, DBUS_TYPE_STRING, &about, DBUS_TYPE_INVALID);
        }
        const std::string propertiesOf = about ? about : "";
        const std::string name = property ? property : "";
        {
            std::lock_guard lock(mutex_);
            counts_[member] += 1;
            if (!propertiesOf.empty()) {
                counts_[member + " " + propertiesOf] += 1;
            }
            counts_[path] += 1;
        }
        if (member == "GetAll" && (propertiesOf == "org.a11y.atspi.Value" ||
                                   propertiesOf == "org.a11y.atspi.Accessible")) {
            crashed_ = true;  // Chromium and Qt end here; nothing answers any more
            return;
        }
        Object item{32, "", {120, 200, 300, 20}, {}, 0, (1U << 8) | (1U << 25) | (1U << 30)};
        const Object* object = nullptr;
        if (path.rfind("/w/l/", 0) == 0) {
            item.name = "Row " + path.substr(5);
            object = &item;
        } else if (auto it = objects().find(path); it != objects().end()) {
            object = &it->second;
        }
        DBusMessage* reply = nullptr;
        DBusMessageIter iter, inner;
        auto ret = [&] {
            reply = dbus_message_new_method_return(call);
            dbus_message_iter_init_append(reply, &iter);
        };
        auto error = [&](const char* errorName, const char* text) {
            reply = dbus_message_new_error(call, errorName, text);
        };
        if (object == nullptr) {
            error("org.freedesktop.DBus.Error.UnknownObject", "no such object");
        } else if (member == "GetAttributes") {
            awake_ = true;
            ret();
            dbus_message_iter_open_container(&iter, DBUS_TYPE_ARRAY, "{ss}", &inner);
            dbus_message_iter_close_container(&iter, &inner);
        } else if (member == "GetText" && path == "/w/n/t") {
            ret();
            const char* text = "  Send \n  now ";
            dbus_message_iter_append_basic(&iter, DBUS_TYPE_STRING, &text);
        } else if (member == "GetRole") {
            ret();
            dbus_message_iter_append_basic(&iter, DBUS_TYPE_UINT32, &object->role);
        } else if (member == "GetState") {
            ret();
            const std::uint32_t high = 0;
            dbus_message_iter_open_container(&iter, DBUS_TYPE_ARRAY, "u", &inner);
            dbus_message_iter_append_basic(&inner, DBUS_TYPE_UINT32, &object->states);
            dbus_message_iter_append_basic(&inner, DBUS_TYPE_UINT32, &high);
            dbus_message_iter_close_container(&iter, &inner);
        } else if (member == "Get" && propertiesOf == "org.a11y.atspi.Value") {
            if (name == "MinimumValue") {
                error("org.freedesktop.DBus.Error.Failed", "no minimum");
            } else {
                ret();
                const double value = name == "MaximumValue" ? 100.0 : 40.0;
                appendVariant(&iter, "d", DBUS_TYPE_DOUBLE, &value);
            }
        } else if (member == "Get" && !propertiesOf.empty()) {
            ret();
            if (name == "Name" || name == "Description") {
                const char* text = name == "Name" ? object->name.c_str() : "";
                appendVariant(&iter, "s", DBUS_TYPE_STRING, &text);
            } else if (name == "ChildCount") {
                const std::int32_t count = path == "/w" && !awake_ ? 0 : object->childCount;
                appendVariant(&iter, "i", DBUS_TYPE_INT32, &count);
            } else {
                dbus_message_iter_open_container(&iter, DBUS_TYPE_VARIANT, "(so)", &inner);
                appendRef(&inner, path == "/w" ? "/org/a11y/atspi/accessible/root" : "/w");
                dbus_message_iter_close_container(&iter, &inner);
            }
        } else if (member == "GetExtents" && !object->extents.empty()) {
            ret();
            dbus_message_iter_open_container(&iter, DBUS_TYPE_STRUCT, nullptr, &inner);
            for (std::int32_t v : object->extents) {
                dbus_message_iter_append_basic(&inner, DBUS_TYPE_INT32, &v);
            }
            dbus_message_iter_close_container(&iter, &inner);
        } else if (member == "GetChildren") {
            ret();
            dbus_message_iter_open_container(&iter, DBUS_TYPE_ARRAY, "(so)", &inner);
            const bool empty = path == "/w" && !awake_;
            for (const auto& child : empty ? std::vector<std::string>{} : object->children) {
                // A child on a bus name that cannot exist: the reader must skip it unharmed.
                appendRef(&inner, child.c_str(), child == "/w/ghost" ? "not a bus name!" : nullptr);
            }
            dbus_message_iter_close_container(&iter, &inner);
        } else if (member == "GetChildAtIndex") {
            dbus_int32_t index = -1;
            dbus_message_get_args(call, nullptr, DBUS_TYPE_INT32, &index, DBUS_TYPE_INVALID);
            ret();
            appendRef(&iter, (path + "/" + std::to_string(index)).c_str());
        } else if (member == "GetInterfaces") {
            ret();
            const char* accessible = "org.a11y.atspi.Accessible";
            dbus_message_iter_open_container(&iter, DBUS_TYPE_ARRAY, "s", &inner);
            dbus_message_iter_append_basic(&inner, DBUS_TYPE_STRING, &accessible);
            dbus_message_iter_close_container(&iter, &inner);
        } else {
            // Like toolkits without Properties.GetAll: an unknown method.
            error("org.freedesktop.DBus.Error.UnknownMethod", member.c_str());
        }
        std::lock_guard lock(sendMutex_);
        dbus_connection_send(connection_, reply, nullptr);
        dbus_message_unref(reply);
    }

    DBusConnection* connection_ = nullptr;
    std::string busName_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> hung_{false};
    std::atomic<bool> crashed_{false};
    std::atomic<bool> awake_{true};
    std::mutex mutex_;
    std::mutex sendMutex_;
    std::map<std::string, int> counts_;
    std::vector<DBusConnection*> spare_;
};

}  // namespace ovra::testing
