#include "app/accessibility/SeenControls.h"

#include <algorithm>

namespace ovra {
namespace {

// How far up from what a hit test found its node of the walk is looked for (a button's text).
constexpr int kMostHitAncestors = 8;
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

SeenControls::SeenControls(BoundedReader& reader, const ax::Element& window,
                           const WalkResult& walked, const Rect& viewport)
    : reader_(reader), window_(window), walked_(walked), viewport_(viewport) {
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
                          .opaque = n.opaque,
                          .clips = clips,
                          .inPage = n.inWeb});
    }
}

std::optional<std::size_t> SeenControls::nodeOf(ax::Element element) {
    // Most readings ask nothing: the nodes are looked up by element only once one is asked.
    if (byKey_.empty()) {
        byKey_.reserve(walked_.nodes.size());
        for (std::size_t i = 0; i < walked_.nodes.size(); ++i) {
            byKey_.emplace(walked_.nodes[i].element.key(), i);
        }
    }
    for (int step = 0; step <= kMostHitAncestors && !element.isNull(); ++step) {
        if (const auto it = byKey_.find(element.key()); it != byKey_.end()) {
            return it->second;
        }
        auto parent = reader_.attribute(element, "AXParent");
        auto next = parent ? ax::asElement(parent.value()) : std::nullopt;
        element = next ? std::move(*next) : ax::Element();
    }
    return std::nullopt;
}

SeenControls::Answer SeenControls::ask(std::size_t node, Point at) {
    ++asked_;
    auto hit = paintedAt(reader_, window_, at);
    if (!hit || hit.value() == window_) {
        return {};  // a toolkit that cannot tell leaves the control as it was read
    }
    const auto found = nodeOf(std::move(hit).value());
    if (!found) {
        return {.seen = false};  // something outside what was read lies on top
    }
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
    const std::vector<Visibility::Exam> exams = Visibility::examine(boxes_, shown, viewport_);
    std::vector<State> state(controls.size(), State::unknown);
    for (std::size_t i = 0; i < controls.size(); ++i) {
        if (exams[i].covered) {
            state[i] = State::hidden;
        } else if (!exams[i].suspect) {
            state[i] = State::seen;
        }
    }
    for (;;) {
        std::vector<std::size_t> inPlay;
        for (std::size_t i = 0; i < controls.size(); ++i) {
            if (state[i] != State::hidden) {
                inPlay.push_back(i);
            }
        }
        const std::vector<std::size_t> picked = choose(inPlay);
        bool dropped = false;
        for (const std::size_t i : picked) {
            if (state[i] != State::unknown) {
                dropped = dropped || state[i] == State::hidden;
                continue;
            }
            if (asked_ >= kMostAsked || reader_.shouldStop()) {
                if (exams[i].onlyStates) {
                    state[i] = State::seen;
                    continue;
                }
                state[i] = State::hidden;
                ++untold_;
                dropped = true;
                continue;
            }
            const Answer answer = ask(shown[i].box, exams[i].at);
            state[i] = answer.seen ? State::seen : State::hidden;
            dropped = dropped || !answer.seen;
            if (!answer.cover) {
                continue;
            }
            // What lies under the same cover, in the same layer of the page, is not asked again.
            for (std::size_t j = 0; j < controls.size(); ++j) {
                if (state[j] == State::unknown &&
                    Visibility::underSameCover(boxes_, shown[i], *answer.cover, shown[j])) {
                    state[j] = State::hidden;
                }
            }
        }
        if (!dropped) {
            return picked;
        }
    }
}

}  // namespace ovra
