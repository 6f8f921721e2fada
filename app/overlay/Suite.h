#pragma once

// The palette of every window of the app: sixteen named sRGB colours at full opacity, and the
// pure rule of the ruled-paper background (where its rules stand).

#include <vector>

#include "core/SettingsTypes.h"

namespace ovra {

namespace Suite {

constexpr RgbColor rgb8(int red, int green, int blue) {
    return {red / 255.0, green / 255.0, blue / 255.0};
}

inline constexpr RgbColor paper = rgb8(252, 249, 245);
inline constexpr RgbColor paperNight = rgb8(245, 241, 234);
inline constexpr RgbColor paperRaise = rgb8(239, 234, 225);
inline constexpr RgbColor ink = rgb8(26, 23, 20);
inline constexpr RgbColor ember = rgb8(212, 102, 31);
inline constexpr RgbColor emberInk = rgb8(138, 61, 9);
inline constexpr RgbColor onEmber = {1, 1, 1};
inline constexpr RgbColor slate = rgb8(25, 27, 26);
inline constexpr RgbColor slateNight = rgb8(21, 23, 22);
inline constexpr RgbColor slateRaise = rgb8(31, 34, 32);
inline constexpr RgbColor creamInk = rgb8(232, 230, 224);
inline constexpr RgbColor slateMist = rgb8(154, 166, 184);
inline constexpr RgbColor slateDim = rgb8(106, 119, 135);
inline constexpr RgbColor signal = rgb8(255, 106, 61);
inline constexpr RgbColor signalInk = rgb8(255, 182, 148);
inline constexpr RgbColor onSignal = rgb8(36, 16, 8);

}  // namespace Suite

namespace RuledPaperRules {

// The most rules one canvas gets: more than a very tall screen has pixel rows.
inline constexpr int maxRules = 1 << 15;

// The y of each horizontal rule on a canvas `height` high: k × lineHeight for k = 1, 2, … while
// below the height (none at 0). Each place is computed, not summed, so rounding can neither drop
// nor add a rule. A line height that is zero, negative or not finite gives no rules.
std::vector<double> positions(double height, double lineHeight);

}  // namespace RuledPaperRules

}  // namespace ovra
