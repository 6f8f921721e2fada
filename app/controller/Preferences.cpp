#include "app/controller/Preferences.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace ovra {

namespace {

using P = Preference;

// How a property is read and written.
enum class Kind {
    flag,     // a JSON boolean
    whole,    // a JSON integer
    counter,  // a JSON integer; any number reads truncated, anything else as 0
    number,   // a JSON number
    text,     // a JSON string
    choice,   // a JSON string naming one case of a settings type
    corrections,
};

struct Descriptor {
    Preference preference;
    std::string_view key;
    Kind kind;
};

constexpr std::array<Descriptor, kPreferenceCount> kDescriptors{{
    {P::hotkeyID, "hotkey", Kind::text},
    {P::findShortcut, "findShortcut", Kind::flag},
    {P::model, "model", Kind::choice},
    {P::maxCandidates, "maxCandidates", Kind::whole},
    {P::maxBeacons, "maxBeacons", Kind::whole},
    {P::traversalDepth, "depth", Kind::whole},
    {P::theme, "theme", Kind::choice},
    {P::workerDirectory, "workerDirectory", Kind::text},
    {P::useModel, "useModel", Kind::flag},
    {P::downloadMultilingual, "downloadMultilingual", Kind::flag},
    {P::dimLevel, "dimLevel", Kind::number},
    {P::textScale, "textScale", Kind::number},
    {P::pulse, "pulse", Kind::flag},
    {P::autoScan, "autoScan", Kind::flag},
    {P::scanInterval, "scanInterval", Kind::number},
    {P::confirmConsequential, "confirm", Kind::flag},
    {P::speakFeedback, "speak", Kind::flag},
    {P::voiceID, "voiceID", Kind::text},
    {P::voiceRate, "voiceRate", Kind::number},
    {P::appearance, "appearance", Kind::choice},
    {P::showBubble, "showBubble", Kind::flag},
    {P::birdClick, "birdClick", Kind::choice},
    {P::menuBarName, "menuBarName", Kind::flag},
    {P::bubblePlace, "bubblePlace", Kind::choice},
    {P::bubbleSize, "bubbleSize", Kind::choice},
    {P::flightTrail, "flightTrail", Kind::flag},
    {P::sidebar, "sidebar", Kind::flag},
    {P::stepsSaved, "stepsSaved", Kind::counter},
    {P::ovrasPressed, "ovrasPressed", Kind::counter},
    {P::overrides, "overrides", Kind::corrections},
}};

constexpr std::size_t index(Preference preference) {
    return static_cast<std::size_t>(preference);
}

const Descriptor& describe(Preference preference) {
    return kDescriptors[index(preference)];
}

// Counters stay where every value is exact as a JSON number and adding to them cannot overflow.
constexpr double kMaxCounter = 9007199254740992.0;  // 2^53

// The fixed fallback of a property (bubblePlace and workerDirectory have their own rules).
PreferenceValue fallback(Preference preference) {
    switch (preference) {
        case P::hotkeyID:
            return std::string("opt-space");
        case P::model:
            return std::string(VornModel(VornModel::english).rawValue());
        case P::maxCandidates:
            return std::int64_t{14};
        case P::maxBeacons:
            return std::int64_t{5};
        case P::traversalDepth:
            return std::int64_t{6};
        case P::theme:
            return std::string(BeaconTheme(BeaconTheme::ovra).rawValue());
        case P::dimLevel:
            return 0.78;
        case P::textScale:
        case P::voiceRate:
            return 1.0;
        case P::scanInterval:
            return 2.0;
        case P::appearance:
            return std::string(OvraAppearance(OvraAppearance::system).rawValue());
        case P::birdClick:
            return std::string(BirdClickSetting(BirdClickSetting::home).rawValue());
        case P::bubblePlace:
            return std::string(OvraButtonPlace(OvraButtonPlace::rightTop).rawValue());
        case P::bubbleSize:
            return std::string(OvraButtonSize(OvraButtonSize::large).rawValue());
        case P::findShortcut:
        case P::useModel:
        case P::confirmConsequential:
        case P::menuBarName:
        case P::flightTrail:
        case P::sidebar:
            return true;
        case P::downloadMultilingual:
        case P::pulse:
        case P::autoScan:
        case P::speakFeedback:
        case P::showBubble:
            return false;
        case P::stepsSaved:
        case P::ovrasPressed:
            return std::int64_t{0};
        case P::workerDirectory:
        case P::voiceID:
            return std::string();
        case P::overrides:
            return OverrideMap{};
    }
    return false;
}

// Whether `raw` names a case of the property's settings type, case and all.
bool isChoice(Preference preference, std::string_view raw) {
    switch (preference) {
        case P::model:
            return VornModel::fromRawValue(raw).has_value();
        case P::theme:
            return BeaconTheme::fromRawValue(raw).has_value();
        case P::appearance:
            return OvraAppearance::fromRawValue(raw).has_value();
        case P::birdClick:
            return BirdClickSetting::fromRawValue(raw).has_value();
        case P::bubblePlace:
            return OvraButtonPlace::fromRawValue(raw).has_value();
        case P::bubbleSize:
            return OvraButtonSize::fromRawValue(raw).has_value();
        default:
            return false;
    }
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
    const auto range = preferenceRange(preference);
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
                    std::clamp(std::trunc(stored.get<double>()), 0.0, kMaxCounter);
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
                           : std::get<std::string>(fallback(P::model));
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
    std::optional<PreferenceValue> value;
    if (stored) {
        value = decode(preference, *stored);
    } else if (describe(preference).kind == Kind::counter) {
        value = std::int64_t{0};
    }
    if (value) {
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
    return fallback(preference);
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
                const auto range = preferenceRange(preference);
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
            made[i] = kDescriptors[i].preference;
        }
        return made;
    }();
    return all;
}

std::string_view defaultsKey(Preference preference) {
    return describe(preference).key;
}

std::optional<PreferenceRange> preferenceRange(Preference preference) {
    switch (preference) {
        case P::maxCandidates:
            return PreferenceRange{1, 150};
        case P::maxBeacons:
            return PreferenceRange{1, 9};
        case P::traversalDepth:
            return PreferenceRange{1, 48};
        case P::dimLevel:
            return PreferenceRange{0.0, 0.95};
        case P::textScale:
            return PreferenceRange{1.0, 2.0};
        case P::scanInterval:
            return PreferenceRange{0.5, 10.0};
        case P::voiceRate:
            return PreferenceRange{0.75, 1.25};
        case P::stepsSaved:
        case P::ovrasPressed:
            return PreferenceRange{0, kMaxCounter};
        default:
            return std::nullopt;
    }
}

Preferences::Preferences(DefaultsDomain& domain, const Sources& sources) : domain_(domain) {
    for (const Descriptor& descriptor : kDescriptors) {
        values_[index(descriptor.preference)] = load(descriptor.preference, domain, sources);
    }
}

template <class T>
const T& Preferences::get(Preference preference) const {
    return std::get<T>(values_[index(preference)]);
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

// ---- the properties ----

const std::string& Preferences::hotkeyID() const {
    return get<std::string>(P::hotkeyID);
}
void Preferences::setHotkeyID(std::string id) {
    assign(P::hotkeyID, std::move(id));
}
bool Preferences::findShortcut() const {
    return get<bool>(P::findShortcut);
}
void Preferences::setFindShortcut(bool on) {
    assign(P::findShortcut, on);
}
VornModel Preferences::model() const {
    return VornModel::fromRawValue(get<std::string>(P::model)).value_or(VornModel::english);
}
void Preferences::setModel(VornModel model) {
    assign(P::model, std::string(model.rawValue()));
}
int Preferences::maxCandidates() const {
    return static_cast<int>(get<std::int64_t>(P::maxCandidates));
}
void Preferences::setMaxCandidates(int count) {
    set(P::maxCandidates, std::int64_t{count});
}
int Preferences::maxBeacons() const {
    return static_cast<int>(get<std::int64_t>(P::maxBeacons));
}
void Preferences::setMaxBeacons(int count) {
    set(P::maxBeacons, std::int64_t{count});
}
int Preferences::traversalDepth() const {
    return static_cast<int>(get<std::int64_t>(P::traversalDepth));
}
void Preferences::setTraversalDepth(int depth) {
    set(P::traversalDepth, std::int64_t{depth});
}
BeaconTheme Preferences::theme() const {
    return BeaconTheme::fromRawValue(get<std::string>(P::theme)).value_or(BeaconTheme::ovra);
}
void Preferences::setTheme(BeaconTheme theme) {
    assign(P::theme, std::string(theme.rawValue()));
}
const std::string& Preferences::workerDirectory() const {
    return get<std::string>(P::workerDirectory);
}
void Preferences::setWorkerDirectory(std::string folder) {
    assign(P::workerDirectory, std::move(folder));
}
bool Preferences::useModel() const {
    return get<bool>(P::useModel);
}
void Preferences::setUseModel(bool on) {
    assign(P::useModel, on);
}
bool Preferences::downloadMultilingual() const {
    return get<bool>(P::downloadMultilingual);
}
void Preferences::setDownloadMultilingual(bool on) {
    assign(P::downloadMultilingual, on);
}
double Preferences::dimLevel() const {
    return get<double>(P::dimLevel);
}
void Preferences::setDimLevel(double level) {
    set(P::dimLevel, level);
}
double Preferences::textScale() const {
    return get<double>(P::textScale);
}
void Preferences::setTextScale(double scale) {
    set(P::textScale, scale);
}
bool Preferences::pulse() const {
    return get<bool>(P::pulse);
}
void Preferences::setPulse(bool on) {
    assign(P::pulse, on);
}
bool Preferences::autoScan() const {
    return get<bool>(P::autoScan);
}
void Preferences::setAutoScan(bool on) {
    assign(P::autoScan, on);
}
double Preferences::scanInterval() const {
    return get<double>(P::scanInterval);
}
void Preferences::setScanInterval(double seconds) {
    set(P::scanInterval, seconds);
}
bool Preferences::confirmConsequential() const {
    return get<bool>(P::confirmConsequential);
}
void Preferences::setConfirmConsequential(bool on) {
    assign(P::confirmConsequential, on);
}
bool Preferences::speakFeedback() const {
    return get<bool>(P::speakFeedback);
}
void Preferences::setSpeakFeedback(bool on) {
    assign(P::speakFeedback, on);
}
const std::string& Preferences::voiceID() const {
    return get<std::string>(P::voiceID);
}
void Preferences::setVoiceID(std::string id) {
    assign(P::voiceID, std::move(id));
}
double Preferences::voiceRate() const {
    return get<double>(P::voiceRate);
}
void Preferences::setVoiceRate(double rate) {
    set(P::voiceRate, rate);
}
OvraAppearance Preferences::appearance() const {
    return OvraAppearance::fromRawValue(get<std::string>(P::appearance))
        .value_or(OvraAppearance::system);
}
void Preferences::setAppearance(OvraAppearance appearance) {
    assign(P::appearance, std::string(appearance.rawValue()));
}
bool Preferences::showBubble() const {
    return get<bool>(P::showBubble);
}
void Preferences::setShowBubble(bool on) {
    assign(P::showBubble, on);
}
BirdClickSetting Preferences::birdClick() const {
    return BirdClickSetting::fromRawValue(get<std::string>(P::birdClick))
        .value_or(BirdClickSetting::home);
}
void Preferences::setBirdClick(BirdClickSetting setting) {
    assign(P::birdClick, std::string(setting.rawValue()));
}
bool Preferences::menuBarName() const {
    return get<bool>(P::menuBarName);
}
void Preferences::setMenuBarName(bool on) {
    assign(P::menuBarName, on);
}
OvraButtonPlace Preferences::bubblePlace() const {
    return OvraButtonPlace::fromRawValue(get<std::string>(P::bubblePlace))
        .value_or(OvraButtonPlace::rightTop);
}
void Preferences::setBubblePlace(OvraButtonPlace place) {
    assign(P::bubblePlace, std::string(place.rawValue()));
}
OvraButtonSize Preferences::bubbleSize() const {
    return OvraButtonSize::fromRawValue(get<std::string>(P::bubbleSize))
        .value_or(OvraButtonSize::large);
}
void Preferences::setBubbleSize(OvraButtonSize size) {
    assign(P::bubbleSize, std::string(size.rawValue()));
}
bool Preferences::flightTrail() const {
    return get<bool>(P::flightTrail);
}
void Preferences::setFlightTrail(bool on) {
    assign(P::flightTrail, on);
}
bool Preferences::sidebar() const {
    return get<bool>(P::sidebar);
}
void Preferences::setSidebar(bool on) {
    assign(P::sidebar, on);
}
std::int64_t Preferences::stepsSaved() const {
    return get<std::int64_t>(P::stepsSaved);
}
void Preferences::setStepsSaved(std::int64_t count) {
    set(P::stepsSaved, count);
}
std::int64_t Preferences::ovrasPressed() const {
    return get<std::int64_t>(P::ovrasPressed);
}
void Preferences::setOvrasPressed(std::int64_t count) {
    set(P::ovrasPressed, count);
}
const OverrideMap& Preferences::overrides() const {
    return get<OverrideMap>(P::overrides);
}
void Preferences::setOverrides(OverrideMap overrides) {
    assign(P::overrides, std::move(overrides));
}

// ---- computed ----

HotkeyPreset Preferences::hotkey() const {
    auto presets = HotkeyPreset::all();
    for (auto& preset : presets) {
        if (preset.id == hotkeyID()) {
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
    for (const auto& [key, raw] : overrides()) {
        if (auto override = focusOverrideFromRaw(raw)) {
            corrections.entries.emplace(key, *override);
        }
    }
    return corrections;
}

std::optional<FocusOverride> Preferences::toggleOverride(FocusOverride override,
                                                         const std::string& key) {
    const std::string wanted(rawValue(override));
    OverrideMap map = overrides();
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
