#include "core/Visibility.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_map>
#include <utility>

#include "core/Text.h"

namespace ovra::Visibility {

namespace {

double area(const Rect& r) {
    return std::max(0.0, r.width()) * std::max(0.0, r.height());
}

bool nested(const std::vector<int>& a, const std::vector<int>& b) {
    const auto& shorter = a.size() <= b.size() ? a : b;
    const auto& longer = a.size() <= b.size() ? b : a;
    return std::equal(shorter.begin(), shorter.end(), longer.begin());
}

// Calls `pair(i, j)`, i < j, for each two controls whose frames may meet: a sweep along the
// axis the controls spread most on, so that a page of thousands of controls lying apart costs
// no comparison of each with every other.
template <typename Pair>
void forMeetingPairs(const std::vector<LaidControl>& controls, const Pair& pair) {
    std::vector<std::size_t> order;
    double lowX = std::numeric_limits<double>::infinity(),
           highX = -std::numeric_limits<double>::infinity(),
           lowY = std::numeric_limits<double>::infinity(),
           highY = -std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < controls.size(); ++i) {
        const Rect& f = controls[i].frame;
        if (f.isFinite() && area(f) > 0) {
            order.push_back(i);
            lowX = std::min(lowX, f.midX()), highX = std::max(highX, f.midX());
            lowY = std::min(lowY, f.midY()), highY = std::max(highY, f.midY());
        }
    }
    const bool alongX = highX - lowX >= highY - lowY;
    const auto low = [&](std::size_t i) {
        return alongX ? controls[i].frame.minX() : controls[i].frame.minY();
    };
    const auto high = [&](std::size_t i) {
        return alongX ? controls[i].frame.maxX() : controls[i].frame.maxY();
    };
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return low(a) < low(b); });
    for (std::size_t a = 0; a < order.size(); ++a) {
        for (std::size_t b = a + 1; b < order.size() && low(order[b]) <= high(order[a]); ++b) {
            const auto [i, j] = std::minmax(order[a], order[b]);
            pair(i, j);
        }
    }
}

struct PathHash {
    std::size_t operator()(const std::vector<int>& path) const {
        std::size_t hash = 1469598103934665603U;
        for (const int step : path) {
            hash = (hash ^ static_cast<std::size_t>(static_cast<unsigned>(step))) * 1099511628211U;
        }
        return hash;
    }
};

// A box laid over a control need overlap it by more than a border's width.
constexpr double kSlack = 2;

std::size_t commonPrefix(const std::vector<int>& a, const std::vector<int>& b) {
    const auto [ia, ib] = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
    (void)ib;
    return static_cast<std::size_t>(ia - a.begin());
}

bool usable(const Rect& r) {
    return r.isFinite() && !r.isNull() && r.width() > 0 && r.height() > 0;
}

// The boxes that may lie over a control, by the cells of a coarse grid over the area the
// controls show in: a page of thousands of boxes costs no comparison of each control with each.
class CoverIndex {
  public:
    CoverIndex(const std::vector<Box>& boxes, const Rect& area) : area_(area) {
        if (!usable(area)) {
            return;
        }
        columns_ = cellsAlong(area.width());
        rows_ = cellsAlong(area.height());
        cells_.resize(columns_ * rows_);
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            const Box& b = boxes[i];
            if (b.kind == Box::Kind::text || b.opaque == false || !usable(b.frame)) {
                continue;
            }
            forCells(b.frame, [&](std::size_t cell) { cells_[cell].push_back(i); });
        }
        stamp_.assign(boxes.size(), 0);
    }

    // Calls `visit(i)` once for each box whose cells meet `r`.
    template <typename Visit>
    void near(const Rect& r, const Visit& visit) {
        ++round_;
        forCells(r, [&](std::size_t cell) {
            for (const std::size_t i : cells_[cell]) {
                if (stamp_[i] != round_) {
                    stamp_[i] = round_;
                    visit(i);
                }
            }
        });
    }

  private:
    static constexpr double kCell = 128;

    static std::size_t cellsAlong(double length) {
        return static_cast<std::size_t>(std::clamp(std::ceil(length / kCell), 1.0, 256.0));
    }

    template <typename Each>
    void forCells(const Rect& r, const Each& each) const {
        const Rect part = r.intersection(area_);
        if (cells_.empty() || part.isNull()) {
            return;
        }
        const auto index = [](double offset, double length, std::size_t count) {
            const double cell = std::floor(offset / length * static_cast<double>(count));
            return static_cast<std::size_t>(std::clamp(cell, 0.0, static_cast<double>(count - 1)));
        };
        const std::size_t x0 = index(part.minX() - area_.minX(), area_.width(), columns_);
        const std::size_t x1 = index(part.maxX() - area_.minX(), area_.width(), columns_);
        const std::size_t y0 = index(part.minY() - area_.minY(), area_.height(), rows_);
        const std::size_t y1 = index(part.maxY() - area_.minY(), area_.height(), rows_);
        for (std::size_t y = y0; y <= y1; ++y) {
            for (std::size_t x = x0; x <= x1; ++x) {
                each(y * columns_ + x);
            }
        }
    }

    Rect area_;
    std::size_t columns_ = 0;
    std::size_t rows_ = 0;
    std::vector<std::vector<std::size_t>> cells_;
    std::vector<unsigned> stamp_;
    unsigned round_ = 0;
};

}  // namespace

namespace {

// The parts of `part` that `hole` leaves: the bands above and below it, then beside it.
void subtract(const Rect& part, const Rect& hole, std::vector<Rect>& out) {
    const Rect cut = part.intersection(hole);
    if (cut.isNull() || !(cut.width() > 0) || !(cut.height() > 0)) {
        out.push_back(part);
        return;
    }
    const auto add = [&](double x, double y, double w, double h) {
        if (w > 0 && h > 0) {
            out.emplace_back(x, y, w, h);
        }
    };
    add(part.minX(), part.minY(), part.width(), cut.minY() - part.minY());
    add(part.minX(), cut.maxY(), part.width(), part.maxY() - cut.maxY());
    add(part.minX(), cut.minY(), cut.minX() - part.minX(), cut.height());
    add(cut.maxX(), cut.minY(), part.maxX() - cut.maxX(), cut.height());
}

// The widest part of `region` none of `avoid` lies on, when one is at least kLeastFree across
// both ways: a strip the grid of points passes by (a side menu's edge beside the main box laid
// over the rest of it).
std::optional<Point> freeStrip(const Rect& region, const std::vector<const Rect*>& avoid) {
    constexpr double kLeastFree = 8;
    constexpr std::size_t kMostParts = 256;
    std::vector<Rect> parts{region};
    for (const Rect* hole : avoid) {
        std::vector<Rect> left;
        for (const Rect& part : parts) {
            subtract(part, *hole, left);
        }
        if (left.size() > kMostParts) {
            return std::nullopt;
        }
        parts = std::move(left);
    }
    const Rect* widest = nullptr;
    for (const Rect& part : parts) {
        if (widest == nullptr ||
            std::min(part.width(), part.height()) > std::min(widest->width(), widest->height())) {
            widest = &part;
        }
    }
    if (widest == nullptr || std::min(widest->width(), widest->height()) < kLeastFree) {
        return std::nullopt;
    }
    return widest->center();
}

}  // namespace

std::optional<Point> pointApart(const Rect& region, const std::vector<const Rect*>& avoid) {
    for (const int n : {1, 3, 5}) {
        for (int row = 0; row < n; ++row) {
            for (int column = 0; column < n; ++column) {
                const Point p{region.minX() + region.width() * (column + 0.5) / n,
                              region.minY() + region.height() * (row + 0.5) / n};
                if (std::none_of(avoid.begin(), avoid.end(),
                                 [&](const Rect* r) { return r->contains(p); })) {
                    return p;
                }
            }
        }
    }
    return freeStrip(region, avoid);
}

namespace {

bool siblings(const std::vector<int>& a, const std::vector<int>& b) {
    return !a.empty() && a.size() == b.size() && std::equal(a.begin(), a.end() - 1, b.begin());
}

// Whether `box` is an earlier sibling of `branch` or of one of its ancestors.
bool earlierSiblingOfBranch(const std::vector<int>& box, const std::vector<int>& branch) {
    if (box.empty() || box.size() > branch.size()) {
        return false;
    }
    const std::size_t last = box.size() - 1;
    return std::equal(box.begin(), box.begin() + static_cast<std::ptrdiff_t>(last),
                      branch.begin()) &&
           box[last] < branch[last];
}

}  // namespace

bool isPlausibleFrame(const Rect& frame, const Rect& area) {
    return frame.isFinite() && area.isFinite() && frame.size.width >= 0 && frame.size.height >= 0 &&
           frame.intersects(area);
}

bool isSliver(const Rect& frame) {
    constexpr double kThinnest = 8;
    return frame.isFinite() && std::min(frame.width(), frame.height()) < kThinnest;
}

bool nearlyCoincide(const Rect& a, const Rect& b) {
    const double larger = std::max(area(a), area(b));
    if (!(std::min(area(a), area(b)) > 0) || !a.intersects(b)) {
        return false;
    }
    return area(a.intersection(b)) * 4 >= larger * 3;
}

Overlaps hiddenByOverlap(const std::vector<LaidControl>& controls, const OnTop& onTop) {
    Overlaps result;
    std::vector<bool> hidden(controls.size(), false);
    forMeetingPairs(controls, [&](std::size_t i, std::size_t j) {
        const LaidControl& a = controls[i];
        const LaidControl& b = controls[j];
        if (!nearlyCoincide(a.frame, b.frame) || nested(a.path, b.path)) {
            return;
        }
        if (!a.label.empty() && a.label == b.label && a.role == b.role) {
            if (a.raised == b.raised) {
                hidden[j] = true;  // whichever is pressed, it is the control the user sees
                return;
            }
            // A dialog's control over the page's of the same label: the one on top is seen.
            const std::size_t raised = a.raised ? i : j;
            const std::size_t below = a.raised ? j : i;
            const std::optional<std::size_t> top =
                onTop ? onTop(i, j, a.frame.intersection(b.frame).center()) : std::nullopt;
            hidden[top == below ? raised : below] = true;
            return;
        }
        if (siblings(a.path, b.path)) {
            const bool aClear = a.opaque == false;
            const bool bClear = b.opaque == false;
            if (aClear != bClear) {
                hidden[aClear ? i : j] = true;
            } else {
                hidden[i] = hidden[j] = true;
                ++result.untold;
            }
            return;
        }
        if (a.raised != b.raised && onTop) {
            const std::size_t raised = a.raised ? i : j;
            if (onTop(i, j, a.frame.intersection(b.frame).center()) == raised) {
                hidden[raised == i ? j : i] = true;
            }
        }
    });
    for (std::size_t i = 0; i < hidden.size(); ++i) {
        if (hidden[i]) {
            result.hidden.push_back(i);
        }
    }
    return result;
}

bool within(const std::vector<int>& inner, const std::vector<int>& outer) {
    return outer.size() <= inner.size() && std::equal(outer.begin(), outer.end(), inner.begin());
}

std::vector<Exam> examine(const std::vector<Box>& boxes, const std::vector<Shown>& controls,
                          const Beneath& beneath) {
    std::vector<Exam> exams(controls.size());
    std::unordered_map<std::vector<int>, std::size_t, PathHash> byPath;
    byPath.reserve(boxes.size());
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        byPath.emplace(boxes[i].path, i);
    }
    const auto boxAt = [&](const std::vector<int>& path, std::size_t length) -> const Box* {
        const auto it = byPath.find(
            std::vector<int>(path.begin(), path.begin() + static_cast<std::ptrdiff_t>(length)));
        return it == byPath.end() ? nullptr : &boxes[it->second];
    };
    Rect shownArea = Rect::null();
    for (const Shown& c : controls) {
        if (usable(c.visible)) {
            shownArea = shownArea.unionWith(c.visible);
        }
    }
    CoverIndex index(boxes, shownArea);

    for (std::size_t n = 0; n < controls.size(); ++n) {
        const Shown& shown = controls[n];
        const Box& control = boxes[shown.box];
        const Rect& seen = shown.visible;
        Exam& exam = exams[n];
        if (!usable(seen)) {
            // Nothing of it is left inside the viewport and its clips: there is no place to ask
            // about, and nothing a person could see.
            exam.unseen = true;
            continue;
        }
        // Its ancestors: whether it leaves one, whether it lies wholly outside one, and the part
        // of it inside them all.
        bool leaves = false;
        bool outside = false;
        Rect region = seen;
        for (std::size_t length = 0; length < control.path.size(); ++length) {
            const Box* above = boxAt(control.path, length);
            if (above == nullptr || !above->frame.isFinite() || above->frame.isNull()) {
                continue;
            }
            leaves =
                leaves || (!above->clips && !above->frame.insetBy(-kSlack, -kSlack).contains(seen));
            outside = outside || (!above->clips && usable(above->frame) &&
                                  !usable(above->frame.intersection(seen)));
            if (const Rect inside = region.intersection(above->frame); usable(inside)) {
                region = inside;
            }
        }
        // The boxes of other branches that lie over it.
        std::vector<std::size_t> over;
        index.near(seen, [&](std::size_t i) {
            const Box& b = boxes[i];
            const Rect shared = b.frame.intersection(seen);
            // A control in nearly the same place is one the overlap rules have settled.
            const bool settled = b.kind == Box::Kind::control && nearlyCoincide(b.frame, seen);
            if (i != shown.box && !settled && (b.inPage || !control.inPage) &&
                !within(control.path, b.path) && !within(b.path, control.path) &&
                !shared.isNull() && shared.width() > kSlack && shared.height() > kSlack) {
                over.push_back(i);
            }
        });
        // A control earlier in the page is drawn under a later one (a card's link under its
        // save button, a chip's link under its remove button): it hides nothing of it.
        std::erase_if(over, [&](std::size_t i) {
            return boxes[i].kind == Box::Kind::control && boxes[i].path < control.path;
        });
        if (beneath && control.inPage) {
            std::erase_if(over, [&](std::size_t i) {
                return boxes[i].kind == Box::Kind::container && boxes[i].inPage &&
                       earlierSiblingOfBranch(boxes[i].path, control.path) && beneath(i);
            });
        }
        std::vector<const Rect*> all;
        std::vector<const Rect*> controlsOver;
        for (const std::size_t i : over) {
            all.push_back(&boxes[i].frame);
            if (boxes[i].kind == Box::Kind::control) {
                controlsOver.push_back(&boxes[i].frame);
            }
        }
        // What lies partly over a control (a chip's remove button over its link, a neighbour's
        // edge, a header over its top) leaves it shown where nothing lies: only a control with
        // no such place must be told apart from what lies over it.
        const std::optional<Point> apartFromAll = pointApart(region, all);
        const std::optional<Point> apartFromControls = pointApart(region, controlsOver);
        // A page's control wholly outside an ancestor's frame is clipped away by it (a carousel's
        // other slides) unless that ancestor lets its content overflow (a dropdown laid below
        // its field): only the hit test tells which, since the browser's states may not.
        const bool clipped = control.inPage ? outside : leaves;
        const bool laidOver = clipped || (!over.empty() && !apartFromAll);
        exam.suspect = laidOver || shown.unsettled;
        exam.onlyStates = !laidOver && shown.unsettled;
        if (!exam.suspect) {
            continue;
        }
        exam.at = apartFromAll.value_or(apartFromControls.value_or(region.center()));
        if (!clipped && controlsOver.empty() && !shown.unsettled) {
            exam.over = std::move(over);
        }
    }
    return exams;
}

bool clearOfSameBoxes(const std::vector<Box>& boxes, const Shown& asked, const Exam& askedExam,
                      const Shown& other, const Exam& otherExam) {
    if (askedExam.over.empty() || otherExam.over.empty()) {
        return false;
    }
    const std::vector<int>& first = boxes[asked.box].path;
    const std::vector<int>& next = boxes[other.box].path;
    return std::all_of(otherExam.over.begin(), otherExam.over.end(), [&](std::size_t box) {
        if (std::find(askedExam.over.begin(), askedExam.over.end(), box) == askedExam.over.end()) {
            return false;
        }
        const std::size_t common = commonPrefix(first, boxes[box].path);
        if (common >= first.size()) {
            return false;
        }
        const std::vector<int> layer(first.begin(),
                                     first.begin() + static_cast<std::ptrdiff_t>(common + 1));
        return within(next, layer);
    });
}

bool underSameCover(const std::vector<Box>& boxes, const Shown& asked, std::size_t hit,
                    const Shown& other) {
    const Box& cover = boxes[hit];
    const Box& first = boxes[asked.box];
    const Box& next = boxes[other.box];
    if (!usable(cover.frame) || !cover.frame.insetBy(-1, -1).contains(other.visible) ||
        within(next.path, cover.path) || within(cover.path, next.path)) {
        return false;
    }
    const std::size_t common = commonPrefix(first.path, cover.path);
    if (common >= first.path.size()) {
        return false;
    }
    const std::vector<int> layer(first.path.begin(),
                                 first.path.begin() + static_cast<std::ptrdiff_t>(common + 1));
    return within(next.path, layer);
}

bool namesABackground(std::string_view name) {
    constexpr std::string_view kWord = "background";
    std::size_t start = 0;
    const auto isLower = [](char c) { return c >= 'a' && c <= 'z'; };
    const auto isUpper = [](char c) { return c >= 'A' && c <= 'Z'; };
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    for (std::size_t i = 0; i <= name.size(); ++i) {
        const bool end = i == name.size();
        const bool apart = !end && !isLower(name[i]) && !isUpper(name[i]) && !isDigit(name[i]);
        const bool camel = !end && i > start && isUpper(name[i]) && isLower(name[i - 1]);
        if (!end && !apart && !camel) {
            continue;
        }
        const std::string_view word = name.substr(start, i - start);
        if (word.size() == kWord.size() && text::lowercased(word) == kWord) {
            return true;
        }
        start = apart ? i + 1 : i;
    }
    return false;
}

}  // namespace ovra::Visibility
