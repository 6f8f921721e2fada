#include "app/accessibility/PaintedAtPress.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string_view>

#include "app/accessibility/BoundedReader.h"
#include "app/accessibility/SeenControls.h"
#include "core/Visibility.h"

namespace ovra::PaintedAtPress {
namespace {

bool usable(const Rect& r) {
    // Written so that NaN sizes fail.
    return !r.isNull() && r.isFinite() && r.width() > 1 && r.height() > 1;
}

// One element on the way up: its parent and its frame, in one round trip.
struct Step {
    ax::Element parent;
    std::optional<Rect> frame;
};

Step stepUp(BoundedReader& reader, const ax::Element& element) {
    static constexpr std::string_view kNames[] = {"AXParent", "AXPosition", "AXSize"};
    const auto read = reader.attributes(element, kNames);
    Step step;
    if (read.size() != std::size(kNames)) {
        return step;
    }
    if (read[0]) {
        step.parent = ax::asElement(*read[0]).value_or(ax::Element());
    }
    const auto origin = read[1] ? ax::asPoint(*read[1]) : std::nullopt;
    const auto extent = read[2] ? ax::asSize(*read[2]) : std::nullopt;
    if (origin && extent && Rect(*origin, *extent).isFinite()) {
        step.frame = Rect(*origin, *extent);
    }
    return step;
}

// The control's ancestors below the window; `region` is kept inside their frames where it can be
// (a scroll area or a carousel shows only what lies inside it).
std::vector<ax::Element> ancestors(BoundedReader& reader, const Question& q, Rect& region) {
    std::vector<ax::Element> out;
    ax::Element current = stepUp(reader, q.control).parent;
    for (int level = 0; level < kMostAncestors && !current.isNull() && !(current == q.window);
         ++level) {
        Step step = stepUp(reader, current);
        if (step.frame) {
            if (const Rect inside = region.intersection(*step.frame); usable(inside)) {
                region = inside;
            }
        }
        out.push_back(std::move(current));
        current = std::move(step.parent);
    }
    return out;
}

// The other controls that lie over part of `region`: one that holds all of it leaves no point
// apart from it.
std::vector<Rect> partlyOver(const Rect& region, const std::vector<Rect>& others) {
    std::vector<Rect> over;
    for (const Rect& other : others) {
        if (usable(other) && other.intersects(region) && !other.contains(region)) {
            over.push_back(other);
        }
    }
    return over;
}

// The next point to ask at, once the points `asked` found the control's container there: of a
// grid over `region`, one outside every frame of `avoid`, as far from those asked (in the region's
// own proportions) as can be, so that a clip that leaves part of the control is found.
std::optional<Point> farthestApart(const Rect& region, const std::vector<Rect>& avoid,
                                   const std::vector<Point>& asked) {
    constexpr int kSide = 5;
    std::optional<Point> best;
    double bestDistance = 0;
    for (int row = 0; row < kSide; ++row) {
        for (int column = 0; column < kSide; ++column) {
            const double u = (column + 0.5) / kSide;
            const double v = (row + 0.5) / kSide;
            const Point p{region.minX() + region.width() * u, region.minY() + region.height() * v};
            if (std::any_of(avoid.begin(), avoid.end(),
                            [&](const Rect& r) { return r.contains(p); })) {
                continue;
            }
            double nearest = std::numeric_limits<double>::infinity();
            for (const Point& a : asked) {
                const double du = (a.x - region.minX()) / region.width() - u;
                const double dv = (a.y - region.minY()) / region.height() - v;
                nearest = std::min(nearest, du * du + dv * dv);
            }
            if (nearest > bestDistance) {
                bestDistance = nearest;
                best = p;
            }
        }
    }
    return best;
}

std::vector<const Rect*> pointers(const std::vector<Rect>& rects) {
    std::vector<const Rect*> out;
    out.reserve(rects.size());
    for (const Rect& r : rects) {
        out.push_back(&r);
    }
    return out;
}

}  // namespace

Rect visiblePart(const Rect& frame, const Rect& shown, const Rect& window) {
    Rect part = frame;
    for (const Rect* within : {&shown, &window}) {
        if (!within->isNull() && within->isFinite()) {
            part = part.intersection(*within);
        }
    }
    return part;
}

std::optional<Point> firstPoint(const Rect& region, const std::vector<Rect>& others) {
    if (!usable(region)) {
        return std::nullopt;
    }
    const std::vector<Rect> over = partlyOver(region, others);
    return Visibility::pointApart(region, pointers(over)).value_or(region.center());
}

Answer ask(BoundedReader& reader, const Question& q) {
    std::optional<Point> point = firstPoint(q.region, q.others);
    if (!point || q.window.isNull() || q.control.isNull()) {
        return Answer::untold;
    }
    Rect region = q.region;
    std::vector<Rect> avoid = partlyOver(region, q.others);
    std::optional<std::vector<ax::Element>> lineage;
    std::vector<Point> asked;
    const double settle = reader.backend().hitTestSettleSeconds(q.window);
    for (int n = 1;; ++n) {
        // A hit test asked here a moment ago has let a lagging toolkit look at what is painted.
        const double since = q.asked ? reader.clock().now() - q.asked->when : -1;
        const bool looked = n == 1 && settle > 0 && q.asked && q.asked->at == *point &&
                            since >= settle && since <= kAskedStands;
        auto hit =
            looked ? reader.elementAtPoint(q.window, *point) : paintedAt(reader, q.window, *point);
        if (!hit || hit.value().isNull() || hit.value() == q.window) {
            return Answer::untold;
        }
        if (hitOf(reader, q.window, q.control, hit.value()) != HitOf::elsewhere) {
            return Answer::seen;
        }
        if (!lineage) {
            lineage = ancestors(reader, q, region);
        }
        // Something of another branch on top: a cover the reading did not see, or the page's
        // next drawing of the control. The action reaches the control itself, not what lies over
        // it, so this look leaves the press as it was. Only the control's own container answering
        // says the control is not painted there (a clip).
        if (std::find(lineage->begin(), lineage->end(), hit.value()) == lineage->end()) {
            return Answer::untold;
        }
        asked.push_back(*point);
        if (n >= kMostPoints) {
            return Answer::hidden;
        }
        point = farthestApart(region, avoid, asked);
        if (!point) {
            return Answer::hidden;
        }
    }
}

}  // namespace ovra::PaintedAtPress
