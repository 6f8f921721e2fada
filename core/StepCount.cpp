#include "core/StepCount.h"

#include <algorithm>
#include <cstddef>
#include <limits>

#include "core/ActionSafety.h"
#include "core/OvraText.h"

namespace ovra {

namespace StepCounter {

namespace {

// Highlights 1 to 9 have a number key; the tenth and later have none.
constexpr std::size_t kNumberKeys = 9;

// Presses of Tab or Shift-Tab between two positions of a wrapping list of n entries.
std::size_t moves(std::size_t from, std::size_t to, std::size_t n) {
    const std::size_t forward = (to + n - from) % n;
    return std::min(forward, (n - forward) % n);
}

// Presses between opening the overlay and the selection resting on position i.
std::size_t reach(std::size_t i, std::size_t start, std::size_t n, bool isInitial) {
    if (i < kNumberKeys)
        return isInitial ? 0 : 1;  // already selected, or its number
    // No number key: tab from the opening selection, or press the nearest number (9 forward,
    // or 1 and back past the wrap) and tab from there.
    const std::size_t fromNine = moves(kNumberKeys - 1, i, n);
    const std::size_t fromOne = moves(0, i, n);
    return std::min(moves(start, i, n), 1 + std::min(fromNine, fromOne));
}

}  // namespace

std::vector<StepCount> count(const FocusPlan& plan, bool confirmation) {
    std::vector<StepCount> counts;
    const std::size_t n = plan.beaconOrder.size();
    const bool initialInRange =
        plan.initialBeacon >= 0 && static_cast<std::size_t>(plan.initialBeacon) < n;
    // Where the overlay's selection rests when it opens.
    const std::size_t start = initialInRange ? static_cast<std::size_t>(plan.initialBeacon) : 0;

    for (std::size_t i = 0; i < n; ++i) {
        const FocusItem* item = plan.item(plan.beaconOrder[i]);
        if (item == nullptr || item->candidate.order < 1)
            continue;
        const bool isInitial = initialInRange && i == start;
        // Tab as many times as the order, then the press.
        const int order = item->candidate.order;
        const int keyboardOnly = order < std::numeric_limits<int>::max() ? order + 1 : order;
        // The hotkey, reaching the highlight, Return, and the second Return of a risky press.
        int withFocus = 2 + static_cast<int>(reach(i, start, n, isInitial));
        if (confirmation && ActionSafety::needsConfirmation(item->candidate))
            withFocus += 1;
        counts.push_back(
            StepCount{item->candidate.id, item->displayLabel, keyboardOnly, withFocus});
    }
    return counts;
}

int birdToOvras(BirdClickSetting setting) {
    return setting == BirdClickSetting::simplify ? 1 : 2;
}

}  // namespace StepCounter

// ---- OvraButtonSize ----

namespace {

struct SizeRow {
    std::string_view raw;
    double points;
    std::string_view label;
};

constexpr std::array<SizeRow, 3> kSizes{{
    {"standard", 56, OvraText::mark("Standard")},
    {"large", 80, OvraText::mark("Large")},
    {"extraLarge", 112, OvraText::mark("Extra large")},
}};

}  // namespace

const std::array<OvraButtonSize, 3>& OvraButtonSize::allCases() {
    static const std::array<OvraButtonSize, 3> cases{standard, large, extraLarge};
    return cases;
}

std::optional<OvraButtonSize> OvraButtonSize::fromRawValue(std::string_view raw) {
    for (const OvraButtonSize size : allCases())
        if (size.rawValue() == raw)
            return size;
    return std::nullopt;
}

std::string_view OvraButtonSize::rawValue() const {
    return kSizes[static_cast<std::size_t>(value_)].raw;
}

double OvraButtonSize::points() const {
    return kSizes[static_cast<std::size_t>(value_)].points;
}

std::string OvraButtonSize::label() const {
    return OvraText::t(kSizes[static_cast<std::size_t>(value_)].label);
}

// ---- BirdClickSetting ----

const std::array<BirdClickSetting, 2>& BirdClickSetting::allCases() {
    static const std::array<BirdClickSetting, 2> cases{simplify, home};
    return cases;
}

std::optional<BirdClickSetting> BirdClickSetting::fromRawValue(std::string_view raw) {
    if (raw == "simplify")
        return BirdClickSetting(simplify);
    if (raw == "home")
        return BirdClickSetting(home);
    return std::nullopt;
}

std::string_view BirdClickSetting::rawValue() const {
    return value_ == simplify ? "simplify" : "home";
}

namespace BirdClick {

BirdClickAction action(bool secondary, BirdClickSetting setting) {
    if (setting == BirdClickSetting::simplify)
        return secondary ? BirdClickAction::openHome : BirdClickAction::toggleOvras;
    return secondary ? BirdClickAction::classicMenu : BirdClickAction::openHome;
}

}  // namespace BirdClick

namespace OvraButton {

Click click(bool tipShown, bool flightEnabled, bool ovrasShowing) {
    if (tipShown)
        return Click{true, false, false};
    return Click{true, !ovrasShowing, flightEnabled && !ovrasShowing};
}

}  // namespace OvraButton

SimplifyTarget SimplifyTarget::choose(bool frontIsOvra, const std::optional<std::string>& frontApp,
                                      const std::optional<std::string>& lastExternalApp) {
    if (!frontIsOvra && frontApp)
        return appNamed(*frontApp);
    if (lastExternalApp)
        return appNamed(*lastExternalApp);
    return nothing();
}

}  // namespace ovra
