#pragma once

// Internal to the AT-SPI backend: one connection to the accessibility bus, the reads in flight
// and what is known of each element read so far. Everything here runs on the thread that holds
// the backend's lock.

#include <atspi/atspi-constants.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/Candidate.h"
#include "platform/atspi/AtspiBackend.h"
#include "platform/atspi/AtspiMapping.h"
#include "platform/atspi/AtspiToolkit.h"
#include "platform/atspi/DBusConnection.h"
#include "platform/x11/X11Workspace.h"

namespace ovra::atspi::session {

using ax::AXError;
using Clock = std::chrono::steady_clock;

inline constexpr const char* kRootPath = "/org/a11y/atspi/accessible/root";
inline constexpr const char* kNullPath = "/org/a11y/atspi/null";
inline constexpr const char* kRegistry = "org.a11y.atspi.Registry";
inline constexpr const char* kAccessible = "org.a11y.atspi.Accessible";
inline constexpr const char* kComponent = "org.a11y.atspi.Component";
inline constexpr const char* kAction = "org.a11y.atspi.Action";
inline constexpr const char* kText = "org.a11y.atspi.Text";
inline constexpr const char* kValue = "org.a11y.atspi.Value";
inline constexpr const char* kProperties = "org.freedesktop.DBus.Properties";
inline constexpr const char* kApplication = "org.a11y.atspi.Application";
inline constexpr std::uint32_t kLabelledBy = ATSPI_RELATION_LABELLED_BY;
inline constexpr std::size_t kMaxStaticText = 256;

inline std::chrono::microseconds micros(double seconds) {
    return std::chrono::microseconds(static_cast<std::int64_t>(seconds * 1e6));
}

// One element of another app: its bus name and object path, on the connection to the
// accessibility bus it was read on. A bus name means nothing on another connection: a new bus
// hands the same names to other apps.
class AtspiRef final : public ax::ElementRef {
  public:
    AtspiRef(std::string bus, std::string path, std::uint64_t connection)
        : bus_(std::move(bus)), path_(std::move(path)), connection_(connection) {}
    std::string key() const override { return bus_ + path_; }
    const std::string& bus() const { return bus_; }
    const std::string& path() const { return path_; }
    std::uint64_t connection() const { return connection_; }

  private:
    std::string bus_;
    std::string path_;
    std::uint64_t connection_;
};

inline AXError errorFor(const Reply& reply) {
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
    std::string parentKey;          // known from the child list it came from; "" when unknown
    std::string windowKey;          // the top-level window it lies in, when reached from one
    bool inDocument = false;        // below a web document
    bool childBasesWanted = false;  // its children's roles decide its own (a label)
    Part<std::uint32_t> role;
    Part<StateSet> states;
    Part<reply::AccessibleProps> props;
    Part<Rect> extents;
    Part<std::vector<reply::ObjectRef>> children;
    Part<ObjectAttributes> attributes;
    Part<std::vector<std::string>> interfaces;
    Part<std::vector<std::string>> actions;
    Part<std::int32_t> characterCount;
    // The Value interface, one property per call: Chromium aborts when asked for all of them
    // at once on some elements, and a property one element cannot give leaves the others.
    Part<double> minimum;
    Part<double> maximum;
    Part<double> current;
    Part<std::string> text;
    bool followUpsIssued = false;
    std::optional<AXRole> mapped;  // kept once everything the mapping looks at is known

    std::string key() const { return bus + path; }
    // What of the Value interface came back; a failed or unread property is absent.
    RangeValues range() const {
        auto known = [](const Part<double>& part) {
            return part.state == Part<double>::State::done ? std::optional(part.value)
                                                           : std::nullopt;
        };
        return RangeValues{known(minimum), known(maximum), known(current)};
    }
    bool baseSettled() const {
        return role.settled() && states.settled() && props.settled() && extents.settled();
    }
};

inline bool isRootPath(const std::string& path) {
    return path == kRootPath;
}

inline std::string processName(std::int64_t pid) {
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

struct AtspiSession {
    explicit AtspiSession(AtspiOptions o) : options(o) {}
    ~AtspiSession();
    AtspiSession(const AtspiSession&) = delete;
    AtspiSession& operator=(const AtspiSession&) = delete;

    bool closing = false;

    AtspiOptions options;
    // Counts the connections to the accessibility bus: elements of an earlier one are gone.
    std::uint64_t connection = 0;
    std::unique_ptr<BusConnection> session;
    std::unique_ptr<BusConnection> bus;
    std::unique_ptr<x11::Workspace> workspace;
    bool workspaceTried = false;

    std::unordered_map<std::string, std::unique_ptr<Node>> nodes;
    // What is known of each app, by bus name: names are never reused on one connection, but
    // a new connection (a restarted bus) hands them out afresh, so all of it is per connection.
    std::unordered_map<std::string, std::int64_t> pidOfBus;
    std::unordered_map<std::string, double> timeoutOfBus;
    std::unordered_map<std::string, Toolkit> toolkits;
    std::unordered_set<std::string> toolkitsUnsure;  // apps that did not say in time
    std::unordered_set<std::string> actionsArrived;  // apps whose late actions came in
    // Screen origins of windows whose toolkit gives window-relative frames, per reading.
    std::unordered_map<std::string, std::optional<Point>> windowOrigins;
    // Apps that sent an event since their last reading that may have changed anything, and the
    // objects of the others whose state sets changed.
    std::unordered_set<std::string> changed;
    std::unordered_map<std::string, std::unordered_set<std::string>> staleStates;
    std::unordered_map<std::string, Clock::time_point> lastReading;
    std::unordered_map<std::string, Clock::time_point> contentCheckedAt;  // found unmoved then
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

    std::optional<std::string> connect();

    // What apps tell about changes keeps the cache honest: a change of an object's states
    // makes those states stale; any other event drops what was read of the app. Apps send
    // events only for kinds a client registered with the registry.
    void listen();
    void noteEvent(DBusMessage* message);

    // Apps learn of a new listener through a signal of their own; until they have, they may
    // change without telling. A reading made before then is never reused.
    bool eventsTrustedSince(Clock::time_point reading) const;

    // Reads what has arrived without waiting (events between readings).
    void drain();

    std::optional<std::string> trustProblem();

    x11::Workspace* x11();

    ax::Element element(const std::string& busName, const std::string& path) const {
        return ax::Element(std::make_shared<const AtspiRef>(busName, path, connection));
    }

    // The toolkit of an app, asked once per app before anything else is read of it.
    const Toolkit& toolkit(const std::string& busName);
    // Only what is already known; an app not asked yet gets the safe defaults.
    const Toolkit& knownToolkit(const std::string& busName) const;

    // --- Requests ---

    double timeoutFor(const std::string& name) const;

    // Queues a call; it goes out as soon as fewer than maxInFlight requests wait in apps.
    void enqueue(const std::string& target, Message call, std::function<void(Reply)> handler,
                 bool urgent = false);

    void sendNow(const std::string& target, Message call, std::function<void(Reply)> handler);

    void drainQueue();

    void failQueued(const std::string& target, const std::string& error);

    // Runs the bus until `done` holds or the deadline passes.
    void waitUntil(const std::function<bool()>& done, double seconds);

    // Waiting on one node: every request the node needs is bounded by the call time-out, but
    // it may sit behind the queue, so allow for the queue ahead of it.
    double waitBudget(const std::string& target) const { return timeoutFor(target) * 2.0 + 0.1; }

    // --- Nodes ---

    Node& node(const std::string& busName, const std::string& path);

    Node* find(const std::string& key);

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

    void requestBase(Node& n, bool urgent = false);

    // Component.GetExtents in the coordinates the toolkit gives anyway.
    Message extentsCall(const Node& n) const;

    // Name, description, child count and parent in one call; toolkits without GetAll are
    // asked property by property.
    void requestProps(Node& n, bool urgent);

    static Message propertyCall(const std::string& busName, const std::string& path,
                                const char* method, const char* property);

    void requestPropsOneByOne(Node& n, bool urgent);

    std::optional<std::uint32_t> parentRole(const Node& n);

    bool isTopLevel(const Node& n);

    AXRole axRole(Node& n);

    // Once a node's role is known, queue what its AX attributes need beyond the common batch,
    // and its children when the walk is likely to descend.
    void followUps(Node& n);

    void requestAttributes(Node& n, bool urgent = false);

    void requestActions(Node& n, bool urgent = false);

    void requestActionNames(Node& n, std::size_t count, bool urgent);

    // The AT-SPI action names of an element, read now (they change as pages change).
    std::optional<std::vector<std::string>> freshActions(const std::string& busName,
                                                         const std::string& path, AXError& error);
    // Reads an element's actions (afresh when `fresh`) and waits for them; the node, unless the
    // app went away meanwhile.
    Node* actionsOf(const std::string& busName, const std::string& path, bool fresh);

    void forget(const std::string& key);

    void requestText(Node& n, bool urgent = false);

    // One property of the Value interface, by Properties.Get.
    void requestRangeProperty(Node& n, Part<double> Node::*part, const char* property);

    void requestChildren(Node& n, bool urgent = false);

    // Records what a child inherits from the parent whose child list it came from.
    void adopt(const Node& parent, Node& child);
    std::string topLevelKey(const Node& n);

    // A label holding a control (a check box inside its <label>): it becomes a plain group
    // that the walk enters, and lends its name to the control.
    bool wrapsControl(const Node& n);
    bool wrapSettled(const Node& n);
    // The wrapping label of a control, when it has one.
    Node* wrappingLabel(const Node& n);
    // A tab group whose pages are its tabs' children: the pages of the selected tabs, read.
    std::vector<std::pair<Node*, reply::ObjectRef>> selectedPages(Node& tabGroup);

    // Waits for a node's base reads and the follow-ups they queued.
    void settle(Node& n, const std::function<bool(Node&)>& ready);

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

    std::vector<reply::ObjectRef> liveChildren(const Node& n);

    // The top-level windows of an application element, read with their states and names.
    std::vector<Node*> topLevels(Node& app);

    ax::Read windowOf(Node& app, bool focused);

    static bool needsFollowUps(std::string_view name);

    // Whether the follow-up reads an attribute needs have come back.
    bool followUpsSettled(const Node& n);

    ax::Read valueOf(Node& n, std::string_view name);

    ax::Read valueAttribute(Node& n, std::uint32_t role);

    static std::string truncated(const std::string& text);

    // The name a person reads, less the toolkit's stand-ins for one.
    std::string nameOf(Node& n);
    // The window-relative frames of some toolkits, moved to where the window is on screen.
    std::optional<Point> screenOffset(Node& n);
    bool hiddenDocument(Node& n);

    ax::Read titleElement(Node& n);

    Result<ax::ElementList, AXError> childrenOf(Node& n, std::size_t limit);

    Result<ax::ElementList, AXError> childrenByIndex(Node& n, std::size_t count);

    // --- App lookup ---

    std::vector<reply::ObjectRef> applications();

    // Process ids of the apps' bus names, asked of the bus all at once.
    void resolvePids(const std::vector<reply::ObjectRef>& apps);

    std::optional<reply::ObjectRef> applicationOf(std::int64_t pid);

    // AT-SPI cannot raise a window: ask the window manager to activate the app's X window of
    // that title.
    std::optional<AXError> raise(const AtspiRef& ref);

    // Requests dropped by a new epoch leave their parts pending: make them unread again so
    // the next reading asks anew.
    void resetPending();

    // Starts a reading of one app. What was read of it before is kept only when the app sent
    // no event since but changes of states, and neither its windows nor the content of its web
    // pages have moved; the check is also a round trip to the app, so every event it sent
    // before answering has arrived by then. The states that changed are read again.
    void beginReading(const std::string& busName);
    // Whether every window and piece of page content read of the app is where it was.
    bool unmoved(const std::string& busName);
    void forgetStaleStates(const std::string& busName);

    void forgetApp(const std::string& busName);
};

}  // namespace ovra::atspi::session
