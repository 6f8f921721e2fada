// The accessibility bus connection, its change events and the reading of whole apps: when their
// readings are kept or forgotten.

#include <malloc.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "platform/atspi/AtspiSession_p.h"

namespace ovra::atspi::session {

namespace {

// How long page content found where it was stays trusted: content that moves this soon after
// a check could as well have moved during the reading that follows it, which no check sees.
constexpr auto kContentCheckLasts = std::chrono::milliseconds(200);
// The leaves of page content asked where they are before a reading is reused.
constexpr std::size_t kSampledLeaves = 48;
// The changes kept per app, and the apps kept, for changesSince.
constexpr std::size_t kMostToldPerApp = 256;
constexpr std::size_t kMostToldApps = 64;

// An event's first number: 1 when a state was set, 0 when it was cleared.
bool gained(DBusMessage* message) {
    DBusMessageIter iter;
    if (dbus_message_iter_init(message, &iter) == 0 || !dbus_message_iter_next(&iter) ||
        dbus_message_iter_get_arg_type(&iter) != DBUS_TYPE_INT32) {
        return false;
    }
    dbus_int32_t number = 0;
    dbus_message_iter_get_basic(&iter, &number);
    return number != 0;
}

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
    changes_.clear();
    contentCheckedAt_.clear();
    lastReading_.clear();
    if (auto problem = requests_.reconnect()) {
        return problem;
    }
    told_.clear();
    toldComplete_ = Clock::now();
    listen();
    return std::nullopt;
}

void AtspiSession::listen() {
    std::vector<std::string> rules;
    for (const char* kind : {"Object", "Window", "Focus"}) {
        rules.push_back(std::string("type='signal',interface='org.a11y.atspi.Event.") + kind + "'");
    }
    rules.push_back(std::string("type='signal',sender='org.freedesktop.DBus',interface='org."
                                "freedesktop.DBus',member='NameOwnerChanged',arg0='") +
                    kRegistry + "'");
    requests_.subscribe(rules, [this](DBusMessage* message) {
        if (dbus_message_is_signal(message, "org.freedesktop.DBus", "NameOwnerChanged")) {
            noteRegistryOwner(message);
        } else {
            noteEvent(message);
        }
    });
    registerEvents();
}

void AtspiSession::noteRegistryOwner(DBusMessage* message) {
    const char* name = nullptr;
    const char* before = nullptr;
    const char* after = nullptr;
    if (!dbus_message_get_args(message, nullptr, DBUS_TYPE_STRING, &name, DBUS_TYPE_STRING, &before,
                               DBUS_TYPE_STRING, &after, DBUS_TYPE_INVALID) ||
        std::string_view(name) != kRegistry) {
        return;
    }
    apps_.noteRegistryRestarted();
    if (after != nullptr && *after != '\0') {
        registerEvents();
    }
}

void AtspiSession::registerEvents() {
    registrations_ = 0;
    listeningSince_ = Clock::now();
    const std::uint64_t round = ++registrationRound_;
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
        requests_.sendDirect(std::move(call), 1.0, [this, round](Reply reply) {
            if (reply.ok() && round == registrationRound_) {
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
    const std::string_view kind = std::string_view(interface).substr(prefix.size());
    const char* member = dbus_message_get_member(message);
    const char* path = dbus_message_get_path(message);
    const std::string detail = reply::string(message).value_or("");
    keepTold(app, message, kind, member ? member : "", detail);
    if (member == nullptr || path == nullptr) {
        changes_.noteChanged(app);
        return;
    }
    const Node* source = nodes_.find(app + path);
    changes_.note(app, ChangeTracker::Event{kind, member, detail, path, gained(message)},
                  source != nullptr && nodes_.isTopLevel(*source));
}

void AtspiSession::keepTold(const std::string& busName, DBusMessage* message, std::string_view kind,
                            std::string_view member, std::string_view detail) {
    const char* path = dbus_message_get_path(message);
    const Clock::time_point now = Clock::now();
    auto found = told_.find(busName);
    if (found == told_.end()) {
        if (told_.size() >= kMostToldApps) {
            // Every app starts afresh: none can say what it told before now.
            told_.clear();
            toldComplete_ = now;
        }
        found = told_.emplace(busName, ToldByApp{{}, toldComplete_}).first;
    }
    ToldByApp& app = found->second;
    if (app.changes.size() >= kMostToldPerApp) {
        app.completeSince = app.changes.front().at;
        app.changes.pop_front();
    }
    const bool set = gained(message);
    app.changes.push_back(Told{now, changeKind(kind, member, detail, set), path ? path : "",
                               tellsShown(kind, member, detail, set)});
}

std::optional<std::vector<ax::Change>> AtspiSession::changesSince(const std::string& busName,
                                                                  Clock::time_point since) {
    if (!eventsTrustedSince(since)) {
        return std::nullopt;
    }
    // The app answers after every event it sent before: all of them have come in by then.
    auto answer = requests_.call(methodCall(busName, kRootPath, kAccessible, "GetRole"),
                                 requests_.timeoutFor(busName));
    if (!answer.ok()) {
        return std::nullopt;
    }
    const auto found = told_.find(busName);
    if ((found == told_.end() ? toldComplete_ : found->second.completeSince) > since) {
        return std::nullopt;
    }
    std::vector<ax::Change> changes;
    if (found == told_.end()) {
        return changes;
    }
    // Copied first: finding what a focus went to runs the bus, which may bring more events.
    std::vector<Told> recent;
    for (const Told& change : found->second.changes) {
        if (change.at >= since) {
            recent.push_back(change);
        }
    }
    for (const Told& change : recent) {
        changes.push_back(ax::Change{
            change.kind,
            change.kind == ax::Change::Kind::focus ? toldElement(busName, change.path)
                                                   : requests_.element(busName, change.path),
            std::chrono::duration<double>(change.at.time_since_epoch()).count()});
    }
    return changes;
}

bool AtspiSession::toldSince(const std::string& busName, Clock::time_point since) const {
    const auto found = told_.find(busName);
    return found != told_.end() &&
           std::any_of(found->second.changes.begin(), found->second.changes.end(),
                       [&](const Told& change) { return change.at >= since; });
}

bool AtspiSession::toldShown(const std::string& busName, const std::vector<std::string>& paths,
                             Clock::time_point since) const {
    const auto found = told_.find(busName);
    return found != told_.end() &&
           std::any_of(found->second.changes.begin(), found->second.changes.end(),
                       [&](const Told& change) {
                           return change.shown && change.at >= since &&
                                  std::find(paths.begin(), paths.end(), change.path) != paths.end();
                       });
}

ax::Element AtspiSession::toldElement(const std::string& busName, const std::string& path) {
    Node& n = nodes_.node(busName, path);
    if (n.role.unread()) {
        nodes_.requestBase(n, true);
    }
    requests_.waitUntil([&] { return n.role.settled(); }, requests_.waitBudget(busName));
    return requests_.element(busName, path, nodes_.presentsScrollArea(n));
}

std::optional<Clock::time_point> AtspiSession::changesHeardSince(const std::string& busName) const {
    if (registrations_ != 3) {
        return std::nullopt;
    }
    const auto found = told_.find(busName);
    return std::max(listeningSince_ + std::chrono::seconds(1),
                    found == told_.end() ? toldComplete_ : found->second.completeSince);
}

bool AtspiSession::eventsTrustedSince(Clock::time_point reading) const {
    return registrations_ == 3 && reading >= listeningSince_ + std::chrono::seconds(1);
}

void AtspiSession::drain() {
    requests_.drain();
    const auto now = Clock::now();
    if (std::any_of(lastReading_.begin(), lastReading_.end(),
                    [&](const auto& entry) { return now - entry.second >= readingKept(); })) {
        forgetOldReadings();
    }
}

void AtspiSession::forgetOldReadings(const std::string& keep) {
    const auto now = Clock::now();
    std::erase_if(lastReading_, [&](const auto& entry) {
        return entry.first != keep && now - entry.second >= readingKept();
    });
    const bool forgotten = nodes_.forgetAllBut([&](const std::string& busName) {
        return busName == keep || lastReading_.contains(busName);
    });
    if (forgotten) {
        changes_.keepOnly([&](const std::string& busName) {
            return busName == keep || lastReading_.contains(busName);
        });
        values_.forget();
        // A reading's nodes are many small blocks: hand the pages they held back at once.
        malloc_trim(0);
    }
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
    if (!apps_.registryAnswers()) {
        return std::string("the accessibility registry does not answer");
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
    auto target = desk->windowToRaise(*pid, title);
    if (!target || !desk->activate(*target)) {
        return AXError::cannotComplete;
    }
    changes_.noteChanged(ref.bus());
    return std::nullopt;
}

void AtspiSession::beginReading(const std::string& busName) {
    requests_.restart();
    nodes_.resetPending();
    nodes_.newReading();
    values_.newReading();
    forgetOldReadings(busName);
    apps_.reaskIfUnsure(busName);
    apps_.toolkit(busName);
    nodes_.bound(200'000);
    const auto now = Clock::now();
    auto last = lastReading_.find(busName);
    const bool recent = last != lastReading_.end() && now - last->second < readingKept() &&
                        eventsTrustedSince(last->second);
    lastReading_[busName] = now;
    // Asked again after the check: its answers come after every event sent before them.
    const bool fresh =
        recent && !changes_.changed(busName) && unmoved(busName) && !changes_.changed(busName);
    changes_.readingBegins(busName);
    if (fresh) {
        nodes_.makeStale(busName, changes_.takeStale(busName));
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
    // Gecko takes a covered window's content off its tree and puts it back without telling:
    // whether the window's parts and its pages show is asked again.
    std::vector<const Node*> shown;
    const bool hides = apps_.knownToolkit(busName).hidesContentWhenCovered;
    const std::string root = busName + kRootPath;
    for (const Node* n : nodes_.nodesOf(busName)) {
        if (hides && n->states.done() && n->parentKey != root) {
            const Node* parent = nodes_.find(n->parentKey);
            if ((parent != nullptr && parent->parentKey == root) ||
                (n->hasRole() && isWebDocumentRole(n->role.value))) {
                shown.push_back(n);
            }
        }
        if (!n->extents.done()) {
            continue;
        }
        if (n->parentKey == root) {
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
    auto waiting = std::make_shared<std::size_t>(windows.size() + content.size() + shown.size());
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
    for (const Node* part : shown) {
        requests_.enqueue(
            busName, methodCall(busName, part->path, kAccessible, "GetState"),
            [moved, waiting, before = isShowing(part->states.value)](Reply reply) {
                --*waiting;
                auto words = reply.ok() ? reply::u32Array(reply.message.get()) : std::nullopt;
                if (!words || words->empty() ||
                    isShowing(StateSet::fromWords((*words)[0],
                                                  words->size() > 1 ? (*words)[1] : 0)) != before) {
                    *moved = true;
                }
            },
            false);
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

void AtspiSession::forgetApp(const std::string& busName) {
    requests_.dropQueued(busName);
    changes_.takeStale(busName);
    contentCheckedAt_.erase(busName);
    nodes_.forgetApp(busName);
    values_.forget();
}

void AtspiSession::forgetReadings() {
    lastReading_.clear();
    changes_.keepOnly([](const std::string&) { return false; });
    contentCheckedAt_.clear();
    requests_.restart();
    nodes_.clear();
    values_.forget();
}

}  // namespace ovra::atspi::session
