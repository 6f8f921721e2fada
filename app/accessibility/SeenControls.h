#pragma once

// Whether a person sees a control of a reading: the one place that decides it. A control is left
// out as unseen only when the toolkit says so:
// - its frame shows on no screen, or its clipping ancestors leave none of it (the walk, AXWalk);
// - a control laid in the same place over it is the one seen (two in one place, told apart by
//   the toolkit's opacity or its hit test: `overlapping`);
// - a modal dialog or a page's prompt is in front of it (`dialogInFront`);
// - the toolkit's hit test at a point of its visible part answers something that is neither the
//   control nor inside it (`keepSeen`).
// The pure rules, which choose whom to ask and never drop a control by its frame alone, are in
// core/Visibility.h and core/PagePrompt.h. Asking costs a browser tens of milliseconds a point,
// so only suspects (a box of another branch lies over the control, or it leaves an ancestor's
// frame) the plan would offer are asked, at once where the toolkit answers several questions
// together; a suspect that cannot be asked (the budget spent, the time up) is offered.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/accessibility/AXWalk.h"
#include "app/accessibility/BoundedReader.h"
#include "app/accessibility/HitMemory.h"
#include "core/Visibility.h"

namespace ovra {

// What the toolkit shows on top at `point` once its answer has settled: some toolkits answer
// first from their tree's bounds and only a moment later with what is painted.
Result<ax::Element, ax::AXError> paintedAt(BoundedReader& reader, const ax::Element& root,
                                           Point point);

// How far up from an element its ancestors are looked at: a page nests deep, and the walk stops
// at the window anyway.
inline constexpr int kMostAncestors = 64;

// The first of `element` and its ancestors, nearest first, for which `wanted` holds; none when
// the climb passes `window`, the top of the tree or kMostAncestors levels. The
// one way an element's ancestors are climbed; a reading climbs through its bounded reader.
using Wanted = std::function<bool(const ax::Element&)>;
std::optional<ax::Element> firstUp(ax::AccessibilityBackend& backend, const ax::Element& window,
                                   ax::Element element, const Wanted& wanted);
std::optional<ax::Element> firstUp(BoundedReader& reader, const ax::Element& window,
                                   ax::Element element, const Wanted& wanted);

// What a hit test's answer `hit` is to `control`.
enum class HitOf {
    control,    // the control itself
    inside,     // something inside it (a button's text)
    itsLabel,   // the label around it, which a click presses it through
    elsewhere,  // anything else: a cover, a container, the window, nothing
};
// The one reading of a hit test's answer about a control.
HitOf hitOf(ax::AccessibilityBackend& backend, const ax::Element& window,
            const ax::Element& control, const ax::Element& hit);
HitOf hitOf(BoundedReader& reader, const ax::Element& window, const ax::Element& control,
            const ax::Element& hit);

class SeenControls {
  public:
    // At most this many points are asked about the controls the plan would offer in one reading;
    // a suspect after that is offered unasked.
    static constexpr int kMostAsked = 24;
    // At most this many pairs of controls laid one over the other are asked about.
    static constexpr int kMostPairsAsked = 16;

    // `memory`: answers kept from earlier readings of the window, reused while the app tells of
    // no change, and the answers of this one kept there; none: every suspect is asked.
    SeenControls(BoundedReader& reader, const ax::Element& window, const WalkResult& walked,
                 HitMemory* memory = nullptr);

    // Of controls laid one over the other (`laid`, with their `elements`), the ones not seen:
    // Visibility::hiddenByOverlap, with the toolkit's hit test where a rule needs it.
    Visibility::Overlaps overlapping(const std::vector<Visibility::LaidControl>& laid,
                                     const std::vector<ax::Element>& elements);

    // Finds the dialog in front (a page's prompt over `web`, or a modal dialog shown in
    // `viewport`), outside which nothing is seen, and the modal dialogs closed in place (faded
    // out, or found not shown by the hit test), inside which nothing is.
    void lookAtDialogs(const Rect& viewport, const std::optional<Rect>& web);
    // Whether a dialog found by `lookAtDialogs` hides found node `found` (an index into
    // `walked.found`).
    bool hiddenByDialogs(std::size_t found) const;

    // Picks the controls to offer out of `controls` (found nodes, as indices into
    // `walked.found`): `choose` picks among those still in play (indices into `controls`) the
    // ones it would offer, in its order. A suspect it picks is asked about; one not seen is left
    // out with every other suspect under the same cover, and `choose` picks again, until every
    // control it picks is seen or was offered unasked. Returns what `choose` picked last.
    std::vector<std::size_t> keepSeen(
        const std::vector<std::size_t>& controls,
        const std::function<std::vector<std::size_t>(const std::vector<std::size_t>&)>& choose);

    // Suspects offered without an answer: the asking ran out before they were asked about.
    int unasked() const { return unasked_; }
    // Points asked about the plan's suspects.
    int asked() const { return asked_; }
    // Suspects settled by an answer kept from an earlier reading.
    int remembered() const { return remembered_; }

  private:
    struct Answer {
        bool seen = true;
        std::optional<std::size_t> cover;  // the box on top, when it is not the control's own
    };
    // What a hit test's answer says of node `node`.
    Answer judge(std::size_t node, Result<ax::Element, ax::AXError> hit);
    void indexNodes();
    // The walk's node that a hit element is, or lies in; absent when it is none of them.
    std::optional<std::size_t> nodeOf(ax::Element element);
    // Answers for several points at once, for a toolkit whose first answer is the painted one.
    std::vector<Result<ax::Element, ax::AXError>> paintedAtAll(const std::vector<Point>& points);

    // Whether node `node`, laid over a control that follows it in their parent, is a background
    // drawn under it: it holds nothing and the page names it a background.
    bool background(std::size_t node);

    // The answer kept for node `node` at `at`, as an answer of this reading.
    std::optional<Answer> recalled(std::size_t node, Point at);
    void remember(std::size_t node, Point at, const Answer& answer);

    BoundedReader& reader_;
    ax::Element window_;
    HitMemory* memory_;
    const WalkResult& walked_;
    std::vector<Visibility::Box> boxes_;
    std::unordered_map<std::string, std::size_t> byKey_;
    std::unordered_map<std::size_t, bool> backgrounds_;  // by node, as `background` found them
    std::optional<std::vector<int>> front_;              // the path of the dialog in front
    std::vector<std::vector<int>> closed_;  // the paths of modal dialogs closed in place
    int unasked_ = 0;
    int remembered_ = 0;
    int asked_ = 0;
};

}  // namespace ovra
