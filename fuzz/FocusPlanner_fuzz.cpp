// A whole window as other apps could present it: up to 24 controls with any roles, labels and
// frames (non-finite ones included), classifier answers for some, pins and mutes for others,
// and any highlight limit. The plan keeps its promises whatever comes in.

#include <fuzzer/FuzzedDataProvider.h>

#include <iterator>
#include <limits>

#include "fuzz/PlanChecks.h"

namespace {

constexpr const char* kRoles[] = {
    "AXButton", "AXLink",        "AXCheckBox", "AXRadioButton", "AXTextField", "AXGroup",
    "AXCell",   "AXStaticText",  "AXMenuItem", "AXPopUpButton", "AXComboBox",  "AXTab",
    "AXSwitch", "AXSearchField", "AXImage",    "AXRow",         "AXSlider",    "AXUnknown"};

constexpr const char* kLabels[] = {"Continue",           "No thanks",
                                   "Accept all cookies", "Reject all",
                                   "Cookie settings",    "Close",
                                   "Upgrade to Pro",     "Terms of use",
                                   "Sponsored",          "Error: card declined",
                                   "Buy $9.99",          "×",
                                   "Close this dialog",  "Maybe later"};

// Mostly quarter steps from low to high, sometimes anything a double can hold.
double number(FuzzedDataProvider& in, int low, int high) {
    switch (in.ConsumeIntegralInRange(0, 15)) {
        case 0:
            return std::numeric_limits<double>::quiet_NaN();
        case 1:
            return in.ConsumeBool() ? std::numeric_limits<double>::infinity()
                                    : -std::numeric_limits<double>::infinity();
        case 2:
            return in.ConsumeFloatingPoint<double>();
        default:
            return in.ConsumeIntegralInRange(low * 4, high * 4) / 4.0;
    }
}

template <std::size_t N>
std::string pick(FuzzedDataProvider& in, const char* const (&table)[N]) {
    if (in.ConsumeIntegralInRange(0, 4) == 0)
        return in.ConsumeRandomLengthString(24);
    return table[in.ConsumeIntegralInRange<std::size_t>(0, N - 1)];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const int maxBeacons =
        in.ConsumeBool() ? ovra::FocusPlanner::noCap : in.ConsumeIntegralInRange(-1, 9);
    const std::size_t count = in.ConsumeIntegralInRange<std::size_t>(0, 24);
    std::vector<ovra::UICandidate> candidates;
    ovra::FocusPlanner::Decisions decisions;
    ovra::FocusOverrides overrides;
    for (std::size_t i = 0; i < count && in.remaining_bytes() > 0; ++i) {
        ovra::UICandidate c;
        c.id = "c" + std::to_string(i);
        c.role = pick(in, kRoles);
        c.title = pick(in, kLabels);
        if (in.ConsumeBool())
            c.description = in.ConsumeRandomLengthString(16);
        if (in.ConsumeBool())
            c.value = in.ConsumeBool() ? "empty" : in.ConsumeRandomLengthString(8);
        if (in.ConsumeIntegralInRange(0, 5) == 0)
            c.subrole = in.ConsumeBool() ? "AXCloseButton" : "AXSecureTextField";
        if (in.ConsumeIntegralInRange(0, 3) == 0)
            c.context = "dialog:" + in.ConsumeRandomLengthString(12);
        const double x = number(in, -200, 2000);
        const double y = number(in, -200, 2000);
        const double width = number(in, -10, 400);
        const double height = number(in, -10, 100);
        c.frame = ovra::Rect(x, y, width, height);
        c.isFocused = in.ConsumeBool();
        c.isChrome = in.ConsumeIntegralInRange(0, 7) == 0;
        c.order = static_cast<int>(i);

        if (in.ConsumeBool()) {
            ovra::ModelDecision d;
            d.id = c.id;
            d.actionClassification =
                ovra::FocusCategories::allCases[in.ConsumeIntegralInRange<std::size_t>(0, 3)];
            for (const auto category : ovra::FocusCategories::allCases) {
                if (in.ConsumeBool())
                    d.classificationProbabilities[std::string(ovra::rawValue(category))] =
                        number(in, 0, 1);
            }
            d.isEssential = number(in, 0, 1);
            d.focusScore = number(in, 0, 2);
            decisions.emplace(d.id, d);
        }
        if (const int choice = in.ConsumeIntegralInRange(0, 7); choice < 2) {
            overrides.entries[ovra::FocusOverrides::key("org.example.app", c)] =
                choice == 0 ? ovra::FocusOverride::pin : ovra::FocusOverride::mute;
        }
        candidates.push_back(std::move(c));
    }
    ovra::fuzz::checkPlan(candidates, decisions.empty() ? nullptr : &decisions, maxBeacons,
                          overrides);
    return 0;
}
