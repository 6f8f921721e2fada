// The accessibility bus connection, the pipelined requests and the cache of one backend.

#include "platform/atspi/AtspiSession.h"

#include <algorithm>
#include <cmath>
#include <thread>

namespace ovra::atspi::session {

namespace {

// The objects of one app whose states are kept stale at most; past that the app is read afresh.
constexpr std::size_t kMostStaleStates = 1024;
// How long page content found where it was stays trusted: content that moves this soon after
// a check could as well have moved during the reading that follows it, which no check sees.
constexpr auto kContentCheckLasts = std::chrono::milliseconds(200);

}  // namespace

AtspiSession::~AtspiSession() {
    // Close the connections first: their pending handlers must not touch what follows.
    closing = true;
    bus.reset();
    session.reset();
}

std::optional<std::string> AtspiSession::connect() {
    if (bus && bus->connected()) {
        return std::nullopt;
    }
    // A new connection: whatever was learnt of bus names on the old one may now be another
    // app's. Replies still due on the old connection are dropped with it.
    ++epoch;
    queue.clear();
    bus.reset();
    nodes.clear();
    pidOfBus.clear();
    timeoutOfBus.clear();
    toolkits.clear();
    toolkitsUnsure.clear();
    actionsArrived.clear();
    windowOrigins.clear();
    changed.clear();
    staleStates.clear();
    contentCheckedAt.clear();
    lastReading.clear();
    if (!session || !session->connected()) {
        auto opened = BusConnection::openSession();
        if (!opened) {
            return opened.error();
        }
        session = std::move(opened).value();
    }
    auto address = session->call(
        methodCall("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress"), micros(0.5));
    if (!address.ok()) {
        return "the accessibility bus does not answer (" + address.error + ")";
    }
    auto text = reply::string(address.message.get());
    if (!text || text->empty()) {
        return std::string("the accessibility bus has no address");
    }
    auto opened = BusConnection::openBus(*text);
    if (!opened) {
        return opened.error();
    }
    bus = std::move(opened).value();
    ++connection;
    registrations = 0;
    listeningSince = Clock::now();
    listen();
    return std::nullopt;
}

void AtspiSession::listen() {
    bus->onSignal = [this](DBusMessage* message) { noteEvent(message); };
    for (const char* kind : {"Object", "Window", "Focus"}) {
        bus->addMatch(std::string("type='signal',interface='org.a11y.atspi.Event.") + kind + "'");
    }
    for (const char* event : {"object:", "window:", "focus:"}) {
        auto call = methodCall(kRegistry, "/org/a11y/atspi/registry", kRegistry, "RegisterEvent");
        if (!call) {
            continue;
        }
        DBusMessageIter iter, properties;
        const char* app = "";
        dbus_message_iter_init_append(call.get(), &iter);
        dbus_message_iter_append_basic(&iter, DBUS_TYPE_STRING, &event);
        dbus_message_iter_open_container(&iter, DBUS_TYPE_ARRAY, "s", &properties);
        dbus_message_iter_close_container(&iter, &properties);
        dbus_message_iter_append_basic(&iter, DBUS_TYPE_STRING, &app);
        bus->send(std::move(call), micros(1.0), [this](Reply reply) {
            if (reply.ok()) {
                ++registrations;
            }
        });
    }
}

void AtspiSession::noteEvent(DBusMessage* message) {
    constexpr std::string_view prefix = "org.a11y.atspi.Event.";
    const char* interface = dbus_message_get_interface(message);
    const char* sender = dbus_message_get_sender(message);
    if (interface == nullptr || sender == nullptr ||
        !std::string_view(interface).starts_with(prefix)) {
        return;
    }
    const std::string app = sender;
    if (changed.contains(app)) {
        return;  // everything read of it goes anyway
    }
    const char* member = dbus_message_get_member(message);
    const char* path = dbus_message_get_path(message);
    const std::string detail = reply::string(message).value_or("");
    auto& stale = staleStates[app];
    if (member != nullptr && path != nullptr && stale.size() < kMostStaleStates &&
        eventReach(std::string_view(interface).substr(prefix.size()), member, detail) ==
            EventReach::senderStates) {
        stale.insert(path);
    } else {
        changed.insert(app);
        staleStates.erase(app);
    }
}

bool AtspiSession::eventsTrustedSince(Clock::time_point reading) const {
    return registrations == 3 && reading >= listeningSince + std::chrono::seconds(1);
}

void AtspiSession::drain() {
    if (bus && bus->connected()) {
        bus->pump(Clock::now());
        drainQueue();
    }
}

std::optional<std::string> AtspiSession::trustProblem() {
    // No global coordinates and no synthetic input on Wayland: refuse before anything else.
    if (auto refusal = x11::sessionRefusal(x11::processEnvironment())) {
        return refusal;
    }
    if (auto problem = connect()) {
        return problem;
    }
    auto call = methodCall("org.a11y.Bus", "/org/a11y/bus", kProperties, "Get");
    const char* interface = "org.a11y.Status";
    const char* property = "IsEnabled";
    dbus_message_append_args(call.get(), DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING, &property,
                             DBUS_TYPE_INVALID);
    auto enabled = session->call(std::move(call), micros(0.5));
    if (!enabled.ok() || reply::variantBool(enabled.message.get()) != true) {
        return std::string("accessibility is switched off for this session");
    }
    auto apps =
        bus->call(methodCall(kRegistry, kRootPath, kAccessible, "GetChildren"), micros(0.5));
    if (!apps.ok()) {
        return "the accessibility registry does not answer (" + apps.error + ")";
    }
    return std::nullopt;
}

x11::Workspace* AtspiSession::x11() {
    if (!workspaceTried) {
        workspaceTried = true;
        if (auto opened = x11::Workspace::open()) {
            workspace = std::move(opened).value();
        }
    }
    return workspace.get();
}

const Toolkit& AtspiSession::knownToolkit(const std::string& busName) const {
    static const Toolkit unknown = toolkitOf("", "");
    auto it = toolkits.find(busName);
    return it == toolkits.end() ? unknown : it->second;
}

const Toolkit& AtspiSession::toolkit(const std::string& busName) {
    if (auto it = toolkits.find(busName); it != toolkits.end() || !bus || busName.empty()) {
        return knownToolkit(busName);
    }
    auto answers = std::make_shared<std::array<std::optional<std::string>, 2>>();
    auto waiting = std::make_shared<int>(2);
    int index = 0;
    for (const char* property : {"ToolkitName", "Version"}) {
        auto call = methodCall(busName, kRootPath, kProperties, "Get");
        const char* interface = kApplication;
        if (call) {
            dbus_message_append_args(call.get(), DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING,
                                     &property, DBUS_TYPE_INVALID);
        }
        enqueue(
            busName, std::move(call),
            [answers, waiting, index](Reply reply) {
                --*waiting;
                if (reply.ok()) {
                    (*answers)[static_cast<std::size_t>(index)] =
                        reply::variantString(reply.message.get());
                }
            },
            true);
        ++index;
    }
    waitUntil([&] { return *waiting == 0; }, waitBudget(busName));
    // Asked once: an app that cannot tell is read the safe way for as long as it runs; one that
    // did not answer in time is asked again at its next reading.
    if (*waiting > 0) {
        toolkitsUnsure.insert(busName);
    }
    return toolkits
        .emplace(busName, toolkitOf((*answers)[0].value_or(""), (*answers)[1].value_or("")))
        .first->second;
}

double AtspiSession::timeoutFor(const std::string& name) const {
    auto it = timeoutOfBus.find(name);
    return it == timeoutOfBus.end() ? options.callTimeoutSeconds : it->second;
}

void AtspiSession::enqueue(const std::string& target, Message call,
                           std::function<void(Reply)> handler, bool urgent) {
    if (!bus || !call) {
        handler(Reply{nullptr, kDisconnected, "not connected"});
        return;
    }
    if (urgent) {
        sendNow(target, std::move(call), std::move(handler));
        return;
    }
    queue.push_back(Queued{target, std::move(call), std::move(handler)});
    drainQueue();
}

void AtspiSession::sendNow(const std::string& target, Message call,
                           std::function<void(Reply)> handler) {
    ++sent;
    const std::uint64_t sentEpoch = epoch;
    bus->send(std::move(call), micros(timeoutFor(target)),
              [this, target, sentEpoch, handler = std::move(handler)](Reply reply) {
                  if (closing) {
                      return;
                  }
                  if (!reply.ok()) {
                      const AXError error = errorFor(reply);
                      if (error == AXError::timeout || error == AXError::appGone) {
                          // A hung or vanished app: do not queue it more work.
                          failQueued(target, reply.error);
                      }
                  }
                  if (sentEpoch == epoch) {
                      handler(std::move(reply));
                  }
              });
}

void AtspiSession::drainQueue() {
    while (!queue.empty() && bus && bus->inFlight() < options.maxInFlight) {
        Queued next = std::move(queue.front());
        queue.pop_front();
        sendNow(next.bus, std::move(next.call), std::move(next.handler));
    }
}

void AtspiSession::failQueued(const std::string& target, const std::string& error) {
    std::deque<Queued> kept;
    std::vector<Queued> failed;
    for (auto& item : queue) {
        if (item.bus == target) {
            failed.push_back(std::move(item));
        } else {
            kept.push_back(std::move(item));
        }
    }
    queue = std::move(kept);
    for (auto& item : failed) {
        item.handler(Reply{nullptr, error, "not sent: the app did not answer"});
    }
}

void AtspiSession::waitUntil(const std::function<bool()>& done, double seconds) {
    if (!bus) {
        return;
    }
    const auto until = Clock::now() + micros(seconds);
    while (!done() && Clock::now() < until) {
        drainQueue();
        if (!bus->pump(until)) {
            break;
        }
        drainQueue();
    }
}

Node& AtspiSession::node(const std::string& busName, const std::string& path) {
    std::string key = busName + path;
    auto it = nodes.find(key);
    if (it == nodes.end()) {
        auto fresh = std::make_unique<Node>();
        fresh->bus = busName;
        fresh->path = path;
        it = nodes.emplace(std::move(key), std::move(fresh)).first;
    }
    return *it->second;
}

Node* AtspiSession::find(const std::string& key) {
    auto it = nodes.find(key);
    return it == nodes.end() ? nullptr : it->second.get();
}

void AtspiSession::requestBase(Node& n, bool urgent) {
    // The hot path of a warm reading: nothing to ask, and no message built for nothing.
    if (!n.role.unread() && !n.states.unread() && !n.props.unread() && !n.extents.unread()) {
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
    requestProps(n, urgent);
    if (isRootPath(n.path)) {
        // Application objects have no extents.
        n.extents.failWith(AXError::unsupportedAttribute);
    } else if (n.extents.unread()) {
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
}

Message AtspiSession::extentsCall(const Node& n) const {
    auto call = methodCall(n.bus, n.path, kComponent, "GetExtents");
    // Root-window space; GTK 4 has only window-relative frames and complains for every
    // screen frame asked of it, so it is asked for what it gives anyway.
    dbus_uint32_t type = knownToolkit(n.bus).windowRelativeExtents ? ATSPI_COORD_TYPE_WINDOW
                                                                   : ATSPI_COORD_TYPE_SCREEN;
    if (call) {
        dbus_message_append_args(call.get(), DBUS_TYPE_UINT32, &type, DBUS_TYPE_INVALID);
    }
    return call;
}

void AtspiSession::requestProps(Node& n, bool urgent) {
    if (!n.props.unread()) {
        return;
    }
    n.props.state = Part<reply::AccessibleProps>::State::pending;
    if (!knownToolkit(n.bus).answersGetAll) {
        requestPropsOneByOne(n, urgent);
        return;
    }
    const std::string key = n.key();
    enqueue(
        n.bus, propertyCall(n.bus, n.path, "GetAll", nullptr),
        [this, key, urgent](Reply reply) {
            Node* target = find(key);
            if (target == nullptr) {
                return;
            }
            if (reply.ok()) {
                if (auto props = reply::accessibleProps(reply.message.get())) {
                    target->props.set(std::move(*props));
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

Message AtspiSession::propertyCall(const std::string& busName, const std::string& path,
                                   const char* method, const char* property) {
    auto call = methodCall(busName, path, kProperties, method);
    const char* interface = kAccessible;
    if (call) {
        dbus_message_append_args(call.get(), DBUS_TYPE_STRING, &interface, DBUS_TYPE_INVALID);
        if (property != nullptr) {
            dbus_message_append_args(call.get(), DBUS_TYPE_STRING, &property, DBUS_TYPE_INVALID);
        }
    }
    return call;
}

void AtspiSession::requestPropsOneByOne(Node& n, bool urgent) {
    struct Collected {
        reply::AccessibleProps props;
        int missing = 4;
        bool answered = false;
        AXError error = AXError::cannotComplete;
    };
    auto collected = std::make_shared<Collected>();
    const std::string key = n.key();
    for (const char* property : {"Name", "Description", "ChildCount", "Parent"}) {
        enqueue(
            n.bus, propertyCall(n.bus, n.path, "Get", property),
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
                        if (auto count = reply::variantNumber(m);
                            count && *count >= 0 && *count <= 2.0e9) {
                            collected->props.childCount = static_cast<std::int32_t>(*count);
                        }
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
                        target->props.set(std::move(collected->props));
                    } else {
                        target->props.failWith(collected->error);
                    }
                    followUps(*target);
                }
            },
            urgent);
    }
}

std::optional<std::uint32_t> AtspiSession::parentRole(const Node& n) {
    if (Node* parent = find(n.parentKey);
        parent && parent->role.state == Part<std::uint32_t>::State::done) {
        return parent->role.value;
    }
    return std::nullopt;
}

bool AtspiSession::isTopLevel(const Node& n) {
    if (!n.parentKey.empty()) {
        return n.parentKey == n.bus + kRootPath;
    }
    if (n.props.state == Part<reply::AccessibleProps>::State::done && n.props.value.parent) {
        return isRootPath(n.props.value.parent->path);
    }
    return false;
}

AXRole AtspiSession::axRole(Node& n) {
    if (n.mapped) {
        return *n.mapped;
    }
    RoleFacts facts;
    facts.role = n.role.value;
    facts.states = n.states.value;
    facts.attributes = n.attributes.value;
    facts.isTopLevel = isTopLevel(n);
    facts.parentRole = parentRole(n);
    if (n.children.state == Part<std::vector<reply::ObjectRef>>::State::done) {
        for (const auto& child : n.children.value) {
            Node* c = find(child.bus + child.path);
            if (c && c->role.state == Part<std::uint32_t>::State::done &&
                c->role.value == static_cast<std::uint32_t>(ATSPI_ROLE_ENTRY)) {
                facts.hasEntryChild = true;
            }
        }
    }
    facts.wrapsControl = wrapsControl(n);
    AXRole result = mapRole(facts);
    // A combo box's entry child may still come in; everything else is settled once its parts are.
    const bool settled = n.states.state == Part<StateSet>::State::done &&
                         (n.attributes.settled() || !roleNeedsAttributes(n.role.value)) &&
                         (n.parentKey.empty() || facts.parentRole.has_value()) &&
                         n.role.value != static_cast<std::uint32_t>(ATSPI_ROLE_COMBO_BOX) &&
                         wrapSettled(n);
    if (settled && n.role.state == Part<std::uint32_t>::State::done) {
        n.mapped = result;
    }
    return result;
}

namespace {

constexpr std::int32_t kMostWrappedChildren = 16;

bool isLabelWithChildren(const Node& n) {
    return n.role.state == Part<std::uint32_t>::State::done &&
           n.role.value == static_cast<std::uint32_t>(ATSPI_ROLE_LABEL) &&
           n.props.state == Part<reply::AccessibleProps>::State::done &&
           n.props.value.childCount.value_or(0) > 0 &&
           n.props.value.childCount.value_or(0) <= kMostWrappedChildren;
}

}  // namespace

void AtspiSession::followUps(Node& n) {
    if (n.childBasesWanted && n.children.settled()) {
        // What a label holds decides what the label is: read the roles of its children.
        n.childBasesWanted = false;
        for (const auto& child : liveChildren(n)) {
            Node& c = node(child.bus, child.path);
            adopt(n, c);
            requestBase(c);
        }
    }
    if (n.followUpsIssued || !n.baseSettled() || n.role.state != Part<std::uint32_t>::State::done) {
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
    const std::string axrole = axRole(n).role;
    if (CandidateRoles::pressableContainers().contains(axrole)) {
        requestActions(n);
    }
    // Only editable combo boxes carry text; GTK logs criticals when others are asked.
    const bool hasText =
        isTextInputRole(role) && (role != static_cast<std::uint32_t>(ATSPI_ROLE_COMBO_BOX) ||
                                  n.states.value.has(ATSPI_STATE_EDITABLE));
    if (hasText) {
        auto call = methodCall(n.bus, n.path, kProperties, "Get");
        const char* interface = kText;
        const char* property = "CharacterCount";
        if (call) {
            dbus_message_append_args(call.get(), DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING,
                                     &property, DBUS_TYPE_INVALID);
        }
        request(n, &Node::characterCount, std::move(call),
                [](DBusMessage* m) -> std::optional<std::int32_t> {
                    auto count = reply::variantNumber(m);
                    if (!count || !std::isfinite(*count) || *count < 0 || *count > 2.0e9) {
                        return std::nullopt;
                    }
                    return static_cast<std::int32_t>(*count);
                });
    }
    if (isRangeRole(role)) {
        requestRangeProperty(n, &Node::minimum, "MinimumValue");
        requestRangeProperty(n, &Node::maximum, "MaximumValue");
        requestRangeProperty(n, &Node::current, "CurrentValue");
    }
    const bool named = n.props.state == Part<reply::AccessibleProps>::State::done &&
                       n.props.value.name && !n.props.value.name->empty();
    if (isStaticTextRole(role) && !named) {
        requestText(n);
    }
    const bool leaf = axrole == "AXStaticText" || axrole == "AXImage";
    const bool stops = CandidateRoles::interactive().contains(axrole) && axrole != "AXLink" &&
                       axrole != "AXComboBox";
    const std::int32_t count = n.props.state == Part<reply::AccessibleProps>::State::done
                                   ? n.props.value.childCount.value_or(0)
                                   : 0;
    if (!leaf && !stops && count > 0 &&
        static_cast<std::size_t>(count) <= options.prefetchChildLimit) {
        requestChildren(n);
    }
}

void AtspiSession::requestAttributes(Node& n, bool urgent) {
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

void AtspiSession::requestActions(Node& n, bool urgent) {
    if (!n.actions.unread()) {
        return;
    }
    // Asking an object without the Action interface for actions makes GTK log criticals.
    if (n.interfaces.unread()) {
        n.interfaces.state = Part<std::vector<std::string>>::State::pending;
        const std::string key = n.key();
        enqueue(
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
    if (n.interfaces.state == Part<std::vector<std::string>>::State::pending) {
        return;
    }
    if (n.interfaces.state == Part<std::vector<std::string>>::State::failed) {
        n.actions.failWith(n.interfaces.error);
        return;
    }
    if (std::find(n.interfaces.value.begin(), n.interfaces.value.end(), kAction) ==
        n.interfaces.value.end()) {
        n.actions.set({});
        return;
    }
    n.actions.state = Part<std::vector<std::string>>::State::pending;
    const std::string key = n.key();
    enqueue(
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
            } else {
                requestActionNames(*target, names->size(), urgent);
            }
        },
        urgent);
}

void AtspiSession::requestActionNames(Node& n, std::size_t count, bool urgent) {
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
        enqueue(
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

std::optional<std::vector<std::string>> AtspiSession::freshActions(const std::string& busName,
                                                                   const std::string& path,
                                                                   AXError& error) {
    Node* live = actionsOf(busName, path, true);
    if (live == nullptr || !live->actions.settled()) {
        error = AXError::timeout;
        return std::nullopt;
    }
    if (live->actions.state == Part<std::vector<std::string>>::State::failed) {
        error = live->actions.error;
        return std::nullopt;
    }
    return live->actions.value;
}

Node* AtspiSession::actionsOf(const std::string& busName, const std::string& path, bool fresh) {
    const std::string key = busName + path;
    for (int ask = 0;; ++ask) {
        if (fresh || ask > 0) {
            forget(key);
        }
        requestActions(node(busName, path), true);
        waitUntil(
            [&] {
                Node* t = find(key);
                return t == nullptr || t->actions.settled();
            },
            waitBudget(busName));
        Node* live = find(key);
        if (live == nullptr || live->actions.state != Part<std::vector<std::string>>::State::done) {
            return live;
        }
        const bool offersSome =
            std::find(live->interfaces.value.begin(), live->interfaces.value.end(), kAction) !=
            live->interfaces.value.end();
        if (!live->actions.value.empty() || !offersSome || ask > 0 ||
            !knownToolkit(busName).actionsComeLate || actionsArrived.contains(busName)) {
            actionsArrived.insert(busName);
            return live;
        }
        // The first time for this app: its actions are on their way.
        actionsArrived.insert(busName);
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
    }
}

void AtspiSession::forget(const std::string& key) {
    if (Node* n = find(key)) {
        n->interfaces = {};
        n->actions = {};
    }
}

void AtspiSession::requestText(Node& n, bool urgent) {
    if (!n.text.unread()) {
        return;
    }
    auto call = methodCall(n.bus, n.path, kText, "GetText");
    dbus_int32_t start = 0;
    dbus_int32_t end = -1;
    if (call) {
        dbus_message_append_args(call.get(), DBUS_TYPE_INT32, &start, DBUS_TYPE_INT32, &end,
                                 DBUS_TYPE_INVALID);
    }
    request(n, &Node::text, std::move(call), reply::string, urgent);
}

void AtspiSession::requestRangeProperty(Node& n, Part<double> Node::*part, const char* property) {
    auto call = methodCall(n.bus, n.path, kProperties, "Get");
    const char* interface = kValue;
    if (call) {
        dbus_message_append_args(call.get(), DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING,
                                 &property, DBUS_TYPE_INVALID);
    }
    request(n, part, std::move(call), reply::variantNumber);
}

void AtspiSession::requestChildren(Node& n, bool urgent) {
    if (!n.children.unread()) {
        return;
    }
    request(n, &Node::children, methodCall(n.bus, n.path, kAccessible, "GetChildren"),
            reply::objectRefs, urgent);
}

void AtspiSession::adopt(const Node& parent, Node& child) {
    if (child.parentKey.empty()) {
        child.parentKey = parent.key();
    }
    child.windowKey = topLevelKey(parent);
    child.inDocument =
        parent.inDocument || (parent.role.state == Part<std::uint32_t>::State::done &&
                              isWebDocumentRole(parent.role.value));
}

std::string AtspiSession::topLevelKey(const Node& n) {
    return isTopLevel(n) ? n.key() : n.windowKey;
}

bool AtspiSession::wrapSettled(const Node& n) {
    if (!isLabelWithChildren(n)) {
        return true;
    }
    if (!n.children.settled() || n.childBasesWanted) {
        return false;
    }
    const auto kids = liveChildren(n);
    return std::all_of(kids.begin(), kids.end(), [&](const reply::ObjectRef& child) {
        const Node* c = find(child.bus + child.path);
        return c != nullptr && c->role.settled();
    });
}

bool AtspiSession::wrapsControl(const Node& n) {
    if (!isLabelWithChildren(n) ||
        n.children.state != Part<std::vector<reply::ObjectRef>>::State::done) {
        return false;
    }
    const auto kids = liveChildren(n);
    return std::any_of(kids.begin(), kids.end(), [&](const reply::ObjectRef& child) {
        const Node* c = find(child.bus + child.path);
        return c != nullptr && c->role.state == Part<std::uint32_t>::State::done &&
               isControlRole(c->role.value);
    });
}

Node* AtspiSession::wrappingLabel(const Node& n) {
    Node* parent = find(n.parentKey);
    return parent != nullptr && wrapsControl(*parent) ? parent : nullptr;
}

std::vector<std::pair<Node*, reply::ObjectRef>> AtspiSession::selectedPages(Node& group) {
    std::vector<Node*> tabs;
    for (const auto& child : liveChildren(group)) {
        Node& tab = node(child.bus, child.path);
        adopt(group, tab);
        requestBase(tab, true);
        tabs.push_back(&tab);
    }
    auto selected = [](const Node* tab) {
        return tab->role.state == Part<std::uint32_t>::State::done &&
               tab->role.value == static_cast<std::uint32_t>(ATSPI_ROLE_PAGE_TAB) &&
               tab->states.state == Part<StateSet>::State::done &&
               tab->states.value.has(ATSPI_STATE_SELECTED);
    };
    waitUntil(
        [&] {
            return std::all_of(tabs.begin(), tabs.end(), [](const Node* tab) {
                return tab->role.settled() && tab->states.settled();
            });
        },
        waitBudget(group.bus));
    std::erase_if(tabs, [&](const Node* tab) { return !selected(tab); });
    for (Node* tab : tabs) {
        requestChildren(*tab, true);
    }
    waitUntil(
        [&] {
            return std::all_of(tabs.begin(), tabs.end(),
                               [](const Node* tab) { return tab->children.settled(); });
        },
        waitBudget(group.bus));
    std::vector<std::pair<Node*, reply::ObjectRef>> pages;
    for (Node* tab : tabs) {
        for (const auto& page : liveChildren(*tab)) {
            pages.emplace_back(tab, page);
        }
    }
    return pages;
}

void AtspiSession::settle(Node& n, const std::function<bool(Node&)>& ready) {
    requestBase(n, true);
    followUps(n);
    const std::string key = n.key();
    waitUntil(
        [&] {
            Node* target = find(key);
            return target == nullptr || ready(*target);
        },
        waitBudget(n.bus));
}

std::vector<reply::ObjectRef> AtspiSession::applications() {
    if (!bus) {
        return {};
    }
    auto answer =
        bus->call(methodCall(kRegistry, kRootPath, kAccessible, "GetChildren"), micros(0.5));
    if (!answer.ok()) {
        return {};
    }
    auto apps = reply::objectRefs(answer.message.get());
    return apps ? *apps : std::vector<reply::ObjectRef>{};
}

void AtspiSession::resolvePids(const std::vector<reply::ObjectRef>& apps) {
    auto waiting = std::make_shared<std::size_t>(0);
    for (const auto& app : apps) {
        if (pidOfBus.contains(app.bus)) {
            continue;
        }
        auto call = methodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                               "org.freedesktop.DBus", "GetConnectionUnixProcessID");
        const char* busName = app.bus.c_str();
        if (call) {
            dbus_message_append_args(call.get(), DBUS_TYPE_STRING, &busName, DBUS_TYPE_INVALID);
        }
        ++*waiting;
        const std::string name = app.bus;
        bus->send(std::move(call), micros(0.5), [this, name, waiting](Reply r) {
            --*waiting;
            if (auto pid = r.ok() ? reply::u32(r.message.get()) : std::nullopt) {
                pidOfBus[name] = static_cast<std::int64_t>(*pid);
            }
        });
    }
    const auto until = Clock::now() + micros(0.6);
    bus->pumpUntil([&] { return *waiting == 0; }, until);
}

std::optional<reply::ObjectRef> AtspiSession::applicationOf(std::int64_t pid) {
    auto apps = applications();
    resolvePids(apps);
    for (const auto& app : apps) {
        auto it = pidOfBus.find(app.bus);
        if (it != pidOfBus.end() && it->second == pid) {
            return app;
        }
    }
    return std::nullopt;
}

std::optional<AXError> AtspiSession::raise(const AtspiRef& ref) {
    auto pid = pidOfBus.find(ref.bus());
    if (pid == pidOfBus.end()) {
        resolvePids({reply::ObjectRef{ref.bus(), kRootPath}});
        pid = pidOfBus.find(ref.bus());
    }
    x11::Workspace* desk = x11();
    if (pid == pidOfBus.end() || desk == nullptr) {
        return AXError::cannotComplete;
    }
    Node& window = node(ref.bus(), ref.path());
    settle(window, [](Node& n) { return n.props.settled(); });
    const std::string title = window.props.state == Part<reply::AccessibleProps>::State::done
                                  ? window.props.value.name.value_or("")
                                  : std::string();
    auto target = x11::windowToRaise(desk->windowsOf(pid->second), pid->second, title);
    if (!target || !desk->activate(*target)) {
        return AXError::cannotComplete;
    }
    changed.insert(ref.bus());
    return std::nullopt;
}

void AtspiSession::resetPending() {
    auto reset = [](auto& part) {
        if (part.state == std::remove_reference_t<decltype(part)>::State::pending) {
            part.state = std::remove_reference_t<decltype(part)>::State::unread;
            return true;
        }
        return false;
    };
    for (auto& [key, n] : nodes) {
        reset(n->role);
        reset(n->states);
        reset(n->props);
        reset(n->extents);
        reset(n->children);
        bool followUp = false;
        followUp |= reset(n->attributes);
        followUp |= reset(n->interfaces);
        followUp |= reset(n->actions);
        followUp |= reset(n->characterCount);
        followUp |= reset(n->minimum);
        followUp |= reset(n->maximum);
        followUp |= reset(n->current);
        followUp |= reset(n->text);
        if (followUp || !n->baseSettled()) {
            n->followUpsIssued = false;
        }
    }
}

void AtspiSession::beginReading(const std::string& busName) {
    ++epoch;
    queue.clear();
    resetPending();
    windowOrigins.clear();  // windows may have moved since
    if (toolkitsUnsure.erase(busName) > 0) {
        toolkits.erase(busName);
    }
    toolkit(busName);
    if (nodes.size() > 200'000) {
        nodes.clear();  // a bound on memory across many apps
    }
    const auto now = Clock::now();
    auto last = lastReading.find(busName);
    const bool recent = last != lastReading.end() &&
                        now - last->second < std::chrono::seconds(30) &&
                        eventsTrustedSince(last->second);
    lastReading[busName] = now;
    // Asked again after the check: its answers come after every event sent before them.
    const bool fresh =
        recent && !changed.contains(busName) && unmoved(busName) && !changed.contains(busName);
    changed.erase(busName);
    if (fresh) {
        forgetStaleStates(busName);
    } else {
        forgetApp(busName);
    }
}

bool AtspiSession::unmoved(const std::string& busName) {
    // Browsers tell nothing when a page scrolls or its layout shifts: the page content read
    // last time is asked where it is now. Its leaves are enough, as whatever moves carries
    // some of them along.
    auto checked = contentCheckedAt.find(busName);
    const bool checkContent =
        checked == contentCheckedAt.end() || Clock::now() - checked->second >= kContentCheckLasts;
    std::vector<Node*> windows;
    std::vector<Node*> content;
    for (auto& [key, n] : nodes) {
        if (n->bus != busName || n->extents.state != Part<Rect>::State::done) {
            continue;
        }
        if (n->parentKey == busName + kRootPath) {
            windows.push_back(n.get());
        } else if (checkContent && n->inDocument &&
                   (n->children.state != Part<std::vector<reply::ObjectRef>>::State::done ||
                    n->children.value.empty())) {
            content.push_back(n.get());
        }
    }
    if (windows.empty()) {
        return false;
    }
    auto moved = std::make_shared<bool>(false);
    auto waiting = std::make_shared<std::size_t>(windows.size() + content.size());
    auto ask = [&](const Node& n, bool urgent) {
        enqueue(
            busName, extentsCall(n),
            [moved, waiting, before = n.extents.value](Reply reply) {
                --*waiting;
                auto values = reply.ok() ? reply::i32Struct(reply.message.get()) : std::nullopt;
                if (!values || values->size() != 4 ||
                    !(Rect((*values)[0], (*values)[1], (*values)[2], (*values)[3]) == before)) {
                    *moved = true;
                }
            },
            urgent);
    };
    for (const Node* window : windows) {
        ask(*window, true);
    }
    for (const Node* piece : content) {
        ask(*piece, false);
    }
    waitUntil([&] { return *waiting == 0 || *moved; }, waitBudget(busName));
    if (*waiting > 0 || *moved) {
        return false;
    }
    if (checkContent) {
        contentCheckedAt[busName] = Clock::now();
    }
    return true;
}

void AtspiSession::forgetStaleStates(const std::string& busName) {
    auto stale = staleStates.find(busName);
    if (stale == staleStates.end()) {
        return;
    }
    for (const std::string& path : stale->second) {
        if (Node* n = find(busName + path)) {
            // Read again with what depends on them: the role they map to, the follow-up reads.
            n->states = {};
            n->mapped.reset();
            n->followUpsIssued = false;
        }
    }
    staleStates.erase(stale);
}

void AtspiSession::forgetApp(const std::string& busName) {
    ++epoch;
    std::deque<Queued> kept;
    for (auto& item : queue) {
        if (item.bus != busName) {
            kept.push_back(std::move(item));
        }
    }
    queue = std::move(kept);
    staleStates.erase(busName);
    contentCheckedAt.erase(busName);
    std::erase_if(nodes, [&](const auto& entry) { return entry.second->bus == busName; });
    resetPending();
}

}  // namespace ovra::atspi::session
