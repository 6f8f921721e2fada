#pragma once

// How many key presses the ovras save, and the small decisions behind the two other ways into
// the overlay: the floating on-screen button and the menu-bar bird.

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/FocusPlan.h"

namespace ovra {

// Key presses to reach and press one numbered highlight, without the system and with it.
struct StepCount {
    std::string id;
    std::string label;
    int keyboardOnly = 0;
    int withFocus = 0;

    friend bool operator==(const StepCount&, const StepCount&) = default;
};

namespace StepCounter {

// Clicks from the on-screen button to the ovras.
inline constexpr int ovraButtonToOvras = 1;

// One count per numbered highlight of the plan, in numbering order; scroll items are left
// out. `confirmation`: risky presses take a second confirmation.
std::vector<StepCount> count(const FocusPlan& plan, bool confirmation);

}  // namespace StepCounter

// The persisted size of the on-screen button.
class OvraButtonSize final {
  public:
    enum Value { standard, large, extraLarge };

    static constexpr Value newInstallDefault = large;

    constexpr OvraButtonSize(Value v) : value_(v) {}
    constexpr operator Value() const { return value_; }

    static const std::array<OvraButtonSize, 3>& allCases();
    static std::optional<OvraButtonSize> fromRawValue(std::string_view raw);
    std::string_view rawValue() const;

    double points() const;
    // Localized.
    std::string label() const;

  private:
    Value value_;
};

// What clicking the menu-bar bird does, as the user chose it.
class BirdClickSetting final {
  public:
    enum Value { simplify, home };

    constexpr BirdClickSetting(Value v) : value_(v) {}
    constexpr operator Value() const { return value_; }

    static const std::array<BirdClickSetting, 2>& allCases();
    static std::optional<BirdClickSetting> fromRawValue(std::string_view raw);
    std::string_view rawValue() const;

  private:
    Value value_;
};

namespace StepCounter {

// Clicks from the menu-bar bird to the ovras.
int birdToOvras(BirdClickSetting setting);

}  // namespace StepCounter

enum class BirdClickAction {
    toggleOvras,  // open the ovras on the front app, or close them
    openHome,     // the home panel under the menu bar
    classicMenu   // the classic drop-down menu
};

namespace BirdClick {

BirdClickAction action(bool secondary, BirdClickSetting setting);

}  // namespace BirdClick

namespace OvraButton {

struct Click {
    bool simplify = false;  // open or close the ovras
    bool showTip = false;   // show the one-time tip
    bool fly = false;       // play the flight towards the ovras

    friend bool operator==(const Click&, const Click&) = default;
};

Click click(bool tipShown, bool flightEnabled, bool ovrasShowing);

}  // namespace OvraButton

// Which app a request simplifies.
struct SimplifyTarget {
    std::optional<std::string> app;  // none: nothing to simplify

    static SimplifyTarget nothing() { return {}; }
    static SimplifyTarget appNamed(std::string identifier) { return {std::move(identifier)}; }

    // The front app unless it is this system itself, else the last other app in front.
    static SimplifyTarget choose(bool frontIsOvra, const std::optional<std::string>& frontApp,
                                 const std::optional<std::string>& lastExternalApp);

    friend bool operator==(const SimplifyTarget&, const SimplifyTarget&) = default;
};

}  // namespace ovra
