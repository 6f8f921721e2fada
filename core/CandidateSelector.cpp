#include "core/CandidateSelector.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <unordered_set>

namespace ovra {

namespace {

constexpr double kMinimumSide = 4;
constexpr double kContainerMargin = 2;

// The whole-number part of v as decimal text, or nothing when v is not finite or does not fit
// a 64-bit integer. Truncation toward zero turns -0.5 into "0", never "-0".
std::optional<std::string> wholePart(double v) {
    if (!std::isfinite(v) || std::fabs(v) >= 9.0e18)
        return std::nullopt;
    return std::to_string(static_cast<long long>(std::trunc(v)));
}

std::optional<std::string> duplicateKey(const UICandidate& c) {
    const Rect& f = c.frame;
    auto x = wholePart(f.minX());
    auto y = wholePart(f.minY());
    auto w = wholePart(f.width());
    auto h = wholePart(f.height());
    if (!x || !y || !w || !h)
        return std::nullopt;
    return *x + ":" + *y + ":" + *w + ":" + *h + ":" + c.label();
}

struct Ranked {
    const UICandidate* candidate;
    double hiddenFraction;
    double distance;
};

// NaN must never reach the sort's comparator: it would break the strict weak ordering.
double orInfinity(double v) {
    return std::isnan(v) ? std::numeric_limits<double>::infinity() : v;
}

}  // namespace

std::vector<UICandidate> CandidateSelector::collapseContainers(
    const std::vector<UICandidate>& candidates) {
    // Controls' bounds sorted by left edge, so each container only scans the controls that
    // start within its own horizontal span.
    struct Bounds {
        double minX, minY, maxX, maxY;
        const std::string* id;
    };
    std::vector<Bounds> controls;
    for (const auto& c : candidates) {
        if (CandidateRoles::pressableContainers().contains(c.role))
            continue;
        const Rect& f = c.frame;
        if (f.isNull() || std::isnan(f.minX()) || std::isnan(f.minY()) || std::isnan(f.maxX()) ||
            std::isnan(f.maxY())) {
            continue;  // contained in nothing
        }
        controls.push_back({f.minX(), f.minY(), f.maxX(), f.maxY(), &c.id});
    }
    std::sort(controls.begin(), controls.end(),
              [](const Bounds& a, const Bounds& b) { return a.minX < b.minX; });

    auto wrapsControl = [&controls](const UICandidate& container) {
        const Rect grown = container.frame.insetBy(-kContainerMargin, -kContainerMargin);
        if (grown.isNull() || !grown.isFinite())
            return false;
        const double x0 = grown.minX(), y0 = grown.minY(), x1 = grown.maxX(), y1 = grown.maxY();
        auto it = std::lower_bound(controls.begin(), controls.end(), x0,
                                   [](const Bounds& b, double x) { return b.minX < x; });
        for (; it != controls.end() && it->minX <= x1; ++it) {
            if (it->minY >= y0 && it->maxX <= x1 && it->maxY <= y1 && *it->id != container.id) {
                return true;
            }
        }
        return false;
    };

    std::vector<UICandidate> kept;
    kept.reserve(candidates.size());
    for (const auto& c : candidates) {
        if (!CandidateRoles::pressableContainers().contains(c.role) || !wrapsControl(c)) {
            kept.push_back(c);
        }
    }
    return kept;
}

std::vector<UICandidate> CandidateSelector::select(const std::vector<UICandidate>& candidates,
                                                   const Rect& viewport, std::optional<Point> focus,
                                                   int limit, bool inBrowser) {
    if (limit <= 0)
        return {};
    std::vector<UICandidate> pool = collapseContainers(candidates);

    if (inBrowser) {
        const bool allChrome =
            std::all_of(pool.begin(), pool.end(), [](const auto& c) { return c.isChrome; });
        if (!allChrome)
            std::erase_if(pool, [](const auto& c) { return c.isChrome; });
    }

    const Point reference = focus.value_or(viewport.center());

    std::vector<Ranked> ranked;
    ranked.reserve(pool.size());
    std::unordered_set<std::string> seen;
    for (const auto& c : pool) {
        const Rect& f = c.frame;
        if (!f.isFinite())
            continue;
        if (!(f.width() >= kMinimumSide && f.height() >= kMinimumSide))
            continue;
        if (!f.intersects(viewport))
            continue;
        auto key = duplicateKey(c);
        if (!key || !seen.insert(std::move(*key)).second)
            continue;

        const Rect visible = f.intersection(viewport);
        const double area = f.width() * f.height();
        double hidden = 1.0 - (visible.width() * visible.height()) / area;
        if (!std::isfinite(hidden))
            hidden = 1.0;
        const double distance = std::hypot(f.midX() - reference.x, f.midY() - reference.y);
        ranked.push_back({&c, hidden, orInfinity(distance)});
    }

    std::stable_sort(ranked.begin(), ranked.end(), [](const Ranked& a, const Ranked& b) {
        if (a.hiddenFraction != b.hiddenFraction)
            return a.hiddenFraction < b.hiddenFraction;
        if (a.candidate->isFocused != b.candidate->isFocused)
            return a.candidate->isFocused;
        if (a.candidate->isChrome != b.candidate->isChrome)
            return !a.candidate->isChrome;
        return a.distance < b.distance;
    });

    const auto count = std::min(ranked.size(), static_cast<std::size_t>(limit));
    std::vector<UICandidate> out;
    out.reserve(count);
    for (std::size_t i = 0; i < count; ++i)
        out.push_back(*ranked[i].candidate);
    return out;
}

bool OffscreenPruning::skip(const Rect& frame, const Rect& viewport, bool insideScrollArea) {
    if (!insideScrollArea)
        return false;
    if (!(frame.width() > 0 && frame.height() > 0))
        return false;
    return !frame.intersects(viewport);
}

}  // namespace ovra
