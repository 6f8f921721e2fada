#pragma once

// The app's settings store: 30 properties, each mirroring one key of the app's defaults domain
// (the key table is in PreferenceKeys.h). Every property is read once, when the store is made, with
// a fixed fallback for a missing or unusable value (numbers are also held to the range the settings
// window offers), and every assignment is written straight back to its key, also when the value did
// not change. Listeners are told before a value changes and after the new value is in place. Main
// thread only.
//
// The app makes one store over its one defaults domain (see AppSettings) and hands it to whoever
// needs it; PreferencesObject relays its changes as Qt signals for views.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <type_traits>
#include <variant>

#include "app/controller/ChangeListeners.h"
#include "app/controller/Preference.h"
#include "app/controller/PreferenceKeys.h"
#include "core/FocusPlan.h"
#include "core/SettingsTypes.h"
#include "platform/defaults/DefaultsDates.h"
#include "platform/defaults/DefaultsDomain.h"

namespace ovra {

class Preferences final {
  public:
    // What the fallbacks of two properties come from.
    struct Sources {
        // The side of the desktop's dock ("right", "left", …), asked only when no place for the
        // on-screen button is stored.
        std::function<std::optional<std::string>()> dockOrientation;
        // The worker folder the app was built with; "" when none.
        std::string builtInWorkerDirectory;
    };

    // Reads every property from `domain`, which must outlive the store. Writes nothing.
    explicit Preferences(DefaultsDomain& domain, const Sources& sources = {});
    Preferences(const Preferences&) = delete;
    Preferences& operator=(const Preferences&) = delete;

    // A property's value: `prefs.get(keys::voiceRate)`. Texts and the corrections by reference.
    template <class T>
    decltype(auto) get(const Key<T>& key) const;
    // Assigns, clamped to the key's range; false, and nothing changes, for a number that is not
    // finite.
    template <class T>
    bool set(const Key<T>& key, std::type_identity_t<T> value) {
        return set(key.id, toPreferenceValue<T>(std::move(value)));
    }

    // The preset named by hotkeyID; the first preset ("opt-space") when none is.
    HotkeyPreset hotkey() const;
    // The dates under "firstLaunch" and "lastUpdateCheck"; the store never writes them.
    std::optional<DefaultsDates::Time> firstLaunch() const;
    std::optional<DefaultsDates::Time> lastUpdateCheck() const;
    // The corrections whose value is "pin" or "mute".
    FocusOverrides focusOverrides() const;
    // Flips one correction: removes the entry when it already holds `override`, else sets it.
    // The correction now in force.
    std::optional<FocusOverride> toggleOverride(FocusOverride override, const std::string& key);

    // A property's value as the store holds it, for code that walks every property.
    const PreferenceValue& value(Preference preference) const;
    // Assigns like the typed `set`. A whole number property takes a number (truncated), a
    // number property a whole number; a settings-type property takes only one of its raw
    // values. False, and nothing changes, for a value the property cannot hold.
    bool set(Preference preference, PreferenceValue value);

    using ListenerId = ChangeListeners<Preference>::Id;
    // Told after the new value is in place and written.
    ListenerId onChange(std::function<void(Preference)> listener);
    // Told before the value changes (the old value is still readable).
    ListenerId onWillChange(std::function<void(Preference)> listener);
    void removeListener(ListenerId id);

    // The domain the store reads and writes, for the keys that live outside it.
    DefaultsDomain& defaults() const { return domain_; }
    // One of those keys that says yes or no ("hotkeyChosen"): true only when it holds true.
    bool flag(std::string_view key) const;

  private:
    void assign(Preference preference, PreferenceValue value);

    DefaultsDomain& domain_;
    std::array<PreferenceValue, kPreferenceCount> values_;
    ChangeListeners<Preference> listeners_;
};

template <class T>
decltype(auto) Preferences::get(const Key<T>& key) const {
    const PreferenceValue& held = value(key.id);
    if constexpr (std::is_same_v<T, int>) {
        return static_cast<int>(std::get<std::int64_t>(held));
    } else if constexpr (SettingsChoice<T>) {
        return T::fromRawValue(std::get<std::string>(held)).value_or(key.fallback);
    } else if constexpr (std::is_scalar_v<T>) {
        return T{std::get<T>(held)};
    } else {
        return std::get<T>(held);
    }
}

}  // namespace ovra
