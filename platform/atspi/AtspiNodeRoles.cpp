// What an element is in the AX tree: its role, whether it is a top-level window, a label that
// wraps a control, the selected pages of a tab group, and the follow-up reads its role calls
// for.

#include <algorithm>
#include <array>
#include <chrono>
#include <thread>

#include "core/Candidate.h"
#include "platform/atspi/AtspiNodeCache_p.h"

namespace ovra::atspi::session {

std::optional<std::uint32_t> NodeCache::parentRole(const Node& n) const {
    if (const Node* parent = findKnown(n.parentKey); parent && parent->hasRole()) {
        return parent->role.value;
    }
    return std::nullopt;
}

bool NodeCache::isTopLevel(const Node& n) const {
    if (!n.parentKey.empty()) {
        return n.parentKey == n.bus + kRootPath;
    }
    if (n.props.done() && n.props.value.parent) {
        return isRootPath(n.props.value.parent->path);
    }
    return false;
}

AXRole NodeCache::axRole(Node& n) {
    if (n.mapped) {
        return *n.mapped;
    }
    RoleFacts facts;
    facts.role = n.role.value;
    facts.states = n.states.value;
    facts.attributes = n.attributes.value;
    facts.isTopLevel = isTopLevel(n);
    facts.parentRole = parentRole(n);
    if (n.children.done()) {
        for (const auto& child : n.children.value) {
            const Node* c = findKnown(child.bus + child.path);
            if (c && c->is(ATSPI_ROLE_ENTRY)) {
                facts.hasEntryChild = true;
            }
        }
    }
    facts.wrapsControl = wrapsControl(n);
    facts.inBrowser = apps_.knownToolkit(n.bus).isBrowser;
    facts.named = n.props.done() && n.props.value.name && !n.props.value.name->empty();
    AXRole result = mapRole(facts);
    // A combo box's entry child may still come in; everything else is settled once its parts are.
    const bool settled = n.states.done() &&
                         (n.attributes.settled() || !roleNeedsAttributes(n.role.value)) &&
                         (n.parentKey.empty() || facts.parentRole.has_value()) &&
                         n.role.value != static_cast<std::uint32_t>(ATSPI_ROLE_COMBO_BOX) &&
                         wrapSettled(n) && (n.props.settled() || !n.is(ATSPI_ROLE_TABLE_CELL));
    if (settled && n.hasRole()) {
        n.mapped = result;
    }
    return result;
}

namespace {

constexpr std::int32_t kMostWrappedChildren = 16;
// The children of an unnamed control that may lend it their text.
constexpr std::int32_t kMostLendingChildren = 3;
// Gecko gave a page's frame 0.1-0.25 s after the first question.
constexpr auto kPageWait = std::chrono::milliseconds(500);
constexpr auto kPagePoll = std::chrono::milliseconds(20);
// Gecko showed a window's content again 0.1-0.35 s after the window was uncovered.
constexpr auto kUncoverWait = std::chrono::milliseconds(1000);
constexpr auto kUncoverPoll = std::chrono::milliseconds(40);

bool isLabelWithChildren(const Node& n) {
    return n.is(ATSPI_ROLE_LABEL) && n.props.done() && n.childCount() > 0 &&
           n.childCount() <= kMostWrappedChildren;
}

}  // namespace

void NodeCache::followUps(Node& n) {
    if (n.propsLater && n.props.unread() && n.role.settled() && !n.is(ATSPI_ROLE_STATIC)) {
        requestProps(n, false);
    }
    readChildFrames(n);
    readChildBases(n);
    if (n.followUpsIssued || !n.baseSettled() || !n.hasRole()) {
        return;
    }
    n.followUpsIssued = true;
    const std::uint32_t role = n.role.value;
    if (isLabelWithChildren(n)) {
        n.childBasesWanted = true;
        requestChildren(n);
    }
    if (roleNeedsAttributes(role)) {
        requestAttributes(n);
    }
    if (roleNeedsParent(role) && n.parentKey.empty() && n.props.done() && n.props.value.parent &&
        n.props.value.parent->bus == n.bus && n.props.value.parent->path != kNullPath) {
        // Reached without its parent (asked again at a press): what it is depends on where it
        // lies.
        Node& parent = node(n.bus, n.props.value.parent->path);
        n.parentKey = parent.key();
        requestBase(parent);
    }
    const std::string axrole = axRole(n).role;
    // Actions are read ahead only where the walk will ask: web content off screen is never a
    // candidate.
    const bool offScreen = n.inDocument && apps_.knownToolkit(n.bus).isBrowser &&
                           !n.states.value.has(ATSPI_STATE_SHOWING);
    if (CandidateRoles::pressableContainers().contains(axrole) && mayAct(n) && !offScreen) {
        requestActions(n);
    }
    // Only editable combo boxes carry text; GTK logs criticals when others are asked.
    const bool hasText =
        isTextInputRole(role) && (role != static_cast<std::uint32_t>(ATSPI_ROLE_COMBO_BOX) ||
                                  n.states.value.has(ATSPI_STATE_EDITABLE));
    if (hasText) {
        requestCharacterCount(n);
    }
    if (isRangeRole(role)) {
        requestRangeProperty(n, &Node::minimum, "MinimumValue");
        requestRangeProperty(n, &Node::maximum, "MaximumValue");
        requestRangeProperty(n, &Node::current, "CurrentValue");
    }
    const bool named = namedByApp(n);
    if (isStaticTextRole(role) && !named && !n.props.unread()) {
        requestText(n);
    }
    const bool leaf = axrole == "AXStaticText" || axrole == "AXImage";
    const bool stops = CandidateRoles::interactive().contains(axrole) && axrole != "AXLink" &&
                       axrole != "AXComboBox";
    const std::int32_t count = n.childCount();
    const auto limit = static_cast<std::int32_t>(requests_.options().prefetchChildLimit);
    if (blankPage(n)) {
        // Its content is read once it has come in: until then it would read as blank.
    } else if (isPage(n) && count > 0 && count <= std::max(limit, 1024)) {
        // Which of its children lie on screen decides what the page shows.
        n.childFramesWanted = true;
        requestChildren(n);
    } else if (!leaf && !stops && count > 0 && !offScreen && !shownNowhere(n) && count <= limit) {
        // Web content with many children lists only those on screen: their frames are asked
        // with the list.
        n.childFramesWanted = !n.documentKey.empty() && count > 64;
        // Native trees are deep and narrow: each level is read ahead as soon as it is known,
        // not when the walk comes to it, as far as the reading's budget goes.
        const bool native = !apps_.knownToolkit(n.bus).isBrowser;
        n.readAhead = native && budgetAllowsMore();
        if (!native || n.readAhead) {
            requestChildren(n);
        }
    } else if (stops && !named && count > 0 && count <= kMostLendingChildren &&
               !apps_.knownToolkit(n.bus).isBrowser) {
        // A control without a name borrows the text of one of its first children.
        n.childBasesWanted = true;
        requestChildren(n);
    }
    readChildBases(n);  // children the walk read earlier are in already
}

bool NodeCache::mayAct(const Node& n) const {
    if (n.is(ATSPI_ROLE_STATIC) && apps_.knownToolkit(n.bus).textActsThroughAncestor) {
        return false;
    }
    // A part of a native cell drawn in parts (a file's icon and name) offers the cell's own
    // actions: the cell is the control, pressed once.
    return !(n.is(ATSPI_ROLE_TABLE_CELL) && parentRole(n) == ATSPI_ROLE_TABLE_CELL &&
             !apps_.knownToolkit(n.bus).isBrowser);
}

bool NodeCache::presentsScrollArea(const Node& n) const {
    return isPage(n) && apps_.knownToolkit(n.bus).documentOutsideScrollPane;
}

bool NodeCache::isPage(const Node& n) const {
    return n.hasRole() && isWebDocumentRole(n.role.value) && !n.inDocument &&
           apps_.knownToolkit(n.bus).isBrowser;
}

bool NodeCache::blankPage(const Node& n) const {
    return isPage(n) && n.extents.done() && !isLaidOut(n.extents.value) &&
           apps_.knownToolkit(n.bus).pagesComeLate && !apps_.pagesArrived(n.bus);
}

void NodeCache::awaitPage(Node& page) {
    if (!blankPage(page)) {
        return;
    }
    apps_.notePagesArrived(page.bus);
    const auto until = Clock::now() + kPageWait;
    while (Clock::now() < until) {
        std::this_thread::sleep_for(kPagePoll);
        auto answer = requests_.call(extentsCall(page), requests_.timeoutFor(page.bus));
        auto values = answer.ok() ? reply::i32Struct(answer.message.get()) : std::nullopt;
        if (!answer.ok() ||
            (values && values->size() == 4 &&
             isLaidOut(Rect((*values)[0], (*values)[1], (*values)[2], (*values)[3])))) {
            break;
        }
    }
    // Whatever it gave before then was a stand-in.
    page.states = {};
    page.props = {};
    page.extents = {};
    page.mapped.reset();
    page.followUpsIssued = false;
    settle(page, [](Node& n) { return n.baseSettled(); });
}

void NodeCache::awaitUncovered(Node& n) {
    if (!apps_.knownToolkit(n.bus).hidesContentWhenCovered || !n.states.done() ||
        isShowing(n.states.value)) {
        return;
    }
    Node* window = find(n.parentKey);
    if (window == nullptr || !isTopLevel(*window) || !window->states.done() ||
        !isShowing(window->states.value) || !window->children.done() ||
        window->uncoverAwaited == ahead_.reading()) {
        return;
    }
    window->uncoverAwaited = ahead_.reading();
    std::vector<std::string> keys;
    for (const auto& child : liveChildren(*window)) {
        keys.push_back(child.bus + child.path);
    }
    const std::string bus = n.bus;
    const auto noneShows = [&] {
        for (const auto& key : keys) {
            if (Node* child = find(key)) {
                requestBase(*child, true);
            }
        }
        requests_.waitUntil(
            [&] {
                return std::all_of(keys.begin(), keys.end(), [&](const std::string& key) {
                    const Node* child = find(key);
                    return child == nullptr || child->states.settled();
                });
            },
            requests_.waitBudget(bus));
        return std::none_of(keys.begin(), keys.end(), [&](const std::string& key) {
            const Node* child = find(key);
            return child != nullptr && child->states.done() && isShowing(child->states.value);
        });
    };
    if (keys.empty() || !noneShows()) {
        return;
    }
    const auto until = Clock::now() + kUncoverWait;
    while (Clock::now() < until) {
        std::this_thread::sleep_for(kUncoverPoll);
        for (const auto& key : keys) {
            if (Node* child = find(key)) {
                child->states = {};
                child->mapped.reset();
                child->followUpsIssued = false;
            }
        }
        if (!noneShows()) {
            return;
        }
    }
}

bool NodeCache::followUpsSettled(const Node& n) const {
    auto ok = [](const auto& part) { return part.unread() || part.settled(); };
    const Node* parent =
        n.hasRole() && roleNeedsParent(n.role.value) ? findKnown(n.parentKey) : nullptr;
    return n.followUpsIssued && ok(n.attributes) && ok(n.interfaces) && ok(n.actions) &&
           ok(n.characterCount) && ok(n.minimum) && ok(n.maximum) && ok(n.current) && ok(n.text) &&
           ok(n.labelFor) && wrapSettled(n) && lenderSettled(n) &&
           (parent == nullptr || ok(parent->role));
}

void NodeCache::settle(Node& n, const std::function<bool(Node&)>& ready, bool withProps) {
    requestBase(n, true, withProps);
    // Waited for now: its name goes ahead of the reads queued for later nodes.
    if (n.propsLater && n.props.unread() && n.role.settled() && !n.is(ATSPI_ROLE_STATIC)) {
        requestProps(n, true);
    }
    followUps(n);
    const std::string key = n.key();
    requests_.waitUntil(
        [&] {
            Node* target = find(key);
            return target == nullptr || ready(*target);
        },
        requests_.waitBudget(n.bus));
}

void NodeCache::adopt(const Node& parent, Node& child) {
    if (child.parentKey.empty()) {
        child.parentKey = parent.key();
    }
    child.windowKey = topLevelKey(parent);
    child.documentKey = isPage(parent) ? parent.key() : parent.documentKey;
    child.inDocument =
        parent.inDocument || (parent.hasRole() && isWebDocumentRole(parent.role.value));
}

std::string NodeCache::topLevelKey(const Node& n) const {
    return isTopLevel(n) ? n.key() : n.windowKey;
}

std::string NodeCache::foundTopLevelKey(Node& n) {
    static constexpr int kMostLevels = 32;
    if (std::string known = topLevelKey(n); !known.empty()) {
        return known;
    }
    // Read again since its reading (the app told of changes): its window is found upwards.
    const std::string key = n.key();
    std::string current = key;
    for (int level = 0; level < kMostLevels; ++level) {
        Node* at = find(current);
        if (at == nullptr) {
            return {};
        }
        settle(*at, [](Node& t) { return t.props.settled(); });
        at = find(current);
        if (at == nullptr || !at->props.done() || !at->props.value.parent ||
            at->props.value.parent->bus != at->bus || at->props.value.parent->path == kNullPath) {
            return {};
        }
        if (isRootPath(at->props.value.parent->path)) {
            if (Node* self = find(key)) {
                self->windowKey = current;
            }
            return current;
        }
        current = node(at->bus, at->props.value.parent->path).key();
    }
    return {};
}

std::vector<reply::ObjectRef> NodeCache::liveChildren(const Node& n) {
    std::vector<reply::ObjectRef> result;
    for (const auto& child : n.children.value) {
        if (!child.bus.empty() && child.path != kNullPath) {
            result.push_back(child);
        }
    }
    return result;
}

std::vector<Node*> NodeCache::topLevels(Node& app) {
    apps_.toolkit(app.bus);  // before anything else is asked of the app
    requestChildren(app, true);
    const std::string key = app.key();
    requests_.waitUntil([&] { return app.children.settled(); }, requests_.waitBudget(app.bus));
    std::vector<Node*> windows;
    if (!app.children.done()) {
        return windows;
    }
    for (const auto& child : liveChildren(app)) {
        Node& window = node(child.bus, child.path);
        window.parentKey = key;
        requestBase(window, true);
        windows.push_back(&window);
    }
    requests_.waitUntil(
        [&] {
            return std::all_of(windows.begin(), windows.end(),
                               [](Node* w) { return w->baseSettled(); });
        },
        requests_.waitBudget(app.bus));
    return windows;
}

bool NodeCache::wrapSettled(const Node& n) const {
    if (!isLabelWithChildren(n)) {
        return true;
    }
    if (!n.children.settled() || n.childBasesWanted) {
        return false;
    }
    const auto kids = liveChildren(n);
    return std::all_of(kids.begin(), kids.end(), [&](const reply::ObjectRef& child) {
        const Node* c = findKnown(child.bus + child.path);
        return c != nullptr && c->role.settled();
    });
}

bool NodeCache::wrapsControl(const Node& n) const {
    if (!isLabelWithChildren(n) || !n.children.done()) {
        return false;
    }
    const auto kids = liveChildren(n);
    return std::any_of(kids.begin(), kids.end(), [&](const reply::ObjectRef& child) {
        const Node* c = findKnown(child.bus + child.path);
        return c != nullptr && c->hasRole() && isControlRole(c->role.value);
    });
}

bool NodeCache::namedByApp(const Node& n) const {
    if (!n.props.done() || !n.props.value.name || n.props.value.name->empty()) {
        return false;
    }
    const bool label = n.hasRole() && isStaticTextRole(n.role.value);
    return !(apps_.knownToolkit(n.bus).typeNamesAsNames && isTypeName(*n.props.value.name, label));
}

bool NodeCache::lenderSettled(const Node& n) const {
    // Only buttons of a toolkit that gives stand-in names borrow a button's label.
    if (!n.hasRole() || !apps_.knownToolkit(n.bus).typeNamesAsNames || namedByApp(n) ||
        !(n.is(ATSPI_ROLE_PUSH_BUTTON) || n.is(ATSPI_ROLE_TOGGLE_BUTTON) ||
          n.is(ATSPI_ROLE_PUSH_BUTTON_MENU)) ||
        n.childCount() <= 0 || n.childCount() > kMostLendingChildren) {
        return true;
    }
    if (!n.children.settled() || n.childBasesWanted) {
        return false;
    }
    const auto kids = liveChildren(n);
    return std::all_of(kids.begin(), kids.end(), [&](const reply::ObjectRef& child) {
        const Node* c = findKnown(child.bus + child.path);
        return c != nullptr && c->role.settled() && c->props.settled();
    });
}

Node* NodeCache::labellingButton(const Node& n) {
    if (!n.hasRole() || !n.children.done() || !apps_.knownToolkit(n.bus).typeNamesAsNames) {
        return nullptr;
    }
    std::vector<Node*> kids;
    std::vector<std::uint32_t> roles;
    std::array<bool, kMostButtonParts> named{};
    for (const auto& child : liveChildren(n)) {
        Node* c = find(child.bus + child.path);
        if (c == nullptr || kids.size() >= kMostButtonParts) {
            return nullptr;
        }
        named[kids.size()] = namedByApp(*c);
        kids.push_back(c);
        roles.push_back(c->hasRole() ? c->role.value : 0);
    }
    const auto found =
        labellingChild(n.role.value, roles, std::span<const bool>(named.data(), kids.size()));
    return found ? kids[*found] : nullptr;
}

Node* NodeCache::wrappingLabel(const Node& n) {
    Node* parent = find(n.parentKey);
    return parent != nullptr && wrapsControl(*parent) ? parent : nullptr;
}

std::vector<std::pair<Node*, reply::ObjectRef>> NodeCache::selectedPages(Node& group) {
    std::vector<Node*> tabs;
    for (const auto& child : liveChildren(group)) {
        Node& tab = node(child.bus, child.path);
        adopt(group, tab);
        requestBase(tab, true);
        tabs.push_back(&tab);
    }
    auto selected = [](const Node* tab) {
        return tab->is(ATSPI_ROLE_PAGE_TAB) && tab->states.done() &&
               tab->states.value.has(ATSPI_STATE_SELECTED);
    };
    requests_.waitUntil(
        [&] {
            return std::all_of(tabs.begin(), tabs.end(), [](const Node* tab) {
                return tab->role.settled() && tab->states.settled();
            });
        },
        requests_.waitBudget(group.bus));
    std::erase_if(tabs, [&](const Node* tab) { return !selected(tab); });
    for (Node* tab : tabs) {
        requestChildren(*tab, true);
    }
    requests_.waitUntil(
        [&] {
            return std::all_of(tabs.begin(), tabs.end(),
                               [](const Node* tab) { return tab->children.settled(); });
        },
        requests_.waitBudget(group.bus));
    std::vector<std::pair<Node*, reply::ObjectRef>> pages;
    for (Node* tab : tabs) {
        for (const auto& page : liveChildren(*tab)) {
            pages.emplace_back(tab, page);
        }
    }
    return pages;
}

}  // namespace ovra::atspi::session
