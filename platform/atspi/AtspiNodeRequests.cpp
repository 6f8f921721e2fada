// The reads of one element: the requests for its parts, each sent once and kept in its node, and
// the fallbacks for toolkits that answer only some ways of asking.

#include <algorithm>
#include <cmath>
#include <thread>

#include "core/Text.h"
#include "platform/atspi/AtspiNodeCache_p.h"

namespace ovra::atspi::session {

namespace {

// A child list is kept this much longer than the count its node gave (one that grew between the
// two answers); one of a node whose count is unknown is kept this long at most, more than any
// reading reads of one list.
constexpr std::size_t kListGrowth = 64;
constexpr std::size_t kMostListed = 8192;
// The actions of one element whose names are asked, at most: the count is the app's.
constexpr std::size_t kMostActions = 16;

// A name or description is cut where it comes in: a page can give megabytes of either.
reply::AccessibleProps boundedProps(reply::AccessibleProps props) {
    for (std::optional<std::string>* text : {&props.name, &props.description}) {
        if (*text) {
            **text = text::boundedUtf8(**text);
        }
    }
    return props;
}

}  // namespace

Node& NodeCache::node(const std::string& busName, const std::string& path) {
    std::string key = busName + path;
    auto it = nodes_.find(key);
    if (it == nodes_.end()) {
        auto fresh = std::make_unique<Node>();
        fresh->bus = busName;
        fresh->path = path;
        it = nodes_.emplace(std::move(key), std::move(fresh)).first;
    }
    return *it->second;
}

Node* NodeCache::find(const std::string& key) {
    auto it = nodes_.find(key);
    return it == nodes_.end() ? nullptr : it->second.get();
}

const Node* NodeCache::findKnown(const std::string& key) const {
    auto it = nodes_.find(key);
    return it == nodes_.end() ? nullptr : it->second.get();
}

std::vector<const Node*> NodeCache::nodesOf(const std::string& busName) const {
    std::vector<const Node*> found;
    for (const auto& [key, n] : nodes_) {
        if (n->bus == busName) {
            found.push_back(n.get());
        }
    }
    return found;
}

template <class T, class Parse>
void NodeCache::request(Node& n, Cached<T> Node::*part, Message call, Parse parse, bool urgent) {
    if (!(n.*part).unread()) {
        return;
    }
    (n.*part).markPending();
    const std::string key = n.key();
    requests_.enqueue(
        n.bus, std::move(call),
        [this, key, part, parse](Reply reply) {
            Node* target = find(key);
            if (target == nullptr) {
                return;
            }
            if (!reply.ok()) {
                (target->*part).failWith(errorFor(reply));
            } else if (auto value = parse(reply.message.get())) {
                (target->*part).set(std::move(*value));
            } else {
                (target->*part).failWith(AXError::wrongType);
            }
            followUps(*target);
        },
        urgent);
}

void NodeCache::requestBase(Node& n, bool urgent, bool withProps) {
    ahead_.count(n.reading);
    const bool propsLater = n.props.unread() && (!urgent || !withProps) &&
                            apps_.knownToolkit(n.bus).textActsThroughAncestor;
    if (propsLater) {
        n.propsLater = true;
    }
    // The hot path of a warm reading: nothing to ask, and no message built for nothing.
    if (!n.role.unread() && !n.states.unread() && !n.extents.unread() &&
        (!n.props.unread() || propsLater)) {
        return;
    }
    request(n, &Node::role, methodCall(n.bus, n.path, kAccessible, "GetRole"), reply::u32, urgent);
    request(
        n, &Node::states, methodCall(n.bus, n.path, kAccessible, "GetState"),
        [](DBusMessage* m) -> std::optional<StateSet> {
            auto words = reply::u32Array(m);
            if (!words || words->empty()) {
                return std::nullopt;
            }
            return StateSet::fromWords((*words)[0], words->size() > 1 ? (*words)[1] : 0);
        },
        urgent);
    if (!propsLater) {
        requestProps(n, urgent);
    }
    requestExtents(n, urgent);
}

void NodeCache::requestExtents(Node& n, bool urgent) {
    if (isRootPath(n.path)) {
        // Application objects have no extents.
        n.extents.failWith(AXError::unsupportedAttribute);
        return;
    }
    request(
        n, &Node::extents, extentsCall(n),
        [](DBusMessage* m) -> std::optional<Rect> {
            auto values = reply::i32Struct(m);
            if (!values || values->size() != 4) {
                return std::nullopt;
            }
            return Rect{static_cast<double>((*values)[0]), static_cast<double>((*values)[1]),
                        static_cast<double>((*values)[2]), static_cast<double>((*values)[3])};
        },
        urgent);
}

bool NodeCache::shownNowhere(const Node& n) const {
    // Browsers lay out what is inside an empty element wherever the page says.
    return !apps_.knownToolkit(n.bus).isBrowser && n.states.done() && !isShowing(n.states.value) &&
           n.extents.done() && !isLaidOut(n.extents.value) && !isTopLevel(n);
}

Message NodeCache::extentsCall(const Node& n) const {
    auto call = methodCall(n.bus, n.path, kComponent, "GetExtents");
    // Root-window space; GTK 4 has only window-relative frames and complains for every
    // screen frame asked of it, so it is asked for what it gives anyway.
    dbus_uint32_t type = apps_.knownToolkit(n.bus).windowRelativeExtents ? ATSPI_COORD_TYPE_WINDOW
                                                                         : ATSPI_COORD_TYPE_SCREEN;
    if (call) {
        dbus_message_append_args(call.get(), DBUS_TYPE_UINT32, &type, DBUS_TYPE_INVALID);
    }
    return call;
}

void NodeCache::requestProps(Node& n, bool urgent) {
    if (!n.props.unread()) {
        return;
    }
    n.props.markPending();
    if (!apps_.knownToolkit(n.bus).answersGetAll) {
        requestPropsOneByOne(n, urgent);
        return;
    }
    auto call = methodCall(n.bus, n.path, kProperties, "GetAll");
    const char* interface = kAccessible;
    if (call) {
        dbus_message_append_args(call.get(), DBUS_TYPE_STRING, &interface, DBUS_TYPE_INVALID);
    }
    const std::string key = n.key();
    requests_.enqueue(
        n.bus, std::move(call),
        [this, key, urgent](Reply reply) {
            Node* target = find(key);
            if (target == nullptr) {
                return;
            }
            if (reply.ok()) {
                if (auto props = reply::accessibleProps(reply.message.get())) {
                    target->props.set(boundedProps(std::move(*props)));
                } else {
                    target->props.failWith(AXError::wrongType);
                }
            } else if (errorFor(reply) == AXError::unsupportedAttribute) {
                requestPropsOneByOne(*target, urgent);
                return;
            } else {
                target->props.failWith(errorFor(reply));
            }
            followUps(*target);
        },
        urgent);
}

void NodeCache::requestPropsOneByOne(Node& n, bool urgent) {
    struct Collected {
        reply::AccessibleProps props;
        int missing = 4;
        bool answered = false;
        AXError error = AXError::cannotComplete;
    };
    auto collected = std::make_shared<Collected>();
    const std::string key = n.key();
    for (const char* property : {"Name", "Description", "ChildCount", "Parent"}) {
        requests_.enqueue(
            n.bus, propertyGet(n.bus, n.path, kAccessible, property),
            [this, key, collected, property](Reply reply) {
                const std::string_view name = property;
                if (reply.ok()) {
                    collected->answered = true;
                    DBusMessage* m = reply.message.get();
                    if (name == "Name") {
                        collected->props.name = reply::variantString(m);
                    } else if (name == "Description") {
                        collected->props.description = reply::variantString(m);
                    } else if (name == "ChildCount") {
                        collected->props.childCount = reply::count(reply::variantNumber(m));
                    } else {
                        collected->props.parent = reply::objectRef(m);
                    }
                } else {
                    collected->error = errorFor(reply);
                }
                if (--collected->missing > 0) {
                    return;
                }
                if (Node* target = find(key)) {
                    if (collected->answered) {
                        target->props.set(boundedProps(std::move(collected->props)));
                    } else {
                        target->props.failWith(collected->error);
                    }
                    followUps(*target);
                }
            },
            urgent);
    }
}

void NodeCache::requestAttributes(Node& n, bool urgent) {
    if (!n.attributes.unread()) {
        return;
    }
    request(
        n, &Node::attributes, methodCall(n.bus, n.path, kAccessible, "GetAttributes"),
        [](DBusMessage* m) -> std::optional<ObjectAttributes> {
            auto entries = reply::stringMap(m);
            if (!entries) {
                return std::nullopt;
            }
            ObjectAttributes map;
            for (auto& [key, value] : *entries) {
                map.emplace(std::move(key), std::move(value));
            }
            return map;
        },
        urgent);
}

void NodeCache::requestActions(Node& n, bool urgent) {
    if (!n.actions.unread()) {
        return;
    }
    if (apps_.knownToolkit(n.bus).ownActionFirst) {
        requestOwnAction(n, urgent);
        return;
    }
    // Asking an object without the Action interface for actions makes GTK log criticals.
    if (n.interfaces.unread()) {
        n.interfaces.markPending();
        const std::string key = n.key();
        requests_.enqueue(
            n.bus, methodCall(n.bus, n.path, kAccessible, "GetInterfaces"),
            [this, key, urgent](Reply reply) {
                Node* target = find(key);
                if (target == nullptr) {
                    return;
                }
                auto names = reply.ok() ? reply::stringArray(reply.message.get()) : std::nullopt;
                if (names) {
                    target->interfaces.set(std::move(*names));
                } else {
                    target->interfaces.failWith(reply.ok() ? AXError::wrongType : errorFor(reply));
                }
                requestActions(*target, urgent);
            },
            urgent);
        return;
    }
    if (n.interfaces.pending()) {
        return;
    }
    if (n.interfaces.failed()) {
        n.actions.failWith(n.interfaces.error);
        return;
    }
    if (std::find(n.interfaces.value.begin(), n.interfaces.value.end(), kAction) ==
        n.interfaces.value.end()) {
        n.actions.set({});
        return;
    }
    n.actions.markPending();
    const std::string key = n.key();
    requests_.enqueue(
        n.bus, methodCall(n.bus, n.path, kAction, "GetActions"),
        [this, key, urgent](Reply reply) {
            Node* target = find(key);
            if (target == nullptr) {
                return;
            }
            if (!reply.ok()) {
                target->actions.failWith(errorFor(reply));
                return;
            }
            auto names = reply::actionNames(reply.message.get());
            if (!names) {
                target->actions.failWith(AXError::wrongType);
                return;
            }
            // GetActions gives names in the user's language, which Chromium leaves empty and
            // Gecko fills with ";;": the count comes from it, each action's own name from
            // GetName.
            if (names->empty()) {
                target->actions.set({});
                return;
            }
            requestActionNames(*target, std::min(names->size(), kMostActions), urgent);
            if (target->is(ATSPI_ROLE_LABEL)) {
                requestLabelFor(*target, urgent);  // whether the press belongs to another
            }
        },
        urgent);
}

void NodeCache::requestOwnAction(Node& n, bool urgent) {
    auto call = methodCall(n.bus, n.path, kAction, "GetName");
    dbus_int32_t first = 0;
    if (call) {
        dbus_message_append_args(call.get(), DBUS_TYPE_INT32, &first, DBUS_TYPE_INVALID);
    }
    request(
        n, &Node::actions, std::move(call),
        [](DBusMessage* m) -> std::optional<std::vector<std::string>> {
            auto name = reply::string(m);
            if (!name) {
                return std::nullopt;
            }
            return name->empty() ? std::vector<std::string>{} : std::vector{std::move(*name)};
        },
        urgent);  // an element without the Action interface fails as unsupported: no actions
}

void NodeCache::requestActionNames(Node& n, std::size_t count, bool urgent) {
    struct Collected {
        std::vector<std::string> names;
        std::size_t missing = 0;
        std::optional<AXError> error;
    };
    auto collected = std::make_shared<Collected>();
    collected->names.resize(count);
    collected->missing = count;
    const std::string key = n.key();
    for (std::size_t i = 0; i < count; ++i) {
        auto call = methodCall(n.bus, n.path, kAction, "GetName");
        auto index = static_cast<dbus_int32_t>(i);
        if (call) {
            dbus_message_append_args(call.get(), DBUS_TYPE_INT32, &index, DBUS_TYPE_INVALID);
        }
        requests_.enqueue(
            n.bus, std::move(call),
            [this, key, collected, i](Reply reply) {
                if (auto name = reply.ok() ? reply::string(reply.message.get()) : std::nullopt) {
                    collected->names[i] = std::move(*name);
                } else if (!collected->error) {
                    collected->error = reply.ok() ? AXError::wrongType : errorFor(reply);
                }
                if (--collected->missing > 0) {
                    return;
                }
                if (Node* target = find(key)) {
                    if (collected->error) {
                        target->actions.failWith(*collected->error);
                    } else {
                        target->actions.set(std::move(collected->names));
                    }
                }
            },
            urgent);
    }
}

std::optional<std::vector<std::string>> NodeCache::freshActions(const std::string& busName,
                                                                const std::string& path,
                                                                AXError& error) {
    Node* live = actionsOf(busName, path, true);
    if (live == nullptr || !live->actions.settled()) {
        error = AXError::timeout;
        return std::nullopt;
    }
    if (live->actions.failed()) {
        error = live->actions.error;
        return std::nullopt;
    }
    return live->actions.value;
}

Node* NodeCache::actionsOf(const std::string& busName, const std::string& path, bool fresh) {
    const std::string key = busName + path;
    for (int ask = 0;; ++ask) {
        if (fresh || ask > 0) {
            forgetActions(key);
        }
        requestActions(node(busName, path), true);
        requests_.waitUntil(
            [&] {
                Node* t = find(key);
                return t == nullptr || t->actions.settled();
            },
            requests_.waitBudget(busName));
        Node* live = find(key);
        if (live == nullptr || !live->actions.done()) {
            return live;
        }
        const bool offersSome =
            std::find(live->interfaces.value.begin(), live->interfaces.value.end(), kAction) !=
            live->interfaces.value.end();
        if (!live->actions.value.empty() || !offersSome || ask > 0 ||
            !apps_.knownToolkit(busName).actionsComeLate || apps_.actionsArrived(busName)) {
            apps_.noteActionsArrived(busName);
            return live;
        }
        // The first time for this app: its actions are on their way.
        apps_.noteActionsArrived(busName);
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
    }
}

void NodeCache::forgetActions(const std::string& key) {
    if (Node* n = find(key)) {
        n->interfaces = {};
        n->actions = {};
    }
}

void NodeCache::requestText(Node& n, bool urgent, std::int32_t characters) {
    if (!n.text.unread()) {
        return;
    }
    auto call = methodCall(n.bus, n.path, kText, "GetText");
    // No more than is kept: the text of a whole document is not asked for.
    dbus_int32_t start = 0;
    auto end = static_cast<dbus_int32_t>(text::kMaxForeignTextBytes);
    if (characters >= 0 && characters < end) {
        end = characters;
    }
    if (call) {
        dbus_message_append_args(call.get(), DBUS_TYPE_INT32, &start, DBUS_TYPE_INT32, &end,
                                 DBUS_TYPE_INVALID);
    }
    request(
        n, &Node::text, std::move(call),
        [](DBusMessage* m) {
            auto text = reply::string(m);
            if (text && text->size() > text::kMaxForeignTextBytes) {
                *text = text::boundedUtf8(*text);
            }
            return text;
        },
        urgent);
}

void NodeCache::requestCountedText(Node& n) {
    if (n.characterCount.unread()) {
        requestCharacterCount(n);
        const std::string key = n.key();
        requests_.waitUntil(
            [&] {
                Node* t = find(key);
                return t == nullptr || t->characterCount.settled();
            },
            requests_.waitBudget(n.bus));
    }
    Node* live = find(n.key());
    if (live == nullptr) {
        return;
    }
    if (live->characterCount.failed()) {
        live->text.failWith(live->characterCount.error);
    } else if (live->characterCount.done()) {
        requestText(*live, true, live->characterCount.value);
    }
}

void NodeCache::requestRangeProperty(Node& n, Cached<double> Node::*part, const char* property) {
    request(n, part, propertyGet(n.bus, n.path, kValue, property), reply::variantNumber);
}

void NodeCache::requestCharacterCount(Node& n) {
    request(n, &Node::characterCount, propertyGet(n.bus, n.path, kText, "CharacterCount"),
            [](DBusMessage* m) { return reply::count(reply::variantNumber(m)); });
}

void NodeCache::requestLabelFor(Node& n, bool urgent) {
    request(
        n, &Node::labelFor, methodCall(n.bus, n.path, kAccessible, "GetRelationSet"),
        [](DBusMessage* m) { return reply::relationTargets(m, ATSPI_RELATION_LABEL_FOR); }, urgent);
}

bool NodeCache::labelsElsewhere(Node& n) {
    if (!n.is(ATSPI_ROLE_LABEL)) {
        return false;
    }
    requestLabelFor(n, true);
    const std::string key = n.key();
    requests_.waitUntil(
        [&] {
            Node* t = find(key);
            return t == nullptr || t->labelFor.settled();
        },
        requests_.waitBudget(n.bus));
    const Node* live = find(key);
    if (live == nullptr || !live->labelFor.done()) {
        return false;
    }
    return std::any_of(live->labelFor.value.begin(), live->labelFor.value.end(),
                       [&](const reply::ObjectRef& target) {
                           return target.bus + target.path != key && target.path != kNullPath;
                       });
}

bool NodeCache::listable(const Node& n) {
    // The list's answer grows with the node's full size, which only its count tells: a table
    // that makes its cells as they are asked for (a spreadsheet's two billion) would be busy
    // listing them for minutes. Those are read by what lies on screen.
    const auto count = n.props.done() ? n.props.value.childCount : std::nullopt;
    if (count) {
        return static_cast<std::size_t>(*count) <= kMostListed;
    }
    return !(n.states.done() && n.states.value.has(ATSPI_STATE_MANAGES_DESCENDANTS));
}

void NodeCache::requestChildren(Node& n, bool urgent) {
    if (!n.children.unread()) {
        return;
    }
    if (!listable(n)) {
        n.children.failWith(AXError::cannotComplete);
        return;
    }
    // The list is kept only as long as the count the node gave, and a little more for a list
    // that grew meanwhile: a list far longer than its count is never taken in whole.
    const std::size_t most = n.props.done() && n.props.value.childCount
                                 ? static_cast<std::size_t>(*n.props.value.childCount) + kListGrowth
                                 : kMostListed;
    request(
        n, &Node::children, methodCall(n.bus, n.path, kAccessible, "GetChildren"),
        [most](DBusMessage* m) { return reply::objectRefs(m, most); }, urgent);
}

void NodeCache::newReading() {
    ahead_.newReading();
}

void NodeCache::readAhead() {
    while (requests_.roomToReadAhead()) {
        const auto key = ahead_.next();
        if (!key) {
            return;
        }
        Node* n = find(*key);
        if (n != nullptr && n->role.unread()) {
            requestBase(*n);
        }
    }
}

namespace {

// Calls `each` for the first children of a node, as many as its count says, skipping those
// that lie nowhere; stops early when `each` says so.
template <class Each>
void forDeclaredChildren(const Node& n, Each each) {
    auto left = static_cast<std::size_t>(std::max(0, n.childCount()));
    for (const auto& child : n.children.value) {
        if (left == 0) {
            return;
        }
        --left;
        if (!child.bus.empty() && child.path != kNullPath && !each(child)) {
            return;
        }
    }
}

}  // namespace

void NodeCache::readChildBases(Node& n) {
    if (!(n.childBasesWanted || n.readAhead) || !n.children.settled()) {
        return;
    }
    const bool wanted = n.childBasesWanted;
    n.childBasesWanted = false;
    n.readAhead = false;
    forDeclaredChildren(n, [&](const reply::ObjectRef& child) {
        if (!wanted && !budgetAllowsMore()) {
            return false;
        }
        Node& c = node(child.bus, child.path);
        adopt(n, c);
        if (wanted) {
            requestBase(c);  // what a label holds decides what the label is
        } else if (c.role.unread()) {
            ahead_.wait(c.key());
        }
        return true;
    });
}

void NodeCache::readChildFrames(Node& n) {
    if (!n.childFramesWanted || !n.children.settled()) {
        return;
    }
    n.childFramesWanted = false;
    forDeclaredChildren(n, [&](const reply::ObjectRef& child) {
        Node& c = node(child.bus, child.path);
        adopt(n, c);
        requestExtents(c);
        return true;
    });
}

void NodeCache::resetPending() {
    for (auto& [key, n] : nodes_) {
        bool base = false;
        base |= n->role.unpend();
        base |= n->states.unpend();
        base |= n->props.unpend();
        base |= n->extents.unpend();
        base |= n->children.unpend();
        bool followUp = false;
        followUp |= n->attributes.unpend();
        followUp |= n->interfaces.unpend();
        followUp |= n->actions.unpend();
        followUp |= n->characterCount.unpend();
        followUp |= n->minimum.unpend();
        followUp |= n->maximum.unpend();
        followUp |= n->current.unpend();
        followUp |= n->text.unpend();
        followUp |= n->labelFor.unpend();
        if (followUp || !n->baseSettled()) {
            n->followUpsIssued = false;
        }
        // Its role may have been mapped without what is now read again.
        if (base || followUp) {
            n->mapped.reset();
        }
    }
}

void NodeCache::makeStale(const std::string& busName,
                          const std::unordered_map<std::string, StaleParts>& objects) {
    for (const auto& [path, parts] : objects) {
        if (Node* n = find(busName + path)) {
            // Read again with what depends on them: the role they map to, the follow-up reads.
            if (parts.states) {
                n->states = {};
                n->mapped.reset();
            }
            if (parts.names) {
                n->props = {};
                n->text = {};
            }
            n->followUpsIssued = false;
        }
    }
}

bool NodeCache::forgetAllBut(const std::function<bool(const std::string&)>& keep) {
    return std::erase_if(nodes_, [&](const auto& entry) { return !keep(entry.second->bus); }) > 0;
}

bool NodeCache::forgetApp(const std::string& busName) {
    const auto forgotten =
        std::erase_if(nodes_, [&](const auto& entry) { return entry.second->bus == busName; });
    resetPending();
    newReading();
    return forgotten > 0;
}

}  // namespace ovra::atspi::session
