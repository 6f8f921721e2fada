#include "core/SettingsTypes.h"

#include <cstddef>

#include "core/OvraText.h"

namespace ovra {

namespace {

template <class Type, std::size_t N>
std::optional<Type> byRawValue(const std::array<Type, N>& cases, std::string_view raw) {
    for (const Type& type : cases) {
        if (type.rawValue() == raw) {
            return type;
        }
    }
    return std::nullopt;
}

}  // namespace

const std::array<BeaconTheme, 5>& BeaconTheme::allCases() {
    static const std::array<BeaconTheme, 5> cases{ember, ovra, cyan, white, magenta};
    return cases;
}

std::optional<BeaconTheme> BeaconTheme::fromRawValue(std::string_view raw) {
    return byRawValue(allCases(), raw);
}

std::string_view BeaconTheme::rawValue() const {
    static constexpr std::array<std::string_view, 5> names{"ember", "ovra", "cyan", "white",
                                                           "magenta"};
    return names[static_cast<std::size_t>(value_)];
}

RgbColor BeaconTheme::color() const {
    switch (value_) {
        case ember:
            return {1.0, 106.0 / 255.0, 61.0 / 255.0};  // the style kit's signal colour
        case ovra:
            return {0.9, 0.95, 1.0};
        case cyan:
            return {0.2, 0.9, 1.0};
        case white:
            return {0.96, 0.96, 0.96};
        case magenta:
            return {1.0, 0.3, 0.85};
    }
    return {0.9, 0.95, 1.0};
}

const std::array<OvraAppearance, 3>& OvraAppearance::allCases() {
    static const std::array<OvraAppearance, 3> cases{system, light, dark};
    return cases;
}

std::optional<OvraAppearance> OvraAppearance::fromRawValue(std::string_view raw) {
    return byRawValue(allCases(), raw);
}

std::string_view OvraAppearance::rawValue() const {
    static constexpr std::array<std::string_view, 3> names{"system", "light", "dark"};
    return names[static_cast<std::size_t>(value_)];
}

const std::array<VornModel, 2>& VornModel::allCases() {
    static const std::array<VornModel, 2> cases{english, multilingual};
    return cases;
}

std::optional<VornModel> VornModel::fromRawValue(std::string_view raw) {
    return byRawValue(allCases(), raw);
}

std::string_view VornModel::rawValue() const {
    return value_ == multilingual ? "murmlark-ovra/multi" : "murmlark-ovra/en";
}

std::vector<HotkeyPreset> HotkeyPreset::all() {
    using namespace HotkeyModifier;
    // Ctrl+Alt+Space switches nothing on this desktop, so that label carries no remark.
    return {
        {"opt-space", "Alt Space", 49, option},
        {"ctrl-opt-space", "Ctrl Alt Space", 49, control | option},
        {"ctrl-opt-f", "Ctrl Alt F", 3, control | option},
        {"f13", OvraText::t("F13 (switch / pedal friendly)"), 105, 0},
        {"cmd-shift-space", "Super Shift Space", 49, command | shift},
    };
}

std::optional<HotkeyPreset> HotkeyPreset::withID(std::string_view id) {
    for (auto& preset : all()) {
        if (preset.id == id) {
            return preset;
        }
    }
    return std::nullopt;
}

}  // namespace ovra

std::size_t std::hash<ovra::HotkeyPreset>::operator()(
    const ovra::HotkeyPreset& preset) const noexcept {
    std::size_t seed = std::hash<std::string>{}(preset.id);
    for (std::size_t part : {std::hash<std::string>{}(preset.label), std::size_t{preset.keyCode},
                             std::size_t{preset.modifiers}}) {
        seed ^= part + 0x9e3779b97f4a7c15ULL + (seed << 6) + (seed >> 2);
    }
    return seed;
}
