// AX attribute values, children and windows from what was read of an element.

#include <algorithm>
#include <cmath>
#include <thread>

#include "platform/atspi/AtspiSession.h"

namespace ovra::atspi::session {

std::vector<reply::ObjectRef> AtspiSession::liveChildren(const Node& n) {
    std::vector<reply::ObjectRef> result;
    for (const auto& child : n.children.value) {
        if (!child.bus.empty() && child.path != kNullPath) {
            result.push_back(child);
        }
    }
    return result;
}

std::vector<Node*> AtspiSession::topLevels(Node& app) {
    toolkit(app.bus);  // before anything else is asked of the app
    requestChildren(app, true);
    const std::string key = app.key();
    waitUntil([&] { return app.children.settled(); }, waitBudget(app.bus));
    std::vector<Node*> windows;
    if (app.children.state != Part<std::vector<reply::ObjectRef>>::State::done) {
        return windows;
    }
    for (const auto& child : liveChildren(app)) {
        Node& window = node(child.bus, child.path);
        window.parentKey = key;
        requestBase(window, true);
        windows.push_back(&window);
    }
    waitUntil(
        [&] {
            return std::all_of(windows.begin(), windows.end(),
                               [](Node* w) { return w->baseSettled(); });
        },
        waitBudget(app.bus));
    return windows;
}

ax::Read AtspiSession::windowOf(Node& app, bool focused) {
    auto windows = topLevels(app);
    if (app.children.state == Part<std::vector<reply::ObjectRef>>::State::failed) {
        return fail(app.children.error);
    }
    for (Node* w : windows) {
        if (w->states.state != Part<StateSet>::State::done) {
            continue;
        }
        if (focused ? isActiveWindow(w->states.value)
                    : isShowing(w->states.value) && !nameOf(*w).empty()) {
            return ax::Value(element(w->bus, w->path));
        }
    }
    return fail(AXError::noValue);
}

bool AtspiSession::needsFollowUps(std::string_view name) {
    return name == "AXRole" || name == "AXSubrole" || name == "AXValue" ||
           name == "AXPlaceholderValue" || name == "AXTitle" || name == "AXDescription";
}

bool AtspiSession::followUpsSettled(const Node& n) {
    auto ok = [](const auto& part) { return part.unread() || part.settled(); };
    return n.followUpsIssued && ok(n.attributes) && ok(n.interfaces) && ok(n.actions) &&
           ok(n.characterCount) && ok(n.minimum) && ok(n.maximum) && ok(n.current) && ok(n.text) &&
           wrapSettled(n);
}

std::string AtspiSession::nameOf(Node& n) {
    if (n.props.state != Part<reply::AccessibleProps>::State::done || !n.props.value.name) {
        return {};
    }
    const std::string& name = *n.props.value.name;
    const Toolkit& kit = knownToolkit(n.bus);
    if (kit.labelsCountTwice) {
        if (auto once = undoubled(name)) {
            return *once;
        }
    }
    const bool label =
        n.role.state == Part<std::uint32_t>::State::done && isStaticTextRole(n.role.value);
    if (kit.typeNamesAsNames && isTypeName(name, label)) {
        return {};
    }
    return name;
}

std::optional<Point> AtspiSession::screenOffset(Node& n) {
    if (!knownToolkit(n.bus).windowRelativeExtents) {
        return Point{};
    }
    const std::string key = topLevelKey(n);
    if (auto known = windowOrigins.find(key); known != windowOrigins.end()) {
        return known->second;
    }
    std::optional<Point> origin;
    Node* window = find(key);
    x11::Workspace* desk = x11();
    if (!pidOfBus.contains(n.bus)) {
        resolvePids({reply::ObjectRef{n.bus, kRootPath}});
    }
    auto pid = pidOfBus.find(n.bus);
    if (window != nullptr && desk != nullptr && pid != pidOfBus.end() &&
        window->extents.state == Part<Rect>::State::done) {
        // The X window of that title, as the window manager knows it.
        const auto target = x11::windowToRaise(desk->windowsOf(pid->second), pid->second,
                                               window->props.value.name.value_or(""));
        if (auto frame = target ? desk->contentFrame(*target) : std::nullopt) {
            origin = windowOrigin(*frame, window->extents.value.size);
        }
    }
    windowOrigins.emplace(key, origin);
    return origin;
}

bool AtspiSession::hiddenDocument(Node& n) {
    // Browsers keep pages they do not show (a preloaded new tab, background tabs) VISIBLE but
    // not SHOWING. Within a shown page that is only "scrolled away", so only what lies outside
    // any page, the pages' own roots included, is hidden by it.
    return knownToolkit(n.bus).isBrowser && n.states.state == Part<StateSet>::State::done &&
           !n.states.value.has(ATSPI_STATE_SHOWING) && !n.inDocument;
}

ax::Read AtspiSession::valueOf(Node& n, std::string_view name) {
    if (name == "AXFocusedWindow" || name == "AXMainWindow") {
        return windowOf(n, name == "AXFocusedWindow");
    }
    if (name == "AXChildren") {
        auto kids = childrenOf(n, 4096);
        if (!kids) {
            return fail(kids.error());
        }
        return ax::Value(std::move(kids).value());
    }
    if (name == "AXParent") {
        if (auto p = problem(n.props)) {
            return fail(*p);
        }
        if (!n.props.value.parent || n.props.value.parent->path == kNullPath) {
            return fail(AXError::noValue);
        }
        return ax::Value(element(n.props.value.parent->bus, n.props.value.parent->path));
    }
    if (name == "AXTitleUIElement") {
        return titleElement(n);
    }
    if (name == "AXPosition" || name == "AXSize") {
        if (auto p = problem(n.extents)) {
            return fail(*p);
        }
        const Rect& r = n.extents.value;
        if (r.size.width < 0 || r.size.height < 0) {
            return fail(AXError::noValue);  // toolkits send -1 sizes for objects not laid out
        }
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
    if (auto p = problem(n.role)) {
        return fail(*p);
    }
    const std::uint32_t role = n.role.value;
    if (name == "AXRole" || name == "AXSubrole") {
        const AXRole mapped = axRole(n);
        if (name == "AXRole") {
            return ax::Value(mapped.role);
        }
        if (!mapped.subrole) {
            return fail(AXError::noValue);
        }
        return ax::Value(*mapped.subrole);
    }
    if (name == "AXTitle" || name == "AXDescription") {
        if (auto p = problem(n.props)) {
            return fail(*p);
        }
        std::string title = nameOf(n);
        if (Node* label = title.empty() ? wrappingLabel(n) : nullptr) {
            title = nameOf(*label);  // a control inside its label is named by it
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
    if (name == "AXEnabled" || name == "AXFocused" || name == "AXHidden") {
        if (auto p = problem(n.states)) {
            return fail(*p);
        }
        const StateSet s = n.states.value;
        if (name == "AXEnabled") {
            return ax::Value(isEnabled(s));
        }
        if (name == "AXFocused") {
            return ax::Value(isFocused(s));
        }
        return ax::Value(isHidden(s) || hiddenDocument(n));
    }
    if (name == "AXPlaceholderValue") {
        if (n.attributes.unread()) {
            return fail(AXError::noValue);
        }
        if (auto p = problem(n.attributes)) {
            return fail(*p);
        }
        if (auto text = placeholder(n.attributes.value)) {
            return ax::Value(*text);
        }
        return fail(AXError::noValue);
    }
    if (name == "AXValue") {
        return valueAttribute(n, role);
    }
    if (name == "AXMinValue" || name == "AXMaxValue") {
        const Part<double>& bound = name == "AXMinValue" ? n.minimum : n.maximum;
        if (!isRangeRole(role) || bound.unread()) {
            return fail(AXError::unsupportedAttribute);
        }
        if (auto p = problem(bound)) {
            return fail(*p);
        }
        if (!std::isfinite(bound.value)) {
            return fail(AXError::noValue);
        }
        return ax::Value(bound.value);
    }
    return fail(AXError::unsupportedAttribute);
}

ax::Read AtspiSession::valueAttribute(Node& n, std::uint32_t role) {
    if (auto toggle = toggleValue(role, n.states.value);
        toggle && n.states.state == Part<StateSet>::State::done) {
        return ax::Value(*toggle);
    }
    // Read-only TEXT objects are labels: they lend their text, never a filled-in stand-in.
    const bool staticText = isStaticTextRole(role) || axRole(n).role == "AXStaticText";
    // Only editable combo boxes carry text; GTK logs criticals when others are asked.
    const bool hasText = !staticText && isTextInputRole(role) &&
                         (role != static_cast<std::uint32_t>(ATSPI_ROLE_COMBO_BOX) ||
                          n.states.value.has(ATSPI_STATE_EDITABLE));
    if (hasText) {
        // Only filled or empty matters; the text itself (and any password) is never read.
        if (n.characterCount.unread()) {
            return fail(AXError::noValue);
        }
        if (auto p = problem(n.characterCount)) {
            return fail(*p);
        }
        return ax::Value(std::string(n.characterCount.value > 0 ? "x" : ""));
    }
    if (isRangeRole(role)) {
        if (auto p = problem(n.current)) {
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
            requestText(n, true);
            const std::string key = n.key();
            waitUntil(
                [&] {
                    Node* t = find(key);
                    return t == nullptr || t->text.settled();
                },
                waitBudget(n.bus));
        }
        if (auto p = problem(n.text)) {
            return fail(*p);
        }
        return ax::Value(truncated(n.text.value));
    }
    return fail(AXError::unsupportedAttribute);
}

std::string AtspiSession::truncated(const std::string& text) {
    if (text.size() <= kMaxStaticText * 4) {
        return text;
    }
    // Cut on a UTF-8 boundary; the reader cleans and shortens further.
    std::size_t end = kMaxStaticText * 4;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) {
        --end;
    }
    return text.substr(0, end);
}

ax::Read AtspiSession::titleElement(Node& n) {
    auto call = methodCall(n.bus, n.path, kAccessible, "GetRelationSet");
    // Shared, not on the stack: the reply may come after we stopped waiting.
    auto holder = std::make_shared<std::optional<Reply>>();
    enqueue(
        n.bus, std::move(call), [holder](Reply r) { *holder = std::move(r); }, true);
    waitUntil([&] { return holder->has_value(); }, waitBudget(n.bus));
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
    return ax::Value(element(targets->front().bus, targets->front().path));
}

Result<ax::ElementList, AXError> AtspiSession::childrenOf(Node& n, std::size_t limit) {
    if (n.children.unread()) {
        const std::string key = n.key();
        if (n.props.unread()) {
            requestBase(n, true);
            waitUntil(
                [&] {
                    Node* t = find(key);
                    return t == nullptr || t->props.settled();
                },
                waitBudget(n.bus));
        }
        const std::int32_t count = n.props.state == Part<reply::AccessibleProps>::State::done
                                       ? n.props.value.childCount.value_or(0)
                                       : -1;
        if (count >= 0 && static_cast<std::size_t>(count) > limit) {
            // A huge child list (a spreadsheet) would flood the bus: fetch only what fits.
            return childrenByIndex(n, std::min(limit, static_cast<std::size_t>(count)));
        }
        requestChildren(n, true);
    }
    const std::string key = n.key();
    waitUntil(
        [&] {
            Node* t = find(key);
            return t == nullptr || t->children.settled();
        },
        waitBudget(n.bus));
    if (auto p = problem(n.children)) {
        return fail(*p);
    }
    ax::ElementList result;
    for (const auto& child : liveChildren(n)) {
        if (result.size() >= limit) {
            break;
        }
        Node& c = node(child.bus, child.path);
        adopt(n, c);
        requestBase(c);  // pipelined: the next breadth-first level is read while we return
        result.push_back(element(child.bus, child.path));
    }
    // Where a tab's page is the tab's child, the page is shown where a tab group's content
    // would be: after the tabs.
    if (knownToolkit(n.bus).pagesUnderTabs && n.role.state == Part<std::uint32_t>::State::done &&
        n.role.value == static_cast<std::uint32_t>(ATSPI_ROLE_PAGE_TAB_LIST)) {
        for (const auto& [tab, page] : selectedPages(n)) {
            if (result.size() >= limit) {
                break;
            }
            Node& p = node(page.bus, page.path);
            adopt(*tab, p);
            requestBase(p);
            result.push_back(element(page.bus, page.path));
        }
    }
    return result;
}

Result<ax::ElementList, AXError> AtspiSession::childrenByIndex(Node& n, std::size_t count) {
    auto shared = std::make_shared<std::vector<std::optional<Reply>>>(count);
    auto& answers = *shared;
    for (std::size_t i = 0; i < count; ++i) {
        auto call = methodCall(n.bus, n.path, kAccessible, "GetChildAtIndex");
        auto index = static_cast<dbus_int32_t>(i);
        if (call) {
            dbus_message_append_args(call.get(), DBUS_TYPE_INT32, &index, DBUS_TYPE_INVALID);
        }
        enqueue(n.bus, std::move(call), [shared, i](Reply r) { (*shared)[i] = std::move(r); });
    }
    waitUntil(
        [&] {
            return std::all_of(answers.begin(), answers.end(),
                               [](const auto& a) { return a.has_value(); });
        },
        waitBudget(n.bus) + static_cast<double>(count) * 0.001);
    ax::ElementList result;
    const std::string key = n.key();
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
        Node& c = node(ref->bus, ref->path);
        adopt(n, c);
        requestBase(c);
        result.push_back(element(ref->bus, ref->path));
    }
    return result;
}

}  // namespace ovra::atspi::session
