#include "app/accessibility/AXExtractor.h"

#include <algorithm>
#include <cmath>

#include "app/accessibility/SeenControls.h"
#include "core/CandidateSelector.h"
#include "core/FindAndScroll.h"
#include "core/Geometry.h"
#include "core/Monitors.h"
#include "core/OvraText.h"
#include "core/Visibility.h"
#include "platform/log/Log.h"

namespace ovra {

namespace {

std::optional<Rect> frameOf(BoundedReader& reader, const ax::Element& element) {
    static constexpr std::string_view kFrame[] = {"AXPosition", "AXSize"};
    const auto values = reader.attributes(element, kFrame);
    if (values.size() != 2 || !values[0] || !values[1]) {
        return std::nullopt;
    }
    const auto origin = ax::asPoint(*values[0]);
    const auto size = ax::asSize(*values[1]);
    if (!origin || !size) {
        return std::nullopt;
    }
    const Rect frame(*origin, *size);
    if (!frame.isFinite()) {
        return std::nullopt;
    }
    return frame;
}

std::optional<ax::Element> elementAttribute(BoundedReader& reader, const ax::Element& element,
                                            std::string_view name) {
    auto read = reader.attribute(element, name);
    return read ? ax::asElement(read.value()) : std::nullopt;
}

bool isTextEntry(const std::string* role, const std::string* subrole) {
    return (role && CandidateRoles::textInputs().contains(*role)) ||
           (subrole && *subrole == "AXSecureTextField");
}

// The text an element can lend as a label: its "AXValue" when it is text, unless the element
// is a field whose value is what the user typed.
std::optional<std::string> lendableText(BoundedReader& reader, const ax::Element& element) {
    static constexpr std::string_view kLabelSource[] = {"AXRole", "AXSubrole", "AXValue"};
    const auto values = reader.attributes(element, kLabelSource);
    if (values.size() != 3 || !values[2]) {
        return std::nullopt;
    }
    const std::string* role = values[0] ? ax::asString(*values[0]) : nullptr;
    const std::string* subrole = values[1] ? ax::asString(*values[1]) : nullptr;
    if (isTextEntry(role, subrole)) {
        return std::nullopt;
    }
    const std::string* text = ax::asString(*values[2]);
    if (text == nullptr) {
        return std::nullopt;
    }
    return cleaned(text);
}

std::string borrowedTitle(BoundedReader& reader, const FoundNode& node) {
    if (const auto label = elementAttribute(reader, node.element, "AXTitleUIElement")) {
        if (auto text = lendableText(reader, *label)) {
            return std::move(*text);
        }
    }
    // The children of a field hold what was typed into it.
    if (isTextEntry(node.info.string(NodeAttribute::role),
                    node.info.string(NodeAttribute::subrole))) {
        return {};
    }
    auto children = reader.children(node.element, 3);
    if (!children) {
        return {};
    }
    for (const auto& child : children.value()) {
        if (auto text = lendableText(reader, child); text && !text->empty()) {
            return std::move(*text);
        }
    }
    return {};
}

UICandidate makeCandidate(BoundedReader& reader, const FoundNode& node, int number) {
    const NodeInfo& info = node.info;
    UICandidate c;
    c.id = "c" + std::to_string(number);
    c.order = number;
    c.role = info.role();
    if (const std::string* subrole = info.string(NodeAttribute::subrole)) {
        c.subrole = *subrole;
    }
    c.title = cleaned(info.string(NodeAttribute::title));
    c.description = cleaned(info.string(NodeAttribute::description));
    if (c.description.empty()) {
        c.description = cleaned(info.string(NodeAttribute::placeholder));
    }
    if (c.title.empty() && c.description.empty()) {
        c.title = borrowedTitle(reader, node);
    }
    c.value =
        sanitizedValue(c.role, info.string(NodeAttribute::subrole), info.get(NodeAttribute::value));
    c.frame = info.frame().value_or(Rect());
    c.isFocused = info.boolean(NodeAttribute::focused).value_or(false);
    c.isChrome = node.chrome;
    c.context = node.dialog;
    return c;
}

// One control of a reading on its way to the snapshot.
struct Offer {
    UICandidate candidate;
    ax::Element element;
    std::size_t found = 0;  // its entry in the walk's found nodes
};

// Only what a person can see of `offers` (the walk's document order): of controls laid over
// each other, the one seen, and neither when that cannot be told; counts the pairs not told.
std::vector<Offer> withoutOverlaps(SeenControls& seen, const WalkResult& walked,
                                   std::vector<Offer> offers, int& untold) {
    std::vector<Visibility::LaidControl> laid;
    std::vector<ax::Element> elements;
    laid.reserve(offers.size());
    elements.reserve(offers.size());
    for (const Offer& offer : offers) {
        const UICandidate& c = offer.candidate;
        const FoundNode& node = walked.found[offer.found];
        laid.push_back({.frame = c.frame,
                        .opaque = node.info.boolean(NodeAttribute::opaque),
                        .raised = c.context.has_value() || c.role == "AXMenuItem",
                        .path = node.path,
                        .role = c.role,
                        .label = c.label()});
        elements.push_back(offer.element);
    }
    const Visibility::Overlaps overlaps = seen.overlapping(laid, elements);
    untold += overlaps.untold;
    // One pass, not an erase each: a page may lay thousands of controls one over another.
    std::vector<bool> drop(offers.size(), false);
    for (const std::size_t i : overlaps.hidden) {
        drop[i] = true;
    }
    std::vector<Offer> kept;
    kept.reserve(offers.size() - overlaps.hidden.size());
    for (std::size_t i = 0; i < offers.size(); ++i) {
        if (!drop[i]) {
            kept.push_back(std::move(offers[i]));
        }
    }
    return kept;
}

// One reading, made once more when some of its reads timed out: a short stall (a browser
// collecting its garbage) drops the controls it was asked about, or gives the app up after three
// reads that were waiting together, and a person would be shown the window with controls
// missing. Read again only once the app answers; the second reading is kept when it was read
// whole, or when the first found nothing; else the first stands. Once only: a read that keeps
// the app busy each time it is asked is not asked on.
Result<WindowSnapshot, AXExtractorError> readAnswered(const AXExtractor& extractor,
                                                      BoundedReader& reader,
                                                      const ax::RunningApp& app,
                                                      const ax::Element& appElement) {
    const int timeoutsBefore = reader.timeouts();
    auto first = extractor.read(reader, app, appElement);
    if (reader.timeouts() == timeoutsBefore || reader.cancelled() || reader.timeUp()) {
        return first;
    }
    // Asked for anew, the app element starts a new reading: nothing the stall left unanswered
    // is taken from the first one.
    ax::AccessibilityBackend& backend = reader.backend();
    const ax::Element fresh = backend.applicationElement(app);
    if (fresh.isNull()) {
        return first;
    }
    backend.setMessagingTimeout(fresh, AXExtractor::kMessagingTimeout);
    if (const auto probe = backend.attribute(fresh, "AXRole");
        !probe &&
        (probe.error() == ax::AXError::timeout || probe.error() == ax::AXError::appGone)) {
        return first;  // still not answering
    }
    reader.resume();
    const int timeoutsOfFirst = reader.timeouts();
    auto again = extractor.read(reader, app, fresh);
    if (reader.cancelled()) {
        return fail(AXExtractorError::cancelled);
    }
    const bool whole = reader.timeouts() == timeoutsOfFirst && !reader.timeUp();
    if (whole || (!first && again)) {
        return again;
    }
    return first;
}

// One reading: the window, and once more after waking the app when it showed nothing at first.
Result<WindowSnapshot, AXExtractorError> readWaking(const AXExtractor& extractor,
                                                    BoundedReader& reader,
                                                    const ax::RunningApp& app,
                                                    const ax::Element& appElement) {
    auto first = readAnswered(extractor, reader, app, appElement);
    if (!first || !first.value().candidates.empty()) {
        return first;
    }
    // Some apps build their tree only once asked to; ask once and read again. A reading that
    // ran out of time is not one of those.
    if (reader.cancelled() || reader.timeUp() || reader.wakeUp(appElement)) {
        return first;
    }
    reader.clock().sleep(reader.backend().wakeUpSettleSeconds());
    if (reader.cancelled()) {
        return fail(AXExtractorError::cancelled);
    }
    return readAnswered(extractor, reader, app, appElement);
}

std::string outcome(const Result<WindowSnapshot, AXExtractorError>& result) {
    if (result) {
        return std::to_string(result.value().candidates.size()) + " candidates";
    }
    switch (result.error()) {
        case AXExtractorError::notTrusted:
            return "not trusted";
        case AXExtractorError::noFrontmostApp:
            return "no app in front";
        case AXExtractorError::noWindow:
            return "no window";
        case AXExtractorError::notResponding:
            return "not responding";
        case AXExtractorError::cancelled:
            return "cancelled";
        case AXExtractorError::tooLarge:
            return "too large";
        case AXExtractorError::appLost:
            return "app lost";
        case AXExtractorError::notOnBus:
            return "not on the bus";
        case AXExtractorError::windowNotShown:
            return "window not shown";
        case AXExtractorError::blockedByDialog:
            return "blocked by a dialog";
        case AXExtractorError::frontUnknown:
            return "front window unknown";
    }
    return "failed";
}

// What a reading cost, for whoever turns on the AT-SPI log's debug lines. A reading that met
// time-outs, gave up on the app or ran out of time is a warning: a hung app leaves a trace.
void logReading(const ax::RunningApp& app, const Result<WindowSnapshot, AXExtractorError>& result,
                const BoundedReader& reader, std::size_t requests, double seconds) {
    using namespace logs;
    const bool trouble = reader.timeouts() > 0 || reader.gaveUp() || reader.timeUp();
    const Level level = trouble ? Level::warning : Level::debug;
    if (!enabled(Category::atspi, level)) {
        return;
    }
    std::string line = "reading of \"" + app.localizedName.value_or("") + "\" (pid " +
                       std::to_string(app.pid) + "): " + std::to_string(requests) + " requests, " +
                       std::to_string(reader.hitTests()) + " hit tests in " +
                       std::to_string(std::lround(seconds * 1000.0)) + " ms, " + outcome(result);
    if (reader.timeouts() > 0) {
        line += ", " + std::to_string(reader.timeouts()) + " reads timed out";
    }
    if (reader.gaveUp()) {
        line += ", the app was given up";
    } else if (reader.timeUp()) {
        line += ", cut short at its deadline";
    }
    write(Category::atspi, level, line);
}

}  // namespace

std::string description(AXExtractorError error) {
    switch (error) {
        case AXExtractorError::notTrusted:
            return OvraText::t("Accessibility permission is needed.");
        case AXExtractorError::noFrontmostApp:
            return OvraText::t("No app is in front.");
        case AXExtractorError::noWindow:
            return OvraText::t("This app has no window to simplify.");
        case AXExtractorError::notResponding:
            return OvraText::t("This app is not responding. Try again once it answers.");
        case AXExtractorError::cancelled:
            return OvraText::t("The reading was cancelled.");
        case AXExtractorError::tooLarge:
            return OvraText::t("This window is too large to read whole.");
        case AXExtractorError::appLost:
            return OvraText::t(
                "Ovra lost the connection to this app while reading it. If the desktop's "
                "accessibility service restarted, restart the app so Ovra can read it again.");
        case AXExtractorError::notOnBus:
            return OvraText::t(
                "This app is not on the desktop's accessibility bus. If it was open before "
                "accessibility was turned on or its service restarted, restart the app; some "
                "apps cannot be read at all.");
        case AXExtractorError::windowNotShown:
            return OvraText::t(
                "This window cannot be read: its app does not show it to accessibility tools. "
                "Use it directly, or close it and try again.");
        case AXExtractorError::blockedByDialog:
            return OvraText::t(
                "This app is waiting for one of its dialogs to be answered, so nothing can be "
                "pressed in this window.");
        case AXExtractorError::frontUnknown:
            return OvraText::t(
                "Several windows of this app lie one over the other and Ovra cannot tell which "
                "one is in front, so it presses nothing there. Move one aside and try again.");
    }
    return {};
}

Rect screenFrameContaining(const Rect& rect, const std::vector<Rect>& screens) {
    if (screens.empty()) {
        return rect;
    }
    const Point middle = rect.center();
    for (const auto& screen : screens) {
        if (screen.contains(middle)) {
            return screen;
        }
    }
    return screens.front();
}

std::string sanitizedValue(const std::string& role, const std::string* subrole,
                           const ax::Value* raw) {
    if (subrole && *subrole == "AXSecureTextField") {
        return {};
    }
    const std::string* text = raw ? ax::asString(*raw) : nullptr;
    if (CandidateRoles::textInputs().contains(role)) {
        return text && !text->empty() ? "filled" : "empty";
    }
    if (role == "AXCheckBox" || role == "AXRadioButton") {
        const auto number = raw ? ax::asNumber(*raw) : std::nullopt;
        // The integer part, as the platform's number reads it; NaN is not 1.
        return number && std::trunc(*number) == 1.0 ? "checked" : "unchecked";
    }
    return prefixCharacters(cleaned(text), 80);
}

Result<WindowSnapshot, AXExtractorError> AXExtractor::read(BoundedReader& reader,
                                                           const ax::RunningApp& app,
                                                           const ax::Element& appElement) const {
    const int timeoutsBefore = reader.timeouts();
    // 1. The window.
    auto window = elementAttribute(reader, appElement, "AXFocusedWindow");
    if (!window) {
        window = elementAttribute(reader, appElement, "AXMainWindow");
    }
    if (!window) {
        return fail(reader.cancelled() ? AXExtractorError::cancelled : AXExtractorError::noWindow);
    }

    // 2, 3. Frame, screen and viewport. A window whose frame cannot be read is taken to fill
    // its screen; an empty viewport would drop every control.
    const auto screens = reader.backend().screenFrames();
    const auto readFrame = frameOf(reader, *window);
    const Rect windowFrame = readFrame.value_or(Rect());
    const Rect screen = screenFrameContaining(windowFrame, screens);
    const Rect fullViewport = readFrame ? Geometry::viewport(windowFrame, screen) : screen;

    // 4. The walk.
    const WalkResult walked =
        walk(reader, *window, fullViewport,
             {.maxDepth = maxDepth, .maxRawDepth = maxRawDepth, .nodeBudget = nodeBudget});
    std::optional<Rect> bestWeb;
    for (const auto& web : walked.webAreas) {
        const double area = web.width() * web.height();
        if (bestWeb ? area > bestWeb->width() * bestWeb->height() : area > 0) {
            bestWeb = web;
        }
    }

    // 5. Document order.
    std::vector<std::size_t> ordered(walked.found.size());
    for (std::size_t i = 0; i < ordered.size(); ++i) {
        ordered[i] = i;
    }
    std::stable_sort(ordered.begin(), ordered.end(), [&](std::size_t a, std::size_t b) {
        return walked.found[a].path < walked.found[b].path;
    });

    // 6. Candidates numbered in that order, each paired with its element.
    std::vector<Offer> offers;
    offers.reserve(ordered.size());
    for (std::size_t i = 0; i < ordered.size(); ++i) {
        if (reader.cancelled()) {
            return fail(AXExtractorError::cancelled);
        }
        const FoundNode& node = walked.found[ordered[i]];
        offers.push_back(
            {makeCandidate(reader, node, static_cast<int>(i + 1)), node.element, ordered[i]});
    }

    // An unnamed sliver that only a click handler makes pressable (a column's resize handle).
    std::erase_if(offers, [](const Offer& offer) {
        const UICandidate& c = offer.candidate;
        return c.label().empty() && !CandidateRoles::interactive().contains(c.role) &&
               Visibility::isSliver(c.frame);
    });

    // What a person sees (SeenControls.h). Controls laid one over the other: only the one a
    // person sees is offered, and neither when that cannot be told.
    SeenControls seen(reader, *window, walked, hitMemory);
    int untoldOverlaps = 0;
    offers = withoutOverlaps(seen, walked, std::move(offers), untoldOverlaps);

    // A page's prompt or a modal dialog in front: only its controls can be used.
    seen.lookAtDialogs(fullViewport, bestWeb);
    std::erase_if(offers, [&](const Offer& offer) { return seen.hiddenByDialogs(offer.found); });

    // Only what some monitor shows: monitors of different sizes leave parts of the screen unseen.
    std::erase_if(offers, [&](const Offer& offer) {
        return !Monitors::shows(offer.candidate.frame, screens);
    });

    // 7. Web clipping.
    Rect viewport = fullViewport;
    if (bestWeb) {
        const Rect clip = bestWeb->intersection(fullViewport);
        if (!clip.isNull() && clip.width() > 200 && clip.height() > 150) {
            std::vector<Offer> kept;
            for (auto& offer : offers) {
                if (offer.candidate.frame.intersects(clip)) {
                    const int order = static_cast<int>(kept.size() + 1);
                    offer.candidate = offer.candidate.withOrder(order);
                    kept.push_back(std::move(offer));
                }
            }
            offers = std::move(kept);
            viewport = clip;
        }
    }

    // 8, 9. Selection around the focused control, of the controls a person sees: those that
    // something may cover or clip are looked at only when the selection would offer them.
    std::optional<Point> focus;
    for (const Offer& offer : offers) {
        if (offer.candidate.isFocused) {
            focus = offer.candidate.frame.center();
            break;
        }
    }
    std::vector<std::size_t> foundOf(offers.size());
    std::map<std::string, std::size_t> byId;
    for (std::size_t i = 0; i < offers.size(); ++i) {
        foundOf[i] = offers[i].found;
        byId.emplace(offers[i].candidate.id, i);
    }
    const auto select = [&](const std::vector<std::size_t>& inPlay, int limit) {
        std::vector<UICandidate> candidates;
        candidates.reserve(inPlay.size());
        for (const std::size_t i : inPlay) {
            candidates.push_back(offers[i].candidate);
        }
        std::vector<std::size_t> picked;
        for (const auto& c :
             CandidateSelector::select(candidates, viewport, focus, limit, bestWeb.has_value())) {
            picked.push_back(byId.at(c.id));
        }
        return picked;
    };
    // The selection ranks every control once. Each pick after some were found covered takes
    // the first of that ranking still in play: a page may lay covers over hundreds of controls,
    // one pick after another. Only when none of them is left does the selection run again on
    // what is: controls it left out beside those now found covered (a container around one, a
    // twin in the same place, the browser's own controls) may be all there is.
    std::vector<std::size_t> everyOffer(offers.size());
    for (std::size_t i = 0; i < offers.size(); ++i) {
        everyOffer[i] = i;
    }
    const std::vector<std::size_t> ranking = select(everyOffer, static_cast<int>(offers.size()));
    const auto choose = [&](const std::vector<std::size_t>& inPlay) {
        std::vector<bool> playing(offers.size(), false);
        for (const std::size_t i : inPlay) {
            playing[i] = true;
        }
        std::vector<std::size_t> picked;
        for (const std::size_t i : ranking) {
            if (picked.size() >= static_cast<std::size_t>(std::max(maxCandidates, 0))) {
                break;
            }
            if (playing[i]) {
                picked.push_back(i);
            }
        }
        return picked.empty() && !inPlay.empty() ? select(inPlay, maxCandidates) : picked;
    };
    WindowSnapshot snapshot;
    for (const std::size_t i : seen.keepSeen(foundOf, choose)) {
        snapshot.candidates.push_back(offers[i].candidate);
        // 10. Elements of the selected candidates.
        snapshot.elements.emplace(offers[i].candidate.id, offers[i].element);
    }

    // 11-13.
    snapshot.app = app;
    snapshot.appName = app.localizedName.value_or("App");
    if (auto title = reader.attribute(*window, "AXTitle"); title) {
        if (const std::string* text = ax::asString(title.value())) {
            snapshot.windowTitle = *text;
        }
    }
    snapshot.windowElement = *window;
    snapshot.windowFrame = windowFrame;
    snapshot.scroll = scrollTarget(reader, walked.regions, fullViewport);
    snapshot.viewport = viewport;
    snapshot.untoldOverlaps = untoldOverlaps;
    if (reader.cancelled()) {
        return fail(AXExtractorError::cancelled);
    }
    // Nothing to show, not even a page to scroll, from a reading cut short: the app stopped
    // answering, or the window is too large to read in time; neither is a window without
    // controls.
    const bool scrolls =
        snapshot.scroll && !(ScrollMore::extent(snapshot.scroll->signals) == ScrollExtent::none());
    // Nothing to offer from an app that left reads unanswered is an app that stopped answering
    // as it was read (a page to scroll, read before it stopped, is no plan), also when the
    // reading then ran out of time: the time went to waiting for it. A reading that ran out of
    // time with every read answered and nothing to show is a window too large.
    if (snapshot.candidates.empty()) {
        if (reader.gaveUp() || reader.timeouts() > timeoutsBefore) {
            return fail(AXExtractorError::notResponding);
        }
        if (!scrolls && (reader.timeUp() || walked.nodesRead >= nodeBudget)) {
            return fail(AXExtractorError::tooLarge);
        }
    }
    return snapshot;
}

Result<WindowSnapshot, AXExtractorError> AXExtractor::snapshot(const ax::RunningApp& app,
                                                               ax::AccessibilityBackend& backend,
                                                               ax::Clock& clock,
                                                               std::stop_token stop,
                                                               BoundedReader::Limits limits) const {
    if (!backend.isProcessTrusted()) {
        return fail(AXExtractorError::notTrusted);
    }
    const ax::Element appElement = backend.applicationElement(app);
    if (appElement.isNull()) {
        return fail(AXExtractorError::noWindow);
    }
    backend.setMessagingTimeout(appElement, kMessagingTimeout);
    const double start = clock.now();
    const std::size_t requestsBefore = backend.requestsSent();
    BoundedReader reader(backend, clock, std::move(stop), limits);
    auto result = readWaking(*this, reader, app, appElement);
    logReading(app, result, reader, backend.requestsSent() - requestsBefore, clock.now() - start);
    return result;
}

}  // namespace ovra
