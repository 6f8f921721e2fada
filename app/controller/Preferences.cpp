#include "app/controller/Preferences.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>
#include <type_traits>
#include <utility>

namespace ovra {

namespace {

using P = Preference;

// How a property is read and written; follows from its key's type (PreferenceKeys.h).
enum class Kind { flag, whole, counter, number, text, choice, corrections };

template <class T>
constexpr Kind kindOf() {
    if constexpr (std::is_same_v<T, bool>) {
        return Kind::flag;
    } else if constexpr (std::is_same_v<T, int>) {
        return Kind::whole;
    } else if constexpr (std::is_same_v<T, std::int64_t>) {
        return Kind::counter;
    } else if constexpr (std::is_same_v<T, double>) {
        return Kind::number;
    } else if constexpr (std::is_same_v<T, std::string>) {
        return Kind::text;
    } else if constexpr (std::is_same_v<T, OverrideMap>) {
        return Kind::corrections;
    } else {
        static_assert(SettingsChoice<T>, "a key's type is one the store can hold");
        return Kind::choice;
    }
}

// Every key, in the store's order.
constexpr std::tuple kKeys{
    keys::hotkeyID,      keys::findShortcut,
    keys::model,         keys::maxCandidates,
    keys::maxBeacons,    keys::traversalDepth,
    keys::theme,         keys::workerDirectory,
    keys::useModel,      keys::downloadMultilingual,
    keys::dimLevel,      keys::textScale,
    keys::pulse,         keys::autoScan,
    keys::scanInterval,  keys::confirmConsequential,
    keys::speakFeedback, keys::voiceID,
    keys::voiceRate,     keys::appearance,
    keys::showBubble,    keys::birdClick,
    keys::menuBarName,   keys::bubblePlace,
    keys::bubbleSize,    keys::flightTrail,
    keys::sidebar,       keys::stepsSaved,
    keys::ovrasPressed,  keys::overrides,
};

// Each key stands at its property's place, and every whole number has a range to clamp to.
static_assert([]<std::size_t... I>(std::index_sequence<I...>) {
    constexpr auto sound = [](const auto& key, std::size_t place) {
        using T = std::remove_cvref_t<decltype(key.fallback)>;
        const bool whole = std::is_same_v<T, int> || std::is_same_v<T, std::int64_t>;
        return static_cast<std::size_t>(key.id) == place && (!whole || key.clampedTo);
    };
    return std::tuple_size_v<decltype(kKeys)> == kPreferenceCount &&
           (sound(std::get<I>(kKeys), I) && ...);
}(std::make_index_sequence<kPreferenceCount>()));

// A key's table entry as the generic code below reads it.
struct Descriptor {
    Preference preference;
    std::string_view key;
    Kind kind;
    PreferenceValue fallback;
    std::optional<PreferenceRange> range;
    // For a settings type: whether a text is one of its raw values, case and all.
    bool (*isChoice)(std::string_view raw) = nullptr;
};

template <class T>
Descriptor describe(const Key<T>& key) {
    Descriptor described{key.id, key.name, kindOf<T>(), {}, key.clampedTo};
    if constexpr (std::is_same_v<T, OverrideMap>) {
        described.fallback = OverrideMap{};
    } else {
        described.fallback = toPreferenceValue(T(key.fallback));
    }
    if constexpr (SettingsChoice<T>) {
        described.isChoice = [](std::string_view raw) { return T::fromRawValue(raw).has_value(); };
    }
    return described;
}

const std::array<Descriptor, kPreferenceCount>& descriptors() {
    static const auto table = std::apply(
        [](const auto&... key) {
            return std::array<Descriptor, kPreferenceCount>{describe(key)...};
        },
        kKeys);
    return table;
}

constexpr std::size_t index(Preference preference) {
    return static_cast<std::size_t>(preference);
}

const Descriptor& describe(Preference preference) {
    return descriptors()[index(preference)];
}

bool isChoice(Preference preference, std::string_view raw) {
    const auto test = describe(preference).isChoice;
    return test != nullptr && test(raw);
}

// A whole number that a double holds exactly and int64 can hold.
std::optional<std::int64_t> exactWhole(double number) {
    if (!std::isfinite(number) || std::trunc(number) != number || number < -9.2e18 ||
        number > 9.2e18) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(number);
}

std::optional<std::int64_t> storedWhole(const Json& stored) {
    if (json::isInteger(stored)) {
        return json::asInt(stored, "value");
    }
    if (stored.is_number_float()) {
        return exactWhole(stored.get<double>());
    }
    return std::nullopt;
}

PreferenceValue clamped(Preference preference, PreferenceValue value) {
    const auto& range = describe(preference).range;
    if (!range) {
        return value;
    }
    if (auto* whole = std::get_if<std::int64_t>(&value)) {
        *whole = std::clamp(*whole, static_cast<std::int64_t>(range->low),
                            static_cast<std::int64_t>(range->high));
    } else if (auto* number = std::get_if<double>(&value)) {
        *number = std::clamp(*number, range->low, range->high);
    }
    return value;
}

// The value of a property read from what is stored under its key, before clamping; none gives
// the fallback.
std::optional<PreferenceValue> decode(Preference preference, const Json& stored) {
    switch (describe(preference).kind) {
        case Kind::flag:
            // A number that converts to a flag exactly (0 or 1) counts as one.
            if (stored.is_boolean()) {
                return stored.get<bool>();
            }
            if (auto whole = storedWhole(stored); whole && (*whole == 0 || *whole == 1)) {
                return *whole == 1;
            }
            return std::nullopt;
        case Kind::whole:
            if (auto whole = storedWhole(stored)) {
                return *whole;
            }
            return std::nullopt;
        case Kind::counter:
            if (json::isInteger(stored)) {
                return json::asInt(stored, "counter");
            }
            if (stored.is_number_float() && std::isfinite(stored.get<double>())) {
                const double truncated =
                    std::clamp(std::trunc(stored.get<double>()), keys::kCounterRange.low,
                               keys::kCounterRange.high);
                return static_cast<std::int64_t>(truncated);
            }
            return std::int64_t{0};
        case Kind::number:
            if (stored.is_number() && std::isfinite(stored.get<double>())) {
                return stored.get<double>();
            }
            return std::nullopt;
        case Kind::text:
            if (stored.is_string()) {
                return stored.get<std::string>();
            }
            return std::nullopt;
        case Kind::choice:
            if (preference == P::model) {
                // Any text but the multilingual id, exactly, is the English model.
                return stored.is_string() && stored.get_ref<const std::string&>() ==
                                                 VornModel(VornModel::multilingual).rawValue()
                           ? stored.get<std::string>()
                           : std::string(keys::model.fallback.rawValue());
            }
            if (stored.is_string() && isChoice(preference, stored.get_ref<const std::string&>())) {
                return stored.get<std::string>();
            }
            return std::nullopt;
        case Kind::corrections: {
            // Entries whose key and value are texts are kept one by one: one bad entry must
            // not cost the user every other correction.
            if (!stored.is_object()) {
                return std::nullopt;
            }
            OverrideMap map;
            for (const auto& [key, entry] : stored.items()) {
                if (entry.is_string()) {
                    map.emplace(key, entry.get<std::string>());
                }
            }
            return map;
        }
    }
    return std::nullopt;
}

PreferenceValue load(Preference preference, const DefaultsDomain& domain,
                     const Preferences::Sources& sources) {
    const auto stored = domain.object(describe(preference).key);
    if (auto value = stored ? decode(preference, *stored) : std::nullopt) {
        return clamped(preference, std::move(*value));
    }
    if (preference == P::bubblePlace) {
        // A corner kept by the setting's earlier form, else away from the desktop's dock.
        std::optional<std::string> corner;
        if (auto old = domain.object("bubbleCorner"); old && old->is_string()) {
            corner = old->get<std::string>();
        }
        if (auto place = OvraButtonPlace::fromOldCorner(corner)) {
            return std::string(place->rawValue());
        }
        const auto dock =
            sources.dockOrientation ? sources.dockOrientation() : std::optional<std::string>();
        return std::string(OvraButtonPlace::defaultPlace(dock).rawValue());
    }
    if (preference == P::workerDirectory) {
        return sources.builtInWorkerDirectory;
    }
    return describe(preference).fallback;
}

Json encode(const PreferenceValue& value) {
    return std::visit(
        [](const auto& v) -> Json {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, OverrideMap>) {
                Json object = Json::object();
                for (const auto& [key, entry] : v) {
                    object[key] = entry;
                }
                return object;
            } else {
                return Json(v);
            }
        },
        value);
}

// The value in the form the property holds, or none when it cannot hold it.
std::optional<PreferenceValue> conform(Preference preference, PreferenceValue value) {
    switch (describe(preference).kind) {
        case Kind::flag:
            return std::holds_alternative<bool>(value) ? std::optional(std::move(value))
                                                       : std::nullopt;
        case Kind::whole:
        case Kind::counter:
            if (std::holds_alternative<std::int64_t>(value)) {
                return clamped(preference, std::move(value));
            }
            if (const auto* number = std::get_if<double>(&value);
                number && std::isfinite(*number)) {
                const auto& range = describe(preference).range;
                const double truncated = std::clamp(std::trunc(*number), range->low, range->high);
                return static_cast<std::int64_t>(truncated);
            }
            return std::nullopt;
        case Kind::number:
            if (const auto* whole = std::get_if<std::int64_t>(&value)) {
                return clamped(preference, static_cast<double>(*whole));
            }
            if (const auto* number = std::get_if<double>(&value);
                number && std::isfinite(*number)) {
                return clamped(preference, *number);
            }
            return std::nullopt;
        case Kind::text:
            return std::holds_alternative<std::string>(value) ? std::optional(std::move(value))
                                                              : std::nullopt;
        case Kind::choice: {
            const auto* raw = std::get_if<std::string>(&value);
            return raw != nullptr && isChoice(preference, *raw) ? std::optional(std::move(value))
                                                                : std::nullopt;
        }
        case Kind::corrections:
            return std::holds_alternative<OverrideMap>(value) ? std::optional(std::move(value))
                                                              : std::nullopt;
    }
    return std::nullopt;
}

}  // namespace

const std::array<Preference, kPreferenceCount>& allPreferences() {
    static const std::array<Preference, kPreferenceCount> all = [] {
        std::array<Preference, kPreferenceCount> made{};
        for (std::size_t i = 0; i < kPreferenceCount; ++i) {
            made[i] = descriptors()[i].preference;
        }
        return made;
    }();
    return all;
}

std::string_view defaultsKey(Preference preference) {
    return describe(preference).key;
}

std::optional<PreferenceRange> preferenceRange(Preference preference) {
    return describe(preference).range;
}

Preferences::Preferences(DefaultsDomain& domain, const Sources& sources) : domain_(domain) {
    for (const Descriptor& descriptor : descriptors()) {
        values_[index(descriptor.preference)] = load(descriptor.preference, domain, sources);
    }
}

const PreferenceValue& Preferences::value(Preference preference) const {
    return values_[index(preference)];
}

bool Preferences::set(Preference preference, PreferenceValue value) {
    auto conformed = conform(preference, std::move(value));
    if (!conformed) {
        return false;
    }
    assign(preference, std::move(*conformed));
    return true;
}

void Preferences::assign(Preference preference, PreferenceValue value) {
    listeners_.notify(ChangePhase::willChange, preference);
    values_[index(preference)] = std::move(value);
    domain_.set(describe(preference).key, encode(values_[index(preference)]));
    listeners_.notify(ChangePhase::didChange, preference);
}

Preferences::ListenerId Preferences::onChange(std::function<void(Preference)> listener) {
    return listeners_.add(ChangePhase::didChange,
                          [listener = std::move(listener)](Preference p) { listener(p); });
}

Preferences::ListenerId Preferences::onWillChange(std::function<void(Preference)> listener) {
    return listeners_.add(ChangePhase::willChange,
                          [listener = std::move(listener)](Preference p) { listener(p); });
}

void Preferences::removeListener(ListenerId id) {
    listeners_.remove(id);
}

HotkeyPreset Preferences::hotkey() const {
    auto presets = HotkeyPreset::all();
    for (auto& preset : presets) {
        if (preset.id == get(keys::hotkeyID)) {
            return std::move(preset);
        }
    }
    return std::move(presets.front());
}

std::optional<DefaultsDates::Time> Preferences::firstLaunch() const {
    return DefaultsDates::read(domain_, "firstLaunch");
}

std::optional<DefaultsDates::Time> Preferences::lastUpdateCheck() const {
    return DefaultsDates::read(domain_, "lastUpdateCheck");
}

FocusOverrides Preferences::focusOverrides() const {
    FocusOverrides corrections;
    for (const auto& [key, raw] : get(keys::overrides)) {
        if (auto override = focusOverrideFromRaw(raw)) {
            corrections.entries.emplace(key, *override);
        }
    }
    return corrections;
}

bool Preferences::flag(std::string_view key) const {
    const std::optional<Json> value = domain_.object(key);
    return value && value->is_boolean() && value->get<bool>();
}

std::optional<FocusOverride> Preferences::toggleOverride(FocusOverride override,
                                                         const std::string& key) {
    const std::string wanted(rawValue(override));
    OverrideMap map = get(keys::overrides);
    const auto found = map.find(key);
    if (found != map.end() && found->second == wanted) {
        map.erase(found);
        assign(P::overrides, std::move(map));
        return std::nullopt;
    }
    map[key] = wanted;
    assign(P::overrides, std::move(map));
    return override;
}

}  // namespace ovra
