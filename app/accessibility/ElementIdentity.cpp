#include "app/accessibility/ElementIdentity.h"

#include <cmath>

#include "app/accessibility/AXWalk.h"
#include "core/DarkPatternPrior.h"

namespace ovra::ElementIdentity {
namespace {

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

}  // namespace

bool sameLabel(std::string_view a, std::string_view b) {
    return DarkPatternPrior::normalized(a) == DarkPatternPrior::normalized(b);
}

bool standsFor(const UICandidate& chosen, const std::string& role, const std::string& label,
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

std::optional<PresentControl> present(const UICandidate& chosen, const ax::Element& element,
                                      const std::optional<ElementLook>& now, const Rect& window,
                                      const WindowReading& reread) {
    // An element without a label of its own may have had one lent by the reading (a child's
    // text); the reading tells then.
    if (now && now->frame && (!now->label.empty() || chosen.label().empty()) &&
        sameControl(chosen, now->role, now->label)) {
        // Still there; one that left the window is not what the user saw, and another control
        // that now stands where it stood is not it either.
        if (inside(*now->frame, window)) {
            return PresentControl{element, *now->frame, false};
        }
        return std::nullopt;
    }
    // Gone, changed, or labelled by something else than itself: a fresh reading tells, with
    // labels made as the chosen one's was.
    const std::optional<WindowSnapshot> reading = reread ? reread() : std::nullopt;
    if (!reading) {
        return std::nullopt;
    }
    std::optional<PresentControl> best;
    double nearest = kReplacementReach;
    for (const UICandidate& candidate : reading->candidates) {
        const auto found = reading->elements.find(candidate.id);
        if (found == reading->elements.end() || found->second.isNull() ||
            !sameControl(chosen, candidate.role, candidate.label()) ||
            !inside(candidate.frame, window)) {
            continue;
        }
        if (found->second == element) {
            return PresentControl{element, candidate.frame, false};
        }
        const double apart = distance(candidate.frame, chosen.frame);
        if (apart <= nearest) {
            best = PresentControl{found->second, candidate.frame, true};
            nearest = apart;
        }
    }
    return best;
}

}  // namespace ovra::ElementIdentity
