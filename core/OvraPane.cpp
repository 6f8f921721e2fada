#include "core/OvraPane.h"

#include "core/OvraText.h"

namespace ovra {

namespace {

struct PaneRow {
    std::string_view raw;
    std::string_view title;
    std::string_view symbol;
};

// The accessibility pane keeps its stored id and stop id, but shows this desktop's own features,
// so the title it shows names the desktop.
constexpr std::array<PaneRow, 7> kPanes{{
    {"Home", OvraText::mark("Home"), "circle.dashed"},
    {"Look", OvraText::mark("Look"), "paintpalette.fill"},
    {"Voice", OvraText::mark("Voice"), "speaker.wave.2.fill"},
    {"Your choices", OvraText::mark("Your choices"), "hand.point.up.left.fill"},
    {"Mac accessibility", OvraText::mark("Desktop accessibility"), "accessibility"},
    {"General", OvraText::mark("General"), "gearshape.fill"},
    {"Instructions", OvraText::mark("Instructions"), "book.fill"},
}};

}  // namespace

const std::array<OvraPane, 7>& OvraPane::allCases() {
    static const std::array<OvraPane, 7> cases{home, look,    voice,       choices,
                                               mac,  general, instructions};
    return cases;
}

std::optional<OvraPane> OvraPane::fromRawValue(std::string_view raw) {
    for (const OvraPane pane : allCases()) {
        if (pane.rawValue() == raw) {
            return pane;
        }
    }
    return std::nullopt;
}

std::string_view OvraPane::rawValue() const {
    return kPanes[static_cast<std::size_t>(value_)].raw;
}

std::string OvraPane::title() const {
    return OvraText::t(kPanes[static_cast<std::size_t>(value_)].title);
}

std::string_view OvraPane::symbol() const {
    return kPanes[static_cast<std::size_t>(value_)].symbol;
}

std::string OvraPane::stopID() const {
    return std::string(kStopPrefix) + std::string(rawValue());
}

std::optional<OvraPane> OvraPane::fromStopID(std::string_view focusID) {
    if (focusID.substr(0, kStopPrefix.size()) != kStopPrefix) {
        return std::nullopt;
    }
    return fromRawValue(focusID.substr(kStopPrefix.size()));
}

std::optional<OvraPane> OvraPane::forShortcut(std::string_view characters) {
    if (characters.size() != 1 || characters[0] < '1' || characters[0] > '7') {
        return std::nullopt;
    }
    return allCases()[static_cast<std::size_t>(characters[0] - '1')];
}

}  // namespace ovra
