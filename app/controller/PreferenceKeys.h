#pragma once

// The preferences store's key table: each property once, with the defaults key it is stored
// under, the type its callers see, its fallback for a missing or unusable stored value and, for
// numbers, the range it is clamped to when loaded and on every write.
// Read and write through it: `prefs.get(keys::voiceRate)`, `prefs.set(keys::voiceRate, 1.1)`.

#include <concepts>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "app/controller/Preference.h"
#include "core/Geometry.h"
#include "core/SettingsTypes.h"
#include "core/StepCount.h"

namespace ovra {

// A settings type, stored as one of its raw values.
template <class T>
concept SettingsChoice = requires(T choice, std::string_view raw) {
    { T::fromRawValue(raw) } -> std::same_as<std::optional<T>>;
    choice.rawValue();
};

// How a fallback is written in the table: texts as views, so that the table is constant; the
// corrections always start empty.
template <class T>
struct KeyFallback {
    using Type = T;
};
template <>
struct KeyFallback<std::string> {
    using Type = std::string_view;
};
template <>
struct KeyFallback<OverrideMap> {
    struct Type {};
};

// One property. Its type says how its value is read from the file and held:
//   bool          a flag (a number reads as one only when it is exactly 0 or 1)
//   int           a whole number (a number with a fraction, or beyond the range of whole
//                 numbers, is unusable)
//   std::int64_t  a running counter (any number reads truncated, anything else as 0)
//   double        a finite number
//   std::string   a text
//   SettingsChoice  one of the type's raw values, case and all
//   OverrideMap   the corrections (entries whose key and value are texts, one by one)
template <class T>
struct Key {
    Preference id;
    std::string_view name;  // the defaults key
    typename KeyFallback<T>::Type fallback;
    std::optional<PreferenceRange> clampedTo = std::nullopt;
};

// A value as the store holds it: whole numbers as 64 bits, settings types as their raw values.
template <class T>
PreferenceValue toPreferenceValue(T value) {
    if constexpr (std::is_same_v<T, int>) {
        return std::int64_t{value};
    } else if constexpr (SettingsChoice<T>) {
        return std::string(value.rawValue());
    } else {
        return PreferenceValue(std::move(value));
    }
}

namespace keys {

using P = Preference;

// 2^53: counters stay where every value is exact as a JSON number and adding to them cannot
// overflow.
inline constexpr PreferenceRange kCounterRange{0, 9007199254740992.0};

inline constexpr Key<std::string> hotkeyID{P::hotkeyID, "hotkey", "opt-space"};
inline constexpr Key<bool> findShortcut{P::findShortcut, "findShortcut", true};
// Any text but the multilingual id, exactly, is the English model.
inline constexpr Key<VornModel> model{P::model, "model", VornModel::english};
inline constexpr Key<int> maxCandidates{P::maxCandidates, "maxCandidates", 14,
                                        PreferenceRange{1, 150}};
inline constexpr Key<int> maxBeacons{P::maxBeacons, "maxBeacons", 5, PreferenceRange{1, 9}};
inline constexpr Key<int> traversalDepth{P::traversalDepth, "depth", 6, PreferenceRange{1, 48}};
inline constexpr Key<BeaconTheme> theme{P::theme, "theme", BeaconTheme::ovra};
// Falls back to the worker folder the app was built with (Preferences::Sources).
inline constexpr Key<std::string> workerDirectory{P::workerDirectory, "workerDirectory", ""};
inline constexpr Key<bool> useModel{P::useModel, "useModel", true};
inline constexpr Key<bool> downloadMultilingual{P::downloadMultilingual, "downloadMultilingual",
                                                false};
inline constexpr Key<double> dimLevel{P::dimLevel, "dimLevel", 0.78, PreferenceRange{0.0, 0.95}};
inline constexpr Key<double> textScale{P::textScale, "textScale", 1.0, PreferenceRange{1.0, 2.0}};
inline constexpr Key<bool> pulse{P::pulse, "pulse", false};
inline constexpr Key<bool> autoScan{P::autoScan, "autoScan", false};
inline constexpr Key<double> scanInterval{P::scanInterval, "scanInterval", 2.0,
                                          PreferenceRange{0.5, 10.0}};
inline constexpr Key<bool> confirmConsequential{P::confirmConsequential, "confirm", true};
inline constexpr Key<bool> speakFeedback{P::speakFeedback, "speak", false};
inline constexpr Key<std::string> voiceID{P::voiceID, "voiceID", ""};
inline constexpr Key<double> voiceRate{P::voiceRate, "voiceRate", 1.0, PreferenceRange{0.75, 1.25}};
inline constexpr Key<OvraAppearance> appearance{P::appearance, "appearance",
                                                OvraAppearance::system};
inline constexpr Key<bool> showBubble{P::showBubble, "showBubble", false};
inline constexpr Key<BirdClickSetting> birdClick{P::birdClick, "birdClick", BirdClickSetting::home};
inline constexpr Key<bool> menuBarName{P::menuBarName, "menuBarName", true};
// Falls back to a corner kept under "bubbleCorner" by the setting's earlier form, else to the
// side away from the desktop's dock (Preferences::Sources).
inline constexpr Key<OvraButtonPlace> bubblePlace{P::bubblePlace, "bubblePlace",
                                                  OvraButtonPlace::rightTop};
inline constexpr Key<OvraButtonSize> bubbleSize{P::bubbleSize, "bubbleSize", OvraButtonSize::large};
inline constexpr Key<bool> flightTrail{P::flightTrail, "flightTrail", true};
inline constexpr Key<bool> sidebar{P::sidebar, "sidebar", true};
inline constexpr Key<std::int64_t> stepsSaved{P::stepsSaved, "stepsSaved", 0, kCounterRange};
inline constexpr Key<std::int64_t> ovrasPressed{P::ovrasPressed, "ovrasPressed", 0, kCounterRange};
inline constexpr Key<OverrideMap> overrides{P::overrides, "overrides", {}};

}  // namespace keys

}  // namespace ovra
