#include "platform/atspi/AtspiBackend.h"

#include <atspi/atspi-constants.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <fstream>
#include <functional>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "core/Candidate.h"
#include "platform/atspi/AtspiMapping.h"
#include "platform/atspi/DBusConnection.h"
#include "platform/x11/X11Workspace.h"

namespace ovra::atspi {

namespace {

using ax::AXError;
using Clock = std::chrono::steady_clock;

constexpr const char* kRootPath = "/org/a11y/atspi/accessible/root";
constexpr const char* kNullPath = "/org/a11y/atspi/null";
constexpr const char* kRegistry = "org.a11y.atspi.Registry";
constexpr const char* kAccessible = "org.a11y.atspi.Accessible";
constexpr const char* kComponent = "org.a11y.atspi.Component";
constexpr const char* kAction = "org.a11y.atspi.Action";
constexpr const char* kText = "org.a11y.atspi.Text";
constexpr const char* kValue = "org.a11y.atspi.Value";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";
constexpr std::uint32_t kLabelledBy = ATSPI_RELATION_LABELLED_BY;
constexpr std::size_t kMaxStaticText = 256;

std::chrono::microseconds micros(double seconds) {
    return std::chrono::microseconds(static_cast<std::int64_t>(seconds * 1e6));
}

// One element of another app: its bus name and object path.
class AtspiRef final : public ax::ElementRef {
  public:
    AtspiRef(std::string bus, std::string path) : bus_(std::move(bus)), path_(std::move(path)) {}
    std::string key() const override { return bus_ + path_; }
    const std::string& bus() const { return bus_; }
    const std::string& path() const { return path_; }

  private:
    std::string bus_;
    std::string path_;
};

ax::Element makeElement(const std::string& bus, const std::string& path) {
    return ax::Element(std::make_shared<const AtspiRef>(bus, path));
}

AXError errorFor(const Reply& reply) {
    const std::string& name = reply.error;
    if (name == kNoReply || name == "org.freedesktop.DBus.Error.Timeout" ||
        name == "org.freedesktop.DBus.Error.TimedOut") {
        return AXError::timeout;
    }
    if (name == "org.freedesktop.DBus.Error.ServiceUnknown" ||
        name == "org.freedesktop.DBus.Error.NameHasNoOwner" ||
        name == "org.freedesktop.DBus.Error.UnknownObject" || name == kDisconnected) {
        return AXError::appGone;
    }
    if (name == "org.freedesktop.DBus.Error.UnknownMethod" ||
        name == "org.freedesktop.DBus.Error.UnknownInterface" ||
        name == "org.freedesktop.DBus.Error.UnknownProperty" ||
        name == "org.freedesktop.DBus.Error.InvalidArgs") {
        return AXError::unsupportedAttribute;
    }
    return AXError::cannotComplete;
}

template <class T>
struct Part {
    enum class State : std::uint8_t { unread, pending, done, failed };
    State state = State::unread;
    T value{};
    AXError error = AXError::cannotComplete;

    bool settled() const { return state == State::done || state == State::failed; }
    bool unread() const { return state == State::unread; }
    void set(T v) {
        value = std::move(v);
        state = State::done;
    }
    void failWith(AXError e) {
        error = e;
        state = State::failed;
    }
};

struct Node {
    std::string bus;
    std::string path;
    std::string parentKey;  // known from the child list it came from; "" when unknown
    Part<std::uint32_t> role;
    Part<StateSet> states;
    Part<reply::AccessibleProps> props;
    Part<Rect> extents;
    Part<std::vector<reply::ObjectRef>> children;
    Part<ObjectAttributes> attributes;
    Part<std::vector<std::string>> interfaces;
    Part<std::vector<std::string>> actions;
    Part<std::int32_t> characterCount;
    Part<reply::RangeProps> range;
    Part<std::string> text;
    bool followUpsIssued = false;

    std::string key() const { return bus + path; }
    bool baseSettled() const {
        return role.settled() && states.settled() && props.settled() && extents.settled();
    }
};

bool isRootPath(const std::string& path) {
    return path == kRootPath;
}

std::string processName(std::int64_t pid) {
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

}  // namespace

struct AtspiBackend::Impl {
    explicit Impl(AtspiOptions o) : options(o) {}
    ~Impl() {
        // Close the connections first: their pending handlers must not touch what follows.
        closing = true;
        bus.reset();
        session.reset();
    }
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;

    bool closing = false;

    AtspiOptions options;
    std::unique_ptr<BusConnection> session;
    std::unique_ptr<BusConnection> bus;
    std::optional<std::string> connectError;
    std::unique_ptr<x11::Workspace> workspace;
    bool workspaceTried = false;

    std::unordered_map<std::string, std::unique_ptr<Node>> nodes;
    std::unordered_map<std::string, std::int64_t> pidOfBus;  // bus names are never reused
    std::unordered_map<std::string, double> timeoutOfBus;
    std::unordered_set<std::string> changed;  // apps that sent events since their last reading
    std::unordered_map<std::string, Clock::time_point> lastReading;
    int registrations = 0;  // event kinds the registry confirmed
    Clock::time_point listeningSince;
    std::uint64_t epoch = 0;
    std::size_t sent = 0;

    struct Queued {
        std::string bus;
        Message call;
        std::function<void(Reply)> handler;
    };
    std::deque<Queued> queue;

    // --- Connection ---

    std::optional<std::string> connect() {
        if (bus && bus->connected()) {
            return std::nullopt;
        }
        bus.reset();
        nodes.clear();
        queue.clear();
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
        registrations = 0;
        listeningSince = Clock::now();
        listen();
        return std::nullopt;
    }

    // What apps tell about changes keeps the cache honest: any event from an app drops what
    // was read of it. Apps send events only for kinds a client registered with the registry.
    void listen() {
        bus->onSignal = [this](DBusMessage* message) {
            const char* interface = dbus_message_get_interface(message);
            const char* sender = dbus_message_get_sender(message);
            if (interface != nullptr && sender != nullptr &&
                std::string_view(interface).starts_with("org.a11y.atspi.Event.")) {
                changed.insert(sender);
            }
        };
        for (const char* kind : {"Object", "Window", "Focus"}) {
            bus->addMatch(std::string("type='signal',interface='org.a11y.atspi.Event.") + kind +
                          "'");
        }
        for (const char* event : {"object:", "window:", "focus:"}) {
            auto call =
                methodCall(kRegistry, "/org/a11y/atspi/registry", kRegistry, "RegisterEvent");
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

    // Apps learn of a new listener through a signal of their own; until they have, they may
    // change without telling. A reading made before then is never reused.
    bool eventsTrustedSince(Clock::time_point reading) const {
        return registrations == 3 && reading >= listeningSince + std::chrono::seconds(1);
    }

    // Reads what has arrived without waiting (events between readings).
    void drain() {
        if (bus && bus->connected()) {
            bus->pump(Clock::now());
            drainQueue();
        }
    }

    std::optional<std::string> trustProblem() {
        if (auto problem = connect()) {
            return problem;
        }
        auto call = methodCall("org.a11y.Bus", "/org/a11y/bus", kProperties, "Get");
        const char* interface = "org.a11y.Status";
        const char* property = "IsEnabled";
        dbus_message_append_args(call.get(), DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING,
                                 &property, DBUS_TYPE_INVALID);
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

    x11::Workspace* x11() {
        if (!workspaceTried) {
            workspaceTried = true;
            if (auto opened = x11::Workspace::open()) {
                workspace = std::move(opened).value();
            }
        }
        return workspace.get();
    }

    // --- Requests ---

    double timeoutFor(const std::string& name) const {
        auto it = timeoutOfBus.find(name);
        return it == timeoutOfBus.end() ? options.callTimeoutSeconds : it->second;
    }

    // Queues a call; it goes out as soon as fewer than maxInFlight requests wait in apps.
    void enqueue(const std::string& target, Message call, std::function<void(Reply)> handler,
                 bool urgent = false) {
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

    void sendNow(const std::string& target, Message call, std::function<void(Reply)> handler) {
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

    void drainQueue() {
        while (!queue.empty() && bus && bus->inFlight() < options.maxInFlight) {
            Queued next = std::move(queue.front());
            queue.pop_front();
            sendNow(next.bus, std::move(next.call), std::move(next.handler));
        }
    }

    void failQueued(const std::string& target, const std::string& error) {
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

    // Runs the bus until `done` holds or the deadline passes.
    void waitUntil(const std::function<bool()>& done, double seconds) {
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

    // Waiting on one node: every request the node needs is bounded by the call time-out, but
    // it may sit behind the queue, so allow for the queue ahead of it.
    double waitBudget(const std::string& target) const { return timeoutFor(target) * 2.0 + 0.1; }

    // --- Nodes ---

    Node& node(const std::string& busName, const std::string& path) {
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

    Node* find(const std::string& key) {
        auto it = nodes.find(key);
        return it == nodes.end() ? nullptr : it->second.get();
    }

    template <class T, class Parse>
    void request(Node& n, Part<T> Node::*part, Message call, Parse parse, bool urgent = false) {
        if (!(n.*part).unread()) {
            return;
        }
        (n.*part).state = Part<T>::State::pending;
        const std::string key = n.key();
        enqueue(
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

    void requestBase(Node& n, bool urgent = false) {
        request(n, &Node::role, methodCall(n.bus, n.path, kAccessible, "GetRole"), reply::u32,
                urgent);
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
        } else {
            auto call = methodCall(n.bus, n.path, kComponent, "GetExtents");
            dbus_uint32_t screen = 0;  // ATSPI_COORD_TYPE_SCREEN: root-window space
            if (call) {
                dbus_message_append_args(call.get(), DBUS_TYPE_UINT32, &screen, DBUS_TYPE_INVALID);
            }
            request(
                n, &Node::extents, std::move(call),
                [](DBusMessage* m) -> std::optional<Rect> {
                    auto values = reply::i32Struct(m);
                    if (!values || values->size() != 4) {
                        return std::nullopt;
                    }
                    return Rect{
                        static_cast<double>((*values)[0]), static_cast<double>((*values)[1]),
                        static_cast<double>((*values)[2]), static_cast<double>((*values)[3])};
                },
                urgent);
        }
    }

    // Name, description, child count and parent in one call; toolkits without GetAll are
    // asked property by property.
    void requestProps(Node& n, bool urgent) {
        if (!n.props.unread()) {
            return;
        }
        n.props.state = Part<reply::AccessibleProps>::State::pending;
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

    static Message propertyCall(const std::string& busName, const std::string& path,
                                const char* method, const char* property) {
        auto call = methodCall(busName, path, kProperties, method);
        const char* interface = kAccessible;
        if (call) {
            dbus_message_append_args(call.get(), DBUS_TYPE_STRING, &interface, DBUS_TYPE_INVALID);
            if (property != nullptr) {
                dbus_message_append_args(call.get(), DBUS_TYPE_STRING, &property,
                                         DBUS_TYPE_INVALID);
            }
        }
        return call;
    }

    void requestPropsOneByOne(Node& n, bool urgent) {
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

    std::optional<std::uint32_t> parentRole(const Node& n) {
        if (Node* parent = find(n.parentKey);
            parent && parent->role.state == Part<std::uint32_t>::State::done) {
            return parent->role.value;
        }
        return std::nullopt;
    }

    bool isTopLevel(const Node& n) {
        if (!n.parentKey.empty()) {
            return n.parentKey == n.bus + kRootPath;
        }
        if (n.props.state == Part<reply::AccessibleProps>::State::done && n.props.value.parent) {
            return isRootPath(n.props.value.parent->path);
        }
        return false;
    }

    AXRole axRole(Node& n) {
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
        return mapRole(facts);
    }

    // Once a node's role is known, queue what its AX attributes need beyond the common batch,
    // and its children when the walk is likely to descend.
    void followUps(Node& n) {
        if (n.followUpsIssued || !n.baseSettled() ||
            n.role.state != Part<std::uint32_t>::State::done) {
            return;
        }
        n.followUpsIssued = true;
        const std::uint32_t role = n.role.value;
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
            auto call = methodCall(n.bus, n.path, kProperties, "GetAll");
            const char* interface = kValue;
            if (call) {
                dbus_message_append_args(call.get(), DBUS_TYPE_STRING, &interface,
                                         DBUS_TYPE_INVALID);
            }
            request(n, &Node::range, std::move(call), reply::rangeProps);
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

    void requestAttributes(Node& n, bool urgent = false) {
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

    void requestActions(Node& n, bool urgent = false) {
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
                    auto names =
                        reply.ok() ? reply::stringArray(reply.message.get()) : std::nullopt;
                    if (names) {
                        target->interfaces.set(std::move(*names));
                    } else {
                        target->interfaces.failWith(reply.ok() ? AXError::wrongType
                                                               : errorFor(reply));
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
                // GetActions gives localized names, which some toolkits (Chromium) leave
                // empty: then ask for each action's own name.
                const bool complete =
                    std::none_of(names->begin(), names->end(),
                                 [](const std::string& name) { return name.empty(); });
                if (complete) {
                    target->actions.set(std::move(*names));
                } else {
                    requestActionNames(*target, names->size(), urgent);
                }
            },
            urgent);
    }

    void requestActionNames(Node& n, std::size_t count, bool urgent) {
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
                    if (auto name =
                            reply.ok() ? reply::string(reply.message.get()) : std::nullopt) {
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

    // The AT-SPI action names of an element, read now (they change as pages change).
    std::optional<std::vector<std::string>> freshActions(const std::string& busName,
                                                         const std::string& path, AXError& error) {
        forget(busName + path);
        Node& n = node(busName, path);
        requestActions(n, true);
        const std::string key = n.key();
        waitUntil(
            [&] {
                Node* t = find(key);
                return t == nullptr || t->actions.settled();
            },
            waitBudget(busName));
        Node* live = find(key);
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

    void forget(const std::string& key) {
        if (Node* n = find(key)) {
            n->interfaces = {};
            n->actions = {};
        }
    }

    void requestText(Node& n, bool urgent = false) {
        auto call = methodCall(n.bus, n.path, kText, "GetText");
        dbus_int32_t start = 0;
        dbus_int32_t end = -1;
        if (call) {
            dbus_message_append_args(call.get(), DBUS_TYPE_INT32, &start, DBUS_TYPE_INT32, &end,
                                     DBUS_TYPE_INVALID);
        }
        request(n, &Node::text, std::move(call), reply::string, urgent);
    }

    void requestChildren(Node& n, bool urgent = false) {
        request(n, &Node::children, methodCall(n.bus, n.path, kAccessible, "GetChildren"),
                reply::objectRefs, urgent);
    }

    // Waits for a node's base reads and the follow-ups they queued.
    void settle(Node& n, const std::function<bool(Node&)>& ready) {
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

    // --- AX values ---

    template <class T>
    static std::optional<AXError> problem(const Part<T>& part) {
        if (part.state == Part<T>::State::done) {
            return std::nullopt;
        }
        if (part.state == Part<T>::State::failed) {
            return part.error;
        }
        return AXError::timeout;
    }

    std::vector<reply::ObjectRef> liveChildren(const Node& n) {
        std::vector<reply::ObjectRef> result;
        for (const auto& child : n.children.value) {
            if (!child.bus.empty() && child.path != kNullPath) {
                result.push_back(child);
            }
        }
        return result;
    }

    // The top-level windows of an application element, read with their states and names.
    std::vector<Node*> topLevels(Node& app) {
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

    ax::Read windowOf(Node& app, bool focused) {
        auto windows = topLevels(app);
        if (app.children.state == Part<std::vector<reply::ObjectRef>>::State::failed) {
            return fail(app.children.error);
        }
        for (Node* w : windows) {
            if (w->states.state != Part<StateSet>::State::done) {
                continue;
            }
            if (focused ? isActiveWindow(w->states.value)
                        : isShowing(w->states.value) && w->props.value.name &&
                              !w->props.value.name->empty()) {
                return ax::Value(makeElement(w->bus, w->path));
            }
        }
        return fail(AXError::noValue);
    }

    static bool needsFollowUps(std::string_view name) {
        return name == "AXRole" || name == "AXSubrole" || name == "AXValue" ||
               name == "AXPlaceholderValue" || name == "AXTitle" || name == "AXDescription";
    }

    // Whether the follow-up reads an attribute needs have come back.
    bool followUpsSettled(const Node& n) const {
        auto ok = [](const auto& part) { return part.unread() || part.settled(); };
        return n.followUpsIssued && ok(n.attributes) && ok(n.interfaces) && ok(n.actions) &&
               ok(n.characterCount) && ok(n.range) && ok(n.text);
    }

    ax::Read valueOf(Node& n, std::string_view name) {
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
            return ax::Value(makeElement(n.props.value.parent->bus, n.props.value.parent->path));
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
                return ax::Value(r.origin);
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
            const std::string title = n.props.value.name.value_or("");
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
            return ax::Value(isHidden(s));
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
            if (!isRangeRole(role) || n.range.unread()) {
                return fail(AXError::unsupportedAttribute);
            }
            if (auto p = problem(n.range)) {
                return fail(*p);
            }
            const auto& bound =
                name == "AXMinValue" ? n.range.value.minimum : n.range.value.maximum;
            if (!bound || !std::isfinite(*bound)) {
                return fail(AXError::noValue);
            }
            return ax::Value(*bound);
        }
        return fail(AXError::unsupportedAttribute);
    }

    ax::Read valueAttribute(Node& n, std::uint32_t role) {
        if (auto toggle = toggleValue(role, n.states.value);
            toggle && n.states.state == Part<StateSet>::State::done) {
            return ax::Value(*toggle);
        }
        // Only editable combo boxes carry text; GTK logs criticals when others are asked.
        const bool hasText =
            isTextInputRole(role) && (role != static_cast<std::uint32_t>(ATSPI_ROLE_COMBO_BOX) ||
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
            if (auto p = problem(n.range)) {
                return fail(*p);
            }
            const auto& range = n.range.value;
            if (!range.current) {
                return fail(AXError::noValue);
            }
            if (isScrollBarRole(role)) {
                auto position = scrollBarValue(*range.current, range.minimum.value_or(NAN),
                                               range.maximum.value_or(NAN));
                if (!position) {
                    return fail(AXError::noValue);
                }
                return ax::Value(*position);
            }
            if (!std::isfinite(*range.current)) {
                return fail(AXError::noValue);
            }
            return ax::Value(*range.current);
        }
        if (isStaticTextRole(role)) {
            if (n.props.state == Part<reply::AccessibleProps>::State::done && n.props.value.name &&
                !n.props.value.name->empty()) {
                return ax::Value(truncated(*n.props.value.name));
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

    static std::string truncated(const std::string& text) {
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

    ax::Read titleElement(Node& n) {
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
        return ax::Value(makeElement(targets->front().bus, targets->front().path));
    }

    Result<ax::ElementList, AXError> childrenOf(Node& n, std::size_t limit) {
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
            if (c.parentKey.empty()) {
                c.parentKey = key;
            }
            requestBase(c);  // pipelined: the next breadth-first level is read while we return
            result.push_back(makeElement(child.bus, child.path));
        }
        return result;
    }

    Result<ax::ElementList, AXError> childrenByIndex(Node& n, std::size_t count) {
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
            if (c.parentKey.empty()) {
                c.parentKey = key;
            }
            requestBase(c);
            result.push_back(makeElement(ref->bus, ref->path));
        }
        return result;
    }

    // --- App lookup ---

    std::vector<reply::ObjectRef> applications() {
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

    // Process ids of the apps' bus names, asked of the bus all at once.
    void resolvePids(const std::vector<reply::ObjectRef>& apps) {
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

    std::optional<reply::ObjectRef> applicationOf(std::int64_t pid) {
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

    // AT-SPI cannot raise a window: ask the window manager to activate the app's X window of
    // that title.
    std::optional<AXError> raise(const AtspiRef& ref) {
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
        auto target = x11::windowToRaise(desk->clientWindows(), pid->second, title);
        if (!target || !desk->activate(*target)) {
            return AXError::cannotComplete;
        }
        changed.insert(ref.bus());
        return std::nullopt;
    }

    // Requests dropped by a new epoch leave their parts pending: make them unread again so
    // the next reading asks anew.
    void resetPending() {
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
            followUp |= reset(n->range);
            followUp |= reset(n->text);
            if (followUp || !n->baseSettled()) {
                n->followUpsIssued = false;
            }
        }
    }

    // Starts a reading of one app. What was read of it before is kept only when the app sent
    // no event since and its windows have not moved; the window check is also a round trip
    // to the app, so every event it sent before answering has arrived by then.
    void beginReading(const std::string& busName) {
        ++epoch;
        queue.clear();
        resetPending();
        if (nodes.size() > 200'000) {
            nodes.clear();  // a bound on memory across many apps
        }
        const auto now = Clock::now();
        auto last = lastReading.find(busName);
        const bool recent = last != lastReading.end() &&
                            now - last->second < std::chrono::seconds(30) &&
                            eventsTrustedSince(last->second);
        lastReading[busName] = now;
        std::vector<Node*> windows;
        for (auto& [key, n] : nodes) {
            if (n->bus == busName && n->parentKey == busName + kRootPath &&
                n->extents.state == Part<Rect>::State::done) {
                windows.push_back(n.get());
            }
        }
        bool fresh = recent && !windows.empty() && !changed.contains(busName);
        if (fresh) {
            auto unmoved = std::make_shared<bool>(true);
            auto waiting = std::make_shared<std::size_t>(windows.size());
            for (Node* window : windows) {
                auto call = methodCall(window->bus, window->path, kComponent, "GetExtents");
                dbus_uint32_t screen = 0;
                if (call) {
                    dbus_message_append_args(call.get(), DBUS_TYPE_UINT32, &screen,
                                             DBUS_TYPE_INVALID);
                }
                const Rect before = window->extents.value;
                enqueue(
                    busName, std::move(call),
                    [unmoved, waiting, before](Reply reply) {
                        --*waiting;
                        auto values =
                            reply.ok() ? reply::i32Struct(reply.message.get()) : std::nullopt;
                        if (!values || values->size() != 4 ||
                            !(Rect((*values)[0], (*values)[1], (*values)[2], (*values)[3]) ==
                              before)) {
                            *unmoved = false;
                        }
                    },
                    true);
            }
            waitUntil([&] { return *waiting == 0; }, waitBudget(busName));
            fresh = *waiting == 0 && *unmoved && !changed.contains(busName);
        }
        changed.erase(busName);
        if (!fresh) {
            forgetApp(busName);
        }
    }

    void forgetApp(const std::string& busName) {
        ++epoch;
        std::deque<Queued> kept;
        for (auto& item : queue) {
            if (item.bus != busName) {
                kept.push_back(std::move(item));
            }
        }
        queue = std::move(kept);
        std::erase_if(nodes, [&](const auto& entry) { return entry.second->bus == busName; });
        resetPending();
    }
};

AtspiBackend::AtspiBackend(AtspiOptions options) : impl_(std::make_unique<Impl>(options)) {
    drainer_ = std::jthread([this](std::stop_token stop) {
        while (!stop.stop_requested()) {
            std::unique_lock lock(mutex_);
            wake_.wait_for(lock, stop, std::chrono::milliseconds(250), [] { return false; });
            if (!stop.stop_requested()) {
                impl_->drain();
            }
        }
    });
}
AtspiBackend::~AtspiBackend() = default;

std::optional<std::string> AtspiBackend::trustProblem() {
    std::lock_guard lock(mutex_);
    return impl_->trustProblem();
}

bool AtspiBackend::isProcessTrusted() {
    std::lock_guard lock(mutex_);
    return !impl_->trustProblem().has_value();
}

std::optional<ax::RunningApp> AtspiBackend::frontmostApp() {
    std::lock_guard lock(mutex_);
    std::optional<std::int64_t> pid;
    if (auto* workspace = impl_->x11()) {
        if (auto active = workspace->activeWindow()) {
            pid = active->pid;
        }
    }
    if (impl_->connect()) {
        if (!pid) {
            return std::nullopt;
        }
        return ax::RunningApp{*pid, processName(*pid)};
    }
    auto apps = impl_->applications();
    impl_->resolvePids(apps);
    std::optional<reply::ObjectRef> found;
    for (const auto& app : apps) {
        auto it = impl_->pidOfBus.find(app.bus);
        if (pid && it != impl_->pidOfBus.end() && it->second == *pid) {
            found = app;
            break;
        }
    }
    if (!found && !pid) {
        // No window manager: the app whose top-level window is active.
        for (const auto& app : apps) {
            Node& root = impl_->node(app.bus, app.path);
            for (Node* window : impl_->topLevels(root)) {
                if (window->states.state == Part<StateSet>::State::done &&
                    isActiveWindow(window->states.value)) {
                    found = app;
                    break;
                }
            }
            if (found) {
                break;
            }
        }
        if (!found) {
            return std::nullopt;
        }
        auto it = impl_->pidOfBus.find(found->bus);
        if (it == impl_->pidOfBus.end()) {
            return std::nullopt;
        }
        pid = it->second;
    }
    if (!pid) {
        return std::nullopt;
    }
    ax::RunningApp result{*pid, std::nullopt};
    if (found) {
        Node& root = impl_->node(found->bus, found->path);
        impl_->settle(root, [](Node& n) { return n.props.settled(); });
        if (root.props.state == Part<reply::AccessibleProps>::State::done &&
            root.props.value.name && !root.props.value.name->empty()) {
            result.localizedName = *root.props.value.name;
        }
    }
    if (!result.localizedName) {
        if (auto name = processName(*pid); !name.empty()) {
            result.localizedName = name;
        }
    }
    return result;
}

ax::Element AtspiBackend::applicationElement(const ax::RunningApp& app) {
    std::lock_guard lock(mutex_);
    if (impl_->connect()) {
        // Every read on this element then fails as "app gone".
        return makeElement("", kRootPath);
    }
    if (auto found = impl_->applicationOf(app.pid)) {
        impl_->beginReading(found->bus);
        return makeElement(found->bus, found->path);
    }
    return makeElement("", kRootPath);
}

std::vector<Rect> AtspiBackend::screenFrames() {
    std::lock_guard lock(mutex_);
    if (auto* workspace = impl_->x11()) {
        return workspace->screenFrames();
    }
    return {};
}

void AtspiBackend::setMessagingTimeout(const ax::Element& appElement, double seconds) {
    std::lock_guard lock(mutex_);
    const auto* ref = appElement.as<AtspiRef>();
    if (ref == nullptr || !std::isfinite(seconds) || seconds <= 0) {
        return;
    }
    impl_->timeoutOfBus[ref->bus()] = std::clamp(seconds, 0.01, 10.0);
}

std::optional<ax::AXError> AtspiBackend::wakeUp(const ax::Element& appElement) {
    std::lock_guard lock(mutex_);
    const auto* ref = appElement.as<AtspiRef>();
    if (ref == nullptr || ref->bus().empty() || !impl_->bus) {
        return AXError::appGone;
    }
    Impl& impl = *impl_;
    // Chromium switches on its full tree when a client asks the application and a window for
    // their attributes, as a screen reader does.
    Node& app = impl.node(ref->bus(), ref->path());
    impl.requestAttributes(app, true);
    impl.waitUntil([&] { return app.attributes.settled(); }, impl.waitBudget(ref->bus()));
    if (auto p = Impl::problem(app.attributes)) {
        return p;
    }
    auto windows = impl.topLevels(app);
    std::vector<std::pair<std::string, std::int32_t>> before;
    for (Node* w : windows) {
        impl.requestAttributes(*w, true);
        before.emplace_back(w->path, w->props.state == Part<reply::AccessibleProps>::State::done
                                         ? w->props.value.childCount.value_or(0)
                                         : 0);
    }
    impl.waitUntil(
        [&] {
            return std::all_of(windows.begin(), windows.end(),
                               [](Node* w) { return w->attributes.settled(); });
        },
        impl.waitBudget(ref->bus()));
    // Wait until a window's child count changes (the page came in), for at most the poll time.
    const std::string busName = ref->bus();
    const auto until = Clock::now() + micros(impl.options.wakeUpPollSeconds);
    while (Clock::now() < until && !before.empty()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        bool changed = false;
        for (const auto& [path, count] : before) {
            auto call = methodCall(busName, path, kProperties, "Get");
            const char* interface = kAccessible;
            const char* property = "ChildCount";
            if (call) {
                dbus_message_append_args(call.get(), DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING,
                                         &property, DBUS_TYPE_INVALID);
            }
            auto answer = impl.bus->call(std::move(call), micros(impl.timeoutFor(busName)));
            auto now = answer.ok() ? reply::variantNumber(answer.message.get()) : std::nullopt;
            if (now && *now != static_cast<double>(count)) {
                changed = true;
            }
        }
        if (changed) {
            break;
        }
    }
    impl.forgetApp(busName);
    return std::nullopt;
}

ax::Read AtspiBackend::attribute(const ax::Element& element, std::string_view name) {
    const std::array<std::string_view, 1> names{name};
    auto batch = attributes(element, names);
    if (!batch) {
        return fail(batch.error());
    }
    return batch.value().front();
}

Result<std::vector<ax::Read>, ax::AXError> AtspiBackend::attributes(
    const ax::Element& element, std::span<const std::string_view> names) {
    std::lock_guard lock(mutex_);
    const auto* ref = element.as<AtspiRef>();
    if (ref == nullptr || ref->bus().empty()) {
        return fail(AXError::appGone);
    }
    if (!impl_->bus) {
        return fail(AXError::cannotComplete);
    }
    Impl& impl = *impl_;
    Node& n = impl.node(ref->bus(), ref->path());
    const bool wantsFollowUps = std::any_of(names.begin(), names.end(), [&](std::string_view name) {
        return Impl::needsFollowUps(name);
    });
    impl.settle(n, [&](Node& target) {
        if (!target.baseSettled()) {
            return false;
        }
        if (!wantsFollowUps || target.role.state != Part<std::uint32_t>::State::done) {
            return true;
        }
        return impl.followUpsSettled(target);
    });
    const std::string key = n.key();
    Node* live = impl.find(key);
    if (live == nullptr) {
        return fail(AXError::appGone);
    }
    // The element cannot be asked at all: every base read failed the same way.
    if (live->role.state == Part<std::uint32_t>::State::failed &&
        live->states.state == Part<StateSet>::State::failed &&
        live->props.state == Part<reply::AccessibleProps>::State::failed &&
        (live->role.error == AXError::appGone || live->role.error == AXError::timeout)) {
        return fail(live->role.error);
    }
    std::vector<ax::Read> reads;
    reads.reserve(names.size());
    for (std::string_view name : names) {
        reads.push_back(impl.valueOf(*live, name));
    }
    return reads;
}

Result<ax::ElementList, ax::AXError> AtspiBackend::children(const ax::Element& element,
                                                            std::size_t limit) {
    std::lock_guard lock(mutex_);
    const auto* ref = element.as<AtspiRef>();
    if (ref == nullptr || ref->bus().empty()) {
        return fail(AXError::appGone);
    }
    if (!impl_->bus) {
        return fail(AXError::cannotComplete);
    }
    if (limit == 0) {
        return ax::ElementList{};
    }
    return impl_->childrenOf(impl_->node(ref->bus(), ref->path()), limit);
}

Result<std::vector<std::string>, ax::AXError> AtspiBackend::actionNames(
    const ax::Element& element) {
    std::lock_guard lock(mutex_);
    const auto* ref = element.as<AtspiRef>();
    if (ref == nullptr || ref->bus().empty()) {
        return fail(AXError::appGone);
    }
    if (!impl_->bus) {
        return fail(AXError::cannotComplete);
    }
    Node& n = impl_->node(ref->bus(), ref->path());
    impl_->requestActions(n, true);
    const std::string key = n.key();
    impl_->waitUntil(
        [&] {
            Node* t = impl_->find(key);
            return t == nullptr || t->actions.settled();
        },
        impl_->waitBudget(n.bus));
    Node* live = impl_->find(key);
    if (live == nullptr) {
        return fail(AXError::appGone);
    }
    if (live->actions.state == Part<std::vector<std::string>>::State::failed &&
        live->actions.error == AXError::unsupportedAttribute) {
        return std::vector<std::string>{};  // no Action interface: no actions
    }
    if (auto p = Impl::problem(live->actions)) {
        return fail(*p);
    }
    return axActions(live->actions.value);
}

Result<bool, ax::AXError> AtspiBackend::isAttributeSettable(const ax::Element& element,
                                                            std::string_view name) {
    std::lock_guard lock(mutex_);
    const auto* ref = element.as<AtspiRef>();
    if (ref == nullptr || ref->bus().empty()) {
        return fail(AXError::appGone);
    }
    if (!impl_->bus) {
        return fail(AXError::cannotComplete);
    }
    Node& n = impl_->node(ref->bus(), ref->path());
    impl_->settle(n, [&](Node& t) { return t.baseSettled() && impl_->followUpsSettled(t); });
    if (auto p = Impl::problem(n.states)) {
        return fail(*p);
    }
    if (name == "AXFocused") {
        return n.states.value.has(ATSPI_STATE_FOCUSABLE);
    }
    if (name == "AXValue") {
        return n.role.state == Part<std::uint32_t>::State::done && isRangeRole(n.role.value) &&
               n.range.state == Part<reply::RangeProps>::State::done &&
               !n.states.value.has(ATSPI_STATE_READ_ONLY);
    }
    return false;
}

void AtspiBackend::prefetch(std::span<const ax::Element> elements,
                            std::span<const std::string_view> names) {
    (void)names;
    std::lock_guard lock(mutex_);
    if (!impl_->bus) {
        return;
    }
    for (const auto& element : elements) {
        if (const auto* ref = element.as<AtspiRef>(); ref && !ref->bus().empty()) {
            impl_->requestBase(impl_->node(ref->bus(), ref->path()));
        }
    }
}

std::optional<ax::AXError> AtspiBackend::performAction(const ax::Element& element,
                                                       std::string_view action) {
    std::lock_guard lock(mutex_);
    const auto* ref = element.as<AtspiRef>();
    if (ref == nullptr || ref->bus().empty()) {
        return AXError::appGone;
    }
    if (!impl_->bus) {
        return AXError::cannotComplete;
    }
    Impl& impl = *impl_;
    if (action == "AXRaise") {
        return impl.raise(*ref);
    }
    // Always read the actions afresh: the list may have changed since the walk.
    AXError error = AXError::cannotComplete;
    auto names = impl.freshActions(ref->bus(), ref->path(), error);
    if (!names) {
        return error;
    }
    auto index = atspiActionFor(action, *names);
    if (!index) {
        return AXError::unsupportedAttribute;
    }
    auto call = methodCall(ref->bus(), ref->path(), kAction, "DoAction");
    dbus_int32_t i = *index;
    if (call) {
        dbus_message_append_args(call.get(), DBUS_TYPE_INT32, &i, DBUS_TYPE_INVALID);
    }
    auto done = impl.bus->call(std::move(call), micros(impl.timeoutFor(ref->bus())));
    impl.changed.insert(ref->bus());  // the press changes the app; read it afresh
    if (!done.ok()) {
        return errorFor(done);
    }
    if (reply::boolean(done.message.get()) == false) {
        return AXError::cannotComplete;
    }
    return std::nullopt;
}

std::optional<ax::AXError> AtspiBackend::setAttribute(const ax::Element& element,
                                                      std::string_view name,
                                                      const ax::Value& value) {
    std::lock_guard lock(mutex_);
    const auto* ref = element.as<AtspiRef>();
    if (ref == nullptr || ref->bus().empty()) {
        return AXError::appGone;
    }
    if (!impl_->bus) {
        return AXError::cannotComplete;
    }
    Impl& impl = *impl_;
    const double timeout = impl.timeoutFor(ref->bus());
    if (name == "AXFocused") {
        if (ax::asBool(value) != true) {
            return AXError::unsupportedAttribute;
        }
        auto done = impl.bus->call(methodCall(ref->bus(), ref->path(), kComponent, "GrabFocus"),
                                   micros(timeout));
        impl.changed.insert(ref->bus());
        if (!done.ok()) {
            return errorFor(done);
        }
        return reply::boolean(done.message.get()) == false ? std::optional(AXError::cannotComplete)
                                                           : std::nullopt;
    }
    if (name == "AXValue") {
        auto number = ax::asNumber(value);
        if (!number || !std::isfinite(*number)) {
            return AXError::wrongType;
        }
        Node& n = impl.node(ref->bus(), ref->path());
        impl.settle(n, [&](Node& t) { return t.baseSettled() && impl.followUpsSettled(t); });
        if (n.role.state != Part<std::uint32_t>::State::done || !isRangeRole(n.role.value) ||
            n.range.state != Part<reply::RangeProps>::State::done) {
            return AXError::unsupportedAttribute;
        }
        double target = *number;
        if (isScrollBarRole(n.role.value)) {
            const double low = n.range.value.minimum.value_or(0);
            const double high = n.range.value.maximum.value_or(0);
            if (!std::isfinite(low) || !std::isfinite(high) || !(high > low)) {
                return AXError::cannotComplete;
            }
            target = low + std::clamp(*number, 0.0, 1.0) * (high - low);
        }
        auto call = methodCall(ref->bus(), ref->path(), kProperties, "Set");
        if (!call) {
            return AXError::cannotComplete;
        }
        DBusMessageIter iter, variant;
        const char* interface = kValue;
        const char* property = "CurrentValue";
        dbus_message_iter_init_append(call.get(), &iter);
        dbus_message_iter_append_basic(&iter, DBUS_TYPE_STRING, &interface);
        dbus_message_iter_append_basic(&iter, DBUS_TYPE_STRING, &property);
        dbus_message_iter_open_container(&iter, DBUS_TYPE_VARIANT, "d", &variant);
        dbus_message_iter_append_basic(&variant, DBUS_TYPE_DOUBLE, &target);
        dbus_message_iter_close_container(&iter, &variant);
        auto done = impl.bus->call(std::move(call), micros(timeout));
        impl.forgetApp(ref->bus());
        return done.ok() ? std::nullopt : std::optional(errorFor(done));
    }
    return AXError::unsupportedAttribute;
}

void AtspiBackend::forgetReadings() {
    std::lock_guard lock(mutex_);
    impl_->lastReading.clear();
    ++impl_->epoch;
    impl_->queue.clear();
    impl_->nodes.clear();
}

std::size_t AtspiBackend::requestsSent() const {
    std::lock_guard lock(mutex_);
    return impl_->sent;
}

}  // namespace ovra::atspi
