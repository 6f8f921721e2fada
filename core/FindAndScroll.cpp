#include "core/FindAndScroll.h"

#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <cmath>
#include <unordered_map>

#include "core/FocusPlan.h"
#include "core/OvraText.h"
#include "core/Text.h"

namespace ovra {

std::string_view rawValue(ScrollDirection direction) {
    return direction == ScrollDirection::up ? "up" : "down";
}

std::optional<ScrollDirection> scrollDirectionFromRaw(std::string_view raw) {
    if (raw == "up")
        return ScrollDirection::up;
    if (raw == "down")
        return ScrollDirection::down;
    return std::nullopt;
}

double fraction(ScrollStep step) {
    return step == ScrollStep::page ? 0.9 : 1.0 / 3.0;
}

double points(ScrollStep step, double visibleHeight) {
    const double raw = std::round(visibleHeight * fraction(step));
    // NaN fails the comparison and falls back to the floor of one point.
    return raw >= 1 ? raw : 1;
}

namespace ScrollMore {

bool isScroll(std::string_view id) {
    return id == belowID || id == aboveID;
}

std::optional<ScrollDirection> direction(std::string_view id) {
    if (id == belowID)
        return ScrollDirection::down;
    if (id == aboveID)
        return ScrollDirection::up;
    return std::nullopt;
}

ScrollExtent extent(const ScrollSignals& s) {
    const Rect& visible = s.visible;
    if (!(visible.height() > 0))
        return ScrollExtent::none();

    if (s.document && visible.height() + 8 < s.document->height()) {
        return {.moreAbove = s.document->minY() < visible.minY() - 8,
                .moreBelow = visible.maxY() + 8 < s.document->maxY()};
    }
    if (!s.document && s.scrollBarValue) {
        const double value = *s.scrollBarValue;
        return {.moreAbove = value > 0.01, .moreBelow = value < 0.99};
    }
    const double margin = std::max(visible.height() * 0.1, 8.0);
    return {.moreAbove =
                s.seenTop &&
                *s.seenTop<visible.minY() - margin, .moreBelow = s.seenBottom&& * s.seenBottom>
                        visible.maxY() +
                    margin};
}

Rect frame(ScrollDirection direction, const Rect& visible, const Size& size) {
    const double w = std::min(visible.width(), size.width);
    const double h = std::min(visible.height(), size.height);
    const double x = std::round(visible.midX() - w / 2);
    const double y = direction == ScrollDirection::down ? std::round(visible.maxY() - h - 16)
                                                        : std::round(visible.minY() + 16);
    return {x, y, w, h};
}

FocusItem item(ScrollDirection direction, const Rect& visible, const Size& size) {
    const bool down = direction == ScrollDirection::down;
    const std::string label = OvraText::t(down ? "More below" : "More above");
    FocusItem out;
    out.candidate.id = std::string(down ? belowID : aboveID);
    out.candidate.role = std::string(role);
    out.candidate.title = label;
    out.candidate.frame = frame(direction, visible, size);
    out.category = FocusCategory::legalOrPassive;
    out.verdict = FocusVerdict::beacon;
    out.source = DecisionSource::heuristic;
    out.displayLabel = label;
    out.explanation = OvraText::t(
        "There is more of this page. Press to scroll about one screen; Ovra reads the page "
        "again and stays open.");
    return out;
}

}  // namespace ScrollMore

namespace FindMatcher {

namespace {

// Full-width ASCII and the half-width forms fold to their plain counterparts.
bool isWidthVariant(UChar32 c) {
    return c == 0x3000 || (c >= 0xFF01 && c <= 0xFFEE);
}

}  // namespace

std::string fold(std::string_view text) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    const icu::Normalizer2* nfkc = icu::Normalizer2::getNFKCInstance(status);
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status))
        return text::lowercased(text);

    icu::UnicodeString decomposed = nfd->normalize(text::fromUtf8(text), status);
    if (U_FAILURE(status))
        return text::lowercased(text);

    icu::UnicodeString stripped;
    for (int32_t i = 0; i < decomposed.length();) {
        const UChar32 c = decomposed.char32At(i);
        i += U16_LENGTH(c);
        if (u_charType(c) == U_NON_SPACING_MARK)
            continue;
        if (isWidthVariant(c)) {
            UErrorCode widthStatus = U_ZERO_ERROR;
            const icu::UnicodeString plain = nfkc->normalize(icu::UnicodeString(c), widthStatus);
            stripped.append(U_SUCCESS(widthStatus) ? plain : icu::UnicodeString(c));
            continue;
        }
        stripped.append(c);
    }
    stripped.foldCase(U_FOLD_CASE_DEFAULT);
    icu::UnicodeString composed = nfc->normalize(stripped, status);
    if (U_FAILURE(status))
        composed = stripped;

    icu::UnicodeString joined;
    bool pendingSpace = false;
    for (int32_t i = 0; i < composed.length();) {
        const UChar32 c = composed.char32At(i);
        i += U16_LENGTH(c);
        if (text::isWhitespaceOrNewline(c)) {
            pendingSpace = !joined.isEmpty();
            continue;
        }
        if (pendingSpace)
            joined.append(static_cast<UChar>(u' '));
        pendingSpace = false;
        joined.append(c);
    }
    return text::toUtf8(joined);
}

std::vector<std::string> matches(std::string_view query, const FocusPlan& plan) {
    const std::string folded = fold(query);
    std::unordered_map<std::string_view, const FocusItem*> byId;
    byId.reserve(plan.items.size());
    for (const FocusItem& i : plan.items)
        byId.try_emplace(i.candidate.id, &i);

    std::vector<std::string> out;
    for (std::string& id : plan.revealOrder()) {
        if (ScrollMore::isScroll(id))
            continue;
        const auto found = byId.find(id);
        if (found == byId.end())
            continue;
        const FocusItem& i = *found->second;
        const auto contains = [&folded](const std::string& text) {
            return fold(text).find(folded) != std::string::npos;
        };
        if (folded.empty() || contains(i.displayLabel)) {
            out.push_back(std::move(id));
            continue;
        }
        // Most display labels are the label itself: fold it only when it differs.
        const std::string label = i.candidate.label();
        if (label != i.displayLabel && contains(label))
            out.push_back(std::move(id));
    }
    return out;
}

}  // namespace FindMatcher

int FocusPlan::choiceCount() const {
    return static_cast<int>(
        std::count_if(beaconOrder.begin(), beaconOrder.end(),
                      [](const std::string& id) { return !ScrollMore::isScroll(id); }));
}

std::vector<std::string> FocusPlan::scrollOrder() const {
    std::vector<std::string> out;
    for (const std::string& id : beaconOrder) {
        if (ScrollMore::isScroll(id))
            out.push_back(id);
    }
    return out;
}

FocusPlan FocusPlan::addingScrollItems(const ScrollExtent& extent, const Rect& visible,
                                       const Size& size) const {
    std::vector<FocusItem> added;
    if (extent.moreBelow)
        added.push_back(ScrollMore::item(ScrollDirection::down, visible, size));
    if (extent.moreAbove)
        added.push_back(ScrollMore::item(ScrollDirection::up, visible, size));

    // Old scroll items always go, even when none replaces them: a page scrolled back to its
    // top must not keep offering "More above".
    FocusPlan out;
    out.initialBeacon = initialBeacon;
    out.source = source;
    out.items.reserve(items.size() + added.size());
    for (const FocusItem& i : items) {
        if (!ScrollMore::isScroll(i.candidate.id))
            out.items.push_back(i);
    }
    for (const std::string& id : beaconOrder) {
        if (!ScrollMore::isScroll(id))
            out.beaconOrder.push_back(id);
    }
    for (FocusItem& i : added) {
        out.beaconOrder.push_back(i.candidate.id);
        out.items.push_back(std::move(i));
    }
    return out;
}

namespace FindScope {

bool needsWiderRead(int candidates, int lastBudget) {
    return lastBudget < budget && candidates >= lastBudget;
}

}  // namespace FindScope
}  // namespace ovra
