#include "core/StateText.h"

#include <unicode/unistr.h>

#include <algorithm>
#include <cmath>

#include "core/FocusCategory.h"
#include "core/Text.h"

namespace ovra {

namespace StateText {

namespace {

constexpr int32_t kClipScalars = 160;
constexpr std::string_view kDialogPrefix = "dialog:";

}  // namespace

const std::unordered_map<std::string_view, std::string_view>& roleNames() {
    static const std::unordered_map<std::string_view, std::string_view> names = {
        {"AXButton", "button"},
        {"AXTextField", "text field"},
        {"AXTextArea", "text area"},
        {"AXSecureTextField", "password field"},
        {"AXSearchField", "search field"},
        {"AXLink", "link"},
        {"AXCheckBox", "checkbox"},
        {"AXRadioButton", "radio button"},
        {"AXPopUpButton", "popup menu"},
        {"AXMenuButton", "menu button"},
        {"AXComboBox", "combo box"},
    };
    return names;
}

std::string clip(std::string_view text) {
    const icu::UnicodeString source = text::fromUtf8(text);
    icu::UnicodeString out;
    int32_t scalars = 0;
    bool pendingSpace = false;
    for (int32_t i = 0; i < source.length() && scalars < kClipScalars;) {
        const UChar32 c = source.char32At(i);
        i += U16_LENGTH(c);
        if (text::isWhitespaceOrNewline(c)) {
            pendingSpace = !out.isEmpty();
            continue;
        }
        if (pendingSpace) {
            out.append(UChar32{' '});
            pendingSpace = false;
            if (++scalars == kClipScalars)
                break;
        }
        out.append(c);
        ++scalars;
    }
    return text::toUtf8(out);
}

std::string region(const Rect& frame, const std::optional<Rect>& window) {
    if (!window || !(window->width() > 0) || !(window->height() > 0))
        return "unknown";
    const double x = (frame.minX() + frame.width() / 2 - window->minX()) / window->width();
    const double y = (frame.minY() + frame.height() / 2 - window->minY()) / window->height();
    // Comparisons only, so a non-finite frame still gives two words.
    const char* vertical = y < 0.2 ? "top" : (y > 0.8 ? "bottom" : "middle");
    const char* horizontal = x < 0.33 ? "left" : (x > 0.67 ? "right" : "center");
    return std::string(vertical) + " " + horizontal;
}

namespace {

std::string roleName(const std::string& role) {
    const auto& names = roleNames();
    if (const auto it = names.find(role); it != names.end())
        return std::string(it->second);
    std::string clipped = clip(role);
    if (clipped.starts_with("AX"))
        clipped.erase(0, 2);
    return text::lowercased(clipped);
}

}  // namespace

std::string build(const UICandidate& candidate, std::string_view app, std::string_view windowTitle,
                  const std::optional<Rect>& window) {
    const std::string title = clip(candidate.title);
    const std::string description = clip(candidate.description);
    const std::string value = clip(candidate.value);
    const std::string name = !title.empty()         ? title
                             : !description.empty() ? description
                             : !value.empty()       ? value
                                                    : std::string("(no label)");

    std::string out = "The user is trying to complete their task in the window \"" +
                      clip(windowTitle) + "\" (" + clip(app) + ").";
    out += "\nUI element: " + roleName(candidate.role) + " labeled \"" + name + "\".";
    if (!description.empty() && description != name)
        out += "\nDescription: " + description;
    out += "\nLocation in window: " + region(candidate.frame, window);
    if (candidate.context && candidate.context->starts_with(kDialogPrefix)) {
        out += "\nInside: a pop-up dialog";
        const std::string dialog =
            clip(std::string_view(*candidate.context).substr(kDialogPrefix.size()));
        if (!dialog.empty() && dialog != "(unnamed)")
            out += " labeled \"" + dialog + "\"";
    }
    return out;
}

}  // namespace StateText

namespace ModelAnswers {

double round4(double value) {
    // From 2^52 on every double is a whole number already, and scaling could overflow.
    if (std::fabs(value) >= 4503599627370496.0)
        return value;
    return std::round(value * 10000) / 10000;
}

ModelDecision decision(std::string id, std::string_view choice, Probabilities probabilities,
                       double essential, double score) {
    const auto probability = [&probabilities](FocusCategory category) {
        const auto it = probabilities.find(rawValue(category));
        return it == probabilities.end() ? 0.0 : it->second;
    };
    const double pEssential = probability(FocusCategory::essentialFormAction);
    const double pDistraction = probability(FocusCategory::distractionOrUpsell);
    const double raw =
        0.35 * essential + 0.45 * (score * 0.5) + 0.2 * pEssential - 0.3 * pDistraction;
    const double priority = std::clamp(raw, 0.0, 1.0);

    const auto is = [choice](FocusCategory category) { return choice == rawValue(category); };
    std::string verdict;
    if (is(FocusCategory::distractionOrUpsell) || score < 0.6) {
        verdict = "suppress";
    } else if (essential >= 0.5 && ((is(FocusCategory::essentialFormAction) && score >= 1.1) ||
                                    (is(FocusCategory::dismissalOrExit) && score >= 1.3))) {
        verdict = "beacon";
    } else {
        verdict = "available";
    }

    ModelDecision decision;
    decision.id = std::move(id);
    decision.modelVerdict = std::move(verdict);
    decision.priority = round4(priority);
    decision.actionClassification =
        FocusCategories::fromRawValue(choice).value_or(FocusCategory::legalOrPassive);
    decision.classificationProbabilities = std::move(probabilities);
    decision.isEssential = round4(essential);
    decision.focusScore = round4(score);
    return decision;
}

}  // namespace ModelAnswers
}  // namespace ovra
