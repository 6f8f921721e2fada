#pragma once

// The small settings types the preferences store owns: the ring colour theme, the windows'
// appearance, the model choice and the main-hotkey presets. Stored by their raw values.

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ovra {

// An sRGB colour at full opacity, components 0…1.
struct RgbColor {
    double red = 0;
    double green = 0;
    double blue = 0;
    friend bool operator==(const RgbColor&, const RgbColor&) = default;
};

// The colour of the numbered highlights.
class BeaconTheme final {
  public:
    enum Value { ember, ovra, cyan, white, magenta };

    constexpr BeaconTheme(Value v) : value_(v) {}
    constexpr operator Value() const { return value_; }

    static const std::array<BeaconTheme, 5>& allCases();
    // Exact match of the raw value, case and all.
    static std::optional<BeaconTheme> fromRawValue(std::string_view raw);
    std::string_view rawValue() const;

    RgbColor color() const;

  private:
    Value value_;
};

// The appearance of the app's own windows; "system" follows the desktop's colour scheme.
class OvraAppearance final {
  public:
    enum Value { system, light, dark };

    constexpr OvraAppearance(Value v) : value_(v) {}
    constexpr operator Value() const { return value_; }

    static const std::array<OvraAppearance, 3>& allCases();
    static std::optional<OvraAppearance> fromRawValue(std::string_view raw);
    std::string_view rawValue() const;

  private:
    Value value_;
};

// Which classifier model to use; the raw value is the model id.
class VornModel final {
  public:
    enum Value { english, multilingual };

    constexpr VornModel(Value v) : value_(v) {}
    constexpr operator Value() const { return value_; }

    static const std::array<VornModel, 2>& allCases();
    static std::optional<VornModel> fromRawValue(std::string_view raw);
    std::string_view rawValue() const;

  private:
    Value value_;
};

// Modifier masks of a hotkey chord. On this desktop Option is Alt, Control is Ctrl and Command
// is Super; the values are the ones the stored presets were defined with.
namespace HotkeyModifier {
inline constexpr std::uint32_t command = 0x100;  // Super
inline constexpr std::uint32_t shift = 0x200;
inline constexpr std::uint32_t option = 0x800;  // Alt
inline constexpr std::uint32_t control = 0x1000;
}  // namespace HotkeyModifier

// One choice of main hotkey. The key code is a physical key position in the shared key-code
// vocabulary (49 Space, 3 F, 105 F13); the hotkey service translates it for the X server.
struct HotkeyPreset {
    std::string id;
    std::string label;  // localized
    std::uint32_t keyCode = 0;
    std::uint32_t modifiers = 0;

    // The five presets, in order: "opt-space", "ctrl-opt-space", "ctrl-opt-f", "f13",
    // "cmd-shift-space". Labels are looked up on every call, so they follow the language.
    static std::vector<HotkeyPreset> all();
    // The preset with `id`, else none.
    static std::optional<HotkeyPreset> withID(std::string_view id);

    friend bool operator==(const HotkeyPreset&, const HotkeyPreset&) = default;
};

}  // namespace ovra

template <>
struct std::hash<ovra::HotkeyPreset> {
    std::size_t operator()(const ovra::HotkeyPreset& preset) const noexcept;
};
