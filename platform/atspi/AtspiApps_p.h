#pragma once

// Private to the AT-SPI backend: the apps on the accessibility bus, by bus name. Their process
// ids, their toolkits (asked once per app before anything else is read of it) and whether
// their late actions came in; names are never reused on one connection, but a new connection
// (a restarted bus) hands them out afresh, so all of it is per connection. Also the X
// workspace, where an app's windows are found by its process id.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/atspi/AtspiRequests_p.h"
#include "platform/atspi/AtspiToolkit.h"
#include "platform/x11/X11Workspace.h"

namespace ovra::atspi::session {

// The name of a process as the kernel tells it; empty when it cannot be read.
std::string processName(std::int64_t pid);

class AppDirectory {
  public:
    explicit AppDirectory(RequestPipeline& requests) : requests_(requests) {}

    // Forgets every app: their bus names may belong to others now.
    void clear();

    // The application elements the registry knows of; nothing when it does not answer within
    // `patience` seconds.
    std::vector<reply::ObjectRef> applications(double patience = 0.5);
    // Whether the registry answers, waiting for one that is (re)starting.
    bool registryAnswers();
    // The registry changed hands (it restarted): apps embed themselves in the new one again
    // over the next moments, and until they have it lists only some of them.
    void noteRegistryRestarted() { registryRestartedAt_ = Clock::now(); }
    // Process ids of the apps' bus names, asked of the bus all at once.
    void resolvePids(const std::vector<reply::ObjectRef>& apps);
    std::optional<std::int64_t> pidOf(const std::string& busName) const;
    // The pid of an app, asked of the bus when not known yet.
    std::optional<std::int64_t> resolvedPidOf(const std::string& busName);
    // The application element of a process: the one the registry lists, else the one the
    // process offers on the bus itself (a registry that restarted does not list it yet).
    std::optional<reply::ObjectRef> applicationOf(std::int64_t pid);

    // The toolkit of an app, asked once per app before anything else is read of it.
    const Toolkit& toolkit(const std::string& busName);
    // Only what is already known; an app not asked yet gets the safe defaults.
    const Toolkit& knownToolkit(const std::string& busName) const;
    // An app that did not tell its toolkit in time is asked again at its next reading.
    void reaskIfUnsure(const std::string& busName);

    // Gecko's first answer about actions is none while it fetches them: once per app.
    bool actionsArrived(const std::string& busName) const {
        return actionsArrived_.contains(busName);
    }
    void noteActionsArrived(const std::string& busName) { actionsArrived_.insert(busName); }
    // So is its first answer about a page: once per app.
    bool pagesArrived(const std::string& busName) const { return pagesArrived_.contains(busName); }
    void notePagesArrived(const std::string& busName) { pagesArrived_.insert(busName); }

    // How an app's frames map to device pixels, as last measured.
    std::optional<FrameScale> knownScale(const std::string& busName) const {
        auto it = scales_.find(busName);
        return it == scales_.end() ? std::nullopt : std::optional(it->second);
    }
    void noteScale(const std::string& busName, FrameScale scale) { scales_[busName] = scale; }
    // Whether an app's scale may be measured again: at most once a second, not for every frame
    // read.
    bool mayAskScale(const std::string& busName) {
        const auto now = Clock::now();
        auto [it, fresh] = scaleAsked_.emplace(busName, now);
        if (!fresh && now - it->second < std::chrono::seconds(1)) {
            return false;
        }
        it->second = now;
        return true;
    }

    x11::Workspace* x11();

  private:
    // The application object of a process found without the registry: the root of one of the
    // process's own connections to the bus that answers as an application.
    std::optional<reply::ObjectRef> applicationOnBus(std::int64_t pid);

    RequestPipeline& requests_;
    std::unordered_map<std::string, std::int64_t> pidOfBus_;
    std::unordered_map<std::string, Toolkit> toolkits_;
    std::unordered_set<std::string> toolkitsUnsure_;  // apps that did not say in time
    std::unordered_set<std::string> firstAsked_;      // apps asked with the first patience
    std::unordered_set<std::string> actionsArrived_;  // apps whose late actions came in
    std::unordered_set<std::string> pagesArrived_;    // apps whose late pages came in
    std::unordered_map<std::string, FrameScale> scales_;
    std::unordered_map<std::string, Clock::time_point> scaleAsked_;
    std::optional<Clock::time_point> registryRestartedAt_;
    std::unique_ptr<x11::Workspace> workspace_;
    bool workspaceTried_ = false;
};

}  // namespace ovra::atspi::session
