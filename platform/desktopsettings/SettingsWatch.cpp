#include "platform/desktopsettings/SettingsWatch.h"

#include <gio/gio.h>

namespace ovra::desktop {

struct SettingsWatch::Impl {
    struct Watched {
        GSettings* settings = nullptr;
        gulong handler = 0;
    };
    std::vector<Watched> watched;
    std::function<void()> changed;

    static void onChanged(GSettings*, const gchar*, gpointer self) {
        const auto* impl = static_cast<Impl*>(self);
        if (impl->changed) {
            impl->changed();
        }
    }
};

SettingsWatch::SettingsWatch(std::vector<Key> keys, std::function<void()> changed)
    : impl_(std::make_unique<Impl>()) {
    impl_->changed = std::move(changed);
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    for (const auto& [schemaId, key] : keys) {
        GSettingsSchema* schema =
            source ? g_settings_schema_source_lookup(source, schemaId.c_str(), TRUE) : nullptr;
        if (schema == nullptr) {
            continue;
        }
        if (g_settings_schema_has_key(schema, key.c_str())) {
            GSettings* settings = g_settings_new_full(schema, nullptr, nullptr);
            const std::string signal = "changed::" + key;
            const gulong handler = g_signal_connect(settings, signal.c_str(),
                                                    G_CALLBACK(&Impl::onChanged), impl_.get());
            // GSettings tells of changes only to keys read since the handler was connected.
            g_variant_unref(g_settings_get_value(settings, key.c_str()));
            impl_->watched.push_back({settings, handler});
        }
        g_settings_schema_unref(schema);
    }
}

SettingsWatch::~SettingsWatch() {
    for (const auto& w : impl_->watched) {
        g_signal_handler_disconnect(w.settings, w.handler);
        g_object_unref(w.settings);
    }
}

std::size_t SettingsWatch::watched() const {
    return impl_->watched.size();
}

}  // namespace ovra::desktop
