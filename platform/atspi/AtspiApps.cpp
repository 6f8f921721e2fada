// The apps on the accessibility bus: which there are, their process ids and toolkits.

#include <algorithm>
#include <array>
#include <fstream>

#include "platform/atspi/AtspiApps_p.h"

namespace ovra::atspi::session {

std::string processName(std::int64_t pid) {
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

namespace {

// Connections to the bus asked for their process at most, when an app is looked for without
// the registry.
constexpr std::size_t kMostConnections = 1024;
// How long after the registry changed hands it counts as restarting.
constexpr auto kRegistryRestart = std::chrono::seconds(10);

}  // namespace

void AppDirectory::clear() {
    pidOfBus_.clear();
    toolkits_.clear();
    toolkitsUnsure_.clear();
    firstAsked_.clear();
    actionsArrived_.clear();
    pagesArrived_.clear();
    scales_.clear();
    scaleAsked_.clear();
    registryRestartedAt_.reset();
}

std::vector<reply::ObjectRef> AppDirectory::applications(double patience) {
    if (!requests_.hasBus()) {
        return {};
    }
    auto answer =
        requests_.call(methodCall(kRegistry, kRootPath, kAccessible, "GetChildren"), patience);
    if (!answer.ok()) {
        return {};
    }
    auto apps = reply::objectRefs(answer.message.get());
    return apps ? *apps : std::vector<reply::ObjectRef>{};
}

void AppDirectory::resolvePids(const std::vector<reply::ObjectRef>& apps) {
    auto waiting = std::make_shared<std::size_t>(0);
    for (const auto& app : apps) {
        if (pidOfBus_.contains(app.bus)) {
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
        requests_.sendDirect(std::move(call), 0.5, [this, name, waiting](Reply r) {
            --*waiting;
            if (auto pid = r.ok() ? reply::u32(r.message.get()) : std::nullopt) {
                pidOfBus_[name] = static_cast<std::int64_t>(*pid);
            }
        });
    }
    requests_.pumpUntil([&] { return *waiting == 0; }, 0.6);
}

std::optional<std::int64_t> AppDirectory::pidOf(const std::string& busName) const {
    auto it = pidOfBus_.find(busName);
    return it == pidOfBus_.end() ? std::nullopt : std::optional(it->second);
}

std::optional<std::int64_t> AppDirectory::resolvedPidOf(const std::string& busName) {
    if (!pidOfBus_.contains(busName)) {
        resolvePids({reply::ObjectRef{busName, kRootPath}});
    }
    return pidOf(busName);
}

std::optional<reply::ObjectRef> AppDirectory::applicationOf(std::int64_t pid) {
    auto apps = applications();
    resolvePids(apps);
    for (const auto& app : apps) {
        if (pidOf(app.bus) == pid) {
            return app;
        }
    }
    return applicationOnBus(pid);
}

std::optional<reply::ObjectRef> AppDirectory::applicationOnBus(std::int64_t pid) {
    auto answer = requests_.call(methodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                            "org.freedesktop.DBus", "ListNames"),
                                 0.5);
    auto names = answer.ok() ? reply::stringArray(answer.message.get()) : std::nullopt;
    if (!names) {
        return std::nullopt;
    }
    std::vector<reply::ObjectRef> connections;
    for (const std::string& name : *names) {
        // Only connections name processes; our own would be asked by ourselves.
        if (name.starts_with(':') && name != requests_.ownName() &&
            connections.size() < kMostConnections) {
            connections.push_back({name, kRootPath});
        }
    }
    resolvePids(connections);
    std::erase_if(connections,
                  [&](const auto& connection) { return pidOf(connection.bus) != pid; });
    // A process may hold other connections that never answer: all are asked at once.
    auto isApp = std::make_shared<std::vector<std::optional<bool>>>(connections.size());
    for (std::size_t i = 0; i < connections.size(); ++i) {
        requests_.enqueue(
            connections[i].bus, methodCall(connections[i].bus, kRootPath, kAccessible, "GetRole"),
            [isApp, i](Reply reply) {
                (*isApp)[i] =
                    reply.ok() && reply::u32(reply.message.get()) == ATSPI_ROLE_APPLICATION;
            },
            true);
    }
    const auto settled = [&] {
        return std::all_of(isApp->begin(), isApp->end(), [](const auto& known) { return known; });
    };
    requests_.waitUntil(settled, requests_.options().callTimeoutSeconds + 0.05);
    for (std::size_t i = 0; i < connections.size(); ++i) {
        if ((*isApp)[i] == true) {
            return connections[i];
        }
    }
    return std::nullopt;
}

bool AppDirectory::registryAnswers() {
    // A registry that restarts is started again by the bus as soon as it is asked, which takes
    // a moment, more on a busy machine: it is given one more, longer, chance.
    const bool restarting =
        registryRestartedAt_ && Clock::now() - *registryRestartedAt_ < kRegistryRestart;
    for (const double patience : {0.5, 1.0}) {
        auto answer =
            requests_.call(methodCall(kRegistry, kRootPath, kAccessible, "GetChildren"), patience);
        if (answer.ok()) {
            return true;
        }
        const AXError error = errorFor(answer);
        if (!restarting && error != AXError::timeout && error != AXError::appGone) {
            return false;
        }
    }
    return false;
}

const Toolkit& AppDirectory::knownToolkit(const std::string& busName) const {
    static const Toolkit unknown = toolkitOf("", "");
    auto it = toolkits_.find(busName);
    return it == toolkits_.end() ? unknown : it->second;
}

namespace {

constexpr double kFirstAnswerPatience = 2.0;

}  // namespace

const Toolkit& AppDirectory::toolkit(const std::string& busName) {
    if (auto it = toolkits_.find(busName);
        it != toolkits_.end() || !requests_.hasBus() || busName.empty()) {
        return knownToolkit(busName);
    }
    // An app's first answer on a connection may be slow: apps learn of our listener when it
    // connects, and Chromium then goes over its whole tree (0.9 s for a 30,000-node page).
    const double patience = firstAsked_.insert(busName).second
                                ? std::max(requests_.timeoutFor(busName), kFirstAnswerPatience)
                                : requests_.timeoutFor(busName);
    auto answers = std::make_shared<std::array<std::optional<std::string>, 2>>();
    auto waiting = std::make_shared<int>(2);
    int index = 0;
    for (const char* property : {"ToolkitName", "Version"}) {
        requests_.enqueue(
            busName, propertyGet(busName, kRootPath, kApplication, property),
            [answers, waiting, index](Reply reply) {
                --*waiting;
                if (reply.ok()) {
                    (*answers)[static_cast<std::size_t>(index)] =
                        reply::variantString(reply.message.get());
                }
            },
            true, patience);
        ++index;
    }
    requests_.waitUntil([&] { return *waiting == 0; }, patience + 0.1);
    // Asked once: an app that cannot tell is read the safe way for as long as it runs; one that
    // did not answer in time is asked again at its next reading.
    if (*waiting > 0) {
        toolkitsUnsure_.insert(busName);
    }
    return toolkits_
        .emplace(busName, toolkitOf((*answers)[0].value_or(""), (*answers)[1].value_or("")))
        .first->second;
}

void AppDirectory::reaskIfUnsure(const std::string& busName) {
    if (toolkitsUnsure_.erase(busName) > 0) {
        toolkits_.erase(busName);
    }
}

x11::Workspace* AppDirectory::x11() {
    if (!workspaceTried_) {
        workspaceTried_ = true;
        if (auto opened = x11::Workspace::open()) {
            workspace_ = std::move(opened).value();
        }
    }
    return workspace_.get();
}

}  // namespace ovra::atspi::session
