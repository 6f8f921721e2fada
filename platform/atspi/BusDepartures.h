#pragma once

// Which processes' connections have left the accessibility bus. An app that ends, or drops its
// accessibility, leaves the bus at once, whatever its parent does about its exit status. Kept
// from the bus's own NameOwnerChanged signals by a thread of its own on a private connection:
// asking costs a lock and a lookup, never a call, so the UI thread may ask as often as it likes.
//
// Only what was seen counts. A process whose connection was never seen has not left, nor has
// any process while no bus is reached. A bus that goes away takes nobody with it (its apps did
// not end): what was known of it is forgotten, and the watcher joins the next bus once there is
// one.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace ovra::atspi {

class BusDepartures final {
  public:
    // The bus to watch, asked on the watcher's thread each time it (re)connects; none while there
    // is none. By default the session's accessibility bus (org.a11y.Bus on the session bus).
    using Address = std::function<std::optional<std::string>()>;

    explicit BusDepartures(Address address = {});
    ~BusDepartures();
    BusDepartures(const BusDepartures&) = delete;
    BusDepartures& operator=(const BusDepartures&) = delete;

    // Whether the process (its pid with the start time /proc gives it) had a connection on the
    // bus and has none there now.
    bool left(std::int64_t pid, std::uint64_t startTime) const;
    // Whether the process has a connection on the bus now, as far as the watcher has heard.
    bool present(std::int64_t pid, std::uint64_t startTime) const;
    // Whether the watcher is on a bus and knows which processes were on it when it joined.
    bool watching() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace ovra::atspi
