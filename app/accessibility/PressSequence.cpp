#include "app/accessibility/PressSequence.h"

#include <algorithm>
#include <cmath>

#include "app/accessibility/BoundedReader.h"
#include "app/accessibility/DialogInFront.h"
#include "app/accessibility/PageTickers.h"
#include "app/accessibility/PressLanding.h"
#include "app/accessibility/SeenControls.h"

namespace ovra {
namespace {

ax::Element parentOf(ax::AccessibilityBackend& backend, const ax::Element& element) {
    if (auto parent = backend.attribute(element, "AXParent")) {
        return ax::asElement(parent.value()).value_or(ax::Element());
    }
    return {};
}

// Where the chosen control stood in the reading the user was shown, when that was noted.
std::optional<ElementSetting> seenSetting(const PressRequest& request) {
    const auto found = request.seenSettings.find(request.candidate.id);
    return found == request.seenSettings.end() ? std::nullopt : std::optional(found->second);
}

}  // namespace

PressSequence::PressSequence(AXActions& actions, ax::AccessibilityBackend& backend,
                             ax::Clock& clock, const PressRequest& request)
    : actions_(actions),
      backend_(backend),
      clock_(clock),
      request_(request),
      setting_(seenSetting(request)),
      chosen_{request.candidate, request.element,      setting_,
              request.seen,      request.seenElements, request.seenSettings} {}

PressOutcome PressSequence::run() {
    PressOutcome outcome;
    const double since = request_.forwardSince.value_or(clock_.now());
    since_ = since;
    // 1. Whether the chosen element still stands in the row the user saw, before its window
    // comes forward: looked at again after the wait only where the page changed meanwhile.
    if (setting_ && !request_.element.isNull()) {
        backend_.applicationElement(request_.app);
        const auto now = ElementIdentity::lookAgain(backend_, request_.element);
        inRowAtStart_ =
            now && ElementIdentity::whichIsChosen(
                       backend_, chosen_, {{request_.element, {now->role, now->label, {}}}});
    }
    if (request_.raise) {
        actions_.raise(request_.window, request_.windowElement);
    }
    // 2. Look, once whatever the page did as its window came forward shows (in web content the
    // wait for the page's picture includes the wait for the window).
    const bool inPage = actions_.isInWebArea(request_.element);
    web_ = inPage;
    if (web_) {
        awaitPicture(since);
    } else {
        actions_.awaitActiveWindow(request_);
    }
    PressFailure failure = PressFailure::changed;
    std::optional<PresentControl> target = findPresent(failure);
    if (!target) {
        outcome.failure = failure;
        // A page's prompt makes a browser (Firefox) answer for the page behind it otherwise: the
        // prompt is what a person sees there.
        if (inPage && failure == PressFailure::changed) {
            promptInFront(request_.element, outcome);
        }
        return outcome;
    }
    // 3, 4. Act and follow where it lands; 5. the outcome tells what happened. A page that draws
    // its controls anew every few hundred ms can drop the drawing found between the last look and
    // the action, on a busy machine: nothing was pressed, and its next drawing is, a few times at
    // most.
    for (int redrawn = 0;; ++redrawn) {
        const ax::Element container = web_ ? parentOf(backend_, target->element) : ax::Element();
        outcome = PressOutcome{};
        outcome.replaced = target->replaced;
        if (const auto before = lastLook(*target, outcome);
            before && act(*target, outcome) && web_) {
            follow(*target, *before, container, outcome);
        }
        const bool dropped =
            web_ && redrawn < AXActions::kMostRedrawnPresses && !container.isNull() &&
            outcome.failure &&
            (*outcome.failure == PressFailure::gone || *outcome.failure == PressFailure::refused) &&
            !ElementIdentity::look(backend_, request_.app, target->element) &&
            whyGone() == PressFailure::gone;
        if (!dropped) {
            return outcome;
        }
        std::optional<PresentControl> next;
        for (const double until = clock_.now() + AXActions::kRedrawWait;
             !next && clock_.now() < until;) {
            next = drawnIn(container);
            if (next && next->element == target->element) {
                next.reset();
            }
            if (!next) {
                clock_.sleep(AXActions::kPoll);
            }
        }
        if (!next) {
            return outcome;
        }
        target = std::move(next);
    }
}

std::optional<ElementLook> PressSequence::lookAt(const ax::Element& element,
                                                 PressFailure& failure) {
    auto seen = ElementIdentity::look(backend_, request_.app, element);
    if (seen) {
        return seen;
    }
    // A look that found nothing may have met a moment the app did not answer: once it answers
    // again, the element is looked at once more before it counts as gone.
    failure = whyGone();
    if (failure == PressFailure::gone) {
        seen = ElementIdentity::lookAgain(backend_, element);
    }
    return seen;
}

std::optional<PresentControl> PressSequence::findPresent(PressFailure& failure) {
    first_ = lookAt(request_.element, failure);
    if (!first_ && failure != PressFailure::gone) {
        return std::nullopt;
    }
    const bool inRow = inRowAtStart_ && !changedSinceForward();
    auto target = ElementIdentity::present(backend_, chosen_, first_, request_.windowFrame,
                                           request_.readWindow, inRow);
    web_ = target && actions_.isInWebArea(target->element);
    if (web_ && target->replaced) {
        target = newest(*target);
    }
    if (!target) {
        // Still there in another row, or relabelled: it changed; else it went meanwhile.
        const bool there =
            first_ && ElementIdentity::look(backend_, request_.app, request_.element);
        failure = there ? PressFailure::changed : PressFailure::gone;
    }
    return target;
}

std::optional<ElementLook> PressSequence::lastLook(const PresentControl& target,
                                                   PressOutcome& outcome) {
    const ax::Element& element = target.element;
    // Asked before the last look, which then comes just before the action. A page's own prompt
    // in front: a press behind it reaches nothing the page shows.
    if (web_ && promptInFront(element, outcome)) {
        outcome.failure = PressFailure::changed;
        return std::nullopt;
    }
    // A clip the page's tree does not tell of leaves nothing of the control painted.
    if (web_ && painted(element, target.frame) == PaintedAtPress::Answer::hidden) {
        outcome.failure = PressFailure::covered;
        return std::nullopt;
    }
    // The last look before the action: a control relabelled, or turned off, since is not
    // pressed. (A label lent by the reading leaves the element without one of its own.)
    PressFailure lost = PressFailure::gone;
    auto before = lookAt(element, lost);
    if (!before) {
        outcome.failure = lost;
        return std::nullopt;
    }
    // Taken once the look is answered: what the app told before answering it has come in by
    // then, and a change heard later was made after the look, not merely heard late.
    lookedAt_ = clock_.now();
    // An element the fresh reading found under the chosen label although its own name differs
    // (the reading made its label otherwise) keeps the name it had.
    const bool ownName = !target.replaced && first_ && !first_->label.empty() &&
                         !ElementIdentity::sameLabel(first_->label, request_.candidate.label());
    const std::string& label = ownName ? first_->label : request_.candidate.label();
    if (before->role != request_.candidate.role ||
        (!before->label.empty() && !ElementIdentity::sameLabel(before->label, label))) {
        outcome.failure = PressFailure::changed;
        return std::nullopt;
    }
    if (before->enabled == false) {
        outcome.failure = PressFailure::disabled;
        return std::nullopt;
    }
    // A modal or a cover the page put up as its window came back (after the wait, where it
    // came late) takes the press: the action would reach what the person no longer sees.
    if (web_ && coveredSince(target)) {
        outcome.told = "the page put something in front of it";
        outcome.failure = PressFailure::covered;
        return std::nullopt;
    }
    return before;
}

bool PressSequence::act(const PresentControl& target, PressOutcome& outcome) {
    const ax::Element& element = target.element;
    pageChangedFirst_ = false;
    const auto pressError = backend_.performAction(element, "AXPress");
    if (!pressError && web_) {
        // Asked at once: every change the browser told before its answer is in by then. A page
        // that takes a row away shows its other changes (its title) before its tree's. Changes
        // taken in with the answer count too: a browser answers before the page gets the click,
        // so what the page did then cannot be told from what the press did.
        const double answered = clock_.now();
        const ax::Element& app = request_.windowElement.isNull() ? element : request_.windowElement;
        const auto told = backend_.changesSince(app, lookedAt_);
        pageChangedFirst_ = told && changedBeforeAnswer(*told, answered);
    }
    if (!pressError) {
        // Outside web content an action taken is a press made; in it, where it lands tells.
        if (!web_) {
            outcome.route = PressRoute::pressed;
        }
        return true;
    }
    // An app that did not answer may still act on the press once it does, and one that has the
    // press without showing its effect may have acted on it: nothing else is tried, so that the
    // control is not pressed twice.
    if (*pressError == ax::AXError::timeout) {
        outcome.failure = PressFailure::notResponding;
        return false;
    }
    if (*pressError == ax::AXError::unconfirmed) {
        outcome.failure = PressFailure::unsure;
        return false;
    }
    outcome.failedRoutes.emplace_back("press");
    if (!web_ && *pressError == ax::AXError::unsupportedAttribute && pressNative(target, outcome)) {
        return false;
    }
    // A control without a label of its own and without an action (a menu, a group) is never
    // clicked: its middle could be any of its items.
    if (web_) {
        if (!request_.candidate.label().empty() && actions_.clickControl(request_, target)) {
            outcome.route = PressRoute::clicked;
            return false;
        }
        outcome.failedRoutes.emplace_back("click");
    }
    actions_.focus(element);
    const auto confirmError = backend_.performAction(element, "AXConfirm");
    if (!confirmError) {
        outcome.route = PressRoute::confirmed;
        return false;
    }
    outcome.failedRoutes.emplace_back("confirm");
    // Refused by an element that is no longer there: the page changed under the press, or the
    // app went.
    if (*pressError == ax::AXError::appGone && *confirmError == ax::AXError::appGone) {
        outcome.failure = whyGone();
    } else {
        outcome.failure = *confirmError == ax::AXError::timeout ? PressFailure::notResponding
                                                                : PressFailure::refused;
    }
    return false;
}

bool PressSequence::pressNative(const PresentControl& target, PressOutcome& outcome) {
    const ax::Element& element = target.element;
    // A native control none of whose actions does what a click does (a list's row, an item
    // without actions, a button that opens its menu at once) is clicked where it is painted; a
    // row counts as pressed once it shows it is chosen, a check box (a toolbar's checkable
    // button) once its state flipped.
    const bool clickable = !request_.candidate.label().empty();
    const auto selected = backend_.attribute(element, "AXSelected");
    std::optional<double> checked;
    if (request_.candidate.role == "AXCheckBox") {
        const auto state = backend_.attribute(element, "AXValue");
        checked = state ? ax::asNumber(*state) : std::nullopt;
    }
    if ((clickable || selected) && actions_.clickControl(request_, target)) {
        if (selected ? actions_.chosenAfterClick(element)
                     : !checked || actions_.flippedAfterClick(request_, element, *checked)) {
            outcome.route = PressRoute::clicked;
        } else {
            outcome.failure = PressFailure::unsure;
        }
        return true;
    }
    if ((clickable || selected) && request_.window) {
        outcome.failedRoutes.emplace_back("click");
    }
    if (!selected) {
        return false;
    }
    // A row where no click can be made is chosen through its list's selection, which need not
    // do what a click does (a file manager's place is chosen, not opened): cannot tell.
    const auto pickError = backend_.performAction(element, "AXPick");
    if (!pickError || *pickError == ax::AXError::unconfirmed) {
        outcome.failure = PressFailure::unsure;
    } else {
        outcome.failedRoutes.emplace_back("pick");
        outcome.failure = PressFailure::refused;
    }
    return true;
}

void PressSequence::follow(const PresentControl& target, const ElementLook& before,
                           const ax::Element& container, PressOutcome& outcome) {
    const PressLanding::Pressed pressed{chosen_,
                                        target,
                                        before,
                                        container,
                                        request_.app,
                                        request_.windowFrame,
                                        request_.readWindow,
                                        pageChangedFirst_};
    const PressLanding::Landing landing =
        PressLanding::follow(backend_, clock_, pressed, AXActions::kPoll);
    outcome.told = landing.why;
    outcome.relabelled = landing.label;
    if (landing.verdict == PressLanding::Verdict::reached) {
        outcome.route = PressRoute::pressed;
    } else {
        outcome.failure = PressFailure::unsure;
    }
}

bool PressSequence::changedSinceForward() {
    const auto told = backend_.changesSince(request_.element, since_);
    return !told || std::any_of(told->begin(), told->end(), [&](const ax::Change& change) {
        return change.kind == ax::Change::Kind::content && holds(change.source, since_);
    });
}

bool PressSequence::coveredSince(const PresentControl& target) {
    // Only a page that changed near the control since its window came forward is read again.
    if (!changedSinceForward()) {
        return false;
    }
    const std::optional<WindowSnapshot> reading =
        request_.readWindow ? request_.readWindow() : std::nullopt;
    if (!reading ||
        std::any_of(reading->elements.begin(), reading->elements.end(),
                    [&](const auto& entry) { return entry.second == target.element; })) {
        return false;
    }
    // Not offered now, and a dialog it does not lie in is the window (a modal).
    const auto inDialog = [&](const UICandidate& c) {
        return c.context && c.context != request_.candidate.context;
    };
    if (!reading->candidates.empty() &&
        std::all_of(reading->candidates.begin(), reading->candidates.end(), inDialog)) {
        return true;
    }
    // Nor drawn anew in its place: what is painted there may be a cover without a role (a
    // full-window layer that says what the page is busy with).
    return std::none_of(reading->candidates.begin(), reading->candidates.end(),
                        [&](const UICandidate& c) {
                            return ElementIdentity::inItsPlace(request_.candidate, c.role,
                                                               c.label(), c.frame);
                        }) &&
           coverOver(target);
}

bool PressSequence::coverOver(const PresentControl& target) {
    if (request_.windowElement.isNull()) {
        return false;
    }
    const auto q = paintQuestion(target.element, target.frame);
    const Point at = PaintedAtPress::firstPoint(q.region, q.others).value_or(target.frame.center());
    const auto hit = backend_.elementAtPoint(request_.windowElement, at);
    if (!hit || hit.value().isNull() || hit.value() == request_.windowElement ||
        hitOf(backend_, request_.windowElement, target.element, hit.value()) != HitOf::elsewhere) {
        return false;
    }
    // The nearest of what was hit and its ancestors that spans the whole control: a cover when
    // it is not one of the control's own containers (which would answer for a clip).
    const auto spanning =
        firstUp(backend_, request_.windowElement, hit.value(), [&](const ax::Element& element) {
            const auto seen = ElementIdentity::lookAgain(backend_, element);
            return seen && seen->frame && seen->frame->contains(target.frame);
        });
    return spanning && *spanning != request_.windowElement &&
           !firstUp(backend_, request_.windowElement, target.element,
                    [&](const ax::Element& element) { return element == *spanning; }) &&
           showsSomething(*spanning);
}

bool PressSequence::showsSomething(const ax::Element& cover) {
    // An empty box may be a transparent one that the action passes by, or a tint the control
    // shows through: only words or parts of its own hide the control from the person.
    if (const auto inside = backend_.children(cover, 1); inside && !inside.value().empty()) {
        return true;
    }
    const auto seen = ElementIdentity::lookAgain(backend_, cover);
    if (seen && !seen->label.empty()) {
        return true;
    }
    const auto folded = backend_.attribute(cover, "AXText");
    const std::string* words = folded ? ax::asString(folded.value()) : nullptr;
    return words && !words->empty();
}

void PressSequence::awaitPicture(double since) {
    const Told told = listen(since, since + AXActions::kPictureCatchUp);
    if (told == Told::settled) {
        return;
    }
    actions_.awaitActiveWindow(request_);
    if (told == Told::quiet) {
        return;
    }
    // The page changed as its window came forward, or the browser cannot say: the whole wait,
    // from when the window is the active one.
    const double until = clock_.now() + AXActions::kPictureCatchUp;
    while (clock_.now() < until) {
        if (!ElementIdentity::look(backend_, request_.app, request_.element)) {
            return;
        }
        clock_.sleep(AXActions::kPoll);
    }
}

PressSequence::Told PressSequence::listen(double since, double until) {
    // What the focus went to, by element: whether it lies in web content.
    std::vector<std::pair<ax::Element, bool>> focused;
    const auto inPage = [&](const ax::Element& source) {
        for (const auto& [element, page] : focused) {
            if (element == source) {
                return page;
            }
        }
        focused.emplace_back(source, actions_.isInWebArea(source));
        return focused.back().second;
    };
    // Asking what lies under the control, as a screen reader does, makes a browser that holds
    // back its page's changes (Chromium) send them at once; asked where the last look asks, it
    // lets a browser that answers late look at what is painted there meanwhile.
    const auto askUnderControl = [&] {
        if (!request_.windowElement.isNull()) {
            const auto q = paintQuestion(request_.element, request_.candidate.frame);
            const Point at = PaintedAtPress::firstPoint(q.region, q.others)
                                 .value_or(request_.candidate.frame.center());
            (void)backend_.elementAtPoint(request_.windowElement, at);
            asked_ = PaintedAtPress::Asked{at, clock_.now()};
        }
    };
    // From when the picture is looked at for the page's next changes: the page's focus, or the
    // last change away from the control told after it.
    std::optional<double> askedAt;
    double lastFarTold = since;
    // A change told before the window's return was made before the page had the keyboard back
    // (a carousel's turn that the browser held back while the overlay was up): it says nothing of
    // what the page does now. One told while the return is not is judged once it is.
    bool earlier = false;
    while (clock_.now() < until) {
        const auto told = backend_.changesSince(request_.element, since);
        if (!told) {
            return Told::unknown;
        }
        bool back = false;
        bool pageFocused = false;
        bool farther = false;
        earlier = false;
        for (const ax::Change& change : *told) {
            if (change.kind == ax::Change::Kind::content) {
                if (!back) {
                    earlier = true;
                } else if (holds(change.source, since)) {
                    // A part away from the control, not yet seen changing by itself (a
                    // carousel whose turn the browser ran late): what the page did to the
                    // control at the same moment is asked for, and waited on as after the focus.
                    if (!pageFocused || touches(change.source)) {
                        return Told::changed;
                    }
                    farther = farther || change.at > lastFarTold;
                    lastFarTold = std::max(lastFarTold, change.at);
                }
                continue;
            }
            back = true;
            earlier = false;
            if (change.kind == ax::Change::Kind::focus && inPage(change.source)) {
                pageFocused = true;
                if (!askedAt) {
                    askUnderControl();
                    askedAt = clock_.now();
                }
            }
        }
        if (farther) {
            askUnderControl();
            askedAt = clock_.now();
        }
        if (askedAt && clock_.now() - *askedAt >= AXActions::kAfterPageFocus) {
            return Told::settled;
        }
        clock_.sleep(AXActions::kListen);
    }
    return earlier ? Told::changed : Told::quiet;
}

bool PressSequence::holds(const ax::Element& source, double since) {
    // Any other change holds the press, also one away from the control: Chromium tells a page's
    // changes in batches, so what the page did to the control as it got the keyboard back may
    // come in the batch after this one.
    if (!tickers_) {
        const auto before = backend_.changesSince(request_.element, historyFrom(since));
        tickers_ = before ? PageTickers::find(*before, since) : std::vector<ax::Element>();
    }
    return std::find(tickers_->begin(), tickers_->end(), source) == tickers_->end() ||
           touches(source);
}

double PressSequence::historyFrom(double since) {
    // Soon after the app starts it has heard less: a part seen changing by itself in that while
    // changes by itself all the same.
    const double wanted = since - PageTickers::kHistory;
    const auto heard = backend_.changesHeardSince(request_.element);
    return heard && *heard > wanted && *heard < since ? *heard : wanted;
}

bool PressSequence::changedBeforeAnswer(const std::vector<ax::Change>& told, double answered) {
    const auto content = [](const ax::Change& change) {
        return change.kind == ax::Change::Kind::content;
    };
    if (std::none_of(told.begin(), told.end(),
                     [&](const ax::Change& c) { return content(c) && c.at < answered; })) {
        return false;
    }
    // What ticked between the window coming forward and the look ticks on: the parts that
    // change by themselves are looked for up to the look.
    if (const auto before = backend_.changesSince(request_.element, historyFrom(since_))) {
        tickers_ = PageTickers::find(*before, lookedAt_);
    }
    const auto isTicker = [&](const ax::Element& source) {
        return tickers_ && std::find(tickers_->begin(), tickers_->end(), source) != tickers_->end();
    };
    return std::any_of(told.begin(), told.end(), [&](const ax::Change& change) {
        if (!content(change) || change.at >= answered || !holds(change.source, since_)) {
            return false;
        }
        // A part a ticker draws anew with each tick (a clock's text) is told at the tick's
        // moment, and is gone before it can be asked where it lay.
        const bool tick = std::any_of(told.begin(), told.end(), [&](const ax::Change& other) {
            return content(other) && std::abs(other.at - change.at) < PageTickers::kOneMoment &&
                   isTicker(other.source);
        });
        return !tick || inLineage(change.source);
    });
}

bool PressSequence::inLineage(const ax::Element& source) {
    if (!lineage_) {
        lineage_.emplace();
        ax::Element current = request_.element;
        for (int level = 0; level < AXActions::kMaxWebAreaDepth && !current.isNull(); ++level) {
            lineage_->push_back(current);
            current = parentOf(backend_, current);
        }
    }
    return std::find(lineage_->begin(), lineage_->end(), source) != lineage_->end();
}

bool PressSequence::touches(const ax::Element& source) {
    if (source.isNull() || inLineage(source)) {
        return true;
    }
    for (const auto& [element, near] : judged_) {
        if (element == source) {
            return near;
        }
    }
    // Laid over its place or inside it; one that cannot be asked may have been.
    const auto seen = ElementIdentity::lookAgain(backend_, source);
    const bool near = !seen || !seen->frame || seen->frame->intersects(request_.candidate.frame);
    judged_.emplace_back(source, near);
    return near;
}

std::optional<PresentControl> PressSequence::newest(PresentControl target) {
    // Pressed while just drawn, the control is there when the press arrives however late the
    // browser showed it; a control the page left alone this long is there anyway. The next
    // drawing is looked for among the children of the last one's container first: a reading of
    // the whole window would leave it old by the time it is found.
    const ax::Element container = parentOf(backend_, target.element);
    const double until = clock_.now() + AXActions::kRedrawWait;
    while (clock_.now() < until) {
        clock_.sleep(AXActions::kPoll);
        const auto now = ElementIdentity::look(backend_, request_.app, target.element);
        if (now && now->frame &&
            ElementIdentity::inItsPlace(request_.candidate, now->role, now->label, *now->frame)) {
            continue;
        }
        std::optional<PresentControl> drawn = drawnIn(container);
        if (!drawn) {
            drawn = ElementIdentity::present(backend_, chosen_, std::nullopt, request_.windowFrame,
                                             request_.readWindow, false);
        }
        return drawn;
    }
    return target;
}

std::optional<PresentControl> PressSequence::drawnIn(const ax::Element& container) {
    static constexpr std::size_t kMostChildren = 64;
    auto kids = container.isNull() ? Result<ax::ElementList, ax::AXError>(ax::ElementList())
                                   : backend_.children(container, kMostChildren);
    if (!kids) {
        return std::nullopt;
    }
    std::vector<std::pair<ax::Element, Sighting>> alike;
    std::vector<Rect> frames;
    for (const ax::Element& kid : kids.value()) {
        const auto seen = ElementIdentity::lookAgain(backend_, kid);
        if (seen && seen->frame &&
            (request_.windowFrame.isNull() || seen->frame->intersects(request_.windowFrame)) &&
            seen->role == request_.candidate.role &&
            ElementIdentity::sameLabel(seen->label, request_.candidate.label())) {
            alike.emplace_back(kid, Sighting{seen->role, seen->label, {}});
            frames.push_back(*seen->frame);
        }
    }
    const auto which = ElementIdentity::whichIsChosen(backend_, chosen_, alike);
    if (!which) {
        return std::nullopt;
    }
    return PresentControl{alike[*which].first, frames[*which], true};
}

PaintedAtPress::Question PressSequence::paintQuestion(const ax::Element& element,
                                                      const Rect& frame) const {
    // The other controls of the reading are kept apart from the point asked.
    PaintedAtPress::Question q{
        request_.windowElement,
        element,
        PaintedAtPress::visiblePart(frame, request_.visible, request_.windowFrame),
        {},
        std::nullopt};
    for (const UICandidate& other : request_.seen) {
        if (!(other == request_.candidate)) {
            q.others.push_back(other.frame);
        }
    }
    return q;
}

PaintedAtPress::Answer PressSequence::painted(const ax::Element& element, const Rect& frame) {
    BoundedReader reader(backend_, clock_, {},
                         {.deadlineSeconds = AXActions::kPaintedLookLongest,
                          .maxConsecutiveTimeouts = 1,
                          .finishingSeconds = 0});
    auto q = paintQuestion(element, frame);
    q.asked = asked_;
    return PaintedAtPress::ask(reader, q);
}

bool PressSequence::promptInFront(const ax::Element& element, PressOutcome& outcome) {
    if (!DialogInFront::promptHides(backend_, request_.windowElement, element)) {
        return false;
    }
    outcome.told = "a prompt of the page is in front of it";
    return true;
}

PressFailure PressSequence::whyGone() {
    const PressFailure lost = actions_.whyLost(request_);
    return lost == PressFailure::changed ? PressFailure::gone : lost;
}

}  // namespace ovra
