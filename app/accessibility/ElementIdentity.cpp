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
constexpr int kMostAncestors = 6;
constexpr int kMostWrappers = 3;

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

// "role label" of an element, with a static text's own text as its label.
std::string described(const ElementLook& look) {
    std::string label = look.label;
    if (const std::string* text = look.value ? ax::asString(*look.value) : nullptr;
        label.empty() && text && look.role == "AXStaticText") {
        label = *text;
    }
    return look.role + " " + comparable(label);
}

// Whether `a` and `b` are the same controls about the same places.
bool unmoved(const UICandidate& a, const UICandidate& b) {
    return a.role == b.role && sameLabel(a.label(), b.label()) &&
           distance(a.frame, b.frame) <= kUnmoved &&
           std::abs(a.frame.width() - b.frame.width()) <= kUnmoved &&
           std::abs(a.frame.height() - b.frame.height()) <= kUnmoved;
}

// The controls of `list` around `place`, but the one at `skip`.
std::vector<const UICandidate*> around(const std::vector<UICandidate>& list, const Rect& place,
                                       const UICandidate* skip) {
    const Rect near(place.minX() - kSurroundings, place.minY() - kSurroundings,
                    place.width() + 2 * kSurroundings, place.height() + 2 * kSurroundings);
    std::vector<const UICandidate*> out;
    for (const UICandidate& c : list) {
        if (&c != skip && c.frame.isFinite() && c.frame.intersects(near)) {
            out.push_back(&c);
        }
    }
    return out;
}

// Whether each control of `a` has one unmoved in `b`.
bool allFound(const std::vector<const UICandidate*>& a, const std::vector<const UICandidate*>& b) {
    return std::all_of(a.begin(), a.end(), [&](const UICandidate* x) {
        return std::any_of(b.begin(), b.end(),
                           [&](const UICandidate* y) { return unmoved(*x, *y); });
    });
}

std::size_t countAlike(const std::vector<UICandidate>& list, const UICandidate& chosen) {
    return static_cast<std::size_t>(std::count_if(list.begin(), list.end(), [&](const auto& c) {
        return sameControl(chosen, c.role, c.label());
    }));
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

std::optional<ElementSetting> setting(ax::AccessibilityBackend& backend,
                                      const ax::Element& element) {
    if (!lookAgain(backend, element)) {
        return std::nullopt;
    }
    // The row: the nearest ancestor that holds more than the control (a wrapper that holds it
    // alone tells nothing).
    ElementSetting out;
    ax::Element inRow = element;
    std::optional<ax::Element> row = parentOf(backend, element);
    for (int up = 0; row; ++up) {
        auto kids = backend.children(*row, kMostRowParts + 1);
        if (!kids) {
            return std::nullopt;
        }
        if (kids.value().size() > 1 || up + 1 >= kMostWrappers) {
            for (const ax::Element& kid : kids.value()) {
                if (out.row.size() >= kMostRowParts) {
                    break;
                }
                const auto part = kid == inRow ? std::nullopt : lookAgain(backend, kid);
                out.row.push_back(kid == inRow ? "*" : part ? described(*part) : "?");
            }
            break;
        }
        inRow = *row;
        row = parentOf(backend, *row);
    }
    if (!row) {
        return std::nullopt;
    }
    // The labels above, up to the page or the window, whose own titles change with what they show.
    std::optional<ax::Element> above = row;
    for (int level = 0; above && level < kMostAncestors; ++level) {
        const auto seen = lookAgain(backend, *above);
        if (!seen || seen->role == "AXWebArea" || seen->role == "AXWindow" ||
            seen->role == "AXApplication") {
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

bool drawnAnew(ax::AccessibilityBackend& backend, const ChosenControl& chosen,
               const ax::Element& other, const std::optional<WindowSnapshot>& fresh) {
    // Nothing to compare with; a control the reading saw elsewhere slid into the place; one of
    // several alike (a list of "Delete" buttons) is told apart from the others by nothing the
    // toolkit shows of it.
    if (!chosen.setting || other.isNull() || other == chosen.element || seenBefore(chosen, other) ||
        countAlike(chosen.seen, chosen.candidate) > 1) {
        return false;
    }
    if (fresh) {
        if (countAlike(fresh->candidates, chosen.candidate) != 1) {
            return false;
        }
        // The page around its place as the reading showed it, and nothing new there.
        const UICandidate* chosenSeen = nullptr;
        for (const UICandidate& c : chosen.seen) {
            if (c == chosen.candidate) {
                chosenSeen = &c;
            }
        }
        const UICandidate* otherNow = nullptr;
        for (const UICandidate& c : fresh->candidates) {
            const auto found = fresh->elements.find(c.id);
            if (found != fresh->elements.end() && found->second == other) {
                otherNow = &c;
            }
        }
        const auto before = around(chosen.seen, chosen.candidate.frame, chosenSeen);
        const auto now = around(fresh->candidates, chosen.candidate.frame, otherNow);
        if (before.size() != now.size() || !allFound(before, now) || !allFound(now, before)) {
            return false;
        }
    }
    return setting(backend, other) == chosen.setting;
}

std::optional<PresentControl> present(ax::AccessibilityBackend& backend,
                                      const ChosenControl& chosen,
                                      const std::optional<ElementLook>& now, const Rect& window,
                                      const WindowReading& reread) {
    // An element without a label of its own may have had one lent by the reading (a child's
    // text); the reading tells then.
    if (now && now->frame && (!now->label.empty() || chosen.candidate.label().empty()) &&
        sameControl(chosen.candidate, now->role, now->label)) {
        // Still there; one that left the window is not what the user saw, and another control
        // that now stands where it stood is not it either.
        if (inside(*now->frame, window)) {
            return PresentControl{chosen.element, *now->frame, false};
        }
        return std::nullopt;
    }
    // Gone, changed, or labelled by something else than itself: a fresh reading tells, with
    // labels made as the chosen one's was. Where the element itself is gone, only the same
    // control drawn anew in its place may stand for it.
    const bool gone = !now;
    const std::optional<WindowSnapshot> reading = reread ? reread() : std::nullopt;
    if (!reading) {
        return std::nullopt;
    }
    std::optional<PresentControl> nearest;
    double closest = kReplacementReach;
    for (const UICandidate& candidate : reading->candidates) {
        const auto found = reading->elements.find(candidate.id);
        if (found == reading->elements.end() || found->second.isNull() ||
            !sameControl(chosen.candidate, candidate.role, candidate.label()) ||
            !inside(candidate.frame, window)) {
            continue;
        }
        if (found->second == chosen.element) {
            return PresentControl{chosen.element, candidate.frame, false};
        }
        if (const double apart = distance(candidate.frame, chosen.candidate.frame);
            gone && apart <= closest) {
            nearest = PresentControl{found->second, candidate.frame, true};
            closest = apart;
        }
    }
    if (nearest && drawnAnew(backend, chosen, nearest->element, reading)) {
        return nearest;
    }
    return std::nullopt;
}

}  // namespace ovra::ElementIdentity
