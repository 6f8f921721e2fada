#include "app/accessibility/SeenControls.h"

#include <algorithm>
#include <string_view>

#include "app/accessibility/DialogInFront.h"

namespace ovra {
namespace {

// How often a settling answer is asked again before the last one is taken.
constexpr int kMostSettlingAsks = 4;
// How often, and after how long, a hit test that found nothing but the window is asked again.
constexpr int kMostEmptyAsks = 2;
constexpr double kEmptyPause = 0.01;

enum class State { unknown, seen, hidden };

}  // namespace

Result<ax::Element, ax::AXError> paintedAt(BoundedReader& reader, const ax::Element& root,
                                           Point point) {
    auto answer = reader.elementAtPoint(root, point);
    // Gecko's first hit test of a page may find nothing in it while it fetches the page's
    // frames: asked again a moment later, it answers.
    for (int ask = 0; answer && answer.value() == root && ask < kMostEmptyAsks; ++ask) {
        reader.clock().sleep(kEmptyPause);
        answer = reader.elementAtPoint(root, point);
    }
    const double settle = reader.backend().hitTestSettleSeconds(root);
    if (!answer || !(settle > 0)) {
        return answer;
    }
    // Asked again once the painted answer may have come, until two answers agree.
    reader.clock().sleep(settle);
    answer = reader.elementAtPoint(root, point);
    for (int ask = 0; answer && ask < kMostSettlingAsks; ++ask) {
        reader.clock().sleep(settle / 4);
        auto again = reader.elementAtPoint(root, point);
        if (!again || again.value() == answer.value()) {
            break;
        }
        answer = std::move(again);
    }
    return answer;
}

namespace {

using AttributeOf = std::function<ax::Read(const ax::Element&, std::string_view)>;

// A label wraps its control closely (a switch's hidden input and its drawn track, in one label).
constexpr int kMostLabelLevels = 3;

std::optional<ax::Element> climb(const AttributeOf& attributeOf, const ax::Element& window,
                                 ax::Element element, const Wanted& wanted,
                                 int levels = kMostAncestors) {
    for (int level = 0; level < levels && !element.isNull(); ++level) {
        if (wanted(element)) {
            return element;
        }
        if (element == window) {
            break;
        }
        auto parent = attributeOf(element, "AXParent");
        auto next = parent ? ax::asElement(parent.value()) : std::nullopt;
        element = next ? std::move(*next) : ax::Element();
    }
    return std::nullopt;
}

HitOf judgeHit(const AttributeOf& attributeOf, const ax::Element& window,
               const ax::Element& control, const ax::Element& hit) {
    if (hit.isNull() || control.isNull()) {
        return HitOf::elsewhere;
    }
    if (hit == control) {
        return HitOf::control;
    }
    std::vector<ax::Element> chain;  // the hit and its ancestors, nearest first
    if (climb(attributeOf, window, hit, [&](const ax::Element& e) {
            chain.push_back(e);
            return e == control;
        })) {
        return HitOf::inside;
    }
    // The label of the control: a click there presses it, and a page may draw the control there
    // while its own element lies hidden (a web component's switch and its track). The toolkit
    // tells it as the element that labels the control, or (where it tells no such relation) as
    // the group around it that bears its name: a label holding a control is a group.
    const auto labelledBy = attributeOf(control, "AXTitleUIElement");
    const auto by = labelledBy ? ax::asElement(labelledBy.value()) : std::nullopt;
    if (by && std::find(chain.begin(), chain.end(), *by) != chain.end()) {
        return HitOf::itsLabel;
    }
    const auto titleOf = [&](const ax::Element& e) {
        const auto title = attributeOf(e, "AXTitle");
        const std::string* text = title ? ax::asString(title.value()) : nullptr;
        return text != nullptr ? *text : std::string();
    };
    std::optional<std::string> name;
    const bool label =
        climb(
            attributeOf, window, control,
            [&](const ax::Element& e) {
                if (e == control || std::find(chain.begin(), chain.end(), e) == chain.end()) {
                    return false;
                }
                if (!name) {
                    name = titleOf(control);
                }
                return !name->empty() && titleOf(e) == *name;
            },
            kMostLabelLevels + 1)
            .has_value();
    return label ? HitOf::itsLabel : HitOf::elsewhere;
}

AttributeOf attributesFrom(ax::AccessibilityBackend& backend) {
    return [&backend](const ax::Element& e, std::string_view name) {
        return backend.attribute(e, name);
    };
}

AttributeOf attributesFrom(BoundedReader& reader) {
    return [&reader](const ax::Element& e, std::string_view name) {
        return reader.attribute(e, name);
    };
}

}  // namespace

std::optional<ax::Element> firstUp(ax::AccessibilityBackend& backend, const ax::Element& window,
                                   ax::Element element, const Wanted& wanted) {
    return climb(attributesFrom(backend), window, std::move(element), wanted);
}

std::optional<ax::Element> firstUp(BoundedReader& reader, const ax::Element& window,
                                   ax::Element element, const Wanted& wanted) {
    return climb(attributesFrom(reader), window, std::move(element), wanted);
}

HitOf hitOf(ax::AccessibilityBackend& backend, const ax::Element& window,
            const ax::Element& control, const ax::Element& hit) {
    return judgeHit(attributesFrom(backend), window, control, hit);
}

HitOf hitOf(BoundedReader& reader, const ax::Element& window, const ax::Element& control,
            const ax::Element& hit) {
    return judgeHit(attributesFrom(reader), window, control, hit);
}

SeenControls::SeenControls(BoundedReader& reader, const ax::Element& window,
                           const WalkResult& walked, HitMemory* memory)
    : reader_(reader), window_(window), memory_(memory), walked_(walked) {
    if (memory_ != nullptr) {
        memory_->begin(reader.backend(), window, reader.clock().now());
    }
    std::vector<bool> control(walked.nodes.size(), false);
    for (const FoundNode& found : walked.found) {
        control[found.node] = true;
    }
    boxes_.reserve(walked.nodes.size());
    for (std::size_t i = 0; i < walked.nodes.size(); ++i) {
        const ReadNode& n = walked.nodes[i];
        using Kind = Visibility::Box::Kind;
        const Kind kind = control[i]                 ? Kind::control
                          : n.role == "AXStaticText" ? Kind::text
                                                     : Kind::container;
        const bool clips = n.path.empty() || n.role == "AXScrollArea" || n.role == "AXWebArea";
        boxes_.push_back({.frame = n.shown,
                          .path = n.path,
                          .kind = kind,
                          // What its browser draws nowhere (clipped away) covers nothing.
                          .opaque = n.showing == false ? std::optional(false) : n.opaque,
                          .clips = clips,
                          .inPage = n.inWeb});
    }
}

Visibility::Overlaps SeenControls::overlapping(const std::vector<Visibility::LaidControl>& laid,
                                               const std::vector<ax::Element>& elements) {
    int pairsAsked = 0;
    // Which of two controls the hit test finds at `at`: the element found, or an ancestor of it
    // near enough; absent when neither.
    const auto onTop = [&](std::size_t a, std::size_t b, Point at) -> std::optional<std::size_t> {
        if (++pairsAsked > kMostPairsAsked) {
            return std::nullopt;
        }
        auto hit = paintedAt(reader_, window_, at);
        if (!hit) {
            return std::nullopt;
        }
        const auto top = firstUp(reader_, window_, hit.value(), [&](const auto& e) {
            return e == elements[a] || e == elements[b];
        });
        if (top) {
            return *top == elements[a] ? a : b;
        }
        return std::nullopt;
    };
    return Visibility::hiddenByOverlap(laid, onTop);
}

void SeenControls::lookAtDialogs(const Rect& viewport, const std::optional<Rect>& web) {
    const auto finds = [&](std::size_t dialog, Point at) -> std::optional<bool> {
        auto hit = paintedAt(reader_, window_, at);
        if (!hit || hit.value() == window_ || !nodeOf(hit.value())) {
            return std::nullopt;
        }
        const ax::Element& shown = walked_.nodes[dialog].element;
        return firstUp(reader_, window_, hit.value(),
                       [&](const ax::Element& e) { return e == shown; })
            .has_value();
    };
    std::vector<std::size_t> closed = DialogInFront::fadedOut(walked_);
    if (const auto front = DialogInFront::of(walked_, viewport, web, finds, &closed)) {
        front_ = walked_.nodes[*front].path;
    }
    for (const std::size_t dialog : closed) {
        closed_.push_back(walked_.nodes[dialog].path);
    }
}

bool SeenControls::hiddenByDialogs(std::size_t found) const {
    const std::vector<int>& path = walked_.found[found].path;
    return (front_ && !Visibility::within(path, *front_)) ||
           std::any_of(closed_.begin(), closed_.end(), [&](const std::vector<int>& dialog) {
               return Visibility::within(path, dialog);
           });
}

void SeenControls::indexNodes() {
    // Most readings ask nothing: the nodes are looked up by element only once one is asked.
    if (byKey_.empty()) {
        byKey_.reserve(walked_.nodes.size());
        for (std::size_t i = 0; i < walked_.nodes.size(); ++i) {
            byKey_.emplace(walked_.nodes[i].element.key(), i);
        }
    }
}

std::optional<std::size_t> SeenControls::nodeOf(ax::Element element) {
    indexNodes();
    std::optional<std::size_t> node;
    firstUp(reader_, window_, std::move(element), [&](const ax::Element& e) {
        const auto it = byKey_.find(e.key());
        if (it != byKey_.end()) {
            node = it->second;
        }
        return node.has_value();
    });
    return node;
}

SeenControls::Answer SeenControls::judge(std::size_t node, Result<ax::Element, ax::AXError> hit) {
    if (!hit || hit.value() == window_) {
        return {};  // a toolkit that cannot tell leaves the control as it was read
    }
    if (hitOf(reader_, window_, walked_.nodes[node].element, hit.value()) != HitOf::elsewhere) {
        return {};
    }
    const auto found = nodeOf(std::move(hit).value());
    if (!found) {
        return {.seen = false};  // something outside what was read lies on top
    }
    // Found inside the control by the reading's own tree, where the toolkit tells no parents.
    const std::vector<int>& path = boxes_[node].path;
    const std::vector<int>& top = boxes_[*found].path;
    if (Visibility::within(top, path)) {
        return {};
    }
    // An ancestor found at the control's own point: the control is not drawn there (a clip).
    if (Visibility::within(path, top)) {
        return {.seen = false};
    }
    return {.seen = false, .cover = *found};
}

bool SeenControls::background(std::size_t node) {
    if (const auto known = backgrounds_.find(node); known != backgrounds_.end()) {
        return known->second;
    }
    const ax::Element& element = walked_.nodes[node].element;
    const auto named = [&](std::string_view attribute) {
        const auto name = reader_.attribute(element, attribute);
        const std::string* text = name ? ax::asString(name.value()) : nullptr;
        return text != nullptr && Visibility::namesABackground(*text);
    };
    // Only a box with nothing inside: whatever it holds may be drawn over what follows it.
    const auto children = reader_.attribute(element, "AXChildren");
    const ax::ElementList* held = children ? ax::asElementList(children.value()) : nullptr;
    const bool beneath =
        held != nullptr && held->empty() && (named("AXDOMIdentifier") || named("AXDOMClassList"));
    backgrounds_.emplace(node, beneath);
    return beneath;
}

std::optional<SeenControls::Answer> SeenControls::recalled(std::size_t node, Point at) {
    if (memory_ == nullptr) {
        return std::nullopt;
    }
    const auto kept = memory_->find(walked_.nodes[node].element.key(), at);
    if (!kept) {
        return std::nullopt;
    }
    Answer answer{.seen = kept->seen};
    if (!kept->cover.empty()) {
        indexNodes();
        if (const auto it = byKey_.find(kept->cover); it != byKey_.end()) {
            answer.cover = it->second;
        }
    }
    return answer;
}

void SeenControls::remember(std::size_t node, Point at, const Answer& answer) {
    if (memory_ != nullptr) {
        memory_->keep(
            walked_.nodes[node].element.key(), at,
            {.seen = answer.seen,
             .cover = answer.cover ? walked_.nodes[*answer.cover].element.key() : std::string()});
    }
}

std::vector<Result<ax::Element, ax::AXError>> SeenControls::paintedAtAll(
    const std::vector<Point>& points) {
    auto hits = reader_.elementsAtPoints(window_, points);
    // Gecko's first hit test of a page may find nothing in it while it fetches the page's
    // frames: those asked again a moment later answer.
    for (int ask = 0; ask < kMostEmptyAsks; ++ask) {
        std::vector<std::size_t> empty;
        std::vector<Point> again;
        for (std::size_t i = 0; i < hits.size(); ++i) {
            if (hits[i] && hits[i].value() == window_) {
                empty.push_back(i);
                again.push_back(points[i]);
            }
        }
        if (empty.empty()) {
            break;
        }
        reader_.clock().sleep(kEmptyPause);
        auto answers = reader_.elementsAtPoints(window_, again);
        for (std::size_t k = 0; k < empty.size(); ++k) {
            hits[empty[k]] = std::move(answers[k]);
        }
    }
    return hits;
}

std::vector<std::size_t> SeenControls::keepSeen(
    const std::vector<std::size_t>& controls,
    const std::function<std::vector<std::size_t>(const std::vector<std::size_t>&)>& choose) {
    std::vector<Visibility::Shown> shown;
    shown.reserve(controls.size());
    for (const std::size_t c : controls) {
        const FoundNode& found = walked_.found[c];
        shown.push_back(
            {.box = found.node, .visible = found.visible, .unsettled = found.unsettled});
    }
    const std::vector<Visibility::Exam> exams =
        Visibility::examine(boxes_, shown, [&](std::size_t box) { return background(box); });
    std::vector<State> state(controls.size(), State::unknown);
    for (std::size_t i = 0; i < controls.size(); ++i) {
        if (exams[i].unseen) {
            state[i] = State::hidden;
        } else if (!exams[i].suspect) {
            state[i] = State::seen;
        }
    }
    // A toolkit whose first answer is the painted one is asked every point at once; one that
    // settles its answers keeps one at a time, so its points go one after another, in the
    // plan's order, and what one answer settles is not asked again.
    const bool together = !(reader_.backend().hitTestSettleSeconds(window_) > 0);
    const auto settle = [&](std::size_t i, Answer answer) {
        state[i] = answer.seen ? State::seen : State::hidden;
        if (answer.seen) {
            // What only the same boxes lie over, in the same layer, is seen as well.
            for (std::size_t j = 0; j < controls.size(); ++j) {
                if (state[j] == State::unknown &&
                    Visibility::clearOfSameBoxes(boxes_, shown[i], exams[i], shown[j], exams[j])) {
                    state[j] = State::seen;
                }
            }
            return;
        }
        if (!answer.cover) {
            return;
        }
        // What lies under the same cover, in the same layer of the page, is not asked again.
        for (std::size_t j = 0; j < controls.size(); ++j) {
            if (state[j] == State::unknown &&
                Visibility::underSameCover(boxes_, shown[i], *answer.cover, shown[j])) {
                state[j] = State::hidden;
            }
        }
    };
    const auto canAsk = [&] { return asked_ < kMostAsked && !reader_.shouldStop(); };
    for (;;) {
        std::vector<std::size_t> inPlay;
        for (std::size_t i = 0; i < controls.size(); ++i) {
            if (state[i] != State::hidden) {
                inPlay.push_back(i);
            }
        }
        const std::vector<std::size_t> picked = choose(inPlay);
        std::vector<std::size_t> pending;
        for (const std::size_t i : picked) {
            if (state[i] != State::unknown) {
                continue;
            }
            if (const auto kept = recalled(shown[i].box, exams[i].at)) {
                ++remembered_;
                settle(i, *kept);
            } else {
                pending.push_back(i);
            }
        }
        std::erase_if(pending, [&](std::size_t i) { return state[i] != State::unknown; });
        if (std::any_of(picked.begin(), picked.end(),
                        [&](std::size_t i) { return state[i] == State::hidden; })) {
            continue;  // a kept answer left one out: pick again
        }
        if (pending.empty()) {
            return picked;
        }
        if (!canAsk()) {
            // Not asked: offered as they were read.
            for (const std::size_t i : pending) {
                state[i] = State::seen;
            }
            unasked_ += static_cast<int>(pending.size());
            return picked;
        }
        if (together) {
            pending.resize(std::min(pending.size(), static_cast<std::size_t>(kMostAsked - asked_)));
            std::vector<Point> points;
            points.reserve(pending.size());
            for (const std::size_t i : pending) {
                points.push_back(exams[i].at);
            }
            asked_ += static_cast<int>(pending.size());
            auto hits = paintedAtAll(points);
            for (std::size_t k = 0; k < pending.size(); ++k) {
                const std::size_t i = pending[k];
                const Answer answer = judge(shown[i].box, std::move(hits[k]));
                remember(shown[i].box, exams[i].at, answer);
                settle(i, answer);
            }
            continue;
        }
        for (const std::size_t i : pending) {
            if (state[i] != State::unknown) {
                continue;  // settled by an answer about another control
            }
            if (!canAsk()) {
                break;
            }
            ++asked_;
            const Answer answer = judge(shown[i].box, paintedAt(reader_, window_, exams[i].at));
            remember(shown[i].box, exams[i].at, answer);
            settle(i, answer);
        }
    }
}

}  // namespace ovra
