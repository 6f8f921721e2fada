// AX attribute values, children and windows from what was read of an element.

#include <algorithm>
#include <cmath>

#include "core/Text.h"
#include "platform/atspi/AtspiValues_p.h"

namespace ovra::atspi::session {

namespace {

constexpr std::size_t kMaxStaticText = 256;

// Cut on a UTF-8 boundary; the reader cleans and shortens further.
std::string truncated(const std::string& text) {
    return text::boundedUtf8(text, kMaxStaticText * 4);
}

}  // namespace

ax::Read ValueMapping::windowOf(Node& app, bool focused) {
    auto windows = nodes_.topLevels(app);
    if (app.children.failed()) {
        return fail(app.children.error);
    }
    for (Node* w : windows) {
        if (!w->states.done()) {
            continue;
        }
        if (focused ? isActiveWindow(w->states.value)
                    : isShowing(w->states.value) && !nameOf(*w).empty()) {
            return ax::Value(requests_.element(w->bus, w->path));
        }
    }
    return fail(AXError::noValue);
}

bool ValueMapping::needsProps(std::string_view name) {
    return name == "AXTitle" || name == "AXDescription" || name == "AXValue" ||
           name == "AXParent" || name == "AXChildren";
}

bool ValueMapping::needsFollowUps(std::string_view name) {
    return name == "AXRole" || name == "AXSubrole" || name == "AXValue" ||
           name == "AXPlaceholderValue" || name == "AXTitle" || name == "AXDescription";
}

std::string ValueMapping::nameOf(const Node& n) const {
    if (!n.props.done() || !n.props.value.name) {
        return {};
    }
    const std::string& name = *n.props.value.name;
    const Toolkit& kit = apps_.knownToolkit(n.bus);
    if (kit.labelsCountTwice) {
        if (auto once = undoubled(name)) {
            return *once;
        }
    }
    const bool label = n.hasRole() && isStaticTextRole(n.role.value);
    if (kit.typeNamesAsNames && isTypeName(name, label)) {
        return {};
    }
    return name;
}

std::optional<Point> ValueMapping::screenOffset(Node& n) {
    if (!apps_.knownToolkit(n.bus).windowRelativeExtents) {
        return Point{};
    }
    const std::string key = nodes_.foundTopLevelKey(n);
    if (auto known = windowOrigins_.find(key); known != windowOrigins_.end()) {
        return known->second;
    }
    std::optional<Point> origin;
    Node* window = nodes_.find(key);
    if (window != nullptr && !(window->extents.done() && window->props.done())) {
        // What the app told since the reading (a pointer moving over it) may have dropped it.
        nodes_.settle(*window, [](Node& t) { return t.extents.settled() && t.props.settled(); });
        window = nodes_.find(key);
    }
    x11::Workspace* desk = apps_.x11();
    const auto pid = apps_.resolvedPidOf(n.bus);
    if (window != nullptr && desk != nullptr && pid && window->extents.done()) {
        // The X window of that title, as the window manager knows it.
        const auto target =
            x11::windowToRaise(desk->windowsOf(*pid), *pid, window->props.value.name.value_or(""));
        if (auto frame = target ? desk->contentFrame(*target) : std::nullopt) {
            origin = windowOrigin(*frame, frames_.deviceFrame(*window, window->extents.value).size);
        }
    }
    windowOrigins_.emplace(key, origin);
    return origin;
}

bool ValueMapping::hiddenDocument(const Node& n) const {
    // Browsers keep pages they do not show (a preloaded new tab, background tabs) VISIBLE but
    // not SHOWING. Within a shown page that is only "scrolled away", so only what lies outside
    // any page, the pages' own roots included, is hidden by it.
    return apps_.knownToolkit(n.bus).isBrowser && n.states.done() &&
           !n.states.value.has(ATSPI_STATE_SHOWING) && !n.inDocument;
}

bool ValueMapping::insideParent(const Node& n) {
    // What lies wholly inside its laid-out parent is not clipped away by it: a state saying so
    // may be one not yet brought up to date, or the mark of a cover or clip of its own.
    const Node* parent = nodes_.find(n.parentKey);
    return parent != nullptr && parent->extents.done() && isLaidOut(parent->extents.value) &&
           n.extents.done() && isLaidOut(n.extents.value) &&
           parent->extents.value.contains(n.extents.value);
}

ax::Read ValueMapping::frameValue(Node& n, std::string_view name, const Rect& given) {
    if (given.size.width < 0 || given.size.height < 0) {
        return fail(AXError::noValue);  // toolkits send -1 sizes for objects not laid out
    }
    const Rect r = frames_.deviceFrame(n, given);  // in device pixels, whatever the app's scale
    if (name == "AXPosition") {
        // A frame that cannot be placed on screen is no frame: a ring there would mislead.
        const auto offset = screenOffset(n);
        if (!offset) {
            return fail(AXError::noValue);
        }
        return ax::Value(Point{r.origin.x + offset->x, r.origin.y + offset->y});
    }
    return ax::Value(r.size);
}

ax::Read ValueMapping::parentOf(Node& n) {
    if (auto p = n.props.problem()) {
        return fail(*p);
    }
    if (!n.props.value.parent || n.props.value.parent->path == kNullPath) {
        return fail(AXError::noValue);
    }
    const reply::ObjectRef& parent = *n.props.value.parent;
    Node* above = nodes_.find(parent.bus + parent.path);
    if (apps_.knownToolkit(n.bus).documentOutsideScrollPane &&
        (above == nullptr || !above->role.settled())) {
        // Whether the parent is a document presented as a scroll area: its role tells.
        Node& unread = nodes_.node(parent.bus, parent.path);
        nodes_.settle(unread, [](Node& t) { return t.role.settled(); });
        above = nodes_.find(parent.bus + parent.path);
    }
    // A document's content lies in its web area, inside the scroll area the document is shown as.
    const bool inWebArea = above != nullptr && nodes_.presentsScrollArea(*above);
    return ax::Value(requests_.element(parent.bus, parent.path, inWebArea));
}

ax::Read ValueMapping::valueOf(Node& n, std::string_view name, bool webArea) {
    nodes_.awaitPage(n);  // a page read before its app had it is read again once it came in
    if (webArea || nodes_.presentsScrollArea(n)) {
        // A web document shown as a scroll area (the document's own frame, the viewport) that
        // holds its web area (the whole page).
        if (name == "AXRole") {
            return ax::Value(std::string(webArea ? "AXWebArea" : "AXScrollArea"));
        }
        if (name == "AXSubrole") {
            return fail(AXError::noValue);
        }
        if (webArea && name == "AXParent") {
            return ax::Value(requests_.element(n.bus, n.path));
        }
        if (webArea && (name == "AXPosition" || name == "AXSize")) {
            if (const auto extent = web_.pageExtent(n)) {
                return frameValue(n, name, *extent);
            }
        }
    } else if ((name == "AXPosition" || name == "AXSize") && nodes_.isPage(n) &&
               !hiddenDocument(n)) {
        // A web area is the whole page, as in a page presented as a scroll area.
        if (const auto extent = web_.pageExtent(n)) {
            return frameValue(n, name, *extent);
        }
    }
    if (n.props.unread() && needsProps(name)) {
        // A text leaf's name is read when asked for.
        nodes_.settle(n, [](Node& t) { return t.props.settled(); });
    }
    if (name == "AXFocusedWindow" || name == "AXMainWindow") {
        return windowOf(n, name == "AXFocusedWindow");
    }
    if (name == "AXChildren") {
        auto kids = childrenOf(n, 4096, webArea);
        if (!kids) {
            return fail(kids.error());
        }
        return ax::Value(std::move(kids).value());
    }
    if (name == "AXParent") {
        return parentOf(n);
    }
    if (name == "AXTitleUIElement") {
        return titleElement(n);
    }
    if (name == "AXPosition" || name == "AXSize") {
        if (auto p = n.extents.problem()) {
            return fail(*p);
        }
        return frameValue(n, name, n.extents.value);
    }
    if (auto p = n.role.problem()) {
        return fail(*p);
    }
    const std::uint32_t role = n.role.value;
    if (name == "AXRole" || name == "AXSubrole") {
        const AXRole mapped = nodes_.axRole(n);
        if (name == "AXRole") {
            return ax::Value(mapped.role);
        }
        if (!mapped.subrole) {
            return fail(AXError::noValue);
        }
        return ax::Value(*mapped.subrole);
    }
    if (name == "AXTitle" || name == "AXDescription") {
        if (auto p = n.props.problem()) {
            return fail(*p);
        }
        std::string title = nameOf(n);
        if (Node* label = title.empty() ? nodes_.wrappingLabel(n) : nullptr) {
            title = nameOf(*label);  // a control inside its label is named by it
        }
        if (Node* inner = title.empty() ? nodes_.labellingButton(n) : nullptr) {
            title = nameOf(*inner);  // GTK 4's menu button shows its inner button's label
        }
        if (name == "AXTitle") {
            return ax::Value(title);
        }
        // AT-SPI's description is a tooltip or aria-describedby text: only a stand-in
        // label when the name is empty, or dialogs would get their body text as a title.
        if (!title.empty() || !n.props.value.description) {
            return fail(AXError::noValue);
        }
        return ax::Value(*n.props.value.description);
    }
    if (name == "AXMain") {
        // Whether this window is its app's active one, the one that takes the keyboard.
        if (auto p = n.states.problem()) {
            return fail(*p);
        }
        return ax::Value(isActiveWindow(n.states.value));
    }
    if (name == "AXEnabled" || name == "AXFocused" || name == "AXHidden" || name == "AXModal") {
        if (name == "AXHidden") {
            nodes_.awaitUncovered(n);  // a window covered a moment ago shows its content again
        }
        if (auto p = n.states.problem()) {
            return fail(*p);
        }
        const StateSet s = n.states.value;
        if (name == "AXEnabled") {
            return ax::Value(isEnabled(s));
        }
        if (name == "AXModal") {
            return ax::Value(isModal(s));
        }
        if (name == "AXFocused") {
            return ax::Value(isFocused(s));
        }
        return ax::Value(isHidden(s) || hiddenDocument(n));
    }
    if (name == "AXShowing" || name == "AXOpaque") {
        // Only browsers tell of their pages' content what a person cannot see: SHOWING goes when
        // an ancestor (an overflow container, a frame's view) clips the element away, and Gecko
        // gives OPAQUE only to what is drawn at full opacity. Where Gecko's SHOWING cannot be
        // told from a paint it has not caught up with, the answer is none.
        const Toolkit& kit = apps_.knownToolkit(n.bus);
        if (!kit.isBrowser || !n.inDocument || (name == "AXOpaque" && !kit.opacityInStates)) {
            return fail(AXError::unsupportedAttribute);
        }
        if (auto p = n.states.problem()) {
            return fail(*p);
        }
        if (name == "AXOpaque") {
            return ax::Value(n.states.value.has(ATSPI_STATE_OPAQUE));
        }
        if (n.states.value.has(ATSPI_STATE_SHOWING)) {
            return ax::Value(true);
        }
        // Not painted yet, or clipped away: only a hit test tells.
        if (kit.showingLagsPaint && insideParent(n)) {
            return fail(AXError::noValue);
        }
        return ax::Value(false);
    }
    if (name == "AXPlaceholderValue") {
        if (n.attributes.unread()) {
            return fail(AXError::noValue);
        }
        if (auto p = n.attributes.problem()) {
            return fail(*p);
        }
        if (auto text = placeholder(n.attributes.value)) {
            return ax::Value(text::boundedUtf8(*text));
        }
        return fail(AXError::noValue);
    }
    if (name == "AXDOMIdentifier" || name == "AXDOMClassList") {
        // A page element's id and class as its browser tells them: read only when asked, for
        // the few boxes a rule looks at.
        if (!apps_.knownToolkit(n.bus).isBrowser || !n.inDocument) {
            return fail(AXError::unsupportedAttribute);
        }
        if (n.attributes.unread()) {
            nodes_.requestAttributes(n, true);
            nodes_.settle(n, [](Node& t) { return !t.attributes.pending(); });
        }
        if (auto p = n.attributes.problem()) {
            return fail(*p);
        }
        const auto it = n.attributes.value.find(name == "AXDOMIdentifier" ? "id" : "class");
        if (it == n.attributes.value.end() || it->second.empty()) {
            return fail(AXError::noValue);
        }
        return ax::Value(text::boundedUtf8(it->second));
    }
    if (name == "AXValue") {
        return valueAttribute(n, role);
    }
    if (name == "AXText") {
        return foldedText(n, role);
    }
    if (name == "AXMinValue" || name == "AXMaxValue") {
        const Cached<double>& bound = name == "AXMinValue" ? n.minimum : n.maximum;
        if (!isRangeRole(role) || bound.unread()) {
            return fail(AXError::unsupportedAttribute);
        }
        if (auto p = bound.problem()) {
            return fail(*p);
        }
        if (!std::isfinite(bound.value)) {
            return fail(AXError::noValue);
        }
        return ax::Value(bound.value);
    }
    return fail(AXError::unsupportedAttribute);
}

ax::Read ValueMapping::valueAttribute(Node& n, std::uint32_t role) {
    if (auto toggle = toggleValue(role, n.states.value); toggle && n.states.done()) {
        return ax::Value(*toggle);
    }
    // Read-only TEXT objects are labels: they lend their text, never a filled-in stand-in.
    const bool staticText = isStaticTextRole(role) || nodes_.axRole(n).role == "AXStaticText";
    // Only editable combo boxes carry text; GTK logs criticals when others are asked.
    const bool hasText = !staticText && isTextInputRole(role) &&
                         (role != static_cast<std::uint32_t>(ATSPI_ROLE_COMBO_BOX) ||
                          n.states.value.has(ATSPI_STATE_EDITABLE));
    if (hasText) {
        // Only filled or empty matters; the text itself (and any password) is never read.
        if (n.characterCount.unread()) {
            return fail(AXError::noValue);
        }
        if (auto p = n.characterCount.problem()) {
            return fail(*p);
        }
        return ax::Value(std::string(n.characterCount.value > 0 ? "x" : ""));
    }
    if (isRangeRole(role)) {
        if (auto p = n.current.problem()) {
            return fail(*p);
        }
        // A bound the app could not give leaves a scroll bar without a position.
        if (auto value = rangeValue(role, n.range())) {
            return ax::Value(*value);
        }
        return fail(AXError::noValue);
    }
    if (staticText) {
        if (const std::string text = nameOf(n); !text.empty()) {
            return ax::Value(truncated(text));
        }
        if (n.text.unread()) {
            nodes_.requestText(n, true);
            const std::string key = n.key();
            requests_.waitUntil(
                [&] {
                    Node* t = nodes_.find(key);
                    return t == nullptr || t->text.settled();
                },
                requests_.waitBudget(n.bus));
        }
        if (auto p = n.text.problem()) {
            return fail(*p);
        }
        return ax::Value(truncated(n.text.value));
    }
    return fail(AXError::unsupportedAttribute);
}

ax::Read ValueMapping::foldedText(Node& n, std::uint32_t role) {
    // What a box of a page shows in words, where the toolkit folds them into it; never a field's
    // content (a password), an editable region's or a whole document's.
    if (!apps_.knownToolkit(n.bus).foldsTextIntoBoxes || !n.inDocument || nodes_.isPage(n) ||
        isTextInputRole(role) || n.states.value.has(ATSPI_STATE_EDITABLE)) {
        return fail(AXError::unsupportedAttribute);
    }
    const std::string key = n.key();
    if (n.text.unread()) {
        nodes_.requestCountedText(n);
        requests_.waitUntil(
            [&] {
                Node* t = nodes_.find(key);
                return t == nullptr || t->text.settled();
            },
            requests_.waitBudget(n.bus));
    }
    Node* live = nodes_.find(key);
    if (live == nullptr) {
        return fail(AXError::appGone);
    }
    if (auto p = live->text.problem()) {
        return fail(*p);
    }
    // The places of the elements inside it are theirs to tell.
    static constexpr std::string_view kElementMark = "\xEF\xBF\xBC";  // U+FFFC
    std::string words;
    const std::string& text = live->text.value;
    for (std::size_t at = 0; at < text.size();) {
        if (text.compare(at, kElementMark.size(), kElementMark) == 0) {
            words += ' ';
            at += kElementMark.size();
        } else {
            words += text[at++];
        }
    }
    if (words.find_first_not_of(" \t\n") == std::string::npos) {
        return fail(AXError::noValue);
    }
    return ax::Value(truncated(words));
}

ax::Read ValueMapping::titleElement(Node& n) {
    auto call = methodCall(n.bus, n.path, kAccessible, "GetRelationSet");
    // Shared, not on the stack: the reply may come after we stopped waiting.
    auto holder = std::make_shared<std::optional<Reply>>();
    requests_.enqueue(
        n.bus, std::move(call), [holder](Reply r) { *holder = std::move(r); }, true);
    requests_.waitUntil([&] { return holder->has_value(); }, requests_.waitBudget(n.bus));
    auto& answer = *holder;
    if (!answer) {
        return fail(AXError::timeout);
    }
    if (!answer->ok()) {
        return fail(errorFor(*answer));
    }
    auto targets = reply::relationTargets(answer->message.get(), kLabelledBy);
    if (!targets) {
        return fail(AXError::wrongType);
    }
    if (targets->empty()) {
        return fail(AXError::noValue);
    }
    return ax::Value(requests_.element(targets->front().bus, targets->front().path));
}

Result<ax::ElementList, AXError> ValueMapping::childrenOf(Node& n, std::size_t limit,
                                                          bool webArea) {
    if (limit == 0) {
        return ax::ElementList{};
    }
    if (!webArea && nodes_.presentsScrollArea(n)) {
        return ax::ElementList{requests_.element(n.bus, n.path, true)};
    }
    if (web_.listsOnScreen(n, webArea)) {
        if (const auto& shown = web_.onScreen(n)) {
            ax::ElementList result;
            for (const auto& child : *shown) {
                if (result.size() >= limit) {
                    break;
                }
                Node& c = nodes_.node(child.bus, child.path);
                nodes_.requestBase(c);  // pipelined: read while the walk goes on
                result.push_back(requests_.element(child.bus, child.path));
            }
            return result;
        }
    }
    if (n.children.unread()) {
        const std::string key = n.key();
        if (n.props.unread()) {
            nodes_.requestBase(n, true);
            requests_.waitUntil(
                [&] {
                    Node* t = nodes_.find(key);
                    return t == nullptr || t->props.settled();
                },
                requests_.waitBudget(n.bus));
        }
        // An app that did not say how many children a node has in time is not asked to list
        // them all.
        if (!n.props.done() && n.props.problem() == AXError::timeout) {
            return fail(AXError::timeout);
        }
        const std::int32_t count = n.props.done() ? n.props.value.childCount.value_or(0) : -1;
        if (count >= 0 && static_cast<std::size_t>(count) > limit) {
            // A huge child list (a spreadsheet) would flood the bus: fetch only what fits.
            return childrenByIndex(n, std::min(limit, static_cast<std::size_t>(count)));
        }
        nodes_.requestChildren(n, true);
    }
    const std::string key = n.key();
    requests_.waitUntil(
        [&] {
            Node* t = nodes_.find(key);
            return t == nullptr || t->children.settled();
        },
        requests_.waitBudget(n.bus));
    if (auto p = n.children.problem()) {
        return fail(*p);
    }
    ax::ElementList result;
    for (const auto& child : NodeCache::liveChildren(n)) {
        if (result.size() >= limit) {
            break;
        }
        Node& c = nodes_.node(child.bus, child.path);
        nodes_.adopt(n, c);
        nodes_.requestBase(c);  // pipelined: the next breadth-first level is read while we return
        result.push_back(requests_.element(child.bus, child.path));
    }
    // Where a tab's page is the tab's child, the page is shown where a tab group's content
    // would be: after the tabs.
    if (apps_.knownToolkit(n.bus).pagesUnderTabs && n.is(ATSPI_ROLE_PAGE_TAB_LIST)) {
        for (const auto& [tab, page] : nodes_.selectedPages(n)) {
            if (result.size() >= limit) {
                break;
            }
            Node& p = nodes_.node(page.bus, page.path);
            nodes_.adopt(*tab, p);
            nodes_.requestBase(p);
            result.push_back(requests_.element(page.bus, page.path));
        }
    }
    return result;
}

Result<ax::ElementList, AXError> ValueMapping::childrenByIndex(Node& n, std::size_t count) {
    auto shared = std::make_shared<std::vector<std::optional<Reply>>>(count);
    auto& answers = *shared;
    for (std::size_t i = 0; i < count; ++i) {
        auto call = methodCall(n.bus, n.path, kAccessible, "GetChildAtIndex");
        auto index = static_cast<dbus_int32_t>(i);
        if (call) {
            dbus_message_append_args(call.get(), DBUS_TYPE_INT32, &index, DBUS_TYPE_INVALID);
        }
        requests_.enqueue(n.bus, std::move(call),
                          [shared, i](Reply r) { (*shared)[i] = std::move(r); });
    }
    requests_.waitUntil(
        [&] {
            return std::all_of(answers.begin(), answers.end(),
                               [](const auto& a) { return a.has_value(); });
        },
        requests_.waitBudget(n.bus) + static_cast<double>(count) * 0.001);
    ax::ElementList result;
    for (auto& answer : answers) {
        if (!answer) {
            return fail(AXError::timeout);
        }
        if (!answer->ok()) {
            return fail(errorFor(*answer));
        }
        auto ref = reply::objectRef(answer->message.get());
        if (!ref || ref->bus.empty() || ref->path == kNullPath) {
            continue;
        }
        Node& c = nodes_.node(ref->bus, ref->path);
        nodes_.adopt(n, c);
        nodes_.requestBase(c);
        result.push_back(requests_.element(ref->bus, ref->path));
    }
    return result;
}

}  // namespace ovra::atspi::session
