#pragma once

// Numbers as the settings window shows them, in the user's locale (ICU's default locale, which
// follows LANG and LC_ALL): percentages with the locale's own sign and spacing, decimals with
// its own separator.

#include <optional>
#include <string>

namespace ovra::SettingsFormats {

// 0.78 reads "78%" in English, "78 %" in German, "%78" in Turkish; no fraction digits.
std::string percent(double fraction);
// The number with exactly `digits` fraction digits: 2 reads "2.0" in English, "2,0" in German.
std::string decimal(double value, int digits);

}  // namespace ovra::SettingsFormats
