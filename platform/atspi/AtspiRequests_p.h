#pragma once

// Private to the AT-SPI backend: the connection to the accessibility bus and the pipeline of
// requests on it. Calls queue up and go out while fewer than `maxInFlight` wait in apps, so an
// app answers many requests per round trip; a hung or vanished app gets no more of its queued
// work. Every reading starts an epoch: replies to requests of an earlier one are dropped.
// Reading ahead (what no one has asked for yet) only fills the room the reading's own requests
// leave: it goes out while nothing is queued and fewer than half of `maxInFlight` wait, so a
// request the reading waits for never sits behind it.

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/atspi/AtspiBackend.h"
#include "platform/atspi/AtspiProtocol_p.h"
#include "platform/atspi/DBusConnection.h"

namespace ovra::atspi::session {

class RequestPipeline {
  public:
    explicit RequestPipeline(const AtspiOptions& options) : options_(options) {}
    ~RequestPipeline();
    RequestPipeline(const RequestPipeline&) = delete;
    RequestPipeline& operator=(const RequestPipeline&) = delete;

    const AtspiOptions& options() const { return options_; }

    // --- Connection ---

    bool connected() const { return bus_ && bus_->connected(); }
    // Closes both connections for good; their pending handlers find nothing to do.
    void close();
    bool hasBus() const { return bus_ != nullptr; }
    // Drops the connection with what is queued on it and opens a new one; why it could not.
    std::optional<std::string> reconnect();
    // Our own unique name on the accessibility bus; "" when not connected.
    std::string ownName() const { return bus_ ? bus_->uniqueName() : std::string(); }
    // Counts the connections to the accessibility bus: elements of an earlier one are gone.
    std::uint64_t connection() const { return connection_; }
    ax::Element element(const std::string& busName, const std::string& path,
                        bool webArea = false) const {
        return ax::Element(std::make_shared<const AtspiRef>(busName, path, connection_, webArea));
    }

    // Blocking calls with their own time-out, outside the pipeline: set-up, presses.
    Reply call(Message call, double seconds);
    Reply sessionCall(Message call, double seconds);
    // A call outside the queue (to the bus itself), answered while the pipeline waits.
    void sendDirect(Message call, double seconds, std::function<void(Reply)> handler);
    // Broadcast signals matching a D-Bus match rule go to `onSignal`.
    void subscribe(const std::vector<std::string>& rules,
                   std::function<void(DBusMessage*)> onSignal);

    // --- Requests ---

    double timeoutFor(const std::string& busName) const;
    void setTimeout(const std::string& busName, double seconds) {
        timeoutOfBus_[busName] = seconds;
    }
    // Waiting on one node: every request the node needs is bounded by the call time-out, but
    // it may sit behind the queue, so allow for the queue ahead of it.
    double waitBudget(const std::string& busName) const { return timeoutFor(busName) * 2.0 + 0.1; }

    // Queues a call; it goes out as soon as fewer than maxInFlight requests wait in apps. An
    // urgent call goes out at once, waiting `patience` seconds for its answer when given (else
    // the app's time-out).
    void enqueue(const std::string& target, Message call, std::function<void(Reply)> handler,
                 bool urgent = false, std::optional<double> patience = std::nullopt);
    // Runs the bus until `done` holds or the deadline passes; the read-ahead goes on meanwhile.
    void waitUntil(const std::function<bool()>& done, double seconds);
    // What reads ahead: called while the reading waits, whenever there is room; it queues
    // requests for as long as `roomToReadAhead` holds.
    void setReadAhead(std::function<void()> work) { readAhead_ = std::move(work); }
    bool roomToReadAhead() const {
        return queue_.empty() && bus_ && bus_->inFlight() < options_.maxInFlight / 2;
    }
    // Runs the bus until `done` holds or the deadline passes, sending nothing queued.
    void pumpUntil(const std::function<bool()>& done, double seconds);
    // Reads what has arrived without waiting (events between readings); sends nothing.
    void drain();

    // A new epoch: whatever is queued or in flight is dropped unanswered.
    void restart();
    // Drops what is queued for one app in a new epoch.
    void dropQueued(const std::string& busName);

    // Requests sent to apps since the pipeline was made.
    std::size_t sent() const { return sent_; }

  private:
    struct Queued {
        std::string bus;
        Message call;
        std::function<void(Reply)> handler;
    };

    void sendNow(const std::string& target, Message call, std::function<void(Reply)> handler,
                 double timeout);
    void drainQueue();
    void failQueued(const std::string& target, const std::string& error);
    // An app that timed out or left gets no more of this epoch's work: said once per epoch.
    void giveUp(const std::string& target, const Reply& reply, double timeout);

    AtspiOptions options_;
    bool closing_ = false;
    std::uint64_t connection_ = 0;
    std::unique_ptr<BusConnection> session_;
    std::unique_ptr<BusConnection> bus_;
    std::unordered_map<std::string, double> timeoutOfBus_;
    std::deque<Queued> queue_;
    std::uint64_t epoch_ = 0;
    std::unordered_set<std::string> givenUp_;  // apps given up in this epoch
    std::size_t sent_ = 0;
    std::function<void()> readAhead_;
    bool readingAhead_ = false;
};

}  // namespace ovra::atspi::session
