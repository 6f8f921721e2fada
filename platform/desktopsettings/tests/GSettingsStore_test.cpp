// Reading the desktop's settings through GSettings, on GLib's in-memory back end.

#include "platform/desktopsettings/GSettingsStore.h"

#include <gio/gio.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/desktopsettings/SettingsWatch.h"

namespace ovra::desktop {
namespace {

constexpr const char* kInterface = "org.gnome.desktop.interface";

class GSettingsStoreTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        // Writes stay in this process; nothing touches the user's settings.
        setenv("GSETTINGS_BACKEND", "memory", 1);
    }

    void SetUp() override {
        GSettingsSchemaSource* source = g_settings_schema_source_get_default();
        GSettingsSchema* schema =
            source ? g_settings_schema_source_lookup(source, kInterface, TRUE) : nullptr;
        if (schema == nullptr) {
            GTEST_SKIP() << "the desktop schemas are not installed (gsettings-desktop-schemas)";
        }
        g_settings_schema_unref(schema);
        settings_ = g_settings_new(kInterface);
    }

    void TearDown() override {
        if (settings_ != nullptr) {
            g_object_unref(settings_);
        }
    }

    GSettings* settings_ = nullptr;
};

TEST_F(GSettingsStoreTest, ReadsTypedValuesLive) {
    GSettingsStore store;
    g_settings_set_boolean(settings_, "enable-animations", FALSE);
    g_settings_set_double(settings_, "text-scaling-factor", 1.25);
    g_settings_set_int(settings_, "cursor-size", 48);
    g_settings_set_string(settings_, "gtk-theme", "HighContrast");
    EXPECT_EQ(store.boolean(kInterface, "enable-animations"), false);
    EXPECT_EQ(store.number(kInterface, "text-scaling-factor"), 1.25);
    EXPECT_EQ(store.number(kInterface, "cursor-size"), 48);
    EXPECT_EQ(store.text(kInterface, "gtk-theme"), "HighContrast");

    g_settings_set_boolean(settings_, "enable-animations", TRUE);
    EXPECT_EQ(store.boolean(kInterface, "enable-animations"), true);
}

TEST_F(GSettingsStoreTest, MissingSchemasKeysAndOtherTypesReadAsAbsent) {
    GSettingsStore store;
    EXPECT_EQ(store.boolean("org.example.no.such.schema", "enabled"), std::nullopt);
    EXPECT_EQ(store.boolean(kInterface, "no-such-key"), std::nullopt);
    EXPECT_EQ(store.boolean(kInterface, "cursor-size"), std::nullopt);
    EXPECT_EQ(store.number(kInterface, "enable-animations"), std::nullopt);
    EXPECT_EQ(store.text(kInterface, "text-scaling-factor"), std::nullopt);
    // Asking twice for a missing schema stays harmless.
    EXPECT_EQ(store.number("org.example.no.such.schema", "size"), std::nullopt);
}

// A change made anywhere reaches the watch through the main context; the keys this desktop lacks
// are left out, never a crash.
TEST_F(GSettingsStoreTest, TheWatchHearsChangesAndLeavesOutWhatTheDesktopLacks) {
    g_settings_set_boolean(settings_, "enable-animations", TRUE);
    int heard = 0;
    SettingsWatch watch({{kInterface, "enable-animations"},
                         {kInterface, "no-such-key"},
                         {"org.example.no.such.schema", "enabled"}},
                        [&heard] { ++heard; });
    EXPECT_EQ(watch.watched(), 1u);
    g_settings_set_boolean(settings_, "enable-animations", FALSE);
    for (int i = 0; i < 100 && heard == 0; ++i) {
        g_main_context_iteration(nullptr, FALSE);
    }
    EXPECT_GE(heard, 1);
    const int before = heard;
    g_settings_set_int(settings_, "cursor-size", 48);  // a key not watched
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    EXPECT_EQ(heard, before);
}

}  // namespace
}  // namespace ovra::desktop
