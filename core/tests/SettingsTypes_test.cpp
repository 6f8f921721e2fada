#include "core/SettingsTypes.h"

#include <gtest/gtest.h>

#include <unordered_set>

namespace ovra {
namespace {

TEST(SettingsTypes, RawValuesMatchExactlyAndRoundTrip) {
    for (BeaconTheme theme : BeaconTheme::allCases()) {
        EXPECT_EQ(BeaconTheme::fromRawValue(theme.rawValue()), theme);
    }
    for (OvraAppearance appearance : OvraAppearance::allCases()) {
        EXPECT_EQ(OvraAppearance::fromRawValue(appearance.rawValue()), appearance);
    }
    EXPECT_EQ(VornModel::fromRawValue("murmlark-ovra/multi"), VornModel::multilingual);
    for (const char* unknown : {"Ovra", "DARK", "murmlark-ovra/EN", "", "ovra "}) {
        EXPECT_FALSE(BeaconTheme::fromRawValue(unknown) || OvraAppearance::fromRawValue(unknown) ||
                     VornModel::fromRawValue(unknown))
            << unknown;
    }
}

TEST(SettingsTypes, PresetsAreFoundByIdAndComparedOverEveryField) {
    const auto all = HotkeyPreset::all();
    ASSERT_EQ(all.size(), 5u);
    std::unordered_set<HotkeyPreset> distinct(all.begin(), all.end());
    EXPECT_EQ(distinct.size(), 5u);
    for (const auto& preset : all) {
        EXPECT_EQ(HotkeyPreset::withID(preset.id), preset);
        EXPECT_EQ(preset.label.find_first_of("⌘⌥⌃"), std::string::npos) << preset.label;
    }
    EXPECT_EQ(HotkeyPreset::withID("opt-Space"), std::nullopt);
    HotkeyPreset other = all[0];
    other.modifiers = HotkeyModifier::command;
    EXPECT_NE(other, all[0]);
    EXPECT_EQ(distinct.count(other), 0u);
}

}  // namespace
}  // namespace ovra
