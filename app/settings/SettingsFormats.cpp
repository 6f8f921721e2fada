#include "app/settings/SettingsFormats.h"

#include <unicode/numfmt.h>
#include <unicode/unistr.h>

#include <cmath>
#include <cstdio>
#include <memory>

namespace ovra::SettingsFormats {

namespace {

// The ICU text of value; none when ICU has no formatter (its data missing) or value is no number.
std::optional<std::string> formatted(std::unique_ptr<icu::NumberFormat> format, double value) {
    if (!format || !std::isfinite(value)) {
        return std::nullopt;
    }
    icu::UnicodeString text;
    format->format(value, text);
    std::string out;
    text.toUTF8String(out);
    return out;
}

std::unique_ptr<icu::NumberFormat> made(icu::NumberFormat* format, UErrorCode status, int minDigits,
                                        int maxDigits) {
    std::unique_ptr<icu::NumberFormat> owned(format);
    if (U_FAILURE(status) || !owned) {
        return nullptr;
    }
    owned->setMinimumFractionDigits(minDigits);
    owned->setMaximumFractionDigits(maxDigits);
    return owned;
}

}  // namespace

std::string percent(double fraction) {
    UErrorCode status = U_ZERO_ERROR;
    icu::NumberFormat* format = icu::NumberFormat::createPercentInstance(status);
    if (auto text = formatted(made(format, status, 0, 0), fraction)) {
        return *text;
    }
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.0f%%", fraction * 100);
    return buffer;
}

std::string decimal(double value, int digits) {
    UErrorCode status = U_ZERO_ERROR;
    icu::NumberFormat* format = icu::NumberFormat::createInstance(status);
    if (auto text = formatted(made(format, status, digits, digits), value)) {
        return *text;
    }
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.*f", digits, value);
    return buffer;
}

}  // namespace ovra::SettingsFormats
