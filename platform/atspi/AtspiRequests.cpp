// The connection to the accessibility bus and the queue of pipelined requests on it.

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/atspi/AtspiRequests_p.h"
#include "platform/log/Log.h"

namespace ovra::atspi::session {

RequestPipeline::~RequestPipeline() {
    close();
}

void RequestPipeline::close() {
    // Pending handlers run as the connections close: they must find nothing to do.
    closing_ = true;
    bus_.reset();
    session_.reset();
}

std::optional<std::string> RequestPipeline::reconnect() {
    // Replies still due on the old connection are dropped with it.
    restart();
    bus_.reset();
    timeoutOfBus_.clear();
    if (!session_ || !session_->connected()) {
        auto opened = BusConnection::openSession();
        if (!opened) {
            return opened.error();
        }
        session_ = std::move(opened).value();
    }
    auto address = session_->call(
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
    bus_ = std::move(opened).value();
    ++connection_;
    return std::nullopt;
}

Reply RequestPipeline::call(Message call, double seconds) {
    if (!bus_) {
        return Reply{nullptr, kDisconnected, "not connected"};
    }
    return bus_->call(std::move(call), micros(seconds));
}

Reply RequestPipeline::sessionCall(Message call, double seconds) {
    if (!session_) {
        return Reply{nullptr, kDisconnected, "not connected"};
    }
    return session_->call(std::move(call), micros(seconds));
}

void RequestPipeline::sendDirect(Message call, double seconds, std::function<void(Reply)> handler) {
    if (!bus_) {
        handler(Reply{nullptr, kDisconnected, "not connected"});
        return;
    }
    bus_->send(std::move(call), micros(seconds), [this, handler = std::move(handler)](Reply reply) {
        if (!closing_) {
            handler(std::move(reply));
        }
    });
}

void RequestPipeline::subscribe(const std::vector<std::string>& rules,
                                std::function<void(DBusMessage*)> onSignal) {
    if (!bus_) {
        return;
    }
    bus_->onSignal = std::move(onSignal);
    for (const std::string& rule : rules) {
        bus_->addMatch(rule);
    }
}

double RequestPipeline::timeoutFor(const std::string& busName) const {
    auto it = timeoutOfBus_.find(busName);
    return it == timeoutOfBus_.end() ? options_.callTimeoutSeconds : it->second;
}

void RequestPipeline::enqueue(const std::string& target, Message call,
                              std::function<void(Reply)> handler, bool urgent,
                              std::optional<double> patience) {
    if (!bus_ || !call) {
        handler(Reply{nullptr, kDisconnected, "not connected"});
        return;
    }
    if (urgent) {
        sendNow(target, std::move(call), std::move(handler), patience.value_or(timeoutFor(target)));
        return;
    }
    queue_.push_back(Queued{target, std::move(call), std::move(handler)});
    drainQueue();
}

void RequestPipeline::sendNow(const std::string& target, Message call,
                              std::function<void(Reply)> handler, double timeout) {
    ++sent_;
    const std::uint64_t sentEpoch = epoch_;
    bus_->send(std::move(call), micros(timeout),
               [this, target, sentEpoch, timeout, handler = std::move(handler)](Reply reply) {
                   if (closing_) {
                       return;
                   }
                   // A late time-out of a reading already over tells nothing of the work
                   // queued for the reading under way.
                   if (sentEpoch != epoch_) {
                       return;
                   }
                   if (!reply.ok()) {
                       const AXError error = errorFor(reply);
                       if (error == AXError::timeout || error == AXError::appGone) {
                           // A hung or vanished app: do not queue it more work.
                           giveUp(target, reply, timeout);
                           failQueued(target, reply.error);
                       }
                   }
                   handler(std::move(reply));
               });
}

void RequestPipeline::drainQueue() {
    while (!queue_.empty() && bus_ && bus_->inFlight() < options_.maxInFlight) {
        Queued next = std::move(queue_.front());
        queue_.pop_front();
        sendNow(next.bus, std::move(next.call), std::move(next.handler), timeoutFor(next.bus));
    }
}

void RequestPipeline::failQueued(const std::string& target, const std::string& error) {
    std::deque<Queued> kept;
    std::vector<Queued> failed;
    for (auto& item : queue_) {
        if (item.bus == target) {
            failed.push_back(std::move(item));
        } else {
            kept.push_back(std::move(item));
        }
    }
    queue_ = std::move(kept);
    for (auto& item : failed) {
        item.handler(Reply{nullptr, error, "not sent: the app did not answer"});
    }
}

void RequestPipeline::giveUp(const std::string& target, const Reply& reply, double timeout) {
    if (!givenUp_.insert(target).second) {
        return;
    }
    const auto dropped = std::count_if(queue_.begin(), queue_.end(),
                                       [&](const Queued& item) { return item.bus == target; });
    const std::string why =
        errorFor(reply) == AXError::timeout
            ? "did not answer within " + std::to_string(std::lround(timeout * 1000.0)) + " ms"
            : "failed with " + reply.error;
    logs::warning(logs::Category::atspi, "the app at " + target + " " + why + "; " +
                                             std::to_string(dropped) +
                                             " queued requests to it are dropped");
}

void RequestPipeline::waitUntil(const std::function<bool()>& done, double seconds) {
    if (!bus_) {
        return;
    }
    const auto until = Clock::now() + micros(seconds);
    const auto readAhead = [this] {
        if (readAhead_ && !readingAhead_ && roomToReadAhead()) {
            readingAhead_ = true;
            readAhead_();
            readingAhead_ = false;
        }
    };
    while (!done() && Clock::now() < until) {
        drainQueue();
        readAhead();
        if (!bus_ || !bus_->pump(until)) {
            break;
        }
        drainQueue();
    }
}

void RequestPipeline::pumpUntil(const std::function<bool()>& done, double seconds) {
    if (bus_) {
        bus_->pumpUntil(done, Clock::now() + micros(seconds));
    }
}

void RequestPipeline::drain() {
    // Only what arrived: what is still queued was read ahead for a reading that is over, and
    // sending it now would keep the app busy when the next reading starts.
    if (connected()) {
        bus_->pump(Clock::now());
    }
}

void RequestPipeline::restart() {
    ++epoch_;
    queue_.clear();
    givenUp_.clear();
}

void RequestPipeline::dropQueued(const std::string& busName) {
    ++epoch_;
    std::erase_if(queue_, [&](const Queued& item) { return item.bus == busName; });
}

}  // namespace ovra::atspi::session
