// The accessibility bus connection, its change events, the queue of pipelined requests and
// the reading of whole apps: which ones there are, when their readings are kept or forgotten.

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
