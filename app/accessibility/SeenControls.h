#pragma once

// Which controls of a reading a person sees where something else of the window may lie over them
// or clip them: the toolkit is asked what is on top at a point of the control's visible part, and
// the control is seen when the answer is the control or something inside it. Only suspects are
// asked (a control a box from another branch of the tree overlaps, or one leaving an ancestor's
// frame), and only those the selection would offer, since an answer can cost a browser tens of
// milliseconds.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/accessibility/AXWalk.h"
#include "app/accessibility/BoundedReader.h"
#include "core/Visibility.h"

namespace ovra {

// What the toolkit shows on top at `point` once its answer has settled: some toolkits answer
// first from their tree's bounds and only a moment later with what is painted.
Result<ax::Element, ax::AXError> paintedAt(BoundedReader& reader, const ax::Element& root,
                                           Point point);

class SeenControls {
  public:
    // At most this many points are asked about in one reading; a suspect the selection would
    // offer after that is left out, as one that cannot be told.
    static constexpr int kMostAsked = 24;

    // `viewport`: the area the reading offers controls in.
    SeenControls(BoundedReader& reader, const ax::Element& window, const WalkResult& walked,
                 const Rect& viewport);

    // Picks the controls to offer out of `controls` (found nodes, as indices into
    // `walked.found`): `choose` picks among those still in play (indices into `controls`) the
    // ones it would offer, in its order. A suspect it picks is asked about; one not seen is left
    // out with every other suspect under the same cover, and `choose` picks again, until every
    // control it picks is seen. Once the asking ran out, a suspect picked is left out too, but
    // one suspect only for its states, which it keeps. Returns what `choose` picked last.
    std::vector<std::size_t> keepSeen(
        const std::vector<std::size_t>& controls,
        const std::function<std::vector<std::size_t>(const std::vector<std::size_t>&)>& choose);

    // Suspects left out because the asking ran out before they were asked about.
    int untold() const { return untold_; }
    // Points asked about.
    int asked() const { return asked_; }

  private:
    struct Answer {
        bool seen = true;
        std::optional<std::size_t> cover;  // the box on top, when it is not the control's own
    };
    Answer ask(std::size_t node, Point at);
    // The walk's node that a hit element is, or lies in; absent when it is none of them.
    std::optional<std::size_t> nodeOf(ax::Element element);

    BoundedReader& reader_;
    ax::Element window_;
    const WalkResult& walked_;
    Rect viewport_;
    std::vector<Visibility::Box> boxes_;
    std::unordered_map<std::string, std::size_t> byKey_;
    int untold_ = 0;
    int asked_ = 0;
};

}  // namespace ovra
