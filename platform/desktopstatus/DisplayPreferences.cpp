#include "platform/desktopstatus/DisplayPreferences.h"

#include "platform/desktopsettings/SettingsWatch.h"

namespace ovra::desktopstatus {

namespace {

constexpr const char* kInterface = "org.gnome.desktop.interface";
constexpr const char* kA11yInterface = "org.gnome.desktop.a11y.interface";

}  // namespace

DisplayPreferences readDisplayPreferences(desktop::DesktopSettings& settings) {
    DisplayPreferences out;
    out.reduceMotion = settings.boolean(kInterface, "enable-animations") == false;
    out.increaseContrast = settings.boolean(kA11yInterface, "high-contrast") == true;
    return out;
}

DisplayPreferencesSource::DisplayPreferencesSource(desktop::DesktopSettings& settings)
    : settings_(settings), told_(current()) {
    watch_ = std::make_unique<desktop::SettingsWatch>(
        std::vector<desktop::SettingsWatch::Key>{{kInterface, "enable-animations"},
                                                 {kA11yInterface, "high-contrast"}},
        [this] { changed(); });
}

DisplayPreferencesSource::~DisplayPreferencesSource() = default;

std::size_t DisplayPreferencesSource::subscribe(Listener listener) {
    listeners_.emplace(++lastID_, std::move(listener));
    return lastID_;
}

void DisplayPreferencesSource::unsubscribe(std::size_t id) {
    listeners_.erase(id);
}

void DisplayPreferencesSource::changed() {
    const DisplayPreferences now = current();
    if (now == told_) {
        return;
    }
    told_ = now;
    // A listener may unsubscribe itself.
    const auto listeners = listeners_;
    for (const auto& [id, listener] : listeners) {
        listener(now);
    }
}

}  // namespace ovra::desktopstatus
