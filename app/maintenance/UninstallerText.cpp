#include "app/maintenance/UninstallerText.h"

#include <unicode/numfmt.h>
#include <unicode/unistr.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <memory>

#include "core/OvraText.h"

namespace ovra::UninstallerText {

namespace {

// `value` with at most `digits` fraction digits in the user's locale.
std::string number(double value, int digits) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::NumberFormat> format(icu::NumberFormat::createInstance(status));
    if (U_SUCCESS(status) && format) {
        format->setMinimumFractionDigits(0);
        format->setMaximumFractionDigits(digits);
        icu::UnicodeString text;
        format->format(value, text);
        std::string out;
        text.toUTF8String(out);
        return out;
    }
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.*f", digits, value);
    return buffer;
}

}  // namespace

std::string byteCount(std::int64_t bytes) {
    struct Unit {
        const char* format;
        double size;
        int digits;
    };
    static constexpr std::array<Unit, 3> kUnits = {{
        {OvraText::mark("%@ KB").data(), 1e3, 0},
        {OvraText::mark("%@ MB").data(), 1e6, 1},
        {OvraText::mark("%@ GB").data(), 1e9, 2},
    }};
    const double value = static_cast<double>(std::max<std::int64_t>(bytes, 0));
    for (std::size_t i = 0; i < kUnits.size(); ++i) {
        const Unit& unit = kUnits[i];
        const double scale = std::pow(10.0, unit.digits);
        double shown = std::round(value / unit.size * scale) / scale;
        if (i == 0 && bytes > 0 && shown < 1) {
            shown = 1;
        }
        if (shown < 1000 || i + 1 == kUnits.size()) {
            return OvraText::f(unit.format, {number(shown, unit.digits)});
        }
    }
    return {};
}

Question question(const Known& known) {
    Question q;
    q.title = OvraText::t("Remove Murmlark Ovra and everything it downloaded?");
    std::string text;
    if (!known.total) {
        text = OvraText::t(
            "This deletes Ovra's settings, your \"always highlight\" and \"don't highlight\" "
            "choices, its logs, and the on-device model if there is one. Counting the space "
            "this frees\u2026");
    } else if (known.modelSize.value_or(0) == 0) {
        text = OvraText::f(
            "This deletes Ovra's settings, your \"always highlight\" and \"don't "
            "highlight\" choices, its logs. It frees about %@.",
            {byteCount(*known.total)});
    } else {
        text = OvraText::f(
            "This deletes Ovra's settings, your \"always highlight\" and \"don't "
            "highlight\" choices, its logs, and the on-device model (%@). It frees "
            "about %@.",
            {byteCount(*known.modelSize), byteCount(*known.total)});
    }
    for (const std::string& place : known.unanswered) {
        text += "\n" +
                OvraText::f("%@ does not answer, so the space it takes is not counted.", {place});
    }
    if (known.appMovesToTrash) {
        text += "\n\n" + (*known.appMovesToTrash
                              ? OvraText::t("Murmlark Ovra itself moves to the Trash, so you can "
                                            "put it back if you change your mind. Murmlark (the "
                                            "dictation app) is not affected.")
                              : OvraText::t("Murmlark Ovra itself stays where it is: it was "
                                            "installed by a package manager or runs from a "
                                            "folder it does not own. Murmlark (the dictation "
                                            "app) is not affected."));
    }
    q.message = std::move(text);
    q.confirmTitle = OvraText::t("Remove Everything");
    q.cancelTitle = OvraText::t("Cancel");
    return q;
}

Question question(std::int64_t total, std::int64_t modelSize, bool appMovesToTrash) {
    return question(Known{total, modelSize, appMovesToTrash, {}});
}

Message failure(const std::vector<Remaining>& remaining) {
    Message m;
    m.title = OvraText::t("Murmlark Ovra could not remove everything");
    m.text = OvraText::t("These are still there; you can delete them yourself:");
    for (const auto& item : remaining) {
        m.text +=
            "\n" + (item.why.empty() ? item.path : OvraText::f("%@ (%@)", {item.path, item.why}));
    }
    return m;
}

}  // namespace ovra::UninstallerText
