#include "platform/desktopsettings/AccessibilitySwitch.h"

#include <gio/gio.h>

#include <memory>
#include <thread>

namespace ovra::desktop {
namespace {

constexpr const char* kInterfaceSchema = "org.gnome.desktop.interface";
constexpr const char* kToolkitKey = "toolkit-accessibility";
// A launcher that does not answer must not hold the caller up.
constexpr int kBusTimeoutMs = 1000;

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
    std::thread([post = post_, done = std::move(done)]() mutable {
        // The bus is what apps of this session ask: its answer is the switch's. The key keeps it
        // on for later sessions; one that cannot be written (locked, or no GNOME schemas) leaves
        // this session on all the same, and waiting for its write holds no one up here.
        std::optional<std::string> problem = setBusEnabled();
        post([done = std::move(done), problem = std::move(problem)]() mutable {
            done(std::move(problem));
        });
        if (const auto schema = toolkitSchema()) {
            setToolkitKey(schema.get());
        }
    }).detach();
}

std::string SessionAccessibilitySwitch::byHandCommand() const {
    return accessibilityCommand(toolkitSchema() != nullptr);
}

}  // namespace ovra::desktop
