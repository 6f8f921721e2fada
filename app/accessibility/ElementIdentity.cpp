#include "app/accessibility/ElementIdentity.h"

#include <algorithm>
#include <cmath>

#include "app/accessibility/AXWalk.h"
#include "core/Text.h"

namespace ovra::ElementIdentity {
namespace {

// How many of a row's parts, and of the ancestors above it, make a setting; how far up a row
// is looked for past wrappers that hold the control alone.
constexpr std::size_t kMostRowParts = 24;
constexpr std::size_t kMostParts = 64;  // read of the row, to find those on the control's line
constexpr int kMostAncestors = 6;
constexpr int kMostWrappers = 3;
// How far into a part of a row without a text of its own its texts are looked for: levels,
// children of each; and the looks one whole setting may take.
constexpr int kMostLevelsInside = 3;
constexpr std::size_t kMostInside = 8;
constexpr int kMostLooks = 64;

// Whether `frame` lies on the line of `line`: the two overlap top to bottom.
bool onLine(const Rect& frame, const Rect& line) {
    return frame.minY() < line.maxY() && line.minY() < frame.maxY();
}

// A control that left the window is not the one the user saw there. An unknown window frame
// holds everything.
bool inside(const Rect& frame, const Rect& window) {
    return frame.isFinite() && !frame.isNull() &&
           (window.isNull() || !window.isFinite() || frame.intersects(window));
}

double distance(const Rect& a, const Rect& b) {
    const Point p = a.center();
    const Point q = b.center();
    return std::hypot(p.x - q.x, p.y - q.y);
}

bool sameControl(const UICandidate& chosen, const std::string& role, const std::string& label) {
    return role == chosen.role && sameLabel(label, chosen.label());
}

std::optional<ax::Element> parentOf(ax::AccessibilityBackend& backend, const ax::Element& element) {
    auto parent = backend.attribute(element, "AXParent");
    auto up = parent ? ax::asElement(parent.value()) : std::nullopt;
    if (!up || up->isNull()) {
        return std::nullopt;
    }
    return up;
}

// An element's own text: its label, else a static text's value.
std::string textOf(const ElementLook& look) {
    if (const std::string* text = look.value ? ax::asString(*look.value) : nullptr;
        look.label.empty() && text && look.role == "AXStaticText") {
        return *text;
    }
    return look.label;
}

// An element's own text, else the words a toolkit folds into it (a box of a page whose words
// have no element of their own).
std::string shownBy(ax::AccessibilityBackend& backend, const ax::Element& element,
                    const ElementLook& look) {
    std::string text = comparable(textOf(look));
    if (text.empty()) {
        if (const auto folded = backend.attribute(element, "AXText")) {
            if (const std::string* words = ax::asString(*folded)) {
                text = comparable(*words);
            }
        }
    }
    return text;
}

// What a part of a row shows, "role text": its own text, else the texts inside it (a cell that
// holds a name), a few levels and elements down at most, spending `budget` looks.
std::string described(ax::AccessibilityBackend& backend, const ax::Element& part,
                      const ElementLook& look, int& budget, const Deadline* deadline) {
    std::string shown = shownBy(backend, part, look);
    std::vector<std::pair<ax::Element, int>> within;
    if (shown.empty()) {
        within.emplace_back(part, 0);
    }
    for (std::size_t next = 0;
         next < within.size() && budget > 0 && !(deadline && deadline->passed()); ++next) {
        const auto [element, level] = within[next];
        auto kids = backend.children(element, kMostInside);
        if (!kids) {
            continue;
        }
        for (std::size_t i = 0; i < kids.value().size() && i < kMostInside && budget > 0; ++i) {
            --budget;
            const ax::Element& kid = kids.value()[i];
            const auto seen = lookAgain(backend, kid);
            if (!seen) {
                continue;
            }
            if (const std::string text = shownBy(backend, kid, *seen); !text.empty()) {
                shown += (shown.empty() ? "" : " ") + text;
            } else if (level + 1 < kMostLevelsInside) {
                within.emplace_back(kid, level + 1);
            }
        }
    }
    return look.role + " " + shown;
}

// A part of a setting with the values that tick in it set aside: each run of digits, with the
// sign before it and the separators inside it, stands as one "#".
std::string withoutTicking(std::string_view part) {
    const auto digit = [&](std::size_t i) {
        return i < part.size() && part[i] >= '0' && part[i] <= '9';
    };
    std::string out;
    for (std::size_t i = 0; i < part.size();) {
        const bool sign = (part[i] == '+' || part[i] == '-') && digit(i + 1);
        if (!digit(i) && !sign) {
            out += part[i++];
            continue;
        }
        for (++i;
             digit(i) || ((part[i] == '.' || part[i] == ',' || part[i] == ':') && digit(i + 1));
             ++i) {
        }
        out += '#';
    }
    return out;
}

bool sameParts(const std::vector<std::string>& a, const std::vector<std::string>& b, bool ticking) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](const auto& x, const auto& y) {
               return x == y || (ticking && withoutTicking(x) == withoutTicking(y));
           });
}

bool sameThree(const Sighting& a, const Sighting& b, bool ticking) {
    return a.role == b.role && sameLabel(a.label, b.label) && a.setting && b.setting &&
           sameSetting(*a.setting, *b.setting, ticking);
}

}  // namespace

std::string comparable(std::string_view label) {
    const icu::UnicodeString text = text::fromUtf8(text::lowercased(label));
    icu::UnicodeString out;
    bool space = false;
    for (int32_t i = 0; i < text.length(); i = text.moveIndex32(i, 1)) {
        const UChar32 c = text.char32At(i);
        if (text::isWhitespaceOrNewline(c)) {
            space = !out.isEmpty();
            continue;
        }
        if (space) {
            out.append(UChar32(' '));
            space = false;
        }
        out.append(c);
    }
    return text::toUtf8(out);
}

bool sameLabel(std::string_view a, std::string_view b) {
    return comparable(a) == comparable(b);
}

bool inItsPlace(const UICandidate& chosen, const std::string& role, const std::string& label,
                const Rect& frame) {
    return sameControl(chosen, role, label) && frame.isFinite() && !frame.isNull() &&
           distance(frame, chosen.frame) <= kReplacementReach;
}

std::optional<ElementLook> look(ax::AccessibilityBackend& backend, const ax::RunningApp& app,
                                const ax::Element& element) {
    if (element.isNull()) {
        return std::nullopt;
    }
    backend.applicationElement(app);
    return lookAgain(backend, element);
}

std::optional<ElementLook> lookAgain(ax::AccessibilityBackend& backend,
                                     const ax::Element& element) {
    if (element.isNull()) {
        return std::nullopt;
    }
    static constexpr std::string_view kNames[] = {
        "AXRole", "AXTitle",   "AXDescription", "AXPlaceholderValue", "AXPosition",
        "AXSize", "AXFocused", "AXValue",       "AXEnabled"};
    auto read = backend.attributes(element, kNames);
    if (!read || read.value().size() != std::size(kNames)) {
        return std::nullopt;
    }
    const auto& v = read.value();
    const auto text = [&](std::size_t i) -> const std::string* {
        return v[i] ? ax::asString(v[i].value()) : nullptr;
    };
    // An element whose role cannot be read any more is gone, whatever else still answers.
    const std::string* role = text(0);
    if (role == nullptr || role->empty()) {
        return std::nullopt;
    }
    ElementLook seen{*role, {}, std::nullopt};
    for (const std::size_t i : {1u, 2u, 3u}) {
        seen.label = cleaned(text(i));
        if (!seen.label.empty()) {
            break;
        }
    }
    const auto origin = v[4] ? ax::asPoint(v[4].value()) : std::nullopt;
    const auto size = v[5] ? ax::asSize(v[5].value()) : std::nullopt;
    if (origin && size && Rect(*origin, *size).isFinite()) {
        seen.frame = Rect(*origin, *size);
    }
    seen.focused = v[6] && ax::asBool(v[6].value()) == true;
    if (v[7]) {
        seen.value = v[7].value();
    }
    if (v[8]) {
        seen.enabled = ax::asBool(v[8].value());
    }
    return seen;
}

std::optional<ElementSetting> setting(ax::AccessibilityBackend& backend, const ax::Element& element,
                                      const Deadline* deadline) {
    const auto late = [&] { return deadline && deadline->passed(); };
    const auto self = lookAgain(backend, element);
    if (!self) {
        return std::nullopt;
    }
    // The row: the nearest ancestor that holds more than the control (a wrapper that holds it
    // alone tells nothing), or the page itself.
    ElementSetting out;
    int budget = kMostLooks;
    ax::Element inRow = element;
    std::optional<Rect> line = self->frame;
    std::optional<ax::Element> row = parentOf(backend, element);
    std::optional<ax::ElementList> parts;
    bool page = false;
    for (int up = 0; row && !parts; ++up) {
        if (late()) {
            return std::nullopt;
        }
        const auto seen = lookAgain(backend, *row);
        auto kids = backend.children(*row, kMostParts);
        if (!seen || !kids) {
            return std::nullopt;
        }
        // A page shown as a scroll area holds its web area, whose parts the page's are.
        if (seen->role == "AXScrollArea" && kids.value().size() == 1) {
            if (const auto inner = lookAgain(backend, kids.value().front());
                inner && inner->role == "AXWebArea") {
                row = kids.value().front();
                kids = backend.children(*row, kMostParts);
                if (!kids) {
                    return std::nullopt;
                }
                page = true;
            }
        }
        page = page || seen->role == "AXWebArea";
        if (kids.value().size() > 1 || up + 1 >= kMostWrappers || page) {
            parts = std::move(kids).value();
        } else {
            inRow = *row;
            line = seen->frame;
            row = parentOf(backend, *row);
        }
    }
    if (!parts) {
        return std::nullopt;
    }
    std::vector<std::optional<ElementLook>> looks;
    looks.reserve(parts->size());
    for (const ax::Element& kid : *parts) {
        if (late()) {
            return std::nullopt;
        }
        looks.push_back(kid == inRow ? std::nullopt : lookAgain(backend, kid));
    }
    // The page's own parts, a row of many, or parts that hold another control like this one
    // (rows whose boxes the toolkit left out) are many rows: the control's row is what lies on
    // its line.
    const bool alike =
        !self->label.empty() && std::any_of(looks.begin(), looks.end(), [&](const auto& part) {
            return part && part->role == self->role && sameLabel(part->label, self->label);
        });
    const bool byLine = page || parts->size() > kMostRowParts || alike;
    for (std::size_t i = 0; i < parts->size() && out.row.size() < kMostRowParts; ++i) {
        if (late()) {
            return std::nullopt;
        }
        if ((*parts)[i] == inRow) {
            out.row.emplace_back("*");
            continue;
        }
        const auto& part = looks[i];
        if (byLine && (!part || !part->frame || !line || !onLine(*part->frame, *line))) {
            continue;
        }
        out.row.push_back(part ? described(backend, (*parts)[i], *part, budget, deadline) : "?");
    }
    // The labels above, up to the page or the window, whose own titles change with what they show.
    std::optional<ax::Element> above = page ? std::nullopt : row;
    for (int level = 0; above && level < kMostAncestors; ++level) {
        if (late()) {
            return std::nullopt;
        }
        const auto seen = lookAgain(backend, *above);
        if (!seen || seen->role == "AXWebArea" || seen->role == "AXScrollArea" ||
            seen->role == "AXWindow" || seen->role == "AXApplication") {
            break;
        }
        out.ancestors.push_back(seen->role + " " + comparable(seen->label));
        above = parentOf(backend, *above);
    }
    return out;
}

bool seenBefore(const ChosenControl& chosen, const ax::Element& element) {
    return std::any_of(chosen.seenElements.begin(), chosen.seenElements.end(),
                       [&](const auto& entry) { return entry.second == element; });
}

void noteSettings(ax::AccessibilityBackend& backend, WindowSnapshot& reading, ax::Clock& clock) {
    const Deadline deadline{clock, clock.now() + kNoteLongest};
    for (const UICandidate& candidate : reading.candidates) {
        const auto element = reading.elements.find(candidate.id);
        if (deadline.passed()) {
            break;
        }
        if (element == reading.elements.end()) {
            continue;
        }
        if (auto where = setting(backend, element->second, &deadline)) {
            reading.settings.insert_or_assign(candidate.id, std::move(*where));
        }
    }
}

std::map<std::string, ElementSetting> settingsOfAlike(ax::AccessibilityBackend& backend,
                                                      const UICandidate& chosen,
                                                      const WindowSnapshot& reading) {
    std::map<std::string, ElementSetting> out;
    std::size_t asked = 0;
    for (const UICandidate& c : reading.candidates) {
        const auto element = reading.elements.find(c.id);
        if (element == reading.elements.end() || !sameControl(chosen, c.role, c.label())) {
            continue;
        }
        if (++asked > kMostAlike) {
            break;
        }
        if (auto where = setting(backend, element->second)) {
            out.emplace(c.id, std::move(*where));
        }
    }
    return out;
}

bool sameSetting(const ElementSetting& a, const ElementSetting& b, bool ticking) {
    return sameParts(a.row, b.row, ticking) && sameParts(a.ancestors, b.ancestors, ticking);
}

bool isTheControlSeen(const Sighting& seen, const std::vector<Sighting>& seenAlso,
                      const std::vector<Sighting>& now, std::size_t which) {
    // Ticking values tell nothing apart where the user saw a twin but for them (a list of
    // invoices that differ only by their numbers).
    const bool ticking = std::none_of(seenAlso.begin(), seenAlso.end(),
                                      [&](const Sighting& s) { return sameThree(s, seen, true); });
    const auto twin = [&](const Sighting& s) { return sameThree(s, seen, ticking); };
    if (which < now.size() && now[which].chosenElement) {
        return twin(now[which]);
    }
    return which < now.size() && twin(now[which]) &&
           std::count_if(now.begin(), now.end(), twin) == 1 &&
           std::none_of(seenAlso.begin(), seenAlso.end(), twin);
}

std::optional<std::size_t> whichIsChosen(
    ax::AccessibilityBackend& backend, const ChosenControl& chosen,
    const std::vector<std::pair<ax::Element, Sighting>>& elements) {
    if (!chosen.setting || elements.empty() || elements.size() > kMostAlike) {
        return std::nullopt;
    }
    const Sighting seen{chosen.candidate.role, chosen.candidate.label(), chosen.setting};
    std::vector<Sighting> seenAlso;
    for (const UICandidate& c : chosen.seen) {
        if (c.id != chosen.candidate.id && sameControl(chosen.candidate, c.role, c.label())) {
            const auto where = chosen.seenSettings.find(c.id);
            seenAlso.push_back(
                {c.role, c.label(),
                 where == chosen.seenSettings.end() ? std::nullopt : std::optional(where->second)});
        }
    }
    std::vector<Sighting> now;
    for (const auto& [element, sighting] : elements) {
        now.push_back(sighting);
        now.back().chosenElement = element == chosen.element;
        if (!now.back().setting) {
            now.back().setting = setting(backend, element);
        }
    }
    for (std::size_t i = 0; i < now.size(); ++i) {
        if (isTheControlSeen(seen, seenAlso, now, i)) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<PresentControl> present(ax::AccessibilityBackend& backend,
                                      const ChosenControl& chosen,
                                      const std::optional<ElementLook>& now, const Rect& window,
                                      const WindowReading& reread, bool inRow) {
    // An element without a label of its own may have had one lent by the reading (a child's
    // text); the reading tells then.
    if (now && now->frame && (!now->label.empty() || chosen.candidate.label().empty()) &&
        sameControl(chosen.candidate, now->role, now->label)) {
        // One that left the window is not what the user saw, and another control that now
        // stands where it stood is not it either.
        if (!inside(*now->frame, window)) {
            return std::nullopt;
        }
        // Still there, in the row the user saw; else its row may stand elsewhere now.
        if (!chosen.setting || inRow ||
            whichIsChosen(backend, chosen, {{chosen.element, {now->role, now->label, {}}}})) {
            return PresentControl{chosen.element, *now->frame, false};
        }
    }
    // Gone, changed, or labelled by something else than itself: a fresh reading tells, with
    // labels made as the chosen one's was.
    const std::optional<WindowSnapshot> reading = reread ? reread() : std::nullopt;
    if (!reading) {
        return std::nullopt;
    }
    std::vector<std::pair<ax::Element, Sighting>> alike;
    std::vector<Rect> frames;
    for (const UICandidate& candidate : reading->candidates) {
        const auto found = reading->elements.find(candidate.id);
        if (found == reading->elements.end() || found->second.isNull() ||
            !sameControl(chosen.candidate, candidate.role, candidate.label()) ||
            !inside(candidate.frame, window)) {
            continue;
        }
        // Where it stood was not noted: only the chosen element itself.
        if (!chosen.setting && found->second == chosen.element) {
            return PresentControl{chosen.element, candidate.frame, false};
        }
        alike.emplace_back(found->second, Sighting{candidate.role, candidate.label(), {}});
        frames.push_back(candidate.frame);
    }
    const auto which = whichIsChosen(backend, chosen, alike);
    if (!which) {
        return std::nullopt;
    }
    const ax::Element& element = alike[*which].first;
    return PresentControl{element, frames[*which], !(element == chosen.element)};
}

}  // namespace ovra::ElementIdentity
