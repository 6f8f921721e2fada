#pragma once

// A value that others can watch: the stand-in for a published property until the Qt layer adapts
// it. Listeners run on the thread that sets the value, after the value has changed; a listener
// that needs the main thread hops there itself.

#include <cstddef>
#include <functional>
#include <map>
#include <mutex>
#include <utility>

namespace ovra {

template <class T>
class Observable final {
  public:
    using Listener = std::function<void(const T&)>;

    explicit Observable(T initial) : value_(std::move(initial)) {}
    Observable(const Observable&) = delete;
    Observable& operator=(const Observable&) = delete;

    T get() const {
        std::lock_guard lock(mutex_);
        return value_;
    }

    void set(T value) {
        std::map<std::size_t, Listener> listeners;
        {
            std::lock_guard lock(mutex_);
            value_ = value;
            listeners = listeners_;
        }
        for (const auto& [id, listener] : listeners)
            listener(value);
    }

    // Returns an id for unsubscribe.
    std::size_t subscribe(Listener listener) {
        std::lock_guard lock(mutex_);
        listeners_.emplace(++lastID_, std::move(listener));
        return lastID_;
    }

    void unsubscribe(std::size_t id) {
        std::lock_guard lock(mutex_);
        listeners_.erase(id);
    }

  private:
    mutable std::mutex mutex_;
    T value_;
    std::map<std::size_t, Listener> listeners_;
    std::size_t lastID_ = 0;
};

}  // namespace ovra
