#include "platform/desktopsettings/GSettingsStore.h"

#include <gio/gio.h>

#include <cmath>
#include <string>
#include <unordered_map>

namespace ovra::desktop {
namespace {

struct Unref {
    void operator()(GSettings* settings) const { g_object_unref(settings); }
    void operator()(GSettingsSchema* schema) const { g_settings_schema_unref(schema); }
    void operator()(GVariant* value) const { g_variant_unref(value); }
};

template <class T>
using Owned = std::unique_ptr<T, Unref>;

}  // namespace

struct GSettingsStore::Impl {
    struct Entry {
        Owned<GSettingsSchema> schema;
        Owned<GSettings> settings;
    };
    // One entry per schema asked for; a null entry remembers that the schema is missing.
    std::unordered_map<std::string, Entry> schemas;

    const Entry* entry(std::string_view id) {
        const std::string key(id);
        auto it = schemas.find(key);
        if (it == schemas.end()) {
            Entry made;
            GSettingsSchemaSource* source = g_settings_schema_source_get_default();
            if (source != nullptr) {
                made.schema.reset(g_settings_schema_source_lookup(source, key.c_str(), TRUE));
            }
            if (made.schema) {
                made.settings.reset(g_settings_new_full(made.schema.get(), nullptr, nullptr));
            }
            it = schemas.emplace(key, std::move(made)).first;
        }
        return it->second.settings ? &it->second : nullptr;
    }

    // The key's value, absent when the schema or the key is missing.
    Owned<GVariant> value(std::string_view schema, std::string_view key) {
        const Entry* e = entry(schema);
        const std::string name(key);
        if (e == nullptr || !g_settings_schema_has_key(e->schema.get(), name.c_str())) {
            return nullptr;
        }
        return Owned<GVariant>(g_settings_get_value(e->settings.get(), name.c_str()));
    }
};

GSettingsStore::GSettingsStore() : impl_(std::make_unique<Impl>()) {}

GSettingsStore::~GSettingsStore() = default;

std::optional<bool> GSettingsStore::boolean(std::string_view schema, std::string_view key) {
    std::lock_guard lock(mutex_);
    auto v = impl_->value(schema, key);
    if (!v || !g_variant_is_of_type(v.get(), G_VARIANT_TYPE_BOOLEAN)) {
        return std::nullopt;
    }
    return g_variant_get_boolean(v.get()) != FALSE;
}

std::optional<double> GSettingsStore::number(std::string_view schema, std::string_view key) {
    std::lock_guard lock(mutex_);
    auto v = impl_->value(schema, key);
    if (!v) {
        return std::nullopt;
    }
    GVariant* raw = v.get();
    std::optional<double> result;
    if (g_variant_is_of_type(raw, G_VARIANT_TYPE_DOUBLE)) {
        result = g_variant_get_double(raw);
    } else if (g_variant_is_of_type(raw, G_VARIANT_TYPE_INT32)) {
        result = g_variant_get_int32(raw);
    } else if (g_variant_is_of_type(raw, G_VARIANT_TYPE_UINT32)) {
        result = g_variant_get_uint32(raw);
    } else if (g_variant_is_of_type(raw, G_VARIANT_TYPE_INT64)) {
        result = static_cast<double>(g_variant_get_int64(raw));
    } else if (g_variant_is_of_type(raw, G_VARIANT_TYPE_UINT64)) {
        result = static_cast<double>(g_variant_get_uint64(raw));
    }
    if (result && !std::isfinite(*result)) {
        return std::nullopt;
    }
    return result;
}

std::optional<std::string> GSettingsStore::text(std::string_view schema, std::string_view key) {
    std::lock_guard lock(mutex_);
    auto v = impl_->value(schema, key);
    if (!v || !g_variant_is_of_type(v.get(), G_VARIANT_TYPE_STRING)) {
        return std::nullopt;
    }
    return std::string(g_variant_get_string(v.get(), nullptr));
}

}  // namespace ovra::desktop
