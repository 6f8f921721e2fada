#include "app/accessibility/PressLanding.h"

#include <algorithm>
#include <cmath>

#include "core/ActionSafety.h"

namespace ovra::PressLanding {
namespace {

bool near(const Rect& a, const Rect& b) {
    const Point p = a.center();
    const Point q = b.center();
    return std::hypot(p.x - q.x, p.y - q.y) <= ElementIdentity::kReplacementReach;
}

// Whether the reading before the press showed this control about where it is now.
bool wasThere(const UICandidate& candidate, const std::vector<UICandidate>& seen) {
    return std::any_of(seen.begin(), seen.end(), [&](const UICandidate& before) {
        return before.role == candidate.role &&
               ElementIdentity::sameLabel(before.label(), candidate.label()) &&
               near(before.frame, candidate.frame);
    });
}

std::size_t alike(const std::vector<UICandidate>& list, const UICandidate& chosen) {
    return static_cast<std::size_t>(std::count_if(list.begin(), list.end(), [&](const auto& c) {
        return c.role == chosen.role && ElementIdentity::sameLabel(c.label(), chosen.label());
    }));
}

// The roles of a setting's parts, in order.
std::vector<std::string> roles(const std::vector<std::string>& parts) {
    std::vector<std::string> out;
    for (const std::string& part : parts) {
        out.push_back(part.substr(0, part.find(' ')));
    }
    return out;
}

// Whether two settings have the same parts, of the same roles, whatever they show.
bool laidOutAlike(const ElementSetting& a, const ElementSetting& b) {
    return roles(a.row) == roles(b.row) && roles(a.ancestors) == roles(b.ancestors);
}

// Whether the control, labelled so, is one that asks for a second press.
bool risky(const UICandidate& control, const std::string& label) {
    UICandidate relabelled = control;
    relabelled.title = label;
    relabelled.description.clear();
    return ActionSafety::needsConfirmation(relabelled);
}

}  // namespace

Landing afterItWent(const Pressed& pressed, const std::optional<WindowSnapshot>& reading,
                    bool containerStays, const std::map<std::string, ElementSetting>& settings) {
    if (!reading) {
        return {Verdict::unsure, "it went and the window could not be read again"};
    }
    const UICandidate& chosen = pressed.chosen.candidate;
    const Rect& place = pressed.target.frame;
    bool other = false;
    bool anew = false;
    // Where the drawing in its place stands, when known.
    std::optional<ElementSetting> inItsPlace;
    for (const UICandidate& candidate : reading->candidates) {
        if (!candidate.frame.isFinite() || !near(candidate.frame, place)) {
            continue;
        }
        // A control the reading saw elsewhere moved into its place: the page closed the gap.
        const auto element = reading->elements.find(candidate.id);
        if (element != reading->elements.end() &&
            ElementIdentity::seenBefore(pressed.chosen, element->second)) {
            continue;
        }
        if (ElementIdentity::inItsPlace(chosen, candidate.role, candidate.label(),
                                        candidate.frame)) {
            anew = true;
            if (const auto where = settings.find(candidate.id); where != settings.end()) {
                inItsPlace = where->second;
            }
        } else {
            other = other || !wasThere(candidate, pressed.chosen.seen);
        }
    }
    const bool fewer = alike(reading->candidates, chosen) < alike(pressed.chosen.seen, chosen);
    if (anew) {
        // The row the user saw, nowhere now (values that tick in it set aside).
        const std::optional<ElementSetting>& seen = pressed.chosen.setting;
        const bool rowWent =
            seen && std::none_of(settings.begin(), settings.end(), [&](const auto& entry) {
                return ElementIdentity::sameSetting(entry.second, *seen, true);
            });
        // The rows were drawn anew without the one pressed, or its row went and one fewer of its
        // kind is left, also in a list drawn anew around it.
        if (fewer && (!containerStays || rowWent)) {
            return {Verdict::reached, "it went with its row"};
        }
        // Drawn anew showing its next state (a month, a page): laid out as before, showing
        // other texts, and the one it showed gone.
        if (!fewer && rowWent && inItsPlace && seen && laidOutAlike(*inItsPlace, *seen)) {
            return {Verdict::reached, "it shows its next state"};
        }
        // Else the page drew it anew, or put another of the kind there.
        return {Verdict::unsure, "the page drew it anew in its place"};
    }
    if (containerStays && other) {
        return {Verdict::unsure, "another control stands in its place"};
    }
    // A drawing the page had made anew may have been swept away before the press came.
    if (containerStays && pressed.target.replaced) {
        return {Verdict::unsure, "a drawing the page had made anew went"};
    }
    return {Verdict::reached, "it went as it was pressed"};
}

Landing follow(ax::AccessibilityBackend& backend, ax::Clock& clock, const Pressed& pressed,
               double poll) {
    const double start = clock.now();
    for (;;) {
        clock.sleep(poll);
        auto now = ElementIdentity::look(backend, pressed.app, pressed.target.element);
        if (!now) {
            // A look that met a moment the app did not answer is made again once it answers;
            // while it does not, what the press did cannot be told.
            const auto app = backend.attribute(backend.applicationElement(pressed.app), "AXRole");
            if (!app && app.error() == ax::AXError::timeout) {
                return {Verdict::unsure, "the app did not answer"};
            }
            now = ElementIdentity::lookAgain(backend, pressed.target.element);
        }
        if (!now || now->role != pressed.before.role) {
            if (pressed.pageChangedFirst) {
                return {Verdict::unsure, "the page changed as the press was sent"};
            }
            const bool containerStays =
                !pressed.container.isNull() &&
                ElementIdentity::look(backend, pressed.app, pressed.container).has_value();
            const auto reading = pressed.reread ? pressed.reread() : std::nullopt;
            return afterItWent(pressed, reading, containerStays,
                               reading ? ElementIdentity::settingsOfAlike(
                                             backend, pressed.chosen.candidate, *reading)
                                       : std::map<std::string, ElementSetting>());
        }
        if (!now->label.empty() && !ElementIdentity::sameLabel(now->label, pressed.before.label)) {
            if (risky(pressed.chosen.candidate, now->label)) {
                return {Verdict::unsure, "it shows another label", now->label};
            }
            return {Verdict::reached, "it relabelled itself", now->label};
        }
        if (now->focused && !pressed.before.focused) {
            return {Verdict::reached, "it took the focus"};
        }
        if (now->value != pressed.before.value) {
            return {Verdict::reached, "its value changed"};
        }
        if (clock.now() - start >= kCatchUp) {
            return {Verdict::reached, "it is still there"};
        }
    }
}

}  // namespace ovra::PressLanding
