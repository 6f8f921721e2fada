#include "platform/desktopsettings/AccessibilitySwitch.h"

#include <gio/gio.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace ovra::desktop {
namespace {

constexpr const char* kInterfaceSchema = "org.gnome.desktop.interface";
constexpr const char* kToolkitKey = "toolkit-accessibility";
// A launcher that does not answer must not hold the caller up.
constexpr int kBusTimeoutMs = 1000;
// The answer comes by then in any case: a bus daemon that stopped never completes the
// connection GLib opens to it, which has no time-out of its own.
constexpr std::chrono::milliseconds kAnswerBound{1500};

// The one answer of a request: the bus's, or the bound's when that comes first.
struct OneAnswer {
    SessionAccessibilitySwitch::Poster post;
    AccessibilitySwitch::Answer done;
    std::mutex mutex;
    std::condition_variable answered;
    bool given = false;

    void give(std::optional<std::string> problem) {
        {
            std::lock_guard lock(mutex);
            if (std::exchange(given, true)) {
                return;
            }
        }
        answered.notify_all();
        post([done = std::move(done), problem = std::move(problem)]() mutable {
            done(std::move(problem));
        });
    }
    void giveUpAfter(std::chrono::milliseconds bound) {
        std::unique_lock lock(mutex);
        if (answered.wait_for(lock, bound, [this] { return given; })) {
            return;
        }
        lock.unlock();
        give("the session bus did not answer within " + std::to_string(bound.count()) + " ms");
    }
};

struct Unref {
    void operator()(GSettings* settings) const { g_object_unref(settings); }
    void operator()(GSettingsSchema* schema) const { g_settings_schema_unref(schema); }
    void operator()(GDBusConnection* connection) const { g_object_unref(connection); }
    void operator()(GVariant* value) const { g_variant_unref(value); }
    void operator()(GError* error) const { g_error_free(error); }
};
template <class T>
using Owned = std::unique_ptr<T, Unref>;

std::string messageOf(GError* error) {
    return error != nullptr && error->message != nullptr ? error->message : "unknown error";
}

// GNOME's schema with the key, or none (looked up first: g_settings_new aborts on a missing one).
Owned<GSettingsSchema> toolkitSchema() {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (source == nullptr) {
        return nullptr;
    }
    Owned<GSettingsSchema> schema(g_settings_schema_source_lookup(source, kInterfaceSchema, TRUE));
    if (schema && !g_settings_schema_has_key(schema.get(), kToolkitKey)) {
        return nullptr;
    }
    return schema;
}

std::optional<std::string> setBusEnabled() {
    GError* raw = nullptr;
    Owned<GDBusConnection> bus(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &raw));
    Owned<GError> error(raw);
    if (!bus) {
        return "no session bus (" + messageOf(error.get()) + ")";
    }
    raw = nullptr;
    Owned<GVariant> reply(g_dbus_connection_call_sync(
        bus.get(), "org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "Set",
        g_variant_new("(ssv)", "org.a11y.Status", "IsEnabled", g_variant_new_boolean(TRUE)),
        nullptr, G_DBUS_CALL_FLAGS_NONE, kBusTimeoutMs, nullptr, &raw));
    error.reset(raw);
    if (!reply) {
        return "the accessibility bus did not take it (" + messageOf(error.get()) + ")";
    }
    return std::nullopt;
}

bool setToolkitKey(GSettingsSchema* schema) {
    Owned<GSettings> settings(g_settings_new_full(schema, nullptr, nullptr));
    if (!g_settings_is_writable(settings.get(), kToolkitKey) ||
        !g_settings_set_boolean(settings.get(), kToolkitKey, TRUE)) {
        return false;
    }
    g_settings_sync();
    return true;
}

}  // namespace

std::string accessibilityCommand(bool gnomeSchema) {
    return gnomeSchema ? "gsettings set org.gnome.desktop.interface toolkit-accessibility true"
                       : "busctl --user set-property org.a11y.Bus /org/a11y/bus org.a11y.Status "
                         "IsEnabled b true";
}

void SessionAccessibilitySwitch::turnOn(Answer done) {
    const auto answer = std::make_shared<OneAnswer>();
    answer->post = post_;
    answer->done = std::move(done);
    std::thread([answer] {
        // The bus is what apps of this session ask: its answer is the switch's. The key keeps it
        // on for later sessions; one that cannot be written (locked, or no GNOME schemas) leaves
        // this session on all the same, and waiting for its write holds no one up here.
        answer->give(setBusEnabled());
        if (const auto schema = toolkitSchema()) {
            setToolkitKey(schema.get());
        }
    }).detach();
    std::thread([answer] { answer->giveUpAfter(kAnswerBound); }).detach();
}

std::string SessionAccessibilitySwitch::byHandCommand() const {
    return accessibilityCommand(toolkitSchema() != nullptr);
}

}  // namespace ovra::desktop
