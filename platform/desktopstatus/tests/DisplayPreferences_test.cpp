// The desktop's display preferences as the app's drawing reads them: GNOME's keys, and all off
// where the desktop has no such key.

#include "platform/desktopstatus/DisplayPreferences.h"

#include <gtest/gtest.h>

namespace ovra::desktopstatus {
namespace {

constexpr const char* kInterface = "org.gnome.desktop.interface";
constexpr const char* kA11yInterface = "org.gnome.desktop.a11y.interface";

TEST(DisplayPreferences, GnomesKeysElseAllOff) {
    struct Case {
        const char* name;
        std::optional<bool> animations;
        std::optional<bool> highContrast;
        DisplayPreferences read;
    } const cases[] = {
        {"a desktop without the keys", std::nullopt, std::nullopt, {}},
        {"animations on, contrast off", true, false, {}},
        {"animations off", false, std::nullopt, {.reduceMotion = true}},
        {"high contrast on", std::nullopt, true, {.increaseContrast = true}},
        {"both", false, true, {.reduceMotion = true, .increaseContrast = true}},
    };
    for (const Case& c : cases) {
        desktop::MemorySettings settings;
        if (c.animations) {
            settings.set(kInterface, "enable-animations", *c.animations);
        }
        if (c.highContrast) {
            settings.set(kA11yInterface, "high-contrast", *c.highContrast);
        }
        // No desktop here has a reduce-transparency setting: it always reads off.
        EXPECT_EQ(readDisplayPreferences(settings), c.read) << c.name;
    }
}

}  // namespace
}  // namespace ovra::desktopstatus
