#pragma once

// The app's settings store: 30 properties, each mirroring one key of the app's defaults domain.
// Every property is read once, when the store is made, with a fixed fallback for a missing or
// unusable value (numbers are also held to the range the settings window offers), and every
// assignment is written straight back to its key, also when the value did not change. Listeners
// are told before a value changes and after the new value is in place. Main thread only.
//
// The app makes one store over its one defaults domain (see AppSettings) and hands it to whoever
// needs it; PreferencesObject relays its changes as Qt signals for views.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/controller/ChangeListeners.h"
#include "app/controller/Preference.h"
#include "app/controller/SettingsTypes.h"
#include "core/FocusPlan.h"
#include "core/Geometry.h"
#include "core/StepCount.h"
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

    const std::string& hotkeyID() const;
    void setHotkeyID(std::string id);
    bool findShortcut() const;
    void setFindShortcut(bool on);
    VornModel model() const;
    void setModel(VornModel model);
    int maxCandidates() const;
    void setMaxCandidates(int count);
    int maxBeacons() const;
    void setMaxBeacons(int count);
    int traversalDepth() const;
    void setTraversalDepth(int depth);
    BeaconTheme theme() const;
    void setTheme(BeaconTheme theme);
    const std::string& workerDirectory() const;
    void setWorkerDirectory(std::string folder);
    bool useModel() const;
    void setUseModel(bool on);
    bool downloadMultilingual() const;
    void setDownloadMultilingual(bool on);
    double dimLevel() const;
    void setDimLevel(double level);
    double textScale() const;
    void setTextScale(double scale);
    bool pulse() const;
    void setPulse(bool on);
    bool autoScan() const;
    void setAutoScan(bool on);
    double scanInterval() const;
    void setScanInterval(double seconds);
    bool confirmConsequential() const;
    void setConfirmConsequential(bool on);
    bool speakFeedback() const;
    void setSpeakFeedback(bool on);
    const std::string& voiceID() const;
    void setVoiceID(std::string id);
    double voiceRate() const;
    void setVoiceRate(double rate);
    OvraAppearance appearance() const;
    void setAppearance(OvraAppearance appearance);
    bool showBubble() const;
    void setShowBubble(bool on);
    BirdClickSetting birdClick() const;
    void setBirdClick(BirdClickSetting setting);
    bool menuBarName() const;
    void setMenuBarName(bool on);
    OvraButtonPlace bubblePlace() const;
    void setBubblePlace(OvraButtonPlace place);
    OvraButtonSize bubbleSize() const;
    void setBubbleSize(OvraButtonSize size);
    bool flightTrail() const;
    void setFlightTrail(bool on);
    bool sidebar() const;
    void setSidebar(bool on);
    std::int64_t stepsSaved() const;
    void setStepsSaved(std::int64_t count);
    std::int64_t ovrasPressed() const;
    void setOvrasPressed(std::int64_t count);
    const OverrideMap& overrides() const;
    void setOverrides(OverrideMap overrides);

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

    // The property's value as the generic bindings of settings rows see it.
    const PreferenceValue& value(Preference preference) const;
    // Assigns like the typed setters. A whole number property takes a number (truncated), a
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

  private:
    template <class T>
    const T& get(Preference preference) const;
    void assign(Preference preference, PreferenceValue value);

    DefaultsDomain& domain_;
    std::array<PreferenceValue, kPreferenceCount> values_;
    ChangeListeners<Preference> listeners_;
};

}  // namespace ovra
