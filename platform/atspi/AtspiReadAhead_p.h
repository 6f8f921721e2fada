#pragma once

// Private to the AT-SPI backend: one reading's budget of nodes, and the nodes that wait to be
// read ahead of the walk. What is read before the walk asks for it is spent from the reading's
// budget, and waits for the room the walk's own requests leave; a node counts once per reading
// however often it is read.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <utility>

namespace ovra::atspi::session {

class ReadAhead {
  public:
    // Until the walk tells it, the budget of a reading is the walk's default one.
    static constexpr std::size_t kDefaultNodeBudget = 4000;

    // A reading begins: nothing of it is read or waits to be read ahead.
    void newReading() {
        ++reading_;
        counted_ = 0;
        budget_ = kDefaultNodeBudget;
        waiting_.clear();
    }
    // The reading under way, as a number no earlier reading had.
    std::uint64_t reading() const { return reading_; }

    // The most nodes the reading reads in all.
    void setBudget(std::size_t nodes) { budget_ = nodes; }
    // Whether the budget has room for one more node read ahead.
    bool allowsMore() const { return budget_ > counted_ + waiting_.size(); }
    // Counts a node against the budget once per reading; `stamp` is the node's own record of
    // the reading that last counted it.
    void count(std::uint64_t& stamp) {
        if (stamp != reading_) {
            stamp = reading_;
            ++counted_;
        }
    }
    // Nodes the reading has read or asked for.
    std::size_t counted() const { return counted_; }

    // A node (by key) waits to be read ahead.
    void wait(std::string key) { waiting_.push_back(std::move(key)); }
    // The node that has waited longest, no longer waiting; none when none waits.
    std::optional<std::string> next() {
        if (waiting_.empty()) {
            return std::nullopt;
        }
        std::string key = std::move(waiting_.front());
        waiting_.pop_front();
        return key;
    }

  private:
    std::deque<std::string> waiting_;
    std::size_t counted_ = 0;
    std::size_t budget_ = kDefaultNodeBudget;
    std::uint64_t reading_ = 1;
};

}  // namespace ovra::atspi::session
