#pragma once

// Listeners of an observable model, told of each change before the new value is in place and
// after it. Main thread only. A listener may add or remove listeners, itself included, while it
// is being told; one removed meanwhile is not called any more.

#include <cstdint>
#include <functional>
#include <map>
#include <utility>

namespace ovra {

enum class ChangePhase { willChange, didChange };

template <class Event>
class ChangeListeners final {
  public:
    using Id = std::uint64_t;
    using Listener = std::function<void(const Event&)>;

    Id add(ChangePhase phase, Listener listener) {
        listeners_.emplace(++last_, Entry{phase, std::move(listener)});
        return last_;
    }
    void remove(Id id) { listeners_.erase(id); }

    void notify(ChangePhase phase, const Event& event) const {
        const auto snapshot = listeners_;
        for (const auto& [id, entry] : snapshot) {
            if (entry.phase == phase && listeners_.count(id) != 0) {
                entry.listener(event);
            }
        }
    }

  private:
    struct Entry {
        ChangePhase phase;
        Listener listener;
    };
    std::map<Id, Entry> listeners_;
    Id last_ = 0;
};

}  // namespace ovra
