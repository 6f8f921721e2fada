// The accessibility bus connection, its change events and the reading of whole apps: when their
// readings are kept or forgotten.

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/atspi/AtspiSession_p.h"

namespace ovra::atspi::session {

namespace {

// The objects of one app kept stale at most; past that the app is read afresh.
constexpr std::size_t kMostStaleObjects = 1024;
// How long page content found where it was stays trusted: content that moves this soon after
// a check could as well have moved during the reading that follows it, which no check sees.
constexpr auto kContentCheckLasts = std::chrono::milliseconds(200);
// The leaves of page content asked where they are before a reading is reused.
constexpr std::size_t kSampledLeaves = 48;

}  // namespace

AtspiSession::~AtspiSession() {
    // Close the connections first: their pending handlers must not touch what follows.
    requests_.close();
}

std::optional<std::string> AtspiSession::connect() {
    if (requests_.connected()) {
        return std::nullopt;
    }
    // A new connection: whatever was learnt of bus names on the old one may now be another
    // app's.
    nodes_.clear();
    apps_.clear();
    values_.forget();
    changed_.clear();
    stale_.clear();
    contentCheckedAt_.clear();
    lastReading_.clear();
    if (auto problem = requests_.reconnect()) {
        return problem;
    }
    registrations_ = 0;
    listeningSince_ = Clock::now();
    listen();
    return std::nullopt;
}

void AtspiSession::listen() {
    std::vector<std::string> rules;
    for (const char* kind : {"Object", "Window", "Focus"}) {
        rules.push_back(std::string("type='signal',interface='org.a11y.atspi.Event.") + kind + "'");
    }
    requests_.subscribe(rules, [this](DBusMessage* message) { noteEvent(message); });
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
        requests_.sendDirect(std::move(call), 1.0, [this](Reply reply) {
            if (reply.ok()) {
                ++registrations_;
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
    if (changed_.contains(app)) {
        return;  // everything read of it goes anyway
    }
    const char* member = dbus_message_get_member(message);
    const char* path = dbus_message_get_path(message);
    const std::string detail = reply::string(message).value_or("");
    auto& stale = stale_[app];
    const EventReach reach =
        member == nullptr
            ? EventReach::wholeApp
            : eventReach(std::string_view(interface).substr(prefix.size()), member, detail);
    if (path != nullptr && stale.size() < kMostStaleObjects && reach != EventReach::wholeApp) {
        StaleParts& parts = stale[path];
        parts.states = parts.states || reach == EventReach::senderStates;
        parts.names = parts.names || reach == EventReach::senderName;
        // A window that takes another name may show another part of its app: Chromium names its
        // window after a page's prompt that it puts in the page's place, and says nothing else.
        if (reach == EventReach::senderName) {
            const Node* window = nodes_.find(app + path);
            parts.children = parts.children || (window != nullptr && nodes_.isTopLevel(*window));
        }
    } else {
        changed_.insert(app);
        stale_.erase(app);
    }
}

bool AtspiSession::eventsTrustedSince(Clock::time_point reading) const {
    return registrations_ == 3 && reading >= listeningSince_ + std::chrono::seconds(1);
}

void AtspiSession::drain() {
    requests_.drain();
}

std::optional<std::string> AtspiSession::trustProblem() {
    // No global coordinates and no synthetic input on Wayland: refuse before anything else.
    if (auto refusal = x11::sessionRefusal(paths::processEnvironment)) {
        return refusal;
    }
    if (auto problem = connect()) {
        return problem;
    }
    auto enabled = requests_.sessionCall(
        propertyGet("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Status", "IsEnabled"), 0.5);
    if (!enabled.ok() || reply::variantBool(enabled.message.get()) != true) {
        return std::string("accessibility is switched off for this session");
    }
    auto apps = requests_.call(methodCall(kRegistry, kRootPath, kAccessible, "GetChildren"), 0.5);
    if (!apps.ok()) {
        return "the accessibility registry does not answer (" + apps.error + ")";
    }
    return std::nullopt;
}

std::optional<AXError> AtspiSession::raise(const AtspiRef& ref) {
    const auto pid = apps_.resolvedPidOf(ref.bus());
    x11::Workspace* desk = apps_.x11();
    if (!pid || desk == nullptr) {
        return AXError::cannotComplete;
    }
    Node& window = nodes_.node(ref.bus(), ref.path());
    nodes_.settle(window, [](Node& n) { return n.props.settled(); });
    const std::string title = window.props.done() ? window.props.value.name.value_or("") : "";
    auto target = x11::windowToRaise(desk->windowsOf(*pid), *pid, title);
    if (!target || !desk->activate(*target)) {
        return AXError::cannotComplete;
    }
    changed_.insert(ref.bus());
    return std::nullopt;
}

void AtspiSession::beginReading(const std::string& busName) {
    requests_.restart();
    nodes_.resetPending();
    values_.newReading();
    apps_.reaskIfUnsure(busName);
    apps_.toolkit(busName);
    nodes_.bound(200'000);
    const auto now = Clock::now();
    auto last = lastReading_.find(busName);
    const bool recent = last != lastReading_.end() &&
                        now - last->second < std::chrono::seconds(30) &&
                        eventsTrustedSince(last->second);
    lastReading_[busName] = now;
    // Asked again after the check: its answers come after every event sent before them.
    const bool fresh =
        recent && !changed_.contains(busName) && unmoved(busName) && !changed_.contains(busName);
    changed_.erase(busName);
    if (fresh) {
        forgetStaleParts(busName);
    } else {
        forgetApp(busName);
    }
}

bool AtspiSession::unmoved(const std::string& busName) {
    // Browsers tell nothing when a page scrolls or its layout shifts: the page content read
    // last time is asked where it is now. The documents' frames and a sample of the leaves
    // spread over the page are enough, as a scroll moves them all and a shift carries some of
    // them along.
    auto checked = contentCheckedAt_.find(busName);
    const bool checkContent =
        checked == contentCheckedAt_.end() || Clock::now() - checked->second >= kContentCheckLasts;
    std::vector<const Node*> windows;
    std::vector<const Node*> content;
    std::vector<const Node*> leaves;
    for (const Node* n : nodes_.nodesOf(busName)) {
        if (!n->extents.done()) {
            continue;
        }
        if (n->parentKey == busName + kRootPath) {
            windows.push_back(n);
        } else if (checkContent && n->hasRole() && isWebDocumentRole(n->role.value)) {
            content.push_back(n);
        } else if (checkContent && n->inDocument &&
                   (!n->children.done() || n->children.value.empty())) {
            leaves.push_back(n);
        }
    }
    if (windows.empty()) {
        return false;
    }
    const auto top = [](const Node* a, const Node* b) {
        const Point pa = a->extents.value.origin;
        const Point pb = b->extents.value.origin;
        return pa.y != pb.y ? pa.y < pb.y : pa.x < pb.x;
    };
    std::sort(leaves.begin(), leaves.end(), top);
    const std::size_t step = std::max<std::size_t>(1, leaves.size() / kSampledLeaves);
    for (std::size_t i = 0; i < leaves.size(); i += step) {
        content.push_back(leaves[i]);
    }
    if (!leaves.empty() && content.back() != leaves.back()) {
        content.push_back(leaves.back());
    }
    auto moved = std::make_shared<bool>(false);
    auto waiting = std::make_shared<std::size_t>(windows.size() + content.size());
    auto ask = [&](const Node& n, bool urgent) {
        requests_.enqueue(
            busName, nodes_.extentsCall(n),
            [moved, waiting, before = n.extents.value, path = n.path](Reply reply) {
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
    requests_.waitUntil([&] { return *waiting == 0 || *moved; }, requests_.waitBudget(busName));
    if (*waiting > 0 || *moved) {
        return false;
    }
    if (checkContent) {
        contentCheckedAt_[busName] = Clock::now();
    }
    return true;
}

void AtspiSession::forgetStaleParts(const std::string& busName) {
    auto stale = stale_.find(busName);
    if (stale == stale_.end()) {
        return;
    }
    nodes_.makeStale(busName, stale->second);
    stale_.erase(stale);
}

void AtspiSession::forgetApp(const std::string& busName) {
    requests_.dropQueued(busName);
    stale_.erase(busName);
    contentCheckedAt_.erase(busName);
    nodes_.forgetApp(busName);
    values_.forget();
}

void AtspiSession::forgetReadings() {
    lastReading_.clear();
    stale_.clear();
    contentCheckedAt_.clear();
    requests_.restart();
    nodes_.clear();
    values_.forget();
}

}  // namespace ovra::atspi::session
