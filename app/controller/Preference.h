#pragma once

// The names of the preferences store's properties, their defaults keys and the values they hold;
// no more, so that Qt code can name a property without the store's other headers.

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace ovra {

// The properties, in the store's order.
enum class Preference : std::uint8_t {
    hotkeyID,
    findShortcut,
    model,
    maxCandidates,
    maxBeacons,
    traversalDepth,
    theme,
    workerDirectory,
    useModel,
    downloadMultilingual,
    dimLevel,
    textScale,
    pulse,
    autoScan,
    scanInterval,
    confirmConsequential,
    speakFeedback,
    voiceID,
    voiceRate,
    appearance,
    showBubble,
    birdClick,
    menuBarName,
    bubblePlace,
    bubbleSize,
    flightTrail,
    sidebar,
    stepsSaved,
    ovrasPressed,
    overrides,
};
inline constexpr std::size_t kPreferenceCount = 30;

const std::array<Preference, kPreferenceCount>& allPreferences();
// The defaults key a property is stored under ("depth" for traversalDepth, "speak" for
// speakFeedback).
std::string_view defaultsKey(Preference preference);

// The user's corrections as stored: override key to "pin" or "mute".
using OverrideMap = std::map<std::string, std::string, std::less<>>;
// A property's value: a flag, a whole number, a number, a text (the settings types hold their
// raw value: "cyan", "murmlark-ovra/multi") or the corrections.
using PreferenceValue = std::variant<bool, std::int64_t, double, std::string, OverrideMap>;

// The numbers a property may hold: the range of its settings row, else the one the reader and
// the counters can use.
struct PreferenceRange {
    double low = 0;
    double high = 0;
};
std::optional<PreferenceRange> preferenceRange(Preference preference);

}  // namespace ovra
