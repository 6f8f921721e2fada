#pragma once

// Private to the AT-SPI backend: one connection to the accessibility bus with its request
// pipeline, the apps on it, what was read of their elements and how that reads as AX values;
// and what the apps told of their changes, which decides whether a reading of an app may start
// from what was read of it before. Everything here runs on the thread that holds the backend's
// lock.

#include <chrono>
#include <deque>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "platform/atspi/AtspiApps_p.h"
#include "platform/atspi/AtspiBackend.h"
#include "platform/atspi/AtspiChanges_p.h"
#include "platform/atspi/AtspiFrameScale_p.h"
#include "platform/atspi/AtspiNodeCache_p.h"
#include "platform/atspi/AtspiRequests_p.h"
#include "platform/atspi/AtspiValues_p.h"

namespace ovra::atspi::session {

class AtspiSession {
  public:
    explicit AtspiSession(const AtspiOptions& options)
        : requests_(options),
          apps_(requests_),
          nodes_(requests_, apps_),
          frames_(nodes_, apps_),
          values_(requests_, apps_, nodes_, frames_) {}
    ~AtspiSession();
    AtspiSession(const AtspiSession&) = delete;
    AtspiSession& operator=(const AtspiSession&) = delete;

    RequestPipeline& requests() { return requests_; }
    const RequestPipeline& requests() const { return requests_; }
    AppDirectory& apps() { return apps_; }
    NodeCache& nodes() { return nodes_; }
    FrameScaling& frames() { return frames_; }
    ValueMapping& values() { return values_; }

    // Connects to the accessibility bus unless connected; why it could not.
    std::optional<std::string> connect();
    // Why the accessibility bus cannot be used; nothing when it can.
    std::optional<std::string> trustProblem();
    // Takes in the events that arrived, without waiting (between readings).
    void drain();

    // Starts a reading of one app. What was read of it before is kept only when the app told of
    // no change since but of some states and names (see ChangeTracker), and neither its windows
    // nor the content of its web pages have moved or (Gecko) been shown or hidden; the check is
    // also a round trip to the app, so every event it sent before answering has arrived by then.
    // The states and names that changed are read again.
    void beginReading(const std::string& busName);
    // The app was changed by us (a press, a focus): its next reading starts afresh.
    void noteChanged(const std::string& busName) { changes_.noteChanged(busName); }
    void forgetApp(const std::string& busName);
    // Drops every reading: the next reading of any app starts cold.
    void forgetReadings();

    // AT-SPI cannot raise a window: ask the window manager to activate the app's X window of
    // that title.
    std::optional<AXError> raise(const AtspiRef& ref);

    // What the app told of its changes since `since`, once a round trip to it has brought in
    // every change it told before answering; none when that cannot be said.
    std::optional<std::vector<ax::Change>> changesSince(const std::string& busName,
                                                        Clock::time_point since);
    // Since when every change the app told has been heard; none while its changes are not.
    std::optional<Clock::time_point> changesHeardSince(const std::string& busName) const;
    // Whether any change the app told since `since` has come in so far; asks the app nothing.
    bool toldSince(const std::string& busName, Clock::time_point since) const;
    // Whether one of the objects at `paths` told since `since` that it came to show (see
    // tellsShown); asks the app nothing.
    bool toldShown(const std::string& busName, const std::vector<std::string>& paths,
                   Clock::time_point since) const;

  private:
    // What apps tell about changes keeps the cache honest (see ChangeTracker). Apps send events
    // only for kinds a client registered with the registry.
    void listen();
    // Asks the registry to have apps send the events of every kind the cache listens to.
    void registerEvents();
    void noteEvent(DBusMessage* message);
    // The registry changed hands: a new one knows no listener, so apps stop telling of their
    // changes until we register again, and nothing read before then is trusted.
    void noteRegistryOwner(DBusMessage* message);
    // Apps learn of a new listener through a signal of their own; until they have, they may
    // change without telling. A reading made before then is never reused.
    bool eventsTrustedSince(Clock::time_point reading) const;
    // Whether every window and piece of page content read of the app is where it was, and
    // (Gecko) what of its windows and pages showed still shows.
    bool unmoved(const std::string& busName);
    Clock::duration readingKept() const {
        return std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(requests_.options().readingKeptSeconds));
    }
    // Forgets what was read of apps not read lately, which no reading would start from any
    // more (nor of apps read only to find them), but `keep`'s; gives the memory back.
    void forgetOldReadings(const std::string& keep = {});
    // Keeps what one event told, for changesSince.
    void keepTold(const std::string& busName, DBusMessage* message, std::string_view kind,
                  std::string_view member, std::string_view detail);
    // The element an app told of a change of: a web document as its web area.
    ax::Element toldElement(const std::string& busName, const std::string& path);

    RequestPipeline requests_;
    AppDirectory apps_;
    NodeCache nodes_;
    FrameScaling frames_;
    ValueMapping values_;

    ChangeTracker changes_;
    std::unordered_map<std::string, Clock::time_point> lastReading_;
    std::unordered_map<std::string, Clock::time_point> contentCheckedAt_;  // found unmoved then
    // What each app told lately, oldest first, and since when that is all it told (older
    // changes were let go to bound the memory). An app without an entry told nothing since
    // `toldComplete_`.
    struct Told {
        Clock::time_point at;
        ax::Change::Kind kind;
        std::string path;
        bool shown = false;  // it came to show
    };
    struct ToldByApp {
        std::deque<Told> changes;
        Clock::time_point completeSince;
    };
    std::unordered_map<std::string, ToldByApp> told_;
    Clock::time_point toldComplete_;
    int registrations_ = 0;                // event kinds the registry confirmed
    std::uint64_t registrationRound_ = 0;  // registrations answered for an older registry count not
    Clock::time_point listeningSince_;
};

}  // namespace ovra::atspi::session
