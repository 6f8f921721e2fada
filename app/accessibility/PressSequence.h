#pragma once

// The press of a control that acts (not a text field, which is only focused), in the order it
// happens:
// 1. look whether the chosen element still stands in the row the user saw, and bring its
//    window forward;
// 2. look at it once its window has come forward and, in web content, the browser's picture of
//    the page has caught up: the chosen element with its label, in the row the user saw, and
//    turned on, or the same control drawn anew wherever its row went (ElementIdentity), else
//    nothing is pressed ("it went away", "it changed");
//    a page's own prompt in front or a clip that leaves nothing of it painted stops it too;
// 3. act: its "AXPress", else a click where a hit test finds it (web content), else "AXConfirm";
// 4. follow where it lands, in web content (PressLanding);
// 5. tell: the outcome, as it happened.
// A page that drops the drawing the action reached (nothing was pressed) has its next drawing
// pressed, a few times at most, only where that drawing is the same control drawn anew.

#include <optional>
#include <utility>
#include <vector>

#include "app/accessibility/ElementActions.h"
#include "app/accessibility/ElementIdentity.h"
#include "app/accessibility/PaintedAtPress.h"

namespace ovra {

class PressSequence {
  public:
    PressSequence(AXActions& actions, ax::AccessibilityBackend& backend, ax::Clock& clock,
                  const PressRequest& request);

    PressOutcome run();

  private:
    // 2. Looks for the element to act on once its window has come forward: the chosen one, or
    // the same control drawn anew; none: `failure` says why.
    std::optional<PresentControl> findPresent(PressFailure& failure);
    // The last look, just before the action: the element to act on, as it looks now; none, with
    // `outcome.failure` set, when it may not be pressed.
    std::optional<ElementLook> lastLook(const PresentControl& target, PressOutcome& outcome);
    // Whether the browser told a change that holds the press since the window came forward.
    bool changedSinceForward();
    // Whether the page put a modal dialog or a cover in front of the control since its window
    // came forward: a fresh reading, taken only when the browser told a change that holds the
    // press, offers only the controls of a dialog the control does not lie in, or offers no
    // drawing of the control in its place while a cover lies over it.
    bool coveredSince(const PresentControl& target);
    // Whether what is painted at the control is something laid over all of it that is none of
    // its own containers and shows something of its own.
    bool coverOver(const PresentControl& target);
    bool showsSomething(const ax::Element& cover);
    // 3. Its "AXPress", else a click (web content, or a native control without the action), else
    // "AXConfirm". True when "AXPress" was taken (in web content, where it lands is still to be
    // told).
    bool act(const PresentControl& target, PressOutcome& outcome);
    // A native control whose "AXPress" is missing: clicked where it is painted (a row only once
    // it shows it is chosen), else a row picked through its list. False when neither way applies.
    bool pressNative(const PresentControl& target, PressOutcome& outcome);
    // 4. Follows where a press in web content lands. `container`: the element's parent just
    // before, to tell what the press did to it.
    void follow(const PresentControl& target, const ElementLook& before,
                const ax::Element& container, PressOutcome& outcome);

    // Waits until the browser's picture of the page has caught up with what the page did as its
    // window came forward (at `since`); stops early when the element cannot be asked.
    void awaitPicture(double since);
    enum class Told {
        settled,  // the page took the keyboard back and nothing else changed
        quiet,    // nothing changed until `until`
        changed,  // something changed
        unknown,  // the browser is not heard, or does not answer
    };
    // What the browser told since `since`, until it shows the page settled or `until`. A change
    // that can touch the chosen control holds the press; one away from it that is not known to
    // change by itself (a carousel's late turn) only makes the browser be asked again.
    Told listen(double since, double until);
    // From when the changes before a press that starts at `since` are looked at for the parts
    // that change by themselves.
    double historyFrom(double since);
    // Whether a change of `source` the browser told after `since` holds the press.
    bool holds(const ax::Element& source, double since);
    // Whether a change of `source` can touch the chosen control: its own node, its ancestors
    // (their children lists), or anything laid over its place.
    bool touches(const ax::Element& source);
    // Whether `source` is the chosen control or one of its ancestors.
    bool inLineage(const ax::Element& source);
    // Whether the page changed, other than by itself, from the last look until the browser
    // answered the action at `answered`: what the changes it told up to then say.
    bool changedBeforeAnswer(const std::vector<ax::Change>& told, double answered);
    // The newest drawing of a control the page draws anew; none when the page dropped it.
    std::optional<PresentControl> newest(PresentControl target);
    // A drawing anew of the chosen control among the children of `container`.
    std::optional<PresentControl> drawnIn(const ax::Element& container);
    // What the browser paints at the control's visible part now (`frame`, as it lies now).
    PaintedAtPress::Answer painted(const ax::Element& element, const Rect& frame);
    PaintedAtPress::Question paintQuestion(const ax::Element& element, const Rect& frame) const;
    // How `element` looks now; none, with `failure` set, when it cannot be asked: it went, or
    // the app does not answer or has gone.
    std::optional<ElementLook> lookAt(const ax::Element& element, PressFailure& failure);
    // Why the chosen element cannot be asked: the app does not answer or has gone, else it went.
    PressFailure whyGone();
    // Whether a prompt of the page lies in front of `element`; says so in `outcome` when it does.
    bool promptInFront(const ax::Element& element, PressOutcome& outcome);

    AXActions& actions_;
    ax::AccessibilityBackend& backend_;
    ax::Clock& clock_;
    const PressRequest& request_;
    const std::optional<ElementSetting> setting_;  // where it stood in the reading shown
    ChosenControl chosen_;
    std::optional<ElementLook> first_;  // the look after the wait
    bool web_ = false;
    double since_ = 0;  // when its window was asked to come forward
    // The chosen element stood in the row the user saw as the press started.
    bool inRowAtStart_ = false;
    // The hit test the wait for the page asked, for the last look to build on.
    std::optional<PaintedAtPress::Asked> asked_;
    // The parts of the page that changed by themselves before `since`, found once a change was
    // told; the chosen element and its ancestors; the other sources judged against its place.
    std::optional<std::vector<ax::Element>> tickers_;
    std::optional<std::vector<ax::Element>> lineage_;
    std::vector<std::pair<ax::Element, bool>> judged_;
    // When the last look before the action was answered; whether the browser told a change that
    // holds the press from then until it answered the action.
    double lookedAt_ = 0;
    bool pageChangedFirst_ = false;
};

}  // namespace ovra
