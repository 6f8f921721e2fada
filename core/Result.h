#pragma once

// A value or a typed error, for failures that are part of the system's behaviour.

#include <cassert>
#include <string>
#include <utility>
#include <variant>

namespace ovra {

template <class E>
struct Failure {
    E error;
};

template <class E>
Failure<std::decay_t<E>> fail(E&& error) {
    return {std::forward<E>(error)};
}

template <class T, class E = std::string>
class Result {
  public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    template <class F>
    Result(Failure<F> failure) : state_(std::in_place_index<1>, E(std::move(failure.error))) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    const T& value() const& {
        assert(ok());
        return std::get<0>(state_);
    }
    T& value() & {
        assert(ok());
        return std::get<0>(state_);
    }
    T&& value() && {
        assert(ok());
        return std::get<0>(std::move(state_));
    }
    const T& operator*() const& { return value(); }
    const T* operator->() const { return &value(); }

    const E& error() const {
        assert(!ok());
        return std::get<1>(state_);
    }

  private:
    std::variant<T, E> state_;
};

}  // namespace ovra
