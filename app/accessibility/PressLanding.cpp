#include "app/accessibility/PressLanding.h"

#include <algorithm>
#include <cmath>

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

}  // namespace

Landing afterItWent(const Pressed& pressed, const std::optional<WindowSnapshot>& reading,
                    bool containerStays) {
    if (!reading) {
        return Landing::unsure;
    }
    const Rect& place = pressed.target.frame;
    bool other = false;
    for (const UICandidate& candidate : reading->candidates) {
        if (!candidate.frame.isFinite() || !near(candidate.frame, place)) {
            continue;
        }
        if (ElementIdentity::standsFor(pressed.chosen, candidate.role, candidate.label(),
                                       candidate.frame)) {
            return Landing::unsure;
        }
        other = other || !wasThere(candidate, pressed.seen);
    }
    return other && containerStays ? Landing::missed : Landing::reached;
}

Landing follow(ax::AccessibilityBackend& backend, ax::Clock& clock, const Pressed& pressed,
               double poll) {
    const double start = clock.now();
    for (;;) {
        clock.sleep(poll);
        const auto now = ElementIdentity::look(backend, pressed.app, pressed.target.element);
        if (!now || now->role != pressed.before.role) {
            const bool containerStays =
                !pressed.container.isNull() &&
                ElementIdentity::look(backend, pressed.app, pressed.container).has_value();
            return afterItWent(pressed, pressed.reread ? pressed.reread() : std::nullopt,
                               containerStays);
        }
        if ((now->focused && !pressed.before.focused) || now->value != pressed.before.value ||
            clock.now() - start >= kCatchUp) {
            return Landing::reached;
        }
    }
}

}  // namespace ovra::PressLanding
